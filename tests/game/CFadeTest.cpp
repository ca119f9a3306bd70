// Screen fades: their alpha over the life, their length, and that they cover the whole screen.
#include <gtest/gtest.h>

#include "SceneTestSupport.h"
#include "game/CFade.h"
#include "render/CDirectX9.h"
#include "render/Draw2D.h"

namespace {

class FadeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scenetest::EnterDataDir().empty());
        std::string error;
        ASSERT_TRUE(scenetest::OpenDevice(160, 120, &error)) << error;
    }
    void TearDown() override { scenetest::CloseAll(); }

    static void ClearTo(D3DCOLOR colour)
    {
        CDirectX9::ClearRecord clear = {0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f, 0};
        CDirectX9::SetClearParam(clear);
    }

    // Every pixel of the picture within 1 of grey `level`.
    static void ExpectUniformGrey(const qvtest::Image& image, int level)
    {
        ASSERT_EQ(image.width, 160);
        int wrong = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                for (int c = 0; c < 3; ++c)
                    if (std::abs(image.At(x, y)[c] - level) > 1) ++wrong;
        EXPECT_EQ(wrong, 0) << "pixels off grey " << level << ", e.g. top-left " << int(image.At(0, 0)[0])
                            << " bottom-right " << int(image.At(159, 119)[0]);
    }
};

TEST_F(FadeTest, AlphaRunsLinearlyAndIsTruncated)
{
    CFadeToBlack* toBlack = new CFadeToBlack(86);
    CFadeFromWhite* fromWhite = new CFadeFromWhite(64);
    toBlack->Age = 0;
    EXPECT_EQ(toBlack->Alpha(), 0);
    toBlack->Age = 43;
    EXPECT_EQ(toBlack->Alpha(), 127); // 127.5
    toBlack->Age = 85;
    EXPECT_EQ(toBlack->Alpha(), 252);
    fromWhite->Age = 0;
    EXPECT_EQ(fromWhite->Alpha(), 255);
    fromWhite->Age = 63;
    EXPECT_EQ(fromWhite->Alpha(), 3); // 255 - 251.01...
}

TEST_F(FadeTest, FadesAreOverlaysThatLiveTheirFrames)
{
    new CFadeFromBlack(120);
    new CFadeToWhite(103);
    for (CCharacter* c : CCharacterSystem::CharacterList) {
        EXPECT_EQ(c->SortKey, FLT_MIN);
        EXPECT_TRUE(c->IsTranslucent);
    }
    scenetest::RunFrames(102, false);
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 1);
    scenetest::RunFrame(false);
    EXPECT_EQ(scenetest::CountOf<CFadeToWhite>(), 0);
    scenetest::RunFrames(16, false);
    EXPECT_EQ(scenetest::CountOf<CFadeFromBlack>(), 1);
    scenetest::RunFrame(false);
    EXPECT_EQ(scenetest::CountOf<CFadeFromBlack>(), 0);
}

TEST_F(FadeTest, HalfwayFadesCoverTheWholeScreenEvenly)
{
    // Drawn after the update that made the age 43 of 86: alpha 127 of white over black.
    ClearTo(0xFF000000);
    new CFadeToWhite(86);
    scenetest::RunFrames(42);
    ExpectUniformGrey(scenetest::RunFrameAndRead(), 127);
    scenetest::CloseAll();

    // 255 - 127.5 of black over white leaves 128.
    ASSERT_TRUE(scenetest::OpenDevice(160, 120, nullptr));
    ClearTo(0xFFFFFFFF);
    new CFadeFromBlack(120);
    scenetest::RunFrames(59);
    ExpectUniformGrey(scenetest::RunFrameAndRead(), 128);
}

TEST_F(FadeTest, FadesAtTheirEndsAreOpaqueOrGone)
{
    ClearTo(0xFF000000);
    new CFadeFromWhite(10);
    // At age 0 nothing has been drawn yet; the first drawn frame is age 1.
    ExpectUniformGrey(scenetest::RunFrameAndRead(), 255 - 25);
    scenetest::RunFrames(8);
    ExpectUniformGrey(scenetest::RunFrameAndRead(), 0);
}

TEST_F(FadeTest, FadeDrawsOverTheSceneBeneath)
{
    // A fade made before another character still draws after it.
    struct CRedScreen : public CCharacter {
        bool Update() override { return true; }
        bool Draw() override
        {
            Vertex2D v[4] = {{0, 0, 0.5f, 1, 0xFFFF0000}, {640, 0, 0.5f, 1, 0xFFFF0000},
                             {640, 480, 0.5f, 1, 0xFFFF0000}, {0, 480, 0.5f, 1, 0xFFFF0000}};
            g_pDevice->SetFVF(Vertex2D::FVF);
            CD3DSafeTexture none;
            CDirectX9::SafeSetTexture(0, none);
            CDirectX9::SafeSetRenderState(D3DRS_ZENABLE, FALSE);
            DrawPrimitiveUP2DDiffuse(D3DPT_TRIANGLEFAN, 2, v, sizeof(Vertex2D));
            return true;
        }
    };
    ClearTo(0xFF000000);
    new CFadeToBlack(2);
    new CRedScreen();
    const qvtest::Image image = scenetest::RunFrameAndRead();
    ASSERT_EQ(image.width, 160);
    // Alpha 127 of black over red.
    EXPECT_NEAR(image.At(80, 60)[0], 128, 1);
    EXPECT_EQ(image.At(80, 60)[1], 0);
}

} // namespace
