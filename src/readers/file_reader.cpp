#include "readers/file_reader.h"

#include "readers/gps_fix.h"

namespace corvane {

std::atomic<bool> g_StopRebuildIndex{false};

CxFileReader::CxFileReader(int channel) : channel_(channel), eventTable_(new uint8_t[kEventTableSize]) {
    PutU32(eventTable_.get(), 0);
}

CxFileReader::~CxFileReader() {
    file_.Close();
    index_.Clear();
}

void CxFileReader::Close() {
    file_.Close();
    index_.Clear();
}

void CxFileReader::GetInfo(StreamInfo* info) {
    if (!info) return;
    *info = StreamInfo{};
    std::string name = desc_.Name();
    std::memcpy(info->name, name.data(), name.size());
    info->duration = desc_.Duration();
    info->headerWord = desc_.HeaderWord();
    info->frameRate = desc_.FrameRate();
    info->width = desc_.Width();
    info->height = desc_.Height();
    info->audioType = desc_.AudioType();
}

int CxFileReader::IsHevc() { return isHevc_; }

int CxFileReader::IsAtEnd() {
    if (!file_.IsOpen()) return 1;
    return static_cast<uint64_t>(file_.Tell()) >= file_.Size() ? 1 : 0;
}

void CxFileReader::Reserved1(uint32_t) {}
int CxFileReader::GetChannelCount() { return 1; }
int CxFileReader::GetChannelId(int) { return 0; }
int CxFileReader::GetHeaderWord() { return 0; }
int CxFileReader::GetAudioType() { return desc_.AudioType(); }

uint64_t CxFileReader::GetPosition() { return (currentTimestamp_ - firstTimestamp_) / 1000; }

int CxFileReader::GetDuration() { return static_cast<int>(desc_.Duration()); }
int CxFileReader::HasAudio() { return desc_.AudioFlag(); }
// Recorders that leave the frame rate at 0 record at 25 frames per second.
int CxFileReader::GetFrameInterval() { return desc_.FrameRate() ? 1000 / desc_.FrameRate() : 40; }
int CxFileReader::GetFrameRate() { return desc_.FrameRate(); }
int CxFileReader::GetWidth() { return desc_.Width(); }
int CxFileReader::GetHeight() { return desc_.Height(); }

int CxFileReader::ReadFrame(int mode, std::unique_ptr<CxMemUnit>& out, int aux) {
    out.reset();
    if (!file_.IsOpen() || IsAtEnd()) return 0;
    if (aux) return ReadNextAux(out);
    uint32_t next;
    if (mode == 1) {
        next = index_.Current() + 1;
        if (next >= index_.Count()) return 0;
    } else if (mode == -1) {
        uint32_t current = index_.Current();
        if (current == 0) return 0;
        next = current - 1;
    } else {
        return ReadNext(out);
    }
    index_.SetCurrent(next);
    IndexEntry e;
    if (!index_.Entry(next, e) || e.offset == 0) return 0;
    if (file_.Seek(e.offset, SeekFrom::Begin) < 0) return 0;
    return ReadNext(out);
}

int CxFileReader::ReadNextAux(std::unique_ptr<CxMemUnit>& out) {
    out.reset();
    return 1;
}

void CxFileReader::Reserved2() {}

void CxFileReader::SeekToOffset(uint32_t offset) {
    if (file_.IsOpen()) file_.Seek(offset, SeekFrom::Begin);
}

uint32_t CxFileReader::Tell() {
    int64_t pos = file_.Tell();
    return pos < 0 ? 0 : static_cast<uint32_t>(pos);
}

bool CxFileReader::SkipPayload(uint64_t n) {
    int64_t pos = file_.Tell();
    if (pos < 0 || static_cast<uint64_t>(pos) > file_.Size() || n > file_.Size() - static_cast<uint64_t>(pos)) {
        file_.Seek(0, SeekFrom::End);
        return false;
    }
    return file_.Seek(static_cast<int64_t>(n), SeekFrom::Current) >= 0;
}

int CxFileReader::ReadRecordBody(const RecordHeader& header, bool decodeGps, std::unique_ptr<CxMemUnit>& out) {
    out.reset();
    auto unit = std::make_unique<CxMemUnit>(header.length <= kLargestPayload ? header.length : 0);
    uint8_t* buf = unit->Buffer();
    header.Store(buf);
    unit->SetUsed(kRecordHeaderSize);
    if (header.length > kLargestPayload) {
        if (!SkipPayload(header.length) || IsAtEnd()) return 0;
        out = std::move(unit);
        return 1;
    }
    if (!ReadExact(buf + kRecordHeaderSize, header.length) || IsAtEnd()) return 0;
    uint32_t used = static_cast<uint32_t>(kRecordHeaderSize) + header.length;
    if (decodeGps && header.Type() == kTypeGps) {
        GpsFix fix = GpsFix::Decode(buf + kRecordHeaderSize, header.length);
        fix.Serialize(buf + kRecordHeaderSize);
        used = static_cast<uint32_t>(kRecordHeaderSize + kGpsFixSize);
    }
    unit->SetUsed(used);
    out = std::move(unit);
    return 1;
}

bool CxFileReader::WritePatches(const std::vector<FilePatch>& patches) {
    std::vector<FilePatch> before;
    for (const FilePatch& p : patches) {
        FilePatch old{p.offset, std::vector<uint8_t>(p.bytes.size())};
        if (file_.Seek(static_cast<int64_t>(p.offset), SeekFrom::Begin) < 0 || !ReadExact(old.bytes.data(), old.bytes.size())) {
            return false;  // nothing written yet
        }
        before.push_back(std::move(old));
    }
    auto writeAt = [this](const FilePatch& p) {
        return file_.Seek(static_cast<int64_t>(p.offset), SeekFrom::Begin) >= 0 &&
               file_.Write(p.bytes.data(), p.bytes.size()) == p.bytes.size();
    };
    bool ok = true;
    for (size_t i = 0; ok && i < patches.size(); ++i) ok = writeAt(patches[i]);
    if (ok && file_.Flush()) return true;
    for (const FilePatch& old : before) writeAt(old);
    file_.Flush();
    return false;
}

bool CxFileReader::SeekToIndexedSecond(int second, uint32_t duration, uint64_t headerSize) {
    if (!file_.IsOpen() || duration == 0) return false;
    uint32_t s = second < 0 ? 0 : static_cast<uint32_t>(second);
    uint32_t offset = index_.Lookup(s);
    if (offset != 0 && offset <= file_.Size()) {
        file_.Seek(offset, SeekFrom::Begin);
    } else if (!index_.Empty()) {
        file_.Seek(0, SeekFrom::End);
        return false;
    } else {
        uint64_t size = file_.Size();
        uint64_t perSecond = size > headerSize ? (size - headerSize) / duration : 0;
        if (perSecond != 0 && s > size / perSecond) {
            file_.Seek(0, SeekFrom::End);  // far past the end of the recording
        } else {
            file_.Seek(static_cast<int64_t>(perSecond * s), SeekFrom::Begin);
        }
    }
    return true;
}

}  // namespace corvane
