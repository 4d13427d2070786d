#include "playback/sdl_sound.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "playback/sdl_video.h"

namespace corvane {
namespace {

class SdlSoundBuffer : public SoundBuffer {
public:
    explicit SdlSoundBuffer(uint32_t size) : SoundBuffer(size), ring_(size, 0) {}
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
        offsets_ = offsets;
        event_ = event;
        SDL_UnlockAudioDevice(device_);
    }

    void SetCurrentPosition(uint32_t offset) override {
        SDL_LockAudioDevice(device_);
        readPos_ = offset % Size();
        lastChunk_ = 0;
        SDL_UnlockAudioDevice(device_);
    }

    void Play() override { SDL_PauseAudioDevice(device_, 0); }
    void Stop() override { SDL_PauseAudioDevice(device_, 1); }

    void GetCurrentPosition(uint32_t* play, uint32_t* write) override {
        SDL_LockAudioDevice(device_);
        const uint32_t size = Size();
        if (write) *write = readPos_;
        if (play) *play = (readPos_ + size - lastChunk_ % size) % size;
        SDL_UnlockAudioDevice(device_);
    }

    void WriteAt(uint32_t offset, const uint8_t* data, uint32_t count) override {
        if (offset > Size() || count > Size() - offset) return;
        SDL_LockAudioDevice(device_);
        std::memcpy(ring_.data() + offset, data, count);
        SDL_UnlockAudioDevice(device_);
    }

    void SetVolume(int32_t attenuation) override { gain_ = AttenuationGain(attenuation); }
    uint64_t BlocksPlayed() override { return blocks_.load(); }

private:
    static constexpr uint32_t kBlocks = 4;

    // SDL's audio thread, with the device lock held.
    static void Callback(void* user, Uint8* stream, int len) {
        static_cast<SdlSoundBuffer*>(user)->Render(stream, static_cast<uint32_t>(len));
    }

    void Render(uint8_t* out, uint32_t len) {
        const uint32_t size = Size();
        const uint32_t start = readPos_;
        uint32_t done = 0;
        while (done < len) {
            const uint32_t n = std::min(len - done, size - readPos_);
            std::memcpy(out + done, ring_.data() + readPos_, n);
            std::memset(ring_.data() + readPos_, 0, n);  // played: what is not rewritten stays silent
            readPos_ = (readPos_ + n) % size;
            done += n;
        }
        lastChunk_ = len;
        ApplyGain(reinterpret_cast<int16_t*>(out), len / 2, gain_.load());
        // Offsets in (start, start + len], round the ring.
        for (uint32_t offset : offsets_) {
            const uint32_t distance = (offset + size - start) % size;
            if ((distance != 0 && distance <= len) || (distance == 0 && len >= size)) {
                ++blocks_;
                if (event_) event_->Set();
            }
        }
    }

    SDL_AudioDeviceID device_ = 0;
    // Under the device lock (SDL_LockAudioDevice) or in the callback.
    std::vector<uint8_t> ring_;
    uint32_t readPos_ = 0;    // next byte the callback takes: the write cursor
    uint32_t lastChunk_ = 0;  // bytes the callback took last: play cursor = readPos_ - lastChunk_
    std::vector<uint32_t> offsets_;
    CxEvent* event_ = nullptr;
    std::atomic<float> gain_{1.0f};     // GUI thread writes, callback reads
    std::atomic<uint64_t> blocks_{0};  // callback writes, anyone reads
};

void UseDiskDriver() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
}

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
    if (!initialised_ && fallbackToDisk_ && !triedDisk_) {
        triedDisk_ = true;
        UseDiskDriver();
        initialised_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    return initialised_;
}

std::unique_ptr<SoundBuffer> SdlSoundDevice::CreateBuffer(uint32_t size) {
    if (size < 8 || size % 8 != 0 || !InitAudio()) return nullptr;
    auto buffer = std::make_unique<SdlSoundBuffer>(size);
    if (buffer->Open()) return buffer;
    if (!fallbackToDisk_ || triedDisk_) return nullptr;
    // The default device did not open: start audio again on the disk driver.
    {
        std::lock_guard<std::mutex> lock(SdlInitMutex());
        SdlQuitSubSystem(SDL_INIT_AUDIO);
        triedDisk_ = true;
        UseDiskDriver();
        initialised_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    if (!initialised_) return nullptr;
    buffer = std::make_unique<SdlSoundBuffer>(size);
    if (!buffer->Open()) return nullptr;
    return buffer;
}

std::string SdlSoundDevice::DriverName() {
    const char* name = initialised_ ? SDL_GetCurrentAudioDriver() : nullptr;
    return name ? name : "";
}

}  // namespace corvane
