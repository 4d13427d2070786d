#pragma once
// The sound device as playback sees it: one looping buffer of 8000 Hz mono
// 16-bit samples that plays round and round, signals an event whenever the
// play position crosses one of the notification offsets, and applies an
// attenuation to what it plays. The buffer only plays what was written into
// it; what has been played is cleared, so a buffer nobody fills is silent.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sync.h"

namespace corvane {

class SoundBuffer {
public:
    virtual ~SoundBuffer() = default;
    uint32_t Size() const { return size_; }

    // Each time playing reaches one of the offsets, `event` is set.
    virtual void SetNotifications(const std::vector<uint32_t>& offsets, CxEvent* event) = 0;
    virtual void SetCurrentPosition(uint32_t offset) = 0;
    virtual void Play() = 0;  // looping, from the current position
    virtual void Stop() = 0;
    // Play cursor: the byte being played. Write cursor: the first byte that
    // may still be written for this round (everything from the play cursor
    // up to it is already on its way to the speaker).
    virtual void GetCurrentPosition(uint32_t* play, uint32_t* write) = 0;
    // Copies `count` bytes to `offset`; offset + count <= Size().
    virtual void WriteAt(uint32_t offset, const uint8_t* data, uint32_t count) = 0;
    // Hundredths of a decibel, 0 (full) down to -10000 (silent).
    virtual void SetVolume(int32_t attenuation) = 0;
    // Notifications signalled since the buffer was made.
    virtual uint64_t BlocksPlayed() = 0;

protected:
    explicit SoundBuffer(uint32_t size) : size_(size) {}

private:
    uint32_t size_;
};

class SoundDevice {
public:
    virtual ~SoundDevice() = default;
    // A stopped buffer of `size` bytes at position 0, or null when no device
    // can be opened.
    virtual std::unique_ptr<SoundBuffer> CreateBuffer(uint32_t size) = 0;
};

// The factor an attenuation scales samples by: 10^(attenuation / 2000),
// exactly 0 at -10000 and below, 1 at 0 and above.
float AttenuationGain(int32_t attenuation);
// Scales samples in place, rounding to nearest and saturating.
void ApplyGain(int16_t* samples, size_t count, float gain);

}  // namespace corvane
