// Scans a generated tree of 100,000 files in 1,000 folders (10,000 of them
// recordings with valid names) and, in the same run, lists the same tree with
// `find DIR -type f | wc -l`. The figure that matters is the ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "catalogue/scan.h"

namespace {

namespace fs = std::filesystem;
fs::path g_root;

void MakeTree() {
    g_root = fs::temp_directory_path() / "corvane-bench-scan";
    fs::remove_all(g_root);
    const std::string payload(200, 'r');
    int recording = 0;
    for (int f = 0; f < 1000; ++f) {
        fs::path dir = g_root / ("disk" + std::to_string(f / 100)) / ("folder" + std::to_string(f));
        fs::create_directories(dir);
        for (int i = 0; i < 100; ++i) {
            if (i < 10) {
                int n = recording++;
                char name[64];
                std::snprintf(name, sizeof name, "H264_2016%02d%02d_%02d%02d%02d_N0_01.264", 1 + n / 3000 % 12,
                              1 + n / 100 % 28, n / 3600 % 24, n / 60 % 60, n % 60);
                std::ofstream(dir / name) << payload;
            } else {
                std::ofstream(dir / ("file" + std::to_string(i) + ".dat"));
            }
        }
    }
}

void BM_Find(benchmark::State& state) {
    std::string cmd = "find '" + g_root.string() + "' -type f | wc -l > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("find failed");
    }
}

void BM_Scan(benchmark::State& state) {
    size_t recordings = 0;
    for (auto _ : state) {
        corvane::DayList days;
        corvane::ScanFilter filter;
        filter.root = g_root.string();
        corvane::RecordingScan scan(filter, days, nullptr);
        scan.Run();
        recordings = 0;
        for (auto& d : days) recordings += d->recordings.size();
    }
    state.counters["recordings"] = static_cast<double>(recordings);
}

BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_Scan)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
    MakeTree();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    fs::remove_all(g_root);
    return 0;
}
