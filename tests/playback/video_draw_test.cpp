#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "playback_fixture.h"
#include "readers/probe.h"

using namespace corvane;
using namespace corvane::test;

namespace {

std::unique_ptr<CxMemUnit> VideoUnit(uint64_t timestamp, uint32_t storedLength, uint32_t payloadBytes) {
    auto unit = std::make_unique<CxMemUnit>();
    RecordHeader h;
    h.kind = kTypeVideo << 4;
    h.flag = 1;
    h.length = storedLength;
    h.timestamp = timestamp;
    h.Store(unit->Buffer());
    unit->SetUsed(uint32_t(kRecordHeaderSize + payloadBytes));
    return unit;
}

class DrawTest : public PlaybackTest {
protected:
    // Channel 0 open on a recording, its decoding thread held.
    CVideoPort& OpenHeld(OpenedRecording& r) {
        CVideoPort& port = *Group().Port(0);
        port.Draw().hold = 1;  // before the thread starts, which polls it
        EXPECT_EQ(port.OpenChannel(r.recording, nullptr), 1);
        return port;
    }
};

}  // namespace

TEST_F(DrawTest, RoomIsOneSecondOfFramesAndNoneWithoutARecording) {
    CVideoPort& closed = *Group().Port(1);
    EXPECT_FALSE(closed.Draw().HasRoom());

    RecordingOptions o;
    o.fps = 12;
    o.realVideo = false;
    CVideoPort& port = OpenHeld(Write(o));
    port.Draw().ClearQueue();
    for (int i = 0; i < 11; ++i) port.Draw().PushFrame(VideoUnit(1000 + i, 10, 10));
    EXPECT_TRUE(port.Draw().HasRoom());
    port.Draw().PushFrame(VideoUnit(2000, 10, 10));
    EXPECT_FALSE(port.Draw().HasRoom());
    port.CloseChannel();

    // A reader that reports no frame rate gets the 25 frames of a recorder
    // that left it unset, not a queue without room (which would stall it).
    rec::FileLayout layout;
    layout.version = "V800";
    layout.frameRate = 0;
    layout.width = 64;
    layout.height = 48;
    const std::string path = dir_.File("H264_20160920_200000_N0_01.264");
    o.fps = 25;
    ASSERT_TRUE(rec::WriteRecording(path, layout, ChannelRecords(o, 0)));
    recordings_.push_back(std::make_unique<OpenedRecording>(OpenTestRecording({path})));
    OpenedRecording& r = *recordings_.back();
    ASSERT_EQ(r.recording->readers[0]->GetFrameRate(), 0);
    CVideoPort& port0 = OpenHeld(r);
    port0.Draw().ClearQueue();
    for (int i = 0; i < 24; ++i) port0.Draw().PushFrame(VideoUnit(1000 + i, 10, 10));
    EXPECT_TRUE(port0.Draw().HasRoom());
    port0.Draw().PushFrame(VideoUnit(2000, 10, 10));
    EXPECT_FALSE(port0.Draw().HasRoom());
}

