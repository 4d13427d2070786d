#include "export/evidence_hasher.h"

#include <system_error>

namespace corvane {

EvidenceHasher::EvidenceHasher() {
    try {
        thread_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
        // Without the thread Digest hashes every file itself.
    }
}

EvidenceHasher::~EvidenceHasher() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void EvidenceHasher::Add(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!entries_.emplace(path, Entry{}).second) return;
        queue_.push_back(path);
    }
    cv_.notify_all();
}

// Marks the entry being hashed, hashes without the lock, stores the result.
std::optional<FileDigest> EvidenceHasher::HashOutsideLock(std::unique_lock<std::mutex>& lock, const std::string& path) {
    entries_[path].state = State::kHashing;
    lock.unlock();
    std::optional<FileDigest> digest = Sha256OfFile(path, &closing_);
    lock.lock();
    Entry& e = entries_[path];
    e.digest = digest;
    e.state = State::kDone;
    cv_.notify_all();
    return digest;
}

void EvidenceHasher::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return closing_ || next_ < queue_.size(); });
        if (closing_) return;
        const std::string path = queue_[next_++];
        if (entries_[path].state == State::kQueued) HashOutsideLock(lock, path);
    }
}

std::optional<FileDigest> EvidenceHasher::Digest(const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto it = entries_.find(path);
    if (it == entries_.end() || it->second.state == State::kQueued) return HashOutsideLock(lock, path);
    cv_.wait(lock, [&] { return it->second.state == State::kDone; });
    return it->second.digest;
}

}  // namespace corvane
