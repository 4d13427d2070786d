#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "common/temp_dir.h"
#include "common/test_video.h"
#include "export/export_test_data.h"
#include "run_tool.h"

using namespace corvane;
using namespace corvane::test;

namespace {

constexpr int kW = 160, kH = 120;  // the clips' size, and so the cells'

// Channel `ch` (from 0) of a recording: frame i shows TestPicture(first(ch) + i),
// so that every channel looks different at the same moment.
int FirstPicture(int ch) { return 40 * ch; }

void WritePart(const TempDir& dir, const std::string& start, int ch, bool sound) {
    ClipOptions clip;
    clip.width = kW;
    clip.height = kH;
    clip.channel = static_cast<uint8_t>(ch);
    clip.firstPicture = FirstPicture(ch);
    clip.gps = ch == 0;
    clip.audioType = sound ? 6 : -1;
    WriteClip(dir.File("card/DCIM/H264_20160920_" + start + "_A0_0" + std::to_string(ch + 1) + ".264"), clip);
}

ToolResult Mosaic(const TempDir& dir, const std::string& from, const std::string& to) {
    return RunTool({"export", dir.File("card"), "--date", "2016-09-20", "--from", from, "--to", to, "--out",
                    dir.File("out"), "--mosaic"});
}

// The luma planes of a file's pictures, as ffmpeg decodes them (4:2:0, as
// stored: black is 16).
std::vector<std::vector<uint8_t>> LumaFrames(const std::string& file, int width, int height) {
    std::string raw = RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f rawvideo -pix_fmt yuv420p -");
    const size_t luma = size_t(width) * height, size = luma * 3 / 2;
    std::vector<std::vector<uint8_t>> frames;
    for (size_t at = 0; at + size <= raw.size(); at += size) frames.emplace_back(raw.begin() + long(at), raw.begin() + long(at + luma));
    return frames;
}

// The middle of a cell (half its width and height, clear of the labels and
// the line of text) against the middle of the source picture.
double CellPsnr(const std::vector<uint8_t>& mosaic, int mosaicWidth, int cell, int columns, int sourcePicture) {
    Yuv420Image source = TestPicture(kW, kH, sourcePicture);
    const int x0 = cell % columns * kW, y0 = cell / columns * kH;
    double squares = 0;
    int n = 0;
    for (int y = kH / 4; y < kH * 3 / 4; ++y)
        for (int x = kW / 4; x < kW * 3 / 4; ++x, ++n) {
            double d = double(mosaic[size_t(y0 + y) * mosaicWidth + x0 + x]) - source.y[size_t(y) * kW + x];
            squares += d * d;
        }
    return squares == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (squares / n));
}

double CellMean(const std::vector<uint8_t>& mosaic, int mosaicWidth, int cell, int columns) {
    const int x0 = cell % columns * kW, y0 = cell / columns * kH;
    double sum = 0;
    int n = 0;
    for (int y = kH / 4; y < kH * 3 / 4; ++y)
        for (int x = kW / 4; x < kW * 3 / 4; ++x, ++n) sum += mosaic[size_t(y0 + y) * mosaicWidth + x0 + x];
    return sum / n;
}

}  // namespace

