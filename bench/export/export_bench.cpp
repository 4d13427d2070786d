// Exports a 4-channel, 10-minute range of real H.264 video to AVI and to MP4
// with the conversion job and, in the same run, remuxes the first channel's
// H.264 elementary stream with `ffmpeg -y -i ch1.h264 -c copy out.avi` (and
// `out.mp4 -movflags +faststart`), once per channel so that both sides write
// as much (the page cache treats 200 MB and 800 MB of new data differently).
// The figure that matters is the output rate of each, bytes written per
// second of wall time; the export also decodes the sound (to PCM, or to AAC
// for MP4) and writes the manifest, whose hashing BM_HashEvidence times alone
// and BM_Mp4HashingOverhead weighs against the export without it.
//
// BM_Mosaic composes all channels into one 2x2 H.264 MP4 (CRF 23, preset
// veryfast) with the sound of the first; BM_FfmpegMosaic does the same with
// the `ffmpeg` command line from the channels' elementary streams and the
// first channel's sound as PCM: the same filters (scale, xstack, drawtext for
// the labels and the line of text) and encoder settings. Their counters:
// `realtime`, seconds of span per second of wall time, and `cpu_s`, the
// processor seconds used (all threads; on a shared machine the fairer figure).
//
//   bench_export [--card=DIR] [--minutes=N] [benchmark flags]
//
// With --card the range is the demo card's recording with the most channel
// seconds (corvane-mkdemo writes one of 10 minutes and 4 channels); without
// it, recordings laid out like that one are written first: V800, one file per
// channel, 704x576 at 25 fps, sound (G.726 at 16 kbit/s) on the first channel.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "catalogue/scan.h"
#include "codecs/hi_voice.h"
#include "codecs/video_encoder.h"
#include "codecs/voice_encoder.h"
#include "codecs/voice_format.h"
#include "export/convert_job.h"
#include "platform/sha256.h"
#include "readers/probe.h"
#include "recwriter.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;

constexpr int kChannels = 4;
constexpr int kWidth = 704, kHeight = 576;
constexpr int kClipSeconds = 10;

fs::path g_dir;  // work folder: generated card, elementary stream, outputs
DayList g_days;
CDayVideo* g_day = nullptr;
ConvertSettings g_settings;
int g_minutes = 10;

// A moving gradient under grain, so that frames are as large as a recorder's.
Yuv420Image Picture(int index, std::mt19937& rng) {
    Yuv420Image img(kWidth, kHeight);
    std::uniform_int_distribution<int> grain(-10, 10);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            img.y[size_t(y) * kWidth + x] = uint8_t(std::clamp(40 + (x + y + index * 3) % 160 + grain(rng), 16, 235));
    for (size_t i = 0; i < img.u.size(); ++i) {
        img.u[i] = uint8_t(110 + i % 40);
        img.v[i] = uint8_t(150 - i % 30);
    }
    return img;
}

std::vector<EncodedUnit> EncodeClip() {
    VideoEncoderOptions o;
    o.width = kWidth;
    o.height = kHeight;
    o.crf = 30;
    o.preset = "ultrafast";
    VideoEncoder enc;
    std::vector<EncodedUnit> units;
    if (!enc.Open(o)) return units;
    std::mt19937 rng(7);
    for (int i = 0; i < kClipSeconds * 25; ++i) enc.Encode(Picture(i, rng), units);
    enc.Flush(units);
    return units;
}

