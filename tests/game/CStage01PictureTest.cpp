// Pictures of the stage: the city as the game starts it, and a building falling to pieces.
#include <gtest/gtest.h>

#include <vector>

#include "StageFixture.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "game/CQuillabet.h"
#include "game/CRina.h"
#include "game/CStage01.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "render/CDirectX9.h"
#include "render/CMeshDrawRequest.h"

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

namespace {

// A building between the camera and Rina (seen through, at alpha 0.7), two beside the street
// with their roads, and one ahead that breaks into its pieces and smoke.
class StageGatheredPictureTest : public StagePictureTest {
protected:
    const char* Map() const override
    {
        return "building001 near 0.175 0 -0.5 0 0 0 0.35 0.15 0.2\n"
               "building005 left -4 0 5 0.5 0 0 2 1 2\n"
               "building007 right 4 0 5 -0.3 0 0 2 1.5 2\n"
               "building003 ahead 0 0 7 0 0 0 2 0.6 1.5\n";
    }
    UINT Width() const override { return 320; }
};

} // namespace

// The Direct3D layer gathers the frame's small draws (roads, falling pieces, puffs) into few
// OpenGL draws: the picture must be the very one that drawing them one by one gives.
TEST_F(StageGatheredPictureTest, AGatheredFrameIsTheFrameDrawnDrawByDraw)
{
    CStage01* stage = new CStage01();
    for (int i = 0; i < 3; ++i)
        stagetest::RunFrame();
    ASSERT_EQ(stage->Buildings.size(), 4u);
    stage->BreakBuilding(3);
    for (int i = 0; i < 40; ++i)
        stagetest::RunFrame();
    // A draw pass uses up the buildings' requests and turns the sky: both are put back for the
    // second drawing of the same moment.
    bool seeThrough = false;
    std::vector<CMeshDrawRequest*> requested;
    for (CMeshDrawRequest* request : stage->DrawRequests) {
        seeThrough = seeThrough || (request->IsRequested && request->IsTranslucent);
        if (request->IsRequested)
            requested.push_back(request);
    }
    EXPECT_TRUE(seeThrough) << "the near building should be drawn see-through";
    const float skyYaw = g_fSkyYaw;

    uint64_t before = qv::test::OpenGlDrawCount();
    const qvtest::Image gathered = stagetest::DrawFrameAndRead();
    const uint64_t gatheredDraws = qv::test::OpenGlDrawCount() - before;
    for (CMeshDrawRequest* request : requested)
        request->IsRequested = true;
    g_fSkyYaw = skyYaw;
    qv::test::SetD3D9Batching(false);
    before = qv::test::OpenGlDrawCount();
    const qvtest::Image alone = stagetest::DrawFrameAndRead();
    const uint64_t aloneDraws = qv::test::OpenGlDrawCount() - before;
    qv::test::SetD3D9Batching(true);
    EXPECT_EQ(qvtest::ComparePictures(gathered, alone, 0, "stage-gathered", "the frame drawn draw by draw"), "");
    EXPECT_LT(gatheredDraws * 2, aloneDraws);
    qvtest::SavePng(qvtest::MakeTempDir("stage-gathered") + "/gathered.png", gathered);
}
