#include "playback/sound_output.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace corvane {

float AttenuationGain(int32_t attenuation) {
    if (attenuation <= -10000) return 0.0f;
    if (attenuation >= 0) return 1.0f;
    return std::pow(10.0f, float(attenuation) / 2000.0f);
}

void ApplyGain(int16_t* samples, size_t count, float gain) {
    if (gain == 1.0f) return;
    for (size_t i = 0; i < count; ++i) {
        float v = std::nearbyint(float(samples[i]) * gain);
        samples[i] = v > 32767.0f ? int16_t(32767) : v < -32768.0f ? int16_t(-32768) : int16_t(v);
    }
}

int32_t VolumeToAttenuation(int level) {
    const uint16_t l = static_cast<uint16_t>(level);
    if (l >= 100) return 0;
    if (l == 0) return -10000;
    const float t = std::pow(float((100 - l) * 100), 0.85f);
    return -static_cast<int32_t>(t);
}

bool CSoundOutput::Open(uint32_t blockBytes) {
    Release();
    blockBytes_ = blockBytes;
    event_.Reset();
    if (!device_ || blockBytes == 0) return false;
    std::unique_ptr<SoundBuffer> buffer = device_->CreateBuffer(kSoundBlocks * blockBytes);
    if (!buffer) return false;
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i < kSoundBlocks; ++i) offsets.push_back(i * blockBytes);
    buffer->SetNotifications(offsets, &event_);
    buffer_ = std::move(buffer);
    nextWrite_ = 0;
    return true;
}

void CSoundOutput::Start() {
    if (playing_.load() || !buffer_) return;
    buffer_->SetCurrentPosition(0);
    startBlocks_ = buffer_->BlocksPlayed();
    written_ = 0;
    buffer_->Play();
    uint32_t play = 0, write = 0;
    buffer_->GetCurrentPosition(&play, &write);
    nextWrite_ = write;
    playing_ = 1;
}

void CSoundOutput::Stop() {
    if (buffer_) buffer_->Stop();
    playing_ = 0;
}

void CSoundOutput::Write(const uint8_t* data, uint32_t count) {
    if (!buffer_ || !data || count == 0) return;
    const uint32_t size = buffer_->Size();
    if (count > size) return;  // a lock of more than the buffer fails
    uint32_t play = 0, write = 0;
    buffer_->GetCurrentPosition(&play, &write);
    uint32_t next = nextWrite_.load();
    // Ran dry (or nothing written yet): what was due is gone, this goes next.
    if (BytesAhead() <= 0) {
        next = write;
        written_ = PlayedBytes();
    }
    const uint32_t first = count < size - next ? count : size - next;
    buffer_->WriteAt(next, data, first);
    next += first;
    if (first < count) {
        buffer_->WriteAt(0, data + first, count - first);
        next += count - first;
    }
    nextWrite_ = next % size;
    written_ += count;
}

uint64_t CSoundOutput::PlayedBytes() {
    return (buffer_->BlocksPlayed() - startBlocks_.load()) * blockBytes_.load();
}

int64_t CSoundOutput::BytesAhead() {
    return buffer_ ? int64_t(written_.load()) - int64_t(PlayedBytes()) : 0;
}

void CSoundOutput::Release() {
    if (buffer_) {
        buffer_->Stop();
        blocksBefore_ += buffer_->BlocksPlayed();
        buffer_.reset();
    }
    playing_ = 0;
    nextWrite_ = 0;
    blockBytes_ = kSoundBlockLarge;
    event_.Reset();
}

void CSoundOutput::SetVolume(int level) {
    if (buffer_) buffer_->SetVolume(VolumeToAttenuation(level));
}

uint64_t CSoundOutput::BlocksPlayed() { return blocksBefore_ + (buffer_ ? buffer_->BlocksPlayed() : 0); }

void SpeechDecoders::Reset() {
    for (int type : {0, 6, 5, 1}) HI_VOICE_DecReset(&ForAudioType(type), VoiceModeForAudioType(type));
}

HiVoiceDecoderState& SpeechDecoders::ForAudioType(int audioType) {
    switch (audioType) {
    case 0: return states_[0];
    case 6: return states_[1];
    case 5: return states_[2];
    default: return states_[3];
    }
}

bool SpeechDecoders::DecodeAndPlay(const CxMemUnit& record, int audioType, CSoundOutput& sound) {
    static_assert(kSpeechBufferBytes / 2 >= kHiVoiceMaxFrameSamples);
    std::vector<uint8_t>& input = input_;
    std::vector<int16_t>& output = output_;
    input.resize(kSpeechBufferBytes);
    output.resize(kSpeechBufferBytes / 2);
    constexpr size_t kBufferBytes = kSpeechBufferBytes;
    const uint32_t length = record.Header().length & 0xFFFF;
    if (length > kBufferBytes) return false;
    std::memset(input.data(), 0, kBufferBytes);
    std::memset(output.data(), 0, kBufferBytes);
    std::memcpy(input.data(), record.Payload(), std::min<size_t>(length, record.PayloadSize()));
    uint32_t inOut = length;
    if (HI_VOICE_DecodeFrame(&ForAudioType(audioType), input.data(), output.data(), &inOut) != kHiVoiceOk) return false;
    const int16_t samples = static_cast<int16_t>(inOut & 0xFFFF);
    if (samples <= 0) return false;
    sound.Write(reinterpret_cast<const uint8_t*>(output.data()), 2u * uint32_t(samples));
    return true;
}

}  // namespace corvane
