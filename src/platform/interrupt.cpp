#include "platform/interrupt.h"

namespace corvane {
namespace {

// A signal handler may only touch lock-free atomics.
static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(std::atomic<std::atomic<int32_t>*>::is_always_lock_free);

std::atomic<std::atomic<int32_t>*> g_flag{nullptr};
volatile sig_atomic_t g_signal = 0;

void OnSignal(int signal) {
    g_signal = signal;
    if (std::atomic<int32_t>* flag = g_flag.load()) flag->store(1);
}

}  // namespace

InterruptToFlag::InterruptToFlag(std::atomic<int32_t>& flag) {
    g_signal = 0;
    g_flag.store(&flag);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the next signal takes its default course
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
}

InterruptToFlag::~InterruptToFlag() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    g_flag.store(nullptr);
}

int InterruptToFlag::Signal() const { return g_signal; }

}  // namespace corvane