// The 10-second clip repeated, one file per channel.
bool WriteRecordings(const fs::path& card) {
    std::vector<EncodedUnit> clip = EncodeClip();
    if (clip.size() != kClipSeconds * 25) return false;
    const size_t frames = size_t(g_minutes) * 60 * 25;
    std::vector<int16_t> pcm(frames * 320);
    for (size_t n = 0; n < pcm.size(); ++n) pcm[n] = int16_t(5000 * std::sin(2 * M_PI * 440 * double(n) / 8000));
    auto audio = EncodeVoiceFrames(4, pcm.data(), pcm.size(), 320, false);  // audio type 0
    if (!audio || audio->size() != frames) return false;
    for (int ch = 0; ch < kChannels; ++ch) {
        rec::FileLayout layout;
        layout.version = "V800";
        layout.width = kWidth;
        layout.height = kHeight;
        layout.audioFlag = ch == 0 ? 1 : 0;
        std::string name = "H264_20160920_190909_A" + std::to_string(ch) + "_00.264";
        auto writer = rec::Writer::Create((card / name).string(), layout);
        if (!writer) return false;
        for (size_t i = 0; i < frames; ++i) {
            const EncodedUnit& u = clip[i % clip.size()];
            uint64_t ts = 1000 + i * 40;
            if (ch == 0) writer->Add({kTypeAudio, uint8_t(ch), 0, ts, (*audio)[i]});
            writer->Add({kTypeVideo, uint8_t(ch), uint8_t(u.keyFrame), ts, u.data});
        }
        if (!writer->Finish()) return false;
    }
    return true;
}

// Scans the card and picks the range: the recording with the most channel
// seconds, at most --minutes of it.
bool PickRange(const fs::path& card) {
    ScanFilter filter;
    filter.root = card.string();
    RecordingScan scan(filter, g_days, nullptr);
    scan.Run();
    CDiskVideo* best = nullptr;
    for (auto& day : g_days) {
        for (auto& r : day->recordings) {
            r->Measure();
            auto weight = [](const CDiskVideo& v) { return uint64_t(v.GetChannelCount()) * v.length; };
            if (!best || weight(*r) > weight(*best)) {
                best = r.get();
                g_day = day.get();
            }
        }
    }
    if (!best || best->GetChannelCount() < 1) return false;
    g_settings.folder = (g_dir / "out").string();
    g_settings.startSecond = best->StartSecondOfDay();
    g_settings.endSecond = g_settings.startSecond + std::min<int>(int(best->length), g_minutes * 60);
    std::printf("range: %s, %d channel(s), %d s\n", best->GetStartText().c_str(), best->GetChannelCount(),
                g_settings.endSecond - g_settings.startSecond);

    // Each channel's video of the range as an H.264 elementary stream
    // ("ch1.h264" ...), and the first channel's sound as PCM ("ch1.pcm").
    best->OpenReaders();
    if (best->readers.empty()) return false;
    for (size_t ch = 0; ch < best->readers.size(); ++ch) {
        CxFileReader& reader = *best->readers[ch];
        std::string name = "ch" + std::to_string(ch + 1);
        std::FILE* out = std::fopen((g_dir / (name + ".h264")).c_str(), "wb");
        std::FILE* pcm = std::fopen((g_dir / (name + ".pcm")).c_str(), "wb");
        if (!out || !pcm) return false;
        HiVoiceDecoderState voice;
        HI_VOICE_DecReset(&voice, VoiceModeForAudioType(reader.GetAudioType()));
        std::vector<int16_t> samples(kHiVoiceMaxFrameSamples);
        std::unique_ptr<CxMemUnit> unit;
        while (reader.GetPosition() < uint64_t(g_settings.endSecond - g_settings.startSecond) &&
               reader.ReadFrame(0, unit, 0)) {
            RecordHeader h = unit->Header();
            if (h.length > unit->PayloadSize()) continue;
            if (h.Type() == kTypeVideo) std::fwrite(unit->Payload(), 1, h.length, out);
            uint32_t n = h.length;
            if (h.Type() == kTypeAudio && HI_VOICE_DecodeFrame(&voice, unit->Payload(), samples.data(), &n) == kHiVoiceOk &&
                n <= kHiVoiceMaxFrameSamples) {
                std::fwrite(samples.data(), 2, n, pcm);
            }
        }
        std::fclose(out);
        std::fclose(pcm);
    }
    best->ReleaseReaders();
    return true;
}

