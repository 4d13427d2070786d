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

template <typename T>
std::optional<T> TakeFor(CxMutex& mutex, std::deque<std::pair<CDiskVideo*, T>>& results, const CDiskVideo* key) {
    CxLock lock(mutex);
    for (auto it = results.begin(); it != results.end(); ++it) {
        if (it->first != key) continue;
        std::optional<T> found(std::move(it->second));
        results.erase(it);
        return found;
    }
    return std::nullopt;
}

}  // namespace

MaintenanceJob JobFor(CDiskVideo& recording) { return {&recording, recording.Files(), recording.length}; }

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
    // The worker's own flag first: a rebuild starting right now clears the
    // rebuild flag, then finds this one set (RepairRecordingFile).
    stopRepairing_ = true;
    if (!repairer_.joinable()) return;
    g_StopRebuildIndex = true;
    repairer_.join();
}

void MaintenanceWorkers::QueueMeasure(MaintenanceJob job) {
    CxLock lock(measureMutex_);
    measureQueue_.push_back(std::move(job));
}

void MaintenanceWorkers::QueueSpeeds(MaintenanceJob job) {
    CxLock lock(measureMutex_);
    speedQueue_.push_back(std::move(job));
}

void MaintenanceWorkers::ClearMeasureQueue() {
    CxLock lock(measureMutex_);
    measureQueue_.clear();
    speedQueue_.clear();
}

void MaintenanceWorkers::QueueRepair(MaintenanceJob job) {
    CxLock lock(repairMutex_);
    repairQueue_.push_back(std::move(job));
}

void MaintenanceWorkers::ClearQueues() {
    {
        CxLock lock(measureMutex_);
        measureQueue_.clear();
        measured_.clear();
        speedQueue_.clear();
        speedsRead_.clear();
    }
    CxLock lock(repairMutex_);
    repairQueue_.clear();
    repaired_.clear();
}

size_t MaintenanceWorkers::RepairQueueSize() {
    CxLock lock(repairMutex_);
    return repairQueue_.size();
}

std::optional<RecordingMeasurement> MaintenanceWorkers::TakeMeasurement(const CDiskVideo* recording) {
    return TakeFor(measureMutex_, measured_, recording);
}

std::optional<RepairReport> MaintenanceWorkers::TakeRepair(const CDiskVideo* recording) {
    return TakeFor(repairMutex_, repaired_, recording);
}

std::optional<std::vector<SpeedSample>> MaintenanceWorkers::TakeSpeeds(const CDiskVideo* recording) {
    return TakeFor(measureMutex_, speedsRead_, recording);
}

std::optional<MaintenanceJob> MaintenanceWorkers::TakeFirst(CxMutex& mutex, std::deque<MaintenanceJob>& queue) {
    CxLock lock(mutex);
    if (queue.empty()) return std::nullopt;
    MaintenanceJob job = std::move(queue.front());
    queue.pop_front();
    return job;
}

// A stored length of 1 to 5000 s is kept as it is (a 1 s recording is still
// reported broken); anything else is read again from the first file. A file
// that cannot be read keeps the stored length.
void MaintenanceWorkers::MeasureLoop() {
    while (!stopMeasuring_.load()) {
        std::optional<MaintenanceJob> job = TakeFirst(measureMutex_, measureQueue_);
        if (!job) {
            if (!ReadNextSpeeds()) SleepUnlessStopped(stopMeasuring_, 500);
            continue;
        }
        RecordingMeasurement m;
        const bool plausible = job->storedLength >= 1 && job->storedLength <= 5000;
        if (!plausible && !job->files.empty()) m = MeasureRecordingFile(job->files.front());
        const uint32_t length = m.read ? m.length : job->storedLength;
        {
            CxLock lock(measureMutex_);
            measured_.emplace_back(job->recording, std::move(m));
        }
        sink_.Post(kMsgMeasured, reinterpret_cast<uintptr_t>(job->recording), 0);
        if (LengthIsDoubtful(length)) sink_.Post(kMsgBroken, reinterpret_cast<uintptr_t>(job->recording), 0);
    }
}

// Speeds come after every length: a whole file is walked for its GPS records,
// and a stop request ends the walk. False when none was queued.
bool MaintenanceWorkers::ReadNextSpeeds() {
    std::optional<MaintenanceJob> job = TakeFirst(measureMutex_, speedQueue_);
    if (!job) return false;
    std::vector<SpeedSample> speeds = ReadSpeedTrack(job->files, &stopMeasuring_);
    if (stopMeasuring_.load()) return true;  // cut short: not a result
    {
        CxLock lock(measureMutex_);
        speedsRead_.emplace_back(job->recording, std::move(speeds));
    }
    sink_.Post(kMsgSpeedsRead, reinterpret_cast<uintptr_t>(job->recording), 0);
    return true;
}

void MaintenanceWorkers::RepairLoop() {
    while (!stopRepairing_.load()) {
        if (std::optional<MaintenanceJob> job = TakeFirst(repairMutex_, repairQueue_)) {
            sink_.Post(kMsgRepairing, reinterpret_cast<uintptr_t>(job->recording), 0);
            RepairReport report;
            report.result = RepairRecordingFiles(job->files, &stopRepairing_);
            if (!job->files.empty()) report.measurement = MeasureRecordingFile(job->files.front());
            const bool failed = report.result.Failed();
            {
                CxLock lock(repairMutex_);
                repaired_.emplace_back(job->recording, std::move(report));
            }
            sink_.Post(kMsgRepaired, reinterpret_cast<uintptr_t>(job->recording), failed ? 0 : 1);
        }
        SleepUnlessStopped(stopRepairing_, 100);
    }
}

}  // namespace corvane
