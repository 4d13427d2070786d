#include "map/script_call.h"

#include <cstdio>

#include "platform/text_encoding.h"

namespace corvane {
namespace {

bool IsIdentifier(std::string_view name) {
    if (name.empty()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$';
        bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && i > 0)) return false;
    }
    return true;
}

}  // namespace

std::string JsStringLiteral(std::string_view utf8) {
    std::u16string units = Utf8ToUtf16(utf8);
    std::string out;
    out.reserve(units.size() + 2);
    out += '"';
    for (char16_t u : units) {
        if (u == '"' || u == '\\') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u >= 0x20 && u < 0x7f) {
            out += static_cast<char>(u);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(u));
            out += esc;
        }
    }
    out += '"';
    return out;
}

std::optional<std::string> BuildScriptCall(std::string_view function, const std::vector<std::string>& args) {
    if (!IsIdentifier(function)) return std::nullopt;
    std::string f(function);
    std::string call = "try{if(typeof window." + f + "==='function')window." + f + "(";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) call += ',';
        call += JsStringLiteral(args[i]);
    }
    call += ");}catch(e){}";
    return call;
}

}  // namespace corvane
