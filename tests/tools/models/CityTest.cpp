// The stage's models: names the stage attaches boxes to, buildings shaped to those boxes, the
// 512 pieces that together make the buildings, the street patches and the ground.
#include "tools/models/ModelFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace xmodel;
using qvtest::LoadModel;

namespace {

std::string Path(const char* format, int a, int b = 0)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

struct Box {
    float w, h, d, x, y, z;
};

// The collision boxes the stage gives each type (its leaf boxes, or the root box of type 0).
std::vector<Box> StageBoxes(int type)
{
    std::vector<Box> b;
    auto set = [&b](std::initializer_list<Box> boxes) { b.insert(b.end(), boxes.begin(), boxes.end()); };
    switch (type) {
    case 0: set({{1, 1, 1, 0, 0.5f, 0}}); break;
    case 1:
        set({{1, 1, 0.6f, 0, 0.5f, 0}, {0.86f, 1, 1, 0, 0.5f, 0}});
        for (int i = 1; i <= 9; ++i) {
            b.push_back({0.1f, 1, 0.1f, 0.38f + 0.007f * i, 0.5f, 0.45f - 0.02f * i});
            b.push_back({0.1f, 1, 0.1f, -0.38f - 0.007f * i, 0.5f, 0.45f - 0.02f * i});
            b.push_back({0.1f, 1, 0.1f, -0.38f - 0.007f * i, 0.5f, 0.02f * i - 0.45f});
            b.push_back({0.1f, 1, 0.1f, 0.38f + 0.007f * i, 0.5f, 0.02f * i - 0.45f});
        }
        break;
    case 2: set({{1, 0.85f, 1, 0, 0.425f, 0}, {1, 1, 0.66f, 0, 0.5f, 0.172f}}); break;
    case 3: set({{1, 1, 0.5f, 0, 0.5f, 0.25f}, {0.5f, 1, 1, 0.25f, 0.5f, 0}}); break;
    case 4:
        set({{0.79f, 1, 1, 0.105f, 0.5f, 0}, {1, 1, 0.87f, 0, 0.5f, 0.065f}});
        for (int i = 1; i <= 9; ++i)
            b.push_back({0.1f, 1, 0.1f, 0.021f * i - 0.45f, 0.5f, -0.32f - 0.013f * i});
        break;
    case 5: set({{0.79f, 1, 1, -0.095f, 0.5f, 0}, {0.98f, 1, 0.2f, 0, 0.5f, 0.4f}, {0.98f, 1, 0.2f, 0, 0.5f, -0.4f}}); break;
    case 6: set({{0.7f, 1, 0.89f, 0.15f, 0.5f, 0.055f}, {0.7f, 1, 0.89f, -0.15f, 0.5f, -0.055f}}); break;
    default:
        set({{0.3f, 1, 1, 0.35f, 0.5f, 0}, {0.99f, 1, 0.01f, 0.005f, 0.5f, 0.495f}, {0.745f, 1, 0.365f, 0.127f, 0.5f, 0.318f}});
        for (int i = 2; i <= 50; ++i)
            b.push_back({0.1f, 1, 0.1f, 0.014f * i - 0.45f, 0.5f, 0.55f - 0.02f * i});
        break;
    }
    return b;
}

// Height of the highest upward face over (x, z), or -1 where the plan is empty.
float RoofAt(const Mesh& m, float x, float z)
{
    float best = -1;
    for (const auto& f : m.faces) {
        const Vec3 a = m.positions[f[0]], b = m.positions[f[1]], c = m.positions[f[2]];
        const float area = (b.x - a.x) * (c.z - a.z) - (c.x - a.x) * (b.z - a.z);
        if (std::fabs(area) < 1e-9f)
            continue;
        const float w0 = ((b.x - x) * (c.z - z) - (c.x - x) * (b.z - z)) / area;
        const float w1 = ((c.x - x) * (a.z - z) - (a.x - x) * (c.z - z)) / area;
        const float w2 = 1 - w0 - w1;
        if (w0 >= 0 && w1 >= 0 && w2 >= 0)
            best = std::max(best, w0 * a.y + w1 * b.y + w2 * c.y);
    }
    return best;
}

bool InBoxes(const std::vector<Box>& boxes, float x, float y, float z)
{
    for (const Box& b : boxes)
        if (std::fabs(x - b.x) <= b.w / 2 && std::fabs(y - b.y) <= b.h / 2 && std::fabs(z - b.z) <= b.d / 2)
            return true;
    return false;
}

// Volume of a closed mesh (divergence theorem).
double Volume(const Mesh& m)
{
    double v = 0;
    for (const auto& f : m.faces) {
        const Vec3 a = m.positions[f[0]], b = m.positions[f[1]], c = m.positions[f[2]];
        v += Dot(a, Cross(b, c)) / 6.0;
    }
    return v;
}

} // namespace

