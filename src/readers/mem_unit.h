#pragma once
// One frame record: a 512000-byte buffer whose first 22 bytes are the record
// header, followed by the payload. A payload that does not fit (the key frames
// of 4K video run to megabytes) gets a buffer of its own size, up to
// kLargestPayload; a longer one is not read.
//
//   0  u32  sync 0x55667788
//   4  u32  sync 0x11223344
//   8  u8   kind: record type in the high nibble, channel in the low nibble
//   9  u8   frame flag (video: 1 = key frame)
//  10  u32  payload length as stored in the file
//  14  u64  timestamp, milliseconds
//  22       payload
#include <cstddef>
#include <cstdint>

namespace corvane {

constexpr uint32_t kSync1 = 0x55667788;
constexpr uint32_t kSync2 = 0x11223344;
constexpr size_t kUnitSize = 512000;
constexpr size_t kRecordHeaderSize = 22;
constexpr size_t kMaxPayload = kUnitSize - kRecordHeaderSize;
constexpr size_t kLargestPayload = 4 * 1024 * 1024;

enum RecordType : uint8_t { kTypeVideo = 1, kTypeAudio = 2, kTypeGps = 4 };

struct RecordHeader {
    uint8_t kind = 0;
    uint8_t flag = 0;
    uint32_t length = 0;
    uint64_t timestamp = 0;

    uint8_t Type() const { return kind >> 4; }
    uint8_t Channel() const { return kind & 0x0F; }
    static RecordHeader Parse(const uint8_t* bytes);  // ignores the sync words
    void Store(uint8_t* bytes) const;                 // writes the sync words too
};

class CxMemUnit {
public:
    // A buffer of kUnitSize bytes, or one that holds `payload` bytes behind
    // the header (at most kLargestPayload).
    explicit CxMemUnit(size_t payload = kMaxPayload);
    virtual ~CxMemUnit();
    CxMemUnit(const CxMemUnit&) = delete;
    CxMemUnit& operator=(const CxMemUnit&) = delete;

    uint8_t* Buffer() { return buffer_; }
    const uint8_t* Buffer() const { return buffer_; }
    uint32_t Used() const { return used_; }
    size_t Capacity() const { return capacity_; }
    void SetUsed(uint32_t used) { used_ = used <= capacity_ ? used : static_cast<uint32_t>(capacity_); }

    RecordHeader Header() const { return RecordHeader::Parse(buffer_); }
    const uint8_t* Payload() const { return buffer_ + kRecordHeaderSize; }
    uint32_t PayloadSize() const { return used_ > kRecordHeaderSize ? used_ - static_cast<uint32_t>(kRecordHeaderSize) : 0; }

private:
    size_t capacity_;
    uint8_t* buffer_;
    uint32_t used_ = 0;
};

}  // namespace corvane
