// The animation controller of a loaded model: its sets and tracks, key interpolation worked
// out by hand, looping, speed, weights and cloning.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3dx9/D3DX9.h"
#include "tests/platform/xfile/XFileFixtures.h"
#include "tests/platform/xfile/XFileTestAllocator.h"
#include "tests/support/TestSupport.h"

using xfixture::CountingAllocator;

namespace {

const float kPi = 3.14159265358979f;

class XFileAnimation : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string path = qvtest::MakeTempDir(std::string("xfile_") + ::testing::UnitTest::GetInstance()->current_test_info()->name()) + "/column.x";
        qvtest::WriteFileText(path, xfixture::ColumnText());
        ASSERT_EQ(D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root, &ac), D3D_OK);
        ASSERT_NE(ac, nullptr);
        bone0 = D3DXFrameFind(root, "Bone0");
        bone1 = D3DXFrameFind(root, "Bone1");
        ASSERT_EQ(ac->GetAnimationSetByName("Bend", &bend), D3D_OK);
        ASSERT_EQ(ac->GetAnimationSetByName("Stretch", &stretch), D3D_OK);
    }
    void TearDown() override
    {
        if (bend) bend->Release();
        if (stretch) stretch->Release();
        if (ac) {
            EXPECT_EQ(ac->Release(), 0u);
        }
        if (root) D3DXFrameDestroy(root, &alloc);
        EXPECT_EQ(alloc.Live(), 0);
    }

    // Plays one set alone on track 0 at a position.
    void Play(LPD3DXANIMATIONSET set, double position, float weight = 1.0f)
    {
        ASSERT_EQ(ac->SetTrackAnimationSet(0, set), D3D_OK);
        D3DXTRACK_DESC d{D3DXPRIORITY_LOW, weight, 1.0f, position, TRUE};
        ASSERT_EQ(ac->SetTrackDesc(0, &d), D3D_OK);
        ASSERT_EQ(ac->SetTrackEnable(1, FALSE), D3D_OK);
        ASSERT_EQ(ac->AdvanceTime(0.0, nullptr), D3D_OK);
    }

    static void ExpectMatrix(const D3DXMATRIX& m, float angle, D3DXVECTOR3 scale, D3DXVECTOR3 t)
    {
        const float c = std::cos(angle), s = std::sin(angle);
        const float expected[16] = {scale.x * c, scale.x * s, 0, 0, -scale.y * s, scale.y * c, 0, 0,
                                    0, 0, scale.z, 0, t.x, t.y, t.z, 1};
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR((&m._11)[i], expected[i], 1e-5f) << "element " << i;
    }

    CountingAllocator alloc;
    LPD3DXFRAME root = nullptr;
    LPD3DXANIMATIONCONTROLLER ac = nullptr;
    LPD3DXFRAME bone0 = nullptr, bone1 = nullptr;
    LPD3DXANIMATIONSET bend = nullptr, stretch = nullptr;
};

} // namespace

