// Snapshot files: the BMP the selected channel's picture is written as, the
// name proposed for it, and the image of every channel at once.
#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <fstream>
#include <thread>

#include "catalogue/local_time.h"
#include "common/temp_dir.h"
#include "platform/reg_file.h"
#include "playback/memory_output.h"
#include "playback/message_box.h"
#include "playback/picture_bmp.h"
#include "playback/video_group.h"
#include "readers/byte_order.h"
#include "ui/snapshot.h"
#include "ui/snapshot_all.h"
#include "test_recording.h"

using namespace corvane;

namespace {

struct Picture {
    std::vector<uint8_t> y, u, v;
    Picture(int w, int h, uint8_t Y, uint8_t U, uint8_t V)
        : y(static_cast<size_t>(w * h), Y), u(static_cast<size_t>(w / 2 * (h / 2)), U), v(u.size(), V), w_(w), h_(h) {}
    PackedPicture View() const { return {y.data(), u.data(), v.data(), w_, h_}; }
    int w_, h_;
};

std::string Bmp(const test::TempDir& dir, const Picture& p) {
    std::string path = dir.File("capture.bmp");
    EXPECT_TRUE(WriteBmp24(path, ConvertToBgr24(p.View(), p.w_, p.h_), p.w_, p.h_));
    return *ReadTextFile(path);
}

const uint8_t* At(const std::string& s, size_t offset) { return reinterpret_cast<const uint8_t*>(s.data()) + offset; }

}  // namespace

TEST(Snapshot, HeaderSizesAndPadding) {
    test::TempDir dir;
    std::string bmp = Bmp(dir, Picture(704, 576, 16, 128, 128));
    ASSERT_EQ(bmp.size(), 1216566u);
    EXPECT_EQ(GetU32(At(bmp, 2)), 1216566u);
    EXPECT_EQ(GetU32(At(bmp, 34)), 1216512u);
    EXPECT_EQ(GetU32(At(bmp, 10)), 54u);
    EXPECT_EQ(GetU32(At(bmp, 22)), 576u);
    EXPECT_EQ(GetU16(At(bmp, 28)), 24);
    // Black video stays (16, 16, 16).
    EXPECT_EQ(*At(bmp, 54), 16);
    EXPECT_EQ(*At(bmp, 55), 16);
    EXPECT_EQ(*At(bmp, 56), 16);

    bmp = Bmp(dir, Picture(350, 2, 255, 128, 255));
    ASSERT_EQ(bmp.size(), 54u + 1052u * 2);
    EXPECT_EQ(*At(bmp, 54 + 1050), 0);  // two zero bytes end every row
    EXPECT_EQ(*At(bmp, 54 + 1051), 0);
    EXPECT_EQ(*At(bmp, 54 + 2), 255);   // red clamped
    EXPECT_EQ(*At(bmp, 54 + 0), 255);   // blue: 255 + 0
    EXPECT_EQ(*At(bmp, 54 + 1), 164);   // green: 255 - 0.71414 * 127 = 164.3
}

TEST(Snapshot, RowsAreStoredBottomUpAndChromaIsPerBlock) {
    test::TempDir dir;
    Picture p(4, 4, 0, 128, 128);
    p.y = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160};
    p.u = {128, 200, 128, 128};  // the top right 2x2 block is bluish
    std::string bmp = Bmp(dir, p);
    const uint8_t* lastRow = At(bmp, 54 + 3 * 12);  // the picture's first row
    EXPECT_EQ(lastRow[0], 10);                      // blue of pixel (0,0), no chroma offset
    EXPECT_EQ(lastRow[2 * 3 + 0], 30 + 127);        // blue of pixel (2,0): 30 + 1.772 * 72 = 157.6
    EXPECT_EQ(*At(bmp, 54), 130);                   // the file's first row is the picture's last
    EXPECT_FALSE(WriteBmp24("/proc/no/such/dir/capture.bmp", ConvertToBgr24(p.View(), 4, 4), 4, 4));
}

TEST(Snapshot, ProposedNameHoldsTheDateAndTheTimeToTheSecond) {
    int64_t t = MakeLocalTime({2016, 9, 20, 19, 9, 9});
    EXPECT_EQ(SnapshotName(t), "2016_09_20_190909");
    EXPECT_EQ(SnapshotName(t + 60), "2016_09_20_191009");
}

