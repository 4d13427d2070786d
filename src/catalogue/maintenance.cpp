#include "catalogue/maintenance.h"

#include <chrono>

namespace corvane {
namespace {

// Sleeps in short slices so that a stop request is seen at once.
void SleepUnlessStopped(const std::atomic<bool>& stop, int milliseconds) {
    for (int slept = 0; slept < milliseconds && !stop.load(); slept += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

MaintenanceWorkers::~MaintenanceWorkers() {
    StopRepairing();
    StopMeasuring();
}

void MaintenanceWorkers::StartMeasuring() {
    StopMeasuring();
    stopMeasuring_ = false;
    measurer_ = std::thread([this] { MeasureLoop(); });
}

void MaintenanceWorkers::StopMeasuring() {
    stopMeasuring_ = true;
    if (measurer_.joinable()) measurer_.join();
}

void MaintenanceWorkers::StartRepairing() {
    StopRepairing();
    stopRepairing_ = false;
    repairer_ = std::thread([this] { RepairLoop(); });
}

void MaintenanceWorkers::StopRepairing() {
    stopRepairing_ = true;
    if (repairer_.joinable()) repairer_.join();
}

void MaintenanceWorkers::QueueMeasure(CDiskVideo* recording) {
    CxLock lock(measureMutex_);
    measureQueue_.push_back(recording);
}

void MaintenanceWorkers::ClearMeasureQueue() {
    CxLock lock(measureMutex_);
    measureQueue_.clear();
}

void MaintenanceWorkers::QueueRepair(CDiskVideo* recording) {
    CxLock lock(repairMutex_);
    repairQueue_.push_back(recording);
}

void MaintenanceWorkers::ClearQueues() {
    ClearMeasureQueue();
    CxLock lock(repairMutex_);
    repairQueue_.clear();
}

size_t MaintenanceWorkers::RepairQueueSize() {
    CxLock lock(repairMutex_);
    return repairQueue_.size();
}

CDiskVideo* MaintenanceWorkers::TakeFirst(CxMutex& mutex, std::deque<CDiskVideo*>& queue) {
    CxLock lock(mutex);
    if (queue.empty()) return nullptr;
    CDiskVideo* r = queue.front();
    queue.pop_front();
    return r;
}

void MaintenanceWorkers::MeasureLoop() {
    while (!stopMeasuring_.load()) {
        CDiskVideo* r = TakeFirst(measureMutex_, measureQueue_);
        if (!r) {
            SleepUnlessStopped(stopMeasuring_, 500);
            continue;
        }
        r->Measure();
        sink_.Post(kMsgMeasured, reinterpret_cast<uintptr_t>(r), 0);
        if (LengthIsDoubtful(r->length)) sink_.Post(kMsgBroken, reinterpret_cast<uintptr_t>(r), 0);
    }
}

void MaintenanceWorkers::RepairLoop() {
    while (!stopRepairing_.load()) {
        if (CDiskVideo* r = TakeFirst(repairMutex_, repairQueue_)) {
            sink_.Post(kMsgRepairing, reinterpret_cast<uintptr_t>(r), 0);
            bool repaired = r->Repair();
            sink_.Post(kMsgRepaired, reinterpret_cast<uintptr_t>(r), repaired ? 1 : 0);
        }
        SleepUnlessStopped(stopRepairing_, 100);
    }
}

}  // namespace corvane
