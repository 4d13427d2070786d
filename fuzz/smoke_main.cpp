// A fuzz target as a plain program, for CI without the fuzzing compiler: runs
// the target over its generated seeds and a fixed series of mutations of them,
// so that every fixed finding stays fixed. With file arguments, runs those
// inputs instead (to replay what the fuzzer found).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// With CORVANE_FUZZ_SMOKE_INPUT set, each input is written to that file
// before it runs, so that the one that failed can be replayed.
void Run(const std::string& input) {
    if (const char* keep = std::getenv("CORVANE_FUZZ_SMOKE_INPUT")) std::ofstream(keep, std::ios::binary) << input;
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

// Byte-level damage like the fuzzer's: flipped bits, boundary values in
// bytes and 32-bit words, cuts, insertions, removals and copied blocks,
// half of them near the start where the headers are.
std::string Mutate(std::string s, std::mt19937& rng) {
    static const uint32_t kWords[] = {0, 1, 0x7F, 0x80, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                      0x55667788, 0x11223344, 0x88888888, 512000, 1000000};
    const int steps = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < steps && !s.empty(); ++i) {
        size_t at = rng() % 2 ? rng() % std::min<size_t>(s.size(), 200) : rng() % s.size();
        switch (rng() % 7) {
            case 0: s[at] = static_cast<char>(s[at] ^ (1 << (rng() % 8))); break;
            case 1: s[at] = static_cast<char>(kWords[rng() % 6]); break;
            case 2: {
                uint32_t w = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
                for (size_t k = 0; k < 4 && at + k < s.size(); ++k) s[at + k] = static_cast<char>(w >> (8 * k));
                break;
            }
            case 3: s.resize(at); break;
            case 4: s.insert(at, std::string(1 + rng() % 16, static_cast<char>(rng()))); break;
            case 5: s.erase(at, 1 + rng() % 32); break;
            case 6: {
                size_t from = rng() % s.size();
                s.insert(at, s.substr(from, 1 + rng() % 64));
                break;
            }
        }
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            std::ifstream in(argv[i], std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            Run(s.str());
        }
        return 0;
    }
    const std::vector<std::string> seeds = corvane::fuzz::SeedInputs(FUZZ_TARGET_NAME);
    if (seeds.empty()) {
        std::fprintf(stderr, "no seeds for %s\n", FUZZ_TARGET_NAME);
        return 1;
    }
    int rounds = FUZZ_SMOKE_ROUNDS;
    if (const char* env = std::getenv("CORVANE_FUZZ_SMOKE_ROUNDS")) rounds = std::atoi(env);
    for (const std::string& seed : seeds) Run(seed);
    std::mt19937 rng(20240601);
    for (int i = 0; i < rounds; ++i) Run(Mutate(seeds[rng() % seeds.size()], rng));
    std::printf("%s: %zu seeds, %d mutations\n", FUZZ_TARGET_NAME, seeds.size(), rounds);
    return 0;
}
