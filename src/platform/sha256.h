#pragma once
// SHA-256 of a file's bytes, computed by OpenSSL's libcrypto.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

struct FileDigest {
    uint64_t size = 0;
    std::string sha256;  // 64 lower-case hex digits
};

// Empty when the file cannot be opened or read to its end, or when `cancel`
// is set while it is read.
std::optional<FileDigest> Sha256OfFile(const std::string& path, const std::atomic<bool>* cancel = nullptr);

}  // namespace corvane
