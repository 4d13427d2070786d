#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "codecs/voice_encoder.h"
#include "fake_sound.h"
#include "playback/clock_sound.h"
#include "playback/sdl_sound.h"
#include "playback/sound_output.h"

using namespace corvane;
using namespace corvane::test;

namespace {

std::vector<uint8_t> Samples(std::initializer_list<int16_t> values) {
    std::vector<uint8_t> out(values.size() * 2);
    std::memcpy(out.data(), values.begin(), out.size());
    return out;
}

int16_t SampleAt(const std::vector<uint8_t>& bytes, size_t i) {
    int16_t s;
    std::memcpy(&s, &bytes[i * 2], 2);
    return s;
}

}  // namespace

TEST(SoundOutput, VolumeLevelsGiveTheirAttenuationAndScaleTheSamples) {
    EXPECT_EQ(VolumeToAttenuation(0), -10000);
    EXPECT_EQ(VolumeToAttenuation(1), -2490);
    EXPECT_EQ(VolumeToAttenuation(50), -1393);
    EXPECT_EQ(VolumeToAttenuation(99), -50);
    EXPECT_EQ(VolumeToAttenuation(100), 0);
    EXPECT_EQ(VolumeToAttenuation(250), 0);
    EXPECT_EQ(VolumeToAttenuation(-1), 0);  // taken as 65535

    const std::pair<int, double> levels[] = {{0, 0.0}, {1, 0.0569}, {50, 0.2012}, {99, 0.9441}, {100, 1.0}};
    for (auto [level, factor] : levels) {
        FakeSoundDevice device;
        CSoundOutput sound(&device);
        ASSERT_TRUE(sound.Open(kSoundBlockSmall));
        sound.SetVolume(level);
        sound.Start();
        std::vector<uint8_t> pcm = Samples({10000, -10000, 32767, -32768});
        sound.Write(pcm.data(), uint32_t(pcm.size()));
        device.Last()->Advance(8);
        std::vector<uint8_t> played = device.Last()->Played();
        ASSERT_EQ(played.size(), 8u);
        EXPECT_NEAR(SampleAt(played, 0), 10000 * factor, 2) << "level " << level;
        EXPECT_NEAR(SampleAt(played, 1), -10000 * factor, 2) << "level " << level;
        EXPECT_NEAR(SampleAt(played, 2), 32767 * factor, 4) << "level " << level;
    }
}

TEST(SoundOutput, BuffersHoldFourBlocksAndSignalEachBlockPlayed) {
    for (uint32_t block : {kSoundBlockLarge, kSoundBlockSmall}) {
        FakeSoundDevice device;
        CSoundOutput sound(&device);
        ASSERT_TRUE(sound.Open(block));
        EXPECT_EQ(device.Last()->Size(), 4 * block);
        EXPECT_EQ(sound.BlockBytes(), block);
        sound.Start();
        EXPECT_TRUE(sound.IsPlaying());
        EXPECT_FALSE(sound.Event().Wait(0));
        device.Last()->Advance(block);
        EXPECT_TRUE(sound.Event().Wait(0));
        device.Last()->Advance(block / 2);
        EXPECT_FALSE(sound.Event().Wait(0));
        device.Last()->Advance(block / 2);
        EXPECT_TRUE(sound.Event().Wait(0));
        for (int i = 0; i < 6; ++i) device.Last()->Advance(block);  // round the ring
        EXPECT_EQ(sound.BlocksPlayed(), 8u);
        sound.Release();
        EXPECT_EQ(sound.BlockBytes(), kSoundBlockLarge);
        EXPECT_EQ(sound.BlocksPlayed(), 8u);  // counts survive the buffer
    }
}

TEST(SoundOutput, WritesWrapRoundTheRingAndNeverFallBehindTheWriteCursor) {
    FakeSoundDevice device;
    CSoundOutput sound(&device);
    ASSERT_TRUE(sound.Open(kSoundBlockSmall));  // 1280-byte ring
    FakeSoundBuffer& buffer = *device.Last();
    sound.Start();
    std::vector<uint8_t> a(1000, 0xA1), b(600, 0xB2);
    sound.Write(a.data(), uint32_t(a.size()));
    buffer.Advance(960);  // write cursor at 960, below the next write offset
    sound.Write(b.data(), uint32_t(b.size()));  // 1000..1279, then 0..319
    std::vector<uint8_t> ring = buffer.Ring();
    EXPECT_EQ(ring[999], 0xA1);
    EXPECT_EQ(ring[1000], 0xB2);
    EXPECT_EQ(ring[1279], 0xB2);
    EXPECT_EQ(ring[0], 0xB2);
    EXPECT_EQ(ring[319], 0xB2);
    EXPECT_EQ(ring[320], 0x00);  // played and cleared

    // Nothing written while the device plays on: the next write starts at
    // the write cursor, not in the part already played.
    buffer.Advance(640);  // write cursor 320
    buffer.Advance(320);  // write cursor 640
    std::vector<uint8_t> c(100, 0xC3);
    sound.Write(c.data(), uint32_t(c.size()));
    ring = buffer.Ring();
    EXPECT_EQ(ring[640], 0xC3);
    EXPECT_EQ(ring[739], 0xC3);
    EXPECT_EQ(ring[320], 0x00);

    std::vector<uint8_t> tooMuch(1281, 0xEE);
    sound.Write(tooMuch.data(), uint32_t(tooMuch.size()));
    EXPECT_EQ(buffer.Ring()[741], 0x00);
}

