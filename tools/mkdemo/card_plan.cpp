#include "card_plan.h"

#include <cstdio>

namespace corvane::demo {
namespace {

// Audio types as the recorders write them; the player picks the speech codec
// from them (0: G.726 16 kbit/s, 5: G.711 mu-law, 6: G.726 40 kbit/s in the
// other bit order, any other: IMA ADPCM).
constexpr int kG726 = 0;
constexpr int kMuLaw = 5;
constexpr int kG726Other = 6;
constexpr int kIma = 1;
constexpr int kNone = -1;

ChannelPlan Ch(int number, int audioType = kNone, bool gps = false) { return ChannelPlan{number, audioType, gps}; }

std::string DateText(const ClockTime& t) {
    char b[16];
    std::snprintf(b, sizeof b, "%04d%02d%02d", t.year, t.month, t.day);
    return b;
}

std::string TimeText(const ClockTime& t) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d%02d%02d", t.hour, t.minute, t.second);
    return b;
}

class Planner {
public:
    explicit Planner(const CardOptions& o) : small_(o.small) {}

    // Adds a recording starting `offset` seconds after the drive began.
    void Add(RecordingPlan p, const ClockTime& driveStart, int offset, bool reverse) {
        p.start = AddSeconds(driveStart, offset);
        p.driveSecond = offset;
        p.reverseDrive = reverse;
        if (small_) {
            p.seconds = 4;
            p.width /= 2;
            p.height /= 2;
            p.preset = "ultrafast";
            p.chunkSeconds = 2;
            for (size_t i = 0; i < p.events.size(); ++i) p.events[i] = {uint32_t(1000 + 1000 * i), p.events[i][1], 1};
        }
        card_.push_back(std::move(p));
    }

    std::vector<RecordingPlan> Take() { return std::move(card_); }

private:
    bool small_;
    std::vector<RecordingPlan> card_;
};

RecordingPlan Make(const char* folder, const char* prefix, const char* version, Layout layout, VideoCodec codec,
                   int width, int height, int seconds, std::vector<ChannelPlan> channels, const char* summary) {
    RecordingPlan p;
    p.folder = folder;
    p.prefix = prefix;
    p.version = version;
    p.layout = layout;
    p.codec = codec;
    p.width = width;
    p.height = height;
    p.seconds = seconds;
    p.channels = std::move(channels);
    p.summary = summary;
    if (codec == VideoCodec::kH265) {
        p.preset = "ultrafast";
        p.crf = 30;
    }
    return p;
}

}  // namespace

ClockTime AddSeconds(const ClockTime& t, int seconds) {
    ClockTime r = t;
    const int s = t.hour * 3600 + t.minute * 60 + t.second + seconds;
    r.hour = s / 3600;
    r.minute = s / 60 % 60;
    r.second = s % 60;
    return r;
}

int SpeechFrameSamples(const std::string& version) { return version == "V700" || version == "V800" ? 320 : 160; }

std::vector<std::string> RecordingFiles(const RecordingPlan& p) {
    const std::string date = DateText(p.start), time = TimeText(p.start);
    const std::string ext = p.codec == VideoCodec::kH265 ? ".265" : ".264";
    std::vector<std::string> files;
    if (p.prefix == "cam") {
        // The split layout: the fifth field starts with the date and time.
        files.push_back(p.folder + "/cam1_" + date + "_" + time + "_N0_" + date + time + ".tac");
    } else if (p.layout == Layout::kMultiPart) {
        for (size_t i = 0; i < p.channels.size(); ++i)
            files.push_back(p.folder + "/" + p.prefix + "_" + date + "_" + time + "_A" + std::to_string(i) + "_" + p.tag + ext);
    } else if (p.prefix == "HAY" || p.prefix == "VVS") {
        files.push_back(p.folder + "/" + p.prefix + "_" + date + "_" + time + "_N0_" + p.tag + ".h264");
    } else {
        files.push_back(p.folder + "/" + p.prefix + "_" + date + "_" + time + "_N0_" + p.tag + ext);
    }
    return files;
}

