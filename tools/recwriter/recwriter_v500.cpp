// Versions 0x500, 0x501, 0x502, 0x503, 0x510 and 0x600: header (48 bytes),
// channel table (8 bytes per slot), one table of 3600 index slots per channel
// slot, the 43200-byte event table of 0x502, 0x503 and 0x600, then the
// records of all channels (24-byte frame headers, 18 bytes in 0x510).
#include <algorithm>
#include <cstring>
#include <map>

#include "file_sink.h"
#include "readers/byte_order.h"
#include "recwriter.h"

namespace corvane::rec {
namespace {

constexpr size_t kSlotsPerTable = 3600;
constexpr size_t kTableBytes = kSlotsPerTable * 8;
constexpr size_t kEventBytes = 43200;

uint32_t VersionWord(const std::string& v) {
    static const std::map<std::string, uint32_t> words = {{"V500", 0x500}, {"V501", 0x501}, {"V502", 0x502},
                                                          {"V503", 0x503}, {"V510", 0x510}, {"V600", 0x600}};
    return words.at(v);
}

class V500Writer : public Writer {
public:
    V500Writer(const std::string& path, const FileLayout& layout) : layout_(layout), out_(path), version_(VersionWord(layout.version)) {
        slots_ = std::min<size_t>(layout.channels.size(), 255);
        std::vector<uint8_t> h(48, 0);
        PutU32(&h[0], 0x5AFACADA);
        PutU32(&h[4], version_);
        std::memcpy(&h[8], layout.name.data(), std::min<size_t>(layout.name.size(), 20));
        PutU32(&h[32], layout.headerWord);
        if (version_ == 0x500) {
            h[42] = layout.audioType;
            h[44] = static_cast<uint8_t>(slots_);
        } else {
            h[41] = layout.audioType;
            h[42] = static_cast<uint8_t>(slots_);
            h[43] = layout.headerByte;
            PutU16(&h[44], layout.shortHeaderWord);
        }
        out_.Write(h);
        for (size_t k = 0; k < slots_; ++k) {
            const Channel& c = layout.channels[k];
            uint8_t e[8] = {c.number, c.frameRate, c.present, c.audioFlag, 0, 0, 0, 0};
            PutU16(e + 4, c.width);
            PutU16(e + 6, c.height);
            out_.Write(e, sizeof e);
        }
        indexOffset_ = out_.Tell();
        out_.Write(std::vector<uint8_t>(kTableBytes * slots_, 0xFF));
        if (version_ == 0x502 || version_ == 0x503 || version_ == 0x600) {
            std::vector<uint8_t> events(kEventBytes, 0);
            for (size_t i = 0; i < layout.events.size() && i < kEventBytes / 12; ++i) {
                for (size_t f = 0; f < 3; ++f) PutU32(&events[i * 12 + f * 4], layout.events[i][f]);
            }
            out_.Write(events);
        }
        dataStart_ = out_.Tell();
        keys_.resize(slots_);
    }

    bool Add(const Record& r) override {
        if (r.type == 1 && r.key == 1 && r.channel >= 1 && r.channel <= slots_) {
            keys_[r.channel - 1].push_back({r.timestamp, out_.Tell()});
        }
        WriteFrameHeader(0x55667788, 0x11223344, r);
        out_.Write(r.payload);
        return out_.ok();
    }

    bool Finish() override {
        if (layout_.endMarker) WriteFrameHeader(0x88888888, 0x88888888, Record{0, 0, 0, 0, {}});
        uint32_t firstCount = 0;
        for (size_t k = 0; k < slots_; ++k) {
            std::vector<IndexEntry> entries;
            if (k == 0 && layout_.indexOverride) {
                entries = *layout_.indexOverride;
            } else if (layout_.writeIndex) {
                for (const auto& [ts, offset] : keys_[k]) {
                    entries.push_back({static_cast<uint32_t>(ts - keys_[k].front().first), static_cast<uint32_t>(offset)});
                }
            }
            if (entries.size() > kSlotsPerTable) entries.resize(kSlotsPerTable);
            if (k == 0) firstCount = static_cast<uint32_t>(entries.size());
            std::vector<uint8_t> table(kTableBytes, 0xFF);
            for (size_t i = 0; i < entries.size(); ++i) {
                PutU32(&table[i * 8], entries[i].time);
                PutU32(&table[i * 8 + 4], entries[i].offset);
            }
            out_.WriteAt(indexOffset_ + k * kTableBytes, table);
        }
        // The recorder counts the key frames of the first channel: one a second.
        std::vector<uint8_t> length(4);
        PutU32(length.data(), layout_.lengthField.value_or(firstCount));
        out_.WriteAt(28, length);
        return out_.Close();
    }

    uint64_t DataStart() const override { return dataStart_; }

private:
    void WriteFrameHeader(uint32_t sync1, uint32_t sync2, const Record& r) {
        uint8_t kind = static_cast<uint8_t>((r.type << 4) | (r.channel & 0x0F));
        uint8_t h[24] = {};
        PutU32(h, sync1);
        PutU32(h + 4, sync2);
        if (version_ == 0x510) {
            PutU32(h + 8, static_cast<uint32_t>(r.timestamp));
            PutU32(h + 12, static_cast<uint32_t>(r.payload.size()));
            h[16] = kind;
            h[17] = r.key;
            out_.Write(h, 18);
        } else {
            h[8] = kind;
            h[9] = r.key;
            PutU32(h + 12, static_cast<uint32_t>(r.payload.size()));
            PutU64(h + 16, r.timestamp);
            out_.Write(h, 24);
        }
    }

    FileLayout layout_;
    FileSink out_;
    uint32_t version_;
    size_t slots_ = 0;
    uint64_t indexOffset_ = 0;
    uint64_t dataStart_ = 0;
    std::vector<std::vector<std::pair<uint64_t, uint64_t>>> keys_;  // per slot: timestamp, offset of each key frame
};

}  // namespace

std::unique_ptr<Writer> CreateV500Writer(const std::string& path, const FileLayout& layout) {
    return std::make_unique<V500Writer>(path, layout);
}

}  // namespace corvane::rec
