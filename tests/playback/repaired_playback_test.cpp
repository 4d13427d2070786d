// A recording whose index was lost plays again after the repair command:
// every picture to the end, and seeking lands on the key frame the new index
// names.
#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue/disk_video.h"
#include "playback_fixture.h"
#include "readers/probe.h"

using namespace corvane;
using namespace corvane::test;

namespace {

using RepairedPlaybackTest = PlaybackTest;

}  // namespace

TEST_F(RepairedPlaybackTest, ARepairedRecordingPlaysToTheEndAndSeeksByItsNewIndex) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 4;
    o.audioChannels = {0};
    const std::vector<std::string> paths = WriteTestRecording(dir_.path().string(), o);
    ASSERT_EQ(paths.size(), 2u);
    std::vector<std::vector<uint64_t>> pictures;
    for (const std::string& p : paths) {
        pictures.push_back(VideoTimes(p));
        // The index table (version 0x800: 3605 slots at 57) and the length, wiped.
        ASSERT_TRUE(rec::Patch(p, 57, std::vector<uint8_t>(3605 * 8, 0)));
        ASSERT_TRUE(rec::PatchU32(p, 28, 0));
        EXPECT_EQ(OpenRecordingReader(0, p, 0)->GetDuration(), 0);  // no length, no seeking
    }

    CDiskVideo broken;
    broken.multiPart = 1;
    broken.partPaths = paths;
    ASSERT_EQ(broken.Repair().outcome, RepairOutcome::kRepaired);

    recordings_.push_back(std::make_unique<OpenedRecording>(OpenTestRecording(paths)));
    OpenedRecording& r = *recordings_.back();
    ASSERT_EQ(r.recording->readers.size(), 2u);
    EXPECT_EQ(r.recording->readers[0]->GetDuration(), 4);
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitForQueuesEmpty());
    for (int c = 0; c < 2; ++c) {
        // The pictures in order, to the last (the opening picture may be
        // decoded twice; a busy machine may skip some to keep time).
        std::vector<uint64_t> decoded = DecodedTimes(c);
        decoded.erase(std::unique(decoded.begin(), decoded.end()), decoded.end());
        const std::vector<uint64_t>& all = pictures[size_t(c)];
        EXPECT_TRUE(std::is_sorted(decoded.begin(), decoded.end())) << c;
        EXPECT_TRUE(std::includes(all.begin(), all.end(), decoded.begin(), decoded.end())) << c;
        ASSERT_FALSE(decoded.empty());
        EXPECT_EQ(decoded.back(), all.back()) << c;
        EXPECT_EQ(decoded.front(), all.front()) << c;
    }

    ASSERT_TRUE(Open(r));
    Group().PausePlayback();
    Group().SeekAll(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ClearObservations();
    Group().ResumePlayback();
    ASSERT_TRUE(WaitFor([&] { return !DecodedTimes(0).empty() && !DecodedTimes(1).empty(); }));
    for (int c = 0; c < 2; ++c) EXPECT_EQ(DecodedTimes(c).front(), 3000u) << c;
}
