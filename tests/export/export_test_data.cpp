#include "export_test_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

#include "catalogue/local_time.h"
#include "codecs/voice_encoder.h"
#include "common/test_video.h"
#include "readers/byte_order.h"

namespace corvane::test {
namespace {

const std::vector<EncodedUnit>& Clip(VideoCodec codec, int frames, int width, int height, int first) {
    static std::map<std::array<int, 5>, std::vector<EncodedUnit>> cache;
    const std::array<int, 5> key{static_cast<int>(codec), frames, width, height, first};
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, EncodeTestClip(codec, width, height, frames, first)).first;
    return it->second;
}

std::string Run(const std::string& command) { return RunCommand(command); }

}  // namespace

std::string RunCommand(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::vector<std::string> VideoFrameMd5s(const std::string& file) {
    std::string text = RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -map 0:v:0 -f framemd5 -");
    std::vector<std::string> md5s;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty() || line[0] == '#') continue;
        size_t comma = line.rfind(',');
        if (comma != std::string::npos) md5s.push_back(line.substr(comma + 1));
    }
    return md5s;
}

int16_t ToneSample(uint64_t n) {
    double t = static_cast<double>(n) / 8000;
    return static_cast<int16_t>(6000 * std::sin(2 * M_PI * 440 * t) + 2000 * std::sin(2 * M_PI * 1250 * t));
}

int VoiceModeFor(int audioType) {
    switch (audioType) {
        case 0: return 4;
        case 6: return 39;
        case 5: return 2;
        default: return 3;
    }
}

void WriteClip(const std::string& path, const ClipOptions& o) {
    const int frames = static_cast<int>(o.seconds) * 25;
    const std::vector<EncodedUnit>& video = Clip(o.codec, frames, o.width, o.height, o.firstPicture);
    ASSERT_EQ(video.size(), static_cast<size_t>(frames));

    std::vector<std::vector<uint8_t>> audio;
    if (o.audioType >= 0) {
        std::vector<int16_t> pcm(static_cast<size_t>(frames) * 320);
        for (size_t n = 0; n < pcm.size(); ++n) pcm[n] = ToneSample(n);
        auto encoded = EncodeVoiceFrames(VoiceModeFor(o.audioType), pcm.data(), pcm.size(), 320, false);
        ASSERT_TRUE(encoded.has_value());
        audio = std::move(*encoded);
        ASSERT_EQ(audio.size(), static_cast<size_t>(frames));
    }

    std::vector<rec::Record> records;
    for (int i = 0; i < frames; ++i) {
        uint64_t ts = o.startMs + static_cast<uint64_t>(i) * 40;
        if (!audio.empty()) records.push_back({kTypeAudio, o.channel, 0, ts, audio[static_cast<size_t>(i)]});
        if (o.gps && i % 25 == 0) records.push_back({kTypeGps, o.channel, 0, ts, rec::GpsPayload(rec::SampleFix(i / 25))});
        const EncodedUnit& u = video[static_cast<size_t>(i)];
        records.push_back({kTypeVideo, o.channel, static_cast<uint8_t>(u.keyFrame ? 1 : 0), ts, u.data});
    }
    if (o.edit) o.edit(records);

    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    rec::FileLayout layout;
    layout.version = o.version;
    layout.hevc = o.codec == VideoCodec::kH265 ? 1 : 0;
    layout.width = static_cast<uint16_t>(o.width);
    layout.height = static_cast<uint16_t>(o.height);
    layout.frameRate = 25;
    layout.audioType = static_cast<uint8_t>(o.audioType < 0 ? 0 : o.audioType);
    layout.audioFlag = o.audioType >= 0 ? 1 : 0;
    if (!o.events.empty()) {
        layout.version = "V502";
        rec::Channel c;
        c.number = o.channel;
        c.audioFlag = layout.audioFlag;
        c.width = static_cast<uint16_t>(o.width);
        c.height = static_cast<uint16_t>(o.height);
        layout.channels = {c};
        layout.events = o.events;
    }
    if (!o.index) {
        layout.writeIndex = false;
        layout.lengthField = 0;
    }
    ASSERT_TRUE(rec::WriteRecording(path, layout, records));
}

