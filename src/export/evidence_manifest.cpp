#include "export/evidence_manifest.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "catalogue/local_time.h"
#include "platform/sha256.h"

namespace corvane {
namespace {

using Json = nlohmann::ordered_json;

// "2016-09-20 19:09:10.040": the recorder's local time of a moment.
std::string TimeText(int64_t ms) {
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(((ms % 1000) + 1000) % 1000));
    return FormatLocalDateTime(ms >= 0 ? ms / 1000 : (ms - 999) / 1000) + millis;
}

std::string ClockText(int second) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
    return text;
}

std::string ResultText(const ChannelOutcome& c) {
    switch (c.result) {
        case ChannelResult::kDone: return "done";
        case ChannelResult::kStopped: return "stopped";
        case ChannelResult::kNotRun: return "not run";
        default: return c.reason;
    }
}

Json ChannelJson(const ManifestInput& in, size_t row, const ChannelOutcome& c) {
    Json j;
    j["channel"] = row + 1;
    j["file"] = std::filesystem::path(c.path).filename().string();
    j["result"] = ResultText(c);
    j["requested"] = {{"from", in.date + " " + ClockText(in.startSecond)}, {"to", in.date + " " + ClockText(in.endSecond)}};
    if (c.firstMs >= 0) {
        j["actual"] = {{"from", TimeText(c.firstMs)}, {"to", TimeText(c.endMs)}, {"duration_ms", c.endMs - c.firstMs}};
    } else {
        j["actual"] = nullptr;
    }
    Json gaps = Json::array();
    for (const ExportGap& g : c.gaps) {
        gaps.push_back({{"from", TimeText(g.fromMs)}, {"to", TimeText(g.toMs)}, {"duration_ms", g.toMs - g.fromMs}});
    }
    j["gaps"] = gaps;
    j["alarms"] = c.alarms;
    j["video_frames"] = c.videoFrames;
    return j;
}

bool AddFile(const ManifestInput& in, Json& list, const std::string& path, const std::string& name,
             std::string& error) {
    std::optional<FileDigest> d = in.digest ? in.digest(path) : Sha256OfFile(path);
    if (!d) {
        error = "cannot read " + path;
        return false;
    }
    list.push_back({{"name", name}, {"size", d->size}, {"sha256", d->sha256}});
    return true;
}

}  // namespace

bool WriteManifest(const ManifestInput& in, std::string& error) {
    Json m;
    m["program"] = "CorvanePlayer";
    m["version"] = CORVANE_VERSION;
    m["format"] = in.format;
    m["requested"] = {{"date", in.date}, {"from", ClockText(in.startSecond)}, {"to", ClockText(in.endSecond)}};
    Json channels = Json::array(), sources = Json::array(), outputs = Json::array();
    std::vector<std::string> seen;
    if (in.channels) {
        for (size_t row = 0; row < in.channels->size(); ++row) {
            const ChannelOutcome& c = (*in.channels)[row];
            channels.push_back(ChannelJson(in, row, c));
            for (const std::string& s : c.sources) {
                if (std::find(seen.begin(), seen.end(), s) != seen.end()) continue;
                seen.push_back(s);
                if (!AddFile(in, sources, s, s, error)) return false;
            }
        }
    }
    for (const std::string& o : in.outputs) {
        if (!AddFile(in, outputs, o, std::filesystem::path(o).filename().string(), error)) return false;
    }
    m["channels"] = channels;
    m["sources"] = sources;
    m["outputs"] = outputs;

    // Names read off a damaged card may hold bytes that are not UTF-8.
    std::string text = m.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    const std::string path = (std::filesystem::path(in.folder) / kManifestName).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) error = "cannot write " + path;
    return ok;
}

std::optional<std::vector<FileCheck>> VerifyManifest(const std::string& folder) {
    std::ifstream in(std::filesystem::path(folder) / kManifestName, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    Json m = Json::parse(text.str(), nullptr, false);
    if (m.is_discarded() || !m.is_object()) return std::nullopt;
    std::vector<FileCheck> checks;
    for (const char* role : {"outputs", "sources"}) {
        if (!m.contains(role) || !m[role].is_array()) return std::nullopt;
        for (const Json& f : m[role]) {
            if (!f.is_object() || !f.contains("name") || !f["name"].is_string() || !f.contains("sha256") ||
                !f["sha256"].is_string() || !f.contains("size") || !f["size"].is_number_unsigned()) {
                return std::nullopt;
            }
            FileCheck c;
            c.file = f["name"].get<std::string>();
            c.role = std::string(role) == "outputs" ? "output" : "source";
            std::filesystem::path path = c.file;
            if (path.is_relative()) path = std::filesystem::path(folder) / path;
            std::error_code ec;
            if (!std::filesystem::is_regular_file(path, ec)) {
                c.reason = "missing";
            } else {
                std::optional<FileDigest> d = Sha256OfFile(path.string());
                c.ok = d && d->size == f["size"].get<uint64_t>() && d->sha256 == f["sha256"].get<std::string>();
                if (!c.ok) c.reason = "changed";
            }
            checks.push_back(c);
        }
    }
    return checks;
}

}  // namespace corvane
