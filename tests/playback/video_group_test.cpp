#include <gtest/gtest.h>

#include <algorithm>

#include "common/comma_locale.h"
#include "playback_fixture.h"
#include "readers/probe.h"
#include "readers/reader_v700.h"

using namespace corvane;
using namespace corvane::test;

namespace {

using GroupTest = PlaybackTest;

// Timestamp of the last video record a reader of `path` hands out.
uint64_t LastVideoTime(const std::string& path) {
    auto reader = OpenRecordingReader(0, path, 0);
    uint64_t last = 0;
    std::unique_ptr<CxMemUnit> unit;
    while (reader && reader->ReadFrame(0, unit, 0) && unit) {
        if (unit->Header().Type() == kTypeVideo) last = unit->Header().timestamp;
    }
    return last;
}

// How far the first reader of `r` is ahead of the second (0: not ahead). The
// readers' clocks are read on the reading thread, which moves them.
uint64_t LeadOf(const OpenedRecording& r) {
    const uint64_t a = r.recording->readers[0]->CurrentTimestamp();
    const uint64_t b = r.recording->readers[1]->CurrentTimestamp();
    return a > b ? a - b : 0;
}

// A V800 reader that reports its stream as one of a multi-channel file.
class SharedFileReader : public CFileReaderV800 {
public:
    using CFileReaderV800::CFileReaderV800;
    void GetInfo(StreamInfo* info) override {
        CFileReaderV800::GetInfo(info);
        if (info) info->oneChannelPerFile = 0;
    }
};

}  // namespace

TEST_F(GroupTest, AFourChannelRecordingEndsWithOneMessageAfterEveryChannelsLastFrame) {
    RecordingOptions o;
    o.channels = 4;
    o.seconds = 2;
    OpenedRecording& r = Write(o);
    ASSERT_TRUE(Open(r));
    EXPECT_EQ(Group().State(), kPlaying);
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitForQueuesEmpty());
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(Group().Port(c)->LastShown(), LastVideoTime(r.recording->partPaths[size_t(c)])) << c;
        EXPECT_GE(Group().Port(c)->Draw().PicturesDecoded(), 48u) << c;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(EndMessages(), 1u);
    EXPECT_EQ(Group().State(), kPlaying);  // until the main window stops it
    // Every wait was one frame interval.
    std::vector<uint32_t> waits = Waits();
    EXPECT_FALSE(waits.empty());
    EXPECT_TRUE(std::all_of(waits.begin(), waits.end(), [](uint32_t w) { return w == 40; }));
}

