// The stage camera: its distance and yaw springs, the swing behind Rina, the view from above,
// the see-through buildings on the line of sight, and the camera shake.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "StageFixture.h"
#include "app/CCharacterSystem.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "game/CCameraShake.h"
#include "game/CRina.h"
#include "game/CStage01.h"
#include "render/CDirectX9.h"
#include "render/CMeshDrawRequest.h"

namespace {

const float kPi = 3.14159265358979f;

class StageCameraTest : public stagetest::StageTest {
protected:
    // A low building between the camera and Rina, and one off to the side ahead.
    const char* Map() const override
    {
        return "building001 between 0 0 -1.5 0 0 0 0.3 0.1 0.3\n"
               "building001 ahead 3 0 15 0 0 0 0.5 0.1 0.5\n";
    }
    void SetUp() override
    {
        stagetest::StageTest::SetUp();
        CGameConfig::GetInstance().IsSoundOn = false;
        stage = new CStage01();
    }
    CStage01* stage = nullptr;
};

} // namespace

TEST_F(StageCameraTest, TheDistanceGrowsWhileAnArrowIsHeldAndShrinksBack)
{
    g_Input.Pressed[INPUT_LEFT] = true;
    stage->UpdateCamera();
    EXPECT_FLOAT_EQ(g_CameraDistSpring[0], 5.1f);
    stage->UpdateCamera();
    EXPECT_FLOAT_EQ(g_CameraDistSpring[0], 5.196f);
    for (int i = 0; i < 400; ++i)
        stage->UpdateCamera();
    EXPECT_NEAR(g_CameraDistSpring[0], 7.5f, 1e-3f);
    EXPECT_FLOAT_EQ(g_CameraDistSpring[0] + g_CameraDistSpring[1], 10.0f);
    g_Input.Pressed[INPUT_LEFT] = false;
    stage->UpdateCamera();
    EXPECT_NEAR(g_CameraDistSpring[0], 7.5f - 2.5f * 0.04f, 1e-4f);
}

