#include "catalogue/recording_name.h"

#include <cstdio>
#include <vector>

namespace corvane {
namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(s[i]) != lower(prefix[i])) return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && StartsWithNoCase(a, b); }

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && StartsWithNoCase(s.substr(s.size() - suffix.size()), suffix);
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == sep) {
            out.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

// The leading decimal digits of a text as a number (0 when there are none).
int LeadingInt(std::string_view s) {
    int v = 0;
    for (size_t i = 0; i < s.size() && i < 9 && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
    return v;
}

std::string_view Sub(std::string_view s, size_t pos, size_t len) {
    return pos < s.size() ? s.substr(pos, len) : std::string_view();
}

// Family-1 dates from a recorder with an unset clock are all zero or absurd.
// The upper bound is a plain code-unit comparison of the text.
bool PlausibleDate(std::string_view date) { return date != "00000000" && date <= "21000000"; }

}  // namespace

std::optional<RecordingName> ClassifyRecordingName(std::string_view name, const ScanFilter& filter) {
    const bool familyZero = StartsWithNoCase(name, "HAY") || StartsWithNoCase(name, "VVS");
    const bool cam = StartsWithNoCase(name, "cam");
    if (!familyZero && !cam && !StartsWithNoCase(name, "H265") && !StartsWithNoCase(name, "H264")) return std::nullopt;
    const bool tac = EndsWithNoCase(name, "tac");
    if (!tac && !EndsWithNoCase(name, "264") && !EndsWithNoCase(name, "265")) return std::nullopt;

    RecordingName r;
    if (cam && tac) {
        std::vector<std::string_view> fields = Split(name, '_');
        if (fields.size() < 5) return std::nullopt;
        r.date = std::string(Sub(fields[4], 0, 8));
        r.time = std::string(Sub(fields[4], 8, 6));
        if (r.date.size() != 8 || r.time.size() != 6 || !PlausibleDate(r.date)) return std::nullopt;
        r.family = 1;
        r.multiPart = 0;
    } else {
        if (name.size() != 30) return std::nullopt;
        const size_t shift = familyZero ? 0 : 1;
        r.date = std::string(name.substr(4 + shift, 8));
        r.time = std::string(name.substr(13 + shift, 6));
        r.family = familyZero ? 0 : 1;
        if (r.family == 1 && !PlausibleDate(r.date)) return std::nullopt;
        r.multiPart = EqualsNoCase(name.substr(20 + shift, 2), "N0") ? 0 : 1;
    }

    if (!filter.allTimes) {
        char day[32], start[32], stop[32];
        std::snprintf(day, sizeof day, "%d%02d%02d", filter.year, filter.month, filter.day);
        std::snprintf(start, sizeof start, "%02d%02d%02d", filter.startHour, filter.startMinute, filter.startSecond);
        std::snprintf(stop, sizeof stop, "%02d%02d%02d", filter.stopHour, filter.stopMinute, filter.stopSecond);
        if (r.date != day || r.time < start || r.time > stop) return std::nullopt;
    }

    // The title (name without its extension) needs five "_"-separated fields.
    std::string_view title = name.substr(0, name.rfind('.') == std::string_view::npos ? name.size() : name.rfind('.'));
    std::vector<std::string_view> fields = Split(title, '_');
    if (fields.size() < 5) return std::nullopt;
    r.tag = std::string(fields[4]);

    std::string_view d = r.date, t = r.time;
    r.year = LeadingInt(d.substr(0, 4));
    r.month = LeadingInt(d.substr(4, 2));
    r.day = LeadingInt(d.substr(6, 2));
    r.hour = LeadingInt(t.substr(0, 2));
    r.minute = LeadingInt(t.substr(2, 2));
    r.second = LeadingInt(t.substr(4, 2));
    return r;
}

}  // namespace corvane
