#pragma once
// An MP4 file written by libavformat: video access units copied as they are
// (H.264, or H.265 tagged "hvc1"), 16-bit mono PCM encoded to AAC, a mov_text
// subtitle track, chapters and the file's creation time. The moov box is
// moved ahead of the data when the file is finished ("faststart").
//
// Every time given to the writer is in milliseconds from the start of the
// file; gaps between them stay gaps in the file.
//
// Video encoded by the caller (the mosaic) goes through AddEncodedVideo and
// WritePacket instead, with the encoder's own time base.
//
// Calling order: Create; AddVideo or AddEncodedVideo, AddAudio, AddSubtitles, SetCreationTime and
// AddChapter as needed; the Write calls (the header is written before the
// first packet); Finish. A writer destroyed without Finish leaves the file
// incomplete.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVAudioFifo;
struct AVFrame;
struct AVPacket;

namespace corvane {

struct Mp4VideoFormat {
    bool hevc = false;
    int width = 0, height = 0;
    int frameRate = 25;
};

class Mp4Writer {
public:
    // Creates (truncates) the file; null with `error` set when it cannot.
    static std::unique_ptr<Mp4Writer> Create(const std::string& path, std::string& error);
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;

    // The index of the new stream, or -1.
    int AddVideo(const Mp4VideoFormat& format);
    // A stream for the packets of an opened encoder (its parameters, global
    // header and time base); the index of the new stream, or -1.
    int AddEncodedVideo(const AVCodecContext* encoder);
    bool AddAudio(int sampleRate);
    bool AddSubtitles();
    void SetCreationTime(int64_t utcSeconds);
    void AddChapter(int64_t startMs, int64_t endMs, const std::string& title);

    // The first access unit of a stream must begin with its parameter sets
    // (the recorder repeats them before every key frame).
    bool WriteVideo(int stream, const uint8_t* data, size_t size, int64_t ms, bool key);
    bool WriteAudio(const int16_t* pcm, size_t samples, int64_t ms);
    // A packet of the AddEncodedVideo stream, times in the encoder's time
    // base; the packet is consumed.
    bool WritePacket(int stream, AVPacket* packet);
    bool WriteSubtitle(const std::string& text, int64_t startMs, int64_t endMs);
    // Encodes the sound still queued, writes the index and closes the file.
    bool Finish();

    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }

private:
    Mp4Writer() = default;
    bool Start();
    bool Fail(const std::string& what, int averror);
    bool EncodeAudio(AVFrame* frame);
    bool EncodeQueuedAudio(bool all);
    bool Send(int stream, int num, int den);

    AVFormatContext* format_ = nullptr;
    AVCodecContext* aac_ = nullptr;
    AVCodecContext* text_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int audioStream_ = -1, textStream_ = -1;
    int64_t nextSample_ = -1;  // pts of the next AAC frame, in samples; -1 before the first
    struct VideoTrack {
        int stream = -1;
        int frameMs = 40;
        int64_t lastMs = -1;  // of the last access unit written
        bool encoded = false;  // AddEncodedVideo: packets come with their times
        int tbNum = 1, tbDen = 1000;  // the encoder's time base
    };
    std::vector<VideoTrack> videos_;
    bool started_ = false, finished_ = false;
    std::string error_;
};

}  // namespace corvane
