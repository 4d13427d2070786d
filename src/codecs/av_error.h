#pragma once
// The text libavutil gives for one of its (negative) error codes.
#include <string>

namespace corvane {

std::string AvErrorText(int averror);

}  // namespace corvane
