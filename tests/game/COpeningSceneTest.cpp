// The opening: its step and 800 frames, the crowd's formation and first draws, the height grid
// and its file, the footsteps, dust and fades by age, and key moments as seen.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SceneTestSupport.h"
#include "app/CRandomMT.h"
#include "game/CFade.h"
#include "game/COpeningScene.h"
#include "game/COpeningSmoke.h"
#include "game/SceneSteps.h"
#include "render/CD3DLight.h"
#include "render/CDirectX9.h"
#include "sound/Sound.h"

namespace {

class OpeningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scenetest::EnterDataDir().empty());
        Open(160, 120);
    }
    void TearDown() override { scenetest::CloseAll(); }

    void Open(UINT width, UINT height)
    {
        std::string error;
        ASSERT_TRUE(scenetest::OpenDevice(width, height, &error)) << error;
        scenetest::OpenSound();
    }

    // One frame as the frame function runs it in scene 2.
    static bool Frame(bool draw = false)
    {
        const bool running = OpeningSceneStep();
        scenetest::RunFrame(draw);
        return running;
    }
    static COpeningScene* Scene()
    {
        for (CCharacter* c : CCharacterSystem::CharacterList)
            if (COpeningScene* s = dynamic_cast<COpeningScene*>(c)) return s;
        return nullptr;
    }
    // Runs frames until the next update sees `age`.
    static void RunTo(DWORD age)
    {
        while (Scene() && Scene()->Age < age) Frame(false);
    }
    // A height file whose float k is f(row, column).
    template <typename F>
    static std::string HeightFile(F f, size_t floats = 201 * 201)
    {
        std::string bytes;
        for (size_t k = 0; k < floats; ++k) {
            const float v = f(static_cast<int>(k / 201), static_cast<int>(k % 201));
            uint32_t bits;
            std::memcpy(&bits, &v, 4);
            for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<char>(bits >> (8 * b)));
        }
        return bytes;
    }
};

TEST_F(OpeningTest, TheCrowdStandsInTenRowsBehindRina)
{
    int row;
    float offset;
    COpeningScene::GetFormation(0, &row, &offset);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(offset, 0.0f);
    COpeningScene::GetFormation(2, &row, &offset);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(offset, 0.5f);
    COpeningScene::GetFormation(6, &row, &offset);
    EXPECT_EQ(row, 4);
    EXPECT_EQ(offset, -1.5f);
    COpeningScene::GetFormation(54, &row, &offset);
    EXPECT_EQ(row, 10);
    EXPECT_EQ(offset, 4.5f);
}

TEST_F(OpeningTest, WalkersStartInFormationWithTheirDrawsInOrder)
{
    CRandomMT mirror(5489);
    Frame();
    COpeningScene* scene = Scene();
    ASSERT_NE(scene, nullptr);
    // Built, then updated once: undo the one step to see the start.
    for (int i = 0; i < COpeningScene::CROWD_SIZE; ++i) {
        const OpeningSceneEntry& w = scene->Crowd[i];
        int row;
        float offset;
        COpeningScene::GetFormation(i, &row, &offset);
        const D3DXVECTOR3 startVelocity = w.Velocity - w.Acceleration;
        const D3DXVECTOR3 start = w.Position - w.Velocity;
        EXPECT_NEAR(start.x, offset, 1e-5f) << i;
        EXPECT_NEAR(start.z, -50.0f - row, 1e-4f) << i;
        // The leader draws no sideways number.
        const double vx = i == 0 ? 0.0 : mirror.GetReal() * 0.02 - 0.01;
        const double vz = mirror.GetReal() * 0.02 - 0.01 + 0.075;
        EXPECT_NEAR(startVelocity.x, vx, 1e-6) << i;
        EXPECT_NEAR(startVelocity.z, vz, 1e-6) << i;
        EXPECT_GE(startVelocity.z, 0.065f - 1e-6f);
        EXPECT_LE(startVelocity.z, 0.085f + 1e-6f);
        EXPECT_EQ(w.AnimationFrame - 1, static_cast<int>(mirror.GetUInt32() % 1001)) << i;
    }
    EXPECT_EQ(scene->Crowd[0].Velocity.x - scene->Crowd[0].Acceleration.x, 0.0f);
}

TEST_F(OpeningTest, GroundHeightIsBilinearOnTheGrid)
{
    const std::string file = HeightFile([](int r, int c) { return static_cast<float>(r * 1000 + c); });
    ASSERT_FALSE(scenetest::EnterDataDirWithout("stage/OpeningGroundHeight.dat", &file).empty());
    Frame();
    const COpeningScene* scene = Scene();
    ASSERT_NE(scene, nullptr);
    // x = c - 100, z = r - 100.
    EXPECT_EQ(scene->GetGroundHeight(0, 0), 100100.0f);
    EXPECT_EQ(scene->GetGroundHeight(-100, -100), 0.0f);
    EXPECT_EQ(scene->GetGroundHeight(3, -7), 93103.0f);
    EXPECT_EQ(scene->GetGroundHeight(0.5f, 0), 100100.5f);
    EXPECT_NEAR(scene->GetGroundHeight(0.25f, 0.5f), 100600.25f, 0.01f);
    // Outside the grid the edge holds; nothing is read past it.
    EXPECT_EQ(scene->GetGroundHeight(100, 100), 200200.0f);
    EXPECT_EQ(scene->GetGroundHeight(1e9f, -1e9f), 200.0f);
    EXPECT_EQ(scene->GetGroundHeight(-1e9f, 1e9f), 200000.0f);
    EXPECT_EQ(scene->GetGroundHeight(std::numeric_limits<float>::quiet_NaN(), 0), 100000.0f);
}

