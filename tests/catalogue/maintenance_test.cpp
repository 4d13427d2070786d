#include "catalogue/maintenance.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/temp_dir.h"
#include "recwriter.h"

using namespace corvane;

namespace {

// Waits (bounded) until the sink holds `count` messages.
bool WaitFor(QueueMessageSink& sink, size_t count) {
    for (int i = 0; i < 1000 && sink.Size() < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return sink.Size() >= count;
}

}  // namespace

TEST(Maintenance, MeasuresAndReportsBrokenRecordings) {
    test::TempDir dir;
    rec::StreamOptions o;
    o.seconds = 6;
    o.fps = 2;
    std::string good = dir.File("good.264");
    ASSERT_TRUE(rec::WriteRecording(good, rec::FileLayout{}, rec::MakeStream(o)));
    o.seconds = 1;
    std::string tiny = dir.File("tiny.264");
    ASSERT_TRUE(rec::WriteRecording(tiny, rec::FileLayout{}, rec::MakeStream(o)));
    CDiskVideo a, b, c;
    a.filePath = good;
    b.filePath = tiny;  // measures 1 s: still doubtful
    c.filePath = dir.File("missing.264");
    c.length = 5001;    // cannot be measured: keeps 5001

    QueueMessageSink sink;
    MaintenanceWorkers workers(sink);
    for (CDiskVideo* r : {&a, &b, &c}) workers.QueueMeasure(JobFor(*r));
    workers.StartMeasuring();
    ASSERT_TRUE(WaitFor(sink, 5));
    workers.StopMeasuring();
    std::vector<std::pair<uint32_t, CDiskVideo*>> got;
    while (auto m = sink.Take()) got.push_back({m->id, reinterpret_cast<CDiskVideo*>(m->wParam)});
    std::vector<std::pair<uint32_t, CDiskVideo*>> want = {
        {kMsgMeasured, &a}, {kMsgMeasured, &b}, {kMsgBroken, &b}, {kMsgMeasured, &c}, {kMsgBroken, &c}};
    EXPECT_EQ(got, want);
    // The worker leaves the catalogue alone; its findings wait for the owner.
    EXPECT_EQ(a.length, 0u);
    std::optional<RecordingMeasurement> m = workers.TakeMeasurement(&a);
    ASSERT_TRUE(m && m->read);
    EXPECT_EQ(m->length, 6u);
    EXPECT_FALSE(workers.TakeMeasurement(&a));  // taken once
    m = workers.TakeMeasurement(&c);
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->read);
    c.Apply(*m);
    EXPECT_EQ(c.length, 5001u);
    EXPECT_FALSE(LengthIsDoubtful(2));
    EXPECT_FALSE(LengthIsDoubtful(5000));
    EXPECT_TRUE(LengthIsDoubtful(1));
}

TEST(Maintenance, RepairsAndSaysWhetherItWorked) {
    test::TempDir dir;
    rec::StreamOptions o;
    o.seconds = 4;
    o.fps = 2;
    std::string damaged = dir.File("d.264");
    ASSERT_TRUE(rec::WriteRecording(damaged, rec::FileLayout{}, rec::MakeStream(o)));
    ASSERT_TRUE(rec::Patch(damaged, 56, std::vector<uint8_t>(32, 0)));
    CDiskVideo fixable, hopeless;
    fixable.filePath = damaged;
    hopeless.filePath = dir.File("missing.264");
    QueueMessageSink sink;
    MaintenanceWorkers workers(sink);
    workers.QueueRepair(JobFor(fixable));
    workers.QueueRepair(JobFor(hopeless));
    workers.StartRepairing();
    ASSERT_TRUE(WaitFor(sink, 4));
    workers.StopRepairing();
    // Each repair is announced when it begins, then its outcome follows.
    std::vector<PostedMessage> m;
    while (auto p = sink.Take()) m.push_back(*p);
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].id, kMsgRepairing);
    EXPECT_EQ(m[0].wParam, reinterpret_cast<uintptr_t>(&fixable));
    EXPECT_EQ(m[1].id, kMsgRepaired);
    EXPECT_EQ(m[1].lParam, 1);
    EXPECT_EQ(m[2].id, kMsgRepairing);
    EXPECT_EQ(m[3].id, kMsgRepaired);
    EXPECT_EQ(m[3].lParam, 0);
    std::optional<RepairReport> report = workers.TakeRepair(&fixable);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->result.outcome, RepairOutcome::kRepaired);
    EXPECT_EQ(report->measurement.length, 4u);  // measured again after the repair
    report = workers.TakeRepair(&hopeless);
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->result.Failed());

    // Queued work is dropped on request, before the recordings go away.
    workers.QueueRepair(JobFor(fixable));
    workers.QueueMeasure(JobFor(fixable));
    workers.ClearQueues();
    EXPECT_EQ(workers.RepairQueueSize(), 0u);
}
