#pragma once
// manifest.json: what an export read and wrote, so that anyone can check that
// the files handed on are the ones written. It names the program and its
// version, the range asked for and the span each channel holds with its gaps,
// and the size and SHA-256 of every source and output file. Outputs are named
// relative to the manifest's folder, so the folder may be moved; sources keep
// their paths.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/convert_job.h"
#include "platform/sha256.h"

namespace corvane {

constexpr char kManifestName[] = "manifest.json";

struct ManifestInput {
    std::string folder;
    std::string date;  // "2016-09-20"
    int startSecond = 0, endSecond = 0;
    std::string format;  // "avi" or "mp4"
    const std::vector<ChannelOutcome>* channels = nullptr;
    std::vector<std::string> outputs;  // paths of the files written into the folder
    // The size and SHA-256 of a source or output (empty: it cannot be read);
    // unset: Sha256OfFile.
    std::function<std::optional<FileDigest>(const std::string& path)> digest;
};

// Hashes (or has `digest` give) the channels' sources and the outputs and
// writes the folder's manifest.json. False with `error` set when a file
// cannot be read or the manifest cannot be written.
bool WriteManifest(const ManifestInput& input, std::string& error);

struct FileCheck {
    std::string file;  // as the manifest names it
    std::string role;  // "output" or "source"
    bool ok = false;
    std::string reason;  // "missing" or "changed" when not ok
};

// Checks every file the folder's manifest names, outputs first. Empty when
// the folder has no manifest that can be read.
std::optional<std::vector<FileCheck>> VerifyManifest(const std::string& folder);

}  // namespace corvane
