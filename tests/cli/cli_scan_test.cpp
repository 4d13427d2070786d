#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "recwriter.h"
#include "run_tool.h"

using namespace corvane;
using namespace corvane::test;

namespace {

void WriteV700(const std::string& path, uint32_t seconds) {
    rec::FileLayout layout;
    rec::StreamOptions o;
    o.seconds = seconds;
    o.fps = 5;
    o.keyBytes = o.videoBytes = 40;
    ASSERT_TRUE(rec::WriteRecording(path, layout, rec::MakeStream(o)));
}

}  // namespace

TEST(CliScan, ListsDaysAndRecordingsWithAndWithoutMeasuring) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "card/b");
    WriteV700(dir.File("card/b/H264_20150812_123000_N0_01.264"), 12);
    WriteV700(dir.File("card/H264_20150812_090000_A0_01.264"), 7);
    WriteV700(dir.File("card/b/H264_20150812_090000_A0_01.264"), 7);
    WriteV700(dir.File("card/H264_20150811_235959_N0_01.264"), 3);
    dir.Write("card/notes.txt", std::string(300, 'n'));

    ToolResult r = RunTool({"scan", dir.File("card")});
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = r.Lines().at(0);
    ASSERT_EQ(j["days"].size(), 2u);
    EXPECT_EQ(j["days"][0]["date"], "2015-08-11");
    const auto& day = j["days"][1];
    EXPECT_EQ(day["date"], "2015-08-12");
    ASSERT_EQ(day["recordings"].size(), 2u);
    const auto& parts = day["recordings"][0];
    EXPECT_EQ(parts["start"], "2015-08-12 09:00:00");
    EXPECT_EQ(parts["multi_part"], 1);
    EXPECT_EQ(parts["file"], "");
    EXPECT_EQ(parts["parts"].size(), 2u);
    EXPECT_EQ(parts["channels"], 2);
    EXPECT_EQ(parts["tag"], "01");
    EXPECT_EQ(parts["alarm"], true);
    const auto& single = day["recordings"][1];
    EXPECT_EQ(single["file"], dir.File("card/b/H264_20150812_123000_N0_01.264"));
    EXPECT_EQ(single["length"], 0);
    EXPECT_EQ(single["end"], "2015-08-12 12:30:00");
    EXPECT_EQ(single["channels"], 0);

    auto m = RunTool({"scan", dir.File("card"), "--measure"}).Lines().at(0);
    const auto& measured = m["days"][1]["recordings"][1];
    EXPECT_EQ(measured["length"], 12);
    EXPECT_EQ(measured["end"], "2015-08-12 12:30:12");
    EXPECT_EQ(measured["channels"], 1);
    EXPECT_EQ(measured["alarm"], false);
    EXPECT_EQ(measured["events"], nlohmann::ordered_json::array());

    auto f = RunTool({"scan", dir.File("card"), "--date", "2015-08-12", "--from", "10:00:00", "--to", "12:30:00"});
    ASSERT_EQ(f.status, 0);
    auto filtered = f.Lines().at(0);
    ASSERT_EQ(filtered["days"].size(), 1u);
    ASSERT_EQ(filtered["days"][0]["recordings"].size(), 1u);
    EXPECT_EQ(filtered["days"][0]["recordings"][0]["start"], "2015-08-12 12:30:00");

    ToolResult none = RunTool({"scan", dir.File("card"), "--date", "2016-01-01"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err.rfind("corvane: ", 0), 0u);
    EXPECT_EQ(RunTool({"scan", dir.File("card"), "--date", "2015-13-01"}).status, 2);
    EXPECT_EQ(RunTool({"scan", dir.File("card/notes.txt")}).status, 1);
}

TEST(CliRepair, RebuildsDamagedIndexesAndReportsFailures) {
    TempDir dir;
    std::string good = dir.File("H264_20150812_123000_N0_01.264");
    WriteV700(good, 9);
    ASSERT_TRUE(rec::Patch(good, 56, std::vector<uint8_t>(9 * 8, 0)));
    std::string junk = dir.Write("junk.264", std::string(400, 'j'));

    ToolResult r = RunTool({"repair", good, junk});
    EXPECT_EQ(r.status, 1);
    auto lines = r.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["file"], good);
    EXPECT_EQ(lines[0]["format"], "V700");
    EXPECT_EQ(lines[0]["index_entries_before"], 0);
    EXPECT_EQ(lines[0]["index_entries_after"], 9);
    EXPECT_EQ(lines[0]["ok"], true);
    EXPECT_EQ(lines[0]["outcome"], "repaired");
    EXPECT_EQ(lines[1]["format"], "");
    EXPECT_EQ(lines[1]["ok"], false);
    EXPECT_EQ(lines[1]["outcome"], "failed");
    EXPECT_FALSE(lines[1]["reason"].get<std::string>().empty());
    // A file that needs nothing is no failure.
    r = RunTool({"repair", good});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.Lines().size(), 1u);
    EXPECT_EQ(r.Lines()[0]["outcome"], "unchanged");
}
