// Decoding rate of the playback engine against ffmpeg on the same streams:
// eight channels of 704x576 H.264 at 25 frames per second. ffmpeg decodes the
// eight streams one after another with one thread each; the engine plays the
// recording with every wait between read steps taken out, its eight decoding
// threads sharing the machine. Both report pictures per second.
// CORVANE_BENCH_SECONDS sets the length (default 8 s). A third benchmark
// plays the recording for a second, pauses it and reports the processor time the paused player takes,
// in percent of one core, over CORVANE_BENCH_PAUSE_SECONDS (default 20 s).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <sys/resource.h>

#include "common/temp_dir.h"
#include "playback/memory_output.h"
#include "test_recording.h"
#include "playback/video_group.h"

using namespace corvane;

namespace {

constexpr int kChannels = 8;

struct Streams {
    test::TempDir dir;
    std::vector<std::string> parts;  // the recording, one file per channel
    std::vector<std::string> raw;    // the same video as Annex-B files
    int pictures = 0;                // per stream
};

const Streams& GetStreams() {
    static Streams* s = [] {
        auto* out = new Streams;
        test::RecordingOptions o;
        o.channels = kChannels;
        const char* env = std::getenv("CORVANE_BENCH_SECONDS");
        o.seconds = env ? std::max(1, std::atoi(env)) : 8;
        o.width = 704;
        o.height = 576;
        o.crf = 20;
        o.preset = "veryfast";
        out->parts = test::WriteTestRecording(out->dir.path().string(), o);
        const auto& clip = test::EncodedClip(o.codec, o.width, o.height, o.seconds * o.fps, o.fps, o.crf, o.preset);
        out->pictures = int(clip.size());
        for (int c = 0; c < kChannels; ++c) {
            out->raw.push_back(out->dir.File("channel" + std::to_string(c + 1) + ".h264"));
            std::ofstream f(out->raw.back(), std::ios::binary);
            for (const auto& unit : clip) f.write(reinterpret_cast<const char*>(unit.data.data()), std::streamsize(unit.data.size()));
        }
        return out;
    }();
    return *s;
}

double g_ffmpegRate = 0, g_engineRate = 0;

// The recording of `parts`, one channel each, opened and added to `day`.
CDiskVideo* AddRecording(CDayVideo& day, const std::vector<std::string>& parts) {
    auto recording = std::make_unique<CDiskVideo>();
    recording->multiPart = 1;
    recording->partPaths = parts;
    recording->day = &day;
    recording->OpenReaders();
    day.recordings.push_back(std::move(recording));
    return day.recordings.back().get();
}

void BM_FfmpegOneAfterAnother(benchmark::State& state) {
    const Streams& s = GetStreams();
    double pictures = 0, seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& raw : s.raw) {
            const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -threads 1 -i '" + raw + "' -f null -";
            if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        pictures += double(s.pictures) * kChannels;
    }
    g_ffmpegRate = pictures / seconds;
    state.counters["pictures_per_second"] = g_ffmpegRate;
}

void BM_EngineUnpaced(benchmark::State& state) {
    const Streams& s = GetStreams();
    double pictures = 0, seconds = 0;
    for (auto _ : state) {
        MemoryVideoOutputFactory video;
        AppSettings settings;
        settings.Audio = 0;
        PlaybackEnvironment env;
        env.video = &video;
        env.settings = &settings;
        env.waitStep = [](CxEvent&, uint32_t) {};
        CDayVideo day;
        CDiskVideo* r = AddRecording(day, s.parts);
        QueueMessageSink sink;
        CVideoGroup group(env);
        group.OnCreate();
        const auto start = std::chrono::steady_clock::now();
        group.OpenRecording(&day, r, nullptr, &sink);
        while (!sink.Take()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        auto busy = [&] {
            for (int c = 0; c < kChannels; ++c)
                if (!group.Port(c)->Draw().Idle()) return true;
            return false;
        };
        while (busy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (int c = 0; c < kChannels; ++c) pictures += double(group.Port(c)->Draw().PicturesDecoded());
        group.StopPlayback();
        group.ResetState();
    }
    g_engineRate = pictures / seconds;
    state.counters["pictures_per_second"] = g_engineRate;
}

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_PausedCpu(benchmark::State& state) {
    const Streams& s = GetStreams();
    const char* env = std::getenv("CORVANE_BENCH_PAUSE_SECONDS");
    const double pause = env ? std::max(1.0, std::atof(env)) : 20.0;
    for (auto _ : state) {
        MemoryVideoOutputFactory video;
        AppSettings settings;
        settings.Audio = 0;
        PlaybackEnvironment penv;
        penv.video = &video;
        penv.settings = &settings;
        CDayVideo day;
        CDiskVideo* r = AddRecording(day, s.parts);
        QueueMessageSink sink;
        CVideoGroup group(penv);
        group.OnCreate();
        group.OpenRecording(&day, r, nullptr, &sink);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        group.PausePlayback();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last records finish
        const double cpu = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(pause));
        state.counters["paused_cpu_pct"] = 100 * (ProcessCpuSeconds() - cpu) / pause;
        group.StopPlayback();
        group.ResetState();
    }
}

BENCHMARK(BM_FfmpegOneAfterAnother)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_EngineUnpaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_PausedCpu)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_ffmpegRate > 0 && g_engineRate > 0)
        std::printf("engine / ffmpeg pictures per second: %.0f / %.0f = %.2f\n", g_engineRate, g_ffmpegRate,
                    g_engineRate / g_ffmpegRate);
    return 0;
}
