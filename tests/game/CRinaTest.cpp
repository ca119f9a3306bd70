// The player character: camera-relative walking, the double tap that runs, the speed switch,
// the animation states, turning, and the two kinds of shadow.
#include <gtest/gtest.h>

#include <cmath>

#include "StageFixture.h"
#include "app/CCharacterSystem.h"
#include "app/CInput.h"
#include "game/CRina.h"
#include "render/CD3DXObject.h"

namespace {

const float kPi = 3.14159265358979f;

class RinaTest : public stagetest::StageTest {
protected:
    void SetUp() override
    {
        stagetest::StageTest::SetUp();
        rina = new CRina();
    }
    // One frame of input: the arrows held, and which are fresh presses.
    void Hold(bool up, bool right, bool down, bool left)
    {
        const bool now[4] = {right, left, up, down};
        const int buttons[4] = {INPUT_RIGHT, INPUT_LEFT, INPUT_UP, INPUT_DOWN};
        for (int i = 0; i < 4; ++i) {
            g_Input.Triggered[buttons[i]] = now[i] && !g_Input.Pressed[buttons[i]];
            g_Input.Pressed[buttons[i]] = now[i];
        }
    }
    void Frame(bool up, bool right = false, bool down = false, bool left = false)
    {
        Hold(up, right, down, left);
        float dx, dz;
        rina->GetVelocity(&dx, &dz);
        rina->Move(dx, dz);
        stagetest::RunFrame();
    }
    CRina* rina = nullptr;
};

} // namespace

TEST_F(RinaTest, UpWalksAlongTheCameraHeading)
{
    EXPECT_TRUE(rina->IsTranslucent);
    EXPECT_FLOAT_EQ(rina->CameraHeading, kPi / 2.0f);
    Hold(true, false, false, false);
    float dx, dz;
    rina->GetVelocity(&dx, &dz);
    EXPECT_NEAR(dx, 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(dz, 0.02f);
    // With the camera looking along +x, up walks along +x.
    rina->CameraHeading = 0.0f;
    rina->GetVelocity(&dx, &dz);
    EXPECT_FLOAT_EQ(dx, 0.02f);
    EXPECT_NEAR(dz, 0.0f, 1e-7f);
}

TEST_F(RinaTest, ATurnOfLessThanAStepLandsOnTheTarget)
{
    rina->Facing = 1.0f;
    rina->TurnTo(1.1f);
    EXPECT_EQ(rina->Facing, 1.1f);
    rina->TurnTo(1.1f + kPi / 2.0f);
    EXPECT_FLOAT_EQ(rina->Facing, 1.1f + 0.19634954f);
    rina->Facing = 0.0f;
    rina->TurnTo(-0.5f); // the shorter way, across 0
    EXPECT_FLOAT_EQ(rina->Facing, -0.19634954f);
}

TEST_F(RinaTest, OppositeArrowsWalkInPlace)
{
    Frame(false, true, false, true);
    EXPECT_EQ(rina->Position, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(rina->Facing, 0.0f);
    EXPECT_EQ(rina->AnimState, static_cast<DWORD>(CRina::ANIM_WALK));
}

TEST_F(RinaTest, ADoubleTapRunsAndALateSecondPressWalks)
{
    Frame(true);
    EXPECT_EQ(rina->AnimState, static_cast<DWORD>(CRina::ANIM_WALK));
    Frame(false);
    EXPECT_EQ(rina->AnimState, static_cast<DWORD>(CRina::ANIM_IDLE));
    Frame(true);
    EXPECT_EQ(rina->AnimState, static_cast<DWORD>(CRina::ANIM_RUN));
    const float z = rina->Position.z;
    Frame(true);
    EXPECT_FLOAT_EQ(rina->Position.z - z, 0.05f);
    // Released while running: stand for 120 frames, then idle.
    for (int i = 0; i < 120; ++i) {
        Frame(false);
        EXPECT_EQ(rina->AnimState, static_cast<DWORD>(CRina::ANIM_STAND)) << i;
    }
    Frame(false);
    EXPECT_EQ(rina->AnimState, static_cast<DWORD>(CRina::ANIM_IDLE));
    // Pressed again after more than eight frames: a walk.
    Frame(true);
    EXPECT_EQ(rina->AnimState, static_cast<DWORD>(CRina::ANIM_WALK));
    for (int i = 0; i < 9; ++i)
        Frame(false);
    Frame(true);
    EXPECT_EQ(rina->AnimState, static_cast<DWORD>(CRina::ANIM_WALK));
    for (int i = 0; i < 8; ++i)
        Frame(false);
    Frame(true);
    EXPECT_EQ(rina->AnimState, static_cast<DWORD>(CRina::ANIM_RUN));
}

TEST_F(RinaTest, F7SwitchesTwentyTimesTheSpeed)
{
    g_Input.Triggered[INPUT_F7] = true;
    Hold(true, false, false, false);
    float dx, dz;
    rina->GetInputVelocity(&dx, &dz);
    EXPECT_FLOAT_EQ(dz, 0.4f);
    g_Input.Triggered[INPUT_F7] = false;
    rina->AnimState = CRina::ANIM_RUN;
    rina->GetInputVelocity(&dx, &dz);
    EXPECT_FLOAT_EQ(dz, 1.0f);
    g_Input.Triggered[INPUT_F7] = true;
    rina->GetInputVelocity(&dx, &dz);
    EXPECT_FLOAT_EQ(dz, 0.05f);
}

TEST_F(RinaTest, WithAStencilBufferSheCastsAVolume)
{
    EXPECT_TRUE(HasStencilDepthBuffer());
    ASSERT_NE(rina->ShadowModel, nullptr);
    rina->Move(1.0f, 2.0f);
    EXPECT_EQ(0, memcmp(rina->ShadowModel->GetWorldMatrix(), rina->Model->GetWorldMatrix(), sizeof(D3DXMATRIX)));
}

class RinaNoStencilTest : public stagetest::StageTest {
protected:
    bool Stencil() const override { return false; }
};

TEST_F(RinaNoStencilTest, WithoutStencilOnlyTheBlobIsDrawn)
{
    EXPECT_FALSE(HasStencilDepthBuffer());
    CRina* rina = new CRina();
    EXPECT_EQ(rina->ShadowModel, nullptr);
    EXPECT_NE(rina->ShadowTexture.Entry, nullptr);
    rina->Move(0.0f, 0.0f);
    stagetest::RunFrame(true);
}
