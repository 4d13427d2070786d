// Versions 0x300 and 0x120: 100-byte header, frame data from offset 100 with
// 20-byte frame headers, then the index entries; the trailer (0x300 and 0x120
// revision 0x102) or the header (0x120) says where they are, and 0x300 may
// keep them in a companion "<recording>.idx" file instead.
#include <algorithm>
#include <cstring>
#include <optional>

#include "file_sink.h"
#include "readers/byte_order.h"
#include "recwriter.h"

namespace corvane::rec {
namespace {

constexpr size_t kHeaderSize = 100;

std::vector<uint8_t> EntryBytes(const std::vector<IndexEntry>& entries) {
    std::vector<uint8_t> b(entries.size() * 8);
    for (size_t i = 0; i < entries.size(); ++i) {
        PutU32(&b[i * 8], entries[i].time);
        PutU32(&b[i * 8 + 4], entries[i].offset);
    }
    return b;
}

class V300Writer : public Writer {
public:
    V300Writer(const std::string& path, const FileLayout& layout) : layout_(layout), out_(path), path_(path) {
        v120_ = layout.version == "V120";
        version_ = layout.versionWord.value_or(v120_ ? (layout.trailer ? 0x102 : 0x101) : 0x300);
        out_.Write(std::vector<uint8_t>(kHeaderSize, 0));  // filled in by Finish
        out_.Write(layout.gapBeforeData);
        dataStart_ = out_.Tell();
    }

    bool Add(const Record& r) override {
        if (r.payload.size() > 0xFFFF) return false;  // u16 length field
        if (!firstTimestamp_) firstTimestamp_ = r.timestamp;  // the first record's time
        if (r.type == 1) lastVideo_ = r.timestamp;
        if (r.type == 1 && r.key == 1) keys_.push_back({r.timestamp, out_.Tell()});
        uint8_t h[20];
        PutU32(h, 0x55667788);
        PutU32(h + 4, 0x11223344);
        h[8] = v120_ ? r.type : static_cast<uint8_t>((r.type << 4) | (r.channel & 0x0F));
        h[9] = r.key;
        PutU16(h + 10, static_cast<uint16_t>(r.payload.size()));
        PutU64(h + 12, r.timestamp);
        out_.Write(h, sizeof h);
        out_.Write(r.payload);
        return out_.ok();
    }

    bool Finish() override {
        std::vector<IndexEntry> built;
        for (const auto& [ts, offset] : keys_) {
            built.push_back({static_cast<uint32_t>(ts - keys_.front().first), static_cast<uint32_t>(offset)});
        }
        const std::vector<IndexEntry> entries = layout_.indexOverride.value_or(built);
        // The recording holds entries only where its header (0x120) or its
        // trailer points at them.
        const bool indexInFile = (v120_ || layout_.trailer) && (layout_.indexOverride || layout_.writeIndex);
        const std::vector<IndexEntry> inFile = indexInFile ? entries : std::vector<IndexEntry>{};
        const uint32_t indexOffset = inFile.empty() ? 0 : static_cast<uint32_t>(out_.Tell());
        const uint32_t indexSize = static_cast<uint32_t>(inFile.size() * 8);
        // By default the span from the first record to the last video frame.
        uint64_t span = firstTimestamp_ && lastVideo_ > *firstTimestamp_ ? (lastVideo_ - *firstTimestamp_) / 1000 : 0;
        const uint32_t length = layout_.lengthField.value_or(static_cast<uint32_t>(span));
        out_.Write(EntryBytes(inFile));
        if (layout_.trailer) {
            uint8_t t[20];
            PutU32(t, 0x44332211);
            PutU32(t + 4, 0x88776655);
            PutU32(t + 8, length);
            PutU32(t + 12, indexOffset);
            PutU32(t + 16, indexSize);
            out_.Write(t, sizeof t);
        }

        std::vector<uint8_t> h(kHeaderSize, 0);
        PutU32(&h[0], 0x5AFACADA);
        PutU32(&h[4], version_);
        std::memcpy(&h[8], layout_.name.data(), std::min<size_t>(layout_.name.size(), 20));
        PutU32(&h[28], length);
        PutU32(&h[32], layout_.headerWord);
        h[36] = layout_.headerByte;
        h[37] = layout_.frameRate;
        if (v120_) {
            PutU16(&h[38], layout_.width);
            PutU16(&h[40], layout_.height);
            h[42] = layout_.audioType;
            h[43] = layout_.audioFlag;
            PutU32(&h[44], indexOffset);
            PutU32(&h[48], indexSize);
        } else {
            h[38] = layout_.audioType;
            h[39] = layout_.audioFlag;
            PutU16(&h[40], layout_.width);
            PutU16(&h[42], layout_.height);
        }
        out_.WriteAt(0, h);
        bool ok = out_.Close();
        if (layout_.companionIndex) {
            FileSink companion(path_ + ".idx");
            companion.Write(EntryBytes(entries));
            ok = companion.Close() && ok;
        }
        return ok;
    }

    uint64_t DataStart() const override { return dataStart_; }

private:
    FileLayout layout_;
    FileSink out_;
    std::string path_;
    bool v120_ = false;
    uint32_t version_ = 0x300;
    uint64_t dataStart_ = 0;
    std::optional<uint64_t> firstTimestamp_;
    uint64_t lastVideo_ = 0;
    std::vector<std::pair<uint64_t, uint64_t>> keys_;  // timestamp, offset of each key frame
};

}  // namespace

std::unique_ptr<Writer> CreateV300Writer(const std::string& path, const FileLayout& layout) {
    return std::make_unique<V300Writer>(path, layout);
}

}  // namespace corvane::rec
