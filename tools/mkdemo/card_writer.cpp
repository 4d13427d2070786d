#include "card_writer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "codecs/voice_encoder.h"
#include "codecs/voice_format.h"
#include "melody.h"
#include "readers/mem_unit.h"
#include "recwriter.h"
#include "route.h"

namespace corvane::demo {
namespace {

namespace fs = std::filesystem;

constexpr int kFps = 25;
constexpr int kFrameMs = 1000 / kFps;

struct EncodeJob {
    size_t recording;
    size_t channel;
    int firstFrame;
    int frameCount;
};

struct JobResult {
    bool done = false;
    std::string error;
    std::vector<EncodedUnit> units;
};

// Pictures first .. first + count - 1 of one channel, by a fresh encoder.
std::string EncodeChunk(const RecordingPlan& p, int channelNumber, int first, int count, std::vector<EncodedUnit>& out) {
    Scene scene(p.width, p.height, channelNumber);
    VideoEncoderOptions o;
    o.codec = p.codec;
    o.width = p.width;
    o.height = p.height;
    o.frameRate = kFps;
    o.gop = kFps;
    o.crf = p.crf;
    o.preset = p.preset;
    o.threads = 1;
    VideoEncoder encoder;
    if (!encoder.Open(o)) return encoder.Error();
    Yuv420Image image(p.width, p.height);
    for (int i = 0; i < count; ++i) {
        const int frame = first + i;
        scene.Render(frame, AddSeconds(p.start, frame / kFps), frame % kFps, image);
        if (!encoder.Encode(image, out)) return encoder.Error();
    }
    if (!encoder.Flush(out)) return encoder.Error();
    // The recorders' rhythm: one access unit per picture, a key frame at the
    // start of every second.
    if (out.size() != size_t(count)) return "the encoder gave " + std::to_string(out.size()) + " access units for " + std::to_string(count) + " pictures";
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i].index != int64_t(i) || out[i].keyFrame != ((first + int(i)) % kFps == 0))
            return "the encoder did not keep one key frame per second";
    }
    return "";
}

// Encodes every chunk of every channel on `threads` threads; the caller takes
// the results of one recording at a time, in order.
class EncodePool {
public:
    EncodePool(const std::vector<RecordingPlan>& plan, int threads) : plan_(plan) {
        for (size_t r = 0; r < plan.size(); ++r) {
            firstJob_.push_back(jobs_.size());
            const int frames = plan[r].seconds * kFps;
            const int chunk = std::max(1, plan[r].chunkSeconds) * kFps;  // starts with a key frame
            for (size_t c = 0; c < plan[r].channels.size(); ++c)
                for (int f = 0; f < frames; f += chunk) jobs_.push_back({r, c, f, std::min(chunk, frames - f)});
        }
        firstJob_.push_back(jobs_.size());
        results_.resize(jobs_.size());
        for (int t = 0; t < std::max(1, threads); ++t) threads_.emplace_back([this] { Work(); });
    }

    ~EncodePool() {
        stop_ = true;
        for (auto& t : threads_) t.join();
    }

    // Waits for recording r's pictures: units[channel] in picture order.
    bool Take(size_t r, std::vector<std::vector<EncodedUnit>>& units, std::string& error) {
        units.assign(plan_[r].channels.size(), {});
        std::unique_lock<std::mutex> lock(mutex_);
        for (size_t j = firstJob_[r]; j < firstJob_[r + 1]; ++j) {
            changed_.wait(lock, [&] { return results_[j].done; });
            if (!results_[j].error.empty()) {
                error = results_[j].error;
                return false;
            }
            std::vector<EncodedUnit>& into = units[jobs_[j].channel];
            for (auto& u : results_[j].units) into.push_back(std::move(u));
            results_[j] = JobResult{true, "", {}};
        }
        return true;
    }

private:
    void Work() {
        for (size_t j = next_++; j < jobs_.size() && !stop_; j = next_++) {
            const EncodeJob& job = jobs_[j];
            const RecordingPlan& p = plan_[job.recording];
            JobResult result;
            result.error = EncodeChunk(p, p.channels[job.channel].number, job.firstFrame, job.frameCount, result.units);
            result.done = true;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                results_[j] = std::move(result);
            }
            changed_.notify_all();
        }
    }

    const std::vector<RecordingPlan>& plan_;
    std::vector<EncodeJob> jobs_;
    std::vector<size_t> firstJob_;  // per recording, and one past the last
    std::mutex mutex_;                 // guards results_ (workers write, the writing thread reads)
    std::condition_variable changed_;
    std::vector<JobResult> results_;
    std::atomic<size_t> next_{0};      // next job to take, shared by the workers
    std::atomic<bool> stop_{false};    // set by the destructor
    std::vector<std::thread> threads_;
};

