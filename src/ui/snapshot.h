#pragma once
// Snapshots: the name proposed for a saved picture.
#include <cstdint>
#include <string>

namespace corvane {

// "2016_09_20_09": year, month, day and second of the local time `t`.
std::string SnapshotName(int64_t t);

}  // namespace corvane
