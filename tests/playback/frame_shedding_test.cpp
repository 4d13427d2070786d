#include "playback/frame_shedding.h"

#include <gtest/gtest.h>

using namespace corvane;
using Action = FrameShedding::Action;

// 40 ms frames: two frames behind the decoder skips unreferenced pictures, six
// behind it drops everything up to the next key frame, and only a key frame
// reached in time brings full decoding back.
TEST(FrameShedding, StepsDownWhenBehindAndUpAgainAtAKeyFrameReachedInTime) {
    FrameShedding s;
    EXPECT_EQ(s.Next(false, 30, 40), Action::kDecode);
    EXPECT_EQ(s.Next(false, 100, 40), Action::kDecodeReferencesOnly);
    EXPECT_EQ(s.Next(false, 30, 40), Action::kDecode);
    EXPECT_EQ(s.Next(false, 250, 40), Action::kDrop);
    EXPECT_EQ(s.Next(false, 0, 40), Action::kDrop);  // the pictures after a dropped one cannot be decoded
    EXPECT_EQ(s.Next(true, 400, 40), Action::kDecode);
    EXPECT_EQ(s.Next(false, 0, 40), Action::kDrop);  // that key frame came too late
    EXPECT_EQ(s.Next(true, 10, 40), Action::kDecode);
    EXPECT_EQ(s.Current(), FrameShedding::Level::kFull);
    EXPECT_EQ(s.Next(false, 10, 40), Action::kDecode);
    EXPECT_EQ(s.Next(false, 250, 0), Action::kDrop);  // no frame rate known: 40 ms frames
}
