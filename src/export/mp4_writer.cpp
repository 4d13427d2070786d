#include "export/mp4_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "codecs/av_error.h"

namespace corvane {
namespace {

// The mov_text encoder takes its styles from an ASS script header and its
// texts as ASS dialogue fields.
constexpr char kAssHeader[] =
    "[Script Info]\r\n"
    "ScriptType: v4.00+\r\n"
    "PlayResX: 384\r\n"
    "PlayResY: 288\r\n"
    "\r\n"
    "[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\r\n"
    "Style: Default,Sans,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,1\r\n"
    "\r\n"
    "[Events]\r\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

// Width and height from the access unit's sequence parameter set, for a
// recording whose header does not give them (the MP4 sample entry needs them).
void FillDimensions(AVCodecParameters* par, const uint8_t* data, size_t size) {
    AVCodecParserContext* parser = av_parser_init(par->codec_id);
    AVCodecContext* context = avcodec_alloc_context3(nullptr);
    if (parser && context) {
        parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE);  // parsers read past the end
        std::memcpy(padded.data(), data, size);
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser, context, &out, &outSize, padded.data(), static_cast<int>(size), AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        av_parser_parse2(parser, context, &out, &outSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (parser->width > 0 && parser->height > 0) {
            par->width = parser->width;
            par->height = parser->height;
        }
    }
    if (parser) av_parser_close(parser);
    avcodec_free_context(&context);
}

}  // namespace

std::unique_ptr<Mp4Writer> Mp4Writer::Create(const std::string& path, std::string& error) {
    // The AAC encoder reports its statistics at the info level whenever it
    // closes; only errors belong on a command line's standard error.
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
    std::unique_ptr<Mp4Writer> w(new Mp4Writer);
    int r = avformat_alloc_output_context2(&w->format_, nullptr, "mp4", path.c_str());
    if (r < 0 || !w->format_) {
        error = "cannot set up the MP4 muxer: " + AvErrorText(r);
        return nullptr;
    }
    r = avio_open(&w->format_->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        error = "cannot create the file: " + AvErrorText(r);
        return nullptr;
    }
    w->packet_ = av_packet_alloc();
    if (!w->packet_) {
        error = "out of memory";
        return nullptr;
    }
    return w;
}

Mp4Writer::~Mp4Writer() {
    if (format_) {
        if (format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
    }
    avcodec_free_context(&aac_);
    avcodec_free_context(&text_);
    if (fifo_) av_audio_fifo_free(fifo_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

bool Mp4Writer::Fail(const std::string& what, int averror) {
    if (error_.empty()) error_ = averror < 0 ? what + ": " + AvErrorText(averror) : what;
    return false;
}

int Mp4Writer::AddVideo(const Mp4VideoFormat& format) {
    if (started_) return -1;
    AVStream* st = avformat_new_stream(format_, nullptr);
    if (!st) return -1;
    const int fps = format.frameRate > 0 && format.frameRate <= 1000 ? format.frameRate : 25;
    st->time_base = {1, 1000};
    st->avg_frame_rate = st->r_frame_rate = {fps, 1};
    AVCodecParameters* p = st->codecpar;
    p->codec_type = AVMEDIA_TYPE_VIDEO;
    p->codec_id = format.hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
    p->width = format.width;
    p->height = format.height;
    // "hvc1": parameter sets in the sample entry, as players on phones expect.
    if (format.hevc) p->codec_tag = MKTAG('h', 'v', 'c', '1');
    videos_.push_back({st->index, std::max(1, 1000 / fps), -1});
    return st->index;
}

int Mp4Writer::AddEncodedVideo(const AVCodecContext* encoder) {
    if (started_ || !encoder) return -1;
    AVStream* st = avformat_new_stream(format_, nullptr);
    if (!st || avcodec_parameters_from_context(st->codecpar, encoder) < 0) return -1;
    st->time_base = encoder->time_base;
    st->avg_frame_rate = st->r_frame_rate = encoder->framerate;
    VideoTrack t;
    t.stream = st->index;
    t.encoded = true;
    t.tbNum = encoder->time_base.num;
    t.tbDen = encoder->time_base.den;
    videos_.push_back(t);
    return st->index;
}

bool Mp4Writer::AddAudio(int sampleRate) {
    if (started_ || aac_) return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) return Fail("no AAC encoder", 0);
    aac_ = avcodec_alloc_context3(codec);
    if (!aac_) return Fail("out of memory", 0);
    aac_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    aac_->sample_rate = sampleRate;
    av_channel_layout_default(&aac_->ch_layout, 1);
    aac_->bit_rate = 32000;
    aac_->time_base = {1, sampleRate};
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) aac_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(aac_, codec, nullptr);
    if (r < 0) return Fail("cannot open the AAC encoder", r);
    AVStream* st = avformat_new_stream(format_, nullptr);
    if (!st) return Fail("out of memory", 0);
    r = avcodec_parameters_from_context(st->codecpar, aac_);
    if (r < 0) return Fail("cannot set up the sound stream", r);
    st->time_base = aac_->time_base;
    audioStream_ = st->index;

    fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 1, aac_->frame_size);
    frame_ = av_frame_alloc();
    if (!fifo_ || !frame_) return Fail("out of memory", 0);
    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->nb_samples = aac_->frame_size;
    frame_->sample_rate = sampleRate;
    av_channel_layout_copy(&frame_->ch_layout, &aac_->ch_layout);
    r = av_frame_get_buffer(frame_, 0);
    return r >= 0 || Fail("out of memory", r);
}

bool Mp4Writer::AddSubtitles() {
    if (started_ || text_) return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MOV_TEXT);
    if (!codec) return Fail("no mov_text encoder", 0);
    text_ = avcodec_alloc_context3(codec);
    if (!text_) return Fail("out of memory", 0);
    text_->time_base = {1, 1000};
    text_->subtitle_header = reinterpret_cast<uint8_t*>(av_strdup(kAssHeader));  // freed with the context
    if (!text_->subtitle_header) return Fail("out of memory", 0);
    text_->subtitle_header_size = static_cast<int>(std::strlen(kAssHeader));
    int r = avcodec_open2(text_, codec, nullptr);
    if (r < 0) return Fail("cannot open the mov_text encoder", r);
    AVStream* st = avformat_new_stream(format_, nullptr);
    if (!st) return Fail("out of memory", 0);
    r = avcodec_parameters_from_context(st->codecpar, text_);
    if (r < 0) return Fail("cannot set up the subtitle stream", r);
    st->time_base = {1, 1000};
    textStream_ = st->index;
    return true;
}

