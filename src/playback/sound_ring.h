#pragma once
// The bytes behind a sound buffer: a ring that the device plays round and
// round from its play position, clearing what it has played, and the
// notification offsets whose crossing sets an event. It does no locking:
// the device holds its own lock around every call.
#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/sync.h"

namespace corvane {

class SoundRing {
public:
    explicit SoundRing(uint32_t size) : bytes_(size, 0) {}
    uint32_t Size() const { return uint32_t(bytes_.size()); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

    void SetNotifications(const std::vector<uint32_t>& offsets, CxEvent* event) {
        offsets_ = offsets;
        event_ = event;
    }
    void SetPosition(uint32_t offset);
    // Play cursor: the first byte of the last chunk played. Write cursor: the
    // next byte to be played.
    void Positions(uint32_t* play, uint32_t* write) const;
    // Copies `count` bytes to `offset`; ignored unless it fits the ring.
    void Write(uint32_t offset, const uint8_t* data, uint32_t count);
    // Plays the next `len` bytes into `out` (null: into nothing) and clears
    // them; counts each notification offset crossed, then sets the event.
    void Play(uint8_t* out, uint32_t len);
    // Notifications signalled so far; read without the device's lock.
    uint64_t BlocksPlayed() const { return blocks_.load(); }

private:
    std::vector<uint8_t> bytes_;
    uint32_t readPos_ = 0;    // the write cursor
    uint32_t lastChunk_ = 0;  // bytes played last: play cursor = readPos_ - lastChunk_
    std::vector<uint32_t> offsets_;
    CxEvent* event_ = nullptr;
    std::atomic<uint64_t> blocks_{0};
};

}  // namespace corvane
