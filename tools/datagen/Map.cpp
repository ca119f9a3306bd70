// The city of the first stage: blocks on a street grid around an open square where the player,
// the townspeople and the giant heroine start. Blocks hold one to four buildings of varied
// footprints and heights, taller toward the middle of town.
#include "tools/datagen/Map.h"

#include "tools/datagen/DataTree.h"
#include "tools/datagen/Random.h"

#include <cmath>
#include <cstdio>

namespace datagen {

namespace {

const double kHalfPi = 1.57079632679489661923;
const double kPitch = 28.0;     // world units from one block to the next
const double kBlock = 20.0;     // a block's side; the rest is street
const int kBlocksPerSide = 4;   // blocks -4 to 4 in x and z

struct Lot {
    double x0, z0, x1, z1; // world units
};

void AddBuilding(std::vector<MapBuilding>& city, CRandom& rng, const Lot& lot, int bx, int bz, int index)
{
    const double setback = rng.Range(1.0, 2.2);
    double fx = (lot.x1 - lot.x0) - 2 * setback, fz = (lot.z1 - lot.z0) - 2 * setback;
    fx *= rng.Range(0.8, 1.0);
    fz *= rng.Range(0.8, 1.0);
    const double cx = (lot.x0 + lot.x1) * 0.5 + rng.Range(-0.5, 0.5), cz = (lot.z0 + lot.z1) * 0.5 + rng.Range(-0.5, 0.5);
    const int turn = rng.Int(4);
    // A quarter turn swaps which model axis runs along the street.
    const double sx = (turn % 2) ? fz : fx, sz = (turn % 2) ? fx : fz;
    // Downtown is taller; the height factor runs through the game's raise of low buildings.
    const int ring = std::max(std::abs(bx), std::abs(bz));
    double height;
    const double pick = rng.Real();
    if (ring <= 2 && pick < 0.35)
        height = rng.Range(1.8, 4.0);
    else if (pick < 0.7)
        height = rng.Range(0.9, 1.6);
    else
        height = rng.Range(0.3, 0.9);
    char name[32];
    std::snprintf(name, sizeof(name), "lot%+d%+d_%d", bx, bz, index);
    city.push_back({rng.Int(8), name, cx * 0.5, 0.0, cz * 0.5, turn * kHalfPi, sx * 0.5, height, sz * 0.5});
}

} // namespace

std::vector<MapBuilding> StageOneCity()
{
    CRandom rng("stage01 city");
    std::vector<MapBuilding> city;
    for (int bz = -kBlocksPerSide; bz <= kBlocksPerSide; ++bz)
        for (int bx = -kBlocksPerSide; bx <= kBlocksPerSide; ++bx) {
            if (bx == 0 && bz == 0)
                continue; // the town square
            const double x0 = bx * kPitch - kBlock / 2, z0 = bz * kPitch - kBlock / 2, x1 = x0 + kBlock, z1 = z0 + kBlock;
            const double mx = (x0 + x1) / 2, mz = (z0 + z1) / 2;
            std::vector<Lot> lots;
            switch (rng.Int(5)) {
            case 0:
                lots.push_back({x0, z0, x1, z1});
                break;
            case 1:
                lots.push_back({x0, z0, mx, z1});
                lots.push_back({mx, z0, x1, z1});
                break;
            case 2:
                lots.push_back({x0, z0, x1, mz});
                lots.push_back({x0, mz, x1, z1});
                break;
            case 3:
                lots.push_back({x0, z0, mx, mz});
                lots.push_back({mx, z0, x1, mz});
                lots.push_back({x0, mz, mx, z1});
                lots.push_back({mx, mz, x1, z1});
                break;
            default:
                lots.push_back({x0, z0, mx, z1});
                lots.push_back({mx, z0, x1, mz});
                lots.push_back({mx, mz, x1, z1});
                break;
            }
            for (size_t i = 0; i < lots.size(); ++i)
                AddBuilding(city, rng, lots[i], bx, bz, static_cast<int>(i));
        }
    // Every kind of building appears: the first eight lots take the kinds in turn.
    for (int t = 0; t < 8 && t < static_cast<int>(city.size()); ++t)
        city[static_cast<size_t>(t) * 9].Type = t;
    return city;
}

std::string FormatMap(const std::vector<MapBuilding>& city)
{
    std::string text;
    char line[256];
    for (const MapBuilding& b : city) {
        // kind, name, x y z, angle, two unused numbers, width, height, depth
        std::snprintf(line, sizeof(line), "building%03d %s %f %f %f %f %f %f %f %f %f\n", b.Type + 1, b.Lot.c_str(), b.X, b.Y, b.Z,
            b.Angle, 0.0, 0.0, b.Width, b.Height, b.Depth);
        text += line;
    }
    return text;
}

namespace {
void MakeMap(const CDataTree& tree) { tree.WriteText("stage/Stage1Map.dat", FormatMap(StageOneCity())); }
} // namespace

DATAGEN_REGISTER("map", MakeMap);

} // namespace datagen
