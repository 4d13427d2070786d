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

namespace {

nlohmann::json Ffprobe(const std::string& file) {
    return nlohmann::json::parse(
        RunCommand("ffprobe -v error -show_streams -show_chapters -show_format -of json '" + file + "'"), nullptr, false);
}

ToolResult Export(const TempDir& dir, const std::string& from, const std::string& to, const std::string& out,
                  const std::string& format) {
    return RunTool({"export", dir.File("card"), "--date", "2016-09-20", "--from", from, "--to", to, "--out",
                    dir.File(out), "--format", format});
}

}  // namespace

TEST(CliExportMp4, CarriesTimeSoundSubtitlesAndAlarmsAndDecodesAsTheAvi) {
    TempDir dir;
    ClipOptions clip;
    clip.audioType = 6;
    clip.gps = true;
    clip.channel = 1;
    clip.events = {{500, 1, 2}, {2000, 3, 2}, {4500, 4, 1}};  // the first begins before the range
    WriteClip(dir.File("card/DCIM/H264_20160920_190909_A0_01.264"), clip);
    ToolResult avi = Export(dir, "19:09:10", "19:09:14", "avi", "avi");
    ASSERT_EQ(avi.status, 0) << avi.err;
    ToolResult mp4 = Export(dir, "19:09:10", "19:09:14", "mp4", "mp4");
    ASSERT_EQ(mp4.status, 0) << mp4.err;
    EXPECT_EQ(mp4.err, "");
    auto lines = mp4.Lines();
    ASSERT_EQ(lines.size(), 1u);
    std::string file = dir.File("mp4/20160920_190910_CH1.mp4");
    EXPECT_EQ(lines[0]["file"], file);
    EXPECT_EQ(lines[0]["format"], "mp4");
    EXPECT_EQ(lines[0]["gaps"], 0);
    EXPECT_EQ(lines[0]["duration_ms"], lines[0]["video_frames"].get<int>() * 40);
    EXPECT_EQ(lines[0]["ok"], true);
    EXPECT_TRUE(std::filesystem::exists(dir.File("mp4/manifest.json")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("mp4/20160920_190910.gpx")));
    if (!HaveFfmpeg()) return;

    auto probe = Ffprobe(file);
    ASSERT_FALSE(probe.is_discarded());
    // (The muxer adds a text track that carries the chapters for QuickTime.)
    ASSERT_GE(probe["streams"].size(), 3u);
    EXPECT_EQ(probe["streams"][0]["codec_name"], "h264");
    EXPECT_EQ(probe["streams"][1]["codec_name"], "aac");
    EXPECT_EQ(probe["streams"][2]["codec_name"], "mov_text");
    EXPECT_EQ(probe["format"]["tags"]["creation_time"], "2016-09-20T19:09:10.000000Z");
    EXPECT_EQ(probe["chapters"].size(), 2u);
    EXPECT_EQ(DecodeErrors(file), "");
    std::string subtitles = RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -map 0:s -f srt -");
    EXPECT_NE(subtitles.find("2016-09-20 19:09:10"), std::string::npos) << subtitles;
    EXPECT_NE(subtitles.find("2016-09-20 19:09:13"), std::string::npos) << subtitles;

    auto frames = VideoFrameMd5s(file);
    EXPECT_EQ(frames.size(), lines[0]["video_frames"].get<size_t>());
    EXPECT_EQ(frames, VideoFrameMd5s(dir.File("avi/20160920_190910_CH1.AVI")));
}

TEST(CliExportMp4, KeepsTheGapBetweenTwoRecordings) {
    TempDir dir;
    ClipOptions clip;
    clip.version = "V800";
    clip.codec = VideoCodec::kH265;
    WriteClip(dir.File("card/DCIM/H265_20160920_190909_N0_01.265"), clip);
    WriteClip(dir.File("card/DCIM/H265_20160920_190920_N0_01.265"), clip);
    ToolResult r = Export(dir, "19:09:10", "19:09:30", "out", "mp4");
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = r.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["gaps"], 1);
    // 19:09:10 to the end of the second recording near 19:09:26: the span, not
    // the frames' 11 s.
    const int duration = lines[0]["duration_ms"];
    EXPECT_NEAR(duration, 16000, 80);
    if (!HaveFfmpeg()) return;
    std::string file = lines[0]["file"];
    auto probe = Ffprobe(file);
    ASSERT_FALSE(probe.is_discarded());
    EXPECT_EQ(probe["streams"][0]["codec_name"], "hevc");
    EXPECT_EQ(probe["streams"][0]["codec_tag_string"], "hvc1");
    EXPECT_NEAR(std::atof(probe["format"]["duration"].get<std::string>().c_str()), duration / 1000.0, 0.05);
    EXPECT_EQ(DecodeErrors(file), "");
    // The pictures on either side of the gap lie over 5 s apart.
    std::string pts = RunCommand("ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 '" + file + "'");
    double last = -1, widest = 0;
    for (size_t at = 0; at < pts.size();) {
        size_t end = pts.find('\n', at);
        double t = std::atof(pts.substr(at, end - at).c_str());
        if (last >= 0) widest = std::max(widest, t - last);
        last = t;
        at = end == std::string::npos ? pts.size() : end + 1;
    }
    EXPECT_NEAR(widest, 5.06, 0.03);
}

