#include "export/gps_track.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "readers/mem_unit.h"

namespace corvane {
namespace {

// Fixed six decimals (about 0.1 m), the same in every locale.
std::string Fixed(double value, int decimals = 6) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

bool ValidDateTime(const GpsFix& f) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f.month < 1 || f.month > 12 || f.day < 1) return false;
    bool leap = f.year % 4 == 0 && (f.year % 100 != 0 || f.year % 400 == 0);
    int days = kDays[f.month - 1] + (f.month == 2 && leap ? 1 : 0);
    return f.day <= days && f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

// Decodes one UTF-8 sequence at s[i]; the code point, or -1 for a byte that
// does not start a valid, shortest-form sequence. Advances i.
long NextCodePoint(const std::string& s, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
        ++i;
        return -1;
    }
    long cp = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        unsigned char next = byte(i + static_cast<size_t>(k));
        if ((next & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    static const long kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kShortest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return -1;
    }
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

// Text for an XML element or attribute: markup characters escaped, and every
// byte that is not valid UTF-8 or not allowed in XML 1.0 replaced by U+FFFD.
std::string XmlText(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        size_t from = i;
        long cp = NextCodePoint(s, i);
        bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                       (cp >= 0xE000 && cp <= 0xFFFD) || cp >= 0x10000;
        if (!allowed) {
            out += "\xEF\xBF\xBD";
            continue;
        }
        switch (cp) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out.append(s, from, i - from);
        }
    }
    return out;
}

}  // namespace

std::optional<double> DegreesFromDegreesMinutes(const std::string& text, char hemisphere, double maxDegrees) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    double whole = std::trunc(v / 100);
    double minutes = v - 100 * whole;
    if (minutes >= 60) return std::nullopt;
    double degrees = whole + minutes / 60;
    if (degrees > maxDegrees) return std::nullopt;
    bool negative = hemisphere == 'S' || hemisphere == 's' || hemisphere == 'W' || hemisphere == 'w' || hemisphere == 1;
    return negative ? -degrees : degrees;
}

GpsPoint MakeGpsPoint(const GpsFix& fix, uint64_t timestamp) {
    GpsPoint p;
    p.timestamp = timestamp;
    p.fix = fix;
    p.latitude = DegreesFromDegreesMinutes(fix.LatitudeText(), fix.latHemisphere, 90);
    p.longitude = DegreesFromDegreesMinutes(fix.LongitudeText(), fix.lonHemisphere, 180);
    // The west end of the date line is the east end (GPX wants -180 <= lon < 180).
    if (p.longitude && *p.longitude == 180) p.longitude = -180.0;
    if (ValidDateTime(fix)) {
        char t[32];
        std::snprintf(t, sizeof t, "%04d-%02d-%02dT%02d:%02d:%02dZ", fix.year, fix.month, fix.day, fix.hour, fix.minute,
                      fix.second);
        p.utcTime = t;
    }
    return p;
}

std::optional<GpsPoint> GpsPointOf(CxFileReader& reader, const CxMemUnit& unit) {
    GpsFix fix;
    if (reader.DecodesGps()) {
        if (unit.PayloadSize() < kGpsFixSize) return std::nullopt;
        fix = GpsFix::Parse(unit.Payload());
    } else {
        fix = GpsFix::Decode(unit.Payload(), unit.PayloadSize());
    }
    return MakeGpsPoint(fix, unit.Header().timestamp);
}

std::vector<GpsPoint> ReadGpsTrack(CxFileReader& reader) {
    std::vector<GpsPoint> points;
    std::unique_ptr<CxMemUnit> unit;
    while (reader.ReadFrame(0, unit, 0) && unit) {
        if (unit->Header().Type() != kTypeGps) continue;
        if (std::optional<GpsPoint> p = GpsPointOf(reader, *unit)) points.push_back(*p);
    }
    return points;
}

std::string FormatGpx(const std::vector<GpsPoint>& points, const std::string& name) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"corvane\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        "  <trk>\n";
    out += "    <name>" + XmlText(name) + "</name>\n";
    out += "    <trkseg>\n";
    for (const GpsPoint& p : points) {
        if (!p.OnTrack()) continue;
        out += "      <trkpt lat=\"" + Fixed(*p.latitude) + "\" lon=\"" + Fixed(*p.longitude) + "\"><time>" + *p.utcTime +
               "</time></trkpt>\n";
    }
    out += "    </trkseg>\n  </trk>\n</gpx>\n";
    return out;
}

std::string FormatCsv(const std::vector<GpsPoint>& points) {
    std::string out = "timestamp,time,status,latitude,longitude,speed,course\n";
    for (const GpsPoint& p : points) {
        char status = p.fix.status;
        bool plainStatus = (status >= 'A' && status <= 'Z') || (status >= 'a' && status <= 'z') || (status >= '0' && status <= '9');
        out += std::to_string(p.timestamp) + "," + p.utcTime.value_or("") + "," + (plainStatus ? std::string(1, status) : "") +
               "," + (p.latitude ? Fixed(*p.latitude) : "") + "," + (p.longitude ? Fixed(*p.longitude) : "") + "," +
               Fixed(p.fix.speed, 1) + "," + Fixed(p.fix.course, 1) + "\n";
    }
    return out;
}

}  // namespace corvane
