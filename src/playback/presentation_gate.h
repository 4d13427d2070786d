#pragma once
// PresentationGate: where the channels' decoding threads wait for each other
// before showing a picture. Each thread decodes as soon as it has a record; on
// a busy machine the channels finish their pictures of one moment at
// different times, and shown at once they would stand frames apart. So a
// thread with a finished picture holds it until no other channel is still
// decoding towards that moment, or until a short deadline, so that a channel
// far behind (or stalled) never holds the others up for long.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace corvane {

class PresentationGate {
public:
    // Returns once `ready` holds or `limit` has passed. `ready` is evaluated
    // under the gate's lock, at once and after every Changed.
    void Wait(const std::function<bool()>& ready, std::chrono::milliseconds limit);
    // Something `ready` looks at changed (a channel decoded, dropped or
    // emptied its queue, was held or stopped): every waiter looks again.
    void Changed();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
};

}  // namespace corvane
