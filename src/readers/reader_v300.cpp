#include "readers/reader_v300.h"

#include <vector>

#include "readers/frame_scan.h"

namespace corvane {
namespace {

constexpr uint32_t kMagic = 0x5AFACADA;
constexpr uint64_t kDataStart = 100;  // the frame data follows the 100-byte header
constexpr size_t kFrameHeaderSize = 20;
constexpr size_t kTrailerSize = 20;
constexpr uint32_t kTrailerMarker1 = 0x44332211;
constexpr uint32_t kTrailerMarker2 = 0x88776655;
// The backward search for the recording's end looks at most 5 MiB back and
// takes no frame 4000 seconds or more after the first.
constexpr uint64_t kBackwardReach = 0x500000;
constexpr uint64_t kMaxSpanMs = 4000 * 1000;
constexpr int kLengthProbeRecords = 100;
// A companion file counts for its length as far as its first 1,024,000 bytes
// and gives at most 12500 entries to the index.
constexpr uint64_t kCompanionLengthBytes = 1024000;
constexpr uint64_t kCompanionIndexBytes = 100000;
constexpr uint64_t kMaxIndexBytes = 8ull << 20;  // a million entries; more is damage
constexpr size_t kScanBlock = 64 * 1024;

bool SyncOk(const uint8_t* b) { return GetU32(b) == kSync1 && GetU32(b + 4) == kSync2; }

// Frame header, 20 bytes: sync words at 0 and 4, record byte at 8, frame flag
// at 9, u16 payload length at 10, u64 timestamp at 12. In 0x300 the record
// byte is the kind byte (type in the high nibble, channel in the low nibble);
// in 0x120 it is a plain type number, and the records belong to channel 0.
bool ParseV300(const uint8_t* b, RecordHeader& h) {
    h.kind = b[8];
    h.flag = b[9];
    h.length = GetU16(b + 10);
    h.timestamp = GetU64(b + 12);
    return SyncOk(b);
}

bool ParseV120(const uint8_t* b, RecordHeader& h) {
    bool ok = ParseV300(b, h);
    h.kind = static_cast<uint8_t>(b[8] << 4);
    return ok;
}

// Visits the 20-byte windows that start d bytes before the end of the file,
// for d = 20, 21, ... while d is below the file size and below 5 MiB, the
// nearest to the end first, until `visit` returns true. Reads in blocks.
template <class Visit>
void ScanBackwards(FileHandle& file, Visit visit) {
    const uint64_t size = file.Size();
    if (size <= kFrameHeaderSize) return;
    const uint64_t farthest = size - 1 < kBackwardReach - 1 ? size - 1 : kBackwardReach - 1;
    const uint64_t lowest = size - farthest;
    std::vector<uint8_t> block(kScanBlock + kFrameHeaderSize - 1);
    for (uint64_t top = size - kFrameHeaderSize + 1; top > lowest;) {  // windows [start, top)
        uint64_t start = top - lowest > kScanBlock ? top - kScanBlock : lowest;
        size_t want = static_cast<size_t>(top - start) + kFrameHeaderSize - 1;
        if (file.Seek(static_cast<int64_t>(start), SeekFrom::Begin) < 0 || file.Read(block.data(), want) != want) return;
        for (size_t i = static_cast<size_t>(top - start); i-- > 0;) {
            if (visit(&block[i])) return;
        }
        top = start;
    }
}

}  // namespace

CFileReaderV300::CFileReaderV300(int channel, Layout layout) : CxFileReader(channel), layout_(layout) {
    // Consumers read every GPS record as a decoded fix, whatever the version.
    decodesGps_ = true;
}

void CFileReaderV300::Rewind() {
    file_.Seek(static_cast<int64_t>(kDataStart), SeekFrom::Begin);
    index_.SetCurrent(0);  // key-frame steps start from the beginning too
}

bool CFileReaderV300::ReadFrameHeader(RecordHeader& h) {
    uint8_t b[kFrameHeaderSize];
    if (!ReadExact(b, sizeof b) || IsAtEnd()) return false;
    return layout_ == Layout::V120 ? ParseV120(b, h) : ParseV300(b, h);
}

// Trailer, the last 20 bytes: u32 0x44332211, u32 0x88776655 (the sync words
// byte-reversed, in swapped order), u32 length in seconds, u32 index offset,
// u32 index size in bytes.
bool CFileReaderV300::ReadLastBytes(uint8_t* b) {
    return fileSize_ >= kTrailerSize && file_.Seek(static_cast<int64_t>(fileSize_ - kTrailerSize), SeekFrom::Begin) >= 0 &&
           ReadExact(b, kTrailerSize);
}

std::optional<CFileReaderV300::Trailer> CFileReaderV300::ReadTrailer() {
    uint8_t b[kTrailerSize];
    if (!ReadLastBytes(b) || GetU32(b) != kTrailerMarker1 || GetU32(b + 4) != kTrailerMarker2) return std::nullopt;
    return Trailer{GetU32(b + 8), GetU32(b + 12), GetU32(b + 16)};
}

// Entries from `offset` until `size` bytes have been read or `end` is reached.
void CFileReaderV300::LoadIndex(uint64_t offset, uint64_t size, uint64_t end) {
    if (offset >= end) return;
    if (size > end - offset) size = end - offset;
    if (size > kMaxIndexBytes) size = kMaxIndexBytes;
    index_.LoadFromFile(file_, offset, size);
}

// Times of the first and the last entry of the companion index file, as far
// as its first 1,024,000 bytes go; read in place, whatever the file's size.
std::optional<CFileReaderV300::Span> CFileReaderV300::CompanionSpan(const std::string& recording, bool& opened) {
    FileHandle companion;
    opened = companion.Open(recording + ".idx", kFileRead);
    if (!opened) return std::nullopt;
    uint64_t bytes = companion.Size() < kCompanionLengthBytes ? companion.Size() : kCompanionLengthBytes;
    uint64_t entries = bytes / 8;
    uint8_t first[8], last[8];
    if (entries == 0 || companion.Read(first, 8) != 8 ||
        companion.Seek(static_cast<int64_t>((entries - 1) * 8), SeekFrom::Begin) < 0 || companion.Read(last, 8) != 8) {
        return std::nullopt;
    }
    return Span{GetU32(first), GetU32(last)};
}

void CFileReaderV300::LoadCompanionIndex(const std::string& recording) {
    FileHandle companion;
    if (companion.Open(recording + ".idx", kFileRead)) index_.LoadFromFile(companion, 0, kCompanionIndexBytes);
}

// Whether a video record stands among the first 100 records (0x120).
bool CFileReaderV300::VideoNearStart() {
    Rewind();
    for (int i = 0; i < kLengthProbeRecords; ++i) {
        uint8_t b[kFrameHeaderSize];
        RecordHeader h;
        if (!ReadExact(b, sizeof b)) return false;
        ParseV120(b, h);
        if (h.Type() == kTypeVideo) return true;
        if (!SkipPayload(h.length)) return false;
    }
    return false;
}

// The length from a late video frame near the end of the file, one that lies
// after the first frame and less than 4000 seconds after it.
//  - 0x300 takes the last video frame: length = its distance from the first in
//    whole seconds.
//  - 0x120 passes over the last two key frames (the recorder may have left the
//    end unfinished) and takes the next plausible one; the two passed over
//    stand for one second each, so a stream gets the same length as it would
//    in 0x300.
std::optional<uint32_t> CFileReaderV300::LengthFromEnd() {
    const uint64_t first = firstTimestamp_;
    std::optional<uint32_t> length;
    int keyFrames = 0;
    ScanBackwards(file_, [&](const uint8_t* b) {
        if (!SyncOk(b)) return false;
        if (layout_ == Layout::V120) {
            if (b[8] != kTypeVideo || b[9] != 1 || ++keyFrames <= 2) return false;
        } else if ((b[8] >> 4) != kTypeVideo) {
            return false;
        }
        uint64_t ts = GetU64(b + 12);
        if (ts <= first || ts - first >= kMaxSpanMs) return false;
        length = static_cast<uint32_t>((ts - first) / 1000) + (layout_ == Layout::V120 ? 2 : 0);
        return true;
    });
    return length;
}

// 0x120: the index where the header says, or for revision 0x102 where its
// trailer says; the length from the end of the data when it can be found.
void CFileReaderV300::OpenIndexV120() {
    uint64_t offset = GetU32(&desc_.raw[44]);
    uint64_t size = GetU32(&desc_.raw[48]);
    uint64_t end = fileSize_;
    if (desc_.Version() == 0x102) {
        if (std::optional<Trailer> t = ReadTrailer()) {
            desc_.SetDuration(t->length);
            offset = t->indexOffset;
            size = t->indexSize;
            end = fileSize_ - kTrailerSize;
        }
    }
    if (VideoNearStart()) {
        if (std::optional<uint32_t> length = LengthFromEnd()) desc_.SetDuration(*length);
    }
    if (offset != 0 && size != 0) LoadIndex(offset, size, end);
}

// 0x300: length and index from the trailer; else the length from the
// companion file or, without one, from the end of the data. Without entries
// from a trailer, the index comes from the companion file.
void CFileReaderV300::OpenIndexV300(const std::string& recording) {
    if (std::optional<Trailer> t = ReadTrailer()) {
        desc_.SetDuration(t->length);
        if (t->indexOffset != 0) LoadIndex(t->indexOffset, t->indexSize, fileSize_ - kTrailerSize);
    } else {
        bool opened = false;
        std::optional<Span> span = CompanionSpan(recording, opened);
        if (span && span->last >= span->first) {
            desc_.SetDuration((span->last - span->first) / 1000);
        } else if (!opened) {
            if (std::optional<uint32_t> length = LengthFromEnd()) desc_.SetDuration(*length);
        }
    }
    if (index_.Empty()) LoadCompanionIndex(recording);
}

int CFileReaderV300::Open(const std::string& path, int writable) {
    Close();
    desc_ = StreamDescription{};
    // Read-write, which the rebuild needs; a file that cannot be written (a
    // locked card, a read-only copy) still plays unless writing was asked for.
    if (!file_.Open(path, kFileReadWrite) && (writable || !file_.Open(path, kFileRead))) return 0;
    fileSize_ = file_.Size();
    uint8_t b[kFrameHeaderSize];
    bool ok = ReadExact(desc_.raw.data(), desc_.raw.size()) && desc_.Magic() == kMagic &&
              (layout_ == Layout::V300 ? desc_.Version() == 0x300 : desc_.Version() == 0x101 || desc_.Version() == 0x102) &&
              ReadExact(b, sizeof b);
    if (!ok) {
        Close();
        return 0;
    }
    RecordHeader first;
    ParseV300(b, first);
    firstTimestamp_ = currentTimestamp_ = first.timestamp;
    if (layout_ == Layout::V120) OpenIndexV120();
    else OpenIndexV300(path);
    Rewind();
    path_ = path;
    recorderName_ = desc_.Name();
    return 1;
}

void CFileReaderV300::GetInfo(StreamInfo* info) {
    if (!info) return;
    CxFileReader::GetInfo(info);
    info->width = static_cast<uint16_t>(GetWidth());
    info->height = static_cast<uint16_t>(GetHeight());
    info->audioType = static_cast<uint32_t>(GetAudioType());
}

int CFileReaderV300::ReadNext(std::unique_ptr<CxMemUnit>& out) {
    out.reset();
    RecordHeader h;
    if (!ReadFrameHeader(h)) return 0;
    if (h.Type() == kTypeVideo) currentTimestamp_ = h.timestamp;
    return ReadRecordBody(h, decodesGps_, out);
}

// From the indexed key frame, or from the byte-rate estimate, which lands
// anywhere in a record, forward to the next video record.
void CFileReaderV300::SeekToSecond(int second) {
    if (!SeekToIndexedSecond(second, desc_.Duration(), kDataStart)) return;
    FrameHeaderParser parse = layout_ == Layout::V120 ? ParseV120 : ParseV300;
    if (std::optional<uint64_t> ts = SeekForwardToVideo(file_, kFrameHeaderSize, parse)) currentTimestamp_ = *ts;
}

// Entries get the key frame's ordinal number (1 for the first) as their time;
// the trailer's length is the number of key frames less one. A scan meeting a
// damaged frame header ends there. A cancelled scan, a file without key frames
// or one too large for 32-bit offsets gets nothing written.
int CFileReaderV300::RebuildIndex() {
    if (layout_ != Layout::V300) return 0;
    if (!file_.IsOpen() && (path_.empty() || !Open(std::string(path_), 1))) return 0;
    uint8_t last[kTrailerSize];
    if (!ReadLastBytes(last) || ReadTrailer()) return 0;
    bool opened = false;
    std::optional<Span> span = CompanionSpan(path_, opened);
    if (opened) {
        if (span && span->last >= span->first) desc_.SetDuration((span->last - span->first + 1000) / 1000);
        return 0;
    }

    std::vector<IndexEntry> keys;
    Rewind();
    while (true) {
        if (g_StopRebuildIndex.load()) {
            Rewind();
            return 0;
        }
        int64_t at = file_.Tell();
        uint8_t b[kFrameHeaderSize];
        RecordHeader h;
        if (at < 0 || !ReadExact(b, sizeof b) || !ParseV300(b, h)) break;
        if (h.Type() == kTypeVideo && h.flag == 1) {
            keys.push_back({static_cast<uint32_t>(keys.size() + 1), static_cast<uint32_t>(at)});
        }
        if (!SkipPayload(h.length)) break;
    }
    const uint64_t indexOffset = file_.Size();
    if (keys.empty() || indexOffset + keys.size() * 8 + kTrailerSize > 0xFFFFFFFFull) {
        Rewind();
        return 0;
    }
    index_.Clear();
    for (const IndexEntry& e : keys) index_.Append(e);
    uint8_t trailer[kTrailerSize];
    PutU32(trailer, kTrailerMarker1);
    PutU32(trailer + 4, kTrailerMarker2);
    PutU32(trailer + 8, keys.back().time - keys.front().time);
    PutU32(trailer + 12, static_cast<uint32_t>(indexOffset));
    PutU32(trailer + 16, static_cast<uint32_t>(keys.size() * 8));
    bool ok = file_.Seek(0, SeekFrom::End) >= 0 && index_.WriteTo(file_) &&
              file_.Write(trailer, sizeof trailer) == sizeof trailer && file_.Flush();
    if (!ok) {
        // A medium that filled up part way: the recording gets back the size
        // it had, so that it reads exactly as before.
        file_.Truncate(indexOffset);
        file_.Flush();
        index_.Clear();
    }
    fileSize_ = file_.Size();
    if (ok) desc_.SetDuration(keys.back().time - keys.front().time);
    Rewind();
    return ok ? 1 : -1;
}

int CFileReaderV120::GetAudioType() { return desc_.raw[42]; }
int CFileReaderV120::HasAudio() { return desc_.raw[43]; }
int CFileReaderV120::GetWidth() { return GetU16(&desc_.raw[38]); }
int CFileReaderV120::GetHeight() { return GetU16(&desc_.raw[40]); }

}  // namespace corvane
