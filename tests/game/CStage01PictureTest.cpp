// Pictures of the stage: the city as the game starts it, and a building falling to pieces.
#include <gtest/gtest.h>

#include "StageFixture.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "game/CQuillabet.h"
#include "game/CRina.h"
#include "game/CStage01.h"
#include "render/CDirectX9.h"

namespace {

class StagePictureTest : public stagetest::StageTest {
protected:
    void SetUp() override
    {
        stagetest::StageTest::SetUp();
        // No camera shakes, so the pictures do not depend on the runtime's random numbers.
        CGameConfig::GetInstance().IsSoundOn = false;
    }
};

class StageBreakPictureTest : public StagePictureTest {
protected:
    // One tall building in the heroine's way, seen past Rina.
    const char* Map() const override { return "building002 tower 0 0 8 0 0 0 3 5 2\n"; }
};

} // namespace

TEST_F(StagePictureTest, TheCityAsTheStageStarts)
{
    new CStage01();
    for (int i = 0; i < 3; ++i)
        stagetest::RunFrame();
    EXPECT_EQ(qvtest::CompareWithReference(stagetest::DrawFrameAndRead(), "game/ref/stage-start.png", 3), "");
}

TEST_F(StageBreakPictureTest, ABuildingFallsToPiecesInDust)
{
    CStage01* stage = new CStage01();
    int frame = 0;
    while (!stage->Buildings.empty() && frame < 400) {
        stagetest::RunFrame();
        ++frame;
    }
    ASSERT_TRUE(stage->Buildings.empty());
    for (int i = 0; i < 40; ++i)
        stagetest::RunFrame();
    EXPECT_EQ(qvtest::CompareWithReference(stagetest::DrawFrameAndRead(), "game/ref/stage-break.png", 3), "");
}

namespace {

class StageOpenGroundTest : public StagePictureTest {
protected:
    const char* Map() const override { return ""; }
    // Large enough to see the shadows.
    UINT Width() const override { return 320; }
};

class StageOpenGroundNoStencilTest : public StageOpenGroundTest {
protected:
    bool Stencil() const override { return false; }
};

// Rina walks away from the camera over the open ground for a second and a half.
void WalkAway()
{
    new CStage01();
    g_Input.Pressed[INPUT_UP] = true;
    for (int i = 0; i < 90; ++i)
        stagetest::RunFrame();
}

} // namespace

TEST_F(StageOpenGroundTest, RinaCastsAStencilShadow)
{
    WalkAway();
    EXPECT_EQ(qvtest::CompareWithReference(stagetest::DrawFrameAndRead(), "game/ref/stage-rina-shadow.png", 3), "");
}

TEST_F(StageOpenGroundNoStencilTest, WithoutStencilRinaHasABlobShadow)
{
    WalkAway();
    EXPECT_EQ(qvtest::CompareWithReference(stagetest::DrawFrameAndRead(), "game/ref/stage-rina-blob.png", 3), "");
}
