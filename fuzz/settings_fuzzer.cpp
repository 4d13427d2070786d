// The settings file: loading never fails on any text, writing the file back
// keeps everything else it held, and what was saved loads again unchanged.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "config/settings.h"
#include "platform/reg_file.h"
#include "reader_exercise.h"
#include "recording_input.h"

namespace {

using namespace corvane;

bool SameValues(const RegKey& a, const RegKey& b) {
    if (a.values.size() != b.values.size()) return false;
    for (size_t i = 0; i < a.values.size(); ++i) {
        const RegValue& x = a.values[i];
        const RegValue& y = b.values[i];
        if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
    }
    return true;
}

bool SameFile(const RegFile& a, const RegFile& b) {
    if (a.keys.size() != b.keys.size()) return false;
    for (size_t i = 0; i < a.keys.size(); ++i) {
        if (a.keys[i].path != b.keys[i].path || !SameValues(a.keys[i], b.keys[i])) return false;
    }
    return true;
}

bool SameSettings(const AppSettings& a, const AppSettings& b) {
    return a.LangFile == b.LangFile && a.GpsCalib == b.GpsCalib && a.GpsOrbit == b.GpsOrbit &&
           a.MapName == b.MapName && a.ShowMap == b.ShowMap && a.Audio == b.Audio && a.HardDraw == b.HardDraw;
}

// The values SaveSettings writes (names compare as the registry compares them).
bool IsStoredSetting(std::string_view name) {
    RegKey probe;
    for (const char* n : {"LangFile", "GpsCalib", "GpsOrbit", "MapName", "ShowMap", "Audio", "HardDraw"}) {
        probe.values.push_back(RegValue{n, kRegNone, {}});
    }
    return probe.Find(name) != nullptr;
}

void WriteText(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // What the parser kept is written out so that it parses to the same.
    const RegFile parsed = ParseRegText(text);
    const std::string formatted = FormatRegText(parsed);
    const RegFile reparsed = ParseRegText(formatted);
    FUZZ_CHECK(SameFile(parsed, reparsed));
    FUZZ_CHECK(FormatRegText(reparsed) == formatted);

    const std::string path = corvane::fuzz::ScratchFolder() + "/settings.reg";
    WriteText(path, text);
    AppSettings loaded;
    LoadSettings(loaded, path);
    FUZZ_CHECK(loaded.LangFile.size() <= 10203 * 3 + 4096);

    // Saving into the same file keeps every other key and value.
    SaveSettings(loaded, path);
    AppSettings reloaded;
    FUZZ_CHECK(LoadSettings(reloaded, path));
    FUZZ_CHECK(SameSettings(loaded, reloaded));
    std::ifstream in(path, std::ios::binary);
    RegFile saved = ParseRegText(std::string(std::istreambuf_iterator<char>(in), {}));
    for (const RegKey& key : parsed.keys) {
        RegKey* now = saved.FindKey(key.path);
        FUZZ_CHECK(now);
        const bool ours = now == saved.FindKey(kSettingsKey);
        for (const RegValue& v : key.values) {
            const RegValue* kept = now->Find(v.name);
            FUZZ_CHECK(kept);
            if (!ours || !IsStoredSetting(v.name)) FUZZ_CHECK(kept->type == v.type && kept->data == v.data);
        }
    }
    return 0;
}
