#include "playback/frame_shedding.h"

#include <gtest/gtest.h>

using namespace corvane;
using Action = FrameShedding::Action;

// 40 ms frames, a key frame a second, 50 ms to decode a picture. Two frames
// behind, the decoder skips unreferenced pictures; a record that would still
// be decoding when the next key frame is due (two frames of grace), one a
// second late, or one whose group the clock channel has left is dropped, and
// so is everything up to the next key frame, which is always decoded. The
// clock channel merely starting the next key frame leaves the last record of
// the group to be decoded.
TEST(FrameShedding, DecodesWhatFitsBeforeTheNextKeyFrameAndDropsTheRest) {
    FrameShedding s(40);
    EXPECT_EQ(s.Next(true, 1000, 0), Action::kDecode);
    EXPECT_EQ(s.Next(false, 1040, 30), Action::kDecode);
    EXPECT_EQ(s.Next(false, 1080, 100), Action::kDecodeReferencesOnly);
    s.Decoded(50);
    EXPECT_EQ(s.Next(false, 1120, 30), Action::kDecode);
    EXPECT_EQ(s.Next(false, 1880, 100), Action::kDecodeReferencesOnly);  // done 30 ms after the key frame is due
    EXPECT_EQ(s.Next(false, 1900, 250), Action::kDrop);
    EXPECT_EQ(s.Next(false, 1940, 0), Action::kDrop);  // its reference is gone
    EXPECT_EQ(s.Next(true, 2000, 0), Action::kDecode);
    EXPECT_EQ(s.Next(false, 2960, 0, 1, 3000), Action::kDecode);
    EXPECT_EQ(s.Next(true, 3000, 0), Action::kDecode);
    EXPECT_EQ(s.Next(false, 3040, 0, 1, 4040), Action::kDrop);
    EXPECT_EQ(s.DroppingTo(), 4000u);
    EXPECT_EQ(s.Next(true, 4000, 0), Action::kDecode);
    EXPECT_EQ(s.DroppingTo(), 0u);
    EXPECT_EQ(s.Next(false, 4040, 1000), Action::kDrop);
    EXPECT_EQ(s.Next(true, 5000, 10), Action::kDecode);
    EXPECT_EQ(s.Current(), FrameShedding::Level::kFull);
    EXPECT_EQ(s.Next(false, 5040, 10), Action::kDecode);
    // Four times faster the next key frame is due four times sooner.
    EXPECT_EQ(s.Next(false, 5800, 150), Action::kDecodeReferencesOnly);
    EXPECT_EQ(s.Next(false, 5840, 150, 4), Action::kDrop);
}

// Another channel dropping to its next key frame stops this one too when its
// own next key frame comes no later; from a key frame fed before playback
// began, the next one is expected a second later.
TEST(FrameShedding, DropsWithAnotherChannelToTheSameKeyFrame) {
    FrameShedding s(40);
    s.Restart(true, 1000);
    EXPECT_EQ(s.Next(false, 1040, 0, 1, 0, 2000), Action::kDrop);
    EXPECT_EQ(s.DroppingTo(), 2000u);
    EXPECT_EQ(s.Next(true, 2000, 0, 1, 0, 2000), Action::kDecode);
    EXPECT_EQ(s.Next(false, 2040, 0, 1, 0, 2000), Action::kDecode);  // that key frame is behind
    // A channel whose key frames lie elsewhere decodes on: it could not go on
    // with the others.
    EXPECT_EQ(s.Next(false, 2080, 0, 1, 0, 2500), Action::kDecode);
    EXPECT_EQ(s.Next(false, 2120, 0, 1, 0, 3000), Action::kDrop);
    // Moved elsewhere by a frame step, it knows no key frame to drop to.
    s.Restart(false, 7040);
    EXPECT_EQ(s.Next(false, 7080, 0, 1, 0, 8000), Action::kDecode);
}
