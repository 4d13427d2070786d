#pragma once
// The key-frame index: entry n stands for second n of the recording (recorders
// write one key frame per second). Entries are 8 bytes in files: time (u32,
// milliseconds) then the file offset (u32) of the key frame's header.
#include <cstdint>
#include <vector>

#include "platform/sync.h"

namespace corvane {

class FileHandle;

struct IndexEntry {
    uint32_t time = 0;
    uint32_t offset = 0;
};

class KeyFrameIndex {
public:
    // Used while opening and rebuilding, before other threads see the index.
    void Append(const IndexEntry& e) { entries_.push_back(e); }

    // The offset of entry n, making n the current position; 0 when n is past
    // the end or the slot is empty.
    uint32_t Lookup(uint32_t n);
    bool Empty();
    uint32_t Count();
    void Clear();
    uint32_t Current();
    void SetCurrent(uint32_t n);
    // Entry n, or nullopt-like false when past the end.
    bool Entry(uint32_t n, IndexEntry& out);
    std::vector<IndexEntry> Entries();

    // Appends 8-byte entries read from the file at `offset` until its end or
    // until `maxBytes` have been read.
    void LoadFromFile(FileHandle& file, uint64_t offset, uint64_t maxBytes);
    // Same, from a file's bytes.
    void LoadFromBytes(const uint8_t* data, size_t size);
    // Writes every entry as 8 bytes at the file's current position.
    bool WriteTo(FileHandle& file);

private:
    CxMutex mutex_;
    uint32_t current_ = 0;
    std::vector<IndexEntry> entries_;
};

}  // namespace corvane
