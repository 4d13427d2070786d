#include "playback/clock_sound.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "playback/sound_ring.h"

namespace corvane {
namespace {

constexpr uint32_t kBlocks = 4;
constexpr uint32_t kBytesPerSecond = 8000 * 2;

class ClockSoundBuffer : public SoundBuffer {
public:
    explicit ClockSoundBuffer(uint32_t size)
        : SoundBuffer(size), ring_(size),
          period_(std::chrono::microseconds(uint64_t(size / kBlocks) * 1000000 / kBytesPerSecond)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~ClockSoundBuffer() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    void SetNotifications(const std::vector<uint32_t>& offsets, CxEvent* event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.SetNotifications(offsets, event);
    }
    void SetCurrentPosition(uint32_t offset) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.SetPosition(offset);
    }
    void Play() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            playing_ = true;
        }
        cv_.notify_all();
    }
    void Stop() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            playing_ = false;
        }
        cv_.notify_all();
    }
    void GetCurrentPosition(uint32_t* play, uint32_t* write) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.Positions(play, write);
    }
    void WriteAt(uint32_t offset, const uint8_t* data, uint32_t count) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.Write(offset, data, count);
    }
    void SetVolume(int32_t) override {}  // nothing is heard
    uint64_t BlocksPlayed() override { return ring_.BlocksPlayed(); }

private:
    using Clock = std::chrono::steady_clock;

    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            cv_.wait(lock, [this] { return quit_ || playing_; });
            // Each start plays its first block a block's duration later; a
            // schedule more than a second behind (the machine stood still)
            // starts again from now rather than racing to catch up.
            Clock::time_point due = Clock::now() + period_;
            while (!quit_ && playing_) {
                if (cv_.wait_until(lock, due, [this] { return quit_ || !playing_; })) break;
                ring_.Play(nullptr, Size() / kBlocks);
                due += period_;
                if (Clock::now() - due > std::chrono::seconds(1)) due = Clock::now() + period_;
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    SoundRing ring_;  // under mutex_
    bool playing_ = false, quit_ = false;  // under mutex_
    const Clock::duration period_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<SoundBuffer> ClockSoundDevice::CreateBuffer(uint32_t size) {
    if (size < 8 || size % 8 != 0) return nullptr;
    try {
        return std::make_unique<ClockSoundBuffer>(size);
    } catch (const std::system_error&) {
        return nullptr;  // no thread to play it
    }
}

}  // namespace corvane
