#pragma once
// A buffered output file for the writers.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace corvane::rec {

class FileSink {
public:
    explicit FileSink(const std::string& path) : f_(std::fopen(path.c_str(), "wb")) {}
    ~FileSink() {
        if (f_) std::fclose(f_);
    }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool ok() const { return f_ && ok_; }
    uint64_t Tell() const { return pos_; }
    void Write(const void* data, size_t n) {
        if (!f_ || n == 0) return;
        ok_ = ok_ && std::fwrite(data, 1, n, f_) == n;
        pos_ += n;
    }
    void Write(const std::vector<uint8_t>& b) { Write(b.data(), b.size()); }
    // Overwrites earlier bytes and returns to the end.
    void WriteAt(uint64_t offset, const std::vector<uint8_t>& b) {
        if (!f_) return;
        ok_ = ok_ && std::fseek(f_, static_cast<long>(offset), SEEK_SET) == 0 && std::fwrite(b.data(), 1, b.size(), f_) == b.size() &&
              std::fseek(f_, 0, SEEK_END) == 0;
    }
    bool Close() {
        bool good = ok();
        if (f_) good = std::fclose(f_) == 0 && good;
        f_ = nullptr;
        return good;
    }

private:
    std::FILE* f_;
    bool ok_ = true;
    uint64_t pos_ = 0;
};

}  // namespace corvane::rec