TEST_F(GroupTest, SoundPacesPlaybackUntilASilentChannelIsSelectedAndBack) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 4;
    o.realVideo = false;
    o.audioChannels = {0};
    OpenedRecording& r = Write(o);
    ASSERT_TRUE(Open(r));
    FakeSoundBuffer* buffer = sound_.Last();
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->Size(), 4 * kSoundBlockLarge);
    EXPECT_EQ(Group().AudioChannel(), 0);
    EXPECT_TRUE(Group().Port(0)->IsClockChannel());
    ASSERT_TRUE(WaitFor([&] { return Group().AudioRecordsPlayed() >= 10; }));
    EXPECT_EQ(Group().ReadingSteps(), 0u);
    EXPECT_GT(Group().AudioSteps(), 0u);
    EXPECT_TRUE(buffer->IsPlaying());
    EXPECT_GT(buffer->Writes(), 0u);

    Group().SelectChannel(1);
    EXPECT_EQ(Group().AudioChannel(), -1);
    EXPECT_FALSE(buffer->IsPlaying());
    EXPECT_TRUE(Group().Port(0)->IsClockChannel());  // the first with the smallest interval
    const uint64_t audioSteps = Group().AudioSteps();
    ASSERT_TRUE(WaitFor([&] { return Group().ReadingSteps() >= 5; }));
    EXPECT_LE(Group().AudioSteps(), audioSteps + 1);  // at most the step under way
    EXPECT_EQ(Waits().front(), 40u);

    Group().SelectChannel(0);
    EXPECT_TRUE(buffer->IsPlaying());
    const uint64_t readingSteps = Group().ReadingSteps();
    ASSERT_TRUE(WaitFor([&] { return Group().AudioSteps() > audioSteps + 3; }));
    EXPECT_LE(Group().ReadingSteps(), readingSteps + 1);  // at most the step under way

    // Whichever thread finds the end, and after any switching, the main
    // window hears of it once.
    ASSERT_TRUE(WaitForEnd());
    Group().SelectChannel(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Group().SelectChannel(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(EndMessages(), 1u);
}

// The audio thread keeps half the sound buffer written ahead of the device;
// woken late, after the device has played several blocks (their signals
// falling together), it writes all it owes at once instead of one record.
TEST_F(GroupTest, SoundWrittenLateCatchesUpWithTheDevice) {
    FakeSoundDevice manual;  // plays only when told
    env_.sound = &manual;
    RecordingOptions o;
    o.seconds = 4;
    o.realVideo = false;
    o.audioChannels = {0};
    OpenedRecording& r = Write(o);
    ASSERT_TRUE(Open(r));
    CSoundOutput& sound = Group().Sound();
    const int64_t half = 2 * int64_t(sound.BlockBytes());
    ASSERT_TRUE(WaitFor([&] { return sound.BytesAhead() >= half; }));
    manual.Last()->Advance(3 * sound.BlockBytes());
    EXPECT_TRUE(WaitFor([&] { return sound.BytesAhead() >= half; }));
    Group().StopPlayback();
}

TEST_F(GroupTest, AClockChannelWhoseSoundIsNotPlayedReadsOneFrameAStep) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 3;
    o.realVideo = false;
    o.audioChannels = {0};  // channel 1, selected below, is silent
    OpenedRecording& r = Write(o);
    std::atomic<uint64_t> previous{0}, largestStep{0};
    afterStep_ = [&] {
        const uint64_t now = r.recording->readers[0]->CurrentTimestamp();
        const uint64_t before = previous.exchange(now);
        if (before) largestStep = std::max<uint64_t>(largestStep.load(), now - before);
    };
    Group().SelectChannel(1);
    ASSERT_TRUE(Open(r));
    EXPECT_EQ(Group().AudioChannel(), -1);
    EXPECT_TRUE(Group().Port(0)->IsClockChannel());
    ASSERT_TRUE(WaitForEnd());
    // Waiting for sound that nobody queues, it would read a second a step.
    EXPECT_LE(largestStep.load(), 40u);
}

TEST_F(GroupTest, AChannelLeftBehindCatchesUpWithTheClock) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 8;
    o.realVideo = false;
    OpenedRecording& r = Write(o);
    std::atomic<bool> released{false}, caughtUp{false};
    // The readers' clocks are read on the reading thread, which moves them.
    std::atomic<uint64_t> lead{0};
    afterStep_ = [&] {
        const uint64_t a = r.recording->readers[0]->CurrentTimestamp();
        const uint64_t b = r.recording->readers[1]->CurrentTimestamp();
        lead = a > b ? a - b : 0;
        if (!released.load()) return;
        if (a < 7000 && (a > b ? a - b : b - a) <= 80) caughtUp = true;  // well before the end
    };
    ASSERT_TRUE(Open(r));
    // Channel 1's decoder stalls for 40 steps: its queue fills and it stops
    // reading while channel 0 plays on.
    Group().Port(1)->Draw().hold = 1;
    const uint64_t start = Group().ReadingSteps();
    ASSERT_TRUE(WaitFor([&] { return Group().ReadingSteps() >= start + 40; }));
    EXPECT_EQ(Group().Port(1)->Draw().QueueCount(), 25u);
    EXPECT_GT(lead.load(), 500u);
    released = true;
    Group().Port(1)->Draw().hold = 0;
    ASSERT_TRUE(WaitForEnd());
    // Channel 1 gets back in step while there is still recording left to play.
    EXPECT_TRUE(caughtUp.load());
}

// Reading every record (here at 2x), a channel whose decoder runs ahead of the
// clock channel's still reads what the clock channel reads: when the channels
// drop records to a key frame, each finds it queued at the same time.
TEST_F(GroupTest, ReadingEveryRecordTheChannelsReadInStepWithTheClockChannel) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 6;
    o.realVideo = false;
    OpenedRecording& r = Write(o);
    std::atomic<uint64_t> lead{0};
    afterStep_ = [&] { lead = LeadOf(r); };
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(Group().Port(0)->IsClockChannel());
    Group().SetSpeed(2);
    // The clock channel's decoder stalls; it reads on, one record a step.
    Group().Port(0)->Draw().hold = 1;
    const uint64_t start = Group().ReadingSteps();
    ASSERT_TRUE(WaitFor([&] { return Group().ReadingSteps() >= start + 20; }));
    EXPECT_GE(Group().Port(0)->Draw().QueueCount(), 15u);
    EXPECT_LE(lead.load(), 40u);
    Group().StopPlayback();  // before the step hook's variables go
}