TEST_F(StageCameraTest, TheViewLooksAtRinaFromBehindAndGivesHerItsHeading)
{
    stage->Rina->Position = D3DXVECTOR3(1.0f, 0.0f, 2.0f);
    stage->UpdateCamera();
    // At rest and unturned: 5 behind her along -z, looking at a point 2 above her.
    D3DXVECTOR3 eye(1.0f, 0.0f, -3.0f), at(1.0f, 2.0f, 2.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX expected;
    D3DXMatrixLookAtLH(&expected, &eye, &at, &up);
    const D3DMATRIX& view = CDirectX9::SafeGetTransform(D3DTS_VIEW);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR((&view._11)[i], (&expected._11)[i], 1e-5f);
    EXPECT_FLOAT_EQ(stage->Rina->CameraHeading, kPi / 2.0f);
    EXPECT_NEAR(stage->CameraLength, std::sqrt(29.0f), 1e-5f);
    EXPECT_NEAR(stage->CameraMid.y, 1.0f, 1e-6f);
    EXPECT_NEAR(stage->CameraMid.z, -0.5f, 1e-6f);
    // The camera's box runs along the line: scaled by ten times its length along z.
    const D3DXMATRIX& w = *stage->CameraModel->GetWorldMatrix();
    EXPECT_NEAR(w._33, std::sqrt(29.0f) * 10.0f, 1e-4f);
    EXPECT_NEAR(w._41, 1.0f, 1e-6f);
}

TEST_F(StageCameraTest, ZSwingsTheCameraBehindHerEasedTheShorterWay)
{
    stage->Rina->Facing = kPi / 2.0f; // facing +x
    g_Input.Triggered[INPUT_Z] = true;
    stage->UpdateCamera();
    g_Input.Triggered[INPUT_Z] = false;
    // 2 pi - pi/2 + pi/2 = 2 pi: three quarters of a turn on, taken as a quarter back.
    EXPECT_FLOAT_EQ(stage->CameraYaw, 2.0f * kPi);
    stage->UpdateCamera();
    EXPECT_FLOAT_EQ(g_fCameraLastYaw, 2.0f * kPi);
    // The offset started at +pi/2 (the shorter way from pi/2 to 2 pi is -pi/2) and lost 4%.
    EXPECT_NEAR(g_CameraYawSpring[0] - 5.0f, kPi / 2.0f * 0.96f, 1e-4f);
    // So the view has barely moved yet...
    EXPECT_NEAR(stage->Rina->CameraHeading, kPi / 2.0f - kPi / 2.0f * 0.04f, 1e-3f);
    for (int i = 0; i < 400; ++i)
        stage->UpdateCamera();
    // ...and ends looking along +x, behind her.
    EXPECT_NEAR(std::cos(stage->Rina->CameraHeading), 1.0f, 1e-4f);
}

TEST_F(StageCameraTest, F8ShowsTheViewFromAboveButKeepsHerControlsOnTheFollowingView)
{
    stage->Rina->Position = D3DXVECTOR3(4.0f, 0.0f, -2.0f);
    g_Input.Triggered[INPUT_F8] = true;
    stage->UpdateCamera();
    D3DXVECTOR3 eye(4.0f, 200.0f, -3.0f), at(4.0f, 0.0f, -2.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX expected;
    D3DXMatrixLookAtLH(&expected, &eye, &at, &up);
    EXPECT_EQ(0, std::memcmp(&CDirectX9::SafeGetTransform(D3DTS_VIEW), &expected, sizeof expected));
    EXPECT_FLOAT_EQ(stage->Rina->CameraHeading, kPi / 2.0f);
    stage->UpdateCamera(); // still triggered: back to following
    EXPECT_FALSE(g_bTopView);
}

TEST_F(StageCameraTest, ABuildingOnTheLineOfSightIsDrawnSeeThrough)
{
    stagetest::RunFrame();
    ASSERT_EQ(stage->DrawRequests.size(), 2u);
    EXPECT_FLOAT_EQ(stage->DrawRequests[0]->Alpha, 0.7f);
    EXPECT_TRUE(stage->DrawRequests[0]->IsTranslucent);
    EXPECT_EQ(stage->DrawRequests[0]->Texture, stage->Buildings[0].Texture);
    EXPECT_FLOAT_EQ(stage->DrawRequests[1]->Alpha, 1.0f);
    EXPECT_FALSE(stage->DrawRequests[1]->IsTranslucent);
    // The pool is reused, not grown, while no more buildings are in view.
    CMeshDrawRequest* first = stage->DrawRequests[0];
    stagetest::RunFrame(true);
    EXPECT_EQ(stage->DrawRequests.size(), 2u);
    EXPECT_EQ(stage->DrawRequests[0], first);
}

TEST_F(StageCameraTest, ABuildingOutOfViewIsNotQueued)
{
    stage->Rina->Position = D3DXVECTOR3(0.0f, 0.0f, 40.0f);
    stage->Rina->Move(0.0f, 0.0f);
    stagetest::RunFrame();
    EXPECT_TRUE(stage->DrawRequests.empty());
}

// ---------------------------------------------------------------------------------------------

TEST(CameraShake, OffsetsFadeOverTheShakeAndVanishWithIt)
{
    CCharacterSystem system;
    const float m = 0.3f;
    CCameraShake* shake = new CCameraShake(m, 30);
    system.UpdateAll();
    for (float v : {g_vShake.x, g_vShake.y, g_vShake.z}) {
        EXPECT_GE(v, m / 2.0f - 1e-6f);
        EXPECT_LE(v, m + 1e-6f);
    }
    for (int i = 1; i < 29; ++i) {
        system.UpdateAll();
        system.DeleteDead();
    }
    ASSERT_EQ(CCharacterSystem::CharacterList.size(), 1u);
    system.UpdateAll(); // the 30th and last update
    for (float v : {g_vShake.x, g_vShake.y, g_vShake.z}) {
        EXPECT_GE(v, m / 60.0f - 1e-6f);
        EXPECT_LE(v, m / 30.0f + 1e-6f);
    }
    EXPECT_EQ(shake->Age, 30u);
    system.DeleteDead();
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
    EXPECT_EQ(g_vShake, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
}

// Building and camera boxes both turn only about y, so their upright edges are parallel: the
// overlap test must not let rounding separate them.
TEST_F(StageCameraTest, ABuildingAroundTheCameraIsSeeThroughWhateverTheYawOfBoth)
{
    int tried = 0;
    for (int c = 0; c < 12; ++c) {
        const float cameraYaw = 0.37f + c * (2.0f * kPi / 12.0f);
        // The camera's box turns by pi/2 - its yaw: buildings square to it (up to rounding),
        // nearly square, and at other angles.
        const float square = kPi / 2.0f - cameraYaw;
        for (int b = 0; b < 12; ++b) {
            const float offsets[4] = {0.0f, 1e-6f, 1e-4f, 0.3f};
            const float buildingYaw = square + (b / 4) * (kPi / 2.0f) + offsets[b % 4];
            stage->CameraYaw = g_fCameraLastYaw = cameraYaw;
            g_CameraDistSpring[0] = g_CameraDistSpring[1] = 5.0f;
            g_CameraYawSpring[0] = g_CameraYawSpring[1] = 5.0f;
            stage->Rina->Position = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
            stage->Rina->Move(0.0f, 0.0f);
            // At rest the eye stands 5 behind her, on the ground: put a building around it, a
            // tall one or one whose roof is just below the box's top at height 1.05.
            const float eyeX = -5.0f * std::cos(cameraYaw), eyeZ = -5.0f * std::sin(cameraYaw);
            const float height = c % 2 ? 4.0f : 1.1f;
            D3DXMATRIX scaling, rotation, translation;
            D3DXMatrixScaling(&scaling, 2.0f, height, 2.0f);
            D3DXMatrixRotationY(&rotation, buildingYaw);
            D3DXMatrixTranslation(&translation, eyeX, -0.1f, eyeZ);
            ASSERT_EQ(stage->Buildings.size(), 2u);
            stage->Buildings[0].World = scaling * rotation * translation;
            stage->Buildings[0].Radius = std::sqrt(3.0f) * std::max(2.0f, height) * 0.5f;
            stagetest::RunFrame();
            ASSERT_FALSE(stage->DrawRequests.empty());
            const CMeshDrawRequest* request = stage->DrawRequests[0];
            ASSERT_EQ(0, std::memcmp(&request->World, &stage->Buildings[0].World, sizeof(D3DXMATRIX)));
            EXPECT_FLOAT_EQ(request->Alpha, 0.7f) << "camera yaw " << cameraYaw << ", building yaw " << buildingYaw;
            ++tried;
        }
    }
    EXPECT_EQ(tried, 144);
}
