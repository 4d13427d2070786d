#include "readers/mem_unit.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "readers/byte_order.h"

namespace corvane {
namespace {

// Every record gets a fresh unit, so buffers come and go at the frame rate of
// every channel. Buffers this large would each be mapped and unmapped by the
// C library, with the kernel zeroing their pages every time; a small cache of
// freed buffers keeps reading at file-copy speed.
class BufferCache {
public:
    uint8_t* Get() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                uint8_t* b = free_.back();
                free_.pop_back();
                ASAN_UNPOISON_MEMORY_REGION(b, kUnitSize);
                return b;
            }
        }
        auto* b = static_cast<uint8_t*>(std::malloc(kUnitSize));
        if (!b) throw std::bad_alloc();
        return b;
    }
    void Put(uint8_t* b) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (free_.size() < kMaxCached) {
                // A unit used after its destruction is still found by the
                // address sanitizer while its buffer waits here.
                ASAN_POISON_MEMORY_REGION(b, kUnitSize);
                free_.push_back(b);
                return;
            }
        }
        std::free(b);
    }
    ~BufferCache() {
        for (uint8_t* b : free_) {
            ASAN_UNPOISON_MEMORY_REGION(b, kUnitSize);
            std::free(b);
        }
    }

private:
    static constexpr size_t kMaxCached = 64;  // 32 MB at most
    std::mutex mutex_;
    std::vector<uint8_t*> free_;
};

BufferCache& Cache() {
    static BufferCache* cache = new BufferCache;  // outlives units freed during exit
    return *cache;
}

}  // namespace

RecordHeader RecordHeader::Parse(const uint8_t* b) {
    RecordHeader h;
    h.kind = b[8];
    h.flag = b[9];
    h.length = GetU32(b + 10);
    h.timestamp = GetU64(b + 14);
    return h;
}

void RecordHeader::Store(uint8_t* b) const {
    PutU32(b, kSync1);
    PutU32(b + 4, kSync2);
    b[8] = kind;
    b[9] = flag;
    PutU32(b + 10, length);
    PutU64(b + 14, timestamp);
}

namespace {

uint8_t* Allocate(size_t capacity) {
    if (capacity == kUnitSize) return Cache().Get();
    auto* b = static_cast<uint8_t*>(std::malloc(capacity));
    if (!b) throw std::bad_alloc();
    return b;
}

}  // namespace

CxMemUnit::CxMemUnit(size_t payload)
    : capacity_(payload <= kMaxPayload ? kUnitSize : kRecordHeaderSize + std::min(payload, kLargestPayload)),
      buffer_(Allocate(capacity_)) {}

CxMemUnit::~CxMemUnit() {
    if (capacity_ == kUnitSize) Cache().Put(buffer_);
    else std::free(buffer_);
}

}  // namespace corvane
