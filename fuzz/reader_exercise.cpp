#include "reader_exercise.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "readers/byte_order.h"
#include "readers/event_table.h"
#include "readers/gps_fix.h"
#include "readers/probe.h"

namespace corvane::fuzz {
namespace {

void PrintAndAbort(const char* file, int line, const char* condition) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

CheckFailureHandler checkFailure = PrintAndAbort;

}  // namespace

void SetCheckFailureHandler(CheckFailureHandler handler) { checkFailure = handler ? handler : PrintAndAbort; }

void ReportCheckFailure(const char* file, int line, const char* condition) { checkFailure(file, line, condition); }

void CheckUnit(const CxFileReader& reader, const CxMemUnit& unit) {
    const uint8_t* b = unit.Buffer();
    FUZZ_CHECK(GetU32(b) == kSync1 && GetU32(b + 4) == kSync2);
    FUZZ_CHECK(unit.Used() >= kRecordHeaderSize && unit.Used() <= unit.Capacity());
    FUZZ_CHECK(unit.Capacity() <= kRecordHeaderSize + kLargestPayload);
    const RecordHeader h = unit.Header();
    const uint32_t payload = unit.PayloadSize();
    if (h.length > kLargestPayload) {
        FUZZ_CHECK(payload == 0);  // skipped in the file, header only
    } else if (reader.DecodesGps() && h.Type() == kTypeGps) {
        FUZZ_CHECK(payload == kGpsFixSize);
        FUZZ_CHECK(b[kRecordHeaderSize + 10] == 0 && b[kRecordHeaderSize + 22] == 0);  // texts end inside
    } else {
        FUZZ_CHECK(payload == h.length);
    }
}

std::vector<RecordImage> ReadPass(CxFileReader& reader, int mode, int aux, size_t limit) {
    std::vector<RecordImage> out;
    while (true) {
        std::unique_ptr<CxMemUnit> unit;
        int result = reader.ReadFrame(mode, unit, aux);
        if (result == 0) {
            FUZZ_CHECK(!unit);  // failures hand out no record
            break;
        }
        if (!unit) break;  // formats without aux records say 1 with none
        CheckUnit(reader, *unit);
        FUZZ_CHECK(out.size() < limit);
        if (out.size() >= limit) break;
        out.push_back({std::string(reinterpret_cast<const char*>(unit->Buffer()), unit->Used())});
    }
    return out;
}

void ExerciseReader(CxFileReader& reader) {
    StreamInfo info;
    reader.GetInfo(&info);
    reader.GetInfo(nullptr);
    FUZZ_CHECK(info.Name().size() <= sizeof info.name);
    const int duration = reader.GetDuration();
    FUZZ_CHECK(reader.GetFrameInterval() > 0);
    reader.GetFrameRate();
    reader.GetWidth();
    reader.GetHeight();
    reader.HasAudio();
    reader.GetAudioType();
    reader.IsHevc();
    reader.GetHeaderWord();
    reader.Reserved1(0);
    reader.Reserved2();

    // The position stands at the start of the data after Open.
    reader.Rewind();
    const uint32_t start = reader.Tell();
    std::vector<RecordImage> all = ReadPass(reader, 0, 0);
    reader.IsAtEnd();
    reader.GetPosition();
    // Reading again from the start gives the same records.
    reader.Rewind();
    FUZZ_CHECK(reader.Tell() == start);
    FUZZ_CHECK(ReadPass(reader, 0, 0) == all);

    reader.Rewind();
    ReadPass(reader, 1, 0);
    ReadPass(reader, -1, 0);
    reader.Rewind();
    ReadPass(reader, 0, 1);

    const int64_t d = duration;  // any int: the interface hands the stored u32 through
    const int64_t seconds[] = {0, 1, 2, 3, 7, d / 2, d - 1, d, d + 1, 3599, 3600, -1, INT_MAX};
    for (int64_t s : seconds) {
        reader.SeekToSecond(static_cast<int>(std::clamp<int64_t>(s, INT_MIN, INT_MAX)));
        reader.GetPosition();
        reader.Tell();
        std::unique_ptr<CxMemUnit> unit;
        for (int i = 0; i < 3 && reader.ReadFrame(0, unit, 0) && unit; ++i) CheckUnit(reader, *unit);
        if (reader.ReadFrame(0, unit, 1) && unit) CheckUnit(reader, *unit);
        if (reader.ReadFrame(1, unit, 0) && unit) CheckUnit(reader, *unit);
        if (reader.ReadFrame(-1, unit, 0) && unit) CheckUnit(reader, *unit);
    }
    // A position inside a record: reading must end or resynchronise, never fail.
    reader.SeekToOffset(start + 1);
    std::unique_ptr<CxMemUnit> unit;
    if (reader.ReadFrame(0, unit, 0) && unit) CheckUnit(reader, *unit);
}

void ExerciseRecording(const std::string& path, int selector) {
    std::vector<int> selectors;
    if (std::unique_ptr<CxFileReader> first = OpenRecordingReader(0, path, 0)) {
        const int count = first->GetChannelCount();
        FUZZ_CHECK(count >= 0 && count <= 8);
        for (int i = 0; i < count; ++i) {
            int id = first->GetChannelId(i);
            if (id > 0) selectors.push_back(id);
        }
        FUZZ_CHECK(first->GetChannelId(-1) == 0 && first->GetChannelId(8) == 0 && first->GetChannelId(INT_MAX) == 0);
        WalkEventTable(first->EventTable(), first->EventTableLoaded());
        ExerciseReader(*first);
    }
    selectors.push_back(selector);
    for (int s : selectors) {
        if (std::unique_ptr<CxFileReader> r = OpenRecordingReader(0, path, s)) ExerciseReader(*r);
    }
}

}  // namespace corvane::fuzz
