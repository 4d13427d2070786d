#pragma once
// What the reader targets do with a reader: every operation a consumer uses,
// with the invariants every record must keep checked on the way.
#include <cstdint>
#include <string>
#include <vector>

#include "readers/file_reader.h"

// A broken invariant is a finding. The fuzz targets abort on it, so that the
// fuzzer keeps the input; the reader tests make it a test failure instead.
#define FUZZ_CHECK(cond)                                                                  \
    do {                                                                                  \
        if (!(cond)) ::corvane::fuzz::ReportCheckFailure(__FILE__, __LINE__, #cond);        \
    } while (0)

namespace corvane::fuzz {

using CheckFailureHandler = void (*)(const char* file, int line, const char* condition);
// Replaces the default handler, which prints the check and aborts.
void SetCheckFailureHandler(CheckFailureHandler handler);
void ReportCheckFailure(const char* file, int line, const char* condition);

// Records a reader hands out per reading pass at most; files from the fuzzer
// hold far fewer, so reaching it means a reader that does not advance.
constexpr size_t kMaxRecordsPerPass = 200000;

// One record as read: its header bytes and payload.
struct RecordImage {
    std::string bytes;
    bool operator==(const RecordImage&) const = default;
};

// Checks what every unit must hold: the header with both sync words, a used
// length between the header and the unit size, and a payload that is the
// stored length, a decoded GPS fix, or nothing for a record too long to hold.
void CheckUnit(const CxFileReader& reader, const CxMemUnit& unit);

// Reads with ReadFrame(mode, aux) from where the reader stands until it
// returns 0 or no record.
std::vector<RecordImage> ReadPass(CxFileReader& reader, int mode, int aux, size_t limit = kMaxRecordsPerPass);

// Getters, the three reading modes from the start, the records that are
// neither video nor audio, seeks to several seconds with reads behind them.
void ExerciseReader(CxFileReader& reader);

// Opens the file the way the consumers do (selector 0, then one reader per
// channel it names) plus one reader with `selector`, and exercises each.
void ExerciseRecording(const std::string& path, int selector);

}  // namespace corvane::fuzz
