#include "hevc/hevc_decoder.h"

#include <climits>

#include "codecs/decoder_threads.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
}

namespace corvane {

HevcDecoder::HevcDecoder(uint32_t channelId, IHW265D_LogFxn log, int32_t threadType)
    : channelId_(channelId), log_(log), threadType_(threadType) {}

HevcDecoder::~HevcDecoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
}

uint32_t HevcDecoder::Open() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    if (!codec) return IHW265D_ERR_NO_DECODER;
    context_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!context_ || !packet_ || !frame_) return IHW265D_ERR_ALLOCATION;
    SetDecoderThreads(context_, threadType_ == 1   ? DecoderThreads::kSlices
                                : threadType_ == 2 ? DecoderThreads::kTwoFrames
                                                   : DecoderThreads::kOne);
    const int r = avcodec_open2(context_, codec, nullptr);
    if (r == AVERROR(ENOMEM)) return IHW265D_ERR_ALLOCATION;
    return r < 0 ? IHW265D_ERR_NO_DECODER : IHW265D_OK;
}

uint32_t HevcDecoder::Decode(const IHW265D_InArgs& in, IHW265D_OutArgs& out) {
    out.channelId = channelId_;
    out.bytesConsumed = 0;
    bool pictureOut = false;
    uint32_t result = IHW265D_OK;
    context_->skip_frame = in.decodeMode == IHW265D_DECODE_SKIP_NONREF ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    if (in.length > 0 && !flushing_) result = Send(in, out, pictureOut);
    if (pictureOut) return result;
    if (in.decodeMode == IHW265D_DECODE_FLUSH && !flushing_) {
        avcodec_send_packet(context_, nullptr);
        flushing_ = true;
    }
    const int got = Receive(out);
    if (got > 0) {
        out.status = IHW265D_PICTURE_READY;
    } else if (got < 0) {
        avcodec_flush_buffers(context_);  // ready for the next stream
        flushing_ = false;
        out.status = IHW265D_NO_MORE_OUTPUT;
    } else {
        out.status = flushing_ ? IHW265D_NO_MORE_OUTPUT : IHW265D_INPUT_USED_UP;
    }
    return result;
}

// The whole input is one packet. When the decoder still holds a picture it
// first hands that out and consumes nothing; the caller comes back with the
// same bytes.
uint32_t HevcDecoder::Send(const IHW265D_InArgs& in, IHW265D_OutArgs& out, bool& pictureOut) {
    if (in.length > uint32_t(INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) {
        out.bytesConsumed = in.length;
        log_(channelId_, IHW265D_LOG_ERROR, "access unit of %u bytes is too large", in.length);
        return IHW265D_ERR_STREAM;
    }
    packet_->data = const_cast<uint8_t*>(in.stream);
    packet_->size = int(in.length);
    packet_->pts = int64_t(in.timestamp);
    int r = avcodec_send_packet(context_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    if (r == AVERROR(EAGAIN) && Receive(out) > 0) {
        out.status = IHW265D_PICTURE_READY;
        pictureOut = true;
        return IHW265D_OK;
    }
    out.bytesConsumed = in.length;
    if (r < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(r, text, sizeof text);
        log_(channelId_, IHW265D_LOG_ERROR, "access unit not decoded: %s", text);
        return IHW265D_ERR_STREAM;
    }
    return IHW265D_OK;
}

int HevcDecoder::Receive(IHW265D_OutArgs& out) {
    while (true) {
        const int r = avcodec_receive_frame(context_, frame_);
        if (r == AVERROR_EOF) return -1;
        if (r < 0) return 0;
        Yuv420View view;
        if (!converter_.View(*frame_, /*packed=*/false, view)) continue;  // cannot be shown
        out.timestamp = uint64_t(frame_->pts);
        out.keyFrame = frame_->key_frame ? 1 : 0;
        out.width = uint32_t(view.width);
        out.height = uint32_t(view.height);
        out.yStride = uint32_t(view.yStride);
        out.uvStride = uint32_t(view.uvStride);
        for (int p = 0; p < 3; ++p) out.planes[p] = view.plane[p];
        return 1;
    }
}

}  // namespace corvane
