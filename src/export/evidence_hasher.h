#pragma once
// The SHA-256 of the files an export names in its manifest, worked out on a
// thread of its own while the export goes on: the recordings it will read
// (known before the first frame) and each output file as soon as it is
// closed. The manifest then waits only for what is left, and hashes a file
// still queued on its own thread rather than wait for the queue to reach it.
//
// A file is hashed once it is final: an MP4 file is rewritten when it is
// closed (its index moves ahead of the data), so it is added after that.
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/sha256.h"

namespace corvane {

class EvidenceHasher {
public:
    EvidenceHasher();
    // Drops what is still queued, gives up the file being hashed and joins the thread.
    ~EvidenceHasher();
    EvidenceHasher(const EvidenceHasher&) = delete;
    EvidenceHasher& operator=(const EvidenceHasher&) = delete;

    // Queues the file; one already added is not hashed again.
    void Add(const std::string& path);
    // The file's size and SHA-256 (empty when it cannot be read): waits for a
    // file being hashed, hashes one queued or never added on the caller's thread.
    std::optional<FileDigest> Digest(const std::string& path);

private:
    enum class State { kQueued, kHashing, kDone };
    struct Entry {
        State state = State::kQueued;
        std::optional<FileDigest> digest;
    };
    void Work();
    std::optional<FileDigest> HashOutsideLock(std::unique_lock<std::mutex>& lock, const std::string& path);

    std::mutex mutex_;
    std::condition_variable cv_;  // an entry was queued or finished, or closing_ was set
    std::map<std::string, Entry> entries_;
    std::vector<std::string> queue_;  // in the order added; entries taken by Digest are skipped
    size_t next_ = 0;                 // the first of queue_ not yet taken
    std::atomic<bool> closing_{false};  // set under mutex_; read without it while hashing
    std::thread thread_;  // last: started once the members above exist
};

}  // namespace corvane