uint64_t MillisecondOfDay(const ClockTime& t) { return (uint64_t(t.hour) * 3600 + t.minute * 60 + t.second) * 1000; }

// The speech frames of a channel, or an error text.
std::string SpeechFrames(const RecordingPlan& p, const ChannelPlan& ch, std::vector<std::vector<uint8_t>>& frames) {
    if (ch.audioType < 0) return "";
    const std::vector<int16_t> pcm = ChannelMelody(ch.number, p.seconds, p.driveSecond);
    // The oldest versions' recorders wrote bare frames; later ones put the
    // 4-byte frame header in front.
    const bool header = p.version != "V120" && p.version != "V300";
    auto encoded = EncodeVoiceFrames(VoiceModeForAudioType(ch.audioType), pcm.data(), pcm.size(),
                                     size_t(SpeechFrameSamples(p.version)), header);
    if (!encoded) return "the speech encoder failed for audio type " + std::to_string(ch.audioType);
    frames = std::move(*encoded);
    return "";
}

// One channel's records in file order. `nibble` is the channel number the
// records carry (multi-channel files), `withGps` adds the fixes to them.
std::string ChannelRecords(const RecordingPlan& p, const ChannelPlan& ch, std::vector<EncodedUnit>& video, uint8_t nibble,
                           bool withGps, std::vector<rec::Record>& out) {
    std::vector<std::vector<uint8_t>> speech;
    if (std::string e = SpeechFrames(p, ch, speech); !e.empty()) return e;
    const uint64_t base = MillisecondOfDay(p.start);
    const uint64_t speechMs = uint64_t(SpeechFrameSamples(p.version)) * 1000 / kSampleRate;
    const Drive drive(p.reverseDrive);
    size_t nextSpeech = 0;
    for (size_t f = 0; f < video.size(); ++f) {
        const uint64_t ts = base + f * kFrameMs;
        if (withGps && f % kFps == 0) {
            const int second = int(f / kFps);
            const GpsFix fix = drive.FixAt(p.driveSecond + second, AddSeconds(p.start, second));
            out.push_back({kTypeGps, nibble, 0, ts, rec::GpsPayload(fix)});
        }
        for (; nextSpeech < speech.size() && base + nextSpeech * speechMs <= ts; ++nextSpeech)
            out.push_back({kTypeAudio, nibble, 0, base + nextSpeech * speechMs, std::move(speech[nextSpeech])});
        out.push_back({kTypeVideo, nibble, uint8_t(video[f].keyFrame ? 1 : 0), ts, std::move(video[f].data)});
    }
    return "";
}

// The file-wide GPS records of a multi-channel file.
std::vector<rec::Record> GpsRecords(const RecordingPlan& p) {
    std::vector<rec::Record> out;
    const Drive drive(p.reverseDrive);
    for (int s = 0; s < p.seconds; ++s) {
        const GpsFix fix = drive.FixAt(p.driveSecond + s, AddSeconds(p.start, s));
        out.push_back({kTypeGps, 0, 0, MillisecondOfDay(p.start) + uint64_t(s) * 1000, rec::GpsPayload(fix)});
    }
    return out;
}

rec::FileLayout LayoutOf(const RecordingPlan& p, const ChannelPlan* single) {
    rec::FileLayout s;
    s.version = p.version;
    s.name = kRecorderName;
    s.frameRate = kFps;
    s.width = uint16_t(p.width);
    s.height = uint16_t(p.height);
    s.hevc = p.codec == VideoCodec::kH265 ? 1 : 0;
    if (single) {
        s.audioType = uint8_t(std::max(0, single->audioType));
        s.audioFlag = single->audioType >= 0 ? 1 : 0;
    } else {
        // One audio type for the whole file.
        for (const ChannelPlan& ch : p.channels)
            if (ch.audioType >= 0) s.audioType = uint8_t(ch.audioType);
        for (const ChannelPlan& ch : p.channels)
            s.channels.push_back({uint8_t(ch.number), kFps, 1, uint8_t(ch.audioType >= 0 ? 1 : 0), s.width, s.height});
        s.events = p.events;
        s.endMarker = true;
    }
    if (p.version == "V120") s.trailer = true;
    if (p.version == "V300") {
        s.trailer = !p.companionIndex;
        s.companionIndex = p.companionIndex;
        s.writeIndex = !p.companionIndex;
    }
    if (p.damaged) {
        // The recorder fills in length and index when it closes the file.
        s.writeIndex = false;
        s.lengthField = 0;
    }
    return s;
}

