#pragma once
// UTF-8 <-> UTF-16 conversion that never loses bytes: a byte that is not part of
// valid UTF-8 becomes the lone surrogate U+DC80+byte and turns back into the
// same byte (so Linux paths with arbitrary bytes survive a round trip).
#include <string>
#include <string_view>

namespace corvane {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace corvane
