#pragma once
// Writes recording container files from a description, the way a recorder
// lays them out (one key frame per second, index tables filled in), for tests,
// benchmarks and the demo card. Damage is added afterwards with Patch().
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "readers/gps_fix.h"
#include "readers/key_frame_index.h"

namespace corvane::rec {

struct Record {
    uint8_t type = 1;     // 1 video, 2 audio, 4 GPS, others passed through
    uint8_t channel = 0;  // multi-channel versions: 1..15, 0 for file-wide records
    uint8_t key = 0;      // video: 1 marks a key frame
    uint64_t timestamp = 0;
    std::vector<uint8_t> payload;
};

// One entry of a multi-channel file's channel table.
struct Channel {
    uint8_t number = 1;
    uint8_t frameRate = 25;
    uint8_t present = 1;
    uint8_t audioFlag = 0;
    uint16_t width = 704;
    uint16_t height = 576;
};

// How a recording file is laid out: its version, header fields, stream or
// channel table, index and the damage-like oddities a card can hold.
struct FileLayout {
    std::string version = "V700";  // "V120" ... "V800"
    std::string name = "CORVANE-DVR";
    // The header's length field; by default what the recorder writes (the
    // number of index entries, or the span of the key frames).
    std::optional<uint32_t> lengthField;
    uint32_t headerWord = 0;
    uint8_t headerByte = 0;
    uint8_t audioType = 0;
    uint8_t hevc = 0;
    std::vector<uint8_t> extra;  // V700/V800 extra block (at most 255 bytes)

    // Single-channel stream parameters.
    uint8_t frameRate = 25;
    uint8_t audioFlag = 0;
    uint16_t width = 704;
    uint16_t height = 576;

    // Multi-channel versions: the channel table, in slot order (at most 255
    // slots); the u16 header word of 0x501 and later; the event table entries
    // of the versions that keep one (at most 3600); whether the end-of-data
    // marker follows the records.
    std::vector<Channel> channels;
    uint16_t shortHeaderWord = 0;
    std::vector<std::array<uint32_t, 3>> events;
    bool endMarker = false;

    // Index: when set, these entries are written instead of the ones built
    // from the key frames (each table padded with empty all-ones slots; in
    // multi-channel files the table of the first slot).
    std::optional<std::vector<IndexEntry>> indexOverride;
    bool writeIndex = true;  // false leaves every slot empty

    // Versions 0x120 to 0x402: the header's version word when set (V120
    // writes 0x101, or 0x102 with a trailer); the 20-byte trailer behind the
    // index (V120 0x102, V300); the companion "<path>.idx" index file (V300;
    // it gets the entries even when writeIndex is false, which leaves the
    // recording itself without entries); bytes ahead of the first frame
    // header, as a damaged card has them.
    std::optional<uint32_t> versionWord;
    bool trailer = false;
    bool companionIndex = false;
    std::vector<uint8_t> gapBeforeData;
};

class Writer {
public:
    virtual ~Writer() = default;
    // Creates the file and writes what goes ahead of the frame data.
    static std::unique_ptr<Writer> Create(const std::string& path, const FileLayout& layout);
    virtual bool Add(const Record& record) = 0;
    // Writes the index and the header fields known only at the end.
    virtual bool Finish() = 0;
    // Where the frame data begins (V400 to V402, whose index precedes the
    // data, know it once Finish has run).
    virtual uint64_t DataStart() const = 0;
};

bool WriteRecording(const std::string& path, const FileLayout& layout, const std::vector<Record>& records);

// Overwrites bytes of an existing file.
bool Patch(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes);
bool PatchU32(const std::string& path, uint64_t offset, uint32_t value);
bool Truncate(const std::string& path, uint64_t size);

// A plausible stream: `seconds` seconds at `fps` frames per second starting at
// `startMs`, a key frame at the start of every second, payloads of `videoBytes`
// (filled with a pattern derived from the timestamp); optionally an audio
// frame every 40 ms (`audioBytes`) and a GPS fix every second.
struct StreamOptions {
    uint32_t seconds = 10;
    uint32_t fps = 25;
    uint64_t startMs = 1000;
    uint8_t channel = 0;
    size_t videoBytes = 1000;
    size_t keyBytes = 4000;
    size_t audioBytes = 0;  // 0: no audio
    bool gps = false;
    uint8_t gpsChannel = 0;
};
std::vector<Record> MakeStream(const StreamOptions& options);
// Merges the streams of several channels by timestamp, as a recorder writes
// them into one file (records with equal times keep the order of the streams).
std::vector<Record> Interleave(const std::vector<std::vector<Record>>& streams);

// The stored text fix of a GPS record.
std::vector<uint8_t> GpsPayload(const GpsFix& fix);
GpsFix SampleFix(uint32_t second);

}  // namespace corvane::rec
