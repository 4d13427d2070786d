#include "playback/memory_output.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

void CopyPlane(std::vector<uint8_t>& out, const uint8_t* src, int pitch, int rowBytes, int rows) {
    out.resize(size_t(rowBytes) * size_t(rows));
    if (!src || rowBytes <= 0) return;
    for (int r = 0; r < rows; ++r) std::memcpy(&out[size_t(r) * rowBytes], src + size_t(r) * pitch, size_t(rowBytes));
}

}  // namespace

bool MemoryVideoOutput::Create(int width, int height, bool* accel) {
    if (failCreate.load() || width <= 0 || height <= 0) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    snapshot_ = Snapshot{};
    snapshot_.exists = true;
    snapshot_.textureWidth = width;
    snapshot_.textureHeight = height;
    if (accel) *accel = accelerated.load();
    ++creates;
    return true;
}

void MemoryVideoOutput::Destroy() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (snapshot_.exists) ++destroys;
    snapshot_ = Snapshot{};
}

void MemoryVideoOutput::Present(const PictureRef& p) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!snapshot_.exists || p.width <= 0 || p.height <= 0) return;
    snapshot_.pictureWidth = p.width;
    snapshot_.pictureHeight = p.height;
    CopyPlane(snapshot_.y, p.plane[0], p.pitch[0], p.width, p.height);
    CopyPlane(snapshot_.u, p.plane[1], p.pitch[1], p.width / 2, p.height / 2);
    CopyPlane(snapshot_.v, p.plane[2], p.pitch[2], p.width / 2, p.height / 2);
    ++presents;
}

MemoryVideoOutput::Snapshot MemoryVideoOutput::Current() {
    std::lock_guard<std::mutex> lock(mutex_);
    return snapshot_;
}

std::unique_ptr<VideoOutput> MemoryVideoOutputFactory::NewOutput(int channel) {
    auto out = std::make_unique<MemoryVideoOutput>();
    if (std::find(failing.begin(), failing.end(), channel) != failing.end()) out->failCreate = true;
    std::lock_guard<std::mutex> lock(mutex_);
    if (channel >= 0 && channel < 8) outputs_[channel] = out.get();
    return out;
}

MemoryVideoOutput* MemoryVideoOutputFactory::Output(int channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    return channel >= 0 && channel < 8 ? outputs_[channel] : nullptr;
}

}  // namespace corvane
