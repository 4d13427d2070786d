#include <gtest/gtest.h>
#include <zlib.h>

#include "common/temp_dir.h"
#include "recwriter.h"
#include "run_tool.h"

using namespace corvane;
using namespace corvane::test;

namespace {

std::string Crc(const std::vector<uint8_t>& p) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08lx", crc32(crc32(0L, Z_NULL, 0), p.data(), static_cast<uInt>(p.size())));
    return buf;
}

}  // namespace

TEST(CliProbe, PrintsTheStreamAndEveryRecord) {
    TempDir dir;
    rec::FileLayout layout;
    layout.version = "V800";
    layout.name = std::string("CAB\xC3\xA9\xFF", 6);  // valid UTF-8, then a stray byte
    layout.hevc = 1;
    layout.audioType = 2;
    layout.audioFlag = 1;
    rec::StreamOptions o;
    o.seconds = 3;
    o.gps = true;
    o.audioBytes = 80;
    auto records = rec::MakeStream(o);
    std::string file = dir.File("a.265");
    ASSERT_TRUE(rec::WriteRecording(file, layout, records));

    ToolResult r = RunTool({"probe", file, "--records", "--channel", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"name\":\"CAB\xC3\xA9\\u00ff\""), std::string::npos) << r.out.substr(0, 200);
    auto lines = r.Lines();
    ASSERT_EQ(lines.size(), records.size());  // the stream line, all records but the last
    const auto& s = lines[0];
    std::vector<std::string> keys;
    for (auto it = s.begin(); it != s.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"format", "name", "duration", "header_word", "frame_rate",
                                              "frame_interval", "width", "height", "audio_type", "has_audio",
                                              "channel_slots", "channels_present", "one_channel_per_file", "hevc",
                                              "channel_count", "channel_ids", "hidden_stream", "first_timestamp",
                                              "position", "index_entries", "events"}));
    EXPECT_EQ(s["format"], "V800");
    EXPECT_EQ(s["duration"], 3);
    EXPECT_EQ(s["hevc"], 1);
    EXPECT_EQ(s["has_audio"], 1);
    EXPECT_EQ(s["audio_type"], 2);
    EXPECT_EQ(s["channel_ids"], nlohmann::ordered_json::array({0}));
    EXPECT_EQ(s["first_timestamp"], 1000);
    EXPECT_EQ(s["index_entries"], 3);
    EXPECT_EQ(s["events"], nlohmann::ordered_json::array());

    for (size_t i = 1; i < lines.size(); ++i) {
        const auto& rec = records[i - 1];
        const auto& l = lines[i];
        EXPECT_EQ(l["type"], rec.type);
        EXPECT_EQ(l["channel"], 2);
        EXPECT_EQ(l["key"], rec.key);
        EXPECT_EQ(l["length"], rec.payload.size());
        EXPECT_EQ(l["timestamp"], rec.timestamp);
        if (rec.type == 4) {
            EXPECT_EQ(l["used"], 62);
            EXPECT_EQ(l["gps"]["lat"], "2232.5000");
            EXPECT_EQ(l["gps"]["lat_hemi"], "N");
            EXPECT_EQ(l["gps"]["speed"], 36.5);
            EXPECT_EQ(l["gps"]["year"], 2016);
        } else {
            EXPECT_EQ(l["used"], 22 + rec.payload.size());
            EXPECT_EQ(l["crc32"], Crc(rec.payload));
            EXPECT_FALSE(l.contains("gps"));
        }
    }
}

TEST(CliProbe, SeekModesAuxAndMax) {
    TempDir dir;
    rec::FileLayout layout;
    rec::StreamOptions o;
    o.seconds = 5;
    o.gps = true;
    std::string file = dir.File("a.264");
    ASSERT_TRUE(rec::WriteRecording(file, layout, rec::MakeStream(o)));

    auto lines = RunTool({"probe", file, "--seek", "2", "--records", "--mode", "1"}).Lines();
    ASSERT_EQ(lines.size(), 3u);  // key frames of seconds 3 and 4
    EXPECT_EQ(lines[0]["position"], 2);
    EXPECT_EQ(lines[1]["timestamp"], 4000);
    EXPECT_EQ(lines[2]["position"], 4);

    lines = RunTool({"probe", file, "--seek", "3", "--records", "--mode", "-1"}).Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3]["timestamp"], 1000);

    lines = RunTool({"probe", file, "--records", "--aux", "--max", "2"}).Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1]["type"], 4);
    EXPECT_EQ(lines[2]["gps"]["second"], 10);

    lines = RunTool({"probe", file, "--writable"}).Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["format"], "V700");
}

TEST(CliProbe, ExitStatusesAndMessages) {
    TempDir dir;
    std::string junk = dir.Write("junk.264", std::string(5000, 'j'));
    ToolResult r = RunTool({"probe", junk});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvane: no reader accepts " + junk + "\n");
    EXPECT_TRUE(r.out.empty());

    for (std::vector<std::string> bad : {std::vector<std::string>{"probe"}, {"probe", junk, "--mode", "2"},
                                         {"probe", junk, "--max", "x"}, {"nosuch"}, {}}) {
        ToolResult u = RunTool(bad);
        EXPECT_EQ(u.status, 2) << u.err;
        EXPECT_EQ(u.err.rfind("corvane: ", 0), 0u) << u.err;
        EXPECT_EQ(std::count(u.err.begin(), u.err.end(), '\n'), 1) << u.err;
    }
    EXPECT_EQ(RunTool({"probe", "--help"}).status, 0);
}
