#include "codecs/hi264dec.h"

#include <climits>
#include <new>

#include "codecs/decoder_threads.h"
#include "codecs/yuv420_view.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

struct Hi264Decoder {
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVPacket* pending = nullptr;  // an access unit the decoder could not take yet
    AVFrame* frame = nullptr;
    corvane::Yuv420Converter converter;
    bool draining = false;  // end of stream sent, pictures still coming
    uint32_t workMode = 1;

    ~Hi264Decoder() {
        av_frame_free(&frame);
        av_packet_free(&pending);
        av_packet_free(&packet);
        avcodec_free_context(&context);
    }
};

namespace {

bool OpenContext(Hi264Decoder& d) {
    avcodec_free_context(&d.context);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) return false;
    d.context = avcodec_alloc_context3(codec);
    if (!d.context) return false;
    corvane::SetDecoderThreads(d.context, d.workMode == 2   ? corvane::DecoderThreads::kSlices
                                          : d.workMode == 3 ? corvane::DecoderThreads::kTwoFrames
                                                            : corvane::DecoderThreads::kOne);
    if (avcodec_open2(d.context, codec, nullptr) == 0) return true;
    avcodec_free_context(&d.context);
    return false;
}

bool Open(Hi264Decoder& d) {
    d.packet = av_packet_alloc();
    d.pending = av_packet_alloc();
    d.frame = av_frame_alloc();
    return d.packet && d.pending && d.frame && OpenContext(d);
}

// Hands the access unit to the decoder; when it is still full, keeps a copy
// to send again on the next call.
int32_t Send(Hi264Decoder& d, const uint8_t* stream, uint32_t length, uint64_t timestamp) {
    if (length > uint32_t(INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) return kHi264DecBadArgument;
    d.packet->data = const_cast<uint8_t*>(stream);
    d.packet->size = int(length);
    d.packet->pts = int64_t(timestamp);
    int r = avcodec_send_packet(d.context, d.packet);
    if (r == AVERROR(EAGAIN)) {
        av_packet_unref(d.pending);
        if (av_packet_ref(d.pending, d.packet) < 0) r = AVERROR(ENOMEM);  // copies the bytes
        else r = 0;
    }
    d.packet->data = nullptr;
    d.packet->size = 0;
    return r < 0 ? kHi264DecStreamError : kHi264DecPictureOut;
}

void SendPending(Hi264Decoder& d) {
    if (d.pending->size == 0) return;
    if (avcodec_send_packet(d.context, d.pending) != AVERROR(EAGAIN)) av_packet_unref(d.pending);
}

void FillPicture(Hi264Decoder& d, const corvane::Yuv420View& view, Hi264DecPicture& picture) {
    picture.y = view.plane[0];
    picture.u = view.plane[1];
    picture.v = view.plane[2];
    picture.width = uint32_t(view.width);
    picture.height = uint32_t(view.height);
    picture.yStride = uint32_t(view.yStride);
    picture.uvStride = uint32_t(view.uvStride);
    picture.timestamp = uint64_t(d.frame->pts);
    picture.keyFrame = d.frame->key_frame ? 1 : 0;
}

}  // namespace

Hi264DecHandle Hi264DecCreate(const Hi264DecAttr* attr) {
    if (!attr || attr->pictureFormat != 0) return nullptr;
    auto* d = new (std::nothrow) Hi264Decoder;
    if (!d) return nullptr;
    d->workMode = attr->workMode;
    if (!Open(*d)) {
        delete d;
        return nullptr;
    }
    return d;
}

int32_t Hi264DecFrame(Hi264DecHandle d, const uint8_t* stream, uint32_t length,
                      uint64_t timestamp, Hi264DecPicture* picture, uint32_t flags) {
    if (!d || !picture || (!stream && length > 0)) return kHi264DecBadArgument;
    if (!d->context && !OpenContext(*d)) return kHi264DecNeedMoreInput;
    int32_t result = kHi264DecNeedMoreInput;
    d->context->skip_frame = (flags & kHi264DecSkipNonReference) ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    SendPending(*d);
    if (stream && length > 0 && !d->draining) {
        const int32_t sent = Send(*d, stream, length, timestamp);
        if (sent != kHi264DecPictureOut) result = sent;
    }
    if ((flags & kHi264DecEndOfStream) && !d->draining && d->pending->size == 0) {
        avcodec_send_packet(d->context, nullptr);
        d->draining = true;
    }
    while (true) {
        const int r = avcodec_receive_frame(d->context, d->frame);
        if (r == AVERROR_EOF) {
            // A new context rather than a flush: the H.264 decoder would keep
            // the old stream's reordering delay.
            OpenContext(*d);
            d->draining = false;
            return kHi264DecNoMorePictures;
        }
        if (r < 0) return result;  // EAGAIN: the decoder wants the next access unit
        corvane::Yuv420View view;
        if (d->converter.View(*d->frame, /*packed=*/true, view)) {
            FillPicture(*d, view, *picture);
            return kHi264DecPictureOut;
        }
        // A picture in a form that cannot be shown: skip it.
    }
}

void Hi264DecDestroy(Hi264DecHandle d) { delete d; }
