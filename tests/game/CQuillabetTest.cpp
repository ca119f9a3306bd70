// The giant heroine and the townspeople: turning, walking speeds, decisions, footsteps with
// their camera shakes, and the townspeople's wandering.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "StageFixture.h"
#include "app/CCharacterSystem.h"
#include "app/CGameConfig.h"
#include "game/CCameraShake.h"
#include "game/CPhill.h"
#include "game/CQuillabet.h"
#include "game/CStage01.h"
#include "render/CD3DXObject.h"

namespace {

int Shakes()
{
    int n = 0;
    for (CCharacter* c : CCharacterSystem::CharacterList)
        if (dynamic_cast<CCameraShake*>(c))
            ++n;
    return n;
}

CCameraShake* LastShake()
{
    for (auto it = CCharacterSystem::CharacterList.rbegin(); it != CCharacterSystem::CharacterList.rend(); ++it)
        if (CCameraShake* s = dynamic_cast<CCameraShake*>(*it))
            return s;
    return nullptr;
}

} // namespace

TEST(QuillabetTurn, TurnsAStepTheShorterWayAndLandsOnTheTarget)
{
    float angle = 0.0f;
    CQuillabet::TurnTo(angle, 0.03f); // within a step: exactly the target
    EXPECT_EQ(angle, 0.03f);
    angle = 0.0f;
    CQuillabet::TurnTo(angle, 1.5707964f);
    EXPECT_NEAR(angle, 0.049087387f, 1e-6f);
    angle = 0.0f;
    CQuillabet::TurnTo(angle, 4.712389f); // a quarter turn the other way
    EXPECT_NEAR(angle, 6.2831855f - 0.049087387f, 1e-6f);
    angle = 0.0f;
    CQuillabet::TurnTo(angle, 3.1415927f); // straight behind: the angle grows
    EXPECT_NEAR(angle, 0.049087387f, 1e-6f);
    angle = 6.25f;
    CQuillabet::TurnTo(angle, 0.0f); // across 2 pi, kept in [0, 2 pi)
    EXPECT_EQ(angle, 0.0f);
}

