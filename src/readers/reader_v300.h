#pragma once
// Versions 0x300 and 0x120 (revisions 0x101 and 0x102): the 100-byte stream
// header, frame data from offset 100 with 20-byte frame headers, and the
// key-frame index kept elsewhere: behind the data with a 20-byte trailer at
// the end of the file, in a companion "<recording>.idx" file (0x300), or where
// the header says (0x120). Without a trailer or companion file the length is
// found by searching backwards from the end for a late video frame. One
// channel per file.
#include <optional>

#include "readers/file_reader.h"

namespace corvane {

class CFileReaderV300 : public CxFileReader {
public:
    explicit CFileReaderV300(int channel) : CFileReaderV300(channel, Layout::V300) {}

    int Open(const std::string& path, int writable) override;
    void GetInfo(StreamInfo* info) override;
    // Appends the key-frame entries and a trailer to a recording that has
    // neither trailer nor companion file. A closed reader re-opens its file
    // read-write first. 1 when entries and trailer were written.
    int RebuildIndex() override;
    void SeekToSecond(int second) override;
    int ReadNext(std::unique_ptr<CxMemUnit>& out) override;
    void Rewind() override;

protected:
    enum class Layout { V120, V300 };
    CFileReaderV300(int channel, Layout layout);

private:
    struct Trailer {
        uint32_t length = 0;
        uint32_t indexOffset = 0;
        uint32_t indexSize = 0;
    };
    struct Span {
        uint32_t first = 0;
        uint32_t last = 0;
    };

    bool ReadFrameHeader(RecordHeader& h);
    bool ReadLastBytes(uint8_t* b);
    std::optional<Trailer> ReadTrailer();
    void LoadIndex(uint64_t offset, uint64_t size, uint64_t end);
    static std::optional<Span> CompanionSpan(const std::string& recording, bool& opened);
    void LoadCompanionIndex(const std::string& recording);
    bool VideoNearStart();
    std::optional<uint32_t> LengthFromEnd();
    void OpenIndexV120();
    void OpenIndexV300(const std::string& recording);

    Layout layout_;
};

class CFileReaderV120 : public CFileReaderV300 {
public:
    explicit CFileReaderV120(int channel) : CFileReaderV300(channel, Layout::V120) {}

    // This header keeps width at 38, height at 40, audio type at 42 and the
    // audio flag at 43.
    int GetAudioType() override;
    int HasAudio() override;
    int GetWidth() override;
    int GetHeight() override;
};

}  // namespace corvane
