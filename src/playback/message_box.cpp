#include "playback/message_box.h"

namespace corvane {

void CapturedMessageBoxes::Show(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.push_back(text);
}

std::vector<std::string> CapturedMessageBoxes::Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

}  // namespace corvane
