#pragma once
// How a fuzz input becomes a recording file, and back.
//
// The first byte picks the container version, so that every reader gets
// inputs that pass its magic and version checks; the second byte holds
// options. The rest is the file, except that the big fixed tables of the
// newer versions are packed, so that short inputs still reach the frame data:
//
//   byte 0   version: V800 V700 V600 V510 V503 V502 V501 V500 V402 V401 V400 V300 V120
//   byte 1   options (kOpt...)
//   V700, V800    header and stream block (56 / 57 bytes), the extra block
//                 (E bytes, E = header byte 43), one count byte c and c index
//                 slots of 8 bytes (the other slots of the 3605 stay empty,
//                 all ones), then the frame data
//   V500 family   48-byte header (N = slot count, at most 16 here), 8 N bytes
//                 of channel table, per slot a count byte and that many index
//                 slots (the rest of its 3600 all ones), for the versions with
//                 an event table a count byte and that many 12-byte events
//                 (the rest zero), then the frame data
//   V400 family   the file as it is (100-byte header, index, data)
//   V300          with kOptCompanion: a count byte and that many 8-byte
//                 entries of the "<path>.idx" companion file; then the file
//   V120          the file as it is; kOptCompanion picks version word 0x102
//                 (with trailer) instead of 0x101
//
// Missing bytes read as zero; magic and version word are always written.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace corvane::fuzz {

enum Options : uint8_t {
    kOptSelectorMask = 0x0F,  // the channel selector of one more reader
    kOptNegativeSelector = 0x10,
    kOptCompanion = 0x20,
    kOptStopRebuild = 0x40,  // the rebuild target raises the stop flag first
};

constexpr int kVersionCount = 13;
const char* VersionName(int version);  // "V800" ... "V120"
int VersionByName(const std::string& name);  // -1 when unknown

struct RecordingInput {
    int version = 0;
    uint8_t options = 0;
    std::string file;
    std::optional<std::string> companion;  // contents of "<path>.idx"

    // The reader selector that kOptSelectorMask and kOptNegativeSelector give.
    int Selector() const;
};

RecordingInput DecodeRecordingInput(const uint8_t* data, size_t size);

// The inverse, for seeds: packs a recording file of the given version.
// Nothing when the file is not laid out as that version (too short, or the
// tables hold more than a count byte can say).
std::optional<std::string> EncodeRecordingInput(int version, uint8_t options, const std::string& file,
                                                const std::optional<std::string>& companion);

// A folder of this process for the files a target writes, removed at exit.
const std::string& ScratchFolder();
// Writes the file (and its companion, or removes a stale one) and returns
// the recording's path.
std::string WriteRecordingInput(const RecordingInput& input, const std::string& name = "rec");

}  // namespace corvane::fuzz
