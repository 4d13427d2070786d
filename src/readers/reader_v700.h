#pragma once
// Versions 0x700 and 0x800: one channel per file, a fixed table of 3605 index
// slots ahead of the frame data, 18-byte frame headers. Version 0x800 adds the
// video codec byte at header offset 48, which shifts everything after it.
#include <vector>

#include "readers/file_reader.h"

namespace corvane {

class CFileReaderV700 : public CxFileReader {
public:
    explicit CFileReaderV700(int channel) : CFileReaderV700(channel, Layout::V700) {}

    int Open(const std::string& path, int writable) override;
    void GetInfo(StreamInfo* info) override;
    int RebuildIndex() override;
    void SeekToSecond(int second) override;
    int ReadNext(std::unique_ptr<CxMemUnit>& out) override;
    int ReadNextAux(std::unique_ptr<CxMemUnit>& out) override;
    void Rewind() override;

protected:
    enum class Layout { V700, V800 };
    CFileReaderV700(int channel, Layout layout);

    uint64_t HeaderSize() const { return layout_ == Layout::V800 ? 49 : 48; }
    uint64_t IndexOffset() const { return HeaderSize() + 8 + extraLength_; }
    uint64_t DataStart() const { return IndexOffset() + 3605 * 8; }

private:
    bool ReadFrameHeader(RecordHeader& h);
    bool LoadIndex();
    bool FindFirstKeyFrame(uint64_t& timestamp);

    Layout layout_;
    uint8_t extraLength_ = 0;
    std::vector<uint8_t> extra_;  // kept, not interpreted
    uint16_t headerField44_ = 0;  // kept, not interpreted
};

class CFileReaderV800 : public CFileReaderV700 {
public:
    explicit CFileReaderV800(int channel) : CFileReaderV700(channel, Layout::V800) {}
};

}  // namespace corvane
