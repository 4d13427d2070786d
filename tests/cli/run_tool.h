#pragma once
// Runs the corvane tool and captures what it prints.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace corvane::test {

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
    // Standard output parsed as JSON Lines.
    std::vector<nlohmann::ordered_json> Lines() const;
};

ToolResult RunTool(const std::vector<std::string>& args);

}  // namespace corvane::test