void Mp4Writer::SetCreationTime(int64_t utcSeconds) {
    std::time_t t = static_cast<std::time_t>(utcSeconds);
    std::tm tm{};
    char text[40];
    if (!gmtime_r(&t, &tm) || !std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &tm)) return;
    av_dict_set(&format_->metadata, "creation_time", text, 0);
}

void Mp4Writer::AddChapter(int64_t startMs, int64_t endMs, const std::string& title) {
    auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (!chapter) return;
    auto** grown = static_cast<AVChapter**>(
        av_realloc_array(format_->chapters, format_->nb_chapters + 1, sizeof(AVChapter*)));
    if (!grown) {
        av_free(chapter);
        return;
    }
    format_->chapters = grown;
    grown[format_->nb_chapters++] = chapter;  // freed with the format context
    chapter->id = format_->nb_chapters;
    chapter->time_base = {1, 1000};
    chapter->start = startMs;
    chapter->end = std::max(startMs, endMs);
    av_dict_set(&chapter->metadata, "title", title.c_str(), 0);
}

bool Mp4Writer::Start() {
    if (started_) return true;
    if (finished_ || !error_.empty()) return false;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    int r = avformat_write_header(format_, &options);
    av_dict_free(&options);
    if (r < 0) return Fail("cannot write the MP4 header", r);
    started_ = true;
    return true;
}

// Hands the packet (times in num/den) to the muxer, which interleaves the streams.
bool Mp4Writer::Send(int stream, int num, int den) {
    packet_->stream_index = stream;
    av_packet_rescale_ts(packet_, AVRational{num, den}, format_->streams[stream]->time_base);
    int r = av_interleaved_write_frame(format_, packet_);
    return r >= 0 || Fail("cannot write to the file", r);
}

bool Mp4Writer::WriteVideo(int stream, const uint8_t* data, size_t size, int64_t ms, bool key) {
    auto track = std::find_if(videos_.begin(), videos_.end(), [&](const VideoTrack& t) { return t.stream == stream; });
    if (track == videos_.end() || size == 0 || size > INT32_MAX) return false;
    AVCodecParameters* par = format_->streams[stream]->codecpar;
    if (!started_ && (par->width <= 0 || par->height <= 0)) FillDimensions(par, data, size);
    if (!Start()) return false;
    // Times that run backwards (a recorder clock set back) would be refused.
    const int64_t pts = std::max(ms, track->lastMs + 1);
    track->lastMs = pts;
    av_packet_unref(packet_);
    packet_->data = const_cast<uint8_t*>(data);  // not reference-counted: the muxer copies it
    packet_->size = static_cast<int>(size);
    packet_->flags = key ? AV_PKT_FLAG_KEY : 0;
    packet_->pts = packet_->dts = pts;
    packet_->duration = track->frameMs;
    return Send(stream, 1, 1000);
}

