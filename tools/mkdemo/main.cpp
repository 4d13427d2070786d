// corvane-mkdemo OUTDIR: writes the demo card.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "card_writer.h"

namespace {

void Usage(FILE* to) {
    std::fprintf(to,
                 "Usage: corvane-mkdemo [--small] [--jobs N] OUTDIR\n"
                 "Writes a demo card of recordings into OUTDIR.\n"
                 "  --small   every recording 4 seconds long at half the picture size\n"
                 "  --jobs N  encode on N threads (default: one per processor); the files\n"
                 "            do not depend on it\n");
}

void Progress(const corvane::demo::RecordingPlan& p, const std::vector<corvane::demo::WrittenFile>& files) {
    for (const auto& f : files)
        std::printf("%-4s %7.2f MB  %s\n", p.version.c_str(), double(f.bytes) / 1e6, f.path.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    corvane::demo::CardOptions options;
    int jobs = int(std::max(1u, std::thread::hardware_concurrency()));
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--small") {
            options.small = true;
        } else if (a == "--jobs" && i + 1 < argc) {
            jobs = std::atoi(argv[++i]);
        } else if (!a.empty() && a[0] != '-' && out.empty()) {
            out = a;
        } else {
            std::fprintf(stderr, "corvane-mkdemo: unexpected argument %s\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (out.empty() || jobs < 1) {
        Usage(stderr);
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    const corvane::demo::CardReport report =
        corvane::demo::WriteCard(out, corvane::demo::PlanCard(options), jobs, Progress);
    if (!report.error.empty()) {
        std::fprintf(stderr, "corvane-mkdemo: %s\n", report.error.c_str());
        return 1;
    }
    uint64_t total = 0;
    for (const auto& f : report.files) total += f.bytes;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%zu files, %.1f MB in %s (%.1f s)\n", report.files.size(), double(total) / 1e6, out.c_str(), seconds);
    return 0;
}

// libx265 leaks on every encoder it opens (inside its own frame filter and
// parameter copies); LeakSanitizer reads this list in sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