TEST(CityModels, EachBuildingIsAUnitFootprintShapedToItsBoxes)
{
    for (int t = 0; t < 8; ++t) {
        const Model m = LoadModel(Path("xfile/map/building%03d.x", t + 1));
        ASSERT_EQ(m.roots.size(), 1u);
        const Mesh& mesh = m.roots[0].meshes.at(0);
        EXPECT_EQ(mesh.name, Path("Mesh_building%03d", t + 1));
        Vec3 lo, hi;
        qvtest::Bounds(m, Pose(m, -1, 0), lo, hi);
        EXPECT_NEAR(lo.y, 0.0f, 1e-5f);
        EXPECT_NEAR(hi.y, 1.0f, 1e-5f);
        EXPECT_GE(lo.x, -0.5f);
        EXPECT_LE(hi.x, 0.5f);
        EXPECT_GE(lo.z, -0.5f);
        EXPECT_LE(hi.z, 0.5f);
        // Inside the stage's boxes is inside the building almost everywhere...
        int outside = 0, total = 0;
        const std::vector<Box> boxes = StageBoxes(t);
        for (int i = 0; i < 20; ++i)
            for (int k = 0; k < 20; ++k) {
                const float x = -0.475f + 0.05f * i, z = -0.475f + 0.05f * k;
                const float roof = RoofAt(mesh, x, z);
                for (int j = 0; j < 10; ++j) {
                    const float y = 0.05f + 0.1f * j;
                    outside += InBoxes(boxes, x, y, z) && y > roof;
                    ++total;
                }
            }
        EXPECT_LT(outside, total * 5 / 100) << "building type " << t;
        // ...and the outer walls run along the boxes' sides: just outside a wall is outside
        // every box, just inside it is inside one.
        int wrong = 0, walls = 0;
        for (size_t f = 0; f < mesh.faces.size(); ++f) {
            const Vec3 a = mesh.positions[mesh.faces[f][0]], b = mesh.positions[mesh.faces[f][1]],
                       c = mesh.positions[mesh.faces[f][2]];
            const Vec3 n = Normalize(Cross(b - a, c - a));
            if (std::fabs(n.y) > 0.5f)
                continue;
            const Vec3 mid = (a + b + c) * (1.0f / 3.0f);
            const Vec3 out = mid + n * 0.04f, in = mid - n * 0.04f;
            if (RoofAt(mesh, out.x, out.z) > out.y)
                continue; // a wall between two blocks
            ++walls;
            wrong += InBoxes(boxes, out.x, out.y, out.z) || !InBoxes(boxes, in.x, in.y, in.z);
        }
        EXPECT_GT(walls, 3);
        EXPECT_LE(wrong, walls / 10) << "building type " << t;
        // Walls repeat the facade picture up the building.
        float vMax = 0;
        for (const auto& uv : mesh.uvs)
            vMax = std::max(vMax, uv[1]);
        EXPECT_GE(vMax, 1.4f);
    }
}

TEST(CityModels, SixtyFourClosedPiecesMakeUpEachBuilding)
{
    for (int t = 0; t < 8; ++t) {
        const Model whole = LoadModel(Path("xfile/map/building%03d.x", t + 1));
        // The whole building's volume from its roof heights over a fine grid.
        double buildingVolume = 0;
        for (int i = 0; i < 100; ++i)
            for (int k = 0; k < 100; ++k)
                buildingVolume += std::max(0.0f, RoofAt(whole.roots[0].meshes[0], -0.495f + 0.01f * i, -0.495f + 0.01f * k)) * 1e-4;
        double pieces = 0;
        for (int p = 1; p <= 64; ++p) {
            const std::string path = Path("xfile/map/building%03dBreak%03d.x", t + 1, p);
            const Model m = LoadModel(path);
            ASSERT_EQ(m.roots.size(), 1u) << path;
            ASSERT_FALSE(m.roots[0].meshes.empty()) << path;
            const Mesh& mesh = m.roots[0].meshes[0];
            EXPECT_GE(mesh.faces.size(), 8u) << path;
            EXPECT_EQ(ClosedMeshFault(mesh), "") << path;
            const double v = Volume(mesh);
            EXPECT_GT(v, 1e-4) << path;
            pieces += v;
        }
        EXPECT_NEAR(pieces, buildingVolume, buildingVolume * 0.03) << "building type " << t;
    }
}

TEST(CityModels, RoadsAreFlatPatchesRoundTheFootprint)
{
    for (int t = 0; t < 8; ++t) {
        const Model m = LoadModel(Path("xfile/map/building%03dRoad.x", t + 1));
        Vec3 lo, hi;
        qvtest::Bounds(m, Pose(m, -1, 0), lo, hi);
        EXPECT_EQ(lo.y, 0.0f);
        EXPECT_EQ(hi.y, 0.0f);
        EXPECT_LT(lo.x, -0.5f);
        EXPECT_GT(hi.x, 0.5f);
        EXPECT_LT(lo.z, -0.5f);
        EXPECT_GT(hi.z, 0.5f);
        // Seen from above: every face's front points up.
        const Mesh& mesh = m.roots[0].meshes[0];
        for (const auto& f : mesh.faces)
            EXPECT_GT(Cross(mesh.positions[f[1]] - mesh.positions[f[0]], mesh.positions[f[2]] - mesh.positions[f[0]]).y, 0);
    }
}

TEST(CityModels, GroundAndCameraBox)
{
    const Model ground = LoadModel("xfile/map/ground.x");
    Vec3 lo, hi;
    qvtest::Bounds(ground, Pose(ground, -1, 0), lo, hi);
    EXPECT_EQ(lo.y, 0.0f);
    EXPECT_EQ(hi.y, 0.0f);
    EXPECT_LE(lo.x, -500.0f);
    EXPECT_GE(hi.z, 500.0f);
    for (const char* path : {"xfile/camera.x", "xfile/map/camera.x"}) {
        const Model camera = LoadModel(path);
        ASSERT_EQ(camera.roots.size(), 1u);
        ASSERT_EQ(camera.roots[0].meshes.size(), 1u);
        EXPECT_EQ(camera.roots[0].meshes[0].name, "Mesh_camera");
    }
}