// A file size limit stops the MP4 file midway: it is written again up to the
// last key frame it reached, so that what remains plays and is sealed.
TEST(CliExportMp4, AFileCutOffByTheSizeLimitKeepsWhatFitsPlayable) {
    TempDir dir;
    ClipOptions clip;
    clip.audioType = 6;
    clip.channel = 1;
    WriteClip(dir.File("card/DCIM/H264_20160920_190909_A0_01.264"), clip);
    ASSERT_EQ(Export(dir, "19:09:10", "19:09:16", "whole", "mp4").status, 0);
    const uintmax_t whole = std::filesystem::file_size(dir.File("whole/20160920_190910_CH1.mp4"));
    const std::string out = RunCommand("prlimit --fsize=" + std::to_string(whole * 2 / 3) + " " CORVANE_TOOL " export '" +
                                       dir.File("card") + "' --date 2016-09-20 --from 19:09:10 --to 19:09:16 --out '" +
                                       dir.File("cut") + "' --format mp4");
    auto line = nlohmann::ordered_json::parse(out, nullptr, false);
    ASSERT_FALSE(line.is_discarded()) << out;
    EXPECT_EQ(line["ok"], false);
    const std::string reason = line["reason"];
    EXPECT_NE(reason.find("the file holds the range up to 2016-09-20 19:09:1"), std::string::npos) << reason;
    const std::string file = dir.File("cut/20160920_190910_CH1.mp4");
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_LT(std::filesystem::file_size(file), whole * 2 / 3);
    EXPECT_GT(line["video_frames"].get<int>(), 25);
    EXPECT_EQ(RunTool({"verify", dir.File("cut")}).status, 0);
    if (!HaveFfmpeg()) return;
    EXPECT_EQ(DecodeErrors(file), "");
}

TEST(CliVerify, PassesUntouchedAndNamesEachChangedOrMissingFile) {
    TempDir dir;
    WriteCard(dir);
    ASSERT_EQ(Export(dir, "19:09:10", "19:09:13", "out", "mp4").status, 0);
    ToolResult ok = RunTool({"verify", dir.File("out")});
    ASSERT_EQ(ok.status, 0) << ok.err;
    auto lines = ok.Lines();
    // Two channel files and the GPS track; the two part files read.
    ASSERT_EQ(lines.size(), 5u) << ok.out;
    std::vector<std::string> paths;
    for (const auto& j : lines) {
        EXPECT_EQ(j["ok"], true);
        std::string name = j["file"];
        paths.push_back(j["role"] == "output" ? dir.File("out/" + name) : name);
    }
    EXPECT_EQ(lines[2]["file"], "20160920_190910.gpx");
    EXPECT_EQ(lines[3]["role"], "source");

    for (size_t i = 0; i < paths.size(); ++i) {
        std::vector<uint8_t> bytes = ReadBytes(paths[i]);
        ASSERT_FALSE(bytes.empty());
        std::vector<uint8_t> flipped = bytes;
        flipped[bytes.size() / 2] ^= 1;
        ASSERT_TRUE(rec::Patch(paths[i], 0, flipped));
        ToolResult bad = RunTool({"verify", dir.File("out")});
        EXPECT_EQ(bad.status, 1);
        auto checks = bad.Lines();
        ASSERT_EQ(checks.size(), lines.size());
        for (size_t k = 0; k < checks.size(); ++k) {
            EXPECT_EQ(checks[k]["ok"], k != i) << paths[i];
            if (k == i) {
                EXPECT_EQ(checks[k]["reason"], "changed");
            }
        }
        ASSERT_TRUE(rec::Patch(paths[i], 0, bytes));
    }

    std::filesystem::remove(paths[1]);
    ToolResult missing = RunTool({"verify", dir.File("out")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.Lines()[1]["reason"], "missing");
    EXPECT_EQ(missing.Lines()[0]["ok"], true);

    std::filesystem::remove(dir.File("out/manifest.json"));
    EXPECT_EQ(RunTool({"verify", dir.File("out")}).status, 2);
    dir.Write("out/manifest.json", "{\"outputs\":[{\"name\":1}]}");
    EXPECT_EQ(RunTool({"verify", dir.File("out")}).status, 2);
}
