#pragma once
// The reader interface every container version implements. Consumers never
// name a version: they open files through OpenRecordingReader (probe.h) and
// use these operations only.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "readers/file_handle.h"
#include "readers/key_frame_index.h"
#include "readers/mem_unit.h"
#include "readers/stream_info.h"

namespace corvane {

constexpr size_t kEventTableSize = 43200;  // 3600 entries of three u32 fields

// Set by another thread to cancel a running RebuildIndex; the caller clears it
// right before starting a rebuild. Read once per scanned record.
extern std::atomic<bool> g_StopRebuildIndex;

class CxFileReader {
public:
    explicit CxFileReader(int channel);
    virtual ~CxFileReader();
    CxFileReader(const CxFileReader&) = delete;
    CxFileReader& operator=(const CxFileReader&) = delete;

    // Opens and validates the file, loads the index and finds the first key
    // frame. 1 accepted, 0 rejected (the file is then closed).
    virtual int Open(const std::string& path, int writable) = 0;
    virtual void Close();
    virtual void GetInfo(StreamInfo* info);
    virtual int IsHevc();
    // Scans the file for key frames and writes the index back into it.
    // Returns 1 when an index was written, 0 when nothing was (not supported,
    // not needed, nothing found, cancelled) and -1 when writing it failed (a
    // read-only file or a full medium); the file is then left as it was.
    virtual int RebuildIndex() = 0;
    virtual int IsAtEnd();
    virtual void Reserved1(uint32_t);
    virtual int GetChannelCount();
    virtual int GetChannelId(int index);
    virtual int GetHeaderWord();
    virtual int GetAudioType();
    virtual void SeekToSecond(int second) = 0;
    virtual uint64_t GetPosition();
    virtual int GetDuration();
    virtual int HasAudio();
    virtual int GetFrameInterval();
    virtual int GetFrameRate();
    virtual int GetWidth();
    virtual int GetHeight();
    // Mode 0 reads the next record; 1 and -1 step to the next or previous key
    // frame of the index; aux != 0 reads the next record that is neither video
    // nor audio. 1 with a record, 0 at the end or on failure (out is null).
    virtual int ReadFrame(int mode, std::unique_ptr<CxMemUnit>& out, int aux);
    virtual int ReadNext(std::unique_ptr<CxMemUnit>& out) = 0;
    // Formats without such records return 1 without a record.
    virtual int ReadNextAux(std::unique_ptr<CxMemUnit>& out);
    virtual void Rewind() = 0;
    virtual void Reserved2();
    virtual void SeekToOffset(uint32_t offset);
    virtual uint32_t Tell();

    // Read directly by the consumers: frames of the first channel are not to be
    // shown or exported while the first reader has it set.
    int32_t HiddenStream = 0;

    // For the catalogue and the command-line tool.
    const std::string& Path() const { return path_; }
    const std::string& RecorderName() const { return recorderName_; }
    uint64_t FirstTimestamp() const { return firstTimestamp_; }
    uint64_t CurrentTimestamp() const { return currentTimestamp_; }
    uint32_t IndexEntryCount() { return index_.Count(); }
    std::vector<IndexEntry> IndexEntries() { return index_.Entries(); }
    const uint8_t* EventTable() const { return eventTable_.get(); }
    bool EventTableLoaded() const { return eventTableLoaded_; }
    // Whether type-4 records come out decoded as GpsFix.
    bool DecodesGps() const { return decodesGps_; }
    int ChannelSelector() const { return channel_; }

protected:
    // Reads exactly n bytes at the current position.
    bool ReadExact(void* buffer, size_t n) { return file_.Read(buffer, n) == n; }
    // Skips n payload bytes; false when that would pass the end of the file.
    bool SkipPayload(uint64_t n);
    // Finishes a record whose header has been read: creates the unit, reads the
    // payload behind it and decodes GPS when asked. A payload too long for a
    // unit is skipped in the file and the unit keeps its header only. A short
    // payload, or a record that ends exactly at the end of the file, gives 0.
    int ReadRecordBody(const RecordHeader& header, bool decodeGps, std::unique_ptr<CxMemUnit>& out);
    // The shared end of SeekToSecond: the offset of index entry s when it lies
    // inside the file, the end of the file when the index has entries but not
    // this one, else the byte-rate estimate. Returns false when nothing is to
    // be done.
    bool SeekToIndexedSecond(int second, uint32_t duration, uint64_t headerSize);
    // Writes the patches in order and flushes. When a write fails part way
    // (a failing or full medium), the bytes they covered are written back as
    // they were, so that the recording reads exactly as before; false then.
    struct FilePatch {
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    bool WritePatches(const std::vector<FilePatch>& patches);

    FileHandle file_;
    std::string path_;
    uint64_t fileSize_ = 0;
    std::string recorderName_;
    int32_t isHevc_ = 0;
    int32_t channel_;
    KeyFrameIndex index_;
    uint64_t firstTimestamp_ = 0;
    uint64_t currentTimestamp_ = 0;
    std::unique_ptr<uint8_t[]> eventTable_;
    bool eventTableLoaded_ = false;
    StreamDescription desc_;
    bool decodesGps_ = false;
};

// A file of 4 GiB or more cannot be addressed by 32-bit index offsets, so the
// readers skip their "offset inside the file" tests for such files.
constexpr uint64_t kLargeFileSize = 0x100000000ull;

}  // namespace corvane