TEST(DirectionVelocity, EightDirectionsAroundFromPlusZ)
{
    float dx = 9, dz = 9;
    DirectionVelocity(0, 0.1f, &dx, &dz);
    EXPECT_EQ(dx, 0.0f);
    EXPECT_EQ(dz, 0.1f);
    DirectionVelocity(2, 0.1f, &dx, &dz);
    EXPECT_EQ(dx, 0.1f);
    EXPECT_EQ(dz, 0.0f);
    DirectionVelocity(5, 0.1f, &dx, &dz);
    EXPECT_FLOAT_EQ(dx, -0.1f * std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(dz, -0.1f * std::sqrt(0.5f));
    DirectionVelocity(6, 0.1f, &dx, &dz);
    EXPECT_EQ(dx, -0.1f);
}

class QuillabetTest : public stagetest::StageTest {
protected:
    void SetUp() override
    {
        stagetest::StageTest::SetUp();
        heroine = new CQuillabet();
    }
    CQuillabet* heroine = nullptr;
};

TEST_F(QuillabetTest, StartsWalkingTowardPlusZWithHerShadow)
{
    EXPECT_EQ(heroine->Position, D3DXVECTOR3(0.0f, 0.0f, 10.0f));
    EXPECT_TRUE(heroine->IsTranslucent);
    ASSERT_NE(heroine->Shadow, nullptr);
    EXPECT_EQ(heroine->Shadow->Owner, heroine);
    stagetest::RunFrame();
    EXPECT_EQ(heroine->AnimationState, 1u);
    EXPECT_EQ(g_nQuillabetStep, 1u);
    float dx, dz;
    heroine->GetVelocity(&dx, &dz);
    EXPECT_EQ(dx, 0.0f);
    EXPECT_GT(dz, 0.0f);
    heroine->Move(dx, dz);
    const D3DXMATRIX& w = *heroine->Model->GetWorldMatrix();
    EXPECT_FLOAT_EQ(w._11, 20.0f);
    EXPECT_FLOAT_EQ(w._43, 10.0f + dz);
}

TEST_F(QuillabetTest, HerStrideSlowsTwiceACycle)
{
    const struct {
        double time;
        float speed;
    } cases[] = {{0.0, 0.1f}, {15.0, 0.025f}, {29.75, 0.095f}, {30.0, 0.1f}, {45.5, 0.025f}, {59.0, 0.095f}, {75.0, 0.025f}};
    heroine->Direction = 2;
    for (const auto& c : cases) {
        heroine->Model->Time = c.time;
        float dx, dz;
        heroine->GetVelocity(&dx, &dz);
        EXPECT_FLOAT_EQ(dx, c.speed) << "time " << c.time;
        EXPECT_EQ(dz, 0.0f);
    }
    heroine->Direction = CQuillabet::DIRECTION_STAND;
    const float angle = heroine->Angle;
    float dx = 1, dz = 1;
    heroine->GetVelocity(&dx, &dz);
    EXPECT_EQ(dx, 0.0f);
    EXPECT_EQ(dz, 0.0f);
    EXPECT_EQ(heroine->Angle, angle);
}

TEST_F(QuillabetTest, SheNeverTurnsBackAndStopsFiftyFramesBeforeATurn)
{
    std::srand(7);
    int turns = 0, stands = 0, walksOn = 0;
    for (int i = 0; i < 300; ++i) {
        const DWORD current = static_cast<DWORD>(i % 9);
        heroine->Direction = current;
        heroine->PendingDirection = -1;
        heroine->ThinkCounter = 299;
        heroine->Think();
        EXPECT_EQ(heroine->ThinkCounter, 0u);
        if (heroine->PendingDirection >= 0) {
            ++turns;
            EXPECT_EQ(heroine->Direction, CQuillabet::DIRECTION_STAND);
            EXPECT_NE(static_cast<DWORD>(heroine->PendingDirection), current);
            if (current < 8) {
                EXPECT_NE((static_cast<DWORD>(heroine->PendingDirection) + 4) % 8, current);
            }
        } else if (heroine->Direction == CQuillabet::DIRECTION_STAND) {
            ++stands;
        } else {
            ++walksOn;
            EXPECT_EQ(heroine->Direction, current);
        }
    }
    EXPECT_GT(turns, 0);
    EXPECT_GT(stands, 0);
    EXPECT_GT(walksOn, 0);

    // A turn: standing for 50 frames, then the new direction from the 51st.
    heroine->Direction = CQuillabet::DIRECTION_STAND;
    heroine->PendingDirection = 3;
    heroine->ThinkCounter = 0;
    for (int i = 0; i < 50; ++i)
        heroine->Think();
    EXPECT_EQ(heroine->Direction, CQuillabet::DIRECTION_STAND);
    heroine->Think();
    EXPECT_EQ(heroine->Direction, 3u);
}

TEST_F(QuillabetTest, FootstepsOnThe49thAnd169thWalkingFrameShakeTheCamera)
{
    g_vListener = D3DXVECTOR3(0.0f, 0.0f, 10.0f); // right under her
    for (int frame = 0; frame < 48; ++frame)
        stagetest::RunFrame();
    EXPECT_EQ(Shakes(), 0);
    stagetest::RunFrame();
    ASSERT_EQ(Shakes(), 1);
    EXPECT_FLOAT_EQ(LastShake()->Magnitude, 3.0f / 20.0f);
    EXPECT_EQ(LastShake()->Frames, 30);
    for (int frame = 49; frame < 168; ++frame)
        stagetest::RunFrame();
    EXPECT_EQ(Shakes(), 0);
    // Far away: the step is silent and the shake small.
    g_vListener = D3DXVECTOR3(5000.0f, 0.0f, 0.0f);
    stagetest::RunFrame();
    ASSERT_EQ(Shakes(), 1);
    EXPECT_FLOAT_EQ(LastShake()->Magnitude, 3.0f / 1020.0f);
}

TEST_F(QuillabetTest, WithSoundOffHerStepsCountButShakeNothing)
{
    CGameConfig::GetInstance().IsSoundOn = false;
    for (int frame = 0; frame < 240; ++frame)
        stagetest::RunFrame();
    EXPECT_EQ(Shakes(), 0);
    EXPECT_EQ(g_nQuillabetStep, 240u);
}

TEST_F(QuillabetTest, DeletingHerTakesHerShadow)
{
    heroine->Kill();
    stagetest::RunFrame();
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
}

// ---------------------------------------------------------------------------------------------

class PhillTest : public stagetest::StageTest {};

TEST_F(PhillTest, WalksSlowlyAndDrawsADirectionEvery180Frames)
{
    CPhill* phill = new CPhill(1.0f, 0.0f, -2.0f);
    EXPECT_FALSE(phill->IsTranslucent);
    EXPECT_LT(phill->Direction, 8u);
    ASSERT_NE(phill->Shadow, nullptr);
    EXPECT_TRUE(phill->Shadow->IsTranslucent);
    phill->Direction = 2;
    float dx, dz;
    phill->GetVelocity(&dx, &dz);
    EXPECT_FLOAT_EQ(dx, 0.03f);
    EXPECT_EQ(dz, 0.0f);
    EXPECT_NEAR(phill->Angle, 0.049087387f, 1e-6f); // turning toward +x
    phill->Move(dx, dz);
    const D3DXMATRIX& w = *phill->Model->GetWorldMatrix();
    EXPECT_FLOAT_EQ(w._41, 1.03f);
    EXPECT_FLOAT_EQ(w._43, -2.0f);
    EXPECT_NEAR(w._11 * w._11 + w._13 * w._13, 1.0f, 1e-6f); // no scaling

    std::srand(3);
    int changes = 0;
    for (int frame = 1; frame <= 179; ++frame)
        stagetest::RunFrame();
    EXPECT_EQ(phill->DirectionCounter, 179u);
    for (int round = 0; round < 20; ++round) {
        phill->Direction = 9; // no direction: the draw below must replace it
        phill->DirectionCounter = 179;
        stagetest::RunFrame();
        EXPECT_EQ(phill->DirectionCounter, 0u);
        EXPECT_LT(phill->Direction, 8u);
        changes += phill->Direction != 2;
    }
    EXPECT_GT(changes, 0);
}
