#include "config/settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "config/program_folder.h"
#include "platform/reg_file.h"
#include "platform/text_encoding.h"

namespace corvane {

AppSettings g_AppSettings;

namespace {

constexpr size_t kMaxLangFileChars = 10203;

struct DwordField {
    const char* name;
    std::atomic<int32_t> AppSettings::*field;
    int32_t fallback;  // used when the value is missing or not a dword
};

// Stored in this order. MapName and ShowMap fall back to other values than
// their initial ones: a key without them means Baidu with the map shown.
constexpr DwordField kDwordFields[] = {
    {"GpsCalib", &AppSettings::GpsCalib, 1}, {"GpsOrbit", &AppSettings::GpsOrbit, 0},
    {"MapName", &AppSettings::MapName, 0},   {"ShowMap", &AppSettings::ShowMap, 1},
    {"Audio", &AppSettings::Audio, 1},       {"HardDraw", &AppSettings::HardDraw, 1},
};

// A string value is accepted as a registry string: REG_SZ or REG_EXPAND_SZ (not
// expanded), an even byte count ending in a zero character, at most 10203
// characters before it.
bool ReadStringValue(const RegValue* v, std::string& out) {
    if (!v || (v->type != kRegSz && v->type != kRegExpandSz)) return false;
    const auto& d = v->data;
    if (d.size() < 2 || d.size() % 2 || d[d.size() - 2] || d.back()) return false;
    std::u16string u16;
    for (size_t i = 0; i + 2 < d.size(); i += 2) {
        char16_t c = static_cast<char16_t>(d[i] | (d[i + 1] << 8));
        if (c == 0) break;  // the text ends at its first terminator
        u16 += c;
    }
    if (d.size() / 2 - 1 > kMaxLangFileChars) return false;
    out = Utf16ToUtf8(u16);
    return true;
}

}  // namespace

AppSettings& AppSettings::operator=(const AppSettings& other) {
    if (this == &other) return *this;
    LangFile = other.LangFile;
    for (const DwordField& f : kDwordFields) (this->*f.field).store((other.*f.field).load());
    AssociateH264.store(other.AssociateH264.load());
    return *this;
}

std::string SettingsFilePath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/Corvane/CorvanePlayer.reg";
}

bool LoadSettings(AppSettings& s, const std::string& file) {
    std::optional<std::string> text = ReadTextFile(file);
    RegFile reg;
    if (text) reg = ParseRegText(*text);
    const RegKey* key = text ? reg.FindKey(kSettingsKey) : nullptr;
    if (!key) {
        s.LangFile = ProgramFolder() + "Language/eng.lng";
        s.MapName = 1;
        return false;
    }
    std::string lang;
    if (ReadStringValue(key->Find("LangFile"), lang)) s.LangFile = lang;
    for (const DwordField& f : kDwordFields) {
        const RegValue* v = key->Find(f.name);
        int32_t value = f.fallback;
        if (v && v->type == kRegDword && v->data.size() == 4) {
            value = static_cast<int32_t>(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) |
                                         (uint32_t(v->data[3]) << 24));
        }
        (s.*f.field).store(value);
    }
    return true;
}

bool SaveSettings(const AppSettings& s, const std::string& file) {
    RegFile reg;
    if (std::optional<std::string> text = ReadTextFile(file)) reg = ParseRegText(*text);
    RegKey& key = reg.AddKey(kSettingsKey);
    key.Set(MakeStringValue("LangFile", s.LangFile));
    for (const DwordField& f : kDwordFields) {
        key.Set(MakeDwordValue(f.name, static_cast<uint32_t>((s.*f.field).load())));
    }
    return WriteFileAtomically(file, FormatRegText(reg));
}

}  // namespace corvane
