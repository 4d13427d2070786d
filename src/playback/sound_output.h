#pragma once
// The group's sound output block and its speech decoder states. The audio
// thread decodes one stored speech frame at a time and writes it into a
// looping buffer of four blocks; the buffer signals the sound event each time
// it has played a block, which is what paces playback at normal speed.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/hi_voice.h"
#include "codecs/voice_format.h"
#include "playback/sound_buffer.h"
#include "platform/sync.h"
#include "readers/mem_unit.h"

namespace corvane {

// Volume level 0..100 (taken as unsigned 16-bit) to attenuation in hundredths
// of a decibel: 0 at 100 and above, -10000 at 0, else
// -trunc(((100 - level) * 100) ^ 0.85) in single precision.
int32_t VolumeToAttenuation(int level);

// Block sizes: 40 ms for recordings of one channel per file, else 20 ms.
constexpr uint32_t kSoundBlockLarge = 640;
constexpr uint32_t kSoundBlockSmall = 320;
constexpr uint32_t kSoundBlocks = 4;

class CSoundOutput {
public:
    explicit CSoundOutput(SoundDevice* device) : device_(device) {}
    ~CSoundOutput() { Release(); }
    CSoundOutput(const CSoundOutput&) = delete;
    CSoundOutput& operator=(const CSoundOutput&) = delete;

    // Creates the buffer of four blocks with a notification at every block
    // start. False (and nothing kept) when the device cannot be opened.
    bool Open(uint32_t blockBytes);
    // When a buffer exists and is not playing: plays it from position 0,
    // writing resumes at its write cursor.
    void Start();
    void Stop();
    // Copies `count` bytes at the next write offset, wrapping round the end
    // of the buffer; after the device has run dry, at the device's write
    // cursor. Writing more than the buffer holds is dropped.
    void Write(const uint8_t* data, uint32_t count);
    // Bytes written since Start that the device has not reached yet, counted
    // in whole blocks played (negative once it has run dry).
    int64_t BytesAhead();
    void Release();
    // Applies to the current buffer only (not remembered).
    void SetVolume(int level);

    bool IsPlaying() const { return playing_.load() != 0; }
    bool HasBuffer() const { return buffer_ != nullptr; }
    uint32_t BlockBytes() const { return blockBytes_.load(); }
    CxEvent& Event() { return event_; }
    // Blocks played over the life of this object.
    uint64_t BlocksPlayed();
    // The device buffer, for tests.
    SoundBuffer* Buffer() { return buffer_.get(); }

private:
    // Bytes the buffer has played since the last Start, in whole blocks.
    uint64_t PlayedBytes();

    SoundDevice* device_;
    // Made by Open and released by Release, both on the GUI thread while the
    // audio thread does not run; used by both threads in between.
    std::unique_ptr<SoundBuffer> buffer_;
    CxEvent event_;                       // set by the device, and by commands to wake the audio thread
    std::atomic<int32_t> playing_{0};     // GUI thread writes, audio thread reads
    std::atomic<uint32_t> nextWrite_{0};  // Start (GUI thread) and Write (audio thread)
    std::atomic<uint32_t> blockBytes_{kSoundBlockLarge};
    // Since the last Start: blocks the buffer had played before it, and bytes
    // written. Start (GUI thread, audio thread stopped or idle) and Write.
    std::atomic<uint64_t> startBlocks_{0}, written_{0};
    uint64_t blocksBefore_ = 0;           // of released buffers; GUI thread
};

// The four speech decoder states, one per family of audio types, reset once
// when the group is created and then carried from frame to frame (not reset
// between recordings or after a seek). Used by the audio thread only.
class SpeechDecoders {
public:
    void Reset();
    // Audio type 0: first state (mode 4); 6: second (mode 39); 5: third
    // (mode 2); any other: fourth (mode 3).
    HiVoiceDecoderState& ForAudioType(int audioType);

    // Decodes one audio record and writes its samples to `sound`. False when
    // the frame was dropped (too long, or refused by the decoder).
    bool DecodeAndPlay(const CxMemUnit& record, int audioType, CSoundOutput& sound);

private:
    static constexpr size_t kSpeechBufferBytes = 40960;
    HiVoiceDecoderState states_[4];
    std::vector<uint8_t> input_;   // zeroed before each frame
    std::vector<int16_t> output_;
};

}  // namespace corvane
