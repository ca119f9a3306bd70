// The first stage's city: one building per line of "Stage1Map.dat".
#pragma once

#include <string>
#include <vector>

namespace datagen {

struct MapBuilding {
    int Type;               // 0 to 7: "building001" to "building008"
    std::string Lot;        // a name for the line's second word
    double X, Y, Z;         // map units; the game places the building at twice these
    double Angle;           // radians about the vertical axis
    double Width, Height, Depth; // map factors: world size 2 x width, 3 x height (raised when low), 2 x depth
};

std::vector<MapBuilding> StageOneCity();
std::string FormatMap(const std::vector<MapBuilding>& city);

} // namespace datagen
