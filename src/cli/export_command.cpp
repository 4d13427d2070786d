// corvane export FOLDER --date D --from T --to T --out DIR [--format avi|mp4]
// [--mosaic [--audio-channel N] [--cell WxH] [--crf N] [--preset P]]:
// converts a time range of one day into one AVI or MP4 file per channel (or
// one MP4 of all channels side by side), with the GPS track and the evidence
// manifest beside them, as the conversion dialog does.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "cli/commands.h"
#include "cli/json_out.h"
#include "export/convert_job.h"
#include "platform/interrupt.h"

namespace corvane::cli {
namespace {

struct ExportOptions {
    std::string folder, date, from, to, out;
    std::string format;  // empty: avi, or mp4 with --mosaic
    bool mosaic = false;
    int audioChannel = 0;  // 0: the first channel with sound
    std::string cell;      // "WxH"
    int crf = 23;
    std::string preset = "veryfast";
};

// Shows each channel's progress on one terminal line.
class TerminalProgress : public MessageSink {
public:
    void Post(uint32_t id, uintptr_t wParam, intptr_t lParam) override {
        if (id == kMsgConvertProgress) {
            std::fprintf(stderr, "\rCH%d %3d%%", static_cast<int>(wParam) + 1, static_cast<int>(lParam));
        } else if (id == kMsgEndOfRecording) {
            std::fprintf(stderr, "\rCH%d 100%%\n", static_cast<int>(wParam) + 1);
        }
    }
};

// One JSON line per second of the mosaic's span (standard output), and the
// percentage on a terminal.
class MosaicProgress : public MessageSink {
public:
    MosaicProgress(std::string file, bool terminal) : file_(std::move(file)), terminal_(terminal) {}
    void Post(uint32_t id, uintptr_t wParam, intptr_t lParam) override {
        if (id == kMsgMosaicSecond) {
            Json j;
            j["channel"] = 0;
            j["file"] = file_;
            j["second"] = wParam;
            j["seconds"] = lParam;
            PrintJsonLine(j);
        } else if (id == kMsgConvertProgress && terminal_) {
            std::fprintf(stderr, "\rALL %3d%%", static_cast<int>(lParam));
        } else if (id == kMsgEndOfRecording && terminal_) {
            std::fprintf(stderr, "\rALL 100%%\n");
        }
    }

private:
    std::string file_;
    bool terminal_;
};

bool ParseCell(const std::string& text, int& width, int& height) {
    if (text.empty()) return true;
    char x = 0, rest = 0;
    return std::sscanf(text.c_str(), "%d%c%d%c", &width, &x, &height, &rest) == 3 && (x == 'x' || x == 'X') &&
           width >= 16 && height >= 16 && width <= 4096 && height <= 4096;
}

int PrintMosaic(const CConvertJob& job, const ChannelOutcome& m, int signal) {
    const bool ok = m.result == ChannelResult::kDone;
    Json j;
    j["channel"] = 0;
    Json channels = Json::array();
    for (int row = 0; row < job.RowCount(); ++row) channels.push_back(row + 1);
    j["channels"] = channels;
    j["file"] = m.path;
    j["video_frames"] = m.videoFrames;
    j["audio_bytes"] = m.audioBytes;
    j["format"] = "mp4";
    j["duration_ms"] = m.firstMs >= 0 && m.endMs > m.firstMs ? m.endMs - m.firstMs : 0;
    j["ok"] = ok;
    if (!ok) j["reason"] = m.result == ChannelResult::kStopped ? std::string("stopped") : m.reason;
    // Damaged video the mosaic went on past, per channel.
    Json damaged = Json::array();
    const auto& rows = job.Outcomes();
    for (size_t row = 0; row < rows.size(); ++row) {
        if (!rows[row].reason.empty()) damaged.push_back({{"channel", row + 1}, {"reason", rows[row].reason}});
    }
    if (!damaged.empty()) j["damaged"] = damaged;
    PrintJsonLine(j);
    if (!job.EvidenceError().empty()) return Fail(1, job.EvidenceError());
    if (signal) return Fail(128 + signal, "stopped: the mosaic written so far is complete up to the stop");
    if (!ok) return Fail(1, "the mosaic was not written: " + m.reason);
    return 0;
}

int RunExport(const ExportOptions& o) {
    ScanFilter range;
    std::string error;
    if (!FilterFromOptions(o.date, o.from, o.to, range, error)) return Fail(2, error);
    ConvertSettings settings;
    if (o.mosaic && o.format == "avi") return Fail(2, "--mosaic writes MP4, not AVI");
    settings.format = o.format == "mp4" || o.mosaic ? ExportFormat::kMp4 : ExportFormat::kAvi;
    settings.mosaic.enabled = o.mosaic;
    settings.mosaic.audioRow = o.audioChannel - 1;
    settings.mosaic.crf = o.crf;
    settings.mosaic.preset = o.preset;
    if (!ParseCell(o.cell, settings.mosaic.cellWidth, settings.mosaic.cellHeight)) {
        return Fail(2, "--cell " + o.cell + " is not WIDTHxHEIGHT (16 to 4096 each)");
    }
    settings.startSecond = range.startHour * 3600 + range.startMinute * 60 + range.startSecond;
    settings.endSecond = range.stopHour * 3600 + range.stopMinute * 60 + range.stopSecond;
    if (settings.endSecond < settings.startSecond) return Fail(2, "--to " + o.to + " is earlier than --from " + o.from);
    std::error_code ec;
    settings.folder = std::filesystem::absolute(o.out, ec).lexically_normal().string();
    if (settings.folder.empty()) settings.folder = o.out;
    // A folder that does not exist yet is made, as `mkdir -p` would.
    std::filesystem::create_directories(settings.folder, ec);

    // The whole day is scanned: a recording that began before --from may hold it.
    ScanFilter dayFilter;
    if (!FilterFromOptions(o.date, "", "", dayFilter, error)) return Fail(2, error);
    DayList days;
    if (!ScanIntoDays(o.folder, dayFilter, days, error)) return Fail(1, error);
    CDayVideo* day = days.empty() ? nullptr : days.front().get();
    if (!day || day->recordings.empty()) return Fail(1, "no recordings of " + o.date + " in " + o.folder);
    // The rows are the day's channels, known once the recordings are measured.
    for (auto& r : day->recordings) r->Measure();
    if (day->GetChannelCount() == 0) return Fail(1, "no readable recordings of " + o.date + " in " + o.folder);
    if (o.mosaic && o.audioChannel > day->GetChannelCount()) {
        return Fail(2, "--audio-channel " + std::to_string(o.audioChannel) + ": the day has " +
                           std::to_string(day->GetChannelCount()) + " channel(s)");
    }

    TerminalProgress progress;
    MosaicProgress mosaicProgress(ConvertFilePath(settings.folder, MosaicFileName(*day, settings.startSecond)),
                                  isatty(STDERR_FILENO));
    MessageSink* sink = nullptr;
    if (o.mosaic) {
        sink = &mosaicProgress;
    } else if (isatty(STDERR_FILENO)) {
        sink = &progress;
    }
    CConvertJob job(*day, settings, sink);
    if (!job.Start()) return Fail(1, "cannot start the conversion");
    int signal = 0;
    {
        // Ctrl-C stops the job, which finishes the file it writes.
        InterruptToFlag interrupt(job.stop);
        job.Wait();
        signal = interrupt.Signal();
    }

    if (o.mosaic) return PrintMosaic(job, job.Mosaic(), signal);
    int failed = 0;
    const auto& outcomes = job.Outcomes();
    for (size_t row = 0; row < outcomes.size(); ++row) {
        const ChannelOutcome& c = outcomes[row];
        bool ok = c.result == ChannelResult::kDone;
        Json j;
        j["channel"] = row + 1;
        j["file"] = c.path;
        j["video_frames"] = c.videoFrames;
        j["audio_bytes"] = c.audioBytes;
        if (settings.format == ExportFormat::kMp4) {
            j["format"] = "mp4";
            j["duration_ms"] = c.firstMs >= 0 ? c.endMs - c.firstMs : 0;
            j["gaps"] = c.gaps.size();
        }
        j["ok"] = ok;
        if (!ok) {
            j["reason"] = c.result == ChannelResult::kStopped ? std::string("stopped")
                          : c.reason.empty()                  ? std::string("not converted")
                                                              : c.reason;
        }
        if (c.skippedRecordings) j["skipped_recordings"] = c.skippedRecordings;
        PrintJsonLine(j);
        failed += ok ? 0 : 1;
    }
    if (!job.EvidenceError().empty()) return Fail(1, job.EvidenceError());
    if (signal) return Fail(128 + signal, "stopped: the files written so far are complete up to the stop");
    if (failed) {
        return Fail(1, std::to_string(failed) + " of " + std::to_string(outcomes.size()) + " channel file(s) not written in full");
    }
    return 0;
}

}  // namespace

void RegisterExportCommand(CLI::App& app, int& status) {
    auto opts = std::make_shared<ExportOptions>();
    CLI::App* sub = app.add_subcommand("export", "Convert a time range of one day into one AVI or MP4 file per channel");
    sub->add_option("FOLDER", opts->folder, "folder to search for recordings")->required();
    sub->add_option("--date", opts->date, "the day (YYYY-MM-DD)")->required();
    sub->add_option("--from", opts->from, "start time of the range (HH:MM:SS)")->required();
    sub->add_option("--to", opts->to, "end time of the range (HH:MM:SS)")->required();
    sub->add_option("--out", opts->out, "folder for the files")->required();
    sub->add_option("--format", opts->format, "avi (default) or mp4")->check(CLI::IsMember({"avi", "mp4"}));
    auto* mosaic = sub->add_flag("--mosaic", opts->mosaic, "one MP4 of all channels side by side (H.264)");
    sub->add_option("--audio-channel", opts->audioChannel, "mosaic: the channel whose sound is kept (from 1)")
        ->check(CLI::Range(1, 64))
        ->needs(mosaic);
    sub->add_option("--cell", opts->cell, "mosaic: the size of a cell, WxH (default: the first channel's)")
        ->needs(mosaic);
    sub->add_option("--crf", opts->crf, "mosaic: H.264 quality, 0 (best) to 51 (default 23)")
        ->check(CLI::Range(0, 51))
        ->needs(mosaic);
    sub->add_option("--preset", opts->preset, "mosaic: x264 speed preset (default veryfast)")
        ->check(CLI::IsMember({"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower",
                               "veryslow"}))
        ->needs(mosaic);
    sub->callback([opts, &status] { status = RunExport(*opts); });
}

}  // namespace corvane::cli