std::vector<RecordingPlan> PlanCard(const CardOptions& options) {
    Planner card(options);
    const auto kAvc = VideoCodec::kH264, kHevc = VideoCodec::kH265;
    const auto kSingle = Layout::kSingleFile, kParts = Layout::kMultiPart, kMulti = Layout::kMultiChannel;

    // 20 September 2016: an evening drive from Houhai towards Luohu.
    const ClockTime evening{2016, 9, 20, 19, 9, 9};
    {
        RecordingPlan p = Make("record/20160920", "H264", "V800", kParts, kAvc, 704, 576, 600,
                               {Ch(1, kG726, true), Ch(2), Ch(3), Ch(4)},
                               "four cameras, one file each");
        p.tag = "00";
        // Long and many: the fastest preset keeps the card quick to make.
        p.preset = "ultrafast";
        p.crf = 32;
        card.Add(p, evening, 0, false);
    }
    card.Add(Make("record/20160920", "H264", "V700", kSingle, kAvc, 1280, 720, 120, {Ch(1, kMuLaw, true)},
                  "one camera in 720p"),
             evening, 651, false);
    {
        RecordingPlan p = Make("alarm/20160920", "H264", "V502", kMulti, kAvc, 704, 576, 90,
                               {Ch(1, kG726Other, true), Ch(2, kG726Other), Ch(3), Ch(4)},
                               "four cameras in one file, two alarm events");
        p.events = {{15000, 1, 20}, {52000, 3, 12}};
        card.Add(p, evening, 831, false);
    }
    card.Add(Make("record/20160920", "H265", "V800", kSingle, kHevc, 1280, 720, 60, {Ch(1, kIma, true)},
                  "one camera, H.265 in 720p"),
             evening, 1011, false);
    {
        RecordingPlan p = Make("alarm/20160920", "H265", "V800", kParts, kHevc, 704, 576, 60,
                               {Ch(1, kMuLaw, true), Ch(2, kG726)}, "two cameras, H.265, alarm input 3");
        p.tag = "03";
        card.Add(p, evening, 1131, false);
    }
    card.Add(Make("record/20160920", "H264", "V501", kMulti, kAvc, 704, 576, 60, {Ch(1, kG726, true), Ch(2)},
                  "two cameras in one file"),
             evening, 1251, false);
    {
        RecordingPlan p = Make("record/20160920", "H264", "V700", kSingle, kAvc, 704, 576, 60, {Ch(1, kG726, true)},
                               "power cut: no index, no length (repair it)");
        p.damaged = true;
        card.Add(p, evening, 1371, false);
    }

    // 21 September 2016: the morning drive back, and an older recorder's files.
    const ClockTime morning{2016, 9, 21, 8, 0, 0};
    card.Add(Make("record/20160921", "H264", "V600", kMulti, kAvc, 704, 576, 60,
                  {Ch(1, kMuLaw, true), Ch(2), Ch(3), Ch(4), Ch(5), Ch(6), Ch(7), Ch(8)},
                  "eight cameras in one file"),
             morning, 0, true);
    {
        RecordingPlan p = Make("alarm/20160921", "H264", "V503", kMulti, kAvc, 1280, 720, 60,
                               {Ch(1, kIma, true), Ch(2), Ch(3)}, "three cameras in 720p, one alarm event");
        p.events = {{9000, 2, 30}};
        card.Add(p, morning, 120, true);
    }
    card.Add(Make("record/20160921", "H264", "V510", kMulti, kAvc, 704, 576, 60, {Ch(1, kNone, true), Ch(2, kG726Other)},
                  "two cameras in one file, short frame headers"),
             morning, 240, true);
    card.Add(Make("record/20160921", "H264", "V500", kMulti, kAvc, 704, 576, 60, {Ch(1, kNone, true), Ch(2)},
                  "two cameras in one file, no sound"),
             morning, 360, true);
    {
        RecordingPlan p = Make("alarm/20160921", "H264", "V700", kParts, kAvc, 704, 576, 60,
                               {Ch(1, kG726Other, true), Ch(2), Ch(3, kMuLaw)}, "three cameras, alarm input 7");
        p.tag = "07";
        card.Add(p, morning, 480, true);
    }
    card.Add(Make("archive/old-recorder", "H264", "V402", kSingle, kAvc, 704, 576, 90, {Ch(1, kMuLaw, true)},
                  "older recorder, GPS decoded"),
             morning, 600, true);
    card.Add(Make("archive/old-recorder", "H264", "V401", kSingle, kAvc, 704, 576, 60, {Ch(1, kG726, true)},
                  "older recorder"),
             morning, 720, true);
    card.Add(Make("archive/old-recorder", "HAY", "V400", kSingle, kAvc, 704, 576, 60, {Ch(1, kG726Other, true)},
                  "older recorder, HAY name (never an alarm)"),
             morning, 840, true);
    {
        RecordingPlan p = Make("archive/old-recorder", "H264", "V300", kSingle, kAvc, 704, 576, 60, {Ch(1, kIma, true)},
                               "older recorder, index in a companion .idx file");
        p.companionIndex = true;
        card.Add(p, morning, 960, true);
    }
    card.Add(Make("archive/old-recorder", "cam", "V120", kSingle, kAvc, 704, 576, 60, {Ch(1, kG726, true)},
                  "oldest recorder, cam...tac name"),
             morning, 1080, true);
    return card.Take();
}

}  // namespace corvane::demo
