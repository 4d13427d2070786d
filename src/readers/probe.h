#pragma once
#include <memory>
#include <string>

#include "readers/file_reader.h"

namespace corvane {

// Tries the container versions newest first and returns the first reader whose
// Open accepts the file, or null. Rejecting readers are destroyed at once, so
// no file stays open.
std::unique_ptr<CxFileReader> OpenRecordingReader(int writable, const std::string& path, int channel);

// Name of the version a reader reads ("V700", ...).
const char* ReaderVersionName(const CxFileReader& reader);

}  // namespace corvane