TEST(Snapshot, SavedFileHasTheFormatItsNameAsksForAndReplacesAnOldOne) {
    test::TempDir dir;
    Picture p(64, 48, 120, 90, 200);
    const std::string captured = dir.File("capture.bmp");
    ASSERT_TRUE(WriteBmp24(captured, ConvertToBgr24(p.View(), 64, 48), 64, 48));
    const QString bmp = QString::fromStdString(captured);
    auto magic = [](const std::string& path, size_t n) { return ReadTextFile(path).value_or("").substr(0, n); };

    const std::string jpg = dir.File("shot.JPG"), png = dir.File("shot.png"), copy = dir.File("shot.bmp");
    {
        std::ofstream old(jpg);
        old << "an older file the user agreed to replace";
    }
    EXPECT_TRUE(SaveSnapshotAs(bmp, QString::fromStdString(jpg)));
    EXPECT_EQ(magic(jpg, 3), "\xFF\xD8\xFF");
    EXPECT_TRUE(SaveSnapshotAs(bmp, QString::fromStdString(png)));
    EXPECT_EQ(magic(png, 8), "\x89PNG\r\n\x1A\n");
    EXPECT_TRUE(SaveSnapshotAs(bmp, QString::fromStdString(copy)));
    EXPECT_EQ(ReadTextFile(copy), ReadTextFile(captured));
    QImage back(QString::fromStdString(png));
    ASSERT_EQ(back.size(), QSize(64, 48));
    EXPECT_EQ(back.pixelColor(10, 10), QImage(bmp).pixelColor(10, 10));  // lossless
    // A flat picture compresses: stored uncompressed it would take 9 KB.
    EXPECT_LT(std::filesystem::file_size(png), 2000u);

    // A folder that cannot be written, or no picture to read: reported.
    EXPECT_FALSE(SaveSnapshotAs(bmp, "/proc/corvane-no-such-folder/shot.png"));
    EXPECT_FALSE(SaveSnapshotAs(QString::fromStdString(dir.File("missing.bmp")), QString::fromStdString(png)));
    EXPECT_EQ(magic(png, 8), "\x89PNG\r\n\x1A\n");  // the earlier file is untouched
}

// Three channels in the two-by-two grid: each cell holds its channel's
// picture under a label with the channel, the picture's time and the
// position; the fourth cell stays black.
TEST(Snapshot, SnapshotAllPutsEveryChannelInTheGridWithItsLabel) {
    test::TempDir dir;
    test::RecordingOptions o;
    o.channels = 3;
    o.seconds = 3;
    o.gpsChannels = {0};
    test::OpenedRecording r = test::OpenTestRecording(test::WriteTestRecording(dir.path().string(), o));
    ASSERT_NE(r.recording, nullptr);
    r.recording->startTime = MakeLocalTime({2016, 9, 20, 19, 9, 9});
    AppSettings settings;
    settings.Audio = 0;
    MemoryVideoOutputFactory video;
    CapturedMessageBoxes messages;
    PlaybackEnvironment env;
    env.video = &video;
    env.messages = &messages;
    env.settings = &settings;
    CVideoGroup group(env);
    group.OnCreate();
    group.SetLayoutMode(1);
    ASSERT_TRUE(group.OpenRecording(r.day.get(), r.recording, nullptr, nullptr));
    // Played until the clock channel has read a GPS fix, then a picture on.
    GroupGpsFix fix;
    for (int i = 0; i < 6000 && fix.status == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        group.CopyGpsFix(&fix);
    }
    ASSERT_TRUE(group.StepFrame(1));

    const ComposedSnapshot shot = ComposeSnapshotAll(group);
    ASSERT_FALSE(shot.image.isNull());
    ASSERT_EQ(shot.cells.size(), 3u);
    const QRect cell = shot.cells[0].rect;
    EXPECT_GE(cell.width(), 480);  // enlarged so that the label fits
    EXPECT_EQ(shot.image.width(), 2 * cell.width() + 2);
    EXPECT_EQ(shot.image.height(), 2 * cell.height() + 2);
    for (int c = 0; c < 3; ++c) {
        const ComposedSnapshot::Cell& k = shot.cells[size_t(c)];
        EXPECT_EQ(k.channel, c);
        EXPECT_EQ(k.rect.topLeft(), QPoint(c % 2 * (cell.width() + 2), c / 2 * (cell.height() + 2)));
        const uint64_t ms = group.Port(c)->LastShown() - 1000;  // the recording's pictures start at 1000 ms
        const QString time = QString::asprintf("2016-09-20 19:09:%02d.%03d", 9 + int(ms / 1000), int(ms % 1000));
        EXPECT_TRUE(k.label.startsWith(QString("CH%1  %2  22.54167\u00B0N 114.").arg(c + 1).arg(time)))
            << k.label.toStdString() << " / " << time.toStdString();
        EXPECT_TRUE(k.label.endsWith("\u00B0E")) << k.label.toStdString();
        // The picture fills the cell; the label is written in white on a
        // darkened strip at its bottom.
        const QColor middle = shot.image.pixelColor(k.rect.center());
        EXPECT_GT(middle.red() + middle.green() + middle.blue(), 150) << c;
        int white = 0;
        for (int y = k.rect.bottom() - 24; y <= k.rect.bottom(); ++y)
            for (int x = k.rect.left(); x < k.rect.right(); ++x)
                white += std::min({qRed(shot.image.pixel(x, y)), qGreen(shot.image.pixel(x, y)),
                                   qBlue(shot.image.pixel(x, y))}) > 200;
        EXPECT_GT(white, 50) << c;
    }
    EXPECT_EQ(shot.image.pixelColor(cell.width() * 3 / 2, cell.height() * 3 / 2), QColor(Qt::black));
    group.StopPlayback();
    EXPECT_TRUE(messages.Texts().empty());
}
