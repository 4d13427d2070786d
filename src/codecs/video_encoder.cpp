#include "codecs/video_encoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include "codecs/av_error.h"

namespace corvane {

struct VideoEncoder::Impl {
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int64_t next = 0;
    std::string error;

    ~Impl() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }

    bool Fail(const std::string& what, int code = 0) {
        error = what;
        if (code < 0) error += ": " + AvErrorText(code);
        return false;
    }

    bool Receive(std::vector<EncodedUnit>& out) {
        int r;
        while ((r = avcodec_receive_packet(context, packet)) == 0) {
            EncodedUnit unit;
            unit.data.assign(packet->data, packet->data + packet->size);
            unit.keyFrame = (packet->flags & AV_PKT_FLAG_KEY) != 0;
            unit.index = packet->pts;
            out.push_back(std::move(unit));
            av_packet_unref(packet);
        }
        return r == AVERROR(EAGAIN) || r == AVERROR_EOF ? true : Fail("encoding failed", r);
    }
};

namespace {

// Key frames exactly every gop pictures, each behind its parameter sets.
std::string CodecParams(const VideoEncoderOptions& o) {
    const std::string gop = std::to_string(o.gop);
    if (o.codec == VideoCodec::kH264) return "scenecut=0:repeat-headers=1";
    std::string params = "scenecut=0:open-gop=0:repeat-headers=1:bframes=" +
                         std::to_string(o.bFrames) + ":keyint=" + gop +
                         ":min-keyint=" + gop + ":log-level=error";
    // Without a thread pool x265 also leaves out wavefront parallelism, which
    // it would otherwise switch on or off by the machine's core count: the
    // same bytes on every machine.
    if (o.threads == 1) params += ":frame-threads=1:pools=none";
    return params;
}

}  // namespace

VideoEncoder::VideoEncoder() : impl_(std::make_unique<Impl>()) {}
VideoEncoder::~VideoEncoder() = default;

const std::string& VideoEncoder::Error() const { return impl_->error; }

bool VideoEncoder::Open(const VideoEncoderOptions& o) {
    Impl& m = *impl_;
    if (m.context) return m.Fail("already open");
    if (o.width <= 0 || o.height <= 0 || o.width % 2 || o.height % 2 || o.frameRate <= 0 ||
        o.gop <= 0 || o.bFrames < 0 || o.bFrames > 16)
        return m.Fail("bad picture size, frame rate or key frame interval");
    const char* name = o.codec == VideoCodec::kH264 ? "libx264" : "libx265";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) return m.Fail(std::string(name) + " is not available");
    m.context = avcodec_alloc_context3(codec);
    m.frame = av_frame_alloc();
    m.packet = av_packet_alloc();
    if (!m.context || !m.frame || !m.packet) return m.Fail("out of memory");

    AVCodecContext* c = m.context;
    c->width = o.width;
    c->height = o.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, o.frameRate};
    c->framerate = AVRational{o.frameRate, 1};
    c->gop_size = o.gop;
    c->keyint_min = o.gop;
    c->max_b_frames = o.bFrames;
    c->thread_count = o.threads;
    c->log_level_offset = AV_LOG_VERBOSE - AV_LOG_INFO;  // statistics only when asked for
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", o.preset.c_str(), 0);
    av_dict_set_int(&options, "crf", o.crf, 0);
    av_dict_set(&options, o.codec == VideoCodec::kH264 ? "x264-params" : "x265-params",
                CodecParams(o).c_str(), 0);
    const int r = avcodec_open2(c, codec, &options);
    av_dict_free(&options);
    if (r < 0) return m.Fail(std::string("cannot open ") + name, r);

    m.frame->format = AV_PIX_FMT_YUV420P;
    m.frame->width = o.width;
    m.frame->height = o.height;
    if (av_frame_get_buffer(m.frame, 0) < 0) return m.Fail("out of memory");
    return true;
}

bool VideoEncoder::Encode(const Yuv420Image& image, std::vector<EncodedUnit>& out) {
    Impl& m = *impl_;
    if (!m.context) return m.Fail("not open");
    if (image.width != m.context->width || image.height != m.context->height ||
        image.y.size() != size_t(image.width) * image.height ||
        image.u.size() != size_t(image.width / 2) * (image.height / 2) ||
        image.v.size() != image.u.size())
        return m.Fail("image does not match the encoder's size");
    // The encoder may still hold the previous picture's buffer.
    if (av_frame_make_writable(m.frame) < 0) return m.Fail("out of memory");
    const uint8_t* src[3] = {image.y.data(), image.u.data(), image.v.data()};
    for (int p = 0; p < 3; ++p) {
        const int rowBytes = p == 0 ? image.width : image.width / 2;
        const int rows = p == 0 ? image.height : image.height / 2;
        for (int r = 0; r < rows; ++r)
            std::memcpy(m.frame->data[p] + size_t(r) * m.frame->linesize[p],
                        src[p] + size_t(r) * rowBytes, rowBytes);
    }
    m.frame->pts = m.next++;
    const int r = avcodec_send_frame(m.context, m.frame);
    if (r < 0) return m.Fail("encoding failed", r);
    return m.Receive(out);
}

bool VideoEncoder::Flush(std::vector<EncodedUnit>& out) {
    Impl& m = *impl_;
    if (!m.context) return m.Fail("not open");
    const int r = avcodec_send_frame(m.context, nullptr);
    if (r < 0 && r != AVERROR_EOF) return m.Fail("encoding failed", r);
    return m.Receive(out);
}

}  // namespace corvane
