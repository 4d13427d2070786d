#include "playback/sdl_sound.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "playback/sdl_video.h"
#include "playback/sound_ring.h"

namespace corvane {
namespace {

class SdlSoundBuffer : public SoundBuffer {
public:
    explicit SdlSoundBuffer(uint32_t size) : SoundBuffer(size), ring_(size) {}
    ~SdlSoundBuffer() override {
        if (device_) SDL_CloseAudioDevice(device_);
    }

    bool Open() {
        SDL_AudioSpec want{}, have{};
        want.freq = 8000;
        want.format = AUDIO_S16SYS;
        want.channels = 1;
        // One callback per block, so that each callback crosses exactly one
        // notification offset. SDL converts to whatever the device wants.
        want.samples = static_cast<Uint16>(Size() / kBlocks / 2);
        want.callback = &SdlSoundBuffer::Callback;
        want.userdata = this;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        return device_ != 0;
    }

    void SetNotifications(const std::vector<uint32_t>& offsets, CxEvent* event) override {
        SDL_LockAudioDevice(device_);
        ring_.SetNotifications(offsets, event);
        SDL_UnlockAudioDevice(device_);
    }

    void SetCurrentPosition(uint32_t offset) override {
        SDL_LockAudioDevice(device_);
        ring_.SetPosition(offset);
        SDL_UnlockAudioDevice(device_);
    }

    void Play() override { SDL_PauseAudioDevice(device_, 0); }
    void Stop() override { SDL_PauseAudioDevice(device_, 1); }

    void GetCurrentPosition(uint32_t* play, uint32_t* write) override {
        SDL_LockAudioDevice(device_);
        ring_.Positions(play, write);
        SDL_UnlockAudioDevice(device_);
    }

    void WriteAt(uint32_t offset, const uint8_t* data, uint32_t count) override {
        SDL_LockAudioDevice(device_);
        ring_.Write(offset, data, count);
        SDL_UnlockAudioDevice(device_);
    }

    void SetVolume(int32_t attenuation) override { gain_ = AttenuationGain(attenuation); }
    uint64_t BlocksPlayed() override { return ring_.BlocksPlayed(); }

private:
    static constexpr uint32_t kBlocks = 4;

    // SDL's audio thread, with the device lock held.
    static void Callback(void* user, Uint8* stream, int len) {
        auto* self = static_cast<SdlSoundBuffer*>(user);
        const uint32_t n = static_cast<uint32_t>(len);
        self->ring_.Play(stream, n);
        ApplyGain(reinterpret_cast<int16_t*>(stream), n / 2, self->gain_.load());
    }

    SDL_AudioDeviceID device_ = 0;
    SoundRing ring_;  // under the device lock (SDL_LockAudioDevice) or in the callback
    std::atomic<float> gain_{1.0f};  // GUI thread writes, callback reads
};

}  // namespace

SdlSoundDevice::~SdlSoundDevice() {
    if (initialised_) {
        std::lock_guard<std::mutex> lock(SdlInitMutex());
        SdlQuitSubSystem(SDL_INIT_AUDIO);
    }
}

bool SdlSoundDevice::InitAudio() {
    if (initialised_) return true;
    std::lock_guard<std::mutex> lock(SdlInitMutex());
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    initialised_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    return initialised_;
}

std::unique_ptr<SoundBuffer> SdlSoundDevice::CreateBuffer(uint32_t size) {
    if (size < 8 || size % 8 != 0) return nullptr;
    if (InitAudio()) {
        auto buffer = std::make_unique<SdlSoundBuffer>(size);
        if (buffer->Open()) return buffer;
    }
    return fallback_ ? fallback_->CreateBuffer(size) : nullptr;
}

std::string SdlSoundDevice::DriverName() {
    const char* name = initialised_ ? SDL_GetCurrentAudioDriver() : nullptr;
    return name ? name : "";
}

}  // namespace corvane
