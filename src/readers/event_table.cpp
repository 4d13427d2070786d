#include "readers/event_table.h"

#include "readers/byte_order.h"
#include "readers/file_reader.h"

namespace corvane {

std::vector<EventEntry> WalkEventTable(const uint8_t* table, bool loaded) {
    std::vector<EventEntry> out;
    if (!table || !loaded) return out;
    for (size_t i = 0; i < kEventTableSize / 12; ++i) {
        const uint8_t* e = table + i * 12;
        if (GetU32(e) == 0 || GetU32(e + 4) == 0) break;
        out.push_back({GetU32(e), GetU32(e + 4), GetU32(e + 8)});
    }
    return out;
}

}  // namespace corvane
