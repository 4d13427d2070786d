#include "readers/probe.h"

#include <new>
#include <typeinfo>

#include "readers/reader_v300.h"
#include "readers/reader_v400.h"
#include "readers/reader_v500.h"
#include "readers/reader_v700.h"

namespace corvane {
namespace {

struct Version {
    const char* name;
    std::unique_ptr<CxFileReader> (*make)(int channel);
    bool (*is)(const CxFileReader&);
};

template <class Reader>
std::unique_ptr<CxFileReader> Make(int channel) {
    return std::make_unique<Reader>(channel);
}

template <class Reader>
bool Is(const CxFileReader& r) {
    return typeid(r) == typeid(Reader);
}

// Newest first: an older version's checks may be weaker, so each file must
// meet its own version's reader before any older one.
const Version kVersions[] = {
    {"V800", Make<CFileReaderV800>, Is<CFileReaderV800>},
    {"V700", Make<CFileReaderV700>, Is<CFileReaderV700>},
    {"V600", Make<CFileReaderV600>, Is<CFileReaderV600>},
    {"V510", Make<CFileReaderV510>, Is<CFileReaderV510>},
    {"V503", Make<CFileReaderV503>, Is<CFileReaderV503>},
    {"V502", Make<CFileReaderV502>, Is<CFileReaderV502>},
    {"V501", Make<CFileReaderV501>, Is<CFileReaderV501>},
    {"V500", Make<CFileReaderV500>, Is<CFileReaderV500>},
    {"V402", Make<CFileReaderV402>, Is<CFileReaderV402>},
    {"V401", Make<CFileReaderV401>, Is<CFileReaderV401>},
    {"V400", Make<CFileReaderV400>, Is<CFileReaderV400>},
    {"V300", Make<CFileReaderV300>, Is<CFileReaderV300>},
    {"V120", Make<CFileReaderV120>, Is<CFileReaderV120>},
};

}  // namespace

std::unique_ptr<CxFileReader> OpenRecordingReader(int writable, const std::string& path, int channel) {
    try {
        for (const Version& v : kVersions) {
            std::unique_ptr<CxFileReader> reader = v.make(channel);
            if (reader->Open(path, writable) == 1) return reader;
        }
    } catch (...) {  // allocation failures and the like: no reader
    }
    return nullptr;
}

const char* ReaderVersionName(const CxFileReader& reader) {
    for (const Version& v : kVersions) {
        if (v.is(reader)) return v.name;
    }
    return "";
}

}  // namespace corvane
