// RebuildIndex on a copy of the input: whatever the file holds, the rebuild
// writes only where the format keeps its index, never touches frame data, and
// leaves a recording that reads the same records as before and seeks to key
// frames. A rebuild stopped by the stop flag changes nothing.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "reader_exercise.h"
#include "readers/byte_order.h"
#include "readers/probe.h"
#include "recording_input.h"

namespace {

using namespace corvane;
using namespace corvane::fuzz;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Range {
    size_t begin, end;
};

// Where a rebuild of this version may write into the file it was given.
// Version 0x300 appends its index and trailer instead.
std::vector<Range> IndexAreas(const std::string& version, const std::string& file) {
    const auto* b = reinterpret_cast<const uint8_t*>(file.data());
    if (version == "V700" || version == "V800") {
        size_t header = version == "V800" ? 49 : 48;
        size_t table = header + 8 + b[43];
        return {{28, 32}, {table, table + 3605 * 8}};
    }
    for (const char* v : {"V500", "V501", "V502", "V503", "V510", "V600"}) {
        if (version == v) {
            size_t slots = b[version == "V500" ? 44 : 42];
            return {{28, 32}, {48 + 8 * slots, 48 + 28808 * slots}};
        }
    }
    return {};
}

bool InArea(const std::vector<Range>& areas, size_t at) {
    for (const Range& r : areas) {
        if (at >= r.begin && at < r.end) return true;
    }
    return false;
}

void CheckOnlyIndexChanged(const std::string& version, const std::string& before, const std::string& after) {
    if (version == "V300") {
        FUZZ_CHECK(after.size() >= before.size() && after.compare(0, before.size(), before) == 0);
        return;
    }
    FUZZ_CHECK(after.size() == before.size());
    const std::vector<Range> areas = IndexAreas(version, before);
    for (size_t i = 0; i < before.size(); ++i) FUZZ_CHECK(before[i] == after[i] || InArea(areas, i));
}

// Seeking to a second of a rebuilt index lands on a key frame.
void CheckSeeks(CxFileReader& reader) {
    if (reader.GetDuration() <= 0) return;  // seeking does nothing then
    const uint32_t entries = reader.IndexEntryCount();
    for (uint32_t s = 0; s < entries && s < 64; ++s) {
        reader.SeekToSecond(static_cast<int>(s));
        std::unique_ptr<CxMemUnit> unit;
        if (reader.ReadFrame(0, unit, 0) && unit) {
            FUZZ_CHECK(unit->Header().Type() == kTypeVideo && unit->Header().flag == 1);
        }
    }
    reader.Rewind();
    for (const RecordImage& r : ReadPass(reader, 1, 0)) {
        FUZZ_CHECK(static_cast<uint8_t>(r.bytes[8]) >> 4 == kTypeVideo && r.bytes[9] == 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const RecordingInput input = DecodeRecordingInput(data, size);
    const std::string path = WriteRecordingInput(input);
    const bool stop = input.options & kOptStopRebuild;

    std::unique_ptr<CxFileReader> reader = OpenRecordingReader(1, path, 0);
    if (!reader) return 0;
    const std::string version = ReaderVersionName(*reader);
    reader->Rewind();
    const std::vector<RecordImage> records = ReadPass(*reader, 0, 0);
    // As the repair command does it.
    reader->Close();
    g_StopRebuildIndex = stop;
    const int result = reader->RebuildIndex();
    g_StopRebuildIndex = false;
    reader.reset();

    const std::string rebuilt = ReadWhole(path);
    if (stop) {
        FUZZ_CHECK(result == 0 && rebuilt == input.file);
        return 0;
    }
    CheckOnlyIndexChanged(version, input.file, rebuilt);

    std::unique_ptr<CxFileReader> again = OpenRecordingReader(0, path, 0);
    FUZZ_CHECK(again && version == ReaderVersionName(*again));
    again->Rewind();
    const std::vector<RecordImage> after = ReadPass(*again, 0, 0);
    // The rebuild lost no record; an appended index can only let the last
    // record of the data, which ended the file, be read now.
    FUZZ_CHECK(after.size() >= records.size() && after.size() <= records.size() + 1);
    FUZZ_CHECK(std::equal(records.begin(), records.end(), after.begin()));
    if (version != "V300") FUZZ_CHECK(after.size() == records.size());
    if (result == 1) CheckSeeks(*again);  // an index the rebuild wrote
    again.reset();

    // A second rebuild finds the same key frames and writes the same bytes.
    if (result == 1 && version != "V300") {
        std::unique_ptr<CxFileReader> twice = OpenRecordingReader(1, path, 0);
        FUZZ_CHECK(twice);
        twice->Close();
        FUZZ_CHECK(twice->RebuildIndex() == 1);
        twice.reset();
        FUZZ_CHECK(ReadWhole(path) == rebuilt);
    }
    return 0;
}