TEST_F(XFileAnimation, SetsAreIndexedFromTheLastInTheFileAndTrackZeroPlaysSetZero)
{
    EXPECT_EQ(ac->GetNumAnimationSets(), 2u);
    EXPECT_EQ(ac->GetMaxNumTracks(), 2u);
    EXPECT_EQ(ac->GetMaxNumAnimationSets(), 2u);
    EXPECT_EQ(ac->GetMaxNumAnimationOutputs(), 2u);  // Bone1 and Bone0
    LPD3DXANIMATIONSET set = nullptr;
    ASSERT_EQ(ac->GetAnimationSet(0, &set), D3D_OK);
    EXPECT_STREQ(set->GetName(), "Stretch");
    EXPECT_EQ(set, stretch);
    set->Release();
    ASSERT_EQ(ac->GetAnimationSet(1, &set), D3D_OK);
    EXPECT_STREQ(set->GetName(), "Bend");
    set->Release();
    EXPECT_EQ(ac->GetAnimationSet(2, &set), D3DERR_INVALIDCALL);
    EXPECT_TRUE(FAILED(ac->GetAnimationSetByName("Run", &set)));

    D3DXTRACK_DESC d;
    ASSERT_EQ(ac->GetTrackDesc(0, &d), D3D_OK);
    EXPECT_TRUE(d.Enable);
    EXPECT_EQ(d.Weight, 1.0f);
    EXPECT_EQ(d.Speed, 1.0f);
    EXPECT_EQ(d.Position, 0.0);
    EXPECT_EQ(ac->GetTrackDesc(2, &d), D3DERR_INVALIDCALL);

    // Periods in seconds: 100 ticks at 100 a second, and 50 ticks.
    EXPECT_DOUBLE_EQ(bend->GetPeriod(), 1.0);
    EXPECT_DOUBLE_EQ(stretch->GetPeriod(), 0.5);
    EXPECT_DOUBLE_EQ(bend->GetPeriodicPosition(2.25), 0.25);
    EXPECT_DOUBLE_EQ(bend->GetPeriodicPosition(-0.25), 0.75);
}

TEST_F(XFileAnimation, KeysAreInterpolatedBetweenAndHeldOutside)
{
    // Half way between the keys 0 and 90 degrees about z: 45 degrees; the translation key
    // and the rest scale of the frame.
    Play(bend, 0.5);
    ExpectMatrix(bone1->TransformationMatrix, kPi / 4, {1, 1, 1}, {0, 1, 0});
    Play(bend, 0.1);
    ExpectMatrix(bone1->TransformationMatrix, kPi / 20, {1, 1, 1}, {0, 1, 0});
    // Looping: 1.25 s is 0.25 s into the second pass.
    Play(bend, 1.25);
    ExpectMatrix(bone1->TransformationMatrix, kPi / 8, {1, 1, 1}, {0, 1, 0});

    // Position and scale keys: at 0.25 s of 0.5, half way from y 1 to 2 and scale 1 to 3.
    Play(stretch, 0.25);
    ExpectMatrix(bone1->TransformationMatrix, 0, {1, 2, 1}, {0, 1.5f, 0});
    // The matrix key of Bone0 (identity) poses it too.
    bone0->TransformationMatrix._41 = 7.0f;
    Play(stretch, 0.25);
    EXPECT_EQ(bone0->TransformationMatrix._41, 0.0f);
    // Frames that the playing set does not animate are left alone.
    bone0->TransformationMatrix._41 = 7.0f;
    Play(bend, 0.25);
    EXPECT_EQ(bone0->TransformationMatrix._41, 7.0f);
}

TEST_F(XFileAnimation, TimeSpeedEnableAndReset)
{
    ASSERT_EQ(ac->SetTrackAnimationSet(0, bend), D3D_OK);
    ASSERT_EQ(ac->SetTrackSpeed(0, 2.0f), D3D_OK);
    ASSERT_EQ(ac->SetTrackPosition(0, 0.0), D3D_OK);
    ASSERT_EQ(ac->AdvanceTime(0.25, nullptr), D3D_OK);
    EXPECT_DOUBLE_EQ(ac->GetTime(), 0.25);
    D3DXTRACK_DESC d;
    ac->GetTrackDesc(0, &d);
    EXPECT_DOUBLE_EQ(d.Position, 0.5);
    ExpectMatrix(bone1->TransformationMatrix, kPi / 4, {1, 1, 1}, {0, 1, 0});

    // A disabled track neither moves nor poses.
    ASSERT_EQ(ac->SetTrackEnable(0, FALSE), D3D_OK);
    bone1->TransformationMatrix._41 = 5.0f;
    ASSERT_EQ(ac->AdvanceTime(0.25, nullptr), D3D_OK);
    ac->GetTrackDesc(0, &d);
    EXPECT_DOUBLE_EQ(d.Position, 0.5);
    EXPECT_FALSE(d.Enable);
    EXPECT_EQ(bone1->TransformationMatrix._41, 5.0f);
    EXPECT_DOUBLE_EQ(ac->GetTime(), 0.5);

    ASSERT_EQ(ac->ResetTime(), D3D_OK);
    EXPECT_EQ(ac->GetTime(), 0.0);
    EXPECT_EQ(ac->SetTrackWeight(5, 1.0f), D3DERR_INVALIDCALL);
    EXPECT_EQ(ac->SetTrackAnimationSet(2, bend), D3DERR_INVALIDCALL);
}

