// corvane play PATH...: plays one recording with the real playback engine,
// pictures decoded into memory instead of shown and sound through the sound
// device, and prints what happened as one JSON object. A way to check a card
// on a machine without a screen, and the engine's benchmark.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "catalogue/day_video.h"
#include "cli/commands.h"
#include "cli/json_out.h"
#include "playback/clock_sound.h"
#include "playback/memory_output.h"
#include "playback/message_box.h"
#include "playback/sdl_sound.h"
#include "playback/video_group.h"

namespace corvane::cli {
namespace {

struct PlayOptions {
    std::vector<std::string> paths;
    std::optional<double> seconds;
    int speed = 0;
    int channel = 0;
    bool noAudio = false;
};

using Clock = std::chrono::steady_clock;

// `value` to `digits` decimal places.
double Rounded(double value, int digits) {
    const double scale = std::pow(10.0, digits);
    return std::round(value * scale) / scale;
}

// The recording PATH... names: a folder's first recording, one file with all
// its channels, or the part files of one recording in the order given.
bool LoadRecording(const PlayOptions& o, DayList& days, CDiskVideo*& recording, std::string& error) {
    std::error_code ec;
    if (o.paths.size() == 1 && std::filesystem::is_directory(o.paths[0], ec)) {
        ScanFilter filter;
        if (!ScanIntoDays(o.paths[0], filter, days, error)) return false;
        if (days.empty() || days.front()->recordings.empty()) {
            error = "no recordings found in " + o.paths[0];
            return false;
        }
        recording = days.front()->recordings.front().get();
    } else {
        auto day = std::make_unique<CDayVideo>();
        auto r = std::make_unique<CDiskVideo>();
        for (const std::string& p : o.paths) {
            if (!std::filesystem::is_regular_file(p, ec)) {
                error = "not a file: " + p;
                return false;
            }
        }
        if (o.paths.size() == 1) {
            r->filePath = std::filesystem::absolute(o.paths[0], ec).string();
        } else {
            r->multiPart = 1;
            for (const std::string& p : o.paths) r->partPaths.push_back(std::filesystem::absolute(p, ec).string());
        }
        r->day = day.get();
        recording = r.get();
        day->recordings.push_back(std::move(r));
        days.push_back(std::move(day));
    }
    if (!recording->OpenReaders()) {
        error = "no reader accepts " + (recording->multiPart ? recording->partPaths.front() : recording->filePath);
        return false;
    }
    if (!recording->multiPart) recording->channelCount = static_cast<int32_t>(recording->readers.size());
    return true;
}

// Largest difference between the times of the pictures the channels have on
// screen (of those that have shown something).
int64_t Skew(CVideoGroup& group, int channels) {
    uint64_t lo = UINT64_MAX, hi = 0;
    for (int i = 0; i < channels; ++i) {
        CVideoPort* port = group.Port(i);
        if (!port || !port->Recording() || !port->Draw().IsRunning()) continue;
        const uint64_t t = port->Draw().PictureTime();
        if (t == 0) continue;  // a hidden stream, or nothing decodable yet
        lo = std::min(lo, t);
        hi = std::max(hi, t);
    }
    return hi >= lo ? int64_t(hi - lo) : 0;
}

// The skew that lasts: a difference seen is looked at again a little later
// and the smaller counts. The channels show their pictures of one moment one
// thread each; on a busy machine those threads get to it up to ~15 ms apart,
// and a sample inside that spread would report the jump from the old
// pictures to the new (at a key frame the channels dropped to, most of a
// second) though no two channels stay that far apart.
int64_t SettledSkew(CVideoGroup& group, int channels) {
    constexpr auto kSettle = std::chrono::milliseconds(20);
    const int64_t first = Skew(group, channels);
    if (first == 0) return 0;
    std::this_thread::sleep_for(kSettle);
    return std::min(first, Skew(group, channels));
}

CVideoPort* ClockPort(CVideoGroup& group) {
    for (int i = 0; i < group.ChannelCount(); ++i) {
        if (group.Port(i)->IsClockChannel()) return group.Port(i);
    }
    return nullptr;
}

int RunPlay(const PlayOptions& o) {
    if (o.speed < -32 || o.speed > 64) return Fail(2, "--speed wants a speed code from -32 to 64");
    if (o.channel < 0 || o.channel >= CVideoGroup::kMaxChannels) return Fail(2, "--channel wants 0 to 7");
    if (o.seconds && *o.seconds < 0) return Fail(2, "--seconds wants a positive number");

    DayList days;
    CDiskVideo* recording = nullptr;
    std::string error;
    if (!LoadRecording(o, days, recording, error)) return Fail(1, error);

    MemoryVideoOutputFactory video;
    CapturedMessageBoxes messages;
    // Without a sound card the sound plays by the clock, so that the sound
    // still paces playback in real time.
    ClockSoundDevice silent;
    std::unique_ptr<SdlSoundDevice> sound;
    if (!o.noAudio) sound = std::make_unique<SdlSoundDevice>(&silent);
    g_AppSettings.Audio = o.noAudio ? 0 : 1;

    PlaybackEnvironment env;
    env.video = &video;
    env.sound = sound.get();
    env.messages = &messages;
    QueueMessageSink sink;
    uint64_t endMessages = 0;
    auto drain = [&] {
        while (auto m = sink.Take()) {
            if (m->id == kMsgEndOfRecording) ++endMessages;
        }
    };

    Json out;
    {
        CVideoGroup group(env);
        group.OnCreate();
        const int channels = std::min(recording->GetChannelCount(), group.ChannelCount());
        group.SetLayoutMode(channels <= 1 ? 0 : channels <= 4 ? 1 : 2);
        group.OnSize(Rect{0, 0, 1280, 720});
        group.SelectChannel(o.channel);
        if (!group.OpenRecording(recording->day, recording, nullptr, &sink)) {
            std::string why = "playback did not start";
            for (const std::string& m : messages.Texts()) why += ": " + m;
            return Fail(1, why);
        }
        group.SetSpeed(o.speed);

        const Clock::time_point start = Clock::now();
        CVideoPort* clock = ClockPort(group);
        const uint64_t firstShown = clock ? clock->LastShown() : 0;
        int64_t maxSkew = 0;
        Clock::time_point nextSample = start + std::chrono::milliseconds(100);
        while (true) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            drain();
            if (endMessages) break;
            const Clock::time_point now = Clock::now();
            if (o.seconds && now - start >= std::chrono::duration<double>(*o.seconds)) break;
            if (now >= nextSample) {
                nextSample += std::chrono::milliseconds(100);
                if (group.Speed() == 0 && group.State() == kPlaying) maxSkew = std::max(maxSkew, SettledSkew(group, channels));
            }
        }
        // At the end the last records are still queued: let the decoders
        // finish them (a stalled channel is not waited for long).
        if (endMessages) {
            const Clock::time_point limit = Clock::now() + std::chrono::seconds(3);
            auto queued = [&] {
                for (int i = 0; i < channels; ++i)
                    if (group.Port(i)->Draw().IsRunning() && !group.Port(i)->Draw().Idle()) return true;
                return false;
            };
            while (queued() && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        clock = ClockPort(group);
        const uint64_t lastShown = clock ? clock->LastShown() : 0;
        Json pictures = Json::array(), dropped = Json::array();
        for (int i = 0; i < channels; ++i) {
            pictures.push_back(group.Port(i)->Draw().PicturesShown());
            dropped.push_back(group.Port(i)->Draw().PicturesDropped());
        }
        group.StopPlayback();
        group.ResetState();
        drain();

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        out["recording"] = recording->multiPart ? recording->partPaths.front() : recording->filePath;
        out["channels"] = channels;
        out["pictures"] = pictures;
        out["dropped"] = dropped;
        out["media_seconds"] = Rounded(lastShown > firstShown ? double(lastShown - firstShown) / 1000.0 : 0.0, 3);
        out["wall_seconds"] = Rounded(wall, 3);
        out["max_skew_ms"] = maxSkew;
        out["audio_blocks"] = group.Sound().BlocksPlayed();
        out["end_messages"] = endMessages;
        out["cpu_seconds"] = Rounded(cpu, 2);
        out["peak_rss_mb"] = static_cast<int64_t>((usage.ru_maxrss + 1023) / 1024);
    }
    for (const std::string& m : messages.Texts()) std::fprintf(stderr, "corvane: %s\n", m.c_str());
    PrintJsonLine(out);
    return 0;
}

}  // namespace

void RegisterPlayCommand(CLI::App& app, int& status) {
    auto opts = std::make_shared<PlayOptions>();
    CLI::App* sub = app.add_subcommand("play", "Play a recording with pictures kept in memory and print a summary");
    sub->add_option("PATH", opts->paths, "a recording file, the part files of one recording, or a folder")
        ->required();
    sub->add_option("--seconds", opts->seconds, "stop after this many seconds of wall time");
    sub->add_option("--speed", opts->speed, "speed code (0 normal; 2, 4 fast; 8..64 key frames; -2..-32 backward)");
    sub->add_option("--channel", opts->channel, "selected channel index (0 to 7)");
    sub->add_flag("--no-audio", opts->noAudio, "play without sound");
    sub->callback([opts, &status] { status = RunPlay(*opts); });
}

}  // namespace corvane::cli