// Channels show their pictures of one moment together: a channel with its
// picture ready holds it while another is still decoding that moment, and a
// channel that stays stuck does not hold the others up for good.
TEST_F(GroupTest, AChannelHoldsItsPictureUntilTheOthersHaveTheirsOfThatTime) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 4;
    const std::vector<std::string> paths = WriteTestRecording(dir_.path().string(), o);
    ASSERT_EQ(paths.size(), 2u);
    recordings_.push_back(std::make_unique<OpenedRecording>(OpenTestRecording(paths)));
    OpenedRecording& r = *recordings_.back();
    const std::vector<uint64_t> times = VideoTimes(paths[1]);
    ASSERT_GT(times.size(), 60u);
    const uint64_t moment = times[20], stuck = times[40];
    // Channel 0 reaches the moment first and decodes it once channel 1 has
    // begun to; channel 1 then stays on its record until released.
    CxEvent release;
    std::atomic<bool> firstThere{false}, secondThere{false}, stuckThere{false};
    auto observe = env_.onDecode;
    env_.onDecode = [&, observe](int channel, const RecordHeader& h) {
        observe(channel, h);
        if (channel == 0 && h.timestamp == moment) {
            firstThere = true;
            while (!secondThere.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else if (channel == 1 && (h.timestamp == moment || h.timestamp == stuck)) {
            (h.timestamp == moment ? secondThere : stuckThere) = true;
            release.Wait(kInfinite);
        }
    };
    ASSERT_TRUE(Open(r));
    CVideoDraw& first = Group().Port(0)->Draw();
    CVideoDraw& second = Group().Port(1)->Draw();
    second.hold = 1;
    ASSERT_TRUE(WaitFor([&] { return firstThere.load(); }));
    second.hold = 0;
    ASSERT_TRUE(WaitFor([&] { return secondThere.load(); }));
    // Longer than eight 1080p key frames take together on two busy cores:
    // channels that drop to one key frame must still show it together.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_LT(first.PictureTime(), moment);
    release.Set();
    ASSERT_TRUE(WaitFor([&] { return first.PictureTime() >= moment; }));
    ASSERT_TRUE(WaitFor([&] { return stuckThere.load(); }));
    EXPECT_TRUE(WaitFor([&] { return first.PictureTime() >= times[55]; }));
    EXPECT_LT(second.PictureTime(), stuck);
    release.Set();
    // The decoding threads end before the event and flags they use go.
    Group().StopPlayback();
}

TEST_F(GroupTest, SpeedCodesChooseRecordsAndWaits) {
    EXPECT_EQ(StepWaitUs(0, 40, 25), 40000u);
    EXPECT_EQ(StepWaitUs(2, 40, 25), 20000u);
    EXPECT_EQ(StepWaitUs(4, 40, 0), 10000u);
    // Key frames are a second apart: the shown factor is the factor played.
    for (int code : {8, 16, 32, 64, -2, -4, -8, -16, -32}) {
        EXPECT_EQ(StepWaitUs(code, 40, 25) * uint32_t(code < 0 ? -code : code), 1000000u) << code;
    }
    EXPECT_EQ(StepWaitUs(9, 40, 25), 500000u);

    RecordingOptions o;
    o.channels = 2;
    o.seconds = 6;
    OpenedRecording& r = Write(o);

    // Speed -2 from second 4: one key frame back per 500 ms wait, down to the
    // first; then the recording is over.
    ASSERT_TRUE(Open(r));
    Group().PausePlayback();
    Group().SeekAll(4);
    ClearObservations();
    Group().SetSpeed(-2);
    Group().ResumePlayback();
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitForQueuesEmpty());
    std::vector<uint64_t> back = DecodedTimes(0);
    EXPECT_EQ(back, (std::vector<uint64_t>{5000, 4000, 3000, 2000, 1000}));
    for (const Decoded& d : DecodedRecords()) EXPECT_TRUE(d.key);
    // (A normal step under way when the group paused may have left its wait.)
    std::vector<uint32_t> waits = Waits();
    while (!waits.empty() && waits.front() == 40) waits.erase(waits.begin());
    for (uint32_t w : waits) EXPECT_EQ(w, 500u);
    Group().StopPlayback();
    Group().ResetState();
    EXPECT_EQ(Group().Speed(), 0);  // a backward speed does not carry over

    ASSERT_TRUE(Open(r));
    Group().SetSpeed(65);
    Group().SetSpeed(-33);
    EXPECT_EQ(Group().Speed(), 0);
    Group().SetSpeed(64);
    EXPECT_EQ(Group().Speed(), 64);
    Group().SetSpeed(8);
    EXPECT_TRUE(Group().KeyFrameMode());
    Group().StopPlayback();
    Group().ResetState();
    EXPECT_EQ(Group().Speed(), 8);  // a forward speed does

    // Speed 8 from the start: key frames only, one second apart.
    ClearObservations();
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(WaitFor([&] { return EndMessages() == 2; }));
    ASSERT_TRUE(WaitForQueuesEmpty());
    for (int c = 0; c < 2; ++c) {
        std::vector<uint64_t> times = DecodedTimes(c);
        ASSERT_GE(times.size(), 5u) << c;
        for (size_t i = 0; i < times.size(); ++i) EXPECT_EQ(times[i], 1000 + 1000 * i) << c;
    }
    for (const Decoded& d : DecodedRecords()) EXPECT_TRUE(d.key);
    for (uint32_t w : Waits()) EXPECT_EQ(w, 125u);
}

