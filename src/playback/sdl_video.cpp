#include "playback/sdl_video.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>

namespace corvane {

std::mutex& SdlInitMutex() {
    static std::mutex m;
    return m;
}

void SdlQuitSubSystem(uint32_t flags) {
    SDL_QuitSubSystem(flags);
    // The last one out frees what SDL keeps beyond its subsystems (hints).
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

SdlVideo::SdlVideo() {
    thread_ = std::thread([this] { Loop(); });
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return started_; });
}

SdlVideo::~SdlVideo() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

bool SdlVideo::Ok() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ok_;
}

void SdlVideo::Run(const std::function<void()>& task) {
    if (std::this_thread::get_id() == thread_.get_id()) {
        task();
        return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back([&task, &done] {
            task();
            done.set_value();
        });
    }
    cv_.notify_all();
    finished.wait();
}

void SdlVideo::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        presentWanted_ = true;
    }
    cv_.notify_all();
}

void SdlVideo::Loop() {
    bool ok;
    {
        std::lock_guard<std::mutex> init(SdlInitMutex());
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
        // Lets the OpenGL renderer take over windows made by SDL_CreateWindowFrom.
        SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
        ok = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ok_ = ok;
        started_ = true;
    }
    cv_.notify_all();

    auto lastPump = std::chrono::steady_clock::now();
    while (true) {
        std::deque<std::function<void()>> tasks;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait_for(lock, std::chrono::milliseconds(50),
                         [this] { return quit_ || presentWanted_ || !tasks_.empty(); });
            if (quit_ && tasks_.empty()) break;
            tasks.swap(tasks_);
            presentWanted_ = false;
        }
        for (auto& task : tasks) task();
        for (SdlVideoOutput* out : outputs_) out->PresentPending();
        // SDL reads the X events of the windows it took over only when asked;
        // nobody here wants them, so they are read and dropped.
        auto now = std::chrono::steady_clock::now();
        if (ok && now - lastPump > std::chrono::milliseconds(50)) {
            SDL_PumpEvents();
            SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
            lastPump = now;
        }
    }
    if (ok) {
        std::lock_guard<std::mutex> init(SdlInitMutex());
        SdlQuitSubSystem(SDL_INIT_VIDEO);
    }
}

SdlVideoOutput::SdlVideoOutput(SdlVideo& video, SdlTarget target) : video_(video), target_(target) {
    video_.Run([this] { video_.outputs_.push_back(this); });
}

SdlVideoOutput::~SdlVideoOutput() {
    video_.Run([this] {
        DestroyObjects();
        auto& list = video_.outputs_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    });
}

void SdlVideoOutput::SetTarget(SdlTarget target) {
    video_.Run([this, target] { target_ = target; });
}

bool SdlVideoOutput::Create(int width, int height, bool* accelerated) {
    if (targetProvider) target_ = targetProvider();  // before Run, which orders it for the video thread
    bool ok = false;
    video_.Run([&] { ok = CreateObjects(width, height, accelerated); });
    return ok;
}

void SdlVideoOutput::Destroy() {
    video_.Run([this] { DestroyObjects(); });
    std::lock_guard<std::mutex> lock(slotMutex_);
    pendingFull_ = false;
    takenCv_.notify_all();
}

bool SdlVideoOutput::CreateObjects(int width, int height, bool* accelerated) {
    DestroyObjects();
    if (!video_.ok_ || width <= 0 || height <= 0) return false;
    if (target_.nativeWindow) {
        window_ = SDL_CreateWindowFrom(reinterpret_cast<const void*>(target_.nativeWindow));
    } else {
        window_ = SDL_CreateWindow("channel", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                   std::max(1, target_.width), std::max(1, target_.height), SDL_WINDOW_HIDDEN);
    }
    if (!window_) return false;
    SDL_ShowWindow(window_);
    bool accel = true;
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED);
    if (!renderer_) {
        accel = false;
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    }
    if (!renderer_) {
        DestroyObjects();
        return false;
    }
    if (accelerated) *accelerated = accel;
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_YV12, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture_) {
        DestroyObjects();
        return false;
    }
    textureWidth_ = width;
    textureHeight_ = height;
    return true;
}

