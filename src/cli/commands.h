#pragma once
// The subcommands of the corvane tool. Each registers itself on the app and
// stores its exit status in `status` when it runs.
#include <CLI/CLI.hpp>
#include <string>

namespace corvane::cli {

void RegisterProbeCommand(CLI::App& app, int& status);

// Prints "corvane: message" on standard error and returns code.
int Fail(int code, const std::string& message);

}  // namespace corvane::cli
