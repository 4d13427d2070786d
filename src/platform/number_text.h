#pragma once
// Decimal numbers as file formats, JSON, map script calls and the settings
// file write them: always with a '.', whatever the process locale. The GUI
// toolkit switches the C library to the user's locale at start, and strtod or
// printf("%f") would then read "2232.5" as 2232 and write "36,5" in a
// comma-decimal locale.
#include <string>
#include <string_view>

namespace corvane {

// The number at the start of a text, read as strtod reads it in the C locale:
// leading white space, an optional sign, decimal digits with at most one '.',
// an optional exponent; whatever follows is ignored. 0 when the text does not
// start with a number or the number is out of range.
double LeadingDouble(std::string_view text);
float LeadingFloat(std::string_view text);

// printf's "%.Nf" in the C locale ("0" when it cannot be formatted).
std::string FormatFixed(double value, int decimals);

}  // namespace corvane