// Record reading and key-frame steps leave the files in different places:
// each change between them goes on from the picture on screen, and a new
// recording starts from its beginning whatever the last one left behind.
TEST_F(GroupTest, SpeedChangesGoOnFromThePictureOnScreen) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 10;
    OpenedRecording& r = Write(o);
    auto playTo = [&](uint64_t ms) {
        EXPECT_TRUE(WaitFor([&] { return Group().Port(0)->LastShown() >= ms; }));
        Group().PausePlayback();
        ClearObservations();
        return Group().Port(0)->LastShown();
    };

    ASSERT_TRUE(Open(r));
    const uint64_t at = playTo(5000);
    Group().SetSpeed(8);
    Group().ResumePlayback();
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitForQueuesEmpty());
    std::vector<uint64_t> forward = DecodedTimes(0);
    ASSERT_FALSE(forward.empty());
    EXPECT_GT(forward.front(), at);
    EXPECT_LE(forward.front(), at + 1000);
    EXPECT_TRUE(std::is_sorted(forward.begin(), forward.end()));

    Group().StopPlayback();
    Group().ResetState();
    ClearObservations();
    ASSERT_TRUE(Open(r));  // still at 8
    ASSERT_TRUE(WaitFor([&] { return EndMessages() >= 2; }));
    ASSERT_TRUE(WaitForQueuesEmpty());
    forward = DecodedTimes(0);
    ASSERT_GE(forward.size(), 3u);
    EXPECT_EQ(forward[1], 2000u);

    Group().StopPlayback();
    Group().ResetState();
    Group().ResetSpeed();
    ASSERT_TRUE(Open(r));
    const uint64_t back = playTo(6000);
    Group().SetSpeed(-2);
    Group().ResumePlayback();
    ASSERT_TRUE(WaitFor([&] { return EndMessages() >= 3; }));
    ASSERT_TRUE(WaitForQueuesEmpty());
    std::vector<uint64_t> backward = DecodedTimes(0);
    ASSERT_FALSE(backward.empty());
    EXPECT_LE(backward.front(), back + 40);
    EXPECT_GT(backward.front() + 1000, back);
    EXPECT_EQ(backward.back(), 1000u);
}

TEST_F(GroupTest, SeekDropsQueuedRecordsAndPausedChannelsKeepTheNewOnes) {
    RecordingOptions o;
    o.channels = 3;
    o.seconds = 6;
    o.realVideo = false;
    OpenedRecording& r = Write(o);
    ASSERT_TRUE(Open(r));
    Group().PausePlayback();
    EXPECT_EQ(Group().State(), kPaused);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Group().Port(c)->Draw().hold.load(), 1);
    Group().SeekAll(2);
    for (int c = 0; c < 3; ++c) {
        CVideoDraw& d = Group().Port(c)->Draw();
        for (int i = 0; i < 5; ++i) Group().Port(c)->ReadStepNormal(1);
        std::vector<uint64_t> queued = d.QueuedTimestamps();
        ASSERT_FALSE(queued.empty()) << c;
        EXPECT_EQ(queued.front(), 3000u) << c;
    }
    Group().SeekAll(4);
    for (int c = 0; c < 3; ++c) {
        std::vector<uint64_t> queued = Group().Port(c)->Draw().QueuedTimestamps();
        EXPECT_EQ(queued, (std::vector<uint64_t>{5000})) << c;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Group().Port(0)->Draw().QueueCount(), 1u);  // still held
    ClearObservations();
    Group().ResumePlayback();
    ASSERT_TRUE(WaitFor([&] { return DecodedTimes(2).size() >= 2; }));
    for (int c = 0; c < 3; ++c) EXPECT_EQ(DecodedTimes(c).front(), 5000u) << c;
}

