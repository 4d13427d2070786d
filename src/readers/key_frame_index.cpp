#include "readers/key_frame_index.h"

#include "readers/byte_order.h"
#include "readers/file_handle.h"

namespace corvane {

uint32_t KeyFrameIndex::Lookup(uint32_t n) {
    CxLock lock(mutex_);
    if (n >= entries_.size()) return 0;
    current_ = n;
    return entries_[n].offset;
}

bool KeyFrameIndex::Empty() {
    CxLock lock(mutex_);
    return entries_.empty();
}

uint32_t KeyFrameIndex::Count() {
    CxLock lock(mutex_);
    return static_cast<uint32_t>(entries_.size());
}

void KeyFrameIndex::Clear() {
    CxLock lock(mutex_);
    entries_.clear();
    entries_.shrink_to_fit();
    current_ = 0;
}

uint32_t KeyFrameIndex::Current() {
    CxLock lock(mutex_);
    return current_;
}

void KeyFrameIndex::SetCurrent(uint32_t n) {
    CxLock lock(mutex_);
    current_ = n;
}

bool KeyFrameIndex::Entry(uint32_t n, IndexEntry& out) {
    CxLock lock(mutex_);
    if (n >= entries_.size()) return false;
    out = entries_[n];
    return true;
}

std::vector<IndexEntry> KeyFrameIndex::Entries() {
    CxLock lock(mutex_);
    return entries_;
}

void KeyFrameIndex::LoadFromFile(FileHandle& file, uint64_t offset, uint64_t maxBytes) {
    CxLock lock(mutex_);
    if (file.Seek(static_cast<int64_t>(offset), SeekFrom::Begin) < 0) return;
    uint8_t chunk[8 * 1024];
    uint64_t done = 0;
    while (done + 8 <= maxBytes) {
        uint64_t want = maxBytes - done;
        if (want > sizeof chunk) want = sizeof chunk;
        want -= want % 8;
        size_t got = file.Read(chunk, want);
        for (size_t i = 0; i + 8 <= got; i += 8) entries_.push_back({GetU32(chunk + i), GetU32(chunk + i + 4)});
        done += got;
        if (got < want) break;
    }
}

void KeyFrameIndex::LoadFromBytes(const uint8_t* data, size_t size) {
    CxLock lock(mutex_);
    for (size_t i = 0; i + 8 <= size; i += 8) entries_.push_back({GetU32(data + i), GetU32(data + i + 4)});
}

bool KeyFrameIndex::WriteTo(FileHandle& file) {
    CxLock lock(mutex_);
    std::vector<uint8_t> bytes(entries_.size() * 8);
    for (size_t i = 0; i < entries_.size(); ++i) {
        PutU32(&bytes[i * 8], entries_[i].time);
        PutU32(&bytes[i * 8 + 4], entries_[i].offset);
    }
    return bytes.empty() || file.Write(bytes.data(), bytes.size()) == bytes.size();
}

}  // namespace corvane
