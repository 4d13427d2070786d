#pragma once
// Versions 0x500, 0x501, 0x502, 0x503, 0x510 and 0x600: every camera channel
// of a recording in one file. A 48-byte header, a table of N channel slots
// (8 bytes each), one table of 3600 index slots per channel slot, for some
// versions a 43200-byte event table, then the frame records of all channels
// interleaved, each tagged with its channel number. A reader serves one
// channel; the later versions are told by what they change.
#include <array>
#include <vector>

#include "readers/file_reader.h"

namespace corvane {

class CFileReaderV500 : public CxFileReader {
public:
    explicit CFileReaderV500(int channel) : CFileReaderV500(channel, kV500) {}

    int Open(const std::string& path, int writable) override;
    void GetInfo(StreamInfo* info) override;
    int RebuildIndex() override;
    int GetChannelCount() override;
    int GetChannelId(int index) override;
    int GetHeaderWord() override;
    int GetAudioType() override;
    void SeekToSecond(int second) override;
    int GetDuration() override;
    int HasAudio() override;
    int GetFrameInterval() override;
    int GetFrameRate() override;
    int GetWidth() override;
    int GetHeight() override;
    int ReadNext(std::unique_ptr<CxMemUnit>& out) override;
    int ReadNextAux(std::unique_ptr<CxMemUnit>& out) override;
    void Rewind() override;

protected:
    // What a version changes from 0x500.
    struct Variant {
        uint32_t version;
        bool laterHeader;        // audio type at 41, N at 42, u16 header word at 44; channels found by number
        bool hiddenStream;       // header word 0xF003 / 0xF007 hides the first channel
        bool eventArea;          // a 43200-byte event table lies ahead of the frame data
        bool loadEvents;         // ... and is read
        bool shortFrameHeader;   // 18-byte frame headers with 32-bit timestamps
        bool storedLength;       // the header's length is the duration, not the index span
        uint64_t seekHeaderSize; // header size in the byte-rate estimate of a seek
    };
    static constexpr Variant kV500{0x500, false, false, false, false, false, false, 100};
    static constexpr Variant kV501{0x501, true, true, false, false, false, false, 100};
    static constexpr Variant kV502{0x502, true, false, true, true, false, false, 48};
    static constexpr Variant kV503{0x503, true, false, true, true, false, false, 48};
    static constexpr Variant kV510{0x510, true, false, false, false, true, false, 48};
    static constexpr Variant kV600{0x600, true, false, true, false, false, true, 48};

    CFileReaderV500(int channel, const Variant& variant) : CxFileReader(channel), v_(variant) { decodesGps_ = true; }

private:
    // One entry of the channel table.
    struct ChannelEntry {
        uint8_t number = 0;
        uint8_t frameRate = 0;
        uint8_t present = 0;
        uint8_t audioFlag = 0;
        uint16_t width = 0;
        uint16_t height = 0;
    };
    enum class HeaderRead { Ok, Short, EndMarker, BadSync };

    uint64_t IndexTableOffset(int slot) const;
    uint64_t EventTableOffset() const;
    uint64_t DataStart() const;
    size_t FrameHeaderSize() const { return v_.shortFrameHeader ? 18 : 24; }

    void ResetState();
    bool ReadHeader();
    bool ReadChannelTable();
    bool ChooseChannel();
    bool LoadIndex();
    void ReadEventTable();
    uint32_t LengthFromIndex();
    bool FindFirstVideo(uint64_t& timestamp);
    void ProbeAudio();
    HeaderRead ReadFrameHeader(RecordHeader& h);
    // A complete, well-formed frame header that is not the last bytes of the file.
    bool NextFrameHeader(RecordHeader& h) { return ReadFrameHeader(h) == HeaderRead::Ok && !IsAtEnd(); }
    bool IsOwnChannel(const RecordHeader& h) const { return h.Channel() != 0 && h.Channel() == channel_; }
    bool WriteIndexTables(const std::vector<std::vector<IndexEntry>>& tables);

    const Variant v_;
    // The file header in the 0x500 layout.
    std::array<char, 20> name_{};
    uint32_t length_ = 0;  // seconds; the index span unless the version stores it
    uint32_t headerWord_ = 0;
    uint8_t audioType_ = 0;
    uint8_t slots_ = 0;  // N
    uint16_t shortHeaderWord_ = 0;
    std::vector<ChannelEntry> table_;  // N entries, slot k at k - 1
    std::vector<int> present_;         // slot numbers of the first 8 present slots
    ChannelEntry entry_;               // the selected channel's entry; zero when none was copied
    bool hasAudio_ = false;
};

class CFileReaderV501 : public CFileReaderV500 {
public:
    explicit CFileReaderV501(int channel) : CFileReaderV500(channel, kV501) {}
};

class CFileReaderV502 : public CFileReaderV500 {
public:
    explicit CFileReaderV502(int channel) : CFileReaderV500(channel, kV502) {}
};

class CFileReaderV503 : public CFileReaderV500 {
public:
    explicit CFileReaderV503(int channel) : CFileReaderV500(channel, kV503) {}
};

class CFileReaderV510 : public CFileReaderV500 {
public:
    explicit CFileReaderV510(int channel) : CFileReaderV500(channel, kV510) {}
};

class CFileReaderV600 : public CFileReaderV500 {
public:
    explicit CFileReaderV600(int channel) : CFileReaderV500(channel, kV600) {}
};

}  // namespace corvane
