#include "readers/reader_v400.h"

#include "readers/frame_scan.h"

namespace corvane {
namespace {

constexpr uint32_t kMagic = 0x5AFACADA;
constexpr uint64_t kHeaderSize = 100;
constexpr size_t kIndexCountAt = 45;  // u32, unaligned
constexpr int kFirstKeyFrameSearch = 101;
constexpr int kZeroEntriesEnd = 5;
constexpr uint32_t kMaxIndexJump = 2000000;
// One entry per second: more than twelve days in one file is damage, and the
// index must not grow with whatever a damaged count says.
constexpr uint32_t kMaxIndexEntries = 1u << 20;

bool SyncOk(const uint8_t* b) { return GetU32(b) == kSync1 && GetU32(b + 4) == kSync2; }

// Frame headers; all start with the two sync words, the kind byte (type in the
// high nibble, channel in the low nibble) at 8 and the frame flag at 9.
//   0x400 (20 bytes): u16 payload length at 10, u64 timestamp at 12
//   0x401 (22 bytes): u32 payload length at 10, u64 timestamp at 14
//   0x402 (24 bytes): u32 payload length at 12, u64 timestamp at 16
// The fields are filled even when the sync words are wrong.
bool ParseV400(const uint8_t* b, RecordHeader& h) {
    h.kind = b[8];
    h.flag = b[9];
    h.length = GetU16(b + 10);
    h.timestamp = GetU64(b + 12);
    return SyncOk(b);
}

bool ParseV401(const uint8_t* b, RecordHeader& h) {
    h = RecordHeader::Parse(b);
    return SyncOk(b);
}

bool ParseV402(const uint8_t* b, RecordHeader& h) {
    h.kind = b[8];
    h.flag = b[9];
    h.length = GetU32(b + 12);
    h.timestamp = GetU64(b + 16);
    return SyncOk(b);
}

FrameHeaderParser ParserFor(size_t headerSize) {
    return headerSize == 20 ? ParseV400 : headerSize == 22 ? ParseV401 : ParseV402;
}

}  // namespace

CFileReaderV400::CFileReaderV400(int channel, Layout layout) : CxFileReader(channel), layout_(layout) {
    // Consumers read every GPS record as a decoded fix, so all three versions
    // hand out the same form.
    decodesGps_ = true;
}

size_t CFileReaderV400::FrameHeaderSize() const {
    return layout_ == Layout::V400 ? 20 : layout_ == Layout::V401 ? 22 : 24;
}

void CFileReaderV400::Rewind() {
    file_.Seek(static_cast<int64_t>(dataStart_), SeekFrom::Begin);
    index_.SetCurrent(0);  // key-frame steps start from the beginning too
}

bool CFileReaderV400::ReadFrameHeader(RecordHeader& h) {
    uint8_t b[24];
    size_t n = FrameHeaderSize();
    return ReadExact(b, n) && !IsAtEnd() && ParserFor(n)(b, h);
}

// 0x400 and 0x401 take every entry that is not all zero and stop at the fifth
// all-zero one; 0x402 stops at the first entry that is empty, lies outside the
// file or jumps more than 2,000,000 bytes past the previous one (a smaller
// offset counts as a huge jump).
bool CFileReaderV400::LoadIndex(uint32_t count) {
    if (file_.Seek(static_cast<int64_t>(kHeaderSize), SeekFrom::Begin) < 0) return false;
    uint8_t chunk[8 * 512];
    int zeros = 0;
    uint32_t previous = 0;
    for (uint32_t i = 0; i < count;) {
        uint32_t n = count - i < 512 ? count - i : 512;
        if (!ReadExact(chunk, n * 8)) return false;
        for (uint32_t k = 0; k < n; ++k, ++i) {
            if (index_.Count() >= kMaxIndexEntries) return true;
            IndexEntry e{GetU32(chunk + k * 8), GetU32(chunk + k * 8 + 4)};
            bool empty = e.time == 0 && e.offset == 0;
            if (layout_ == Layout::V402) {
                if (fileSize_ < kLargeFileSize && e.offset >= fileSize_) return true;
                if (e.offset - previous > kMaxIndexJump || empty) return true;
                index_.Append(e);
                previous = e.offset;
            } else if (empty) {
                if (++zeros == kZeroEntriesEnd) return true;
            } else {
                index_.Append(e);
            }
        }
    }
    return true;
}

// 0x400 takes the first frame header as it stands; 0x401 the first of up to
// 101 headers that carries the key-frame flag. Neither tests the sync words.
bool CFileReaderV400::FindFirstKeyFrame(uint64_t& timestamp) {
    Rewind();
    uint8_t b[24];
    const size_t n = FrameHeaderSize();
    for (int i = 0; i < kFirstKeyFrameSearch; ++i) {
        RecordHeader h;
        if (!ReadExact(b, n)) return false;
        ParserFor(n)(b, h);
        if (layout_ == Layout::V400 || h.flag == 1) {
            timestamp = h.timestamp;
            return true;
        }
        if (!SkipPayload(h.length)) return false;
    }
    return false;
}

// 0x402 slides over damaged bytes to the next sync words (such steps do not
// count among the 101 headers examined). Reading later starts at the first
// intact header, so a damaged start does not end the recording at once.
bool CFileReaderV400::FindFirstKeyFrameResync(uint64_t& timestamp) {
    uint64_t at = dataStart_;
    bool intactSeen = false;
    uint8_t b[24];
    for (int examined = 0; examined < kFirstKeyFrameSearch;) {
        if (file_.Seek(static_cast<int64_t>(at), SeekFrom::Begin) < 0 || !ReadExact(b, sizeof b)) return false;
        RecordHeader h;
        if (!ParseV402(b, h)) {
            std::optional<uint64_t> next = FindSyncWords(file_, at + 1);
            if (!next) return false;
            at = *next;
            continue;
        }
        if (!intactSeen) dataStart_ = at;
        intactSeen = true;
        ++examined;
        if (h.flag == 1) {
            timestamp = h.timestamp;
            return true;
        }
        if (!SkipPayload(h.length)) return false;
        at = static_cast<uint64_t>(file_.Tell());
    }
    return false;
}

int CFileReaderV400::Open(const std::string& path, int) {
    Close();
    desc_ = StreamDescription{};
    if (!file_.Open(path, kFileRead)) return 0;
    fileSize_ = file_.Size();
    const uint32_t version = layout_ == Layout::V400 ? 0x400 : layout_ == Layout::V401 ? 0x401 : 0x402;
    if (!ReadExact(desc_.raw.data(), kHeaderSize) || desc_.Magic() != kMagic || desc_.Version() != version) {
        Close();
        return 0;
    }
    // The frame data follows the M index entries; a file too short to hold the
    // index and one frame header behind it can never be read.
    const uint32_t count = GetU32(&desc_.raw[kIndexCountAt]);
    dataStart_ = kHeaderSize + 8ull * count;
    if (dataStart_ + FrameHeaderSize() > fileSize_ || !LoadIndex(count)) {
        Close();
        return 0;
    }
    // The length is the span of the index; without entries the header's stands.
    IndexEntry first, last;
    if (index_.Entry(0, first) && index_.Entry(index_.Count() - 1, last)) {
        desc_.SetDuration((last.time - first.time + 1000) / 1000);
    }
    uint64_t timestamp = 0;
    bool found = layout_ == Layout::V402 ? FindFirstKeyFrameResync(timestamp) : FindFirstKeyFrame(timestamp);
    if (!found) {
        Close();
        return 0;
    }
    firstTimestamp_ = currentTimestamp_ = timestamp;
    Rewind();
    path_ = path;
    recorderName_ = desc_.Name();
    return 1;
}

void CFileReaderV400::GetInfo(StreamInfo* info) {
    if (!info) return;
    CxFileReader::GetInfo(info);
    info->channelSlots = 0;
}

// The index lies ahead of the frame data and cannot grow in place, so these
// versions have nothing to rebuild.
int CFileReaderV400::RebuildIndex() { return 0; }

int CFileReaderV400::ReadNext(std::unique_ptr<CxMemUnit>& out) {
    out.reset();
    RecordHeader h;
    if (!ReadFrameHeader(h)) return 0;
    if (h.Type() == kTypeVideo) currentTimestamp_ = h.timestamp;
    return ReadRecordBody(h, decodesGps_, out);
}

// From the indexed key frame (or the byte-rate estimate, which lands anywhere
// in a record) forward to the next video record.
void CFileReaderV400::SeekToSecond(int second) {
    if (!SeekToIndexedSecond(second, desc_.Duration(), kHeaderSize)) return;
    if (std::optional<uint64_t> ts = SeekForwardToVideo(file_, FrameHeaderSize(), ParserFor(FrameHeaderSize()))) {
        currentTimestamp_ = *ts;
    }
}

}  // namespace corvane
