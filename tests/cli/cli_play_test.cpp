#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/temp_dir.h"
#include "test_recording.h"
#include "run_tool.h"

using namespace corvane;
using namespace corvane::test;

namespace {

class CliPlay : public ::testing::Test {
protected:
    CliPlay() {
        // No sound card needed: where SDL opens no device, sound plays by the clock.
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    }
    std::vector<std::string> Write(int channels, int seconds, const std::string& folder = "card") {
        std::filesystem::create_directories(dir_.path() / folder);
        RecordingOptions o;
        o.channels = channels;
        o.seconds = seconds;
        o.audioChannels = {0};
        o.gpsChannels = {0};
        std::vector<std::string> paths = WriteTestRecording(dir_.File(folder), o);
        EXPECT_EQ(paths.size(), size_t(channels));
        return paths;
    }
    TempDir dir_;
};

}  // namespace

TEST_F(CliPlay, PlaysAFoldersFirstRecordingToItsEnd) {
    std::vector<std::string> paths = Write(2, 2);
    ToolResult r = RunTool({"play", dir_.File("card")});
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = r.Lines();
    ASSERT_EQ(lines.size(), 1u);
    const auto& j = lines[0];
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"recording", "channels", "pictures", "dropped", "media_seconds",
                                              "wall_seconds", "max_skew_ms", "audio_blocks", "end_messages",
                                              "cpu_seconds", "peak_rss_mb"}));
    EXPECT_EQ(j["recording"], paths[0]);
    EXPECT_EQ(j["channels"], 2);
    ASSERT_EQ(j["pictures"].size(), 2u);
    ASSERT_EQ(j["dropped"].size(), 2u);
    // 50 pictures a channel, shown or (on a machine too busy to keep up)
    // dropped; the reader keeps back the record that ends the file, and
    // opening channel 1 rewinds channel 0, whose first picture therefore shows
    // twice.
    EXPECT_EQ(j["pictures"][0].get<int>() + j["dropped"][0].get<int>(), 50);
    EXPECT_EQ(j["pictures"][1].get<int>() + j["dropped"][1].get<int>(), 49);
    EXPECT_EQ(j["end_messages"], 1);
    EXPECT_GT(j["audio_blocks"].get<int>(), 10);
    EXPECT_NEAR(j["media_seconds"].get<double>(), 1.92, 0.05);
    EXPECT_LE(j["max_skew_ms"].get<int>(), 80);
    EXPECT_GT(j["peak_rss_mb"].get<int>(), 0);
}

TEST_F(CliPlay, PlaysPartFilesInTheOrderGivenWithoutSoundOrForSomeSeconds) {
    std::vector<std::string> paths = Write(3, 3);
    ToolResult r = RunTool({"play", paths[2], paths[0], paths[1], "--no-audio", "--channel", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = r.Lines().at(0);
    EXPECT_EQ(j["recording"], paths[2]);
    EXPECT_EQ(j["channels"], 3);
    EXPECT_EQ(j["audio_blocks"], 0);
    EXPECT_EQ(j["end_messages"], 1);

    r = RunTool({"play", paths[0], paths[1], "--seconds", "0.5", "--speed", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    j = r.Lines().at(0);
    EXPECT_EQ(j["end_messages"], 0);
    EXPECT_LT(j["pictures"][0].get<int>(), 70);
}

TEST_F(CliPlay, RejectsBadOptionsAndInputsThatHoldNoRecording) {
    std::vector<std::string> paths = Write(1, 1);
    ToolResult r = RunTool({"play", paths[0], "--speed", "65"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("corvane: ", 0), 0u);
    r = RunTool({"play", paths[0], "--channel", "8"});
    EXPECT_EQ(r.status, 2);
    std::filesystem::create_directories(dir_.path() / "empty");
    r = RunTool({"play", dir_.File("empty")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no recordings"), std::string::npos);
    r = RunTool({"play", dir_.Write("junk.264", std::string(500, 'x'))});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no reader accepts"), std::string::npos);
}
