#pragma once
// SHA-256 of a file's bytes, computed by OpenSSL's libcrypto.
#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

struct FileDigest {
    uint64_t size = 0;
    std::string sha256;  // 64 lower-case hex digits
};

// Empty when the file cannot be opened or read to its end.
std::optional<FileDigest> Sha256OfFile(const std::string& path);

}  // namespace corvane
