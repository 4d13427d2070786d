#include "playback/frame_shedding.h"

namespace corvane {

FrameShedding::Action FrameShedding::Next(bool keyFrame, uint64_t lagMs, uint64_t frameMs) {
    if (frameMs == 0) frameMs = 40;
    const uint64_t frames = lagMs / frameMs;
    if (keyFrame) {
        // Decoding starts again from here; it stays at key frames only while
        // still far behind, so that the pictures after this one are dropped.
        level_ = frames >= kKeyFrameLag ? Level::kKeyFrames : frames >= kNonReferenceLag ? Level::kNonReference
                                                                                          : Level::kFull;
        return Action::kDecode;
    }
    if (level_ == Level::kKeyFrames || frames >= kKeyFrameLag) {
        level_ = Level::kKeyFrames;
        return Action::kDrop;
    }
    level_ = frames >= kNonReferenceLag ? Level::kNonReference : Level::kFull;
    return level_ == Level::kNonReference ? Action::kDecodeReferencesOnly : Action::kDecode;
}

}  // namespace corvane
