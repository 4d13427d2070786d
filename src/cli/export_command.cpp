// corvane export FOLDER --date D --from T --to T --out DIR [--format avi|mp4]:
// converts a time range of one day into one AVI or MP4 file per channel, with
// the GPS track and the evidence manifest beside them, as the conversion
// dialog does.
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
    std::string format = "avi";
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

int RunExport(const ExportOptions& o) {
    ScanFilter range;
    std::string error;
    if (!FilterFromOptions(o.date, o.from, o.to, range, error)) return Fail(2, error);
    ConvertSettings settings;
    settings.format = o.format == "mp4" ? ExportFormat::kMp4 : ExportFormat::kAvi;
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

    TerminalProgress progress;
    CConvertJob job(*day, settings, isatty(STDERR_FILENO) ? &progress : nullptr);
    if (!job.Start()) return Fail(1, "cannot start the conversion");
    int signal = 0;
    {
        // Ctrl-C stops the job, which finishes the file it writes.
        InterruptToFlag interrupt(job.stop);
        job.Wait();
        signal = interrupt.Signal();
    }

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
        return Fail(1, std::to_string(failed) + " of " + std::to_string(outcomes.size()) + " channel file(s) not written");
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
    sub->callback([opts, &status] { status = RunExport(*opts); });
}

}  // namespace corvane::cli