// Four part files of one recording (19:09:09 to 19:09:15), sound and GPS on
// the first: the 2x2 mosaic of 19:09:10 to 19:09:14 shows every channel's
// own picture of each moment, and its folder verifies.
TEST(CliExportMosaic, ShowsEveryChannelInStepWithSoundAndVerifies) {
    TempDir dir;
    for (int ch = 0; ch < 4; ++ch) WritePart(dir, "190909", ch, ch == 0);
    ToolResult r = Mosaic(dir, "19:09:10", "19:09:14");
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = r.Lines();
    ASSERT_GE(lines.size(), 2u) << r.out;
    const auto& last = lines.back();
    const std::string file = dir.File("out/20160920_190910_ALL.mp4");
    EXPECT_EQ(last["channel"], 0);
    EXPECT_EQ(last["channels"], nlohmann::json::parse("[1,2,3,4]"));
    EXPECT_EQ(last["file"], file);
    EXPECT_EQ(last["ok"], true);
    EXPECT_EQ(last["video_frames"], 100);
    EXPECT_GT(last["audio_bytes"].get<int>(), 0);
    // A line per second of the span before it.
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i]["second"], i + 1);
        EXPECT_EQ(lines[i]["seconds"], 4);
    }

    ToolResult verify = RunTool({"verify", dir.File("out")});
    EXPECT_EQ(verify.status, 0) << verify.out;
    auto checks = verify.Lines();
    ASSERT_EQ(checks.size(), 6u) << verify.out;  // the mosaic, the GPX file; four part files
    EXPECT_EQ(checks[0]["file"], "20160920_190910_ALL.mp4");
    EXPECT_EQ(checks[1]["file"], "20160920_190910.gpx");

    if (!HaveFfmpeg()) return;
    auto streams = Probe(file);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].codec, "h264");
    EXPECT_EQ(streams[0].width, 2 * kW);
    EXPECT_EQ(streams[0].height, 2 * kH);
    EXPECT_EQ(streams[0].decodedFrames, 100);
    EXPECT_EQ(streams[1].codec, "aac");
    std::string duration = RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + file + "'");
    EXPECT_NEAR(std::atof(duration.c_str()), 4.0, 0.04);
    EXPECT_EQ(DecodeErrors(file), "");

    // Output frame k is 19:09:10 + k * 40 ms: picture 25 + k of every part.
    auto frames = LumaFrames(file, 2 * kW, 2 * kH);
    ASSERT_EQ(frames.size(), 100u);
    for (int k = 4; k < 100; k += 10) {
        for (int cell = 0; cell < 4; ++cell) {
            double psnr = CellPsnr(frames[size_t(k)], 2 * kW, cell, 2, FirstPicture(cell) + 25 + k);
            EXPECT_GE(psnr, 30) << "frame " << k << " cell " << cell;
            // A frame off would not match (the block moves 3 pixels a picture).
            EXPECT_LT(CellPsnr(frames[size_t(k)], 2 * kW, cell, 2, FirstPicture(cell) + 26 + k), psnr - 2)
                << "frame " << k << " cell " << cell;
        }
    }
}

// Channel 2 has no part file in the second recording (19:09:15 on): its
// cell turns black there while channel 1 goes on; cells 3 and 4 have no
// channel and are black throughout.
TEST(CliExportMosaic, ChannelWithoutRecordingShowsBlackWhileOthersGoOn) {
    TempDir dir;
    WritePart(dir, "190909", 0, false);
    WritePart(dir, "190909", 1, false);
    WritePart(dir, "190915", 0, false);
    ToolResult r = Mosaic(dir, "19:09:10", "19:09:20");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.Lines().back()["video_frames"], 250);
    if (!HaveFfmpeg()) return;
    auto frames = LumaFrames(dir.File("out/20160920_190910_ALL.mp4"), 2 * kW, 2 * kH);
    ASSERT_EQ(frames.size(), 250u);
    for (int k : {30, 100, 160, 200, 240}) {  // 19:09:11.2 ... 19:09:19.6; 19:09:16.4 is over a second after channel 2 ended
        const auto& f = frames[size_t(k)];
        const int picture = k < 125 ? 25 + k : k - 125;  // of the first or the second recording
        EXPECT_GE(CellPsnr(f, 2 * kW, 0, 2, FirstPicture(0) + picture), 30) << "frame " << k;
        if (k < 125) {
            EXPECT_GE(CellPsnr(f, 2 * kW, 1, 2, FirstPicture(1) + picture), 30) << "frame " << k;
        } else {
            EXPECT_NEAR(CellMean(f, 2 * kW, 1, 2), 16, 2) << "frame " << k;
        }
        EXPECT_NEAR(CellMean(f, 2 * kW, 2, 2), 16, 2) << "frame " << k;
        EXPECT_NEAR(CellMean(f, 2 * kW, 3, 2), 16, 2) << "frame " << k;
    }
}
