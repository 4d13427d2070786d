#include "readers/reader_v500.h"

#include <algorithm>
#include <cstring>

#include "readers/frame_scan.h"

namespace corvane {
namespace {

constexpr uint32_t kMagic = 0x5AFACADA;
constexpr uint32_t kEndMarker = 0x88888888;  // both sync words: no recorded data follows
constexpr uint64_t kHeaderSize = 48;
constexpr uint64_t kChannelEntrySize = 8;
constexpr uint64_t kIndexSlots = 3600;
constexpr uint64_t kIndexTableSize = kIndexSlots * 8;
constexpr uint32_t kMaxIndexJump = 10000000;
constexpr int kFirstVideoSearch = 401;
constexpr int kAudioProbeReads = 50;
constexpr size_t kMaxReportedChannels = 8;
constexpr int kMaxChannelNumber = 15;  // the low nibble of the kind byte
// Header words with which a 0x501 recorder marks the first channel as not to be shown.
constexpr uint16_t kHiddenWordA = 0xF003;
constexpr uint16_t kHiddenWordB = 0xF007;

}  // namespace

// Layout: header (48), channel table (8 N), N index tables (28800 each),
// optionally the event table (43200), frame data.
uint64_t CFileReaderV500::IndexTableOffset(int slot) const {
    return kHeaderSize + kChannelEntrySize * slots_ + kIndexTableSize * static_cast<uint64_t>(slot - 1);
}

uint64_t CFileReaderV500::EventTableOffset() const { return kHeaderSize + (kChannelEntrySize + kIndexTableSize) * slots_; }

uint64_t CFileReaderV500::DataStart() const { return EventTableOffset() + (v_.eventArea ? kEventTableSize : 0); }

void CFileReaderV500::Rewind() {
    file_.Seek(static_cast<int64_t>(DataStart()), SeekFrom::Begin);
    index_.SetCurrent(0);  // key-frame steps start from the beginning too
}

void CFileReaderV500::ResetState() {
    name_.fill(0);
    length_ = headerWord_ = 0;
    audioType_ = slots_ = 0;
    shortHeaderWord_ = 0;
    table_.clear();
    present_.clear();
    entry_ = ChannelEntry{};
    hasAudio_ = false;
    HiddenStream = 0;
    eventTableLoaded_ = false;
    firstTimestamp_ = currentTimestamp_ = 0;
}

// The 48-byte header, translated into the 0x500 layout:
//   0 u32 magic   8 20B recorder name   28 u32 length (s)   32 u32 header word
//   0x500: 42 u8 audio type, 44 u8 N
//   later: 41 u8 audio type, 42 u8 N, 43 u8 (kept), 44 u16 header word
bool CFileReaderV500::ReadHeader() {
    uint8_t h[kHeaderSize];
    if (!ReadExact(h, sizeof h) || GetU32(h) != kMagic || GetU32(h + 4) != v_.version) return false;
    std::memcpy(name_.data(), h + 8, name_.size());
    length_ = GetU32(h + 28);
    headerWord_ = GetU32(h + 32);
    if (v_.laterHeader) {
        audioType_ = h[41];
        slots_ = h[42];
        shortHeaderWord_ = GetU16(h + 44);
    } else {
        audioType_ = h[42];
        slots_ = h[44];
    }
    return true;
}

// Channel table entry: 0 u8 channel number, 1 u8 frame rate, 2 u8 present,
// 3 u8 audio flag, 4 u16 width, 6 u16 height.
bool CFileReaderV500::ReadChannelTable() {
    std::vector<uint8_t> raw(kChannelEntrySize * slots_);
    if (!raw.empty() && !ReadExact(raw.data(), raw.size())) return false;
    table_.resize(slots_);
    for (size_t k = 0; k < table_.size(); ++k) {
        const uint8_t* e = &raw[k * kChannelEntrySize];
        table_[k] = ChannelEntry{e[0], e[1], e[2], e[3], GetU16(e + 4), GetU16(e + 6)};
        if (e[2] && present_.size() < kMaxReportedChannels) present_.push_back(static_cast<int>(k + 1));
    }
    return true;
}

// Selector 0 serves the first present slot without taking its entry (such a
// reader only enumerates the channels). The later versions find the entry by
// its channel number. Version 0x500 finds it by slot number, which is what the
// consumers pass (GetChannelId gives slot numbers); a selector naming no
// present slot counts present entries instead, as the recorder's own software
// does, so that files whose present slots have gaps serve every channel.
bool CFileReaderV500::ChooseChannel() {
    if (present_.empty()) return false;
    if (channel_ == 0) {
        channel_ = present_.front();
        return true;
    }
    if (channel_ < 0) return true;
    if (v_.laterHeader) {
        for (const ChannelEntry& e : table_) {
            if (e.present && e.number == channel_) {
                entry_ = e;
                break;
            }
        }
        return true;
    }
    if (channel_ <= slots_ && table_[channel_ - 1].present) {
        entry_ = table_[channel_ - 1];
        return true;
    }
    int count = 0;
    for (size_t k = 0; k < table_.size(); ++k) {
        if (table_[k].present && ++count == channel_) {
            channel_ = static_cast<int>(k + 1);
            entry_ = table_[k];
            break;
        }
    }
    return true;
}

// The selected slot's table. Entries are taken until one lies outside the
// file, jumps more than 10,000,000 bytes past the previous one (a smaller
// offset counts as a huge jump), or is empty (all zeros or all ones). A
// selector naming no slot of the file has no table.
bool CFileReaderV500::LoadIndex() {
    index_.Clear();
    if (channel_ < 1 || channel_ > slots_) return true;
    std::vector<uint8_t> table(kIndexTableSize);
    if (file_.Seek(static_cast<int64_t>(IndexTableOffset(channel_)), SeekFrom::Begin) < 0) return false;
    size_t got = file_.Read(table.data(), table.size());
    uint32_t previous = 0;
    for (size_t i = 0; i < kIndexSlots; ++i) {
        if ((i + 1) * 8 > got) return false;
        IndexEntry e{GetU32(&table[i * 8]), GetU32(&table[i * 8 + 4])};
        if (fileSize_ < kLargeFileSize && e.offset >= fileSize_) break;
        if (e.offset - previous > kMaxIndexJump) break;
        if ((e.time == 0 && e.offset == 0) || (e.time == 0xFFFFFFFF && e.offset == 0xFFFFFFFF)) break;
        index_.Append(e);
        previous = e.offset;
    }
    return true;
}

// The table counts only when it could be read whole.
void CFileReaderV500::ReadEventTable() {
    eventTableLoaded_ = file_.Seek(static_cast<int64_t>(EventTableOffset()), SeekFrom::Begin) >= 0 &&
                        ReadExact(eventTable_.get(), kEventTableSize);
}

uint32_t CFileReaderV500::LengthFromIndex() {
    IndexEntry first, last;
    if (!index_.Entry(0, first) || !index_.Entry(index_.Count() - 1, last)) return 0;
    return (last.time - first.time) / 1000;
}

// Frame header, 24 bytes: 0 u32 sync 0x55667788, 4 u32 sync 0x11223344,
// 8 u8 kind (type << 4 | channel), 9 u8 frame flag, 12 u32 payload length,
// 16 u64 timestamp. Version 0x510, 18 bytes: syncs, 8 u32 timestamp,
// 12 u32 payload length, 16 u8 kind, 17 u8 frame flag.
CFileReaderV500::HeaderRead CFileReaderV500::ReadFrameHeader(RecordHeader& h) {
    uint8_t b[24];
    if (!ReadExact(b, FrameHeaderSize())) return HeaderRead::Short;
    uint32_t sync1 = GetU32(b), sync2 = GetU32(b + 4);
    if (sync1 == kEndMarker && sync2 == kEndMarker) return HeaderRead::EndMarker;
    if (sync1 != kSync1 || sync2 != kSync2) return HeaderRead::BadSync;
    if (v_.shortFrameHeader) {
        h.timestamp = GetU32(b + 8);
        h.length = GetU32(b + 12);
        h.kind = b[16];
        h.flag = b[17];
    } else {
        h.kind = b[8];
        h.flag = b[9];
        h.length = GetU32(b + 12);
        h.timestamp = GetU64(b + 16);
    }
    return HeaderRead::Ok;
}

// The first video record among the first 401: of the selected channel in
// version 0x500, of any channel in the later versions.
bool CFileReaderV500::FindFirstVideo(uint64_t& timestamp) {
    Rewind();
    for (int i = 0; i < kFirstVideoSearch; ++i) {
        RecordHeader h;
        if (ReadFrameHeader(h) != HeaderRead::Ok) return false;
        if (h.Type() == kTypeVideo && (v_.laterHeader || h.Channel() == channel_)) {
            timestamp = h.timestamp;
            return true;
        }
        if (!SkipPayload(h.length)) return false;
    }
    return false;
}

// The table's audio flag is not trusted: the channel has audio when one of its
// first 50 records is an audio record.
void CFileReaderV500::ProbeAudio() {
    hasAudio_ = false;
    for (int i = 0; i < kAudioProbeReads; ++i) {
        std::unique_ptr<CxMemUnit> unit;
        if (!ReadNext(unit)) break;
        if (unit->Header().Type() == kTypeAudio) {
            hasAudio_ = true;
            break;
        }
    }
}

int CFileReaderV500::Open(const std::string& path, int writable) {
    Close();
    ResetState();
    if (!file_.Open(path, writable ? kFileReadWrite : kFileShareRead)) return 0;
    fileSize_ = file_.Size();
    if (!ReadHeader() || !ReadChannelTable() || !ChooseChannel() || !LoadIndex()) {
        Close();
        return 0;
    }
    if (v_.loadEvents) ReadEventTable();
    if (!v_.storedLength) length_ = LengthFromIndex();

    uint64_t first = 0;
    if (!FindFirstVideo(first)) {
        Close();
        return 0;
    }
    firstTimestamp_ = currentTimestamp_ = first;
    Rewind();
    path_ = path;

    ProbeAudio();
    // The probe read ahead; the reader stands at the start of the data again,
    // and so does its clock.
    Rewind();
    currentTimestamp_ = firstTimestamp_;
    recorderName_.assign(name_.data(), strnlen(name_.data(), name_.size()));
    if (v_.hiddenStream && (shortHeaderWord_ == kHiddenWordA || shortHeaderWord_ == kHiddenWordB)) HiddenStream = 1;
    return 1;
}

void CFileReaderV500::GetInfo(StreamInfo* info) {
    if (!info) return;
    *info = StreamInfo{};
    std::memcpy(info->name, name_.data(), sizeof info->name);
    info->duration = length_;
    info->headerWord = headerWord_;
    info->frameRate = entry_.frameRate;
    info->width = entry_.width;
    info->height = entry_.height;
    info->audioType = audioType_;
    info->channelSlots = slots_;
    info->channelsPresent = static_cast<uint32_t>(present_.size());
}

// At most 8 channels are played from one file; the count matches the slots
// GetChannelId reports.
int CFileReaderV500::GetChannelCount() { return static_cast<int>(present_.size()); }

int CFileReaderV500::GetChannelId(int index) {
    if (index < 0 || static_cast<size_t>(index) >= present_.size()) return 0;
    return present_[static_cast<size_t>(index)];
}

int CFileReaderV500::GetHeaderWord() { return v_.laterHeader ? shortHeaderWord_ : 0; }
int CFileReaderV500::GetAudioType() { return audioType_; }
int CFileReaderV500::GetDuration() { return static_cast<int>(length_); }
int CFileReaderV500::HasAudio() { return hasAudio_ ? 1 : 0; }
int CFileReaderV500::GetFrameInterval() { return entry_.frameRate ? 1000 / entry_.frameRate : 40; }
int CFileReaderV500::GetFrameRate() { return entry_.frameRate; }
int CFileReaderV500::GetWidth() { return entry_.width; }
int CFileReaderV500::GetHeight() { return entry_.height; }

// Records of other channels are skipped; of the file-wide records (channel 0)
// only GPS fixes are taken.
int CFileReaderV500::ReadNext(std::unique_ptr<CxMemUnit>& out) {
    out.reset();
    RecordHeader h;
    while (NextFrameHeader(h)) {
        if (IsOwnChannel(h)) {
            if (h.Type() == kTypeVideo) currentTimestamp_ = h.timestamp;
            return ReadRecordBody(h, true, out);
        }
        if (h.Channel() == 0 && h.Type() == kTypeGps) return ReadRecordBody(h, true, out);
        if (!SkipPayload(h.length)) return 0;
    }
    return 0;
}

// The next file-wide record that is neither video nor audio.
int CFileReaderV500::ReadNextAux(std::unique_ptr<CxMemUnit>& out) {
    out.reset();
    RecordHeader h;
    while (NextFrameHeader(h)) {
        if (h.Channel() == 0 && h.Type() != kTypeVideo && h.Type() != kTypeAudio) return ReadRecordBody(h, true, out);
        if (!SkipPayload(h.length)) return 0;
    }
    return 0;
}

// A seek that lands on a frame header takes one step: onto a video record of
// the reader's channel, or over the record found there. One that lands inside
// a record (the byte-rate estimate lands anywhere) slides over the bytes to
// the next sync words and on to the channel's next video record, as the older
// versions do. Each pass moves forward and a slide looks a bounded distance
// ahead, so any bytes end the search.
void CFileReaderV500::SeekToSecond(int second) {
    if (!SeekToIndexedSecond(second, length_, v_.seekHeaderSize)) return;
    bool slid = false;
    while (true) {
        const int64_t at = file_.Tell();
        if (at < 0) return;
        RecordHeader h;
        const HeaderRead read = ReadFrameHeader(h);
        if (read == HeaderRead::BadSync) {
            std::optional<uint64_t> next = FindSyncWords(file_, static_cast<uint64_t>(at) + 1);
            if (!next) {
                file_.Seek(0, SeekFrom::End);
                return;
            }
            file_.Seek(static_cast<int64_t>(*next), SeekFrom::Begin);
            slid = true;
            continue;
        }
        if (read != HeaderRead::Ok || IsAtEnd()) return;
        if (h.Type() == kTypeVideo && IsOwnChannel(h)) {
            file_.Seek(-static_cast<int64_t>(FrameHeaderSize()), SeekFrom::Current);
            currentTimestamp_ = h.timestamp;
            return;
        }
        if (!SkipPayload(h.length) || !slid) return;
    }
}

// Rebuilds every slot's table from the key frames in the data and stores the
// key-frame count of channel 1 as the length. The repair command closes its
// reader first, so a closed reader re-opens its file writable. A cancelled
// scan writes nothing, so the file keeps its old tables.
int CFileReaderV500::RebuildIndex() {
    if (!file_.IsOpen() && (path_.empty() || !Open(std::string(path_), 1))) return 0;
    // Channel numbers are a nibble: slots above 15 can have no key frames.
    const int tracked = std::min<int>(slots_, kMaxChannelNumber);
    std::vector<std::vector<IndexEntry>> tables(static_cast<size_t>(tracked));
    std::vector<uint64_t> firstKey(static_cast<size_t>(tracked), 0);
    Rewind();
    while (true) {
        if (g_StopRebuildIndex.load()) {
            Rewind();
            return 0;
        }
        int64_t position = file_.Tell();
        RecordHeader h;
        if (!NextFrameHeader(h)) break;
        int k = h.Channel();
        // An offset past 4 GiB cannot be stored in a table entry.
        if (h.Type() == kTypeVideo && h.flag == 1 && k >= 1 && k <= tracked && position < static_cast<int64_t>(kLargeFileSize)) {
            std::vector<IndexEntry>& t = tables[static_cast<size_t>(k - 1)];
            if (t.empty()) firstKey[static_cast<size_t>(k - 1)] = h.timestamp;
            if (t.size() < kIndexSlots) {
                t.push_back({static_cast<uint32_t>(h.timestamp - firstKey[static_cast<size_t>(k - 1)]),
                             static_cast<uint32_t>(position)});
            }
        }
        if (!SkipPayload(h.length)) break;
    }
    bool ok = WriteIndexTables(tables);
    if (ok) {  // the reader now follows the new tables
        LoadIndex();
        length_ = v_.storedLength ? static_cast<uint32_t>(tables.empty() ? 0 : tables[0].size()) : LengthFromIndex();
    }
    Rewind();
    return ok ? 1 : -1;
}

// The tables of all slots lie back to back; a write that fails part way puts
// the old ones back.
bool CFileReaderV500::WriteIndexTables(const std::vector<std::vector<IndexEntry>>& tables) {
    std::vector<uint8_t> raw(kIndexTableSize * slots_, 0xFF);
    for (size_t k = 0; k < tables.size() && k < slots_; ++k) {
        uint8_t* slot = &raw[k * kIndexTableSize];
        for (size_t i = 0; i < tables[k].size(); ++i) {
            PutU32(slot + i * 8, tables[k][i].time);
            PutU32(slot + i * 8 + 4, tables[k][i].offset);
        }
    }
    std::vector<uint8_t> count(4);
    PutU32(count.data(), static_cast<uint32_t>(tables.empty() ? 0 : tables[0].size()));
    if (raw.empty()) return WritePatches({{28, std::move(count)}});
    return WritePatches({{IndexTableOffset(1), std::move(raw)}, {28, std::move(count)}});
}

}  // namespace corvane
