#pragma once
// Writes the demo card: encodes every channel's video (in chunks of whole
// seconds, on several threads, each chunk by its own single-threaded encoder
// so that the bytes do not depend on the threads), adds sound and GPS
// records, and writes the container files recording by recording.
#include <cstdint>
#include <string>
#include <vector>

#include "card_plan.h"

namespace corvane::demo {

struct WrittenFile {
    std::string path;  // relative to the card's root
    uint64_t bytes = 0;
};

struct CardReport {
    std::vector<WrittenFile> files;
    std::string error;  // empty on success
};

// `jobs` threads encode; the card's root is created when missing. `progress`,
// when set, is called after each recording with the files just written.
using CardProgress = void (*)(const RecordingPlan& recording, const std::vector<WrittenFile>& files);
CardReport WriteCard(const std::string& root, const std::vector<RecordingPlan>& plan, int jobs,
                     CardProgress progress = nullptr);

// The recorder name every file carries.
inline constexpr const char* kRecorderName = "SZ BD-8815";

}  // namespace corvane::demo