TEST_F(GroupTest, PlayRangesEndAtTheFirstReadersPosition) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 6;
    o.realVideo = false;
    OpenedRecording& r = Write(o);
    const PlayRange forward{1000, 2000};
    ASSERT_TRUE(Open(r, &forward));
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitForQueuesEmpty());
    // Channel 0 reads the record that takes its reader to second 2; from then
    // on no channel reads any more.
    for (int c = 0; c < 2; ++c) {
        std::vector<uint64_t> times = DecodedTimes(c);
        ASSERT_FALSE(times.empty());
        EXPECT_EQ(*std::min_element(times.begin(), times.end()), 2000u) << c;
        if (c == 0) EXPECT_EQ(*std::max_element(times.begin(), times.end()), 3000u);
        else EXPECT_LT(*std::max_element(times.begin(), times.end()), 3000u);
    }

    Group().StopPlayback();
    Group().ResetState();
    EndMessages();
    const PlayRange backward{2000, 5000};
    ASSERT_TRUE(Open(r, &backward));
    Group().PausePlayback();
    Group().SeekAll(4);
    ClearObservations();
    Group().SetSpeed(-4);
    Group().ResumePlayback();
    ASSERT_TRUE(WaitFor([&] { return EndMessages() == 2; }));
    ASSERT_TRUE(WaitForQueuesEmpty());
    std::vector<uint64_t> times = DecodedTimes(0);
    ASSERT_FALSE(times.empty());
    EXPECT_EQ(*std::min_element(times.begin(), times.end()), 2000u);
}

TEST_F(GroupTest, TheGpsFixOfAPreviousRecordingStaysUntilANewOneArrives) {
    GroupGpsFix fix;
    Group().CopyGpsFix(&fix);
    EXPECT_EQ(fix.status, 0);

    RecordingOptions o;
    o.seconds = 3;
    o.realVideo = false;
    o.gpsChannels = {0};
    OpenedRecording& withGps = Write(o);
    ASSERT_TRUE(Open(withGps));
    ASSERT_TRUE(WaitForEnd());
    Group().CopyGpsFix(&fix);
    EXPECT_EQ(fix.status, 'A');
    EXPECT_DOUBLE_EQ(fix.latitude, 2232.5);
    EXPECT_EQ(fix.latHemisphere, 'N');
    EXPECT_EQ(fix.lonHemisphere, 'E');
    EXPECT_FLOAT_EQ(fix.speed, 36.5f);
    const double longitude = fix.longitude;
    EXPECT_GT(longitude, 11403.0);

    Group().StopPlayback();
    Group().ResetState();
    RecordingOptions plain = o;
    plain.gpsChannels.clear();
    plain.stamp = "20160920_200000";
    OpenedRecording& without = Write(plain);
    ASSERT_TRUE(Open(without));
    ASSERT_TRUE(WaitFor([&] { return EndMessages() == 2; }));
    Group().CopyGpsFix(&fix);
    EXPECT_EQ(fix.status, 'A');
    EXPECT_DOUBLE_EQ(fix.longitude, longitude);
}

TEST_F(GroupTest, TheGpsFixKeepsItsDecimalsInACommaDecimalLocale) {
    CommaDecimalLocale comma;  // as the GUI toolkit takes the user's locale
    if (!comma.Active()) GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
    RecordingOptions o;
    o.seconds = 3;
    o.realVideo = false;
    o.gpsChannels = {0};
    ASSERT_TRUE(Open(Write(o)));
    ASSERT_TRUE(WaitForEnd());
    GroupGpsFix fix;
    Group().CopyGpsFix(&fix);
    EXPECT_DOUBLE_EQ(fix.latitude, 2232.5);
    EXPECT_NEAR(fix.longitude, 11406.2, 0.1);  // the writer's track: 11406.2000, then 0.0058 a second
    EXPECT_FLOAT_EQ(fix.speed, 36.5f);
}