uint64_t OutputBytes() {
    uint64_t total = 0;
    for (const auto& e : fs::directory_iterator(g_dir / "out")) total += e.file_size();
    return total;
}

// `ffmpeg -c copy` of the first channel's elementary stream, once per channel.
void BM_FfmpegRemuxPerChannel(benchmark::State& state, const std::string& extension, const std::string& options) {
    const int channels = g_day->GetChannelCount();
    auto output = [&](int ch) { return g_dir / ("ffmpeg" + std::to_string(ch) + "." + extension); };
    std::string cmd;
    for (int ch = 1; ch <= channels; ++ch) {
        cmd += "ffmpeg -nostdin -v error -y -i '" + (g_dir / ("ch" + std::to_string(ch) + ".h264")).string() + "' -c copy " + options + " '" +
               output(ch).string() + "' && ";
    }
    cmd += "true";
    uint64_t bytes = 0;
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
        state.PauseTiming();
        bytes = 0;
        for (int ch = 1; ch <= channels; ++ch) bytes += fs::file_size(output(ch));
        state.ResumeTiming();
    }
    state.counters["output_MB"] = double(bytes) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}

std::vector<std::string> g_hashed;  // the files the last export's manifest names

// The export folder emptied outside the timed part.
void EmptyOutputFolder(benchmark::State& state) {
    state.PauseTiming();
    fs::remove_all(g_dir / "out");
    fs::create_directories(g_dir / "out");
    state.ResumeTiming();
}

void BM_Export(benchmark::State& state, ExportFormat format) {
    ConvertSettings settings = g_settings;
    settings.format = format;
    uint64_t bytes = 0;
    for (auto _ : state) {
        EmptyOutputFolder(state);
        CConvertJob job(*g_day, settings, nullptr);
        job.Start();
        job.Wait();
        for (const auto& c : job.Outcomes()) {
            if (c.result != ChannelResult::kDone) state.SkipWithError(c.reason.c_str());
        }
        if (!job.EvidenceError().empty()) state.SkipWithError(job.EvidenceError().c_str());
        state.PauseTiming();
        bytes = OutputBytes();
        g_hashed.clear();
        for (const auto& c : job.Outcomes()) {
            g_hashed.push_back(c.path);
            g_hashed.insert(g_hashed.end(), c.sources.begin(), c.sources.end());
        }
        state.ResumeTiming();
    }
    state.counters["output_MB"] = double(bytes) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}

// The SHA-256 of every file the MP4 export's manifest names (sources and
// outputs): the part of BM_Export that sealing the files costs.
void BM_HashEvidence(benchmark::State& state) {
    if (g_hashed.empty()) {
        state.SkipWithError("run BM_Export/mp4 first: it names the files to hash");
        return;
    }
    uint64_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const std::string& file : g_hashed) {
            std::optional<FileDigest> d = Sha256OfFile(file);
            if (!d) state.SkipWithError(("cannot hash " + file).c_str());
            else bytes += d->size;
        }
    }
    state.counters["hashed_MB"] = double(bytes) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}

int SpanSeconds() { return g_settings.endSecond - g_settings.startSecond; }

