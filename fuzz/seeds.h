#pragma once
// Seed inputs of each fuzz target, made at run time (nothing is stored):
// recordings of every version written by recwriter and packed as the reader
// targets expect them, the shipped language files and typical settings files
// and file names.
#include <string>
#include <vector>

namespace corvane::fuzz {

// Targets: "readers", "rebuild", "language", "settings", "recording_name".
std::vector<std::string> SeedInputs(const std::string& target);

}  // namespace corvane::fuzz