TEST_F(OpeningTest, FlatGroundKeepsEveryoneAtZero)
{
    const std::string file = HeightFile([](int, int) { return 0.0f; });
    ASSERT_FALSE(scenetest::EnterDataDirWithout("stage/OpeningGroundHeight.dat", &file).empty());
    Frame();
    for (int i = 0; i < 30; ++i) Frame();
    const COpeningScene* scene = Scene();
    EXPECT_EQ(scene->RinaPosition.y, 0.0f);
    EXPECT_NEAR(scene->RinaPosition.z, -50.0f + 31 * 0.075f, 1e-4f);
    for (const OpeningSceneEntry& w : scene->Crowd) EXPECT_EQ(w.Position.y, 0.0f);
}

TEST_F(OpeningTest, MissingOrShortHeightFileFailsClearlyAndLeavesNothingBehind)
{
    const std::string shortFile = HeightFile([](int, int) { return 1.0f; }, 40400);
    const struct {
        const std::string* replacement;
        const char* text;
    } cases[] = {{nullptr, "Failed COpeningScene::COpeningScene fopen[.\\data\\stage\\OpeningGroundHeight.dat]"},
                 {&shortFile, "Failed COpeningScene::COpeningScene fread[.\\data\\stage\\OpeningGroundHeight.dat]"}};
    for (const auto& c : cases) {
        ASSERT_FALSE(scenetest::EnterDataDirWithout("stage/OpeningGroundHeight.dat", c.replacement).empty());
        try {
            OpeningSceneStep();
            ADD_FAILURE() << "no failure thrown";
        } catch (const char* text) {
            EXPECT_STREQ(text, c.text);
        }
        EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
        EXPECT_TRUE(CD3DLight::LightList.empty());
        EXPECT_EQ(g_nOpeningStep, 0u);
        EXPECT_FALSE(scenetest::IsStreamPlaying(0));
        EXPECT_FALSE(scenetest::IsStreamPlaying(1));
        for (SafeTextureEntry* e : CD3DSafeTexture::EntryList()) EXPECT_EQ(e->RefCount, 0u) << e->Path;
    }
}

TEST_F(OpeningTest, TheStepClearsTheLogosLeftoversAndEndsOnceAfterEightHundredFrames)
{
    new CFadeToWhite(103);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 0);
    EXPECT_EQ(scenetest::CountOf<CFadeFromBlack>(), 1);
    EXPECT_TRUE(scenetest::IsStreamPlaying(Scene()->Music));
    RunTo(680);
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 0);
    Frame();
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 1);
    RunTo(800);
    const COpeningScene* scene = Scene();
    ASSERT_NE(scene, nullptr);
    SoundChannel footsteps[3];
    for (int n = 0; n < 3; ++n) footsteps[n] = scene->Footsteps[n];
    ASSERT_TRUE(Frame());
    EXPECT_EQ(Scene(), nullptr);
    EXPECT_EQ(g_nOpeningStep, 2u);
    for (SoundChannel channel : footsteps) {
        ASSERT_NE(channel, -1);
        EXPECT_FALSE(g_pSounds[channel]->IsPlaying());
    }
    EXPECT_TRUE(CD3DLight::LightList.empty());
    EXPECT_FALSE(OpeningSceneStep());
    EXPECT_EQ(g_nOpeningStep, 0u);
}

TEST_F(OpeningTest, FootstepsJoinAtAgesOneThirtySixAndNinetyOne)
{
    Frame(); // update at age 0
    const COpeningScene* scene = Scene();
    EXPECT_EQ(scene->Footsteps[0], -1);
    Frame(); // age 1
    EXPECT_NE(scene->Footsteps[0], -1);
    EXPECT_TRUE(g_pSounds[scene->Footsteps[0]]->IsPlaying());
    RunTo(36);
    EXPECT_EQ(scene->Footsteps[1], -1);
    Frame();
    EXPECT_NE(scene->Footsteps[1], -1);
    RunTo(91);
    EXPECT_EQ(scene->Footsteps[2], -1);
    Frame();
    EXPECT_NE(scene->Footsteps[2], -1);
    EXPECT_NE(scene->Footsteps[0], scene->Footsteps[1]);
    EXPECT_NE(scene->Footsteps[1], scene->Footsteps[2]);
}

TEST_F(OpeningTest, DustRisesEveryFifthFrameFromEachWalkerAndFromRina)
{
    Frame(); // age 0: walkers 0, 5, ..., 50 and Rina
    EXPECT_EQ(scenetest::CountOf<COpeningDust>(), 12);
    Frame(); // age 1: walkers 4, 9, ..., 54
    EXPECT_EQ(scenetest::CountOf<COpeningDust>(), 23);
    for (int i = 0; i < 3; ++i) Frame();
    EXPECT_EQ(scenetest::CountOf<COpeningDust>(), 56);
    // A puff lives 30 updates, its first in the frame that made it: after ages 0 to 44, those
    // of ages 16 to 44 are left, 11 walkers' a frame and Rina's of ages 20, 25, ..., 40.
    for (int i = 0; i < 40; ++i) Frame();
    EXPECT_EQ(scenetest::CountOf<COpeningDust>(), 29 * 11 + 5);
}

TEST_F(OpeningTest, KeyMomentsAsSeen)
{
    scenetest::CloseAll();
    Open(320, 240);
    Frame();
    const struct {
        DWORD age;
        const char* reference;
    } moments[] = {{200, "game/ref/opening-200.png"}, {500, "game/ref/opening-500.png"}};
    for (const auto& moment : moments) {
        RunTo(moment.age - 1);
        OpeningSceneStep();
        EXPECT_EQ(qvtest::CompareWithReference(scenetest::RunFrameAndRead(), moment.reference, 3), "");
    }
}

} // namespace
