#pragma once
// Stored speech frames: which codec a reset mode stands for, and the optional
// 4-byte frame header. Shared by the speech decoder and encoder so that what
// one writes the other reads.
//
//   mode   codec                       bits per sample
//   1      G.711 A-law                 8
//   2      G.711 mu-law                8
//   3      IMA (DVI4) ADPCM            4
//   4..7   G.726 16/24/32/40 kbit/s    2..5, first code word in the high bits
//   36..39 G.726 16/24/32/40 kbit/s    2..5, first code word in the low bits
//
// All at 8000 samples per second, mono. An IMA frame starts with its own
// 4-byte state: predicted sample (16-bit little-endian), step index (0..88),
// a reserved byte (written 0, ignored); then two samples per byte, low nibble first. The state is the
// coder's before the frame's first sample, so n data bytes give 2n samples.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace corvane {

enum class VoiceCodec { kG711ALaw, kG711MuLaw, kImaAdpcm, kG726 };

struct VoiceMode {
    VoiceCodec codec;
    int bitsPerSample;
    int avCodecId;  // libavcodec's AVCodecID of the decoder/encoder
};

std::optional<VoiceMode> FindVoiceMode(int mode);

// The reset mode a recording's audio type stands for: 0 → 4 (G.726 16 kbit/s),
// 6 → 39, 5 → 2 (G.711 mu-law), any other → 3 (IMA ADPCM). Playback and export
// share it, so that a channel sounds the same in both.
int VoiceModeForAudioType(int audioType);

// Frame header: 00 01 nn 00, nn = payload length in 16-bit words. A frame is
// taken to carry one only when nn matches the bytes that follow exactly.
constexpr size_t kVoiceFrameHeaderSize = 4;
constexpr size_t kVoiceFrameMaxHeaderPayload = 255 * 2;

// The payload without the header when the frame carries one, else the frame.
struct ByteRange {
    const uint8_t* data;
    size_t size;
};
ByteRange StripVoiceFrameHeader(const uint8_t* frame, size_t size);

// Writes the header for a payload of `payloadSize` bytes (even, at most
// kVoiceFrameMaxHeaderPayload); false when it cannot be described.
bool WriteVoiceFrameHeader(size_t payloadSize, uint8_t header[kVoiceFrameHeaderSize]);

}  // namespace corvane
