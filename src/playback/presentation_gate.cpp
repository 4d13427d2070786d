#include "playback/presentation_gate.h"

namespace corvane {

void PresentationGate::Wait(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, limit, ready);
}

void PresentationGate::Changed() {
    // Taking the lock orders the change before a waiter's next look: a waiter
    // that looked before it is waiting by now, and is woken.
    { std::lock_guard<std::mutex> lock(mutex_); }
    cv_.notify_all();
}

}  // namespace corvane
