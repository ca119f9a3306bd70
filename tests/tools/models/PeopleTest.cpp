// Rina, her shadow, the title character, the heroine and the townsperson as the game relies on
// them: frames, animation sets in controller order, cycle lengths, planted feet, sizes.
#include "tools/models/ModelFiles.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace xmodel;
using qvtest::LoadModel;

namespace {

std::vector<std::string> SetNames(const Model& m)
{
    std::vector<std::string> names;
    for (const AnimationSet& s : m.sets)
        names.push_back(s.name);
    return names;
}

// The loader lists a file's sets last first: controller index i is file set n - 1 - i.
int Track(const Model& m, int track) { return static_cast<int>(m.sets.size()) - 1 - track; }

const Mesh& OnlyMesh(const Model& m)
{
    return AllFrames(m).front()->meshes.at(0);
}

float Height(const Model& m)
{
    Vec3 lo, hi;
    qvtest::Bounds(m, Pose(m, -1, 0), lo, hi);
    return hi.y - lo.y;
}

// Every set loops: its last key equals its first, for every frame it moves.
void ExpectLoops(const Model& m)
{
    for (const AnimationSet& s : m.sets)
        for (const Animation& a : s.animations)
            for (int i = 0; i < 16; ++i)
                ASSERT_NEAR(a.keys.front().value.m[i], a.keys.back().value.m[i], 1e-5f) << s.name << " " << a.frame;
}

} // namespace

TEST(PeopleModels, RinaHasFourAnimationsInTrackOrderWithTheFootstepTimes)
{
    const Model rina = LoadModel("xfile/Rina.x");
    ASSERT_EQ(rina.sets.size(), 4u);
    EXPECT_EQ(rina.sets[Track(rina, 0)].name, "Idle");
    EXPECT_EQ(rina.sets[Track(rina, 1)].name, "Stand");
    EXPECT_EQ(rina.sets[Track(rina, 2)].name, "Walk");
    EXPECT_EQ(rina.sets[Track(rina, 3)].name, "Run");
    // Controller seconds are the game's time units.
    EXPECT_DOUBLE_EQ(SetLength(rina, Track(rina, 2)), 60.0);
    EXPECT_DOUBLE_EQ(SetLength(rina, Track(rina, 3)), 48.0);
    EXPECT_NEAR(qvtest::LowestTime(rina, Track(rina, 2), "Frame15_FootL"), 12.0f, 0.26f);
    EXPECT_NEAR(qvtest::LowestTime(rina, Track(rina, 2), "Frame17_FootR"), 42.0f, 0.26f);
    EXPECT_NEAR(qvtest::LowestTime(rina, Track(rina, 3), "Frame15_FootL"), 15.0f, 0.26f);
    EXPECT_NEAR(qvtest::LowestTime(rina, Track(rina, 3), "Frame17_FootR"), 39.0f, 0.26f);
    ExpectLoops(rina);
}

TEST(PeopleModels, RinaIsAGirlOfOnePointTwoStandingOnTheGroundFacingPlusZ)
{
    const Model rina = LoadModel("xfile/Rina.x");
    Vec3 lo, hi;
    qvtest::Bounds(rina, Pose(rina, -1, 0), lo, hi);
    EXPECT_NEAR(hi.y, 1.2f, 0.03f);
    EXPECT_NEAR(lo.y, 0.0f, 0.01f);
    // The collision test point lies inside her body.
    EXPECT_LT(lo.x, 0.0f);
    EXPECT_GT(hi.x, 0.0f);
    EXPECT_LT(lo.z, 0.0f);
    EXPECT_GT(hi.z, 0.0f);
    // Her eyes (material 5) look along +z, her toes point that way.
    const Mesh& mesh = OnlyMesh(rina);
    float eyes = 0;
    int n = 0;
    for (size_t f = 0; f < mesh.faces.size(); ++f)
        if (mesh.faceMaterials[f] == 5)
            for (uint32_t v : mesh.faces[f])
                eyes += mesh.positions[v].z, ++n;
    ASSERT_GT(n, 0);
    EXPECT_GT(eyes / n, 0.06f);
    // The feet stay on the ground while walking and running: the lowest point of a cycle is at
    // the ground, and nothing sinks through it.
    for (int track : {0, 1, 2, 3}) {
        const int set = Track(rina, track);
        float lowest = 1e9f;
        for (float t = 0; t < SetLength(rina, set); t += 1.0f) {
            qvtest::Bounds(rina, Pose(rina, set, t), lo, hi);
            lowest = std::min(lowest, lo.y);
        }
        EXPECT_NEAR(lowest, 0.0f, 0.02f) << rina.sets[set].name;
    }
}

TEST(PeopleModels, RinasLimbsSwingWhenSheWalks)
{
    const Model rina = LoadModel("xfile/Rina.x");
    const int walk = Track(rina, 2);
    float handMin = 1e9f, handMax = -1e9f, footMin = 1e9f, footMax = -1e9f;
    for (float t = 0; t < 60; t += 2) {
        const auto pose = Pose(rina, walk, t);
        const float hand = qvtest::FrameOrigin(rina, pose, "Frame10_HandL").z;
        const float foot = qvtest::FrameOrigin(rina, pose, "Frame15_FootL").z;
        handMin = std::min(handMin, hand), handMax = std::max(handMax, hand);
        footMin = std::min(footMin, foot), footMax = std::max(footMax, foot);
    }
    EXPECT_GT(handMax - handMin, 0.1f);
    EXPECT_GT(footMax - footMin, 0.2f);
    // The left foot is forward when it comes down, the right one half a cycle later.
    EXPECT_GT(qvtest::FrameOrigin(rina, Pose(rina, walk, 12), "Frame15_FootL").z, 0.05f);
    EXPECT_GT(qvtest::FrameOrigin(rina, Pose(rina, walk, 42), "Frame17_FootR").z, 0.05f);
}

