// Reads a large V800 recording record by record (ReadFrame mode 0) and, in the
// same run, copies the same file with `cat FILE > /dev/null`. Both run with a
// warm page cache; the figure that matters is the ratio of the two rates.
//
//   bench_read_v800 [--size-mb=N] [benchmark flags]   (default 1100 MB)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "readers/probe.h"
#include "recwriter.h"

namespace {

std::string g_file;
uint64_t g_bytes = 0;

void MakeFile(uint64_t megabytes) {
    g_file = (std::filesystem::temp_directory_path() / "corvane-bench-v800.265").string();
    corvane::rec::FileLayout layout;
    layout.version = "V800";
    layout.hevc = 1;
    auto writer = corvane::rec::Writer::Create(g_file, layout);
    // 25 fps, a 60 KB key frame each second and 20 KB frames between them,
    // audio every 40 ms: about 0.5 MB per second of recording.
    corvane::rec::StreamOptions o;
    o.seconds = 60;
    o.keyBytes = 60000;
    o.videoBytes = 20000;
    o.audioBytes = 320;
    uint64_t written = 0;
    for (uint64_t block = 0; written < megabytes << 20; ++block) {
        o.startMs = 1000 + block * 60000;
        for (auto& r : corvane::rec::MakeStream(o)) {
            writer->Add(r);
            written += r.payload.size() + 18;
        }
    }
    writer->Finish();
    g_bytes = std::filesystem::file_size(g_file);
}

void BM_ReadFrame(benchmark::State& state) {
    for (auto _ : state) {
        auto reader = corvane::OpenRecordingReader(0, g_file, 0);
        if (!reader) {
            state.SkipWithError("cannot open the recording");
            return;
        }
        size_t records = 0;
        std::unique_ptr<corvane::CxMemUnit> unit;
        while (reader->ReadFrame(0, unit, 0)) ++records;
        benchmark::DoNotOptimize(records);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_bytes));
}

void BM_Cat(benchmark::State& state) {
    std::string cmd = "cat '" + g_file + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("cat failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_bytes));
}

BENCHMARK(BM_Cat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_ReadFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
    uint64_t megabytes = 1100;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--size-mb=", 10) == 0) megabytes = std::strtoull(argv[i] + 10, nullptr, 10);
    }
    MakeFile(megabytes);
    std::string warm = "cat '" + g_file + "' > /dev/null";
    if (std::system(warm.c_str()) != 0) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove(g_file);
    return 0;
}
