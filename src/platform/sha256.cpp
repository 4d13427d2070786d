#include "platform/sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace corvane {

std::optional<FileDigest> Sha256OfFile(const std::string& path, const std::atomic<bool>* cancel) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    FileDigest digest;
    std::vector<unsigned char> buffer(1 << 20);
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0;) {
        if (cancel && *cancel) return std::nullopt;
        if (EVP_DigestUpdate(ctx.get(), buffer.data(), n) != 1) return std::nullopt;
        digest.size += n;
    }
    if (std::ferror(file.get())) return std::nullopt;
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), md, &length) != 1) return std::nullopt;
    static const char kHex[] = "0123456789abcdef";
    for (unsigned int i = 0; i < length; ++i) {
        digest.sha256 += kHex[md[i] >> 4];
        digest.sha256 += kHex[md[i] & 15];
    }
    return digest;
}

}  // namespace corvane
