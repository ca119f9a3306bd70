// The opening's terrain, sky and camera path.
#include "tools/models/ModelFiles.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace xmodel;
using qvtest::LoadModel;

namespace {

// Where a world point lands in the view of a camera placement: x and y over z in units of the
// half screen (within [-1, 1] when on screen), and the depth.
Vec3 OnScreen(const Mat4& placement, Vec3 p, float fov = 3.14159265f / 4)
{
    const Vec3 v = TransformPoint(p, InverseAffine(placement));
    const float t = std::tan(fov / 2);
    return {v.x / (v.z * t * 4 / 3), v.y / (v.z * t), v.z};
}

bool Visible(const Mat4& placement, Vec3 p)
{
    const Vec3 s = OnScreen(placement, p);
    return s.z > 0.2f && std::fabs(s.x) < 1 && std::fabs(s.y) < 1;
}

models::HeightGrid Heights()
{
    models::HeightGrid h = qvtest::HeightFile();
    return h.empty() ? models::OpeningHeights() : h;
}

} // namespace

TEST(OpeningModels, TheGroundPassesThroughEveryHeightOfTheGrid)
{
    const models::HeightGrid file = qvtest::HeightFile();
    if (file.empty())
        GTEST_SKIP() << "no height file in the data tree";
    const Model ground = LoadModel("xfile/OpeningGround.x");
    const Mesh& mesh = ground.roots.at(0).meshes.at(0);
    ASSERT_EQ(mesh.positions.size(), 201u * 201u);
    // Heights are written with six decimals.
    for (const Vec3& p : mesh.positions) {
        const int c = static_cast<int>(std::lround(p.x)) + 100, r = static_cast<int>(std::lround(p.z)) + 100;
        ASSERT_TRUE(c >= 0 && c <= 200 && r >= 0 && r <= 200);
        ASSERT_NEAR(p.y, file[static_cast<size_t>(r) * 201 + c], 1e-5f) << "at " << p.x << ", " << p.z;
    }
}

TEST(OpeningModels, TheGroundAndTheSkyFaceTheirViewers)
{
    const Model ground = LoadModel("xfile/OpeningGround.x");
    const Mesh& g = ground.roots.at(0).meshes.at(0);
    for (const auto& f : g.faces)
        ASSERT_GT(Cross(g.positions[f[1]] - g.positions[f[0]], g.positions[f[2]] - g.positions[f[0]]).y, 0);
    const Model sky = LoadModel("xfile/OpeningSky.x");
    const Mesh& s = sky.roots.at(0).meshes.at(0);
    Vec3 lo, hi;
    qvtest::Bounds(sky, Pose(sky, -1, 0), lo, hi);
    // The stage draws it ten times larger inside a far plane of 2000; the opening's is 500.
    EXPECT_LT(hi.y * 10, 2000.0f);
    EXPECT_LT(hi.x, 400.0f);
    EXPECT_GT(hi.x, 100.0f);
    EXPECT_LT(lo.y, 0.0f); // past the horizon, so no gap shows under it
    for (const auto& f : s.faces) {
        const Vec3 a = s.positions[f[0]], b = s.positions[f[1]], c = s.positions[f[2]];
        ASSERT_LT(Dot(Cross(b - a, c - a), a + b + c), 0) << "a sky face turned away from the centre";
    }
    EXPECT_GT(s.materials.at(0).emissive.x, 0.99f);
}

TEST(OpeningModels, TheCameraFollowsRinaAndTheCrowdThenShowsTheHeroine)
{
    const Model cam = LoadModel("xfile/OpeningCamera.x");
    ASSERT_TRUE(FindFrame(cam, "Frame1_Camera"));
    ASSERT_EQ(cam.sets.size(), 1u);
    EXPECT_DOUBLE_EQ(SetLength(cam, 0), 800.0);
    const models::HeightGrid heights = Heights();
    int heroineShots = 0;
    for (int t = 0; t < 800; t += 10) {
        const auto pose = Pose(cam, 0, t);
        const Mat4 placement = pose[AllFrames(cam).size() - 1];
        ASSERT_EQ(AllFrames(cam).back()->name, "Frame1_Camera");
        const Vec3 eye = placement.Translation();
        EXPECT_GT(eye.y, models::HeightAt(heights, eye.x, eye.z) + 0.2f) << "under the ground at " << t;
        const float z = -50 + 0.075f * t;
        const Vec3 rina{0, models::HeightAt(heights, 0, z) + 0.6f, z};
        EXPECT_TRUE(Visible(placement, rina)) << "Rina out of view at " << t;
        heroineShots += Visible(placement, {0, 10, 0});
        if (t >= 200 && t <= 450) {
            EXPECT_TRUE(Visible(placement, rina - Vec3{0, 0, 5})) << "the crowd out of view at " << t;
        }
    }
    EXPECT_TRUE(Visible(Pose(cam, 0, 0).back(), {0, 10, 0})) << "the heroine is not ahead at the start";
    EXPECT_GT(heroineShots, 30);
    // The path is smooth: the eye never jumps between two frames.
    for (int t = 0; t < 799; ++t) {
        const Vec3 a = Pose(cam, 0, t).back().Translation(), b = Pose(cam, 0, t + 1).back().Translation();
        ASSERT_LT(Length(b - a), 0.3f) << "at " << t;
    }
}
