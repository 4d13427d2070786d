// corvane verify DIR: recomputes the SHA-256 of every file that DIR's
// manifest.json names and says which are missing or changed.
#include <memory>

#include "cli/commands.h"
#include "cli/json_out.h"
#include "export/evidence_manifest.h"

namespace corvane::cli {
namespace {

int RunVerify(const std::string& folder) {
    std::optional<std::vector<FileCheck>> checks = VerifyManifest(folder);
    if (!checks) return Fail(2, "no readable manifest.json in " + folder);
    int bad = 0;
    for (const FileCheck& c : *checks) {
        Json j;
        j["file"] = c.file;
        j["role"] = c.role;
        j["ok"] = c.ok;
        if (!c.ok) j["reason"] = c.reason;
        PrintJsonLine(j);
        bad += c.ok ? 0 : 1;
    }
    if (bad) return Fail(1, std::to_string(bad) + " file(s) missing or changed");
    return 0;
}

}  // namespace

void RegisterVerifyCommand(CLI::App& app, int& status) {
    auto folder = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand("verify", "Check the files of an export against its manifest.json");
    sub->add_option("DIR", *folder, "folder of the export")->required();
    sub->callback([folder, &status] { status = RunVerify(*folder); });
}

}  // namespace corvane::cli
