#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace corvane;
using namespace std::chrono;

TEST(CxMutex, IsRecursiveForItsOwner) {
    CxMutex m;
    ASSERT_TRUE(m.Lock(0));
    ASSERT_TRUE(m.Lock(0));
    m.Unlock();
    // Still held once: another thread cannot take it.
    std::atomic<bool> got{true};
    std::thread([&] { got = m.Lock(0); }).join();
    EXPECT_FALSE(got);
    m.Unlock();
    std::thread([&] {
        got = m.Lock(0);
        if (got) m.Unlock();
    }).join();
    EXPECT_TRUE(got);
}

TEST(CxMutex, TimesOutWhileAnotherThreadHoldsIt) {
    CxMutex m;
    m.Lock();
    bool got = true;
    auto start = steady_clock::now();
    std::thread([&] { got = m.Lock(50); }).join();
    auto waited = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_FALSE(got);
    EXPECT_GE(waited, 45);
    m.Unlock();
}

TEST(CxMutex, TimedLockSucceedsWhenReleasedInTime) {
    CxMutex m;
    m.Lock();
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        got = m.Lock(5000);
        if (got) m.Unlock();
    });
    std::this_thread::sleep_for(milliseconds(20));
    m.Unlock();
    waiter.join();
    EXPECT_TRUE(got);
}

TEST(CxEvent, WaitTimesOutWhenNotSet) {
    CxEvent e;
    auto start = steady_clock::now();
    EXPECT_FALSE(e.Wait(30));
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 25);
}

TEST(CxEvent, ResetsItselfAfterOneSuccessfulWait) {
    CxEvent e;
    e.Set();
    e.Set();  // two sets before a wait count once
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));
    CxEvent initially(true);
    EXPECT_TRUE(initially.Wait(0));
    initially.Set();
    initially.Reset();
    EXPECT_FALSE(initially.Wait(0));
}

TEST(CxEvent, WakesAWaitingThread) {
    CxEvent e;
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = e.Wait(kInfinite); });
    std::this_thread::sleep_for(milliseconds(20));
    e.Set();
    waiter.join();
    EXPECT_TRUE(woke);
}
