#pragma once
#include <string>

namespace corvane {

// The folder holding the program's "Language/" and "Map/" folders, ending in
// "/": beside the executable in the build tree, <prefix>/share/corvaneplayer/
// when installed.
std::string ProgramFolder();

}  // namespace corvane
