#include "cli/json_out.h"

#include <cstdio>

namespace corvane::cli {
namespace {

size_t Utf8SequenceLength(const std::string& s, size_t i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t len;
    unsigned min;
    unsigned cp;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) { len = 2; min = 0x80; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { len = 3; min = 0x800; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { len = 4; min = 0x10000; cp = c & 0x07; }
    else return 0;
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void AppendString(std::string& out, const std::string& s) {
    out += '"';
    char buf[8];
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = Utf8SequenceLength(s, i);
        if (len == 0) {
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            ++i;
            continue;
        }
        if (len == 1) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                default:
                    if (c < 0x20 || c == 0x7F) {
                        std::snprintf(buf, sizeof buf, "\\u%04x", c);
                        out += buf;
                    } else {
                        out += static_cast<char>(c);
                    }
            }
        } else {
            out.append(s, i, len);
        }
        i += len;
    }
    out += '"';
}

void Append(std::string& out, const Json& v) {
    switch (v.type()) {
        case Json::value_t::object: {
            out += '{';
            bool first = true;
            for (auto it = v.begin(); it != v.end(); ++it) {
                if (!first) out += ',';
                first = false;
                AppendString(out, it.key());
                out += ':';
                Append(out, it.value());
            }
            out += '}';
            break;
        }
        case Json::value_t::array: {
            out += '[';
            for (size_t i = 0; i < v.size(); ++i) {
                if (i) out += ',';
                Append(out, v[i]);
            }
            out += ']';
            break;
        }
        case Json::value_t::string: AppendString(out, v.get_ref<const std::string&>()); break;
        default: out += v.dump(); break;  // numbers, booleans, null
    }
}

}  // namespace

std::string DumpJson(const Json& value) {
    std::string out;
    Append(out, value);
    return out;
}

void PrintJsonLine(const Json& value) {
    std::string line = DumpJson(value);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

}  // namespace corvane::cli
