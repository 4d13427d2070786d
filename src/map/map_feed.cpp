#include "map/map_feed.h"

namespace corvane {
namespace {

constexpr const char* kWhiteSpace = " \t\r\n\v\f";

std::string Trimmed(std::string_view s) {
    size_t b = s.find_first_not_of(kWhiteSpace);
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(kWhiteSpace);
    return std::string(s.substr(b, e - b + 1));
}

}  // namespace

std::vector<std::string> UpdateVehicleArguments(const std::string& name, LonLat position, double course,
                                                double speed) {
    return {name, FormatFixed(position.lon, 6), FormatFixed(position.lat, 6), FormatFixed(course / 45, 6), "0",
            FormatFixed(speed, 1), "", ""};
}

void CMapFeed::Start(std::string_view vehicleName) {
    name_ = Trimmed(vehicleName);
    map_.CallScript("insertVehicle", {name_});
    map_.CallScript("setVehiName", {name_, name_});
}

void CMapFeed::Tick(const GroupGpsFix& fix, int mapType) {
    if (fix.status == 0) return;
    if (!centred_) {
        centred_ = true;
        map_.CallScript("setCenter", {"1", "1", "16", "1"});
    }
    LonLat wgs = PositionFromDegMin(fix.latitude, fix.latHemisphere, fix.longitude, fix.lonHemisphere);
    LonLat p = MapCoordinates(wgs, mapType);
    map_.CallScript("updateVehicle", UpdateVehicleArguments(name_, p, fix.course, fix.speed));
    map_.CallScript("selectVehicleEx", {name_, "0"});
}

void CMapFeed::Stop() { map_.CallScript("deleteVehicle", {name_}); }

}  // namespace corvane
