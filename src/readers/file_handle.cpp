#include "readers/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace corvane {

bool FileHandle::Open(const std::string& path, uint32_t flags) {
    Close();
    int oflags = O_CLOEXEC;
    switch (flags & kFileAccessMask) {
        case kFileWrite: oflags |= O_WRONLY; break;
        case kFileReadWrite: oflags |= O_RDWR; break;
        default: oflags |= O_RDONLY; break;
    }
    if (flags & kFileCreate) oflags |= (flags & kFileOpenAlways) ? O_CREAT : (O_CREAT | O_TRUNC);
    if (flags & kFileWriteThrough) oflags |= O_DSYNC;
    // Non-blocking only while opening: a named pipe that carries a recording's
    // name would otherwise wait for a writer for ever. Only regular files are
    // taken.
    int fd;
    do {
        fd = ::open(path.c_str(), oflags | O_NONBLOCK, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    if (flags & kFileSequentialScan) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (flags & kFileRandomAccess) ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    fd_ = fd;
    position_ = 0;
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
}

void FileHandle::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    position_ = 0;
    size_ = 0;
}

size_t FileHandle::Read(void* buffer, size_t count) {
    if (fd_ < 0 || count == 0) return 0;
    size_t done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::pread(fd_, out + done, count - done, position_ + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    position_ += static_cast<int64_t>(done);
    return done;
}

size_t FileHandle::Write(const void* buffer, size_t count) {
    if (fd_ < 0 || count == 0) return 0;
    size_t done = 0;
    auto* in = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::pwrite(fd_, in + done, count - done, position_ + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    position_ += static_cast<int64_t>(done);
    if (static_cast<uint64_t>(position_) > size_) size_ = static_cast<uint64_t>(position_);
    return done;
}

int64_t FileHandle::Seek(int64_t distance, SeekFrom from) {
    if (fd_ < 0) return -1;
    int64_t base = from == SeekFrom::Begin ? 0 : from == SeekFrom::Current ? position_ : static_cast<int64_t>(size_);
    // Overflow-safe: a target below 0 or beyond int64 fails and leaves the position.
    if ((distance > 0 && base > INT64_MAX - distance) || base + distance < 0) return -1;
    position_ = base + distance;
    return position_;
}

bool FileHandle::Flush() { return fd_ >= 0 && ::fsync(fd_) == 0; }

bool FileHandle::Truncate(uint64_t size) {
    if (fd_ < 0 || size > static_cast<uint64_t>(INT64_MAX)) return false;
    int r;
    do {
        r = ::ftruncate(fd_, static_cast<off_t>(size));
    } while (r != 0 && errno == EINTR);
    if (r != 0) return false;
    size_ = size;
    return true;
}

}  // namespace corvane