TEST_F(DrawTest, HeldRecordsPileUpToTheRoomLimitThenDecodeInOrder) {
    RecordingOptions o;
    o.seconds = 2;
    CVideoPort& port = OpenHeld(Write(o));
    ASSERT_EQ(port.Draw().PicturesDecoded(), 1u);  // the first picture shows at once
    ClearObservations();
    for (int i = 0; i < 40; ++i) port.ReadStepNormal(1);
    EXPECT_EQ(port.Draw().QueueCount(), 25u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(DecodedRecords().empty());
    EXPECT_EQ(port.Draw().QueueCount(), 25u);

    port.Draw().hold = 0;
    ASSERT_TRUE(WaitForQueuesEmpty());
    std::vector<uint64_t> times = DecodedTimes(0);
    ASSERT_EQ(times.size(), 25u);
    for (size_t i = 0; i < times.size(); ++i) EXPECT_EQ(times[i], 1040u + 40 * i);
    EXPECT_EQ(port.Draw().PicturesDecoded(), 26u);
    EXPECT_EQ(video_.Output(0)->presents.load(), 26u);
    EXPECT_EQ(port.LastShown(), 2000u);
}

TEST_F(DrawTest, RecordsWithoutAUsablePayloadAreConsumedWithoutAPicture) {
    RecordingOptions o;
    CVideoPort& port = OpenHeld(Write(o));
    port.Draw().ClearQueue();
    ClearObservations();
    port.Draw().PushFrame(VideoUnit(5000, 0, 0));
    port.Draw().PushFrame(VideoUnit(5040, 512001, 100));
    port.Draw().PushFrame(VideoUnit(5080, 4000, 100));  // longer than the unit holds
    const uint64_t before = port.Draw().PicturesDecoded();
    port.Draw().hold = 0;
    ASSERT_TRUE(WaitForQueuesEmpty());
    EXPECT_TRUE(DecodedRecords().empty());
    EXPECT_EQ(port.Draw().PicturesDecoded(), before);
    EXPECT_EQ(port.LastShown(), 1000u);
}

// A repaint shows the kept picture again: decoding its record once more
// would give an H.264 decoder a picture predicted from itself (and all after
// it up to the next key frame from that).
TEST_F(DrawTest, HiddenWindowDecodesWithoutShowingAndRepaintShowsTheCurrentFrameAgain) {
    RecordingOptions o;
    o.seconds = 1;
    CVideoPort& port = OpenHeld(Write(o));
    MemoryVideoOutput& out = *video_.Output(0);
    const uint64_t shown = out.presents.load();
    std::vector<uint8_t> before, after;
    int width = 0, height = 0;
    ASSERT_TRUE(port.Draw().CopyPicture(before, width, height));
    port.SetVisible(false);
    for (int i = 0; i < 5; ++i) port.ReadStepNormal(1);
    port.Draw().hold = 0;
    ASSERT_TRUE(WaitForQueuesEmpty());
    EXPECT_EQ(port.Draw().PicturesDecoded(), 6u);
    EXPECT_EQ(out.presents.load(), shown);
    // Snapshots of a hidden channel (another one zoomed) take the picture of
    // the time it has reached, not the one it last showed.
    ASSERT_TRUE(port.Draw().CopyPicture(after, width, height));
    EXPECT_NE(after, before);
    EXPECT_EQ(port.Draw().PictureTime(), port.LastShown());

    port.SetVisible(true);
    port.Draw().hold = 1;
    port.Draw().OnPaint();
    EXPECT_EQ(out.presents.load(), shown + 1);
    EXPECT_EQ(port.Draw().PicturesDecoded(), 6u);
    EXPECT_EQ(out.Current().pictureWidth, 64);
    std::vector<uint8_t> repainted;
    ASSERT_TRUE(port.Draw().CopyPicture(repainted, width, height));
    EXPECT_EQ(repainted, after);
}

TEST_F(DrawTest, AResizeRecreatesTheOutputAndANewPictureSizeReallocatesThePlanes) {
    // One second at 64x48, then one at 32x24 (with its own parameter sets).
    RecordingOptions o;
    o.seconds = 1;
    std::vector<rec::Record> records = ChannelRecords(o, 0);
    RecordingOptions small = o;
    small.width = 32;
    small.height = 24;
    small.startMs = 2000;
    for (rec::Record& r : ChannelRecords(small, 0)) records.push_back(r);
    rec::FileLayout layout;
    layout.version = "V800";
    layout.width = 64;
    layout.height = 48;
    const std::string path = dir_.File("H264_20160920_190909_N0_01.264");
    ASSERT_TRUE(rec::WriteRecording(path, layout, records));
    recordings_.push_back(std::make_unique<OpenedRecording>(OpenTestRecording({path})));
    CVideoPort& port = OpenHeld(*recordings_.back());

    MemoryVideoOutput& out = *video_.Output(0);
    EXPECT_EQ(out.creates.load(), 1u);
    port.Move(Rect{0, 0, 300, 200}, true);
    EXPECT_EQ(out.creates.load(), 2u);
    EXPECT_EQ(out.destroys.load(), 1u);
    EXPECT_TRUE(port.Draw().IsReady());
    port.Move(Rect{10, 10, 310, 210}, true);  // moved, same size
    EXPECT_EQ(out.creates.load(), 2u);

    port.Draw().hold = 0;
    while (port.ReadStepNormal(1)) {
    }
    ASSERT_TRUE(WaitForQueuesEmpty());
    EXPECT_EQ(out.Current().pictureWidth, 32);
    EXPECT_EQ(out.Current().textureWidth, 64);
    // The snapshot has the reader's size; what the smaller picture does not
    // cover is black.
    const std::string bmp = dir_.File("capture.bmp");
    port.Draw().hold = 1;
    ASSERT_TRUE(port.Draw().SavePicture(bmp));
    EXPECT_EQ(std::filesystem::file_size(bmp), 54u + 64 * 3 * 48);
    std::ifstream in(bmp, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t topRight = 54 + size_t(47) * 192 + 63 * 3;  // last row in the file is the top row
    EXPECT_EQ(file[topRight] | file[topRight + 1] | file[topRight + 2], 0);
    const size_t topLeft = 54 + size_t(47) * 192;
    EXPECT_GT(file[topLeft + 1], 20);  // the picture is there
}

TEST_F(DrawTest, DecoderAndOutputFailuresAreShownAndLeaveTheChannelDark) {
    RecordingOptions bad;
    bad.codec = VideoCodec::kH265;
    bad.realVideo = false;
    bad.width = 4;  // the H.265 decoder refuses pictures narrower than 8
    OpenedRecording& r = Write(bad);
    CVideoPort& port = *Group().Port(0);
    EXPECT_EQ(port.OpenChannel(r.recording, nullptr), 0);
    EXPECT_EQ(port.Recording(), r.recording);
    EXPECT_FALSE(port.Draw().IsRunning());
    port.CloseChannel();

    video_.Output(1)->failCreate = true;
    RecordingOptions two;
    two.channels = 2;
    two.realVideo = false;
    two.stamp = "20160920_200000";
    OpenedRecording& r2 = Write(two);
    EXPECT_EQ(Group().Port(1)->OpenChannel(r2.recording, nullptr), 0);
    EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{kMsgCreateDecoderFailed, kMsgCreateOutputFailed}));
    Group().Port(1)->CloseChannel();
}

TEST_F(DrawTest, H265ChannelsDecodeEveryPicture) {
    RecordingOptions o;
    o.codec = VideoCodec::kH265;
    o.seconds = 1;
    CVideoPort& port = OpenHeld(Write(o));
    EXPECT_TRUE(port.Draw().UsesHevc());
    for (int i = 0; i < 24; ++i) port.ReadStepNormal(1);
    port.Draw().hold = 0;
    ASSERT_TRUE(WaitForQueuesEmpty());
    // 25 pictures; the reader never hands out the record that ends the file.
    EXPECT_EQ(port.Draw().PicturesDecoded(), 24u);
    MemoryVideoOutput::Snapshot s = video_.Output(0)->Current();
    EXPECT_EQ(s.pictureWidth, 64);
    EXPECT_EQ(s.pictureHeight, 48);
    EXPECT_EQ(s.y.size(), 64u * 48);
}
