#pragma once
// The one-way bridge to the map page: the application calls global functions
// of the page, every argument a string. The page itself is untrusted display
// code as far as the application is concerned, and the arguments carry text
// from recordings (the vehicle name), so a call is built as a script in which
// every argument is a quoted string literal and nothing else.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Whatever can run the page's script functions: the map control, or a
// recording double in tests. Returns false when the call could not be made;
// callers ignore the result, the next call simply tries again.
class MapScriptTarget {
public:
    virtual ~MapScriptTarget() = default;
    virtual bool CallScript(const std::string& function, const std::vector<std::string>& args) = 0;
};

// A JavaScript string literal (double quotes) for UTF-8 text. Everything but
// printable ASCII is written as \uXXXX, so the literal is plain ASCII; bytes
// that are not UTF-8 become U+DC80 + byte, as everywhere else in the program.
std::string JsStringLiteral(std::string_view utf8);

// A script that calls the page's global function with the arguments as
// strings, does nothing when the page has no such function, and keeps any
// exception inside the page. No script when the name is not a plain
// identifier.
std::optional<std::string> BuildScriptCall(std::string_view function, const std::vector<std::string>& args);

}  // namespace corvane
