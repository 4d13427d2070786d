#include "readers/frame_scan.h"

#include <cstring>
#include <vector>

#include "readers/byte_order.h"

namespace corvane {
namespace {

constexpr size_t kBlock = 64 * 1024;
constexpr size_t kMaxFrameHeader = 32;

bool AtEnd(const FileHandle& file) { return file.Tell() < 0 || static_cast<uint64_t>(file.Tell()) >= file.Size(); }

}  // namespace

std::optional<uint64_t> FindSyncWords(FileHandle& file, uint64_t from, uint64_t limit) {
    uint8_t sync[8];
    PutU32(sync, kSync1);
    PutU32(sync + 4, kSync2);
    std::vector<uint8_t> block(kBlock + sizeof sync - 1);
    const uint64_t size = file.Size();
    uint64_t end = from + limit;  // last candidate position, exclusive
    if (size < sizeof sync) return std::nullopt;
    if (end > size - sizeof sync + 1) end = size - sizeof sync + 1;
    for (uint64_t at = from; at < end; at += kBlock) {
        uint64_t candidates = end - at < kBlock ? end - at : kBlock;
        if (file.Seek(static_cast<int64_t>(at), SeekFrom::Begin) < 0) return std::nullopt;
        size_t got = file.Read(block.data(), candidates + sizeof sync - 1);
        for (size_t i = 0; i + sizeof sync <= got; ++i) {
            if (block[i] == sync[0] && std::memcmp(&block[i], sync, sizeof sync) == 0) return at + i;
        }
        if (got < candidates + sizeof sync - 1) break;
    }
    return std::nullopt;
}

std::optional<uint64_t> SeekForwardToVideo(FileHandle& file, size_t headerSize, FrameHeaderParser parse) {
    uint8_t b[kMaxFrameHeader];
    if (headerSize > sizeof b) return std::nullopt;
    while (true) {
        int64_t at = file.Tell();
        if (at < 0 || file.Read(b, headerSize) != headerSize || AtEnd(file)) return std::nullopt;
        RecordHeader h;
        if (!parse(b, h)) {
            std::optional<uint64_t> next = FindSyncWords(file, static_cast<uint64_t>(at) + 1);
            if (!next) {
                file.Seek(0, SeekFrom::End);
                return std::nullopt;
            }
            file.Seek(static_cast<int64_t>(*next), SeekFrom::Begin);
            continue;
        }
        if (h.Type() == kTypeVideo) {
            file.Seek(at, SeekFrom::Begin);
            return h.timestamp;
        }
        uint64_t pos = static_cast<uint64_t>(file.Tell());
        if (h.length > file.Size() - pos) {
            file.Seek(0, SeekFrom::End);
            return std::nullopt;
        }
        file.Seek(static_cast<int64_t>(h.length), SeekFrom::Current);
    }
}

}  // namespace corvane