// User and system time of this process's threads (RUSAGE_SELF) or of its
// finished child processes (RUSAGE_CHILDREN), in seconds.
double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// What the manifest's hashing adds to the MP4 export, measured side by side
// in the same run: rounds of `ffmpeg -c copy` (once per channel), the export
// without GPS track and manifest, and the whole export, in turn, so that a
// change in the machine's load shows in all three; each starts with the
// page cache written back. Counters: the median milliseconds of each, the
// overhead of the hashing in percent, and the median processor seconds of
// the two exports (the hashing overlaps only where a processor is free: on a
// machine kept busy by others it adds its whole processor time).
void BM_Mp4HashingOverhead(benchmark::State& state) {
    const int channels = g_day->GetChannelCount();
    std::string ffmpeg;
    for (int ch = 1; ch <= channels; ++ch) {
        ffmpeg += "ffmpeg -nostdin -v error -y -i '" + (g_dir / ("ch" + std::to_string(ch) + ".h264")).string() +
                  "' -c copy -movflags +faststart '" + (g_dir / ("ffmpeg" + std::to_string(ch) + ".mp4")).string() +
                  "' && ";
    }
    ffmpeg += "true";
    std::vector<double> plainCpu, sealedCpu;
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::time_point from) { return std::chrono::duration<double, std::milli>(Clock::now() - from).count(); };
    auto exportMs = [&](bool evidence) {
        fs::remove_all(g_dir / "out");
        fs::create_directories(g_dir / "out");
        ConvertSettings settings = g_settings;
        settings.format = ExportFormat::kMp4;
        settings.evidence = evidence;
        sync();  // the last run's writes do not go on in this one's time
        const Clock::time_point start = Clock::now();
        const double cpu = CpuSeconds(RUSAGE_SELF);
        CConvertJob job(*g_day, settings, nullptr);
        job.Start();
        job.Wait();
        const double took = ms(start);
        (evidence ? sealedCpu : plainCpu).push_back(CpuSeconds(RUSAGE_SELF) - cpu);
        for (const auto& c : job.Outcomes()) {
            if (c.result != ChannelResult::kDone) state.SkipWithError(c.reason.c_str());
        }
        if (evidence && !fs::exists(g_dir / "out" / "manifest.json")) state.SkipWithError("no manifest");
        return took;
    };
    std::vector<double> copy, plain, sealed, paired;
    for (auto _ : state) {
        for (int ch = 1; ch <= channels; ++ch) fs::remove(g_dir / ("ffmpeg" + std::to_string(ch) + ".mp4"));
        sync();
        const Clock::time_point start = Clock::now();
        if (std::system(ffmpeg.c_str()) != 0) state.SkipWithError("ffmpeg failed");
        copy.push_back(ms(start));
        // Either export goes first in every other round.
        const bool sealedFirst = copy.size() % 2 == 0;
        if (sealedFirst) sealed.push_back(exportMs(true));
        plain.push_back(exportMs(false));
        if (!sealedFirst) sealed.push_back(exportMs(true));
        paired.push_back(100 * (sealed.back() / plain.back() - 1));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    state.counters["ffmpeg_ms"] = median(copy);
    state.counters["plain_ms"] = median(plain);
    state.counters["sealed_ms"] = median(sealed);
    state.counters["overhead_pct"] = 100 * (median(sealed) / median(plain) - 1);
    state.counters["paired_overhead_pct"] = median(paired);  // of each round's two exports
    state.counters["plain_cpu_s"] = median(plainCpu);
    state.counters["sealed_cpu_s"] = median(sealedCpu);
}

// The filters of our mosaic for `channels` (2 to 4) cells of the recording's
// size, with a fixed line of text (ours changes it every second).
std::string FfmpegMosaicGraph(int channels) {
    const std::string font = "fontfile=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf:expansion=none:fontsize=" +
                             std::to_string(std::max(10, kHeight / 18)) +
                             ":fontcolor=white:box=1:boxcolor=black@0.5:boxborderw=6";
    std::string g;
    for (int i = 0; i < 4; ++i) {
        std::string in = i < channels ? "[" + std::to_string(i) + ":v]" : "color=black:s=" + std::to_string(kWidth) + "x" +
                                                                          std::to_string(kHeight) + ":r=25,";
        g += in + "scale=" + std::to_string(kWidth) + ":" + std::to_string(kHeight) + ",setsar=1,format=yuv420p[c" +
             std::to_string(i) + "];";
    }
    g += "[c0][c1][c2][c3]xstack=inputs=4:grid=2x2:shortest=1";
    for (int i = 0; i < channels; ++i) {
        g += ",drawtext=" + font + ":text=CH" + std::to_string(i + 1) + ":x=" + std::to_string(i % 2 * kWidth + 9) +
             ":y=" + std::to_string(i / 2 * kHeight + 9);
    }
    g += ",drawtext=" + font + ":text=2016-09-20 19.09.09   36.5 km/h   22.54167 N  114.10343 E:x=9:y=h-th-9[out]";
    return g;
}

