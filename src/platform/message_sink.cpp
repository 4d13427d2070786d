#include "platform/message_sink.h"

namespace corvane {

void QueueMessageSink::Post(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({id, wParam, lParam});
}

std::optional<PostedMessage> QueueMessageSink::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    PostedMessage m = queue_.front();
    queue_.pop_front();
    return m;
}

size_t QueueMessageSink::Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

}  // namespace corvane
