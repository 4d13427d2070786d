#include "export/channel_reader.h"

#include <algorithm>

#include "catalogue/local_time.h"

namespace corvane {
namespace {

// Whole seconds from the reader's first key frame to the last video record
// read. Records ahead of the first key frame count as second 0 rather than
// wrapping around.
int64_t PlayedSeconds(CxFileReader& reader) {
    int64_t ms = static_cast<int64_t>(reader.CurrentTimestamp()) - static_cast<int64_t>(reader.FirstTimestamp());
    return ms > 0 ? ms / 1000 : 0;
}

// The file a recording's channel is read from.
std::string SourceFile(const CDiskVideo& r, int row) {
    if (!r.multiPart) return r.filePath;
    return static_cast<size_t>(row) < r.partPaths.size() ? r.partPaths[static_cast<size_t>(row)] : std::string();
}

// The moment a second of the day stands for, in the recorder's local time.
int64_t TimeOfDaySecond(const CDayVideo& day, int second) {
    return MakeLocalTime({day.Year(), day.Month(), day.Day(), second / 3600, second / 60 % 60, second % 60});
}

}  // namespace

ChannelReader::ChannelReader(CDayVideo& day, int row, int endSecond) : day_(day), row_(row), end_(endSecond) {}

ChannelReader::~ChannelReader() {
    if (CDiskVideo* r = Current()) r->ReleaseReaders();
}

CDiskVideo* ChannelReader::Current() const {
    return recording_ >= 0 ? day_.recordings[static_cast<size_t>(recording_)].get() : nullptr;
}

std::string ChannelReader::CurrentFile() const {
    const CDiskVideo* r = Current();
    return r ? SourceFile(*r, row_) : std::string();
}

CxFileReader* ChannelReader::ReaderOf(CDiskVideo& r) const {
    return static_cast<size_t>(row_) < r.readers.size() ? r.readers[static_cast<size_t>(row_)].get() : nullptr;
}

CxFileReader* ChannelReader::Position(int startSecond) {
    const int64_t t = TimeOfDaySecond(day_, startSecond);
    const int count = static_cast<int>(day_.recordings.size());
    for (int i = 0; i < count && recording_ < 0; ++i) {
        CDiskVideo& r = *day_.recordings[static_cast<size_t>(i)];
        if (r.startTime <= t && t <= r.endTime) {
            recording_ = i;
            r.OpenReaders();
            // Fresh readers stand at the start of their data already; seeking
            // to second 0 would only trust the index (or, without one, an
            // estimate) for what is known.
            CxFileReader* reader = ReaderOf(r);
            if (reader && t > r.startTime) reader->SeekToSecond(static_cast<int>(t - r.startTime));
        }
    }
    for (int i = 0; i < count && recording_ < 0; ++i) {
        if (day_.recordings[static_cast<size_t>(i)]->startTime > t) {
            recording_ = i;
            day_.recordings[static_cast<size_t>(i)]->OpenReaders();
        }
    }
    CDiskVideo* r = Current();
    CxFileReader* reader = r ? ReaderOf(*r) : nullptr;
    if (reader) Entered(*r);
    return reader;
}

// The current recording is over for this channel: goes on with the next one
// that begins inside the range, skipping recordings without this channel (or
// without anything readable, at the next read) and those in the other codec.
// False when none is left.
bool ChannelReader::Advance() {
    if (CDiskVideo* r = Current()) r->ReleaseReaders();
    const int count = static_cast<int>(day_.recordings.size());
    for (int next = recording_ + 1; next < count; ++next) {
        CDiskVideo& r = *day_.recordings[static_cast<size_t>(next)];
        if (r.StartSecondOfDay() >= end_) break;
        r.OpenReaders();
        CxFileReader* candidate = ReaderOf(r);
        if (candidate && codec_ && (candidate->IsHevc() != 0) != *codec_) {
            skipped_++;
            candidate = nullptr;
        }
        if (candidate) {
            recording_ = next;
            Entered(r);
            return true;
        }
        r.ReleaseReaders();
    }
    recording_ = -1;
    return false;
}

bool ChannelReader::Next(std::unique_ptr<CxMemUnit>& unit, CxFileReader*& reader, int64_t& second) {
    for (;;) {
        CDiskVideo* rec = Current();
        if (!rec) return false;
        CxFileReader* r = ReaderOf(*rec);
        second = rec->StartSecondOfDay() + (r ? PlayedSeconds(*r) : 0);
        if (second >= end_) return false;
        if (!r || !r->ReadFrame(0, unit, 0) || !unit) {
            Advance();
            continue;
        }
        // Frames of a hidden stream are not exported.
        if (!rec->readers.empty() && rec->readers.front()->HiddenStream) continue;
        reader = r;
        return true;
    }
}

void ChannelReader::Entered(const CDiskVideo& r) {
    read_.push_back(static_cast<size_t>(recording_));
    std::string source = SourceFile(r, row_);
    if (!source.empty() && std::find(sources_.begin(), sources_.end(), source) == sources_.end()) {
        sources_.push_back(source);
    }
}

int64_t ChannelReader::TimeOf(const RecordHeader& h, CxFileReader& reader) const {
    const CDiskVideo* r = Current();
    const int64_t offset = static_cast<int64_t>(h.timestamp) - static_cast<int64_t>(reader.FirstTimestamp());
    return (r ? r->startTime * 1000 : 0) + offset;
}

std::vector<size_t> ChannelReader::RecordingsRead() const {
    std::vector<size_t> read = read_;
    std::sort(read.begin(), read.end());
    read.erase(std::unique(read.begin(), read.end()), read.end());
    return read;
}

std::vector<std::string> ChannelReader::FilesOfRange(const CDayVideo& day, int row, int startSecond, int endSecond) {
    const int64_t t = TimeOfDaySecond(day, startSecond);
    std::vector<std::string> files;
    for (const auto& r : day.recordings) {
        if (r->endTime < t || r->StartSecondOfDay() >= endSecond) continue;
        std::string file = SourceFile(*r, row);
        if (!file.empty() && std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
    }
    return files;
}

}  // namespace corvane
