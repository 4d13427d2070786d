// corvane gps FILE [--format gpx|csv|json]: the GPS fixes of a recording, with
// positions in WGS-84 decimal degrees.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "cli/commands.h"
#include "cli/json_out.h"
#include "export/gps_track.h"
#include "readers/probe.h"

namespace corvane::cli {
namespace {

struct GpsOptions {
    std::string file;
    std::string format = "gpx";
};

Json OptionalNumber(const std::optional<double>& v) { return v ? Json(*v) : Json(nullptr); }

Json PointJson(const GpsPoint& p) {
    Json j;
    j["timestamp"] = p.timestamp;
    j["time"] = p.utcTime ? Json(*p.utcTime) : Json(nullptr);
    j["status"] = p.fix.status ? std::string(1, p.fix.status) : std::string();
    j["lat"] = OptionalNumber(p.latitude);
    j["lon"] = OptionalNumber(p.longitude);
    j["speed"] = p.fix.speed;
    j["course"] = p.fix.course;
    return j;
}

int RunGps(const GpsOptions& o) {
    std::unique_ptr<CxFileReader> reader = OpenRecordingReader(0, o.file, 0);
    if (!reader) return Fail(1, "no reader accepts " + o.file);
    std::vector<GpsPoint> points = ReadGpsTrack(*reader);
    if (o.format == "json") {
        for (const GpsPoint& p : points) PrintJsonLine(PointJson(p));
    } else {
        std::string name = reader->RecorderName();
        if (name.empty()) name = std::filesystem::path(o.file).filename().string();
        std::string text = o.format == "csv" ? FormatCsv(points) : FormatGpx(points, name);
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    if (std::fflush(stdout) != 0) return Fail(1, "cannot write the output");
    return 0;
}

}  // namespace

void RegisterGpsCommand(CLI::App& app, int& status) {
    auto opts = std::make_shared<GpsOptions>();
    CLI::App* sub = app.add_subcommand("gps", "Print the GPS track of a recording (GPX 1.1, CSV or JSON Lines)");
    sub->add_option("FILE", opts->file, "recording file")->required();
    sub->add_option("--format", opts->format, "gpx (default), csv or json")->check(CLI::IsMember({"gpx", "csv", "json"}));
    sub->callback([opts, &status] { status = RunGps(*opts); });
}

}  // namespace corvane::cli
