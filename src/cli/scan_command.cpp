// corvane scan FOLDER: finds the recordings below a folder as the import does
// and prints the days and recordings as one JSON object.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "catalogue/local_time.h"
#include "catalogue/scan.h"
#include "cli/commands.h"
#include "cli/json_out.h"

namespace corvane::cli {
namespace {

struct ScanOptions {
    std::string folder;
    std::string date, from, to;
    bool measure = false;
};

bool ParseDate(const std::string& s, ScanFilter& f) {
    return std::sscanf(s.c_str(), "%4d-%2d-%2d", &f.year, &f.month, &f.day) == 3 && f.month >= 1 && f.month <= 12 &&
           f.day >= 1 && f.day <= 31;
}

bool ParseTime(const std::string& s, int& h, int& m, int& sec) {
    return std::sscanf(s.c_str(), "%2d:%2d:%2d", &h, &m, &sec) == 3 && h >= 0 && h <= 23 && m >= 0 && m <= 59 &&
           sec >= 0 && sec <= 59;
}

Json RecordingJson(const CDiskVideo& r) {
    Json parts = Json::array();
    for (const auto& p : r.partPaths) parts.push_back(p);
    Json events = Json::array();
    for (const auto& e : r.events) events.push_back(Json::array({e[0], e[1], e[2]}));
    Json j;
    j["start"] = FormatLocalDateTime(r.startTime);
    j["end"] = FormatLocalDateTime(r.endTime);
    j["tag"] = r.tag;
    j["family"] = r.family;
    j["multi_part"] = r.multiPart;
    j["file"] = r.filePath;
    j["parts"] = parts;
    j["length"] = r.length;
    j["channels"] = r.GetChannelCount();
    j["alarm"] = r.IsAlarm();
    j["events"] = events;
    return j;
}

}  // namespace

// Shared with the export command: scans a folder with a filter into sorted days.
bool ScanIntoDays(const std::string& folder, ScanFilter filter, DayList& days, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        error = "not a folder: " + folder;
        return false;
    }
    filter.root = std::filesystem::absolute(folder, ec).lexically_normal().string();
    while (filter.root.size() > 1 && filter.root.back() == '/') filter.root.pop_back();
    RecordingScan scan(filter, days, nullptr);
    scan.Run();
    SortDays(days);
    for (auto& day : days) SortRecordings(*day);
    return true;
}

bool FilterFromOptions(const std::string& date, const std::string& from, const std::string& to, ScanFilter& f,
                       std::string& error) {
    f.allTimes = date.empty() ? 1 : 0;
    if (!date.empty() && !ParseDate(date, f)) {
        error = "--date wants YYYY-MM-DD, not " + date;
        return false;
    }
    if (!from.empty() && !ParseTime(from, f.startHour, f.startMinute, f.startSecond)) {
        error = "--from wants HH:MM:SS, not " + from;
        return false;
    }
    if (!to.empty() && !ParseTime(to, f.stopHour, f.stopMinute, f.stopSecond)) {
        error = "--to wants HH:MM:SS, not " + to;
        return false;
    }
    return true;
}

namespace {

int RunScan(const ScanOptions& o) {
    ScanFilter filter;
    std::string error;
    if (!FilterFromOptions(o.date, o.from, o.to, filter, error)) return Fail(2, error);
    DayList days;
    if (!ScanIntoDays(o.folder, filter, days, error)) return Fail(1, error);
    if (days.empty()) return Fail(1, "no recordings found in " + o.folder);
    Json out;
    out["days"] = Json::array();
    for (auto& day : days) {
        Json d;
        d["date"] = day->GetDateText();
        d["recordings"] = Json::array();
        for (auto& r : day->recordings) {
            if (o.measure) r->Measure();
            d["recordings"].push_back(RecordingJson(*r));
        }
        out["days"].push_back(d);
    }
    PrintJsonLine(out);
    return 0;
}

}  // namespace

void RegisterScanCommand(CLI::App& app, int& status) {
    auto opts = std::make_shared<ScanOptions>();
    CLI::App* sub = app.add_subcommand("scan", "Find the recordings below a folder and list them by day");
    sub->add_option("FOLDER", opts->folder, "folder to search")->required();
    sub->add_option("--date", opts->date, "only this day (YYYY-MM-DD)");
    sub->add_option("--from", opts->from, "start of the time filter (HH:MM:SS)");
    sub->add_option("--to", opts->to, "end of the time filter (HH:MM:SS)");
    sub->add_flag("--measure", opts->measure, "read every recording's length, channels and alarm events");
    sub->callback([opts, &status] { status = RunScan(*opts); });
}

}  // namespace corvane::cli
