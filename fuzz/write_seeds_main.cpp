// Writes a target's seed inputs into a folder: write_seeds TARGET FOLDER.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "readers/probe.h"
#include "recording_input.h"
#include "seeds.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TARGET FOLDER\n", argv[0]);
        return 2;
    }
    std::filesystem::create_directories(argv[2]);
    const auto seeds = corvane::fuzz::SeedInputs(argv[1]);
    for (size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream(std::string(argv[2]) + "/seed-" + std::to_string(i), std::ios::binary) << seeds[i];
    }
    std::printf("%zu seeds for %s\n", seeds.size(), argv[1]);
    if (std::string(argv[1]) == "readers") {  // which versions the readers accept
        for (const std::string& seed : seeds) {
            using namespace corvane::fuzz;
            RecordingInput in = DecodeRecordingInput(reinterpret_cast<const uint8_t*>(seed.data()), seed.size());
            auto reader = corvane::OpenRecordingReader(0, WriteRecordingInput(in), 0);
            std::printf("  %s: %s\n", VersionName(in.version), reader ? corvane::ReaderVersionName(*reader) : "rejected");
        }
    }
    return seeds.empty() ? 1 : 0;
}
