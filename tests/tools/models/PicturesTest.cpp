// Pictures of the generated models drawn with the test rasteriser, kept as references: the
// people in their animations, the buildings whole and broken, the opening through its camera
// and the city from above.
#include "tools/models/ModelFiles.h"
#include "tools/models/SoftRaster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

using namespace xmodel;
using qvtest::CSoftRaster;
using qvtest::LoadModel;

namespace {

constexpr int kW = 160, kH = 120;
constexpr uint32_t kBackground = 0x506070;

void Check(const CSoftRaster& r, const std::string& name)
{
    const std::string fault = qvtest::CompareWithReference(r.Picture(), "tools/models/references/" + name + ".png", 8);
    EXPECT_EQ(fault, "");
}

// Three copies of a model side by side, at a third of a cycle apart.
void ThreePoses(const std::string& file, int set, const std::string& name, float scale, Vec3 eye, Vec3 at)
{
    const Model m = LoadModel(file);
    ASSERT_LT(set, static_cast<int>(m.sets.size()));
    CSoftRaster r(kW, kH, kBackground);
    r.SetCamera(eye, at);
    const double length = SetLength(m, set);
    for (int i = 0; i < 3; ++i) {
        const Mat4 world = Scaling({scale, scale, scale}) * RotationY(3.14159265f - 0.6f) * Translation({(i - 1) * 0.75f * scale * 1.2f, 0, 0});
        r.Draw(m, Pose(m, set, length * i / 3.0, world));
    }
    Check(r, name);
}

int Track(const Model& m, int track) { return static_cast<int>(m.sets.size()) - 1 - track; }

} // namespace

TEST(ModelPictures, RinaInEachAnimation)
{
    const Model rina = LoadModel("xfile/Rina.x");
    const char* names[] = {"rina_idle", "rina_stand", "rina_walk", "rina_run"};
    for (int track = 0; track < 4; ++track)
        ThreePoses("xfile/Rina.x", Track(rina, track), names[track], 1.0f, {0.4f, 0.9f, -2.6f}, {0, 0.55f, 0});
}

TEST(ModelPictures, HeroineWalkingAndATownsperson)
{
    const Model q = LoadModel("xfile/gameQuillabet.x");
    ThreePoses("xfile/gameQuillabet.x", Track(q, 1), "heroine_walk", 1.25f, {0.4f, 0.9f, -2.6f}, {0, 0.55f, 0});
    ThreePoses("xfile/Phill.x", 0, "townsperson_walk", 1.0f, {0.4f, 0.9f, -2.6f}, {0, 0.55f, 0});
}

TEST(ModelPictures, TitleAndOpeningHeroine)
{
    {
        const Model c = LoadModel("xfile/TitleChar.x");
        CSoftRaster r(kW, kH, kBackground);
        r.SetCamera({0, 0.5f, -2.5f}, {0, 0.5f, 0});
        r.Draw(c, Pose(c, -1, 0, RotationY(0.4f)));
        Check(r, "title_char");
    }
    {
        const Model q = LoadModel("xfile/Quillabet.x");
        CSoftRaster r(kW, kH, kBackground);
        r.SetCamera({6, 9, -28}, {0, 9, 0});
        r.Draw(q, Pose(q, -1, 0, Scaling({8, 8, 8}) * Translation({0, 7, 0})));
        Check(r, "opening_heroine");
    }
}

TEST(ModelPictures, TheEightBuildingsAndOneBroken)
{
    CSoftRaster r(kW, kH, kBackground);
    r.SetCamera({0, 7, -9}, {0, 0, 0.5f});
    for (int t = 0; t < 8; ++t) {
        char path[64];
        std::snprintf(path, sizeof path, "xfile/map/building%03d.x", t + 1);
        const Model b = LoadModel(path);
        const float x = (t % 4) * 2.2f - 3.3f, z = (t / 4) * -2.6f + 1.3f;
        r.Draw(b, Pose(b, -1, 0, Scaling({1.4f, 2.0f, 1.4f}) * Translation({x, 0, z})));
    }
    Check(r, "buildings");

    // Building type 3 with its 64 pieces pushed apart from the middle.
    CSoftRaster broken(kW, kH, kBackground);
    broken.SetCamera({1.2f, 2.4f, -2.6f}, {0, 0.45f, 0});
    for (int p = 1; p <= 64; ++p) {
        char path[64];
        std::snprintf(path, sizeof path, "xfile/map/building004Break%03d.x", p);
        const Model piece = LoadModel(path);
        Vec3 lo, hi;
        qvtest::Bounds(piece, Pose(piece, -1, 0), lo, hi);
        const Vec3 c = (lo + hi) * 0.5f;
        const Vec3 push = Vec3{c.x, c.y - 0.5f, c.z} * 0.35f;
        broken.Draw(piece, Pose(piece, -1, 0, Translation(push)));
    }
    Check(broken, "building_broken");
}

