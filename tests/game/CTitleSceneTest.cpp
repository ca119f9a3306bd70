// The title: its step, the Z press after 32 updates, its end 85 updates later, its sounds,
// a missing model, and how it looks.
#include <gtest/gtest.h>

#include "SceneTestSupport.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "game/CFade.h"
#include "game/CTitleScene.h"
#include "game/SceneSteps.h"
#include "render/CDirectX9.h"
#include "sound/Sound.h"

namespace {

class TitleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scenetest::EnterDataDir().empty());
        std::string error;
        ASSERT_TRUE(scenetest::OpenDevice(160, 120, &error)) << error;
        scenetest::OpenSound();
    }
    void TearDown() override { scenetest::CloseAll(); }

    // One frame as the frame function runs it in scene 3: the step, then the passes.
    static bool Frame(bool draw = false)
    {
        const bool running = TitleSceneStep();
        scenetest::RunFrame(draw);
        return running;
    }
    static void HoldZ(bool held) { g_Input.Pressed[INPUT_Z] = held; }
};

TEST_F(TitleTest, HoldingZFromTheStartBeginsTheGameOnTheThirtyThirdUpdate)
{
    HoldZ(true);
    for (int i = 0; i < 32; ++i) ASSERT_TRUE(Frame());
    EXPECT_EQ(g_nTitleStep, TITLE_RUNNING);
    EXPECT_EQ(scenetest::CountOf<CFadeToBlack>(), 0);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(g_nTitleFrame, 33);
    EXPECT_EQ(g_nTitleStep, TITLE_STARTED);
    EXPECT_EQ(scenetest::CountOf<CFadeToBlack>(), 1);
    EXPECT_EQ(scenetest::PlayingChannels(), 1); // the start sound
}

TEST_F(TitleTest, TheTitleEndsEightyFiveUpdatesAfterTheStartAndTheStepSaysSoOnce)
{
    const SoundStream music = (Frame(), dynamic_cast<CTitleScene*>(CCharacterSystem::CharacterList[0])->Music);
    EXPECT_TRUE(scenetest::IsStreamPlaying(music));
    for (int i = 0; i < 49; ++i) ASSERT_TRUE(Frame());
    HoldZ(true);
    ASSERT_TRUE(Frame()); // started on the 51st update
    HoldZ(false);
    ASSERT_EQ(g_nTitleStep, TITLE_STARTED);
    for (int i = 0; i < 84; ++i) ASSERT_TRUE(Frame());
    EXPECT_EQ(g_nTitleEndFrame, 84);
    EXPECT_EQ(scenetest::CountOf<CTitleScene>(), 1);
    // Killed with its fade to black in the same frame.
    ASSERT_TRUE(Frame());
    EXPECT_EQ(scenetest::CountOf<CTitleScene>(), 0);
    EXPECT_EQ(scenetest::CountOf<CFadeToBlack>(), 0);
    EXPECT_EQ(g_nTitleStep, TITLE_DESTROYED);
    EXPECT_FALSE(scenetest::IsStreamPlaying(music));
    EXPECT_EQ(CDirectX9::ClearParam.Flags, static_cast<DWORD>(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
    EXPECT_EQ(CDirectX9::ClearParam.Color, 0xFF000000u);

    EXPECT_FALSE(TitleSceneStep());
    EXPECT_EQ(g_nTitleFrame, 0);
    EXPECT_EQ(g_nTitleEndFrame, 0);
    EXPECT_EQ(g_nTitleStep, TITLE_DESTROYED);
}

TEST_F(TitleTest, PausedFromTheFirstFrameMakesNoSecondTitle)
{
    // While paused the step runs but nothing is updated.
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(TitleSceneStep());
    EXPECT_EQ(scenetest::CountOf<CTitleScene>(), 1);
    EXPECT_EQ(g_nTitleFrame, 0);
}

TEST_F(TitleTest, WithSoundOffTheStartIsSilent)
{
    CGameConfig::GetInstance().IsSoundOn = false;
    HoldZ(true);
    for (int i = 0; i < 33; ++i) Frame();
    EXPECT_EQ(g_nTitleStep, TITLE_STARTED);
    EXPECT_EQ(scenetest::PlayingChannels(), 0);
}

TEST_F(TitleTest, MissingModelThrowsItsTextAndTheStepTriesAgain)
{
    ASSERT_FALSE(scenetest::EnterDataDirWithout("xfile/TitleChar.x").empty());
    try {
        TitleSceneStep();
        FAIL() << "no failure thrown";
    } catch (const char* text) {
        EXPECT_NE(std::string(text).find("TitleChar.x"), std::string::npos) << text;
    }
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
    EXPECT_EQ(g_nTitleStep, 0u);
    EXPECT_THROW(TitleSceneStep(), const char*);
}

TEST_F(TitleTest, TitleAsSeen)
{
    scenetest::CloseAll();
    ASSERT_TRUE(scenetest::OpenDevice(320, 240, nullptr));
    for (int i = 0; i < 79; ++i) Frame(i % 10 == 0);
    TitleSceneStep();
    EXPECT_EQ(qvtest::CompareWithReference(scenetest::RunFrameAndRead(), "game/ref/title.png", 3), "");
}

} // namespace
