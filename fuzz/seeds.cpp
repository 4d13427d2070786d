#include "seeds.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "config/settings.h"
#include "platform/reg_file.h"
#include "recording_input.h"
#include "recwriter.h"

#ifndef CORVANE_SOURCE_DIR
#define CORVANE_SOURCE_DIR "."
#endif

namespace corvane::fuzz {
namespace {

std::optional<std::string> ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A short stream: three seconds at four frames, small payloads, audio and GPS.
rec::StreamOptions ShortStream(uint8_t channel) {
    rec::StreamOptions o;
    o.seconds = 3;
    o.fps = 4;
    o.videoBytes = 24;
    o.keyBytes = 48;
    o.audioBytes = 16;
    o.gps = true;
    o.channel = channel;
    return o;
}

struct Variant {
    rec::FileLayout layout;
    std::vector<rec::Record> records;
};

std::vector<Variant> VariantsOf(const std::string& version) {
    std::vector<Variant> out;
    rec::FileLayout layout;
    layout.version = version;
    const bool multi = version >= "V500" && version < "V700";
    if (!multi) {
        out.push_back({layout, rec::MakeStream(ShortStream(0))});
        rec::FileLayout other = layout;
        other.lengthField = 0;
        other.extra = {1, 2, 3, 4, 5};
        other.hevc = 1;
        other.frameRate = 0;
        other.trailer = true;  // version 0x102 for V120
        if (version == "V120") other.versionWord = 0x102;
        out.push_back({other, rec::MakeStream(ShortStream(1))});
        if (version == "V300") {
            rec::FileLayout companion = layout;
            companion.companionIndex = true;
            companion.writeIndex = false;
            companion.gapBeforeData = {0x55, 0x66, 0x77};
            out.push_back({companion, rec::MakeStream(ShortStream(0))});
        }
        if (version == "V402") {
            rec::FileLayout gap = layout;
            gap.gapBeforeData = {1, 2, 3};
            out.push_back({gap, rec::MakeStream(ShortStream(0))});
        }
        return out;
    }
    // Slots 1 and 3 present, slot 2 not; file-wide GPS; events where kept.
    rec::Channel one, two, three;
    two.number = 2;
    two.present = 0;
    three.number = 3;
    layout.channels = {one, two, three};
    layout.events = {{1000, 1, 30}, {5000, 2, 10}};
    rec::StreamOptions a = ShortStream(1), b = ShortStream(3);
    b.gps = false;
    b.audioBytes = 0;
    out.push_back({layout, rec::Interleave({rec::MakeStream(a), rec::MakeStream(b)})});
    rec::FileLayout single = layout;
    single.channels = {one};
    single.endMarker = true;
    single.shortHeaderWord = 0xF003;
    out.push_back({single, rec::MakeStream(ShortStream(1))});
    return out;
}

void AddRecordingSeeds(std::vector<std::string>& seeds) {
    const std::string path = ScratchFolder() + "/seed";
    for (int v = 0; v < kVersionCount; ++v) {
        for (const Variant& variant : VariantsOf(VersionName(v))) {
            std::remove((path + ".idx").c_str());
            if (!rec::WriteRecording(path, variant.layout, variant.records)) continue;  // version not written yet
            std::optional<std::string> file = ReadWhole(path);
            std::optional<std::string> companion = ReadWhole(path + ".idx");
            if (!file) continue;
            std::optional<std::string> seed = EncodeRecordingInput(v, 0, *file, companion);
            if (!seed) continue;
            // The target must see exactly the file recwriter wrote.
            RecordingInput back = DecodeRecordingInput(reinterpret_cast<const uint8_t*>(seed->data()), seed->size());
            if (back.file != *file || back.companion != companion) std::abort();
            seeds.push_back(*seed);
        }
    }
}

void AddLanguageSeeds(std::vector<std::string>& seeds) {
    for (const char* name : {"eng.lng", "chs.lng"}) {
        if (auto text = ReadWhole(std::string(CORVANE_SOURCE_DIR) + "/resources/Language/" + name)) {
            seeds.push_back(*text);
        }
    }
    seeds.push_back(
        "<?xml version=\"1.0\"?>\r\n<L><FORM_DATA><FORM_MAIN><TAB_ALLFILES>A &amp; B &#x4E2D;&#20013;</TAB_ALLFILES>"
        "<TYPE_ALARM/><TITLE_TIME><![CDATA[<t>]]></TITLE_TIME></FORM_MAIN></FORM_DATA><FORM_DATA><X>y</X></FORM_DATA></L>");
    seeds.push_back("<L><FORM_DATA><FORM_WAIT><BTN_CANCEL>Stop</BTN_CANCEL></FORM_WAIT></FORM_DATA>");  // cut off
    seeds.push_back(std::string("\xFF\xFE<\0L\0>\0<\0/\0L\0>\0", 16));
    seeds.push_back("<!DOCTYPE L [<!ENTITY e \"x\">]><L><FORM_DATA>\x1A<A>b</A></FORM_DATA></L>");
}

void AddSettingsSeeds(std::vector<std::string>& seeds) {
    AppSettings s;
    s.LangFile = "/usr/share/corvaneplayer/Language/chs.lng";
    s.ShowMap = 1;
    const std::string path = ScratchFolder() + "/seed.reg";
    std::remove(path.c_str());
    SaveSettings(s, path);
    if (auto text = ReadWhole(path)) seeds.push_back(*text);
    seeds.push_back(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\CorvanePlayer]\r\n"
        "\"LangFile\"=hex(2):2f,00,74,00,\\\r\n  6d,00,70,00,00,00\r\n"
        "\"ShowMap\"=\"1\"\r\n\"MapName\"=dword:00000000\r\n\"Audio\"=hex(4):01,00,00,00\r\n"
        "@=\"default\"\r\n; comment\r\n\"Esc\\\"aped\"=hex:00,ff\r\n\r\n[HKEY_CURRENT_USER\\Other]\r\n\"A\"=-\r\n");
    seeds.push_back("[hkey_local_machine\\software\\corvane\\corvaneplayer]\n\"langfile\"=\"\"\n\"GpsCalib\"=dword:ffffffff\n");
}

void AddNameSeeds(std::vector<std::string>& seeds) {
    // Flag byte, filter year (i16), month, day, start h m s, stop h m s, name.
    auto seed = [](bool allTimes, const std::string& name) {
        std::string s = {static_cast<char>(allTimes ? 1 : 0), static_cast<char>(2015 & 0xFF), static_cast<char>(2015 >> 8),
                         8, 12, 12, 0, 0, 12, 30, 0};
        return s + name;
    };
    for (const char* name : {"H264_20150812_123000_N0_01.264", "H265_20150812_123000_A0_03.h265",
                             "HAY_20150812_123000_N0_01.h264", "VVS_00000000_000000_B1_13.264",
                             "cam_1_2_3_20150812123000_x.tac", "CAM_a_b_c_21000001000000.TAC",
                             "H264_99999999_999999_N0_01.264"}) {
        seeds.push_back(seed(true, name));
        seeds.push_back(seed(false, name));
    }
}

}  // namespace

std::vector<std::string> SeedInputs(const std::string& target) {
    std::vector<std::string> seeds;
    if (target == "readers" || target == "rebuild") AddRecordingSeeds(seeds);
    if (target == "language") AddLanguageSeeds(seeds);
    if (target == "settings") AddSettingsSeeds(seeds);
    if (target == "recording_name") AddNameSeeds(seeds);
    return seeds;
}

}  // namespace corvane::fuzz