TEST(ModelPictures, TheOpeningThroughItsCamera)
{
    models::HeightGrid heights = qvtest::HeightFile();
    if (heights.empty())
        heights = models::OpeningHeights();
    const Model cam = LoadModel("xfile/OpeningCamera.x");
    const Model sky = LoadModel("xfile/OpeningSky.x");
    const Model ground = LoadModel("xfile/OpeningGround.x");
    const Model heroine = LoadModel("xfile/Quillabet.x");
    const Model rina = LoadModel("xfile/Rina.x");
    const Model phill = LoadModel("xfile/Phill.x");
    for (int t : {0, 400, 799}) {
        CSoftRaster r(kW, kH, kBackground);
        const Mat4 placement = Pose(cam, 0, t).back();
        const Vec3 eye = placement.Translation();
        r.SetCamera(eye, eye + Vec3{placement(2, 0), placement(2, 1), placement(2, 2)}, 3.14159265f / 4, 0.2f, 500);
        r.Draw(sky, Pose(sky, -1, 0), false);
        r.Draw(ground, Pose(ground, -1, 0));
        r.Draw(heroine, Pose(heroine, -1, 0, Scaling({8, 8, 8}) * Translation({0, 7, 0})));
        const float z = -50 + 0.075f * t;
        r.Draw(rina, Pose(rina, Track(rina, 3), 2.0 * t, Translation({0, models::HeightAt(heights, 0, z), z})));
        for (int k = 1; k <= 10; ++k)
            for (int j = 0; j < k; ++j) {
                const float x = j - (k - 1) / 2.0f, wz = z - k;
                r.Draw(phill, Pose(phill, 0, (t + 37 * (k * k + j)) * 2.5, Translation({x, models::HeightAt(heights, x, wz), wz})));
            }
        char name[32];
        std::snprintf(name, sizeof name, "opening_camera_%03d", t);
        Check(r, name);
    }
}

TEST(ModelPictures, TheCityFromAbove)
{
    // The stage's map placed as the stage places it (scaled, turned and moved buildings on their
    // street patches), seen from high above the start.
    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(qvtest::DataDir() + "/stage/Stage1Map.dat");
    ASSERT_FALSE(bytes.empty());
    const std::string text(bytes.begin(), bytes.end());
    std::vector<Model> buildings, roads;
    for (int t = 0; t < 8; ++t) {
        char path[64];
        std::snprintf(path, sizeof path, "xfile/map/building%03d.x", t + 1);
        buildings.push_back(LoadModel(path));
        std::snprintf(path, sizeof path, "xfile/map/building%03dRoad.x", t + 1);
        roads.push_back(LoadModel(path));
    }
    CSoftRaster r(kW, kH, kBackground);
    r.SetCamera({0, 110, -70}, {0, 0, 5});
    const Model ground = LoadModel("xfile/map/ground.x");
    r.Draw(ground, Pose(ground, -1, 0));
    size_t start = 0;
    int type = 0, drawn = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        char kind[64] = {}, word[64] = {};
        float x, y, z, angle, a, b, w, h, d;
        if (std::sscanf(line.c_str(), "%63s %63s %f %f %f %f %f %f %f %f %f", kind, word, &x, &y, &z, &angle, &a, &b, &w,
                        &h, &d) != 11)
            continue;
        if (std::strncmp(kind, "building00", 10) == 0 && kind[10] >= '1' && kind[10] <= '8' && kind[11] == 0)
            type = kind[10] - '1';
        float sy = 3 * h;
        if (sy < 20)
            sy = sy * ((20 - sy) * 0.2f + 1);
        const Mat4 place = Scaling({2 * w, sy, 2 * d}) * RotationY(angle);
        if (std::fabs(2 * x) > 90 || std::fabs(2 * z) > 90)
            continue;
        r.Draw(roads[type], Pose(roads[type], -1, 0, place * Translation({2 * x, 0.01f, 2 * z})));
        r.Draw(buildings[type], Pose(buildings[type], -1, 0, place * Translation({2 * x, 2 * y - 0.1f, 2 * z})));
        ++drawn;
    }
    EXPECT_GT(drawn, 10);
    Check(r, "city_from_above");
}
