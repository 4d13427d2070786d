#pragma once
// The map feed: what the main window tells the map page while a recording
// plays. Playback start inserts and names the vehicle, a timer hands the
// latest fix over once a second, stop removes the vehicle. Runs on the GUI
// thread only.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "map/gps_convert.h"
#include "map/script_call.h"
#include "platform/number_text.h"

namespace corvane {

// Arguments of "updateVehicle": name, longitude and latitude with six
// decimals, the course in eighths of a turn ("%f"), "0", the speed with one
// decimal, and two empty strings.
std::vector<std::string> UpdateVehicleArguments(const std::string& name, LonLat position, double course,
                                                double speed);

class CMapFeed {
public:
    explicit CMapFeed(MapScriptTarget& map) : map_(map) {}

    // Playback started: the name (white space trimmed) becomes the vehicle's.
    void Start(std::string_view vehicleName);
    // One tick of the once-a-second timer. A fix with status 0 sends nothing.
    void Tick(const GroupGpsFix& fix, int mapType);
    // Playback stopped.
    void Stop();

    const std::string& VehicleName() const { return name_; }
    bool Centred() const { return centred_; }

private:
    MapScriptTarget& map_;
    std::string name_ = "Car";
    bool centred_ = false;  // the map centres on the vehicle once per run
};

}  // namespace corvane
