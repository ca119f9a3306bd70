// The first stage's building list read as the stage reads it, and the opening's height grid.
#include "tools/DataFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace qvtest;

namespace {

struct Building {
    std::string kind;
    float x, y, z, angle, width, height, depth;
    // Footprint on the ground in world units, as the stage places the unit cube.
    float minX, maxX, minZ, maxZ;
    float worldHeight;
};

std::vector<Building> ReadMap(int& badLines)
{
    badLines = 0;
    std::vector<Building> list;
    FILE* f = std::fopen((DataDir() + "/stage/Stage1Map.dat").c_str(), "rt");
    if (!f)
        return list;
    char line[1000];
    while (std::fgets(line, sizeof(line), f)) {
        char kind[1000], word[1000];
        Building b;
        float unused1, unused2;
        const int n = std::sscanf(line, "%s %s %f %f %f %f %f %f %f %f %f", kind, word, &b.x, &b.y, &b.z, &b.angle, &unused1, &unused2,
            &b.width, &b.height, &b.depth);
        if (n != 11 || std::strlen(line) >= sizeof(line) - 1) {
            ++badLines;
            continue;
        }
        b.kind = kind;
        const float sx = 2 * b.width, sz = 2 * b.depth;
        float sy = 3 * b.height;
        if (sy < 20)
            sy = sy * ((20 - sy) * 0.2f + 1);
        b.worldHeight = sy;
        const float c = std::fabs(std::cos(b.angle)), s = std::fabs(std::sin(b.angle));
        const float hx = 0.5f * (sx * c + sz * s), hz = 0.5f * (sx * s + sz * c);
        b.minX = 2 * b.x - hx;
        b.maxX = 2 * b.x + hx;
        b.minZ = 2 * b.z - hz;
        b.maxZ = 2 * b.z + hz;
        list.push_back(b);
    }
    std::fclose(f);
    return list;
}

bool Overlaps(const Building& b, float x0, float z0, float x1, float z1) { return b.minX < x1 && b.maxX > x0 && b.minZ < z1 && b.maxZ > z0; }

} // namespace

TEST(StageMap, EveryLineScansIntoABuildingOfAKnownKind)
{
    int bad = 0;
    const auto city = ReadMap(bad);
    EXPECT_EQ(bad, 0);
    EXPECT_GE(city.size(), 150u);
    EXPECT_LE(city.size(), 250u);
    std::set<std::string> kinds;
    for (const Building& b : city) {
        kinds.insert(b.kind);
        EXPECT_TRUE(std::isfinite(b.x) && std::isfinite(b.z) && std::isfinite(b.angle));
        EXPECT_EQ(b.y, 0.0f);
        EXPECT_GT(b.width, 0.5f);
        EXPECT_GT(b.depth, 0.5f);
        EXPECT_GT(b.height, 0.0f);
        // Quarter turns keep buildings square to the streets.
        const float quarter = b.angle / 1.5707964f;
        EXPECT_NEAR(quarter, std::round(quarter), 1e-4f);
    }
    const std::set<std::string> expected = {"building001", "building002", "building003", "building004", "building005", "building006",
        "building007", "building008"};
    EXPECT_EQ(kinds, expected);
}

TEST(StageMap, LeavesTheStartingSquareOpen)
{
    int bad = 0;
    const auto city = ReadMap(bad);
    ASSERT_FALSE(city.empty());
    for (const Building& b : city) {
        // Rina at the origin and the townspeople within two units of it.
        EXPECT_FALSE(Overlaps(b, -4, -4, 4, 4)) << b.x << "," << b.z;
        // The heroine at (0, 10) with her 14-unit shadow.
        EXPECT_FALSE(Overlaps(b, -8, 2, 8, 18)) << b.x << "," << b.z;
    }
}

TEST(StageMap, BuildingsStandApartInVariedSizes)
{
    int bad = 0;
    const auto city = ReadMap(bad);
    ASSERT_FALSE(city.empty());
    for (size_t i = 0; i < city.size(); ++i)
        for (size_t j = i + 1; j < city.size(); ++j)
            EXPECT_FALSE(Overlaps(city[i], city[j].minX, city[j].minZ, city[j].maxX, city[j].maxZ)) << i << " and " << j << " overlap";
    float low = 1e9f, high = 0, narrow = 1e9f, wide = 0;
    for (const Building& b : city) {
        low = std::min(low, b.worldHeight);
        high = std::max(high, b.worldHeight);
        narrow = std::min(narrow, b.maxX - b.minX);
        wide = std::max(wide, b.maxX - b.minX);
    }
    EXPECT_LT(low, 9.0f);
    EXPECT_GT(high, 25.0f);
    EXPECT_LT(narrow, 8.0f);
    EXPECT_GT(wide, 12.0f);
}

TEST(OpeningGround, IsAGridOfHillsWithAFlatRunway)
{
    const auto bytes = ReadFileBytes(DataDir() + "/stage/OpeningGroundHeight.dat");
    ASSERT_EQ(bytes.size(), 161604u);
    std::vector<float> h(201 * 201);
    for (size_t i = 0; i < h.size(); ++i) {
        const uint32_t bits = bytes[i * 4] | bytes[i * 4 + 1] << 8 | bytes[i * 4 + 2] << 16 | static_cast<uint32_t>(bytes[i * 4 + 3]) << 24;
        std::memcpy(&h[i], &bits, 4);
        ASSERT_TRUE(std::isfinite(h[i]));
    }
    auto at = [&](int x, int z) { return h[static_cast<size_t>(z + 100) * 201 + static_cast<size_t>(x + 100)]; };
    float lo = 1e9f, hi = -1e9f;
    for (float v : h) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_GT(hi - lo, 3.0f) << "the land should roll";
    EXPECT_LT(hi - lo, 40.0f);
    // Where the crowd runs, the ground is nearly flat and smooth.
    for (int z = -61; z <= 11; ++z)
        for (int x = -6; x <= 6; ++x) {
            EXPECT_LT(std::fabs(at(x, z)), 0.3f);
            EXPECT_LT(std::fabs(at(x + 1, z) - at(x, z)), 0.03f);
            EXPECT_LT(std::fabs(at(x, z + 1) - at(x, z)), 0.03f);
        }
    // Everywhere the slope stays gentle.
    for (int z = -100; z < 100; ++z)
        for (int x = -100; x < 100; ++x)
            ASSERT_LT(std::fabs(at(x + 1, z) - at(x, z)) + std::fabs(at(x, z + 1) - at(x, z)), 1.0f) << x << "," << z;
}

TEST(ShadowEffect, NamesItsTechniqueAndParameters)
{
    const auto bytes = ReadFileBytes(DataDir() + "/shader/shadowvolume.fx");
    const std::string fx(bytes.begin(), bytes.end());
    EXPECT_NE(fx.find("technique TShader"), std::string::npos);
    EXPECT_NE(fx.find("float4x4 mWVP"), std::string::npos);
    EXPECT_NE(fx.find("float4   vLightPos"), std::string::npos);
    EXPECT_NE(fx.find("ColorWriteEnable = 0"), std::string::npos);
    EXPECT_NE(fx.find("ZWriteEnable = FALSE"), std::string::npos);
    EXPECT_EQ(fx.find("Stencil"), std::string::npos) << "stencil states belong to the drawing code";
    EXPECT_EQ(std::count(fx.begin(), fx.end(), '{'), std::count(fx.begin(), fx.end(), '}'));
}
