#pragma once
// Ctrl-C for long batch work: while an InterruptToFlag lives, SIGINT and
// SIGTERM set a stop flag instead of ending the process, so the work can
// finish what it writes (an AVI file without its index and header is lost
// evidence). A second signal ends the process as usual.
#include <atomic>
#include <csignal>
#include <cstdint>

namespace corvane {

class InterruptToFlag {
public:
    explicit InterruptToFlag(std::atomic<int32_t>& flag);
    ~InterruptToFlag();  // restores the handlers it replaced
    InterruptToFlag(const InterruptToFlag&) = delete;
    InterruptToFlag& operator=(const InterruptToFlag&) = delete;

    // The signal that arrived, 0 when none did.
    int Signal() const;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

}  // namespace corvane