std::string WriteFile(const std::string& path, const RecordingPlan& p, const rec::FileLayout& layout,
                      const std::vector<rec::Record>& records) {
    std::unique_ptr<rec::Writer> writer = rec::Writer::Create(path, layout);
    if (!writer) return "no writer for " + p.version;
    for (const rec::Record& r : records)
        if (!writer->Add(r)) return "cannot write a record of " + std::to_string(r.payload.size()) + " bytes to " + path;
    if (!writer->Finish()) return "cannot finish " + path;
    if (p.damaged && !records.empty()) {
        // The power went while the last record was being written.
        std::error_code ec;
        const uint64_t size = fs::file_size(path, ec);
        const uint64_t cut = records.back().payload.size() / 2 + 1;
        if (ec || size <= cut || !rec::Truncate(path, size - cut)) return "cannot cut " + path;
    }
    return "";
}

std::string WriteRecording(const std::string& root, const RecordingPlan& p, std::vector<std::vector<EncodedUnit>>& video,
                           std::vector<WrittenFile>& written) {
    const std::vector<std::string> names = RecordingFiles(p);
    std::error_code ec;
    fs::create_directories(fs::path(root) / p.folder, ec);
    if (ec) return "cannot create " + (fs::path(root) / p.folder).string() + ": " + ec.message();
    std::vector<std::string> paths;
    if (p.layout == Layout::kMultiChannel) {
        std::vector<std::vector<rec::Record>> streams;
        bool gps = false;
        for (size_t c = 0; c < p.channels.size(); ++c) {
            streams.emplace_back();
            gps = gps || p.channels[c].gps;
            if (std::string e = ChannelRecords(p, p.channels[c], video[c], uint8_t(p.channels[c].number), false, streams.back());
                !e.empty())
                return e;
        }
        if (gps) streams.insert(streams.begin(), GpsRecords(p));
        const std::string path = (fs::path(root) / names[0]).string();
        if (std::string e = WriteFile(path, p, LayoutOf(p, nullptr), rec::Interleave(streams)); !e.empty()) return e;
        paths.push_back(names[0]);
    } else {
        for (size_t c = 0; c < p.channels.size(); ++c) {
            std::vector<rec::Record> records;
            if (std::string e = ChannelRecords(p, p.channels[c], video[c], 0, p.channels[c].gps, records); !e.empty())
                return e;
            const std::string path = (fs::path(root) / names[c]).string();
            if (std::string e = WriteFile(path, p, LayoutOf(p, &p.channels[c]), records); !e.empty()) return e;
            paths.push_back(names[c]);
            if (p.companionIndex) paths.push_back(names[c] + ".idx");
        }
    }
    for (const std::string& rel : paths) written.push_back({rel, uint64_t(fs::file_size(fs::path(root) / rel, ec))});
    return "";
}

const char* LayoutText(Layout l) {
    switch (l) {
        case Layout::kSingleFile: return "single file";
        case Layout::kMultiPart: return "one file per channel";
        case Layout::kMultiChannel: return "channels in one file";
    }
    return "";
}

bool WriteDescription(const std::string& root, const std::vector<RecordingPlan>& plan) {
    std::ofstream out(fs::path(root) / "README.txt", std::ios::binary | std::ios::trunc);
    out << "Demo card written by corvane-mkdemo " CORVANE_VERSION ".\n"
           "A vehicle in Shenzhen with GPS, recorders of several generations, two days.\n"
           "Each picture shows the channel number and the recording clock down to the frame;\n"
           "the sound is a tune per channel with a tick at every full second.\n\n";
    for (const RecordingPlan& p : plan) {
        char line[512];
        std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:%02d  %-4s %s %dx%d, %d s, %zu channel(s), %s: %s\n",
                      p.start.year, p.start.month, p.start.day, p.start.hour, p.start.minute, p.start.second,
                      p.version.c_str(), p.codec == VideoCodec::kH265 ? "H.265" : "H.264", p.width, p.height, p.seconds,
                      p.channels.size(), LayoutText(p.layout), p.summary.c_str());
        out << line;
        for (const std::string& f : RecordingFiles(p)) out << "      " << f << "\n";
    }
    return bool(out);
}

}  // namespace

CardReport WriteCard(const std::string& root, const std::vector<RecordingPlan>& plan, int jobs, CardProgress progress) {
    CardReport report;
    std::error_code ec;
    fs::create_directories(root, ec);
    if (ec) {
        report.error = "cannot create " + root + ": " + ec.message();
        return report;
    }
    EncodePool pool(plan, jobs);
    for (size_t r = 0; r < plan.size(); ++r) {
        std::vector<std::vector<EncodedUnit>> video;
        if (!pool.Take(r, video, report.error)) return report;
        std::vector<WrittenFile> written;
        report.error = WriteRecording(root, plan[r], video, written);
        if (!report.error.empty()) return report;
        if (progress) progress(plan[r], written);
        report.files.insert(report.files.end(), written.begin(), written.end());
    }
    if (!WriteDescription(root, plan)) report.error = "cannot write " + root + "/README.txt";
    return report;
}

}  // namespace corvane::demo
