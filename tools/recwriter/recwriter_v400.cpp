// Versions 0x400, 0x401 and 0x402: 100-byte header, M index entries of 8
// bytes, frame data with frame headers of 20, 22 or 24 bytes. The index comes
// first, so the records are kept until Finish knows how many entries there are.
#include <algorithm>
#include <cstring>

#include "file_sink.h"
#include "readers/byte_order.h"
#include "recwriter.h"

namespace corvane::rec {
namespace {

constexpr size_t kHeaderSize = 100;

class V400Writer : public Writer {
public:
    V400Writer(const std::string& path, const FileLayout& layout) : layout_(layout), out_(path) {
        frameHeaderSize_ = layout.version == "V400" ? 20 : layout.version == "V401" ? 22 : 24;
        version_ = layout.versionWord.value_or(frameHeaderSize_ == 20 ? 0x400 : frameHeaderSize_ == 22 ? 0x401 : 0x402);
    }

    bool Add(const Record& r) override {
        if (frameHeaderSize_ == 20 && r.payload.size() > 0xFFFF) return false;  // u16 length field
        if (r.type == 1 && r.key == 1) keys_.push_back({r.timestamp, data_.size()});
        uint8_t h[24] = {};
        PutU32(h, 0x55667788);
        PutU32(h + 4, 0x11223344);
        h[8] = static_cast<uint8_t>((r.type << 4) | (r.channel & 0x0F));
        h[9] = r.key;
        uint32_t length = static_cast<uint32_t>(r.payload.size());
        if (frameHeaderSize_ == 20) {
            PutU16(h + 10, static_cast<uint16_t>(length));
            PutU64(h + 12, r.timestamp);
        } else if (frameHeaderSize_ == 22) {
            PutU32(h + 10, length);
            PutU64(h + 14, r.timestamp);
        } else {
            PutU32(h + 12, length);
            PutU64(h + 16, r.timestamp);
        }
        data_.insert(data_.end(), h, h + frameHeaderSize_);
        data_.insert(data_.end(), r.payload.begin(), r.payload.end());
        return true;
    }

    bool Finish() override {
        std::vector<IndexEntry> entries;
        if (layout_.indexOverride) {
            entries = *layout_.indexOverride;
        } else if (layout_.writeIndex) {
            entries.resize(keys_.size());
        }
        dataStart_ = kHeaderSize + entries.size() * 8 + layout_.gapBeforeData.size();
        if (!layout_.indexOverride) {
            for (size_t i = 0; i < entries.size(); ++i) {
                entries[i] = {static_cast<uint32_t>(keys_[i].first - keys_.front().first),
                              static_cast<uint32_t>(dataStart_ + keys_[i].second)};
            }
        }
        std::vector<uint8_t> h(kHeaderSize, 0);
        PutU32(&h[0], 0x5AFACADA);
        PutU32(&h[4], version_);
        std::memcpy(&h[8], layout_.name.data(), std::min<size_t>(layout_.name.size(), 20));
        PutU32(&h[28], layout_.lengthField.value_or(static_cast<uint32_t>(keys_.size())));
        PutU32(&h[32], layout_.headerWord);
        h[36] = layout_.headerByte;
        h[37] = layout_.frameRate;
        h[38] = layout_.audioType;
        h[39] = layout_.audioFlag;
        PutU16(&h[40], layout_.width);
        PutU16(&h[42], layout_.height);
        PutU32(&h[45], static_cast<uint32_t>(entries.size()));
        out_.Write(h);
        std::vector<uint8_t> table(entries.size() * 8);
        for (size_t i = 0; i < entries.size(); ++i) {
            PutU32(&table[i * 8], entries[i].time);
            PutU32(&table[i * 8 + 4], entries[i].offset);
        }
        out_.Write(table);
        out_.Write(layout_.gapBeforeData);
        out_.Write(data_);
        return out_.Close();
    }

    uint64_t DataStart() const override { return dataStart_; }

private:
    FileLayout layout_;
    FileSink out_;
    size_t frameHeaderSize_ = 20;
    uint32_t version_ = 0x400;
    std::vector<uint8_t> data_;
    uint64_t dataStart_ = 0;
    std::vector<std::pair<uint64_t, uint64_t>> keys_;  // timestamp, offset in data_ of each key frame
};

}  // namespace

std::unique_ptr<Writer> CreateV400Writer(const std::string& path, const FileLayout& layout) {
    return std::make_unique<V400Writer>(path, layout);
}

}  // namespace corvane::rec
