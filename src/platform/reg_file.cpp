#include "platform/reg_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text_encoding.h"

namespace corvane {
namespace {

constexpr std::string_view kHeaderLine = "Windows Registry Editor Version 5.00";

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses a quoted string starting at s[0] == '"'; returns the unescaped text
// and the rest after the closing quote.
std::optional<std::pair<std::string, std::string_view>> ParseQuoted(std::string_view s) {
    if (s.empty() || s.front() != '"') return std::nullopt;
    std::string out;
    for (size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            out += s[++i];
        } else if (c == '"') {
            return std::make_pair(out, s.substr(i + 1));
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view s) {
    std::vector<uint8_t> out;
    s = Trim(s);
    if (s.empty()) return out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i + 2 > s.size()) return std::nullopt;
        int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 2;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i < s.size()) {
            if (s[i] != ',') return std::nullopt;
            ++i;
        }
    }
    return out;
}

std::optional<RegValue> ParseValueLine(std::string_view line) {
    RegValue v;
    std::string_view rest;
    if (!line.empty() && line.front() == '@') {
        rest = line.substr(1);  // the key's default value has an empty name
    } else {
        auto q = ParseQuoted(line);
        if (!q) return std::nullopt;
        v.name = q->first;
        rest = q->second;
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != '=') return std::nullopt;
    rest = Trim(rest.substr(1));
    if (!rest.empty() && rest.front() == '"') {
        auto q = ParseQuoted(rest);
        if (!q || !Trim(q->second).empty()) return std::nullopt;
        return MakeStringValue(v.name, q->first);
    }
    if (rest.rfind("dword:", 0) == 0) {
        std::string_view digits = Trim(rest.substr(6));
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        uint32_t value = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) return std::nullopt;
            value = value * 16 + static_cast<uint32_t>(d);
        }
        return MakeDwordValue(v.name, value);
    }
    if (rest.rfind("hex", 0) == 0) {
        std::string_view h = rest.substr(3);
        v.type = kRegBinary;
        if (!h.empty() && h.front() == '(') {
            size_t close = h.find(')');
            if (close == std::string_view::npos || close == 1 || close > 9) return std::nullopt;
            uint32_t type = 0;
            for (char c : h.substr(1, close - 1)) {
                int d = HexDigit(c);
                if (d < 0) return std::nullopt;
                type = type * 16 + static_cast<uint32_t>(d);
            }
            v.type = type;
            h = h.substr(close + 1);
        }
        if (h.empty() || h.front() != ':') return std::nullopt;
        auto bytes = ParseHexBytes(h.substr(1));
        if (!bytes) return std::nullopt;
        v.data = std::move(*bytes);
        return v;
    }
    return std::nullopt;  // deletions ("name"=-) and unknown forms are not values
}

void AppendEscaped(std::string& out, std::string_view s) {
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
}

void AppendHex(std::string& out, const std::vector<uint8_t>& data) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i) out += ',';
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
}

// A REG_SZ whose bytes are exactly a string and its terminator, with no
// embedded zero, can be written in the readable quoted form.
std::optional<std::string> PlainString(const RegValue& v) {
    if (v.type != kRegSz || v.data.size() < 2 || v.data.size() % 2) return std::nullopt;
    std::u16string u16;
    for (size_t i = 0; i + 2 < v.data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
        if (c == 0) return std::nullopt;
        u16 += c;
    }
    if (v.data[v.data.size() - 2] || v.data.back()) return std::nullopt;
    std::string utf8 = Utf16ToUtf8(u16);
    if (Utf8ToUtf16(utf8) != u16 || utf8.find_first_of("\r\n") != std::string::npos) return std::nullopt;
    return utf8;
}

}  // namespace

const RegValue* RegKey::Find(std::string_view name) const {
    for (const RegValue& v : values) {
        if (EqualsNoCase(v.name, name)) return &v;
    }
    return nullptr;
}

void RegKey::Set(RegValue value) {
    for (RegValue& v : values) {
        if (EqualsNoCase(v.name, value.name)) {
            v = std::move(value);
            return;
        }
    }
    values.push_back(std::move(value));
}

RegKey* RegFile::FindKey(std::string_view path) {
    for (RegKey& k : keys) {
        if (EqualsNoCase(k.path, path)) return &k;
    }
    return nullptr;
}

RegKey& RegFile::AddKey(std::string_view path) {
    if (RegKey* k = FindKey(path)) return *k;
    keys.push_back(RegKey{std::string(path), {}});
    return keys.back();
}

RegFile ParseRegText(std::string_view text) {
    RegFile file;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    RegKey* current = nullptr;
    std::string line;  // one logical line: hex data may continue over lines ending in '\'
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view piece = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        line += piece;
        if (!line.empty() && line.back() == '\\' && pos < text.size()) {
            line.pop_back();
            continue;
        }
        std::string_view l = line;
        if (l.empty() || l.front() == ';' || l == kHeaderLine) {
        } else if (l.front() == '[') {
            current = (l.back() == ']' && l.size() > 2) ? &file.AddKey(l.substr(1, l.size() - 2)) : nullptr;
        } else if (current) {
            if (auto v = ParseValueLine(l)) current->Set(std::move(*v));
        }
        line.clear();
    }
    return file;
}

std::string FormatRegText(const RegFile& file) {
    std::string out(kHeaderLine);
    out += "\n";
    for (const RegKey& key : file.keys) {
        out += "\n[" + key.path + "]\n";
        for (const RegValue& v : key.values) {
            if (v.name.empty()) {
                out += "@";
            } else {
                out += '"';
                AppendEscaped(out, v.name);
                out += '"';
            }
            out += '=';
            if (auto s = PlainString(v)) {
                out += '"';
                AppendEscaped(out, *s);
                out += '"';
            } else if (v.type == kRegDword && v.data.size() == 4) {
                char buf[16];
                uint32_t d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (uint32_t(v.data[3]) << 24);
                std::snprintf(buf, sizeof buf, "dword:%08x", d);
                out += buf;
            } else if (v.type == kRegBinary) {
                out += "hex:";
                AppendHex(out, v.data);
            } else {
                char buf[24];
                std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
                out += buf;
                AppendHex(out, v.data);
            }
            out += '\n';
        }
    }
    return out;
}

std::optional<std::string> ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return ss.str();
}

bool WriteFileAtomically(const std::string& path, std::string_view contents) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    std::string tmp = path + ".tmp." + std::to_string(getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < contents.size();) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

RegValue MakeStringValue(std::string name, std::string_view utf8, uint32_t type) {
    RegValue v{std::move(name), type, {}};
    for (char16_t c : Utf8ToUtf16(utf8)) {
        v.data.push_back(static_cast<uint8_t>(c & 0xFF));
        v.data.push_back(static_cast<uint8_t>(c >> 8));
    }
    v.data.push_back(0);
    v.data.push_back(0);
    return v;
}

RegValue MakeDwordValue(std::string name, uint32_t value) {
    return RegValue{std::move(name), kRegDword,
                    {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                     static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}};
}

}  // namespace corvane
