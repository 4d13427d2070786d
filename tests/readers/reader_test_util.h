#pragma once
// Shared helpers of the reader tests.
#include <dirent.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/reg_file.h"
#include "readers/file_reader.h"
#include "readers/probe.h"
#include "recwriter.h"

namespace corvane::test {

inline int OpenDescriptorCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

// Reads every record with ReadFrame(mode, aux) until it returns 0.
inline std::vector<std::unique_ptr<CxMemUnit>> ReadAll(CxFileReader& r, int mode = 0, int aux = 0,
                                                       size_t limit = 1000000) {
    std::vector<std::unique_ptr<CxMemUnit>> out;
    while (out.size() < limit) {
        std::unique_ptr<CxMemUnit> u;
        if (r.ReadFrame(mode, u, aux) == 0 || !u) break;
        out.push_back(std::move(u));
    }
    return out;
}

inline std::optional<std::string> ReadFileBytes(const std::string& path) { return ReadTextFile(path); }

}  // namespace corvane::test
