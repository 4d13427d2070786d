#pragma once
// SDL2 video output. SDL video objects must all be created, used and destroyed
// on one thread (re-creating one channel's renderer while another thread
// presents a second channel crashes inside the GL driver), so SdlVideo runs a
// video thread that owns every SDL window, renderer and texture. Decoding
// threads hand an output their newest picture; the video thread uploads and
// presents it. The GUI thread asks for creation and destruction and waits for
// the video thread to carry them out.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "playback/video_output.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

namespace corvane {

class SdlVideoOutput;

// Serialises SDL_InitSubSystem/SDL_QuitSubSystem between the video thread
// and the sound device.
std::mutex& SdlInitMutex();
// SDL_QuitSubSystem, and SDL_Quit once nothing is initialised any more; call
// with SdlInitMutex held.
void SdlQuitSubSystem(uint32_t flags);

class SdlVideo {
public:
    // Starts the video thread, which initialises SDL video (the driver chosen
    // by SDL, or SDL_VIDEODRIVER).
    SdlVideo();
    // Every output must be gone before.
    ~SdlVideo();
    SdlVideo(const SdlVideo&) = delete;
    SdlVideo& operator=(const SdlVideo&) = delete;

    // False when SDL video could not be initialised; every Create then fails.
    bool Ok();
    // Runs `task` on the video thread and returns when it has run.
    void Run(const std::function<void()>& task);
    // A picture waits to be presented.
    void Wake();

private:
    friend class SdlVideoOutput;
    void Loop();

    std::thread thread_;
    std::mutex mutex_;  // guards the fields below; any thread
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    bool presentWanted_ = false;
    bool quit_ = false;
    bool started_ = false;
    bool ok_ = false;

    std::vector<SdlVideoOutput*> outputs_;  // video thread only
};

// Where an output shows its pictures: a native window taken over with
// SDL_CreateWindowFrom (an X11 window id), or, when that is 0, a window of
// SDL's own of the given size (used with SDL's dummy driver in tests).
struct SdlTarget {
    uintptr_t nativeWindow = 0;
    int width = 0;
    int height = 0;
};

class SdlVideoOutput : public VideoOutput {
public:
    SdlVideoOutput(SdlVideo& video, SdlTarget target);
    ~SdlVideoOutput() override;

    bool Create(int width, int height, bool* accelerated) override;
    void Destroy() override;
    void Present(const PictureRef& picture) override;

    // Takes effect at the next Create (the GUI thread re-creates the output
    // after a size change).
    void SetTarget(SdlTarget target);
    // When set, asked for the target at every Create (GUI thread): the native
    // window may not exist yet when the output is made, and its size changes.
    std::function<SdlTarget()> targetProvider;
    // For tests: renders the current texture once more and reads the pixels
    // back as 0xAARRGGBB. False when there is nothing to read.
    bool ReadPixels(std::vector<uint32_t>& pixels, int& width, int& height);
    // Waits until every picture handed over so far has been presented.
    void Flush();
    uint64_t Presented();

private:
    friend class SdlVideo;
    // Video thread only.
    bool CreateObjects(int width, int height, bool* accelerated);
    void DestroyObjects();
    void PresentPending();

    SdlVideo& video_;
    SdlTarget target_;  // GUI thread writes, video thread reads inside Run (ordered by it)

    // Video thread only.
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0, textureHeight_ = 0;
    std::vector<uint8_t> uploading_;
    uint64_t presented_ = 0;

    // The newest picture, packed (Y, then U and V of (w+1)/2 x (h+1)/2):
    // written by the presenting thread, taken by the video thread.
    std::mutex slotMutex_;
    std::vector<uint8_t> pending_;
    int pendingWidth_ = 0, pendingHeight_ = 0;
    bool pendingFull_ = false;
    std::condition_variable takenCv_;  // pendingFull_ went false
};

class SdlVideoOutputFactory : public VideoOutputFactory {
public:
    // `target` gives the target of each channel window.
    SdlVideoOutputFactory(SdlVideo& video, std::function<SdlTarget(int channel)> target)
        : video_(video), target_(std::move(target)) {}
    std::unique_ptr<VideoOutput> NewOutput(int channel) override;

private:
    SdlVideo& video_;
    std::function<SdlTarget(int)> target_;
};

}  // namespace corvane
