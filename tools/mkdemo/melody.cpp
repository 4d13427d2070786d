#include "melody.h"

#include <algorithm>
#include <cmath>

namespace corvane::demo {
namespace {

constexpr double kPi = 3.141592653589793;

// Degrees of the major pentatonic scale over two octaves; -1 is a rest.
constexpr int kTune[32] = {0, 1, 2, 4, 4, 3, 2, -1, 2, 3, 4, 6, 5, 4, 2, -1,
                           4, 5, 6, 7, 6, 4, 3, 2,  1, 2, 3, 1, 0, -1, 0, -1};
constexpr int kScaleSemitones[10] = {0, 2, 4, 7, 9, 12, 14, 16, 19, 21};
constexpr int kNoteSamples = kSampleRate / 4;  // four notes a second
constexpr int kTickSamples = kSampleRate / 40;

double NoteFrequency(int channel, int degree) {
    // Channel 1 in A (440 Hz keynote one octave down), the others transposed.
    const int semitones = kScaleSemitones[degree] + ((channel - 1) * 5) % 12;
    return 220.0 * std::pow(2.0, semitones / 12.0);
}

}  // namespace

std::vector<int16_t> ChannelMelody(int channel, int seconds, int startSecond) {
    std::vector<int16_t> pcm(size_t(seconds > 0 ? seconds : 0) * kSampleRate);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const int64_t n = int64_t(startSecond) * kSampleRate + int64_t(i);
        const int64_t note = n / kNoteSamples;
        const int inNote = static_cast<int>(n % kNoteSamples);
        const int degree = kTune[(note + (channel - 1) * 3) % 32];
        double v = 0;
        if (degree >= 0) {
            const double f = NoteFrequency(channel, degree);
            const double t = double(n) / kSampleRate;
            // Plucked: quick attack, exponential decay; a little second harmonic.
            const double envelope = std::min(1.0, inNote / 40.0) * std::exp(-3.0 * inNote / kNoteSamples);
            v += 0.35 * envelope * (std::sin(2 * kPi * f * t) + 0.3 * std::sin(4 * kPi * f * t));
        }
        const int inSecond = static_cast<int>(n % kSampleRate);
        if (inSecond < kTickSamples) {
            const double t = double(inSecond) / kSampleRate;
            v += 0.25 * (1.0 - double(inSecond) / kTickSamples) * std::sin(2 * kPi * 1000.0 * t);
        }
        pcm[i] = static_cast<int16_t>(std::lround(std::max(-1.0, std::min(1.0, v)) * 32000.0));
    }
    return pcm;
}

}  // namespace corvane::demo
