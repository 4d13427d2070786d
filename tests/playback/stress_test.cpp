// The channel group under a user who hammers the controls: long random
// sequences of every command the main window gives, on recordings of several
// versions and codecs, while the reading, audio and decoding threads run.
// Built with ThreadSanitizer by scripts/tsan; under AddressSanitizer in CI.
// A hang fails the test through the watchdog; the commands' own results are
// checked on the way.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "playback_fixture.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// Aborts the process when the test has not finished in time: a deadlock in
// the group would otherwise stall the whole suite.
class Watchdog {
public:
    explicit Watchdog(int seconds) {
        thread_ = std::thread([this, seconds] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!done_cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
                std::fprintf(stderr, "watchdog: no progress after %d s, last command %d\n", seconds, last_.load());
                std::abort();
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        thread_.join();
    }
    void Note(int command) { last_ = command; }

private:
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::atomic<int> last_{-1};
    std::thread thread_;
};

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

enum Command {
    kOpen, kPause, kResume, kSeek, kSpeed, kSelect, kZoom, kLayout, kStop, kQuery, kVolume, kSound, kSize, kSettle,
    kStep, kJump, kCommandCount
};

using StressTest = PlaybackTest;

}  // namespace

TEST_F(StressTest, RandomCommandSequencesNeitherHangNorBreakTheGroup) {
    // Four channels of H.264 with sound and GPS; two of pattern video that no
    // decoder accepts; one of H.265.
    RecordingOptions four;
    four.channels = 4;
    four.seconds = 3;
    four.audioChannels = {0, 2};
    four.gpsChannels = {1};
    RecordingOptions two;
    two.version = "V700";
    two.channels = 2;
    two.seconds = 4;
    two.realVideo = false;
    two.audioChannels = {1};
    two.stamp = "20160920_191000";
    RecordingOptions hevc;
    hevc.channels = 1;
    hevc.seconds = 2;
    hevc.codec = VideoCodec::kH265;
    hevc.stamp = "20160920_192000";
    std::vector<OpenedRecording*> recordings = {&Write(four), &Write(two), &Write(hevc)};
    const int seconds[] = {3, 4, 2};
    // Decoders with frame threads, which the commands replace and drain.
    env_.cores = 8;

    Group().OnSize(Rect{0, 0, 640, 480});
    const int commands = EnvInt("CORVANE_STRESS_COMMANDS", 2000);
    Watchdog watchdog(EnvInt("CORVANE_STRESS_WATCHDOG_SECONDS", 600));
    std::mt19937 rng(static_cast<uint32_t>(EnvInt("CORVANE_STRESS_SEED", 7)));
    const int speeds[] = {0, 0, 0, 2, 4, 8, 16, 32, 64, -2, -4, -8, -16, -32, 3, -1, 100, -33};

    int opened = -1;  // index of the recording last opened, -1 when stopped
    size_t opens = 0, ends = 0;
    for (int i = 0; i < commands; ++i) {
        const auto command = static_cast<Command>(rng() % kCommandCount);
        watchdog.Note(command);
        switch (command) {
        case kOpen: {
            const int which = static_cast<int>(rng() % recordings.size());
            ASSERT_TRUE(Open(*recordings[size_t(which)]));
            EXPECT_EQ(Group().State(), kPlaying);
            opened = which;
            ++opens;
            break;
        }
        case kPause:
            Group().PausePlayback();
            if (opened >= 0) {
                EXPECT_EQ(Group().State(), kPaused);
            }
            break;
        case kResume:
            Group().ResumePlayback();
            if (opened >= 0) {
                EXPECT_EQ(Group().State(), kPlaying);
            }
            break;
        case kSeek:
            Group().SeekAll(static_cast<int>(rng() % 8) - 2);
            break;
        case kSpeed: {
            const int code = speeds[rng() % (sizeof speeds / sizeof speeds[0])];
            const int before = Group().Speed();
            Group().SetSpeed(code);
            const bool taken = opened >= 0 && code >= -32 && code <= 64;
            EXPECT_EQ(Group().Speed(), taken ? code : before);
            break;
        }
        case kSelect: {
            const int index = static_cast<int>(rng() % 10) - 1;
            CVideoPort* before = Group().Selected();
            Group().SelectChannel(index);
            EXPECT_EQ(Group().Selected(), index >= 0 && index < 8 ? Group().Port(index) : before);
            break;
        }
        case kZoom: {
            CVideoPort* port = Group().ZoomedChannel();
            if (port) {
                Group().ZoomChannel(port, false);
            } else {
                Group().ZoomChannel(Group().Port(static_cast<int>(rng() % 8)), true);
            }
            break;
        }
        case kLayout:
            Group().SetLayoutMode(static_cast<int>(rng() % 3));
            Group().Relayout();
            break;
        case kStop:
            Group().StopPlayback();
            Group().ResetState();
            EXPECT_EQ(Group().State(), kStopped);
            for (int c = 0; c < Group().ChannelCount(); ++c) EXPECT_EQ(Group().Port(c)->Recording(), nullptr);
            opened = -1;
            break;
        case kQuery: {
            const int second = Group().CurrentSecond();
            if (opened >= 0) {
                EXPECT_GE(second, 0);
                EXPECT_LE(second, seconds[opened]);
            }
            GroupGpsFix fix;
            Group().CopyGpsFix(&fix);
            Group().VehicleName();
            Group().AudioQueueCount();
            break;
        }
        case kVolume:
            Group().SetVolume(static_cast<int>(rng() % 101));
            break;
        case kSound:  // the options dialog switching sound, as the GUI thread does
            settings_.Audio = static_cast<int32_t>(rng() % 2);
            break;
        case kSize:
            Group().OnSize(Rect{0, 0, 100 + static_cast<int>(rng() % 900), 80 + static_cast<int>(rng() % 700)});
            break;
        case kSettle:  // let the threads run a while, and play on as the main window does
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 20));
            while (auto m = sink_.Take()) {
                if (m->id != kMsgEndOfRecording) continue;
                ++ends;
                if (rng() % 2) {
                    opened = static_cast<int>(rng() % recordings.size());
                    ASSERT_TRUE(Open(*recordings[size_t(opened)]));
                    ++opens;
                }
            }
            break;
        case kStep:
            Group().StepFrame(rng() % 2 ? 1 : -1);
            if (opened >= 0) {
                EXPECT_EQ(Group().State(), kPaused);
            }
            break;
        case kJump:
            Group().JumpBy(static_cast<int64_t>(rng() % 5000) - 2500);
            break;
        case kCommandCount:
            break;
        }
        if (HasFatalFailure()) return;
    }
    Group().StopPlayback();
    Group().ResetState();
    EXPECT_EQ(Group().State(), kStopped);
    while (auto m = sink_.Take()) ends += m->id == kMsgEndOfRecording;
    EXPECT_LE(ends, opens);  // one end message at most per recording played
    EXPECT_GT(DecodedRecords().size(), 0u);
}
