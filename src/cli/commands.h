#pragma once
// The subcommands of the corvane tool. Each registers itself on the app and
// stores its exit status in `status` when it runs.
#include <CLI/CLI.hpp>
#include <string>

#include "catalogue/day_video.h"
#include "catalogue/scan_filter.h"

namespace corvane::cli {

void RegisterProbeCommand(CLI::App& app, int& status);
void RegisterScanCommand(CLI::App& app, int& status);
void RegisterRepairCommand(CLI::App& app, int& status);
void RegisterExportCommand(CLI::App& app, int& status);
void RegisterGpsCommand(CLI::App& app, int& status);
void RegisterPlayCommand(CLI::App& app, int& status);
void RegisterVerifyCommand(CLI::App& app, int& status);

// The import's filter from --date, --from and --to (all times without --date).
bool FilterFromOptions(const std::string& date, const std::string& from, const std::string& to, ScanFilter& filter,
                       std::string& error);

// The scan as the import runs it, days and recordings sorted as the player
// lists them. `error` says why when it fails.
bool ScanIntoDays(const std::string& folder, ScanFilter filter, DayList& days, std::string& error);

// Prints "corvane: message" on standard error and returns code.
int Fail(int code, const std::string& message);

}  // namespace corvane::cli
