#pragma once
// Switches the C library to a comma-decimal locale for one test, as the GUI
// toolkit switches the player to the user's locale, and back afterwards.
// scripts/setup generates the locale.
#include <clocale>
#include <string>

namespace corvane::test {

class CommaDecimalLocale {
public:
    CommaDecimalLocale() {
        if (const char* current = std::setlocale(LC_ALL, nullptr)) previous_ = current;
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~CommaDecimalLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    CommaDecimalLocale(const CommaDecimalLocale&) = delete;
    CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;

    bool Active() const { return active_; }

private:
    std::string previous_ = "C";
    bool active_ = false;
};

}  // namespace corvane::test

