#include "codecs/av_error.h"

extern "C" {
#include <libavutil/error.h>
}

namespace corvane {

std::string AvErrorText(int averror) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return text;
}

}  // namespace corvane
