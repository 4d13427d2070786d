#include "readers/reader_v700.h"

#include "readers/frame_scan.h"
#include "readers/gps_fix.h"

namespace corvane {
namespace {

constexpr uint32_t kMagic = 0x5AFACADA;
constexpr size_t kIndexSlots = 3605;
constexpr size_t kMaxIndexEntries = 3600;
constexpr uint32_t kMaxIndexJump = 2000000;
constexpr size_t kFrameHeaderSize = 18;
constexpr int kFirstKeyFrameSearch = 101;

// An 18-byte frame header:
//   0 u32 sync 0x55667788   8 u32 timestamp (ms)    16 u8 record type
//   4 u32 sync 0x11223344  12 u32 payload length    17 u8 frame flag (1 = key)
// The kind byte gets the record type; the reader adds its channel.
bool ParseFrameHeader(const uint8_t* b, RecordHeader& h) {
    if (GetU32(b) != kSync1 || GetU32(b + 4) != kSync2) return false;
    h.timestamp = GetU32(b + 8);
    h.length = GetU32(b + 12);
    h.kind = static_cast<uint8_t>(b[16] << 4);
    h.flag = b[17];
    return true;
}

}  // namespace

CFileReaderV700::CFileReaderV700(int channel, Layout layout) : CxFileReader(channel), layout_(layout) {
    decodesGps_ = true;
}

void CFileReaderV700::Rewind() {
    file_.Seek(static_cast<int64_t>(DataStart()), SeekFrom::Begin);
    index_.SetCurrent(0);  // key-frame steps start from the beginning too
}

bool CFileReaderV700::ReadFrameHeader(RecordHeader& h) {
    uint8_t b[kFrameHeaderSize];
    if (!ReadExact(b, sizeof b) || IsAtEnd() || !ParseFrameHeader(b, h)) return false;
    h.kind = static_cast<uint8_t>(h.kind | (channel_ & 0x0F));
    return true;
}

// Entries are taken until one is empty, lies outside the file, or jumps more
// than 2,000,000 bytes past the previous one (a smaller offset counts as a
// huge jump); a short table rejects the file.
bool CFileReaderV700::LoadIndex() {
    std::vector<uint8_t> table(kIndexSlots * 8);
    if (file_.Seek(static_cast<int64_t>(IndexOffset()), SeekFrom::Begin) < 0) return false;
    size_t got = file_.Read(table.data(), table.size());
    uint32_t previous = 0;
    for (size_t i = 0; index_.Count() < kMaxIndexEntries; ++i) {
        if ((i + 1) * 8 > got) return false;
        IndexEntry e{GetU32(&table[i * 8]), GetU32(&table[i * 8 + 4])};
        if (fileSize_ < kLargeFileSize && e.offset >= fileSize_) break;
        if (e.offset - previous > kMaxIndexJump) break;
        if (e.time == 0 && e.offset == 0) break;
        index_.Append(e);
        previous = e.offset;
    }
    return true;
}

// The first key frame among the first 101 records; the data area must start
// with frame headers.
bool CFileReaderV700::FindFirstKeyFrame(uint64_t& timestamp) {
    Rewind();
    for (int i = 0; i < kFirstKeyFrameSearch; ++i) {
        uint8_t b[kFrameHeaderSize];
        if (!ReadExact(b, sizeof b)) return false;
        if (GetU32(b) != kSync1 || GetU32(b + 4) != kSync2) return false;
        if (b[17] == 1) {
            timestamp = GetU32(b + 8);
            return true;
        }
        if (!SkipPayload(GetU32(b + 12))) return false;
    }
    return false;
}

int CFileReaderV700::Open(const std::string& path, int writable) {
    Close();
    uint32_t flags = writable ? kFileReadWrite : (layout_ == Layout::V800 ? kFileRead : kFileShareRead);
    if (!file_.Open(path, flags)) return 0;
    fileSize_ = file_.Size();

    // Header (48 bytes, 49 in version 0x800), then the 8-byte stream block.
    uint8_t h[49 + 8] = {};
    const size_t hs = HeaderSize();
    uint32_t version = layout_ == Layout::V800 ? 0x800 : 0x700;
    if (!ReadExact(h, hs) || GetU32(h) != kMagic || GetU32(h + 4) != version) {
        Close();
        return 0;
    }
    if (!ReadExact(h + hs, 8)) {
        Close();
        return 0;
    }
    const uint8_t* block = h + hs;
    extraLength_ = h[43];
    headerField44_ = GetU16(h + 44);
    extra_.assign(extraLength_, 0);
    if (extraLength_ && !ReadExact(extra_.data(), extraLength_)) {
        Close();
        return 0;
    }

    if (!LoadIndex()) {
        Close();
        return 0;
    }
    uint32_t computedLength = 1;
    IndexEntry first, last;
    if (index_.Entry(0, first) && index_.Entry(index_.Count() - 1, last)) {
        computedLength = (last.time - first.time + 1000) / 1000;
    }

    uint64_t keyTimestamp = 0;
    if (!FindFirstKeyFrame(keyTimestamp)) {
        Close();
        return 0;
    }
    firstTimestamp_ = currentTimestamp_ = keyTimestamp;
    Rewind();
    path_ = path;

    // The header's length is the authority once written; version 0x700 fills
    // in the length computed from the index when it is still 0.
    uint32_t length = GetU32(h + 28);
    if (length == 0 && layout_ == Layout::V700) {
        length = computedLength;
        PutU32(h + 28, length);
    }

    desc_ = StreamDescription{};
    uint8_t* d = desc_.raw.data();
    std::memcpy(d, h, 28);  // magic, version, recorder name
    PutU32(d + 28, length);
    PutU32(d + 32, GetU32(h + 32));
    d[36] = h[40];
    d[37] = block[1];
    d[38] = h[41];
    d[39] = block[3];
    PutU16(d + 40, GetU16(block + 4));
    PutU16(d + 42, GetU16(block + 6));
    recorderName_ = desc_.Name();
    isHevc_ = layout_ == Layout::V800 ? h[48] : 0;
    return 1;
}

void CFileReaderV700::GetInfo(StreamInfo* info) {
    if (!info) return;
    CxFileReader::GetInfo(info);
    info->channelSlots = 0;
    info->oneChannelPerFile = 1;
    info->hevc = layout_ == Layout::V800 ? static_cast<uint32_t>(isHevc_) : 0;
}

int CFileReaderV700::ReadNext(std::unique_ptr<CxMemUnit>& out) {
    out.reset();
    RecordHeader h;
    if (!ReadFrameHeader(h)) return 0;
    if (h.Type() == kTypeVideo) currentTimestamp_ = h.timestamp;
    return ReadRecordBody(h, true, out);
}

int CFileReaderV700::ReadNextAux(std::unique_ptr<CxMemUnit>& out) {
    out.reset();
    RecordHeader h;
    while (ReadFrameHeader(h)) {
        if (h.Type() != kTypeVideo && h.Type() != kTypeAudio) return ReadRecordBody(h, true, out);
        if (!SkipPayload(h.length)) return 0;
    }
    return 0;
}

// A seek that lands on a frame header takes one step: onto a video record, or
// over the record found there. One that lands inside a record (the byte-rate
// estimate lands anywhere) slides over the bytes to the next sync words and on
// to the next video record, as the older versions do.
void CFileReaderV700::SeekToSecond(int second) {
    if (!SeekToIndexedSecond(second, desc_.Duration(), HeaderSize())) return;
    const int64_t at = file_.Tell();
    uint8_t b[kFrameHeaderSize];
    RecordHeader h;
    if (!ReadExact(b, sizeof b) || IsAtEnd()) return;
    if (!ParseFrameHeader(b, h)) {
        file_.Seek(at, SeekFrom::Begin);
        if (std::optional<uint64_t> ts = SeekForwardToVideo(file_, kFrameHeaderSize, ParseFrameHeader)) {
            currentTimestamp_ = *ts;
        }
    } else if (h.Type() == kTypeVideo) {
        file_.Seek(-static_cast<int64_t>(kFrameHeaderSize), SeekFrom::Current);
        currentTimestamp_ = h.timestamp;
    } else {
        SkipPayload(h.length);
    }
}

// Rebuilds the slot table from the key frames in the data and stores the
// number of key frames (one per second) as the length. A cancelled scan writes
// nothing, so the file keeps its old table.
int CFileReaderV700::RebuildIndex() {
    if (!file_.IsOpen() && (path_.empty() || !Open(std::string(path_), 1))) return 0;
    std::vector<uint8_t> table(kIndexSlots * 8, 0xFF);
    uint32_t count = 0;
    uint64_t firstKey = 0;
    Rewind();
    while (true) {
        if (g_StopRebuildIndex.load()) return 0;
        int64_t position = file_.Tell();
        RecordHeader h;
        if (!ReadFrameHeader(h)) break;
        if (h.Type() == kTypeVideo && h.flag == 1 && count < kIndexSlots) {
            if (count == 0) firstKey = h.timestamp;
            PutU32(&table[count * 8], static_cast<uint32_t>(h.timestamp - firstKey));
            PutU32(&table[count * 8 + 4], static_cast<uint32_t>(position));
            ++count;
        }
        if (!SkipPayload(h.length)) break;
    }
    std::vector<uint8_t> countBytes(4);
    PutU32(countBytes.data(), count);
    bool ok = WritePatches({{IndexOffset(), std::move(table)}, {28, std::move(countBytes)}});
    if (ok) {  // the reader now follows the new table
        index_.Clear();
        LoadIndex();
        desc_.SetDuration(count);
    }
    Rewind();
    return ok ? 1 : -1;
}

}  // namespace corvane