TEST_F(GroupTest, AHiddenStreamIsNotDecodedYetPlaybackGoesOnToTheEnd) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 2;
    OpenedRecording& r = Write(o);
    r.recording->readers[0]->HiddenStream = 1;
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(Group().Port(0)->IsClockChannel());
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitForQueuesEmpty());
    EXPECT_TRUE(DecodedTimes(0).empty());
    EXPECT_EQ(Group().Port(0)->Draw().PicturesDecoded(), 0u);
    EXPECT_EQ(video_.Output(0)->presents.load(), 0u);
    EXPECT_EQ(Group().Port(1)->LastShown(), LastVideoTime(r.recording->partPaths[1]));
    Group().Port(0)->Draw().OnPaint();  // a repaint does not show it either
    EXPECT_EQ(video_.Output(0)->presents.load(), 0u);
}

TEST_F(GroupTest, ResetStateKeepsForwardSpeedsAndTheBlockSizeFollowsTheSelectedChannel) {
    RecordingOptions o;
    o.realVideo = false;
    o.audioChannels = {0};
    OpenedRecording& perFile = Write(o);
    ASSERT_TRUE(Open(perFile));
    Group().SetSpeed(4);
    Group().StopPlayback();
    Group().ResetState();
    EXPECT_EQ(Group().Speed(), 4);
    Group().SetSpeed(-8);  // nothing open: ignored
    EXPECT_EQ(Group().Speed(), 4);
    ASSERT_TRUE(Open(perFile));
    Group().SetSpeed(-8);
    Group().StopPlayback();
    Group().ResetState();
    EXPECT_EQ(Group().Speed(), 0);
    EXPECT_EQ(Group().OpenMarker(), nullptr);
    EXPECT_EQ(Group().GroupClock(), 1u);

    // A channel of a multi-channel file gets the short blocks.
    OpenedRecording& shared = Write(o);
    auto reader = std::make_unique<SharedFileReader>(0);
    ASSERT_EQ(reader->Open(shared.recording->filePath, 0), 1);
    shared.recording->readers[0] = std::move(reader);
    ASSERT_TRUE(Open(shared));
    EXPECT_EQ(sound_.sizes, (std::vector<uint32_t>{2560, 2560, 1280}));
    EXPECT_EQ(Group().VehicleName(), "TEST-BUS");
}

TEST_F(GroupTest, WithoutASoundDeviceSoundGoesOffAndFramesPace) {
    sound_.fail = true;
    RecordingOptions o;
    o.realVideo = false;
    o.seconds = 2;
    o.audioChannels = {0};
    OpenedRecording& r = Write(o);
    ASSERT_TRUE(Open(r));
    EXPECT_EQ(settings_.Audio.load(), 0);
    EXPECT_EQ(Group().AudioChannel(), -1);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_GT(Group().ReadingSteps(), 0u);
    EXPECT_EQ(Group().AudioSteps(), 0u);
}

TEST_F(GroupTest, AThreadThatCannotStartLeavesNothingRunning) {
    env_.startThread = [](WorkerKind kind, std::thread& thread, std::function<void()> body) {
        if (kind == WorkerKind::kAudio) return false;
        thread = std::thread(std::move(body));
        return true;
    };
    RecordingOptions o;
    o.channels = 2;
    o.realVideo = false;
    OpenedRecording& r = Write(o);
    EXPECT_FALSE(Open(r));
    EXPECT_EQ(messages_.Texts(), std::vector<std::string>{kMsgStartThreadFailed});
    EXPECT_EQ(Group().State(), kStopped);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(Group().Port(c)->Recording(), nullptr) << c;
        EXPECT_FALSE(Group().Port(c)->Draw().IsRunning()) << c;
    }
    EXPECT_EQ(EndMessages(), 0u);
}

TEST_F(GroupTest, OpeningWhilePausedStopsThePausedRecordingFirst) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 2;
    o.realVideo = false;
    OpenedRecording& first = Write(o);
    o.stamp = "20160920_200000";
    o.channels = 1;
    OpenedRecording& second = Write(o);
    second.recording->channelCount = 0;  // not measured yet: its reader counts
    ASSERT_TRUE(Open(first));
    Group().PausePlayback();
    ASSERT_TRUE(Open(second));
    EXPECT_EQ(Group().State(), kPlaying);
    EXPECT_EQ(Group().Port(0)->Recording(), second.recording);
    EXPECT_EQ(Group().Port(1)->Recording(), nullptr);
    EXPECT_EQ(Group().Port(0)->Draw().hold.load(), 0);
    ASSERT_TRUE(WaitForEnd());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(EndMessages(), 1u);
    EXPECT_EQ(Group().CurrentSecond(), 1);
}
