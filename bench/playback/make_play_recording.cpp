// bench_make_play_recording FOLDER [--channels N] [--seconds S] [--width W]
//   [--height H] [--crf Q] [--h265] [--no-audio] [--elementary FILE]: writes one
// recording with real video (one file per channel), sound on channel 1 and a
// GPS fix each second, for measuring `corvane play`. Every channel carries the
// same video; --elementary also writes it as an Annex-B stream, for decoding
// it with ffmpeg beside.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "test_recording.h"

int main(int argc, char** argv) {
    using namespace corvane;
    test::RecordingOptions o;
    o.channels = 4;
    o.seconds = 30;
    o.width = 704;
    o.height = 576;
    o.crf = 20;
    o.preset = "veryfast";
    o.audioChannels = {0};
    o.gpsChannels = {0};
    std::string folder, elementary;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
        if (a == "--channels") o.channels = next();
        else if (a == "--seconds") o.seconds = next();
        else if (a == "--width") o.width = next();
        else if (a == "--height") o.height = next();
        else if (a == "--crf") o.crf = next();
        else if (a == "--h265") o.codec = VideoCodec::kH265;
        else if (a == "--no-audio") o.audioChannels.clear();
        else if (a == "--elementary" && i + 1 < argc) elementary = argv[++i];
        else if (folder.empty() && !a.empty() && a[0] != '-') folder = a;
        else {
            std::fprintf(stderr, "bench_make_play_recording: unexpected argument %s\n", a.c_str());
            return 2;
        }
    }
    if (folder.empty() || o.channels < 1 || o.channels > 8 || o.seconds < 1) {
        std::fprintf(stderr, "usage: bench_make_play_recording FOLDER [--channels N] [--seconds S] ...\n");
        return 2;
    }
    std::filesystem::create_directories(folder);
    const auto paths = test::WriteTestRecording(folder, o);
    if (paths.empty()) {
        std::fprintf(stderr, "bench_make_play_recording: writing failed\n");
        return 1;
    }
    if (!elementary.empty()) {
        std::ofstream f(elementary, std::ios::binary);
        for (const EncodedUnit& u : test::EncodedClip(o.codec, o.width, o.height, o.seconds * o.fps, o.fps, o.crf,
                                                      o.preset)) {
            f.write(reinterpret_cast<const char*>(u.data.data()), std::streamsize(u.data.size()));
        }
        if (!f) {
            std::fprintf(stderr, "bench_make_play_recording: cannot write %s\n", elementary.c_str());
            return 1;
        }
    }
    uint64_t bytes = 0;
    for (const auto& p : paths) bytes += std::filesystem::file_size(p);
    std::printf("%zu files, %.1f MB, %.2f Mbit/s per channel\n", paths.size(), double(bytes) / 1e6,
                double(bytes) * 8 / 1e6 / double(o.seconds) / double(o.channels));
    return 0;
}
