#include "ui/snapshot.h"

#include <gtest/gtest.h>

#include "catalogue/local_time.h"
#include "readers/byte_order.h"

using namespace corvane;

namespace {

struct Picture {
    std::vector<uint8_t> y, u, v;
    PlanarPicture view;
    Picture(int w, int h, uint8_t Y, uint8_t U, uint8_t V)
        : y(static_cast<size_t>(w * h), Y), u(static_cast<size_t>(w / 2 * (h / 2)), U), v(u.size(), V) {
        view = {y.data(), u.data(), v.data(), w, h};
    }
};

}  // namespace

TEST(Snapshot, HeaderSizesAndPadding) {
    Picture big(704, 576, 16, 128, 128);
    std::vector<uint8_t> bmp = EncodeBmp(big.view);
    EXPECT_EQ(BmpStride(704), 2112u);
    ASSERT_EQ(bmp.size(), 1216566u);
    EXPECT_EQ(GetU32(&bmp[2]), 1216566u);
    EXPECT_EQ(GetU32(&bmp[34]), 1216512u);
    EXPECT_EQ(GetU32(&bmp[10]), 54u);
    EXPECT_EQ(GetU32(&bmp[22]), 576u);
    EXPECT_EQ(GetU16(&bmp[28]), 24);
    // Black video stays (16, 16, 16).
    EXPECT_EQ(bmp[54], 16);
    EXPECT_EQ(bmp[55], 16);
    EXPECT_EQ(bmp[56], 16);

    Picture odd(350, 2, 255, 128, 255);
    bmp = EncodeBmp(odd.view);
    ASSERT_EQ(bmp.size(), 54u + 1052u * 2);
    EXPECT_EQ(bmp[54 + 1050], 0);  // two zero bytes end every row
    EXPECT_EQ(bmp[54 + 1051], 0);
    EXPECT_EQ(bmp[54 + 2], 255);   // red clamped
    EXPECT_EQ(bmp[54 + 0], 255);   // blue: 255 + 0
    EXPECT_EQ(bmp[54 + 1], 164);   // green: 255 - 0.71414 * 127 = 164.3
}

TEST(Snapshot, RowsAreStoredBottomUpAndChromaIsPerBlock) {
    Picture p(4, 4, 0, 128, 128);
    p.y = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160};
    p.u = {128, 200, 128, 128};  // the top right 2x2 block is bluish
    p.view = {p.y.data(), p.u.data(), p.v.data(), 4, 4};
    std::vector<uint8_t> bmp = EncodeBmp(p.view);
    const uint8_t* lastRow = &bmp[54 + 3 * 12];  // the picture's first row
    EXPECT_EQ(lastRow[0], 10);                   // blue of pixel (0,0), no chroma offset
    EXPECT_EQ(lastRow[2 * 3 + 0], 30 + 127);     // blue of pixel (2,0): 30 + 1.772 * 72 = 157.6
    EXPECT_EQ(bmp[54 + 0], 130);                 // the file's first row is the picture's last
    EXPECT_TRUE(EncodeBmp(PlanarPicture{}).empty());
    EXPECT_FALSE(WriteBmp("/proc/no/such/dir/capture.bmp", p.view));
}

TEST(Snapshot, ProposedNameUsesTheSecondNotTheMinute) {
    int64_t t = MakeLocalTime({2016, 9, 20, 19, 9, 9});
    EXPECT_EQ(SnapshotName(t), "2016_09_20_09");
    EXPECT_EQ(SnapshotName(t + 60), "2016_09_20_09");
}
