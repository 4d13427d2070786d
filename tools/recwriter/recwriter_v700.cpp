// Versions 0x700 and 0x800: header (48 bytes, 49 with the codec byte of
// 0x800), 8-byte stream block, extra block, 3605 index slots, frame data with
// 18-byte frame headers.
#include <algorithm>
#include <cstring>

#include "file_sink.h"
#include "readers/byte_order.h"
#include "recwriter.h"

namespace corvane::rec {
namespace {

constexpr size_t kSlots = 3605;

class V700Writer : public Writer {
public:
    V700Writer(const std::string& path, const FileLayout& layout) : layout_(layout), out_(path) {
        v800_ = layout.version == "V800";
        size_t hs = v800_ ? 49 : 48;
        std::vector<uint8_t> h(hs + 8, 0);
        PutU32(&h[0], 0x5AFACADA);
        PutU32(&h[4], v800_ ? 0x800 : 0x700);
        std::memcpy(&h[8], layout.name.data(), std::min<size_t>(layout.name.size(), 20));
        PutU32(&h[32], layout.headerWord);
        h[40] = layout.headerByte;
        h[41] = layout.audioType;
        h[43] = static_cast<uint8_t>(std::min<size_t>(layout.extra.size(), 255));
        if (v800_) h[48] = layout.hevc;
        uint8_t* block = &h[hs];
        block[1] = layout.frameRate;
        block[3] = layout.audioFlag;
        PutU16(block + 4, layout.width);
        PutU16(block + 6, layout.height);
        out_.Write(h);
        out_.Write(layout.extra.data(), h[43]);
        indexOffset_ = out_.Tell();
        out_.Write(std::vector<uint8_t>(kSlots * 8, 0xFF));
        dataStart_ = out_.Tell();
    }

    bool Add(const Record& r) override {
        if (r.type == 1 && r.key == 1) keys_.push_back({r.timestamp, out_.Tell()});
        uint8_t h[18];
        PutU32(h, 0x55667788);
        PutU32(h + 4, 0x11223344);
        PutU32(h + 8, static_cast<uint32_t>(r.timestamp));
        PutU32(h + 12, static_cast<uint32_t>(r.payload.size()));
        h[16] = r.type;
        h[17] = r.key;
        out_.Write(h, sizeof h);
        out_.Write(r.payload);
        return out_.ok();
    }

    bool Finish() override {
        std::vector<IndexEntry> entries;
        if (layout_.indexOverride) {
            entries = *layout_.indexOverride;
        } else if (layout_.writeIndex) {
            for (const auto& [ts, offset] : keys_) {
                entries.push_back({static_cast<uint32_t>(ts - keys_.front().first), static_cast<uint32_t>(offset)});
            }
        }
        if (entries.size() > kSlots) entries.resize(kSlots);
        std::vector<uint8_t> table(kSlots * 8, 0xFF);
        for (size_t i = 0; i < entries.size(); ++i) {
            PutU32(&table[i * 8], entries[i].time);
            PutU32(&table[i * 8 + 4], entries[i].offset);
        }
        out_.WriteAt(indexOffset_, table);
        std::vector<uint8_t> length(4);
        PutU32(length.data(), layout_.lengthField.value_or(static_cast<uint32_t>(entries.size())));
        out_.WriteAt(28, length);
        return out_.Close();
    }

    uint64_t DataStart() const override { return dataStart_; }

private:
    FileLayout layout_;
    FileSink out_;
    bool v800_ = false;
    uint64_t indexOffset_ = 0;
    uint64_t dataStart_ = 0;
    std::vector<std::pair<uint64_t, uint64_t>> keys_;  // timestamp, offset of each key frame
};

}  // namespace

std::unique_ptr<Writer> CreateV700Writer(const std::string& path, const FileLayout& layout) {
    return std::make_unique<V700Writer>(path, layout);
}

}  // namespace corvane::rec
