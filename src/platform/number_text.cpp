#include "platform/number_text.h"

#include <charconv>

namespace corvane {
namespace {

template <typename T>
T Leading(std::string_view text) {
    size_t i = text.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string_view::npos) return 0;
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') ++i;
    // from_chars takes neither white space nor '+', and a second sign is no number.
    if (i == text.size() || text[i] == '-' || text[i] == '+') return 0;
    T value = 0;
    auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (ec != std::errc()) return 0;
    return negative ? -value : value;
}

}  // namespace

double LeadingDouble(std::string_view text) { return Leading<double>(text); }
float LeadingFloat(std::string_view text) { return Leading<float>(text); }

std::string FormatFixed(double value, int decimals) {
    char buf[400];  // the longest fixed form of a double is 309 digits plus decimals
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return "0";
    return std::string(buf, r.ptr);
}

}  // namespace corvane
