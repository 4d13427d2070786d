#pragma once
// Versions 0x400, 0x401 and 0x402: the 100-byte stream header, a key-frame
// index of M 8-byte entries right behind it, then the frame data. The three
// differ in the frame header (20, 22 or 24 bytes), in how strictly the index
// is taken and in how the first key frame is looked for. One channel per file:
// every record is returned whatever its channel nibble.
#include "readers/file_reader.h"

namespace corvane {

class CFileReaderV400 : public CxFileReader {
public:
    explicit CFileReaderV400(int channel) : CFileReaderV400(channel, Layout::V400) {}

    int Open(const std::string& path, int writable) override;
    void GetInfo(StreamInfo* info) override;
    int RebuildIndex() override;
    void SeekToSecond(int second) override;
    int ReadNext(std::unique_ptr<CxMemUnit>& out) override;
    void Rewind() override;

protected:
    enum class Layout { V400, V401, V402 };
    CFileReaderV400(int channel, Layout layout);

private:
    size_t FrameHeaderSize() const;
    bool ReadFrameHeader(RecordHeader& h);
    bool LoadIndex(uint32_t count);
    bool FindFirstKeyFrame(uint64_t& timestamp);
    bool FindFirstKeyFrameResync(uint64_t& timestamp);

    Layout layout_;
    uint64_t dataStart_ = 0;  // where reading starts: behind the index, past damaged bytes
};

class CFileReaderV401 : public CFileReaderV400 {
public:
    explicit CFileReaderV401(int channel) : CFileReaderV400(channel, Layout::V401) {}
};

class CFileReaderV402 : public CFileReaderV400 {
public:
    explicit CFileReaderV402(int channel) : CFileReaderV400(channel, Layout::V402) {}
};

}  // namespace corvane
