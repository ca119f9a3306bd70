// The logo splash: its step and its 520 frames, the music and noise timeline with sound on and
// off, the one fade to white, the jitter, a missing texture, and key moments as seen.
#include <gtest/gtest.h>

#include "SceneTestSupport.h"
#include "app/CGameConfig.h"
#include "game/CFade.h"
#include "game/CLogoScene.h"
#include "game/SceneSteps.h"
#include "render/CDirectX9.h"
#include "sound/Sound.h"

namespace {

class LogoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scenetest::EnterDataDir().empty());
        std::string error;
        ASSERT_TRUE(scenetest::OpenDevice(160, 120, &error)) << error;
        scenetest::OpenSound();
    }
    void TearDown() override { scenetest::CloseAll(); }

    // One frame as the frame function runs it in scene 1.
    static bool Frame(bool draw = false)
    {
        const bool running = LogoSceneStep();
        scenetest::RunFrame(draw);
        return running;
    }
    static CLogoScene* Scene()
    {
        for (CCharacter* c : CCharacterSystem::CharacterList)
            if (CLogoScene* logo = dynamic_cast<CLogoScene*>(c)) return logo;
        return nullptr;
    }
    // Runs frames until the next update sees `age`.
    static void RunTo(DWORD age)
    {
        while (Scene() && Scene()->Age < age) Frame(false);
    }
};

TEST_F(LogoTest, TheLogoLastsFiveHundredTwentyFramesAndTheStepEndsOnce)
{
    ASSERT_TRUE(Frame());
    EXPECT_EQ(g_nLogoStep, 1u);
    EXPECT_EQ(scenetest::CountOf<CLogoScene>(), 1);
    RunTo(520);
    ASSERT_NE(Scene(), nullptr);
    ASSERT_TRUE(Frame()); // its update sees 520; deleted at the end of this frame
    EXPECT_EQ(Scene(), nullptr);
    EXPECT_EQ(g_nLogoStep, 2u);
    EXPECT_FALSE(LogoSceneStep());
    EXPECT_EQ(g_nLogoStep, 0u);
    // The scene put back lighting, depth writes, culling and the clear.
    EXPECT_EQ(CDirectX9::ClearParam.Flags, static_cast<DWORD>(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
}

TEST_F(LogoTest, MusicGivesWayToTheNoiseAtThreeSixtyAndBothStopAtTheEnd)
{
    Frame();
    CLogoScene* logo = Scene();
    ASSERT_NE(logo, nullptr);
    ASSERT_NE(logo->LogoStream, -1);
    ASSERT_NE(logo->NoiseStream, -1);
    EXPECT_NE(logo->LogoStream, logo->NoiseStream);
    EXPECT_TRUE(scenetest::IsStreamPlaying(logo->LogoStream));
    EXPECT_FALSE(scenetest::IsStreamPlaying(logo->NoiseStream));
    RunTo(360);
    EXPECT_FALSE(scenetest::IsStreamPlaying(logo->NoiseStream));
    Frame();
    EXPECT_TRUE(scenetest::IsStreamPlaying(logo->NoiseStream));
    const int logoStream = logo->LogoStream, noiseStream = logo->NoiseStream;
    RunTo(521);
    EXPECT_EQ(Scene(), nullptr);
    EXPECT_FALSE(scenetest::IsStreamPlaying(logoStream));
    EXPECT_FALSE(scenetest::IsStreamPlaying(noiseStream));
}

TEST_F(LogoTest, WithSoundOffNoStreamIsLoaded)
{
    CGameConfig::GetInstance().IsSoundOn = false;
    Frame();
    ASSERT_NE(Scene(), nullptr);
    EXPECT_EQ(Scene()->LogoStream, -1);
    EXPECT_EQ(Scene()->NoiseStream, -1);
    RunTo(421);
    EXPECT_FALSE(scenetest::IsStreamPlaying(0));
    EXPECT_FALSE(scenetest::IsStreamPlaying(1));
}

TEST_F(LogoTest, SoundTurnedOffDuringTheLogoLeavesNoStreamPlayingAfterIt)
{
    Frame();
    RunTo(100);
    CGameConfig::GetInstance().IsSoundOn = false;
    RunTo(521);
    EXPECT_EQ(Scene(), nullptr);
    // Both slots are free for the scenes that follow.
    EXPECT_FALSE(scenetest::IsStreamPlaying(0));
    EXPECT_FALSE(scenetest::IsStreamPlaying(1));
}

TEST_F(LogoTest, OneFadeToWhiteFromAgeFourTwentyWhateverFramesAreDrawn)
{
    Frame();
    RunTo(418); // the draw sees the age that the update has just raised
    Frame(true); // drawn at 419
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 0);
    Frame(false); // the frame drawn at 420 is skipped by the divisor
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 0);
    Frame(true);
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 1);
    // Paused: drawn again and again at the same age.
    for (int i = 0; i < 3; ++i)
        if (CDirectX9::BeginRender()) {
            CCharacterSystem().DrawAll();
            CDirectX9::EndRender();
        }
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 1);
    for (int i = 0; i < 10; ++i) Frame(true);
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 1);
}

TEST_F(LogoTest, JitterStaysSmallAndIsSometimesFiveTimesLarger)
{
    Frame();
    int large = 0;
    for (int i = 0; i < 300; ++i) {
        Frame();
        const float x = Scene()->JitterX, y = Scene()->JitterY;
        ASSERT_LE(std::fabs(x), 0.0625f);
        ASSERT_LE(std::fabs(y), 0.0625f);
        if (std::fabs(x) > 0.0125f || std::fabs(y) > 0.0125f) ++large;
    }
    // About one frame in five.
    EXPECT_GT(large, 20);
    EXPECT_LT(large, 100);
}

TEST_F(LogoTest, MissingTextureThrowsAndTheStepTriesAgain)
{
    ASSERT_FALSE(scenetest::EnterDataDirWithout("graphics/vannet.tga").empty());
    try {
        LogoSceneStep();
        FAIL() << "no failure thrown";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Failed CD3DSafeTexture::CreateTexture D3DXCreateTextureFromFile[.\\data\\graphics\\vannet.tga]");
    }
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
    EXPECT_EQ(g_nLogoStep, 0u);
    EXPECT_FALSE(scenetest::IsStreamPlaying(0));
}

TEST_F(LogoTest, KeyMomentsAsSeen)
{
    scenetest::CloseAll();
    ASSERT_TRUE(scenetest::OpenDevice(320, 240, nullptr));
    const struct {
        DWORD age;
        const char* reference;
    } moments[] = {{60, "game/ref/logo-060.png"}, {100, "game/ref/logo-100-wireframe.png"},
                   {240, "game/ref/logo-240.png"}, {470, "game/ref/logo-470.png"}};
    Frame();
    for (const auto& moment : moments) {
        RunTo(moment.age - 1);
        LogoSceneStep();
        EXPECT_EQ(qvtest::CompareWithReference(scenetest::RunFrameAndRead(), moment.reference, 3), "");
    }
}

} // namespace
