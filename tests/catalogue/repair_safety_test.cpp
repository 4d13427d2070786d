// The repair command works on evidence: whatever happens, it may only ever
// rewrite the key-frame index, every frame stays byte for byte, and a
// recording it repaired reads and seeks as a sound one does. A repair that is
// stopped or cannot write leaves the file exactly as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>

#include "catalogue/disk_video.h"
#include "common/temp_dir.h"
#include "platform/reg_file.h"
#include "readers/probe.h"
#include "recwriter.h"

using namespace corvane;
using namespace corvane::test;

namespace {

struct Area {
    uint64_t begin, end;
};

// How a version's rebuild writes: over its index table in place, by
// appending an index and a trailer, or not at all.
enum class Rebuild { kInPlace, kAppends, kNone };

struct Case {
    std::string version;
    std::vector<int> channels;  // selectors of the channels to read
    Rebuild rebuild;
    std::vector<Area> index;    // where the index lives: an in-place repair may write only there
};

const std::vector<Case>& Cases() {
    // Header 48 (49) bytes, stream block 8, extra block 0: the table of 3605
    // slots; multi-channel files with two slots: 48 + 8 * 2, two tables of 3600.
    static const std::vector<Case> cases = [] {
        std::vector<Case> c;
        c.push_back({"V800", {0}, Rebuild::kInPlace, {{28, 32}, {57, 57 + 28840}}});
        c.push_back({"V700", {0}, Rebuild::kInPlace, {{28, 32}, {56, 56 + 28840}}});
        for (const char* v : {"V600", "V510", "V503", "V502", "V501", "V500"}) {
            c.push_back({v, {1, 2}, Rebuild::kInPlace, {{28, 32}, {64, 48 + 28808 * 2}}});
        }
        c.push_back({"V300", {0}, Rebuild::kAppends, {}});
        for (const char* v : {"V402", "V401", "V400"}) c.push_back({v, {0}, Rebuild::kNone, {{100, 100 + 6 * 8}}});
        c.push_back({"V120", {0}, Rebuild::kNone, {}});
        return c;
    }();
    return cases;
}

bool IsIndex(const Case& c, uint64_t at) {
    for (const Area& a : c.index) {
        if (at >= a.begin && at < a.end) return true;
    }
    return false;
}

// Six seconds with sound and GPS; two channels for the multi-channel versions.
std::string Write(const TempDir& dir, const Case& c) {
    rec::FileLayout layout;
    layout.version = c.version;
    std::vector<std::vector<rec::Record>> streams;
    for (int channel : c.channels) {
        rec::StreamOptions o;
        o.seconds = 6;
        o.fps = 5;
        o.videoBytes = 40;
        o.keyBytes = 90;
        o.audioBytes = 20;
        o.gps = channel <= 1;
        o.channel = static_cast<uint8_t>(channel);
        streams.push_back(rec::MakeStream(o));
        if (channel > 0) {
            rec::Channel entry;
            entry.number = static_cast<uint8_t>(channel);
            layout.channels.push_back(entry);
        }
    }
    std::string path = dir.File(c.version);
    EXPECT_TRUE(rec::WriteRecording(path, layout, rec::Interleave(streams)));
    return path;
}

std::string Bytes(const std::string& path) { return ReadTextFile(path).value_or(""); }

std::vector<std::string> Records(const std::string& path, int channel) {
    std::vector<std::string> out;
    auto r = OpenRecordingReader(0, path, channel);
    EXPECT_TRUE(r) << path;
    std::unique_ptr<CxMemUnit> u;
    while (r && r->ReadFrame(0, u, 0) && u) out.emplace_back(reinterpret_cast<const char*>(u->Buffer()), u->Used());
    return out;
}

// Damage as cards have it: the whole index and the length wiped.
void WipeIndex(const std::string& path, const Case& c) {
    for (const Area& a : c.index) ASSERT_TRUE(rec::Patch(path, a.begin, std::vector<uint8_t>(a.end - a.begin, 0)));
}

}  // namespace

