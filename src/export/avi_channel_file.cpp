// The channel in an AVI file: 8000 Hz 16-bit mono sound, frames in the order
// they come (the AVI has no time stamps, so gaps close up).
#include <cerrno>
#include <system_error>

#include "export/avi_writer.h"
#include "export/channel_file.h"

namespace corvane {
namespace {

class AviChannelFile : public ChannelFile {
public:
    explicit AviChannelFile(std::unique_ptr<AviWriter> avi) : avi_(std::move(avi)) {}

    void SetVideo(const ChannelFormat& f) override {
        AVI_set_video(avi_.get(), f.width, f.height, f.frameRate, f.hevc ? "HEVC" : "H264");
        videoSet_ = true;
    }
    bool WriteVideo(const uint8_t* data, size_t size, bool, int64_t) override {
        return Check(AVI_write_frame(avi_.get(), data, size));
    }
    bool WriteAudio(const int16_t* pcm, size_t samples, int64_t) override {
        return Check(AVI_write_audio(avi_.get(), pcm, samples * 2));
    }
    void AddAlarm(int64_t, int64_t, const std::string&) override {}
    bool Close() override {
        if (!videoSet_) AVI_set_video(avi_.get(), 0, 0, 0, "H264");  // no reader of this channel in the range
        return Check(AVI_close_output_file(avi_.get()));
    }
    uint32_t VideoFrames() const override { return static_cast<uint32_t>(avi_->videoFrames); }
    uint64_t AudioBytes() const override { return static_cast<uint32_t>(avi_->audioBytes); }
    std::string Failure() const override { return AVI_error_text(error_); }
    bool SizeLimitReached() const override { return error_ == kAviErrSizeLimit; }

private:
    // The first failure is the one reported.
    bool Check(int result) {
        if (result != 0 && error_ == kAviErrNone) error_ = AVI_last_error();
        return result == 0;
    }

    std::unique_ptr<AviWriter> avi_;
    bool videoSet_ = false;
    int error_ = kAviErrNone;
};

}  // namespace

std::unique_ptr<ChannelFile> CreateAviChannelFile(const std::string& path, uint32_t sizeLimit, std::string& error) {
    std::unique_ptr<AviWriter> avi = AVI_open_output_file(path);
    if (!avi) {
        error = "cannot create the file: " + std::error_code(errno, std::generic_category()).message();
        return nullptr;
    }
    avi->sizeLimit = sizeLimit;
    AVI_set_audio(avi.get(), 1, 8000, 16, 1);
    return std::make_unique<AviChannelFile>(std::move(avi));
}

}  // namespace corvane
