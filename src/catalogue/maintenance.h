#pragma once
// The two background workers that keep the lists honest: one measures
// recordings of doubtful length, the other repairs broken ones. Each takes one
// recording at a time from its own queue and reports by posted message:
// kMsgMeasured, kMsgBroken, kMsgRepairing (the repair begins) and
// kMsgRepaired, wParam the CDiskVideo*; the repaired message's lParam is 1
// when every file got its index back, else 0.
#include <atomic>
#include <deque>
#include <thread>

#include "catalogue/disk_video.h"
#include "platform/message_sink.h"
#include "platform/sync.h"

namespace corvane {

// A length of at most 1 s or over 5000 s means the header was not finished or
// is damaged.
inline bool LengthIsDoubtful(uint32_t length) { return length < 2 || length > 5000; }

class MaintenanceWorkers {
public:
    explicit MaintenanceWorkers(MessageSink& sink) : sink_(sink) {}
    ~MaintenanceWorkers();

    void StartMeasuring();
    void StopMeasuring();  // sets the stop flag and waits for the thread
    void StartRepairing();
    void StopRepairing();

    void QueueMeasure(CDiskVideo* recording);
    void ClearMeasureQueue();
    void QueueRepair(CDiskVideo* recording);
    // Forgets every queued recording (before the catalogue is destroyed).
    void ClearQueues();
    size_t RepairQueueSize();

private:
    void MeasureLoop();
    void RepairLoop();
    static CDiskVideo* TakeFirst(CxMutex& mutex, std::deque<CDiskVideo*>& queue);

    MessageSink& sink_;
    CxMutex measureMutex_;  // guards measureQueue_ (GUI thread fills, measuring worker takes)
    std::deque<CDiskVideo*> measureQueue_;
    CxMutex repairMutex_;   // guards repairQueue_ (GUI thread fills, repair worker takes)
    std::deque<CDiskVideo*> repairQueue_;
    std::atomic<bool> stopMeasuring_{true};  // written by the GUI thread, polled by the worker
    std::atomic<bool> stopRepairing_{true};
    std::thread measurer_;
    std::thread repairer_;
};

}  // namespace corvane
