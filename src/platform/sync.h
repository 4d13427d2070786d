#pragma once
// Locks and events shared by every thread of the program. Time-outs are in
// milliseconds; kInfinite waits without a time-out.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace corvane {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Owns one waitable object. Lock succeeds when the wait ends with the object
// acquired, fails on time-out; unlocking is the derived class's business.
class CxSyncObject {
public:
    virtual ~CxSyncObject() = default;
    virtual bool Lock(uint32_t timeoutMs = kInfinite) = 0;
    virtual bool Unlock() = 0;
};

// A recursive mutex, not owned at creation. The same thread may lock it again;
// each Lock needs its own Unlock.
class CxMutex : public CxSyncObject {
public:
    bool Lock(uint32_t timeoutMs = kInfinite) override;
    bool Unlock() override;

private:
    std::recursive_timed_mutex mutex_;
};

// Scoped lock on a CxMutex without a time-out.
class CxLock {
public:
    explicit CxLock(CxMutex& m) : m_(m) { m_.Lock(); }
    ~CxLock() { m_.Unlock(); }
    CxLock(const CxLock&) = delete;
    CxLock& operator=(const CxLock&) = delete;

private:
    CxMutex& m_;
};

// An auto-reset event: Set wakes one waiter (or the next one to wait), and a
// successful Wait resets it.
class CxEvent {
public:
    explicit CxEvent(bool initiallySet = false) : signalled_(initiallySet) {}
    void Set();
    void Reset();
    // True when the event was signalled within the time-out.
    bool Wait(uint32_t timeoutMs = kInfinite);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
};

}  // namespace corvane