TEST_F(XFileAnimation, TracksBlendByTheirWeights)
{
    // Bend at 45 degrees (translation y 1 from rest) weighing three quarters, and Stretch at
    // scale y 2, translation y 1.5 weighing one quarter: 33.75 degrees, scale y 1.25 and
    // translation y 0.75 + 0.375. Shares taken the wrong way round would give 11.25 degrees.
    ASSERT_EQ(ac->SetTrackAnimationSet(0, bend), D3D_OK);
    ASSERT_EQ(ac->SetTrackAnimationSet(1, stretch), D3D_OK);
    D3DXTRACK_DESC a{D3DXPRIORITY_LOW, 0.75f, 1.0f, 0.5, TRUE};
    D3DXTRACK_DESC b{D3DXPRIORITY_LOW, 0.25f, 1.0f, 0.25, TRUE};
    ac->SetTrackDesc(0, &a);
    ac->SetTrackDesc(1, &b);
    ac->AdvanceTime(0.0, nullptr);
    ExpectMatrix(bone1->TransformationMatrix, kPi * 33.75f / 180, {1, 1.25f, 1}, {0, 1.125f, 0});
    // The same tracks the other way round: track order does not matter.
    ASSERT_EQ(ac->SetTrackAnimationSet(0, stretch), D3D_OK);
    ASSERT_EQ(ac->SetTrackAnimationSet(1, bend), D3D_OK);
    ac->SetTrackDesc(0, &b);
    ac->SetTrackDesc(1, &a);
    ac->AdvanceTime(0.0, nullptr);
    ExpectMatrix(bone1->TransformationMatrix, kPi * 33.75f / 180, {1, 1.25f, 1}, {0, 1.125f, 0});

    // Weights multiply: one track alone at weight 0.5 goes half way from rest.
    Play(bend, 0.5, 0.5f);
    ExpectMatrix(bone1->TransformationMatrix, kPi / 8, {1, 1, 1}, {0, 0.5f, 0});
    // A weight of 0 on the only track leaves the rest transform.
    Play(bend, 0.5, 0.0f);
    ExpectMatrix(bone1->TransformationMatrix, 0, {1, 1, 1}, {0, 0, 0});
    // A weight that is not a number counts as 0 rather than poisoning the matrices.
    Play(bend, 0.5, std::nanf(""));
    ExpectMatrix(bone1->TransformationMatrix, 0, {1, 1, 1}, {0, 0, 0});
}

