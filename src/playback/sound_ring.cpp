#include "playback/sound_ring.h"

#include <algorithm>
#include <cstring>

namespace corvane {

void SoundRing::SetPosition(uint32_t offset) {
    readPos_ = Size() ? offset % Size() : 0;
    lastChunk_ = 0;
}

void SoundRing::Positions(uint32_t* play, uint32_t* write) const {
    const uint32_t size = Size();
    if (write) *write = readPos_;
    if (play) *play = size ? (readPos_ + size - lastChunk_ % size) % size : 0;
}

void SoundRing::Write(uint32_t offset, const uint8_t* data, uint32_t count) {
    if (offset > Size() || count > Size() - offset) return;
    std::memcpy(bytes_.data() + offset, data, count);
}

void SoundRing::Play(uint8_t* out, uint32_t len) {
    const uint32_t size = Size();
    if (size == 0) return;
    const uint32_t start = readPos_;
    for (uint32_t done = 0; done < len;) {
        const uint32_t n = std::min(len - done, size - readPos_);
        if (out) std::memcpy(out + done, bytes_.data() + readPos_, n);
        std::memset(bytes_.data() + readPos_, 0, n);  // played: what is not rewritten stays silent
        readPos_ = (readPos_ + n) % size;
        done += n;
    }
    lastChunk_ = len;
    // Offsets in (start, start + len], round the ring. The count goes up
    // before the event is set, so that whoever the event wakes sees it.
    for (uint32_t offset : offsets_) {
        const uint32_t distance = (offset + size - start) % size;
        if ((distance != 0 && distance <= len) || (distance == 0 && len >= size)) {
            ++blocks_;
            if (event_) event_->Set();
        }
    }
}

}  // namespace corvane
