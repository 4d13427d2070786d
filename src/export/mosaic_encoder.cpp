#include "export/mosaic_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "codecs/av_error.h"
#include "export/mp4_writer.h"

namespace corvane {

std::unique_ptr<MosaicEncoder> MosaicEncoder::Open(const H264Settings& s, std::string& error) {
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    if (!x264) {
        error = "no H.264 encoder (libx264) in this libavcodec";
        return nullptr;
    }
    std::unique_ptr<MosaicEncoder> e(new MosaicEncoder);
    e->codec_ = avcodec_alloc_context3(x264);
    e->packet_ = av_packet_alloc();
    if (!e->codec_ || !e->packet_) {
        error = "out of memory";
        return nullptr;
    }
    AVCodecContext* c = e->codec_;
    c->width = s.width;
    c->height = s.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = {1, s.frameRate};
    c->framerate = {s.frameRate, 1};
    c->sample_aspect_ratio = {1, 1};
    c->thread_count = 0;  // as many as the machine has
    // The MP4 sample entry carries the parameter sets.
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", s.preset.c_str(), 0);
    av_dict_set_int(&options, "crf", s.crf, 0);
    int r = avcodec_open2(c, x264, &options);
    av_dict_free(&options);
    if (r < 0) {
        error = "cannot open the H.264 encoder (preset " + s.preset + ", crf " + std::to_string(s.crf) +
                "): " + AvErrorText(r);
        return nullptr;
    }
    return e;
}

MosaicEncoder::~MosaicEncoder() {
    avcodec_free_context(&codec_);
    av_packet_free(&packet_);
}

bool MosaicEncoder::Encode(const AVFrame* frame, Mp4Writer& writer, int stream) {
    int r = avcodec_send_frame(codec_, frame);
    if (r < 0 && r != AVERROR_EOF) {
        error_ = "cannot encode the mosaic: " + AvErrorText(r);
        return false;
    }
    if (frame) frames_++;
    while ((r = avcodec_receive_packet(codec_, packet_)) >= 0) {
        if (!writer.WritePacket(stream, packet_)) return false;
    }
    if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
        error_ = "cannot encode the mosaic: " + AvErrorText(r);
        return false;
    }
    return true;
}

}  // namespace corvane