TEST_F(XFileAnimation, ThreeTracksAndTracksOfWeightZeroBlendByTheirShares)
{
    // Track 0 plays Bend at 45 degrees, track 1 Stretch (scale y 2, translation y 1.5), track 2
    // Bend at 22.5 degrees; Bend keeps the rest translation y 1. Rotations about one axis
    // blend as the weighted sum of their angles.
    LPD3DXANIMATIONCONTROLLER three = nullptr;
    ASSERT_EQ(ac->CloneAnimationController(ac->GetMaxNumAnimationOutputs(), ac->GetMaxNumAnimationSets(), 3,
                                           ac->GetMaxNumEvents(), &three),
              D3D_OK);
    auto blend = [&](float w0, float w1, float w2) {
        ASSERT_EQ(three->SetTrackAnimationSet(0, bend), D3D_OK);
        ASSERT_EQ(three->SetTrackAnimationSet(1, stretch), D3D_OK);
        ASSERT_EQ(three->SetTrackAnimationSet(2, bend), D3D_OK);
        D3DXTRACK_DESC d0{D3DXPRIORITY_LOW, w0, 1.0f, 0.5, TRUE};
        D3DXTRACK_DESC d1{D3DXPRIORITY_LOW, w1, 1.0f, 0.25, TRUE};
        D3DXTRACK_DESC d2{D3DXPRIORITY_LOW, w2, 1.0f, 0.25, TRUE};
        three->SetTrackDesc(0, &d0);
        three->SetTrackDesc(1, &d1);
        three->SetTrackDesc(2, &d2);
        ASSERT_EQ(three->AdvanceTime(0.0, nullptr), D3D_OK);
    };
    // 0.5 x 45 + 0.2 x 22.5 = 27 degrees; scale y 1 + 0.3; translation y 0.5 + 0.45 + 0.2.
    blend(0.5f, 0.3f, 0.2f);
    ExpectMatrix(bone1->TransformationMatrix, kPi * 27 / 180, {1, 1.3f, 1}, {0, 1.15f, 0});
    // A first track of weight 0 adds nothing, not even its rotation.
    blend(0.0f, 1.0f, 0.0f);
    ExpectMatrix(bone1->TransformationMatrix, 0, {1, 2, 1}, {0, 1.5f, 0});
    blend(0.0f, 0.5f, 0.5f);
    ExpectMatrix(bone1->TransformationMatrix, kPi * 11.25f / 180, {1, 1.5f, 1}, {0, 1.25f, 0});
    // Weight 0 between two others, and weights adding up to 0.8: 0.6 x 45 + 0.2 x 22.5 =
    // 31.5 degrees, translation y 0.6 + 0.2, no scale.
    blend(0.6f, 0.0f, 0.2f);
    ExpectMatrix(bone1->TransformationMatrix, kPi * 31.5f / 180, {1, 1, 1}, {0, 0.8f, 0});
    // Weights above 1 go beyond the pose: 1.5 x 45 = 67.5 degrees.
    blend(1.5f, 0.0f, 0.0f);
    ExpectMatrix(bone1->TransformationMatrix, kPi * 67.5f / 180, {1, 1, 1}, {0, 1.5f, 0});
    EXPECT_EQ(three->Release(), 0u);
}

TEST_F(XFileAnimation, ClonesKeepSetsAndTracksAndAreIndependent)
{
    ASSERT_EQ(ac->SetTrackAnimationSet(1, bend), D3D_OK);
    ac->SetTrackWeight(1, 0.25f);
    ac->AdvanceTime(0.5, nullptr);
    LPD3DXANIMATIONCONTROLLER clone = nullptr;
    ASSERT_EQ(ac->CloneAnimationController(ac->GetMaxNumAnimationOutputs(), ac->GetMaxNumAnimationSets(), 4,
                                           ac->GetMaxNumEvents(), &clone),
              D3D_OK);
    EXPECT_EQ(clone->GetMaxNumTracks(), 4u);
    EXPECT_EQ(clone->GetNumAnimationSets(), 2u);
    EXPECT_DOUBLE_EQ(clone->GetTime(), 0.5);
    D3DXTRACK_DESC d;
    clone->GetTrackDesc(1, &d);
    EXPECT_EQ(d.Weight, 0.25f);
    clone->GetTrackDesc(3, &d);
    EXPECT_FALSE(d.Enable);
    LPD3DXANIMATIONSET set = nullptr;
    ASSERT_EQ(clone->GetAnimationSet(1, &set), D3D_OK);
    EXPECT_EQ(set, bend);  // the sets are shared
    set->Release();

    // Too little room for the outputs or the sets is refused.
    LPD3DXANIMATIONCONTROLLER small = nullptr;
    EXPECT_EQ(ac->CloneAnimationController(1, 2, 2, 0, &small), D3DERR_INVALIDCALL);
    EXPECT_EQ(ac->CloneAnimationController(2, 1, 2, 0, &small), D3DERR_INVALIDCALL);
    EXPECT_EQ(small, nullptr);

    // The clone poses the same frames through its own tracks.
    clone->SetTrackEnable(0, FALSE);
    clone->SetTrackAnimationSet(2, bend);
    D3DXTRACK_DESC only{D3DXPRIORITY_LOW, 1.0f, 1.0f, 0.5, TRUE};
    clone->SetTrackDesc(2, &only);
    clone->SetTrackEnable(1, FALSE);
    clone->AdvanceTime(0.0, nullptr);
    ExpectMatrix(bone1->TransformationMatrix, kPi / 4, {1, 1, 1}, {0, 1, 0});
    ac->GetTrackDesc(0, &d);
    EXPECT_TRUE(d.Enable);
    EXPECT_EQ(clone->Release(), 0u);
}

