#include "export/mosaic_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <climits>
#include <cstring>

namespace corvane {
namespace {

// Larger pictures than any recorder makes come from a damaged parameter set;
// refusing them keeps one bad unit from allocating gigabytes.
constexpr int64_t kMaxPixels = 4096 * 4096;

}  // namespace

ChannelDecoder::ChannelDecoder()
    : packet_(av_packet_alloc()), decoded_(av_frame_alloc()), picture_(av_frame_alloc()) {}

ChannelDecoder::~ChannelDecoder() {
    avcodec_free_context(&codec_);
    av_packet_free(&packet_);
    av_frame_free(&decoded_);
    av_frame_free(&picture_);
}

const AVFrame* ChannelDecoder::Picture() const { return picture_ && picture_->data[0] ? picture_ : nullptr; }

bool ChannelDecoder::Open(bool hevc) {
    avcodec_free_context(&codec_);
    hevc_ = hevc;
    waitKey_ = true;
    const AVCodec* decoder = avcodec_find_decoder(hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    codec_ = decoder ? avcodec_alloc_context3(decoder) : nullptr;
    if (!codec_) return false;
    // Frame threads would hand pictures out several units late; the mosaic
    // needs each picture as soon as its unit is read.
    codec_->thread_count = 1;
    codec_->max_pixels = kMaxPixels;
    if (avcodec_open2(codec_, decoder, nullptr) < 0) {
        avcodec_free_context(&codec_);
        return false;
    }
    return true;
}

void ChannelDecoder::Decode(const uint8_t* data, size_t size, bool key, bool hevc, int64_t ms) {
    if (!packet_ || !decoded_ || !picture_ || size == 0 || size > INT_MAX / 2) return;
    if (!codec_ || hevc != hevc_) {
        if (unusable_ && hevc == hevc_) return;  // tried already
        unusable_ = !Open(hevc);
        if (unusable_) return;
    }
    if (waitKey_ && !key) return;
    // A packet of its own, padded: the decoder reads a little past the end.
    av_packet_unref(packet_);
    if (av_new_packet(packet_, static_cast<int>(size)) < 0) return;
    std::memcpy(packet_->data, data, size);
    packet_->pts = packet_->dts = ms;
    if (key) packet_->flags |= AV_PKT_FLAG_KEY;
    int r = avcodec_send_packet(codec_, packet_);
    av_packet_unref(packet_);
    bool failed = r < 0 && r != AVERROR(EAGAIN);
    while (r >= 0 || r == AVERROR(EAGAIN)) {
        r = avcodec_receive_frame(codec_, decoded_);
        if (r < 0) {
            if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) failed = true;
            break;
        }
        if (decoded_->decode_error_flags || (decoded_->flags & AV_FRAME_FLAG_CORRUPT)) {
            failed = true;
            av_frame_unref(decoded_);
            continue;
        }
        av_frame_unref(picture_);
        av_frame_move_ref(picture_, decoded_);
        pictureMs_ = picture_->best_effort_timestamp != AV_NOPTS_VALUE ? picture_->best_effort_timestamp : ms;
    }
    waitKey_ = failed;
    if (failed) errors_++;
}

}  // namespace corvane
