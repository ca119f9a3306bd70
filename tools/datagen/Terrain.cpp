#include "tools/datagen/Terrain.h"

#include "tools/datagen/DataTree.h"
#include "tools/datagen/Raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace datagen {

float OpeningGroundHeight(double x, double z)
{
    // Rolling hills: a few long waves and a shallow bowl that rises toward the horizon.
    const double hills = 1.8 * std::sin(0.045 * x + 0.7) * std::sin(0.05 * z + 1.3) + 1.1 * std::sin(0.09 * x - 0.07 * z + 2.1) +
        0.45 * std::sin(0.16 * x + 0.2 * z + 0.4) + 0.00035 * (x * x + z * z) + 0.6;
    // The runners' strip: a barely rolling floor.
    const double path = 0.12 * std::sin(z * 0.05 + 0.3);
    const double dx = std::max(0.0, std::fabs(x) - 6.0);
    const double dz = std::max({0.0, -61.0 - z, z - 11.0});
    const float w = Smoothstep(0.0f, 20.0f, static_cast<float>(std::hypot(dx, dz)));
    return static_cast<float>(path + w * (hills - path));
}

std::vector<float> OpeningGroundGrid()
{
    std::vector<float> grid(static_cast<size_t>(kTerrainSize) * kTerrainSize);
    for (int r = 0; r < kTerrainSize; ++r)
        for (int c = 0; c < kTerrainSize; ++c)
            grid[static_cast<size_t>(r) * kTerrainSize + c] = OpeningGroundHeight(c - kTerrainOrigin, r - kTerrainOrigin);
    return grid;
}

namespace {

void MakeTerrain(const CDataTree& tree)
{
    const std::vector<float> grid = OpeningGroundGrid();
    std::vector<uint8_t> bytes(grid.size() * 4);
    for (size_t i = 0; i < grid.size(); ++i) {
        uint32_t bits;
        std::memcpy(&bits, &grid[i], 4);
        for (int k = 0; k < 4; ++k)
            bytes[i * 4 + k] = static_cast<uint8_t>(bits >> (8 * k)); // little-endian on any host
    }
    tree.Write("stage/OpeningGroundHeight.dat", bytes);
}

} // namespace

DATAGEN_REGISTER("terrain", MakeTerrain);

} // namespace datagen
