// Background measuring and repair while a recording plays, round after
// round, as on a damaged card: the workers read and rewrite the files of
// other recordings and measure the playing one, this thread plays as the
// main window does and applies what the workers report. Built with
// ThreadSanitizer by scripts/tsan (many rounds), under AddressSanitizer in CI.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "catalogue/maintenance.h"
#include "playback_fixture.h"

using namespace corvane;
using namespace corvane::test;

namespace {

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

// Wipes the index table (version 0x800: 3605 slots at 57) and the length of
// every file, as a recorder that lost power leaves them.
bool Damage(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        if (!rec::Patch(p, 57, std::vector<uint8_t>(3605 * 8, 0)) || !rec::PatchU32(p, 28, 0)) return false;
    }
    return true;
}

using MaintenanceStressTest = PlaybackTest;

}  // namespace

TEST_F(MaintenanceStressTest, RepairAndMeasuringBesidePlaybackNeitherRaceNorBreakEither) {
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 3;
    o.audioChannels = {0};
    o.gpsChannels = {1};
    std::vector<std::vector<std::string>> files;
    for (const char* stamp : {"20160920_190909", "20160920_191500"}) {
        o.stamp = stamp;
        files.push_back(WriteTestRecording(dir_.path().string(), o));
        ASSERT_EQ(files.back().size(), 2u);
    }

    QueueMessageSink workerSink;
    MaintenanceWorkers workers(workerSink);
    workers.StartMeasuring();
    workers.StartRepairing();
    Group().OnSize(Rect{0, 0, 320, 240});
    std::mt19937 rng(static_cast<uint32_t>(EnvInt("CORVANE_STRESS_SEED", 7)));
    const int rounds = EnvInt("CORVANE_MAINTENANCE_ROUNDS", 4);
    for (int round = 0; round < rounds; ++round) {
        // One recording plays while the other one is damaged and repaired.
        const size_t playing = size_t(round % 2), broken = 1 - playing;
        OpenedRecording play = OpenTestRecording(files[playing]);
        OpenedRecording fix = OpenTestRecording(files[broken]);
        fix.recording->ReleaseReaders();  // the catalogue holds no reader of a recording it repairs
        ASSERT_TRUE(Damage(files[broken]));
        ASSERT_TRUE(Group().OpenRecording(play.day.get(), play.recording, nullptr, &sink_));
        workers.QueueMeasure(JobFor(*play.recording));
        workers.QueueMeasure(JobFor(*fix.recording));
        workers.QueueRepair(JobFor(*fix.recording));

        bool repaired = false;
        int measured = 0;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!repaired || measured < 2) {
            ASSERT_LT(std::chrono::steady_clock::now(), limit) << "round " << round;
            switch (rng() % 4) {
            case 0: Group().SeekAll(static_cast<int>(rng() % 3)); break;
            case 1: Group().PausePlayback(); break;
            case 2: Group().ResumePlayback(); break;
            default: std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 10)); break;
            }
            while (auto m = sink_.Take()) {  // play on from the start, as the main window does
                if (m->id == kMsgEndOfRecording) {
                    ASSERT_TRUE(Group().OpenRecording(play.day.get(), play.recording, nullptr, &sink_));
                }
            }
            while (auto m = workerSink.Take()) {
                auto* r = reinterpret_cast<CDiskVideo*>(m->wParam);
                if (m->id == kMsgMeasured) {
                    if (auto found = workers.TakeMeasurement(r)) {
                        r->Apply(*found);
                        ++measured;
                    }
                } else if (m->id == kMsgRepaired) {
                    std::optional<RepairReport> report = workers.TakeRepair(r);
                    ASSERT_TRUE(report);
                    EXPECT_EQ(report->result.outcome, RepairOutcome::kRepaired) << report->result.reason;
                    r->Apply(report->measurement);
                    repaired = true;
                }
            }
        }
        EXPECT_EQ(play.recording->length, 3u);
        EXPECT_EQ(fix.recording->length, 3u) << "round " << round;
        Group().StopPlayback();
        Group().ResetState();
        // The repaired recording seeks by its new index.
        fix.recording->OpenReaders();
        ASSERT_EQ(fix.recording->readers.size(), 2u);
        EXPECT_EQ(fix.recording->readers[0]->GetDuration(), 3);
    }
    workers.StopRepairing();
    workers.StopMeasuring();
}
