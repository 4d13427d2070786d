#include "platform/sync.h"

#include <chrono>
#include <thread>

#if defined(__SANITIZE_THREAD__)
#define CORVANE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CORVANE_THREAD_SANITIZER 1
#endif
#endif

namespace corvane {

bool CxMutex::Lock(uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) {
        mutex_.lock();
        return true;
    }
    if (timeoutMs == 0) return mutex_.try_lock();
#ifdef CORVANE_THREAD_SANITIZER
    // ThreadSanitizer does not see the C library's timed lock (it would
    // report the unlock and miss the ordering), so under it a timed lock polls.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!mutex_.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
#else
    return mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs));
#endif
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
