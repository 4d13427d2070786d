#include "catalogue/speed_track.h"

#include <algorithm>
#include <memory>

#include "readers/gps_fix.h"
#include "readers/probe.h"

namespace corvane {
namespace {

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

// Aux reading (mode 0, aux 1) hands out only the records that are neither
// video nor audio; a format without such records answers it with 1 and no
// record, without moving, and then every record has to be read in turn.
std::vector<SpeedSample> ReadFileSpeeds(const std::string& path, const std::atomic<bool>* cancel) {
    std::vector<SpeedSample> samples;
    std::unique_ptr<CxFileReader> reader = OpenRecordingReader(0, path, 0);
    if (!reader) return samples;
    const uint64_t first = reader->FirstTimestamp();
    std::unique_ptr<CxMemUnit> unit;
    const int aux = reader->ReadFrame(0, unit, 1) && !unit ? 0 : 1;
    if (!aux) reader->ReadFrame(0, unit, 0);
    for (; unit && !Cancelled(cancel); reader->ReadFrame(0, unit, aux)) {
        const RecordHeader h = unit->Header();
        if (h.Type() != kTypeGps) continue;
        GpsFix fix;
        if (reader->DecodesGps()) {
            if (unit->PayloadSize() < kGpsFixSize) continue;
            fix = GpsFix::Parse(unit->Payload());
        } else {
            fix = GpsFix::Decode(unit->Payload(), unit->PayloadSize());
        }
        // Damaged records give any float: keep plausible road speeds only.
        if (fix.status != 'A' || !(fix.speed >= 0 && fix.speed < 1000)) continue;
        const uint64_t ms = h.timestamp > first ? h.timestamp - first : 0;
        samples.push_back({static_cast<uint32_t>(std::min<uint64_t>(ms, UINT32_MAX)), fix.speed});
    }
    return samples;
}

}  // namespace

std::vector<SpeedSample> ReadSpeedTrack(const std::vector<std::string>& files, const std::atomic<bool>* cancel) {
    for (const std::string& path : files) {
        if (Cancelled(cancel)) break;
        std::vector<SpeedSample> samples = ReadFileSpeeds(path, cancel);
        if (!samples.empty()) return samples;
    }
    return {};
}

}  // namespace corvane
