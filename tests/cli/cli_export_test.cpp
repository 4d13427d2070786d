#include <gtest/gtest.h>

#include <filesystem>
#include <pugixml.hpp>

#include "common/temp_dir.h"
#include "export/export_test_data.h"
#include "run_tool.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// A card with one recording of two part files; sound on the first channel,
// GPS on both.
void WriteCard(const TempDir& dir) {
    ClipOptions ch1, ch2;
    ch1.audioType = 6;
    ch1.gps = ch2.gps = true;
    ch2.channel = 1;
    WriteClip(dir.File("card/DCIM/H264_20160920_190909_A0_01.264"), ch1);
    WriteClip(dir.File("card/DCIM/H264_20160920_190909_A0_02.264"), ch2);
}

}  // namespace

TEST(CliExport, WritesOneAviPerChannelAndOneJsonLineEach) {
    TempDir dir;
    WriteCard(dir);
    std::filesystem::create_directories(dir.File("out"));
    ToolResult r = RunTool({"export", dir.File("card"), "--date", "2016-09-20", "--from", "19:09:10", "--to", "19:09:13",
                            "--out", dir.File("out")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // progress only on a terminal
    auto lines = r.Lines();
    ASSERT_EQ(lines.size(), 2u);
    for (int ch = 1; ch <= 2; ++ch) {
        const auto& j = lines[static_cast<size_t>(ch - 1)];
        std::string file = dir.File("out/20160920_190910_CH" + std::to_string(ch) + ".AVI");
        EXPECT_EQ(j.dump(), nlohmann::ordered_json({{"channel", ch},
                                                    {"file", file},
                                                    {"video_frames", 76},
                                                    {"audio_bytes", ch == 1 ? 75 * 640 : 0},
                                                    {"ok", true}})
                                .dump());
        if (!HaveFfmpeg()) continue;
        auto streams = Probe(file);
        ASSERT_EQ(streams.size(), ch == 1 ? 2u : 1u);
        EXPECT_EQ(streams[0].codec, "h264");
        EXPECT_EQ(streams[0].width, kClipWidth);
        EXPECT_EQ(streams[0].height, kClipHeight);
        EXPECT_EQ(streams[0].frameRate, "25/1");
        EXPECT_EQ(streams[0].decodedFrames, 76);
        if (ch == 1) {
            EXPECT_EQ(streams[1].codec, "pcm_s16le");
            EXPECT_EQ(streams[1].sampleRate, 8000);
            EXPECT_NEAR(streams[1].duration, 3.0, 0.001);
        }
        EXPECT_EQ(DecodeErrors(file), "");
    }
}

TEST(CliExport, RejectsBadRangesAndReportsFilesItCouldNotWrite) {
    TempDir dir;
    WriteCard(dir);
    auto run = [&](const std::string& date, const std::string& from, const std::string& to, const std::string& out) {
        return RunTool({"export", dir.File("card"), "--date", date, "--from", from, "--to", to, "--out", out});
    };
    ToolResult noDay = run("2016-09-21", "00:00:00", "23:59:59", dir.path().string());
    EXPECT_EQ(noDay.status, 1);
    EXPECT_EQ(noDay.err.rfind("corvane: ", 0), 0u);
    EXPECT_EQ(run("2016-09-20", "19:09:13", "19:09:10", dir.path().string()).status, 2);
    EXPECT_EQ(run("2016-09-20", "19:61:00", "19:09:10", dir.path().string()).status, 2);
    EXPECT_EQ(RunTool({"export", dir.File("card"), "--date", "2016-09-20", "--from", "19:00:00", "--to", "20:00:00"}).status, 2);

    // A folder that does not exist yet is made; one that cannot be is reported.
    ToolResult made = run("2016-09-20", "19:09:10", "19:09:13", dir.File("new/avi"));
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_TRUE(std::filesystem::exists(dir.File("new/avi/20160920_190910_CH2.AVI")));
    ToolResult unwritable = run("2016-09-20", "19:09:10", "19:09:13", "/proc/corvane-no-such-folder");
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err.rfind("corvane: ", 0), 0u);
    auto lines = unwritable.Lines();
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& j : lines) {
        EXPECT_EQ(j["ok"], false);
        EXPECT_EQ(j["video_frames"], 0);
        EXPECT_NE(j["reason"].get<std::string>().find("No such file"), std::string::npos);
    }
}

TEST(CliGps, PrintsTheTrackAsGpxCsvOrJsonLines) {
    TempDir dir;
    WriteCard(dir);
    std::string file = dir.File("card/DCIM/H264_20160920_190909_A0_01.264");

    ToolResult gpx = RunTool({"gps", file});
    ASSERT_EQ(gpx.status, 0) << gpx.err;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(gpx.out.c_str())) << gpx.out;
    int points = 0;
    for (pugi::xml_node p : doc.child("gpx").child("trk").child("trkseg").children("trkpt")) {
        EXPECT_NEAR(p.attribute("lat").as_double(), 22.541667, 1e-6);
        EXPECT_FALSE(std::string(p.child("time").text().get()).empty());
        ++points;
    }
    EXPECT_EQ(points, 6);

    ToolResult csv = RunTool({"gps", file, "--format", "csv"});
    ASSERT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')), "timestamp,time,status,latitude,longitude,speed,course");
    EXPECT_NE(csv.out.find("\n5000,2016-09-20T19:09:09Z,A,22.541667,114.103333,36.5,90.0\n"), std::string::npos) << csv.out;

    ToolResult json = RunTool({"gps", file, "--format", "json"});
    ASSERT_EQ(json.status, 0);
    auto lines = json.Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1]["timestamp"], 6000);
    EXPECT_EQ(lines[1]["time"], "2016-09-20T19:09:10Z");
    EXPECT_EQ(lines[1]["status"], "A");
    EXPECT_NEAR(lines[1]["lon"].get<double>(), 114 + 6.2058 / 60, 1e-9);

    EXPECT_EQ(RunTool({"gps", dir.Write("junk.264", std::string(500, 'j'))}).status, 1);
    EXPECT_EQ(RunTool({"gps", file, "--format", "kml"}).status, 2);
}