TEST(RepairSafety, ARepairRewritesOnlyTheIndexAndTheRecordingSeeksAgain) {
    TempDir dir;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.version);
        const std::string path = Write(dir, c);
        std::vector<std::vector<std::string>> sound;
        for (int channel : c.channels) sound.push_back(Records(path, channel));
        WipeIndex(path, c);
        const std::string damaged = Bytes(path);

        EXPECT_EQ(RepairRecordingFile(path).outcome, c.rebuild != Rebuild::kNone ? RepairOutcome::kRepaired : RepairOutcome::kUnchanged);
        const std::string repaired = Bytes(path);
        if (c.rebuild == Rebuild::kNone) {
            EXPECT_TRUE(repaired == damaged);
            continue;
        }
        if (c.rebuild == Rebuild::kAppends) {
            ASSERT_GT(repaired.size(), damaged.size());
            ASSERT_EQ(repaired.compare(0, damaged.size(), damaged), 0);
        } else {
            ASSERT_EQ(repaired.size(), damaged.size());
            for (uint64_t i = 0; i < damaged.size(); ++i) {
                if (damaged[i] != repaired[i]) {
                    ASSERT_TRUE(IsIndex(c, i)) << "byte " << i << " changed";
                }
            }
        }
        for (size_t k = 0; k < c.channels.size(); ++k) {
            // Every record is still there. The last one ended the file and was
            // not handed out; an appended index lets it be read now.
            std::vector<std::string> now = Records(path, c.channels[k]);
            ASSERT_EQ(now.size(), sound[k].size() + (c.rebuild == Rebuild::kAppends ? 1 : 0));
            EXPECT_TRUE(std::equal(sound[k].begin(), sound[k].end(), now.begin()));
            auto r = OpenRecordingReader(0, path, c.channels[k]);
            ASSERT_TRUE(r);
            EXPECT_EQ(r->IndexEntryCount(), 6u);
            // Every second's entry leads to that second's key frame.
            for (int s = 5; s >= 0; --s) {
                r->SeekToSecond(s);
                std::unique_ptr<CxMemUnit> u;
                ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
                EXPECT_EQ(u->Header().Type(), kTypeVideo);
                EXPECT_EQ(u->Header().flag, 1);
                EXPECT_EQ(u->Header().timestamp, 1000u + 1000u * static_cast<uint64_t>(s));
                EXPECT_EQ(r->GetPosition(), static_cast<uint64_t>(s));
            }
        }
    }
}

TEST(RepairSafety, AStoppedOrReadOnlyRebuildLeavesTheFileAsItWas) {
    TempDir dir;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.version);
        const std::string path = Write(dir, c);
        WipeIndex(path, c);
        const std::string damaged = Bytes(path);

        // Stopped by the stop flag, as the repair worker is when the player closes.
        auto writable = OpenRecordingReader(1, path, 0);
        ASSERT_TRUE(writable);
        writable->Close();
        g_StopRebuildIndex = true;
        EXPECT_EQ(writable->RebuildIndex(), 0);
        g_StopRebuildIndex = false;
        writable.reset();
        EXPECT_TRUE(Bytes(path) == damaged);

        // A reader that holds the file read-only cannot write it. (Version
        // 0x300 readers always open read-write; nothing to test there.)
        if (c.rebuild != Rebuild::kInPlace) continue;
        auto readOnly = OpenRecordingReader(0, path, 0);
        ASSERT_TRUE(readOnly);
        EXPECT_EQ(readOnly->RebuildIndex(), -1);
        readOnly.reset();
        EXPECT_TRUE(Bytes(path) == damaged);
    }
}

// A medium that fills up, or fails, while the index is written: the file
// limit of the process makes every write beyond a given size fail, part way
// through the table (written in place) or through the appended index.
TEST(RepairSafety, AWriteThatFailsPartWayLeavesTheFileAsItWas) {
    TempDir dir;
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* savedSignal = signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : Cases()) {
        if (c.rebuild == Rebuild::kNone) continue;
        SCOPED_TRACE(c.version);
        const std::string path = Write(dir, c);
        WipeIndex(path, c);
        const std::string damaged = Bytes(path);
        const uint64_t limit = c.rebuild == Rebuild::kAppends ? damaged.size() + 12 : c.index[1].begin + 1000;
        struct rlimit small = saved;
        small.rlim_cur = limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool repaired = !RepairRecordingFile(path).Failed();
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        EXPECT_FALSE(repaired);
        EXPECT_TRUE(Bytes(path) == damaged);
    }
    signal(SIGXFSZ, savedSignal);
}
