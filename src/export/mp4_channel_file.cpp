// The channel in an MP4 file. Times are the recorder's clock from the first
// frame written, so a gap between recordings stays a gap; a subtitle shows
// the recording's date and time for each second that has video.
#include <cstdio>
#include <filesystem>

#include "catalogue/local_time.h"
#include "export/channel_file.h"
#include "export/mp4_writer.h"

namespace corvane {
namespace {

constexpr int kSoundRate = 8000;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

class Mp4ChannelFile : public ChannelFile {
public:
    Mp4ChannelFile(std::unique_ptr<Mp4Writer> mp4, std::string path) : mp4_(std::move(mp4)), path_(std::move(path)) {}

    void SetVideo(const ChannelFormat& f) override { format_ = f; }

    bool WriteVideo(const uint8_t* data, size_t size, bool key, int64_t ms) override {
        if (origin_ < 0 && !Begin(ms)) return false;
        // The first picture goes first: the writer learns what it needs for
        // the header from it.
        if (!mp4_->WriteVideo(video_, data, size, ms - origin_, key)) return false;
        frames_++;
        const int64_t second = FloorDiv(ms, 1000);
        if (second > lastCue_) {
            lastCue_ = second;
            int64_t start = std::max(second * 1000, origin_) - origin_;
            return mp4_->WriteSubtitle(FormatLocalDateTime(second), start, (second + 1) * 1000 - origin_);
        }
        return true;
    }

    bool WriteAudio(const int16_t* pcm, size_t samples, int64_t ms) override {
        if (origin_ < 0 || ms < origin_) return true;  // sound starts with the first picture
        if (!mp4_->WriteAudio(pcm, samples, ms - origin_)) return false;
        audioBytes_ += samples * 2;
        return true;
    }

    void AddAlarm(int64_t startMs, int64_t endMs, const std::string& title) override {
        if (origin_ >= 0) mp4_->AddChapter(startMs - origin_, endMs - origin_, title);
    }

    bool Close() override {
        // An MP4 file without a stream cannot be written at all.
        if (!mp4_->Started()) failure_ = "no video in the range";
        if (mp4_->Finish()) return true;
        // Without its index (written last) an MP4 file cannot be played: a
        // file that was not finished is not left behind to be handed on.
        // (A fragmented file would keep what was written playable, but
        // libavformat writes its index before the first packet: without the
        // parameter sets that the first access unit brings, without the
        // chapters of the alarms, known only at the end, and not faststart.)
        std::error_code ec;
        std::filesystem::remove(path_, ec);
        return false;
    }

    uint32_t VideoFrames() const override { return frames_; }
    uint64_t AudioBytes() const override { return audioBytes_; }
    std::string Failure() const override { return failure_.empty() ? mp4_->Error() : failure_; }

private:
    // The streams and the file's creation time, at the first frame.
    bool Begin(int64_t ms) {
        origin_ = ms;
        Mp4VideoFormat v;
        v.hevc = format_.hevc;
        v.width = format_.width;
        v.height = format_.height;
        v.frameRate = format_.frameRate;
        video_ = mp4_->AddVideo(v);
        if (video_ < 0) return false;
        if (format_.sound && !mp4_->AddAudio(kSoundRate)) return false;
        if (!mp4_->AddSubtitles()) return false;
        mp4_->SetCreationTime(FloorDiv(ms, 1000));
        return true;
    }

    std::unique_ptr<Mp4Writer> mp4_;
    std::string path_;
    ChannelFormat format_;
    int video_ = -1;
    int64_t origin_ = -1;  // ms of the first frame
    int64_t lastCue_ = INT64_MIN;
    uint32_t frames_ = 0;
    uint64_t audioBytes_ = 0;
    std::string failure_;
};

}  // namespace

std::unique_ptr<ChannelFile> CreateMp4ChannelFile(const std::string& path, std::string& error) {
    std::unique_ptr<Mp4Writer> mp4 = Mp4Writer::Create(path, error);
    if (!mp4) return nullptr;
    return std::make_unique<Mp4ChannelFile>(std::move(mp4), path);
}

}  // namespace corvane
