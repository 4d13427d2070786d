#pragma once
// The sound device over SDL audio: each buffer opens an SDL audio device of
// 8000 Hz mono 16-bit samples whose callback plays the ring one block at a
// time. A machine without a sound card has no device to open; buffers then
// come from the `fallback` device, when there is one.
#include <cstdint>
#include <memory>
#include <string>

#include "playback/sound_buffer.h"

namespace corvane {

class SdlSoundDevice : public SoundDevice {
public:
    explicit SdlSoundDevice(SoundDevice* fallback = nullptr) : fallback_(fallback) {}
    ~SdlSoundDevice() override;
    SdlSoundDevice(const SdlSoundDevice&) = delete;
    SdlSoundDevice& operator=(const SdlSoundDevice&) = delete;

    std::unique_ptr<SoundBuffer> CreateBuffer(uint32_t size) override;
    // Name of the SDL audio driver in use ("" before the first buffer, and
    // when SDL has none).
    std::string DriverName();

private:
    bool InitAudio();
    SoundDevice* fallback_;
    bool initialised_ = false;  // GUI thread (CreateBuffer is only called there)
};

}  // namespace corvane
