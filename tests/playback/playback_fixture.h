#pragma once
// A channel group with in-memory video, a fake sound device, captured
// messages and its own settings, plus what the tests observe of it: every
// decoded record, and every wait of the reading thread (which is cut short so
// that the tests do not run in real time).
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "fake_sound.h"
#include "playback/memory_output.h"
#include "playback/message_box.h"
#include "playback/video_group.h"
#include "readers/probe.h"
#include "test_recording.h"

namespace corvane::test {

// The times of a recording file's video records, in file order.
inline std::vector<uint64_t> VideoTimes(const std::string& path) {
    std::vector<uint64_t> out;
    auto reader = OpenRecordingReader(0, path, 0);
    std::unique_ptr<CxMemUnit> unit;
    while (reader && reader->ReadFrame(0, unit, 0) && unit) {
        if (unit->Header().Type() == kTypeVideo) out.push_back(unit->Header().timestamp);
    }
    return out;
}

struct Decoded {
    int channel;
    uint64_t timestamp;
    bool key;
};

class PlaybackTest : public ::testing::Test {
protected:
    PlaybackTest() : sound_(/*periodMs=*/2) {
        settings_.Audio = 1;
        env_.video = &video_;
        env_.sound = &sound_;
        env_.messages = &messages_;
        env_.settings = &settings_;
        // Every picture comes out of the decoder at once, whatever this
        // machine has; the tests of frame threads ask for more.
        env_.cores = 1;
        env_.waitStep = [this](CxEvent& wake, uint32_t ms) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                waits_.push_back(ms);
            }
            if (afterStep_) afterStep_();
            wake.Wait(ms ? 1 : 0);
        };
        env_.onDecode = [this](int channel, const RecordHeader& h) {
            std::lock_guard<std::mutex> lock(mutex_);
            decoded_.push_back({channel, h.timestamp, h.flag == 1});
        };
    }
    ~PlaybackTest() override {
        if (group_) {
            group_->StopPlayback();
            group_->ResetState();
            group_.reset();
        }
    }

    CVideoGroup& Group() {
        if (!group_) {
            group_ = std::make_unique<CVideoGroup>(env_);
            group_->OnCreate();
        }
        return *group_;
    }

    OpenedRecording& Write(const RecordingOptions& o) {
        std::vector<std::string> paths = WriteTestRecording(dir_.path().string(), o);
        EXPECT_EQ(paths.size(), size_t(o.channels));
        recordings_.push_back(std::make_unique<OpenedRecording>(OpenTestRecording(paths)));
        return *recordings_.back();
    }

    bool Open(OpenedRecording& r, const PlayRange* range = nullptr) {
        return Group().OpenRecording(r.day.get(), r.recording, range, &sink_);
    }

    // Waits (up to a minute, which only a hang reaches) for `done`.
    template <class F>
    bool WaitFor(F done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    size_t EndMessages() {
        while (auto m = sink_.Take()) {
            if (m->id == kMsgEndOfRecording) ++endMessages_;
        }
        return endMessages_;
    }
    bool WaitForEnd() { return WaitFor([this] { return EndMessages() > 0; }); }
    // Every open channel has decoded all it was given.
    bool WaitForQueuesEmpty() {
        return WaitFor([this] {
            for (int i = 0; i < Group().ChannelCount(); ++i)
                if (Group().Port(i)->Recording() && !Group().Port(i)->Draw().Idle()) return false;
            return true;
        });
    }

    std::vector<Decoded> DecodedRecords() {
        std::lock_guard<std::mutex> lock(mutex_);
        return decoded_;
    }
    std::vector<uint64_t> DecodedTimes(int channel) {
        std::vector<uint64_t> out;
        for (const Decoded& d : DecodedRecords())
            if (d.channel == channel) out.push_back(d.timestamp);
        return out;
    }
    void ClearObservations() {
        std::lock_guard<std::mutex> lock(mutex_);
        decoded_.clear();
        waits_.clear();
    }
    std::vector<uint32_t> Waits() {
        std::lock_guard<std::mutex> lock(mutex_);
        return waits_;
    }

    TempDir dir_;
    AppSettings settings_;
    MemoryVideoOutputFactory video_;
    FakeSoundDevice sound_;
    CapturedMessageBoxes messages_;
    QueueMessageSink sink_;
    PlaybackEnvironment env_;
    std::function<void()> afterStep_;  // runs on the reading thread after each step
    std::vector<std::unique_ptr<OpenedRecording>> recordings_;
    std::unique_ptr<CVideoGroup> group_;

private:
    std::mutex mutex_;
    std::vector<Decoded> decoded_;
    std::vector<uint32_t> waits_;
    size_t endMessages_ = 0;
};

}  // namespace corvane::test
