#include "run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/temp_dir.h"

extern char** environ;

namespace corvane::test {

std::vector<nlohmann::ordered_json> ToolResult::Lines() const {
    std::vector<nlohmann::ordered_json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(nlohmann::ordered_json::parse(line));
    }
    return lines;
}

ToolResult RunTool(const std::vector<std::string>& args) {
    TempDir dir;
    std::string outPath = dir.File("out"), errPath = dir.File("err");
    std::vector<std::string> all = {CORVANE_TOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ToolResult r;
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    auto slurp = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    r.out = slurp(outPath);
    r.err = slurp(errPath);
    return r;
}

}  // namespace corvane::test
