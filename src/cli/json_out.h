#pragma once
// JSON output of the command-line tool. Values are built with nlohmann's
// ordered_json (fields keep their order) and printed by our own writer, which
// passes valid UTF-8 through and escapes each byte that is not part of valid
// UTF-8 as \u00XX, so names read off damaged cards survive byte for byte.
#include <nlohmann/json.hpp>
#include <string>

namespace corvane::cli {

using Json = nlohmann::ordered_json;

std::string DumpJson(const Json& value);
// Prints one line to standard output.
void PrintJsonLine(const Json& value);

}  // namespace corvane::cli