TEST(PeopleModels, RinaShadowIsAClosedCoarseMeshOnTheSameSkeleton)
{
    const Model rina = LoadModel("xfile/Rina.x");
    const Model shadow = LoadModel("xfile/RinaShadow.x");
    ASSERT_EQ(SetNames(shadow), SetNames(rina));
    const auto a = AllFrames(rina), b = AllFrames(shadow);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(a[i]->name, b[i]->name);
    for (size_t s = 0; s < rina.sets.size(); ++s)
        EXPECT_EQ(SetLength(shadow, static_cast<int>(s)), SetLength(rina, static_cast<int>(s)));
    const Mesh& mesh = OnlyMesh(shadow);
    EXPECT_EQ(ClosedMeshFault(mesh), "");
    EXPECT_LE(mesh.faces.size(), 4000u);
    // The volume has 12 vertices a face, indexed with 16 bits.
    EXPECT_LE(mesh.faces.size() * 12, 0xFFFFu);
    EXPECT_FALSE(mesh.bones.empty());
}

TEST(PeopleModels, TheHeroineStandsAndWalksWithHerChestFrameAtTheTestPoint)
{
    const Model q = LoadModel("xfile/gameQuillabet.x");
    ASSERT_EQ(q.sets.size(), 2u);
    EXPECT_EQ(q.sets[Track(q, 0)].name, "Stand");
    EXPECT_EQ(q.sets[Track(q, 1)].name, "Walk");
    EXPECT_DOUBLE_EQ(SetLength(q, Track(q, 1)), 60.0);
    EXPECT_NEAR(qvtest::LowestTime(q, Track(q, 1), "Frame15_FootL"), 12.0f, 0.26f);
    EXPECT_NEAR(qvtest::LowestTime(q, Track(q, 1), "Frame17_FootR"), 42.0f, 0.26f);
    ExpectLoops(q);
    EXPECT_NEAR(Height(q), 0.95f, 0.05f);
    const Vec3 chest = qvtest::FrameOrigin(q, Pose(q, -1, 0), "Frame5_Breast");
    EXPECT_NEAR(chest.y, 0.65f, 0.05f);
    // The chest bone carries the chest: faces weighted mostly to it exist.
    const Mesh& mesh = OnlyMesh(q);
    size_t carried = 0;
    for (const SkinBone& b : mesh.bones)
        if (b.frame == "Frame5_Breast")
            for (float w : b.weights)
                carried += w > 0.5f;
    EXPECT_GT(carried, 20u);
}

TEST(PeopleModels, TheTownspersonWalksInALoopAtRinasSize)
{
    const Model p = LoadModel("xfile/Phill.x");
    ASSERT_EQ(p.sets.size(), 1u);
    EXPECT_EQ(p.sets[0].name, "Walk");
    ExpectLoops(p);
    EXPECT_GT(SetLength(p, 0), 20.0);
    EXPECT_NEAR(Height(p), 1.2f, 0.1f);
    EXPECT_NEAR(qvtest::LowestTime(p, 0, "Frame15_FootL"), 12.0f, 0.26f);
}

TEST(PeopleModels, TheOpeningHeroineHasNoAnimationAndMeetsTheGroundWhereTheSceneDrawsHer)
{
    const Model q = LoadModel("xfile/Quillabet.x");
    EXPECT_TRUE(q.sets.empty());
    models::HeightGrid heights = qvtest::HeightFile();
    if (heights.empty())
        heights = models::OpeningHeights();
    Vec3 lo, hi;
    qvtest::Bounds(q, Pose(q, -1, 0), lo, hi);
    // Drawn eight times her size at (0, 7, 0).
    EXPECT_NEAR(7.0f + 8.0f * lo.y, models::HeightAt(heights, 0, 0), 0.02f);
    EXPECT_GT(8.0f * (hi.y - lo.y), 15.0f);
    EXPECT_TRUE(OnlyMesh(q).bones.empty());
}

TEST(PeopleModels, TheTitleCharacterStaysInTheTitleViewWhileSheTurns)
{
    const Model c = LoadModel("xfile/TitleChar.x");
    ASSERT_TRUE(c.sets.empty());
    const float t = std::tan(3.14159265f / 8);
    float worst = 0;
    for (int step = 0; step < 36; ++step) {
        const Mat4 world = RotationY(step * 3.14159265f / 18);
        const auto pose = Pose(c, -1, 0, world);
        for (const Frame* f : AllFrames(c))
            for (const Mesh& m : f->meshes)
                for (const Vec3& p : PosedPositions(c, pose, *f, m)) {
                    // Eye (0, 0.5, -2.5) looking along +z: view space is a shift.
                    const float z = p.z + 2.5f;
                    worst = std::max({worst, std::fabs(p.x) / (z * t * 4 / 3), std::fabs(p.y - 0.5f) / (z * t)});
                }
    }
    EXPECT_LT(worst, 0.98f);
    EXPECT_GT(worst, 0.4f); // and she is not lost in the middle of the screen
}
