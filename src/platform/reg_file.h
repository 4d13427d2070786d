#pragma once
// The settings backend: registry keys and values kept in a text file with the
// syntax of a Windows ".reg" export, so that value types survive:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\Software\Corvane\CorvanePlayer]
//   "LangFile"="/usr/share/corvaneplayer/Language/eng.lng"
//   "ShowMap"=dword:00000001
//   "Path"=hex(2):25,00,48,00,00,00          (expand-string, UTF-16LE bytes)
//
// Value data is held as the registry holds it: strings as UTF-16LE bytes with
// their terminating zero, dwords as 4 little-endian bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

enum RegType : uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
};

struct RegValue {
    std::string name;
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
};

struct RegKey {
    std::string path;  // e.g. HKEY_LOCAL_MACHINE\Software\Corvane\CorvanePlayer
    std::vector<RegValue> values;

    const RegValue* Find(std::string_view name) const;
    void Set(RegValue value);  // replaces a value of the same name or appends
};

struct RegFile {
    std::vector<RegKey> keys;

    RegKey* FindKey(std::string_view path);  // key names compare case-insensitively
    RegKey& AddKey(std::string_view path);    // finds or appends
};

// Parses .reg text. Lines that cannot be understood are skipped; everything
// that parsed is kept.
RegFile ParseRegText(std::string_view text);
std::string FormatRegText(const RegFile& file);

// Reads a whole file; nullopt when it cannot be opened or read.
std::optional<std::string> ReadTextFile(const std::string& path);
// Writes a file through a temporary file renamed over the target, creating
// parent folders, so readers never see a half-written file. False on failure.
bool WriteFileAtomically(const std::string& path, std::string_view contents);

// Helpers for value data.
RegValue MakeStringValue(std::string name, std::string_view utf8, uint32_t type = kRegSz);
RegValue MakeDwordValue(std::string name, uint32_t value);

}  // namespace corvane
