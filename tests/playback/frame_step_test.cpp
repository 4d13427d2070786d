// Frame steps and ten-second jumps on every channel at once, checked by the
// timestamps of the pictures each channel shows and by the pictures
// themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "playback_fixture.h"
#include "readers/probe.h"

using namespace corvane;
using namespace corvane::test;

namespace {

uint64_t AtOrBefore(const std::vector<uint64_t>& times, uint64_t t) {
    auto it = std::upper_bound(times.begin(), times.end(), t);
    return it == times.begin() ? 0 : *(it - 1);
}

class FrameStepTest : public PlaybackTest {
protected:
    // Channel 0 at 25 frames a second; channel 1 at 10, its pictures 20 ms
    // after channel 0's, so that it has a picture at or before only some of
    // channel 0's times.
    OpenedRecording& WriteMixed(int seconds, VideoCodec codec = VideoCodec::kH264) {
        RecordingOptions fast;
        fast.channels = 2;
        fast.seconds = seconds;
        fast.gpsChannels = {0};
        fast.codec = codec;
        fast.stamp = codec == VideoCodec::kH264 ? "20160920_190909" : "20160920_200909";
        RecordingOptions slow = fast;
        slow.fps = 10;
        slow.startMs = fast.startMs + 20;
        slow.stamp = codec == VideoCodec::kH264 ? "20160920_191000" : "20160920_201000";
        std::vector<std::string> a = WriteTestRecording(dir_.path().string(), fast);
        std::vector<std::string> b = WriteTestRecording(dir_.path().string(), slow);
        EXPECT_EQ(a.size(), 2u);
        EXPECT_EQ(b.size(), 2u);
        paths_ = {a.at(0), b.at(1)};
        times_ = {VideoTimes(paths_[0]), VideoTimes(paths_[1])};
        recordings_.push_back(std::make_unique<OpenedRecording>(OpenTestRecording(paths_)));
        return *recordings_.back();
    }
    uint64_t Shown(int channel) { return Group().Port(channel)->LastShown(); }
    // Channel 1 shows its last picture at or before channel 0's (its first
    // while it has none).
    void ExpectInStep() {
        const uint64_t want = AtOrBefore(times_[1], Shown(0));
        EXPECT_EQ(Shown(1), want ? want : times_[1].front()) << Shown(0);
    }
    std::vector<uint8_t> Picture(int channel) { return video_.Output(channel)->Current().y; }

    std::vector<std::string> paths_;
    std::vector<std::vector<uint64_t>> times_;
};

}  // namespace

TEST_F(FrameStepTest, StepsShowTheNextAndPreviousPictureOfEveryChannel) {
    OpenedRecording& r = WriteMixed(5);
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(Group().StepFrame(1));  // the first step pauses
    EXPECT_EQ(Group().State(), kPaused);
    ExpectInStep();
    const std::vector<uint64_t>& clock = times_[0];
    auto index = size_t(std::find(clock.begin(), clock.end(), Shown(0)) - clock.begin());
    ASSERT_LT(index, clock.size());

    // Forward to the last picture, through four key frames; each picture is
    // kept to compare with what stepping back shows.
    std::map<uint64_t, std::vector<uint8_t>> seen[2];
    for (int c = 0; c < 2; ++c) seen[c][Shown(c)] = Picture(c);
    while (Group().StepFrame(1)) {
        ++index;
        ASSERT_LT(index, clock.size());
        ASSERT_EQ(Shown(0), clock[index]);
        ExpectInStep();
        for (int c = 0; c < 2; ++c) seen[c][Shown(c)] = Picture(c);
    }
    EXPECT_EQ(index, clock.size() - 1);
    EXPECT_EQ(Shown(0), clock.back());

    // Back to the first picture: decoded again from each key frame, every
    // picture is the one shown on the way forward.
    while (Group().StepFrame(-1)) {
        ASSERT_GT(index, 0u);
        --index;
        ASSERT_EQ(Shown(0), clock[index]);
        ExpectInStep();
        for (int c = 0; c < 2; ++c) {
            if (seen[c].count(Shown(c))) {
                EXPECT_EQ(Picture(c), seen[c][Shown(c)]) << c << " at " << Shown(c);
            }
        }
    }
    EXPECT_EQ(Shown(0), clock.front());
    EXPECT_EQ(Group().State(), kPaused);
    // Stepping on plays on from the picture on screen.
    ASSERT_TRUE(Group().StepFrame(1));
    EXPECT_EQ(Shown(0), clock[1]);
    ClearObservations();
    Group().ResumePlayback();
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitForQueuesEmpty());
    EXPECT_EQ(DecodedTimes(0).front(), clock[2]);
    EXPECT_EQ(Shown(0), clock.back());
}

