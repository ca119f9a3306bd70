// The opening's terrain: gentle hills around a nearly flat strip where the crowd runs
// (x from -6 to 6, z from -61 to 11). The model of the ground follows the same heights.
#pragma once

#include <vector>

namespace datagen {

const int kTerrainSize = 201;   // samples per side, one world unit apart
const int kTerrainOrigin = 100; // sample index of world coordinate 0

// Height at world (x, z); defined everywhere, smooth.
float OpeningGroundHeight(double x, double z);
// The 201x201 grid in file order: rows by z from -100, within a row x from -100.
std::vector<float> OpeningGroundGrid();

} // namespace datagen
