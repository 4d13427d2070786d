#pragma once
// How a libavcodec decoder spreads its work over threads. Slice threads give
// each access unit's picture out of the call that takes it (they help only
// streams coded in several slices or parallel rows); frame threads decode the
// next access unit while the last one finishes, so each picture comes out one
// access unit late, and the last one only when the stream is drained.
struct AVCodecContext;

namespace corvane {

enum class DecoderThreads { kOne, kSlices, kTwoFrames };

// Before avcodec_open2.
void SetDecoderThreads(AVCodecContext* context, DecoderThreads threads);

}  // namespace corvane