void BM_FfmpegMosaic(benchmark::State& state) {
    const int channels = std::min(4, g_day->GetChannelCount());
    std::string cmd = "ffmpeg -nostdin -v error -y";
    for (int ch = 1; ch <= channels; ++ch) cmd += " -framerate 25 -i '" + (g_dir / ("ch" + std::to_string(ch) + ".h264")).string() + "'";
    cmd += " -f s16le -ar 8000 -ac 1 -i '" + (g_dir / "ch1.pcm").string() + "'";
    cmd += " -filter_complex '" + FfmpegMosaicGraph(channels) + "' -map '[out]' -map " + std::to_string(channels) +
           ":a -c:v libx264 -preset veryfast -crf 23 -c:a aac -b:a 32k -movflags +faststart '" +
           (g_dir / "ffmpeg_mosaic.mp4").string() + "'";
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
    }
    state.counters["cpu_s"] = (CpuSeconds(RUSAGE_CHILDREN) - cpu) / double(state.iterations());
    state.counters["output_MB"] = double(fs::file_size(g_dir / "ffmpeg_mosaic.mp4")) / 1e6;
    state.counters["realtime"] = benchmark::Counter(double(state.iterations()) * SpanSeconds(), benchmark::Counter::kIsRate);
}

void BM_Mosaic(benchmark::State& state) {
    ConvertSettings settings = g_settings;
    settings.mosaic.enabled = true;
    uint64_t bytes = 0;
    const double cpu = CpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        EmptyOutputFolder(state);
        CConvertJob job(*g_day, settings, nullptr);
        job.Start();
        job.Wait();
        if (job.Mosaic().result != ChannelResult::kDone) state.SkipWithError(job.Mosaic().reason.c_str());
        state.PauseTiming();
        bytes = fs::file_size(job.Mosaic().path);
        state.ResumeTiming();
    }
    state.counters["cpu_s"] = (CpuSeconds(RUSAGE_SELF) - cpu) / double(state.iterations());
    state.counters["output_MB"] = double(bytes) / 1e6;
    state.counters["realtime"] = benchmark::Counter(double(state.iterations()) * SpanSeconds(), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_FfmpegRemuxPerChannel, avi, "avi", "")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_Export, avi, ExportFormat::kAvi)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_FfmpegRemuxPerChannel, mp4, "mp4", "-movflags +faststart")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_Export, mp4, ExportFormat::kMp4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_HashEvidence)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Mp4HashingOverhead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(11);
BENCHMARK(BM_FfmpegMosaic)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Mosaic)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    fs::path card;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--minutes=", 10) == 0) g_minutes = std::max(1, std::atoi(argv[i] + 10));
        if (std::strncmp(argv[i], "--card=", 7) == 0) card = argv[i] + 7;
    }
    g_dir = fs::temp_directory_path() / "corvane-bench-export";
    fs::remove_all(g_dir);
    fs::create_directories(g_dir / "out");
    if (card.empty()) {
        card = g_dir / "card";
        fs::create_directories(card);
        if (!WriteRecordings(card)) {
            std::fprintf(stderr, "cannot write the recordings\n");
            return 1;
        }
    }
    if (!PickRange(card)) {
        std::fprintf(stderr, "no recording to export in %s\n", card.c_str());
        return 1;
    }
    std::string warm = "cat $(find '" + card.string() + "' '" + g_dir.string() + "' -maxdepth 1 -type f) > /dev/null";
    if (std::system(warm.c_str()) != 0) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    fs::remove_all(g_dir);
    return 0;
}
