#include "config/program_folder.h"

#include <filesystem>

namespace corvane {

std::string ProgramFolder() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    fs::path dir = ec ? fs::current_path(ec) : exe.parent_path();
    if (!fs::is_directory(dir / "Language", ec)) {
        fs::path installed = dir.parent_path() / "share" / "corvaneplayer";
        if (fs::is_directory(installed / "Language", ec)) dir = installed;
    }
    std::string out = dir.string();
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}

}  // namespace corvane
