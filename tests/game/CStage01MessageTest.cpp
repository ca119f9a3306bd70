// The stage's picture messages: alpha over the life, their places on the screen, and a
// picture that cannot be had.
#include <gtest/gtest.h>

#include "SceneTestSupport.h"
#include "game/CStage01Message.h"
#include "render/CDirectX9.h"

namespace {

class StageMessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scenetest::EnterDataDir().empty());
        std::string error;
        ASSERT_TRUE(scenetest::OpenDevice(160, 120, &error)) << error;
        CDirectX9::ClearRecord clear = {0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00, 1.0f, 0};
        CDirectX9::SetClearParam(clear);
    }
    void TearDown() override { scenetest::CloseAll(); }
};

bool IsClearColour(const uint8_t* p) { return p[0] == 0 && p[1] == 255 && p[2] == 0; }

// The box of pixels that differ from the clear colour: x0, y0, x1, y1 inclusive.
void DrawnBox(const qvtest::Image& image, int box[4])
{
    box[0] = image.width;
    box[1] = image.height;
    box[2] = -1;
    box[3] = -1;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (!IsClearColour(image.At(x, y))) {
                box[0] = std::min(box[0], x);
                box[1] = std::min(box[1], y);
                box[2] = std::max(box[2], x);
                box[3] = std::max(box[3], y);
            }
}

TEST_F(StageMessageTest, AlphaRisesStaysAndFallsOverThreeHundredFrames)
{
    const struct {
        DWORD age;
        int alpha;
    } expected[] = {{0, 0}, {1, 8}, {31, 248}, {32, 255}, {208, 255}, {209, 248}, {239, 8}, {240, 0}, {299, 0}};
    for (const auto& e : expected) EXPECT_EQ(CStage01Message::AlphaAt(e.age), e.alpha) << "age " << e.age;
}

TEST_F(StageMessageTest, MessagesAreOverlaysThatLiveThreeHundredFrames)
{
    new CStage01Message00();
    new CStage01Message01();
    new CStage01Message02();
    for (CCharacter* c : CCharacterSystem::CharacterList) {
        EXPECT_EQ(c->SortKey, FLT_MIN);
        EXPECT_TRUE(c->IsTranslucent);
        EXPECT_EQ(c->Life, 300);
    }
    scenetest::RunFrames(299, false);
    EXPECT_EQ(scenetest::CountOf<CStage01Message>(), 3);
    scenetest::RunFrame(false);
    EXPECT_EQ(scenetest::CountOf<CStage01Message>(), 0);
}

TEST_F(StageMessageTest, EachMessageStandsInItsOwnPlace)
{
    // 512x128 at (64, 112), (96, 176), (32, 240) of 640x480: a quarter of that here.
    const int places[3][2] = {{16, 28}, {24, 44}, {8, 60}};
    for (int i = 0; i < 3; ++i) {
        scenetest::CloseAll();
        ASSERT_TRUE(scenetest::OpenDevice(160, 120, nullptr));
        CDirectX9::ClearRecord clear = {0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00, 1.0f, 0};
        CDirectX9::SetClearParam(clear);
        if (i == 0) new CStage01Message00();
        if (i == 1) new CStage01Message01();
        if (i == 2) new CStage01Message02();
        scenetest::RunFrames(99, false);
        const qvtest::Image image = scenetest::RunFrameAndRead();
        ASSERT_EQ(image.width, 160);
        int box[4];
        DrawnBox(image, box);
        EXPECT_GE(box[0], places[i][0]) << "message " << i;
        EXPECT_GE(box[1], places[i][1]) << "message " << i;
        EXPECT_LE(box[2], places[i][0] + 127) << "message " << i;
        EXPECT_LE(box[3], places[i][1] + 31) << "message " << i;
        // The picture fills most of its box.
        EXPECT_GT(box[2] - box[0], 100) << "message " << i;
    }
}

TEST_F(StageMessageTest, MessageAsSeen)
{
    scenetest::CloseAll();
    ASSERT_TRUE(scenetest::OpenDevice(320, 240, nullptr));
    CDirectX9::ClearRecord clear = {0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF404040, 1.0f, 0};
    CDirectX9::SetClearParam(clear);
    new CStage01Message00();
    scenetest::RunFrames(99, false);
    EXPECT_EQ(qvtest::CompareWithReference(scenetest::RunFrameAndRead(), "game/ref/stage-message-00.png", 3), "");
}

TEST_F(StageMessageTest, FadedOutMessageDrawsNothing)
{
    new CStage01Message01();
    scenetest::RunFrames(239, false);
    int box[4];
    DrawnBox(scenetest::RunFrameAndRead(), box); // age 240
    EXPECT_EQ(box[2], -1);
}

TEST_F(StageMessageTest, MissingPictureThrowsAndLeavesNoMessage)
{
    ASSERT_FALSE(scenetest::EnterEmptyDir().empty());
    try {
        new CStage01Message02();
        FAIL() << "no failure thrown";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Failed CD3DSafeTexture::CreateTexture D3DXCreateTextureFromFile[.\\data\\graphics\\Stage01Message02.tga]");
    }
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
}

} // namespace