TEST(XFileAnimationKeys, BlocksOfOneFrameMergeAndRotationKeysAreNormalised)
{
    // Rotation keys in one block (the second one twice too long), translation in another; no
    // AnimTicksPerSecond, so 4800 ticks make a second. The frame's rest scale of 2 fills in.
    const std::string text = "xof 0303txt 0032\n"
                             "Frame Arm { FrameTransformMatrix { 2,0,0,0, 0,2,0,0, 0,0,2,0, 5,5,5,1;; }"
                             " Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n"
                             "AnimationSet Wave {\n"
                             " Animation { { Arm } AnimationKey { 0; 2; 0;4;1,0,0,0;;, 4800;4;0,0,0,2;;; } }\n"
                             " Animation { { Arm } AnimationKey { 2; 1; 0;3;1.0,2.0,3.0;;; }"
                             " AnimationKey { 0; 1; 0;4;0,0,0,1;;; } }\n"
                             "}\n";
    std::string path = qvtest::MakeTempDir("xfile_BlocksOfOneFrame") + "/arm.x";
    qvtest::WriteFileText(path, text);
    CountingAllocator alloc;
    LPD3DXFRAME root = nullptr;
    LPD3DXANIMATIONCONTROLLER ac = nullptr;
    ASSERT_EQ(D3DXLoadMeshHierarchyFromX(path.c_str(), 0, nullptr, &alloc, nullptr, &root, &ac), D3D_OK);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->GetMaxNumAnimationOutputs(), 1u);
    LPD3DXANIMATIONSET set = nullptr;
    ASSERT_EQ(ac->GetAnimationSet(0, &set), D3D_OK);
    EXPECT_EQ(set->GetNumAnimations(), 1u);
    EXPECT_DOUBLE_EQ(set->GetPeriod(), 1.0);
    set->Release();
    // Half way: a quarter turn about z (half of the half turn), scale 2, translation (1, 2, 3).
    ac->SetTrackPosition(0, 0.5);
    ac->AdvanceTime(0.0, nullptr);
    const D3DXMATRIX& m = root->TransformationMatrix;
    EXPECT_NEAR(m._11, 0.0f, 1e-5f);
    EXPECT_NEAR(m._12, 2.0f, 1e-5f);
    EXPECT_NEAR(m._21, -2.0f, 1e-5f);
    EXPECT_NEAR(m._33, 2.0f, 1e-5f);
    EXPECT_NEAR(m._41, 1.0f, 1e-6f);
    EXPECT_NEAR(m._43, 3.0f, 1e-6f);
    // At the second key exactly: the half turn, with a unit quaternion despite the file's 2.
    ac->SetTrackPosition(0, 0.999999);
    ac->AdvanceTime(0.0, nullptr);
    EXPECT_NEAR(m._11, -2.0f, 1e-3f);
    EXPECT_NEAR(m._22, -2.0f, 1e-3f);
    ac->Release();
    D3DXFrameDestroy(root, &alloc);
    EXPECT_EQ(alloc.Live(), 0);
}
