#pragma once
// Stepping through the frame data of the versions whose frame headers start
// with the two sync words: finding the next header after damaged bytes, and
// moving forward to the next video record.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "readers/file_handle.h"
#include "readers/mem_unit.h"

namespace corvane {

// How far a search for the sync words slides over damaged bytes before it
// gives up; the same reach as the backward search for the recording's end.
constexpr uint64_t kMaxResyncBytes = 0x500000;

// Offset of the first place at or after `from` where both sync words stand,
// looking at most `limit` bytes ahead; reads in blocks.
std::optional<uint64_t> FindSyncWords(FileHandle& file, uint64_t from, uint64_t limit = kMaxResyncBytes);

// Parses one stored frame header; false when the sync words are wrong.
using FrameHeaderParser = bool (*)(const uint8_t* bytes, RecordHeader& header);

// From the current position, reads frame headers of `headerSize` bytes and
// skips the payload of every record that is not video, until a video record
// comes; damaged bytes in between are slid over to the next sync words. On a
// video record the file is left at its header and its timestamp is returned.
// Otherwise (short read, end of file, no sync words within reach) the file
// stands where the search ended.
std::optional<uint64_t> SeekForwardToVideo(FileHandle& file, size_t headerSize, FrameHeaderParser parse);

}  // namespace corvane
