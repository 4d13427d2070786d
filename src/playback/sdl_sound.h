#pragma once
// The sound device over SDL audio: each buffer opens an SDL audio device of
// 8000 Hz mono 16-bit samples whose callback plays the ring one block at a
// time. A machine without a sound card has no device to open; with
// `fallbackToDisk` the device then uses SDL's disk driver writing to
// /dev/null, which keeps real time (SDL's dummy driver does not).
#include <cstdint>
#include <memory>
#include <string>

#include "playback/sound_buffer.h"

namespace corvane {

class SdlSoundDevice : public SoundDevice {
public:
    explicit SdlSoundDevice(bool fallbackToDisk = false) : fallbackToDisk_(fallbackToDisk) {}
    ~SdlSoundDevice() override;
    SdlSoundDevice(const SdlSoundDevice&) = delete;
    SdlSoundDevice& operator=(const SdlSoundDevice&) = delete;

    std::unique_ptr<SoundBuffer> CreateBuffer(uint32_t size) override;
    // Name of the SDL audio driver in use ("" before the first buffer).
    std::string DriverName();

private:
    bool InitAudio();
    bool fallbackToDisk_;
    bool initialised_ = false;  // GUI thread (CreateBuffer is only called there)
    bool triedDisk_ = false;
};

}  // namespace corvane
