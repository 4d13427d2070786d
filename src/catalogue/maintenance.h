#pragma once
// The two background workers that keep the lists honest: one measures
// recordings of doubtful length, the other repairs broken ones. Each takes one
// job at a time from its own queue and reports by posted message:
// kMsgMeasured, kMsgBroken, kMsgRepairing (the repair begins) and
// kMsgRepaired, wParam the CDiskVideo* of the job; the repaired message's
// lParam is 1 when no file failed, else 0. When nothing is left to measure,
// the measuring worker reads the GPS speeds of the recordings queued for the
// day timeline and reports each with kMsgSpeedsRead.
//
// The workers never touch a catalogue entry: a job names the files to read,
// and the CDiskVideo* it carries is only a key for the owner. What a worker
// found waits here until the owner takes it (TakeMeasurement, TakeRepair) on
// receiving the message, and applies it on its own thread.
#include <atomic>
#include <deque>
#include <optional>
#include <thread>

#include "catalogue/disk_video.h"
#include "platform/message_sink.h"
#include "platform/sync.h"

namespace corvane {

struct MaintenanceJob {
    CDiskVideo* recording = nullptr;  // key only, never dereferenced by a worker
    std::vector<std::string> files;   // the recording's files, the first one measured
    uint32_t storedLength = 0;        // the length the catalogue held when queued
};
// A job for the recording as it stands now (owning thread).
MaintenanceJob JobFor(CDiskVideo& recording);

struct RepairReport {
    RepairResult result;
    RecordingMeasurement measurement;  // of the files after the repair
};

class MaintenanceWorkers {
public:
    explicit MaintenanceWorkers(MessageSink& sink) : sink_(sink) {}
    ~MaintenanceWorkers();

    void StartMeasuring();
    void StopMeasuring();  // sets the stop flag and waits for the thread
    void StartRepairing();
    // Sets the stop flag, cancels a rebuild under way (the file stays as it
    // was) and waits for the thread.
    void StopRepairing();

    void QueueMeasure(MaintenanceJob job);
    void QueueSpeeds(MaintenanceJob job);
    // Empties the measure queue and the speed queue (another day opens).
    void ClearMeasureQueue();
    void QueueRepair(MaintenanceJob job);
    // Forgets every queued job and every result not taken yet (before the
    // catalogue is destroyed).
    void ClearQueues();
    size_t RepairQueueSize();

    // The result behind a kMsgMeasured or kMsgRepaired message for that
    // recording; nullopt when there is none (cleared meanwhile).
    std::optional<RecordingMeasurement> TakeMeasurement(const CDiskVideo* recording);
    std::optional<RepairReport> TakeRepair(const CDiskVideo* recording);
    std::optional<std::vector<SpeedSample>> TakeSpeeds(const CDiskVideo* recording);

private:
    void MeasureLoop();
    bool ReadNextSpeeds();
    void RepairLoop();
    static std::optional<MaintenanceJob> TakeFirst(CxMutex& mutex, std::deque<MaintenanceJob>& queue);

    MessageSink& sink_;
    CxMutex measureMutex_;  // guards measureQueue_, measured_, speedQueue_ and speedsRead_
    std::deque<MaintenanceJob> measureQueue_;  // GUI thread fills, measuring worker takes
    std::deque<std::pair<CDiskVideo*, RecordingMeasurement>> measured_;  // worker adds, GUI thread takes
    std::deque<MaintenanceJob> speedQueue_;    // GUI thread fills, measuring worker takes
    std::deque<std::pair<CDiskVideo*, std::vector<SpeedSample>>> speedsRead_;  // worker adds, GUI thread takes
    CxMutex repairMutex_;   // guards repairQueue_ and repaired_
    std::deque<MaintenanceJob> repairQueue_;   // GUI thread fills, repair worker takes
    std::deque<std::pair<CDiskVideo*, RepairReport>> repaired_;  // worker adds, GUI thread takes
    std::atomic<bool> stopMeasuring_{true};  // written by the GUI thread, polled by the worker
    std::atomic<bool> stopRepairing_{true};
    std::thread measurer_;
    std::thread repairer_;
};

}  // namespace corvane