void SdlVideoOutput::DestroyObjects() {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
    textureWidth_ = textureHeight_ = 0;
}

void SdlVideoOutput::Present(const PictureRef& p) {
    if (p.width <= 0 || p.height <= 0 || !p.plane[0] || !p.plane[1] || !p.plane[2]) return;
    {
        std::lock_guard<std::mutex> lock(slotMutex_);
        const int w = p.width, h = p.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
        pending_.resize(size_t(w) * h + 2 * size_t(cw) * ch);
        uint8_t* y = pending_.data();
        for (int r = 0; r < h; ++r) std::memcpy(y + size_t(r) * w, p.plane[0] + size_t(r) * p.pitch[0], size_t(w));
        // The source has w / 2 by h / 2 chroma samples; an odd size leaves a
        // last column or row, which is filled with neutral chroma.
        for (int c = 1; c <= 2; ++c) {
            uint8_t* dst = y + size_t(w) * h + size_t(c - 1) * cw * ch;
            std::memset(dst, 128, size_t(cw) * ch);
            for (int r = 0; r < h / 2; ++r)
                std::memcpy(dst + size_t(r) * cw, p.plane[c] + size_t(r) * p.pitch[c], size_t(w / 2));
        }
        pendingWidth_ = w;
        pendingHeight_ = h;
        pendingFull_ = true;
    }
    video_.Wake();
}

void SdlVideoOutput::PresentPending() {
    int w, h;
    {
        std::lock_guard<std::mutex> lock(slotMutex_);
        if (!pendingFull_) return;
        uploading_.swap(pending_);
        w = pendingWidth_;
        h = pendingHeight_;
        pendingFull_ = false;
        takenCv_.notify_all();
    }
    if (renderer_ && texture_) {
        // A picture of another size than the reader announced gets a texture
        // of its own size.
        if (w != textureWidth_ || h != textureHeight_) {
            SDL_DestroyTexture(texture_);
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_YV12, SDL_TEXTUREACCESS_STREAMING, w, h);
            textureWidth_ = texture_ ? w : 0;
            textureHeight_ = texture_ ? h : 0;
        }
        if (texture_) {
            const int cw = (w + 1) / 2, ch = (h + 1) / 2;
            const uint8_t* y = uploading_.data();
            const uint8_t* u = y + size_t(w) * h;
            const uint8_t* v = u + size_t(cw) * ch;
            SDL_UpdateYUVTexture(texture_, nullptr, y, w, u, cw, v, cw);
            SDL_RenderClear(renderer_);
            SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
            SDL_RenderPresent(renderer_);
            ++presented_;
        }
    }
}

void SdlVideoOutput::Flush() {
    {
        std::unique_lock<std::mutex> lock(slotMutex_);
        takenCv_.wait(lock, [this] { return !pendingFull_; });
    }
    video_.Run([] {});
}

uint64_t SdlVideoOutput::Presented() {
    uint64_t n = 0;
    video_.Run([&] { n = presented_; });
    return n;
}

bool SdlVideoOutput::ReadPixels(std::vector<uint32_t>& pixels, int& width, int& height) {
    bool ok = false;
    video_.Run([&] {
        if (!renderer_ || !texture_) return;
        if (SDL_GetRendererOutputSize(renderer_, &width, &height) != 0 || width <= 0 || height <= 0) return;
        pixels.assign(size_t(width) * height, 0);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        ok = SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(), width * 4) == 0;
    });
    return ok;
}

std::unique_ptr<VideoOutput> SdlVideoOutputFactory::NewOutput(int channel) {
    auto output = std::make_unique<SdlVideoOutput>(video_, SdlTarget{});
    if (target_) output->targetProvider = [this, channel] { return target_(channel); };
    return output;
}

}  // namespace corvane
