#pragma once
// A sound device for tests: the buffer plays when the test says so (Advance),
// or, with a block period, on a thread of its own one block per period while
// it is playing. What it plays is kept so that tests can look at the samples.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "playback/sound_buffer.h"
#include "playback/sound_ring.h"

namespace corvane::test {

class FakeSoundBuffer : public SoundBuffer {
public:
    FakeSoundBuffer(uint32_t size, int periodMs) : SoundBuffer(size), ring_(size), periodMs_(periodMs) {
        if (periodMs_ > 0) thread_ = std::thread([this] { Run(); });
    }
    ~FakeSoundBuffer() override {
        quit_ = true;
        if (thread_.joinable()) thread_.join();
    }

    void SetNotifications(const std::vector<uint32_t>& offsets, CxEvent* event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.SetNotifications(offsets, event);
    }
    void SetCurrentPosition(uint32_t offset) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.SetPosition(offset);
    }
    void Play() override { playing_ = true; }
    void Stop() override { playing_ = false; }
    void GetCurrentPosition(uint32_t* play, uint32_t* write) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.Positions(play, write);
    }
    void WriteAt(uint32_t offset, const uint8_t* data, uint32_t count) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ASSERT_LE(uint64_t(offset) + count, Size());
        ring_.Write(offset, data, count);
        ++writes_;
    }
    void SetVolume(int32_t attenuation) override { gain_ = AttenuationGain(attenuation); }
    uint64_t BlocksPlayed() override { return ring_.BlocksPlayed(); }

    // Plays `bytes` bytes when the buffer is playing (as a device callback would).
    void Advance(uint32_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!playing_) return;
        std::vector<uint8_t> out(bytes);
        ring_.Play(out.data(), bytes);
        ApplyGain(reinterpret_cast<int16_t*>(out.data()), out.size() / 2, gain_.load());
        played_.insert(played_.end(), out.begin(), out.end());
    }
    std::vector<uint8_t> Played() {
        std::lock_guard<std::mutex> lock(mutex_);
        return played_;
    }
    std::vector<uint8_t> Ring() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ring_.Bytes();
    }
    bool IsPlaying() const { return playing_.load(); }
    uint64_t Writes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return writes_;
    }

private:
    void Run() {
        while (!quit_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(periodMs_));
            Advance(Size() / 4);
        }
    }

    std::mutex mutex_;
    SoundRing ring_;
    std::vector<uint8_t> played_;
    uint64_t writes_ = 0;
    std::atomic<bool> playing_{false};
    std::atomic<float> gain_{1.0f};
    std::atomic<bool> quit_{false};
    int periodMs_;
    std::thread thread_;
};

class FakeSoundDevice : public SoundDevice {
public:
    explicit FakeSoundDevice(int periodMs = 0) : periodMs_(periodMs) {}
    std::unique_ptr<SoundBuffer> CreateBuffer(uint32_t size) override {
        if (fail) return nullptr;
        auto buffer = std::make_unique<FakeSoundBuffer>(size, periodMs_);
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = buffer.get();
        sizes.push_back(size);
        return buffer;
    }
    // The buffer made last; it lives until the sound output releases it.
    FakeSoundBuffer* Last() {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_;
    }
    bool fail = false;
    std::vector<uint32_t> sizes;

private:
    std::mutex mutex_;
    int periodMs_;
    FakeSoundBuffer* last_ = nullptr;
};

}  // namespace corvane::test