std::unique_ptr<CDayVideo> MakeDay(int year, int month, int day, const std::vector<RecordingFiles>& recordings) {
    auto d = std::make_unique<CDayVideo>();
    d->date = CDayVideo::PackDate(year, month, day);
    for (const RecordingFiles& f : recordings) {
        auto r = std::make_unique<CDiskVideo>();
        r->startTime = r->endTime = MakeLocalTime({year, month, day, f.hour, f.minute, f.second});
        r->family = 1;
        r->tag = "01";
        r->day = d.get();
        if (f.files.size() == 1) {
            r->filePath = f.files.front();
        } else {
            r->multiPart = 1;
            r->partPaths = f.files;
        }
        r->Measure();
        d->recordings.push_back(std::move(r));
    }
    return d;
}

bool HaveFfmpeg() { return std::system("ffprobe -version > /dev/null 2>&1 && ffmpeg -version > /dev/null 2>&1") == 0; }

std::vector<ProbedStream> Probe(const std::string& file) {
    std::string text = Run("ffprobe -v error -count_frames -show_streams -of json '" + file + "'");
    auto j = nlohmann::json::parse(text, nullptr, false);
    std::vector<ProbedStream> streams;
    if (j.is_discarded() || !j.contains("streams")) return streams;
    auto number = [](const nlohmann::json& s, const char* key) -> double {
        if (!s.contains(key)) return -1;
        const auto& v = s[key];
        return v.is_string() ? std::atof(v.get<std::string>().c_str()) : v.get<double>();
    };
    for (const auto& s : j["streams"]) {
        ProbedStream p;
        p.type = s.value("codec_type", "");
        p.codec = s.value("codec_name", "");
        p.width = s.value("width", 0);
        p.height = s.value("height", 0);
        p.frameRate = s.value("r_frame_rate", "");
        p.frames = static_cast<long>(number(s, "nb_frames"));
        p.decodedFrames = static_cast<long>(number(s, "nb_read_frames"));
        p.channels = s.value("channels", 0);
        p.sampleRate = static_cast<int>(number(s, "sample_rate"));
        p.duration = number(s, "duration");
        if (p.type == "audio") {
            // The AVI demuxer gives PCM no duration: count the samples that decode.
            std::string bytes = Run("ffmpeg -nostdin -v error -i '" + file + "' -map 0:a -f s16le - | wc -c");
            p.duration = std::atof(bytes.c_str()) / 2 / (p.sampleRate > 0 ? p.sampleRate : 1);
        }
        streams.push_back(p);
    }
    return streams;
}

std::string DecodeErrors(const std::string& file) {
    return Run("ffmpeg -nostdin -v error -i '" + file + "' -f null - 2>&1");
}

std::vector<uint8_t> ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<AviChunk> ReadAviChunks(const std::string& file) {
    std::vector<uint8_t> b = ReadBytes(file);
    std::vector<AviChunk> chunks;
    if (b.size() < 2048) return chunks;
    const size_t end = std::min<size_t>(b.size(), 2044 + size_t(GetU32(b.data() + 2040)));
    for (size_t at = 2048; at + 8 <= end;) {
        uint32_t length = GetU32(b.data() + at + 4);
        if (at + 8 + length > end) break;
        chunks.push_back({std::string(reinterpret_cast<const char*>(b.data() + at), 4), static_cast<uint32_t>(at),
                          std::vector<uint8_t>(b.begin() + static_cast<long>(at + 8), b.begin() + static_cast<long>(at + 8 + length))});
        at += 8 + length + length % 2;
    }
    return chunks;
}

}  // namespace corvane::test