bool Mp4Writer::WritePacket(int stream, AVPacket* packet) {
    auto track = std::find_if(videos_.begin(), videos_.end(),
                              [&](const VideoTrack& t) { return t.stream == stream && t.encoded; });
    if (track == videos_.end() || !packet) return false;
    if (!Start()) return false;
    av_packet_unref(packet_);
    av_packet_move_ref(packet_, packet);
    return Send(stream, track->tbNum, track->tbDen);
}

bool Mp4Writer::EncodeAudio(AVFrame* frame) {
    int r = avcodec_send_frame(aac_, frame);
    if (r < 0) return Fail("cannot encode the sound", r);
    while ((r = avcodec_receive_packet(aac_, packet_)) >= 0) {
        if (!Send(audioStream_, 1, aac_->sample_rate)) return false;
    }
    return r == AVERROR(EAGAIN) || r == AVERROR_EOF || Fail("cannot encode the sound", r);
}

// Encodes whole AAC frames from the queue; with `all`, the rest too, padded
// with silence to a whole frame.
bool Mp4Writer::EncodeQueuedAudio(bool all) {
    while (av_audio_fifo_size(fifo_) >= aac_->frame_size || (all && av_audio_fifo_size(fifo_) > 0)) {
        int r = av_frame_make_writable(frame_);
        if (r < 0) return Fail("out of memory", r);
        int n = av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), aac_->frame_size);
        if (n < 0) return Fail("cannot queue the sound", n);
        if (n < aac_->frame_size) av_samples_set_silence(frame_->data, n, aac_->frame_size - n, 1, AV_SAMPLE_FMT_FLTP);
        frame_->pts = nextSample_;
        nextSample_ += aac_->frame_size;
        if (!EncodeAudio(frame_)) return false;
    }
    return true;
}

bool Mp4Writer::WriteAudio(const int16_t* pcm, size_t samples, int64_t ms) {
    if (audioStream_ < 0 || samples == 0) return true;
    if (samples > 1u << 20 || !Start()) return false;
    const int rate = aac_->sample_rate;
    const int64_t at = ms * rate / 1000;
    const int64_t queuedEnd = nextSample_ + av_audio_fifo_size(fifo_);
    if (nextSample_ < 0) {
        nextSample_ = std::max<int64_t>(at, 0);
    } else if (at > queuedEnd + rate || at < queuedEnd - rate) {
        // More than a second away from where the sound stands: a gap between
        // recordings. What is queued ends here; the sound goes on at `at`.
        if (!EncodeQueuedAudio(true)) return false;
        nextSample_ = std::max(at, nextSample_);
    }
    std::vector<float> floats(samples);
    for (size_t i = 0; i < samples; ++i) floats[i] = static_cast<float>(pcm[i]) / 32768.0f;
    void* planes[1] = {floats.data()};
    if (av_audio_fifo_write(fifo_, planes, static_cast<int>(samples)) < static_cast<int>(samples)) {
        return Fail("cannot queue the sound", 0);
    }
    return EncodeQueuedAudio(false);
}

bool Mp4Writer::WriteSubtitle(const std::string& text, int64_t startMs, int64_t endMs) {
    if (textStream_ < 0) return true;
    if (!Start()) return false;
    // ReadOrder, Layer, Style, Name, MarginL, MarginR, MarginV, Effect, Text
    std::string dialogue = "0,0,Default,,0,0,0,," + text;
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_ASS;
    rect.ass = dialogue.data();
    AVSubtitleRect* rects[1] = {&rect};
    AVSubtitle subtitle{};
    subtitle.num_rects = 1;
    subtitle.rects = rects;
    subtitle.end_display_time = static_cast<uint32_t>(std::max<int64_t>(endMs - startMs, 0));
    uint8_t encoded[1024];
    int n = avcodec_encode_subtitle(text_, encoded, sizeof encoded, &subtitle);
    if (n < 0) return Fail("cannot encode the subtitle", n);
    av_packet_unref(packet_);
    int r = av_new_packet(packet_, n);
    if (r < 0) return Fail("out of memory", r);
    std::memcpy(packet_->data, encoded, static_cast<size_t>(n));
    packet_->pts = packet_->dts = startMs;
    packet_->duration = endMs - startMs;
    return Send(textStream_, 1, 1000);
}

bool Mp4Writer::Finish() {
    if (finished_) return error_.empty();
    finished_ = true;
    bool ok = started_ || Fail("nothing was written", 0);
    if (started_) {
        if (aac_) ok = EncodeQueuedAudio(true) && EncodeAudio(nullptr);
        // The index is written even after a failed write, so that what made it
        // to the file stays playable.
        int r = av_write_trailer(format_);
        if (r < 0) ok = Fail("cannot finish the file", r);
    }
    int r = avio_closep(&format_->pb);
    if (r < 0) ok = Fail("cannot close the file", r);
    return ok && error_.empty();
}

}  // namespace corvane
