// corvane probe FILE: opens a recording through the probing factory and prints
// the stream and, on request, every record as JSON Lines.
#include <zlib.h>

#include <charconv>
#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/json_out.h"
#include "readers/event_table.h"
#include "readers/gps_fix.h"
#include "readers/probe.h"

namespace corvane::cli {
namespace {

struct ProbeOptions {
    std::string file;
    int channel = 0;
    bool writable = false;
    std::optional<int> seek;
    bool records = false;
    int mode = 0;
    bool aux = false;
    std::optional<long long> max;
};

std::string OneChar(char c) { return c ? std::string(1, c) : std::string(); }

// A float printed with the fewest digits that read back as the same float.
double Shortest(float f) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, f);
    double d = 0;
    std::from_chars(buf, res.ptr, d);
    return d;
}

Json StreamJson(CxFileReader& r) {
    StreamInfo info;
    r.GetInfo(&info);
    Json ids = Json::array();
    for (int i = 0; i < r.GetChannelCount(); ++i) ids.push_back(r.GetChannelId(i));
    Json events = Json::array();
    for (const EventEntry& e : WalkEventTable(r.EventTable(), r.EventTableLoaded())) {
        events.push_back(Json::array({e[0], e[1], e[2]}));
    }
    Json j;
    j["format"] = ReaderVersionName(r);
    j["name"] = info.Name();
    j["duration"] = r.GetDuration();
    j["header_word"] = info.headerWord;
    j["frame_rate"] = r.GetFrameRate();
    j["frame_interval"] = r.GetFrameInterval();
    j["width"] = r.GetWidth();
    j["height"] = r.GetHeight();
    j["audio_type"] = r.GetAudioType();
    j["has_audio"] = r.HasAudio();
    j["channel_slots"] = info.channelSlots;
    j["channels_present"] = info.channelsPresent;
    j["one_channel_per_file"] = info.oneChannelPerFile;
    j["hevc"] = info.hevc;
    j["channel_count"] = r.GetChannelCount();
    j["channel_ids"] = ids;
    j["hidden_stream"] = r.HiddenStream;
    j["first_timestamp"] = r.FirstTimestamp();
    j["position"] = r.GetPosition();
    j["index_entries"] = r.IndexEntryCount();
    j["events"] = events;
    return j;
}

Json RecordJson(CxFileReader& r, const CxMemUnit& unit) {
    RecordHeader h = unit.Header();
    char crc[9];
    uLong c = crc32(0L, Z_NULL, 0);
    if (unit.Used() > kRecordHeaderSize) c = crc32(c, unit.Payload(), unit.PayloadSize());
    std::snprintf(crc, sizeof crc, "%08lx", c);
    Json j;
    j["type"] = h.Type();
    j["channel"] = h.Channel();
    j["key"] = h.flag;
    j["length"] = h.length;
    j["used"] = unit.Used();
    j["timestamp"] = h.timestamp;
    j["crc32"] = crc;
    j["position"] = r.GetPosition();
    if (h.Type() == kTypeGps && r.DecodesGps() && unit.PayloadSize() >= kGpsFixSize) {
        GpsFix f = GpsFix::Parse(unit.Payload());
        Json g;
        g["status"] = OneChar(f.status);
        g["lat"] = f.LatitudeText();
        g["lat_hemi"] = OneChar(f.latHemisphere);
        g["lon"] = f.LongitudeText();
        g["lon_hemi"] = OneChar(f.lonHemisphere);
        g["speed"] = Shortest(f.speed);
        g["course"] = Shortest(f.course);
        g["year"] = f.year;
        g["month"] = f.month;
        g["day"] = f.day;
        g["hour"] = f.hour;
        g["minute"] = f.minute;
        g["second"] = f.second;
        j["gps"] = g;
    }
    return j;
}

int RunProbe(const ProbeOptions& o) {
    std::unique_ptr<CxFileReader> reader = OpenRecordingReader(o.writable ? 1 : 0, o.file, o.channel);
    if (!reader) return Fail(1, "no reader accepts " + o.file);
    if (o.seek) reader->SeekToSecond(*o.seek);
    PrintJsonLine(StreamJson(*reader));
    if (!o.records) return 0;
    long long count = 0;
    while (!o.max || count < *o.max) {
        std::unique_ptr<CxMemUnit> unit;
        if (reader->ReadFrame(o.mode, unit, o.aux ? 1 : 0) == 0 || !unit) break;
        PrintJsonLine(RecordJson(*reader, *unit));
        ++count;
    }
    return 0;
}

}  // namespace

void RegisterProbeCommand(CLI::App& app, int& status) {
    auto opts = std::make_shared<ProbeOptions>();
    CLI::App* sub = app.add_subcommand("probe", "Open a recording file and print its stream and records");
    sub->add_option("FILE", opts->file, "recording file")->required();
    sub->add_option("--channel", opts->channel, "channel selector given to the reader (default 0)");
    sub->add_flag("--writable", opts->writable, "open the file writable");
    sub->add_option("--seek", opts->seek, "seek to this second after opening");
    sub->add_flag("--records", opts->records, "print every record");
    sub->add_option("--mode", opts->mode, "read mode: 0 next record, 1 next key frame, -1 previous key frame")
        ->check(CLI::IsMember({0, 1, -1}));
    sub->add_flag("--aux", opts->aux, "read only records that are neither video nor audio");
    sub->add_option("--max", opts->max, "stop after this many records")->check(CLI::NonNegativeNumber);
    sub->callback([opts, &status] { status = RunProbe(*opts); });
}

}  // namespace corvane::cli
