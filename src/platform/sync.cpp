#include "platform/sync.h"

#include <chrono>

namespace corvane {

bool CxMutex::Lock(uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) {
        mutex_.lock();
        return true;
    }
    return mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs));
}

bool CxMutex::Unlock() {
    mutex_.unlock();
    return true;
}

void CxEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

void CxEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

bool CxEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeoutMs == kInfinite) {
        cv_.wait(lock, [this] { return signalled_; });
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; })) {
        return false;
    }
    signalled_ = false;
    return true;
}

}  // namespace corvane
