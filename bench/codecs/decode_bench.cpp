// Decodes the same H.264 and H.265 streams through our decoder entry points
// (driven the way the channel decoder drives them) and through libavcodec
// directly, in one run, and prints the frame rates side by side. Both sides
// decode on one thread from the same bytes; the streams are encoded at start.
//
//   bench_decode [--width=704 --height=576 --frames=250] [benchmark flags]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "codecs/hi264dec.h"
#include "codecs/video_encoder.h"
#include "hevc/ihw265d.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

using corvane::EncodedUnit;
using corvane::VideoCodec;

struct Clip {
    std::vector<EncodedUnit> units;
    size_t bytes = 0;
};

// A scene with texture and motion everywhere, so that the stream has the
// bit rate of real recorder video rather than of a flat test card.
corvane::Yuv420Image Scene(int w, int h, int t) {
    corvane::Yuv420Image image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double v = 128 + 50 * std::sin((x + 3 * t) * 0.07) * std::cos((y - 2 * t) * 0.05) +
                             30 * std::sin((x * y + t * 40) * 0.0009);
            const unsigned noise = (unsigned(x * 73856093) ^ unsigned(y * 19349663) ^
                                    unsigned(t * 83492791)) % 9;
            image.y[size_t(y) * w + x] = uint8_t(std::clamp(int(v) + int(noise) - 4, 16, 235));
        }
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            image.u[size_t(y) * (w / 2) + x] = uint8_t(128 + 40 * std::sin((x + t) * 0.05));
            image.v[size_t(y) * (w / 2) + x] = uint8_t(128 + 40 * std::cos((y - t) * 0.04));
        }
    return image;
}

Clip Encode(VideoCodec codec, int w, int h, int frames) {
    corvane::VideoEncoderOptions o;
    o.codec = codec;
    o.width = w;
    o.height = h;
    o.crf = 26;
    o.threads = 2;
    corvane::VideoEncoder encoder;
    Clip clip;
    if (!encoder.Open(o)) {
        std::fprintf(stderr, "%s\n", encoder.Error().c_str());
        std::exit(1);
    }
    for (int i = 0; i < frames; ++i) encoder.Encode(Scene(w, h, i), clip.units);
    encoder.Flush(clip.units);
    for (const auto& u : clip.units) clip.bytes += u.data.size();
    return clip;
}

void Finish(benchmark::State& state, const Clip& clip, int64_t pictures) {
    if (pictures != int64_t(clip.units.size()) * int64_t(state.iterations()))
        state.SkipWithError("not every access unit gave a picture");
    state.counters["fps"] = benchmark::Counter(double(pictures), benchmark::Counter::kIsRate);
}

void H264Ours(benchmark::State& state, const Clip* clip) {
    int64_t pictures = 0;
    for (auto _ : state) {
        Hi264DecAttr attr{0, 0, 80, 48, 25, 1, 0, 0};
        Hi264DecHandle d = Hi264DecCreate(&attr);
        for (const EncodedUnit& u : clip->units) {
            Hi264DecPicture picture{};
            int32_t r = Hi264DecFrame(d, u.data.data(), uint32_t(u.data.size()), 0, &picture, 0);
            while (r != kHi264DecNeedMoreInput && r != kHi264DecNoMorePictures) {
                if (r == kHi264DecPictureOut) {
                    benchmark::DoNotOptimize(picture.y[0]);
                    ++pictures;
                }
                picture = {};
                r = Hi264DecFrame(d, nullptr, 0, 0, &picture, 0);
            }
        }
        Hi264DecDestroy(d);
    }
    Finish(state, *clip, pictures);
}

void* Allocate(uint32_t, uint32_t size) { return std::malloc(size); }
void Free(uint32_t, void* p) { std::free(p); }
void Log(uint32_t, int32_t, const char*, ...) {}

