// corvane: the player's command-line companion.
#include <csignal>
#include <cstdio>
#include <exception>

#include "cli/commands.h"

int main(int argc, char** argv) {
    using namespace corvane::cli;
    // A file size limit (ulimit -f) must fail the write that crosses it, which
    // the command reports, instead of killing the process mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    CLI::App app{"corvane: read, scan, export, verify and repair vehicle recorder recordings"};
    app.name("corvane");
    app.set_version_flag("--version", std::string("corvane ") + CORVANE_VERSION);
    app.require_subcommand(1);
    int status = 0;
    RegisterProbeCommand(app, status);
    RegisterScanCommand(app, status);
    RegisterRepairCommand(app, status);
    RegisterExportCommand(app, status);
    RegisterGpsCommand(app, status);
    RegisterPlayCommand(app, status);
    RegisterVerifyCommand(app, status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        std::string what = e.what();
        if (what.empty()) what = "invalid usage (see corvane --help)";
        return Fail(2, what);
    } catch (const std::exception& e) {
        return Fail(1, e.what());
    }
    std::fflush(stdout);
    return status;
}

namespace corvane::cli {

int Fail(int code, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "corvane: %s\n", message.c_str());
    return code;
}

}  // namespace corvane::cli
