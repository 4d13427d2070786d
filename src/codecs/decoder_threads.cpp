#include "codecs/decoder_threads.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace corvane {

void SetDecoderThreads(AVCodecContext* context, DecoderThreads threads) {
    switch (threads) {
    case DecoderThreads::kSlices:
        context->thread_type = FF_THREAD_SLICE;
        context->thread_count = 0;  // one per core
        break;
    case DecoderThreads::kTwoFrames:
        // More would hold more pictures back.
        context->thread_type = FF_THREAD_FRAME;
        context->thread_count = 2;
        break;
    case DecoderThreads::kOne:
        context->thread_count = 1;
        break;
    }
}

}  // namespace corvane