void H265Ours(benchmark::State& state, const Clip* clip) {
    int64_t pictures = 0;
    for (auto _ : state) {
        IHW265D_InitParam p{1, 704, 576, 4, 2, 4, 16, 8, 0, 1, 0, Allocate, Free, Log};
        IHW265D_Handle h = nullptr;
        IHW265D_Create(&h, &p);
        for (const EncodedUnit& u : clip->units) {
            IHW265D_InArgs in{u.data.data(), uint32_t(u.data.size()), 0, 0, 0};
            IHW265D_OutArgs out{};
            while (true) {
                out.bytesConsumed = 0;
                out.status = 3;
                IHW265D_Decode(h, &in, &out);
                if (out.status != IHW265D_PICTURE_READY) break;
                benchmark::DoNotOptimize(out.planes[0][0]);
                ++pictures;
                in.stream += out.bytesConsumed;
                in.length -= out.bytesConsumed;
            }
        }
        IHW265D_Delete(h);
    }
    Finish(state, *clip, pictures);
}

// libavcodec on its own: one thread, each access unit sent as a packet and
// its pictures received.
void Direct(benchmark::State& state, const Clip* clip, AVCodecID id) {
    int64_t pictures = 0;
    const AVCodec* codec = avcodec_find_decoder(id);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    for (auto _ : state) {
        AVCodecContext* c = avcodec_alloc_context3(codec);
        c->thread_count = 1;
        avcodec_open2(c, codec, nullptr);
        for (const EncodedUnit& u : clip->units) {
            packet->data = const_cast<uint8_t*>(u.data.data());
            packet->size = int(u.data.size());
            avcodec_send_packet(c, packet);
            while (avcodec_receive_frame(c, frame) == 0) {
                benchmark::DoNotOptimize(frame->data[0][0]);
                ++pictures;
            }
        }
        avcodec_free_context(&c);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    Finish(state, *clip, pictures);
}

// Keeps the console output and collects each benchmark's frame rates.
class Summary : public benchmark::ConsoleReporter {
public:
    Summary() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                fps_[r.run_name.function_name].push_back(r.counters.at("fps").value);
    }

    double Median(const std::string& name) const {
        auto it = fps_.find(name);
        if (it == fps_.end() || it->second.empty()) return 0;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }

private:
    std::map<std::string, std::vector<double>> fps_;
};

int IntFlag(int& argc, char** argv, const char* name, int fallback) {
    const size_t n = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, n) == 0 && argv[i][n] == '=') {
            const int v = std::atoi(argv[i] + n + 1);
            std::copy(argv + i + 1, argv + argc, argv + i);
            --argc;
            return v;
        }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int width = IntFlag(argc, argv, "--width", 704);
    const int height = IntFlag(argc, argv, "--height", 576);
    const int frames = IntFlag(argc, argv, "--frames", 250);
    benchmark::Initialize(&argc, argv);

    const Clip h264 = Encode(VideoCodec::kH264, width, height, frames);
    const Clip h265 = Encode(VideoCodec::kH265, width, height, frames);
    std::printf("%dx%d, %d frames: H.264 %zu KB, H.265 %zu KB\n", width, height, frames,
                h264.bytes / 1024, h265.bytes / 1024);

    // Ours and direct alternate, so that a change in machine load hits both.
    for (int i = 0; i < 2; ++i) {
        benchmark::RegisterBenchmark("H264/ours", H264Ours, &h264)->Repetitions(3)->Iterations(2);
        benchmark::RegisterBenchmark("H264/direct", Direct, &h264, AV_CODEC_ID_H264)
            ->Repetitions(3)->Iterations(2);
        benchmark::RegisterBenchmark("H265/ours", H265Ours, &h265)->Repetitions(3)->Iterations(2);
        benchmark::RegisterBenchmark("H265/direct", Direct, &h265, AV_CODEC_ID_HEVC)
            ->Repetitions(3)->Iterations(2);
    }
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);

    std::printf("\nmedian frames per second (CPU time)\n");
    for (const char* codec : {"H264", "H265"}) {
        const double ours = summary.Median(std::string(codec) + "/ours");
        const double direct = summary.Median(std::string(codec) + "/direct");
        std::printf("%s  ours %8.1f  direct %8.1f  ours/direct %5.1f%%\n", codec, ours, direct,
                    direct > 0 ? 100 * ours / direct : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
