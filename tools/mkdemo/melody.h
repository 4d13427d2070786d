#pragma once
// The sound of a demo channel: a short pentatonic tune, different for each
// channel, with a tick at the start of every second so that sound and the
// clock in the picture can be compared by ear.
#include <cstdint>
#include <vector>

namespace corvane::demo {

constexpr int kSampleRate = 8000;

// `seconds` seconds of 8000 Hz 16-bit mono samples for channel `channel`
// (1..8), starting `startSecond` seconds into the channel's tune.
std::vector<int16_t> ChannelMelody(int channel, int seconds, int startSecond = 0);

}  // namespace corvane::demo
