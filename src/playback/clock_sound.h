#pragma once
// A sound device without a speaker, for machines without a sound card: its
// buffers play by the steady clock, one block every block's duration, against
// a schedule (not a sleep after each block), so that playback paced by it
// keeps wall time the way a sound card's own clock does, however busy the
// machine. What it plays goes nowhere.
#include <cstdint>
#include <memory>

#include "playback/sound_buffer.h"

namespace corvane {

class ClockSoundDevice : public SoundDevice {
public:
    // Buffers of four blocks of 8000 Hz mono 16-bit samples; null for a size
    // that is not a positive multiple of eight bytes.
    std::unique_ptr<SoundBuffer> CreateBuffer(uint32_t size) override;
};

}  // namespace corvane
