// The model's time line: track positions, cross-fade weights and their pruning.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "CD3DXObjectTestFixtures.h"
#include "render/CD3DXObject.h"

namespace {

class ModelAnimation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(env.Ready());
        model.Load(modelfixture::Write("column.x", modelfixture::ColumnText()).c_str());
        ASSERT_NE(model.AnimationController, nullptr);
    }
    D3DXTRACK_DESC Track(UINT k)
    {
        D3DXTRACK_DESC desc = {};
        EXPECT_EQ(model.AnimationController->GetTrackDesc(k, &desc), D3D_OK);
        return desc;
    }
    modelfixture::Surroundings env{modelfixture::TestName()};
    CD3DXObject model;
};

TEST_F(ModelAnimation, ASingleEntryWeighsOneOnItsTrackAlone)
{
    model.FrameMove();
    ASSERT_EQ(model.BlendList.size(), 1u);
    EXPECT_EQ(model.BlendList[0].Weight, 1.0f);
    EXPECT_TRUE(Track(0).Enable);
    EXPECT_EQ(Track(0).Weight, 1.0f);
    EXPECT_FALSE(Track(1).Enable);
    EXPECT_EQ(Track(1).Weight, 0.0f);
}

TEST_F(ModelAnimation, TwoQuickSwitchesFadeOutUnderEachOther)
{
    model.SetTime(10.0);
    model.ChangeAnimation(1, 2.0f);
    model.SetTime(10.5);
    model.ChangeAnimation(0, 2.0f);
    model.SetTime(11.0);
    model.FrameMove();
    ASSERT_EQ(model.BlendList.size(), 3u);
    EXPECT_EQ(model.BlendList[2].Weight, 0.25f);
    EXPECT_EQ(model.BlendList[1].Weight, 0.375f);
    EXPECT_EQ(model.BlendList[0].Weight, 0.46875f);
    // Track 0 is named twice: the newest entry's weight holds.
    EXPECT_EQ(Track(0).Weight, 0.25f);
    EXPECT_TRUE(Track(0).Enable);
    EXPECT_EQ(Track(1).Weight, 0.375f);
    EXPECT_TRUE(Track(1).Enable);
}

TEST_F(ModelAnimation, AFadeEndingExactlyNowStillCountsAndIsPrunedOnceItIsPast)
{
    model.SetTime(1.0);
    model.ChangeAnimation(1, 0.5f);
    model.SetTime(1.5);
    model.FrameMove();
    ASSERT_EQ(model.BlendList.size(), 2u);
    EXPECT_EQ(model.BlendList[1].Weight, 1.0f);
    EXPECT_EQ(model.BlendList[0].Weight, 0.0f);
    EXPECT_TRUE(Track(0).Enable);

    model.SetTime(1.5001);
    model.FrameMove();
    ASSERT_EQ(model.BlendList.size(), 1u);
    EXPECT_EQ(model.BlendList[0].Track, 1u);
    EXPECT_EQ(model.BlendList[0].Weight, 1.0f);
    EXPECT_FALSE(Track(0).Enable);
    EXPECT_EQ(Track(1).Weight, 1.0f);
}

TEST_F(ModelAnimation, PruningKeepsTheNewestCompleteFadeAndWhatFollowsIt)
{
    model.ChangeAnimation(1, 1.0f); // complete after 1
    model.SetTime(0.5);
    model.ChangeAnimation(0, 1.0f); // complete after 1.5
    model.SetTime(2.0);
    model.ChangeAnimation(1, 4.0f); // fading
    model.SetTime(3.0);
    model.FrameMove();
    ASSERT_EQ(model.BlendList.size(), 2u);
    EXPECT_EQ(model.BlendList[0].Track, 0u);
    EXPECT_EQ(model.BlendList[0].Start, 0.5f);
    EXPECT_EQ(model.BlendList[1].Weight, 0.25f);
    EXPECT_EQ(model.BlendList[0].Weight, 0.75f);
}

TEST_F(ModelAnimation, AFadeOfNoLengthWeighsOneFromItsStart)
{
    model.SetTime(2.0);
    model.ChangeAnimation(1, 0.0f);
    model.FrameMove();
    ASSERT_EQ(model.BlendList.size(), 2u);
    EXPECT_EQ(model.BlendList[1].Weight, 1.0f);
    EXPECT_EQ(model.BlendList[0].Weight, 0.0f);
    EXPECT_FALSE(std::isnan(Track(1).Weight));
    model.SetTime(2.01);
    model.FrameMove();
    EXPECT_EQ(model.BlendList.size(), 1u);
}

TEST_F(ModelAnimation, SetTimeMovesEveryTrackByTheDifferenceBackwardsToo)
{
    model.ChangeAnimation(1, 1.0f); // restarts track 1 at 0 while Time is 0
    model.SetTime(3.0);
    EXPECT_EQ(Track(0).Position, 3.0);
    EXPECT_EQ(Track(1).Position, 3.0);
    model.ChangeAnimation(0, 1.0f);
    EXPECT_EQ(Track(0).Position, 0.0);
    model.SetTime(1.75);
    EXPECT_EQ(model.GetTime(), 1.75);
    EXPECT_EQ(Track(0).Position, -1.25);
    EXPECT_EQ(Track(1).Position, 1.75);
    EXPECT_EQ(model.BlendList.back().Start, 3.0f);
}

TEST_F(ModelAnimation, TheWeightsPoseTheBonesFromTheNextSetTime)
{
    // Bend turns Bone1 a quarter turn over one second; half way it is turned by 45 degrees.
    model.FrameMove();
    model.SetTime(0.5);
    model.FrameMove();
    const D3DXMATRIX bent = model.GetFrameMatrix(model.FrameRoot, "Bone1");
    EXPECT_NEAR(std::fabs(bent._11), std::sqrt(0.5f), 1e-4f);
    EXPECT_NEAR(std::fabs(bent._12), std::sqrt(0.5f), 1e-4f);

    // Switching to Sway shows from the next SetTime on: this FrameMove still has the bend.
    model.ChangeAnimation(1, 0.0f);
    model.FrameMove();
    EXPECT_NEAR(std::fabs(model.GetFrameMatrix(model.FrameRoot, "Bone1")._12), std::sqrt(0.5f), 1e-4f);
    model.SetTime(0.5 + 0.5); // Sway restarted at 0.5: position 0.5, Bone0 moved by 0.25
    model.FrameMove();
    const D3DXMATRIX bone0 = model.GetFrameMatrix(model.FrameRoot, "Bone0");
    EXPECT_NEAR(bone0._41, 0.25f, 1e-4f);
    EXPECT_NEAR(model.GetFrameMatrix(model.FrameRoot, "Bone1")._12, 0.0f, 1e-4f);
}

TEST_F(ModelAnimation, WithoutAnimationOnlyTheTimeAndTheMatricesMove)
{
    CD3DXObject still;
    still.Load(modelfixture::Write("plain.x", modelfixture::PlainText(0, 0, 5, 1, 0, 5)).c_str());
    still.ChangeAnimation(1, 1.0f);
    EXPECT_TRUE(still.BlendList.empty());
    EXPECT_TRUE(still.SetTime(4.0));
    EXPECT_EQ(still.GetTime(), 4.0);
    D3DXMatrixTranslation(still.GetWorldMatrix(), 0.0f, 2.0f, 0.0f);
    still.FrameMove();
    EXPECT_EQ(static_cast<D3DXFRAME_EX*>(still.FrameRoot->pFrameFirstChild)->CombinedTransformationMatrix._42, 2.0f);
    EXPECT_TRUE(still.BlendList.empty());
}

} // namespace
