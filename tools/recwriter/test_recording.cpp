#include "test_recording.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <tuple>

#include "codecs/voice_encoder.h"
#include "readers/mem_unit.h"

namespace corvane::test {
namespace {

// A scene with some texture and motion, so that the encoder spends a
// realistic number of bits: moving stripes, a travelling block, and a little
// noise that changes every picture.
Yuv420Image ScenePicture(int width, int height, int index) {
    Yuv420Image image(width, height);
    uint32_t noise = uint32_t(index) * 2654435761u + 12345u;
    const int block = std::max(8, width / 6);
    const int bx = (index * 5) % std::max(1, width - block);
    const int by = (index * 3) % std::max(1, height - block);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            const bool inBlock = x >= bx && x < bx + block && y >= by && y < by + block;
            int v = inBlock ? 220 : 100 + int(50 * std::sin((x + index * 2) * 0.15) * std::cos(y * 0.1));
            v += int((noise >> 16) % 9) - 4;
            image.y[size_t(y) * width + x] = uint8_t(std::clamp(v, 16, 235));
        }
    }
    const int cw = width / 2, ch = height / 2;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            image.u[size_t(y) * cw + x] = uint8_t(96 + (x * 64) / std::max(1, cw));
            image.v[size_t(y) * cw + x] = uint8_t(160 - (y * 64) / std::max(1, ch));
        }
    return image;
}

std::vector<uint8_t> Pattern(size_t n, uint64_t seed) {
    std::vector<uint8_t> p(n);
    uint32_t x = uint32_t(seed * 2654435761u + 1);
    for (auto& b : p) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    return p;
}

// 40 ms of a 440 Hz tone as one mu-law frame (reset mode 2).
std::vector<uint8_t> ToneFrame(uint64_t startMs) {
    int16_t pcm[320];
    for (int i = 0; i < 320; ++i) {
        const double t = double(startMs) / 1000.0 + i / 8000.0;
        pcm[i] = int16_t(8000 * std::sin(2 * M_PI * 440 * t));
    }
    auto frames = EncodeVoiceFrames(2, pcm, 320, 320, false);
    return frames && !frames->empty() ? frames->front() : std::vector<uint8_t>(320, 0xFF);
}

bool Has(const std::vector<int>& list, int value) { return std::find(list.begin(), list.end(), value) != list.end(); }

}  // namespace

const std::vector<EncodedUnit>& EncodedClip(VideoCodec codec, int width, int height, int count, int gop, int crf,
                                            const std::string& preset) {
    static std::mutex mutex;
    static std::map<std::tuple<int, int, int, int, int, int, std::string>, std::vector<EncodedUnit>> cache;
    std::lock_guard<std::mutex> lock(mutex);
    auto key = std::make_tuple(int(codec), width, height, count, gop, crf, preset);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    std::vector<EncodedUnit>& units = cache[key];
    VideoEncoderOptions options;
    options.codec = codec;
    options.width = width;
    options.height = height;
    options.gop = gop;
    options.crf = crf;
    options.preset = preset;
    VideoEncoder encoder;
    if (!encoder.Open(options)) {
        std::fprintf(stderr, "encoder: %s\n", encoder.Error().c_str());
        return units;
    }
    for (int i = 0; i < count; ++i) {
        if (!encoder.Encode(ScenePicture(width, height, i), units)) return units;
    }
    encoder.Flush(units);
    return units;
}

std::vector<rec::Record> ChannelRecords(const RecordingOptions& o, int channel) {
    const int count = o.seconds * o.fps;
    const std::vector<EncodedUnit>* clip = nullptr;
    if (o.realVideo) clip = &EncodedClip(o.codec, o.width, o.height, count, o.fps, o.crf, o.preset);
    const uint32_t frameMs = uint32_t(1000 / o.fps);
    const uint8_t kindChannel = uint8_t(channel);
    std::vector<rec::Record> out;
    uint64_t nextAudio = o.startMs;
    for (int i = 0; i < count; ++i) {
        const int second = i / o.fps, frame = i % o.fps;
        const uint64_t ts = o.startMs + uint64_t(second) * 1000 + uint64_t(frame) * frameMs;
        while (Has(o.audioChannels, channel) && nextAudio <= ts) {
            out.push_back({kTypeAudio, kindChannel, 0, nextAudio, ToneFrame(nextAudio)});
            nextAudio += 40;
        }
        if (frame == 0 && Has(o.gpsChannels, channel))
            out.push_back({kTypeGps, kindChannel, 0, ts, rec::GpsPayload(rec::SampleFix(uint32_t(second)))});
        std::vector<uint8_t> payload;
        if (clip && size_t(i) < clip->size()) payload = (*clip)[size_t(i)].data;
        else payload = Pattern(frame == 0 ? 2000 : 400, ts ^ uint64_t(channel) << 40);
        out.push_back({kTypeVideo, kindChannel, uint8_t(frame == 0 ? 1 : 0), ts, std::move(payload)});
    }
    return out;
}

std::vector<std::string> WriteTestRecording(const std::string& folder, const RecordingOptions& o) {
    std::vector<std::string> paths;
    for (int c = 0; c < o.channels; ++c) {
        rec::FileLayout layout;
        layout.version = o.version;
        layout.name = o.recorderName;
        layout.hevc = o.codec == VideoCodec::kH265 ? 1 : 0;
        layout.frameRate = uint8_t(o.fps);
        layout.width = uint16_t(o.width);
        layout.height = uint16_t(o.height);
        layout.audioType = uint8_t(o.audioType);
        layout.audioFlag = Has(o.audioChannels, c) ? 1 : 0;
        const char* prefix = o.codec == VideoCodec::kH265 ? "H265" : "H264";
        char name[64];
        if (o.channels == 1) std::snprintf(name, sizeof name, "%s_%s_N0_01.264", prefix, o.stamp.c_str());
        else std::snprintf(name, sizeof name, "%s_%s_C%d_01.264", prefix, o.stamp.c_str(), c + 1);
        const std::string path = folder + "/" + name;
        if (!rec::WriteRecording(path, layout, ChannelRecords(o, c))) return {};
        paths.push_back(path);
    }
    return paths;
}

OpenedRecording OpenTestRecording(const std::vector<std::string>& paths) {
    OpenedRecording out;
    out.day = std::make_unique<CDayVideo>();
    auto r = std::make_unique<CDiskVideo>();
    if (paths.size() == 1) {
        r->filePath = paths[0];
    } else {
        r->multiPart = 1;
        r->partPaths = paths;
    }
    r->day = out.day.get();
    r->OpenReaders();
    r->channelCount = int32_t(r->readers.size());
    out.recording = r.get();
    out.day->recordings.push_back(std::move(r));
    return out;
}

}  // namespace corvane::test

// libx265 (3.5) leaks on every encoder it opens, inside its own frame filter.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