TEST_F(FrameStepTest, JumpsMoveEveryChannelTenSecondsAndTellWhatLiesBeyondTheRecording) {
    OpenedRecording& r = WriteMixed(25);
    const std::vector<uint64_t>& clock = times_[0];
    ASSERT_TRUE(Open(r));
    Group().PausePlayback();
    Group().SetSpeed(8);  // key frames: a jump, then a step, read every record again
    ASSERT_TRUE(Group().StepFrame(1));
    EXPECT_EQ(Group().Speed(), 0);
    const uint64_t start = Shown(0);

    EXPECT_EQ(Group().JumpBy(10000), 0);
    EXPECT_EQ(Shown(0), start + 10000);
    ExpectInStep();
    EXPECT_EQ(Group().JumpBy(10000), 0);
    EXPECT_EQ(Shown(0), start + 20000);
    ExpectInStep();
    ASSERT_TRUE(Group().StepFrame(1));
    EXPECT_EQ(Shown(0), start + 20040);

    // Past the end: the last pictures, and how far beyond them.
    EXPECT_EQ(Group().JumpBy(10000), int64_t(start + 30040) - int64_t(clock.back()));
    EXPECT_EQ(Shown(0), clock.back());
    ExpectInStep();
    EXPECT_EQ(Group().JumpBy(-10000), 0);
    EXPECT_EQ(Shown(0), clock.back() - 10000);
    ExpectInStep();
    // Before the start: the first pictures, and how far before them.
    EXPECT_EQ(Group().JumpBy(-20000), int64_t(clock.back()) - 30000 - int64_t(clock.front()));
    EXPECT_EQ(Shown(0), clock.front());
    ExpectInStep();
    EXPECT_EQ(Group().State(), kPaused);

    // While playing, playback goes on from the new place to the end.
    Group().ResumePlayback();
    EXPECT_EQ(Group().JumpBy(10000), 0);
    EXPECT_GE(Shown(0), clock.front() + 10000);
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitForQueuesEmpty());
    EXPECT_EQ(Shown(0), clock.back());
    EXPECT_EQ(Shown(1), times_[1].back());
}

// With cores to spare a playing channel's decoder has frame threads and gives
// each picture a record late; the picture keeps its own time, a step goes on
// from the picture on screen (the one held back comes next), and at the end
// of the recording the last picture is taken out and shown.
TEST_F(FrameStepTest, WithFrameThreadsPicturesKeepTheirTimesAndStepsGoOnFromTheScreen) {
    env_.cores = 8;
    settings_.Audio = 0;  // read a step at a time, so that reading can be held
    for (VideoCodec codec : {VideoCodec::kH264, VideoCodec::kH265}) {
        SCOPED_TRACE(codec == VideoCodec::kH264 ? "H.264" : "H.265");
        OpenedRecording& r = WriteMixed(5, codec);
        const std::vector<uint64_t> clock = times_[0];
        // Reading stops well before the end, past the first key frame after
        // the start (where the decoder turns to frame threads).
        auto release = std::make_shared<std::atomic<bool>>(false);
        afterStep_ = [this, release, holdAt = clock[60]] {
            for (int ms = 0; ms < 5000 && !*release && Shown(0) >= holdAt; ++ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        ASSERT_TRUE(Open(r));
        ASSERT_TRUE(WaitFor([&] { return Shown(0) >= clock[60]; }));
        Group().PausePlayback();
        *release = true;
        EXPECT_TRUE(Group().Port(0)->Draw().FrameThreaded());
        const uint64_t paused = Shown(0);
        ASSERT_TRUE(WaitFor([&] { return Group().Port(0)->Draw().PictureTime() == paused; }));
        const std::vector<uint8_t> picture = Picture(0);
        const auto at = size_t(std::find(clock.begin(), clock.end(), paused) - clock.begin());
        ASSERT_LT(at + 1, clock.size());

        ASSERT_TRUE(Group().StepFrame(1));
        EXPECT_EQ(Shown(0), clock[at + 1]);
        ExpectInStep();
        ASSERT_TRUE(Group().StepFrame(-1));
        EXPECT_EQ(Shown(0), paused);
        EXPECT_EQ(Picture(0), picture);  // decoded again from its key frame without threads

        const size_t ends = EndMessages();
        Group().ResumePlayback();
        ASSERT_TRUE(WaitFor([&] { return EndMessages() > ends; }));
        ASSERT_TRUE(WaitForQueuesEmpty());
        EXPECT_TRUE(Group().Port(0)->Draw().FrameThreaded());
        EXPECT_EQ(Shown(0), clock.back());
        EXPECT_EQ(Group().Port(0)->Draw().PictureTime(), clock.back());
        EXPECT_EQ(Shown(1), times_[1].back());
        Group().StopPlayback();
        afterStep_ = nullptr;
    }
}