TEST(SoundOutput, StartRestartsFromTheBeginningAndStopsOnlyWithABuffer) {
    FakeSoundDevice device;
    CSoundOutput sound(&device);
    sound.Start();  // no buffer yet
    EXPECT_FALSE(sound.IsPlaying());
    device.fail = true;
    EXPECT_FALSE(sound.Open(kSoundBlockLarge));
    EXPECT_FALSE(sound.HasBuffer());
    device.fail = false;
    ASSERT_TRUE(sound.Open(kSoundBlockLarge));
    sound.Start();
    device.Last()->Advance(1000);
    sound.Stop();
    EXPECT_FALSE(sound.IsPlaying());
    sound.Start();
    uint32_t play = 1, write = 1;
    device.Last()->GetCurrentPosition(&play, &write);
    EXPECT_EQ(write, 0u);
}

TEST(SpeechDecoders, DecodeByAudioTypeAndWriteTheSamples) {
    EXPECT_EQ(VoiceModeForAudioType(0), 4);
    EXPECT_EQ(VoiceModeForAudioType(6), 39);
    EXPECT_EQ(VoiceModeForAudioType(5), 2);
    EXPECT_EQ(VoiceModeForAudioType(3), 3);
    EXPECT_EQ(VoiceModeForAudioType(7), 3);

    SpeechDecoders decoders;
    decoders.Reset();
    FakeSoundDevice device;
    CSoundOutput sound(&device);
    ASSERT_TRUE(sound.Open(kSoundBlockLarge));
    sound.Start();

    // 320 mu-law samples (audio type 5) fill one 640-byte block.
    std::vector<int16_t> pcm(320);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t((i % 40) * 500 - 10000);
    auto frames = EncodeVoiceFrames(2, pcm.data(), pcm.size(), 320, false);
    ASSERT_TRUE(frames && frames->size() == 1);
    CxMemUnit unit;
    RecordHeader h;
    h.kind = kTypeAudio << 4;
    h.length = uint32_t(frames->front().size());
    h.Store(unit.Buffer());
    std::memcpy(unit.Buffer() + kRecordHeaderSize, frames->front().data(), h.length);
    unit.SetUsed(uint32_t(kRecordHeaderSize + h.length));
    ASSERT_TRUE(decoders.DecodeAndPlay(unit, 5, sound));
    device.Last()->Advance(640);
    std::vector<uint8_t> played = device.Last()->Played();
    ASSERT_EQ(played.size(), 640u);
    for (size_t i = 0; i < 320; i += 37) EXPECT_NEAR(SampleAt(played, i), pcm[i], 400) << i;

    // The same bytes as IMA ADPCM (any type but 0, 5 and 6) decode to other samples.
    EXPECT_TRUE(decoders.DecodeAndPlay(unit, 9, sound));
    // A stored length beyond the 40960-byte input buffer is not decoded.
    h.length = 40961;
    h.Store(unit.Buffer());
    EXPECT_FALSE(decoders.DecodeAndPlay(unit, 5, sound));
}

TEST(SdlSound, DiskDriverPlaysInBlocksAndSignalsEach) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    SdlSoundDevice device;
    CSoundOutput sound(&device);
    ASSERT_TRUE(sound.Open(kSoundBlockSmall)) << "SDL disk audio driver missing";
    EXPECT_EQ(device.DriverName(), "disk");
    sound.SetVolume(50);
    sound.Start();
    std::vector<uint8_t> frame(320, 0x10);
    int signalled = 0;
    for (int i = 0; i < 6; ++i) {
        sound.Write(frame.data(), uint32_t(frame.size()));
        if (sound.Event().Wait(5000)) ++signalled;
    }
    EXPECT_EQ(signalled, 6);
    EXPECT_GE(sound.BlocksPlayed(), 6u);
    sound.Release();
}

TEST(SdlSound, NoDeviceGivesNoBufferUnlessAFallbackStandsIn) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        SdlSoundDevice device;
        EXPECT_EQ(device.CreateBuffer(1280), nullptr);
    }
    // The clock device plays what is written, a block at a time, and says so.
    ClockSoundDevice clock;
    SdlSoundDevice fallback(&clock);
    CSoundOutput sound(&fallback);
    ASSERT_TRUE(sound.Open(kSoundBlockSmall));
    sound.Start();
    std::vector<uint8_t> frame(kSoundBlockSmall, 0x10);
    for (int i = 0; i < 3; ++i) {
        sound.Write(frame.data(), uint32_t(frame.size()));
        EXPECT_TRUE(sound.Event().Wait(5000));
    }
    EXPECT_GE(sound.BlocksPlayed(), 3u);
    EXPECT_LE(sound.BytesAhead(), 0);
}
