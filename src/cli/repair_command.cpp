// corvane repair FILE...: rebuilds the key-frame index of each file in place.
#include <memory>

#include "catalogue/disk_video.h"
#include "cli/commands.h"
#include "cli/json_out.h"
#include "readers/probe.h"

namespace corvane::cli {
namespace {

// The version and the number of index entries a plain reader sees.
std::pair<std::string, uint32_t> Look(const std::string& path) {
    std::unique_ptr<CxFileReader> r = OpenRecordingReader(0, path, 0);
    if (!r) return {"", 0};
    return {ReaderVersionName(*r), r->IndexEntryCount()};
}

int RunRepair(const std::vector<std::string>& files) {
    int failed = 0;
    for (const std::string& file : files) {
        auto [format, before] = Look(file);
        RepairResult result = RepairRecordingFile(file);
        uint32_t after = Look(file).second;
        Json j;
        j["file"] = file;
        j["format"] = format;
        j["index_entries_before"] = before;
        j["index_entries_after"] = after;
        j["ok"] = !result.Failed();
        j["outcome"] = RepairOutcomeName(result.outcome);
        if (result.Failed()) j["reason"] = result.reason;
        PrintJsonLine(j);
        failed += result.Failed() ? 1 : 0;
    }
    if (failed) return Fail(1, std::to_string(failed) + " of " + std::to_string(files.size()) + " file(s) not repaired");
    return 0;
}

}  // namespace

void RegisterRepairCommand(CLI::App& app, int& status) {
    auto files = std::make_shared<std::vector<std::string>>();
    CLI::App* sub = app.add_subcommand("repair", "Rebuild the key-frame index of recording files in place");
    sub->add_option("FILE", *files, "recording files")->required();
    sub->callback([files, &status] { status = RunRepair(*files); });
}

}  // namespace corvane::cli
