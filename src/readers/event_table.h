#pragma once
// The alarm event table some versions keep ahead of their frame data: 3600
// entries of three u32 fields, whose meaning the catalogue keeps as it is.
#include <array>
#include <cstdint>
#include <vector>

namespace corvane {

using EventEntry = std::array<uint32_t, 3>;

// The entries in use: none unless the table was loaded whole; then the entries
// in order, stopping before the first whose first or second field is 0.
std::vector<EventEntry> WalkEventTable(const uint8_t* table, bool loaded);

}  // namespace corvane
