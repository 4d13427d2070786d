#pragma once
// The readers' file wrapper: one descriptor, 64-bit sizes and offsets, and a
// position and size kept here so that end-of-file tests cost no system call.
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

// Open flag words.
enum FileFlags : uint32_t {
    kFileRead = 0x0,
    kFileWrite = 0x1,
    kFileReadWrite = 0x2,
    kFileAccessMask = 0x3,
    kFileShareMask = 0x70,  // 0x10 exclusive, 0x20 deny write, 0x30 deny read, 0x40 share both
    kFileShareRead = 0x20,
    kFileNoInherit = 0x80,
    kFileCreate = 0x1000,        // without kFileOpenAlways: create and truncate
    kFileOpenAlways = 0x2000,    // with kFileCreate: open or create
    kFileNoBuffering = 0x10000,  // hints
    kFileWriteThrough = 0x20000,
    kFileRandomAccess = 0x40000,
    kFileSequentialScan = 0x80000,
};

enum class SeekFrom { Begin, Current, End };

class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Sharing modes are not enforced: on this platform locks are only advisory,
    // and the player's readers and the export's readers share files freely.
    bool Open(const std::string& path, uint32_t flags);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Bytes read; 0 on failure, at the end, or when asked for 0 bytes.
    size_t Read(void* buffer, size_t count);
    // Bytes written; 0 on failure.
    size_t Write(const void* buffer, size_t count);
    // New absolute position, or -1 on failure (a negative result position fails).
    int64_t Seek(int64_t distance, SeekFrom from);
    int64_t Tell() const { return fd_ >= 0 ? position_ : -1; }
    uint64_t Size() const { return size_; }
    bool Flush();
    // Cuts (or extends) the file to `size` bytes; the position stays. False on failure.
    bool Truncate(uint64_t size);

private:
    int fd_ = -1;
    int64_t position_ = 0;
    uint64_t size_ = 0;
};

}  // namespace corvane
