#include "playback/frame_shedding.h"

#include <gtest/gtest.h>

using namespace corvane;
using Action = FrameShedding::Action;

// 40 ms frames, a key frame a second, 50 ms to decode a picture. Two frames
// behind, the decoder skips unreferenced pictures; a record that would still
// be decoding when the next key frame is due (two frames of grace), one a
// second late, or one whose group the clock channel has left is dropped, and
// so is everything up to the next key frame, which is always decoded.
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
    EXPECT_EQ(s.Next(false, 2040, 0, 1, 3000), Action::kDrop);
    EXPECT_EQ(s.Next(true, 3000, 0), Action::kDecode);
    EXPECT_EQ(s.Next(false, 3040, 1000), Action::kDrop);
    EXPECT_EQ(s.Next(true, 4000, 10), Action::kDecode);
    EXPECT_EQ(s.Current(), FrameShedding::Level::kFull);
    EXPECT_EQ(s.Next(false, 4040, 10), Action::kDecode);
    // Four times faster the next key frame is due four times sooner.
    EXPECT_EQ(s.Next(false, 4800, 150), Action::kDecodeReferencesOnly);
    EXPECT_EQ(s.Next(false, 4840, 150, 4), Action::kDrop);
}
