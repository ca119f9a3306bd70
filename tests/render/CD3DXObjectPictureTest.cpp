// The skinned column drawn headless at three animation times, from its text and binary forms.
#include <string>

#include <gtest/gtest.h>

#include "CD3DXObjectTestFixtures.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"
#include "support/D3D9Fixture.h"
#include "tests/platform/xfile/XFileFixtures.h"

namespace {

constexpr int kTolerance = 2;

class ModelPicture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(env.Ready());
        // Side view of the column, lit from the upper left front.
        D3DXMATRIX view;
        const D3DXVECTOR3 eye(0.0f, 1.2f, -4.5f), at(0.0f, 1.2f, 0.0f), up(0.0f, 1.0f, 0.0f);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        CDirectX9::SafeSetTransform(D3DTS_VIEW, view);
        D3DLIGHT9 light = {};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
        D3DXVECTOR3 direction(0.6f, -0.5f, 1.0f);
        D3DXVec3Normalize(&direction, &direction);
        light.Direction = direction;
        g_pDevice->SetLight(0, &light);
        g_pDevice->LightEnable(0, TRUE);
    }

    // The model posed at `time` on its first animation and drawn on a dark grey ground.
    qvtest::Image Draw(CD3DXObject& model, double time)
    {
        model.FrameMove();
        model.SetTime(time);
        model.FrameMove();
        g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF202020, 1.0f, 0);
        g_pDevice->BeginScene();
        model.Render();
        g_pDevice->EndScene();
        return qvtest::ReadBackBuffer(g_pDevice);
    }

    modelfixture::Surroundings env{modelfixture::TestName()};
};

TEST_F(ModelPicture, TheSkinnedColumnBendsWithItsAnimation)
{
    CD3DXObject model;
    model.Load(modelfixture::Write("column.x", modelfixture::ColumnText()).c_str());
    const struct {
        double time;
        const char* reference;
    } frames[] = {{0.0, "model_column_t0"}, {0.4, "model_column_t40"}, {0.8, "model_column_t80"}};
    for (const auto& f : frames) {
        const qvtest::Image image = Draw(model, f.time);
        EXPECT_EQ(qvtest::CompareWithReference(image, std::string("render/ref/") + f.reference + ".png", kTolerance),
                  "")
            << f.time;
    }
}

TEST_F(ModelPicture, TheBinaryColumnDrawsLikeTheTextOne)
{
    const std::string text = modelfixture::ColumnText();
    qvtest::WriteFileBytes("column_bin.x", xfixture::TextToBinary(text));
    CD3DXObject fromText, fromBinary;
    fromText.Load(modelfixture::Write("column.x", text).c_str());
    fromBinary.Load("column_bin.x");
    for (double time : {0.0, 0.4, 0.8}) {
        const qvtest::Image a = Draw(fromText, time);
        const qvtest::Image b = Draw(fromBinary, time);
        ASSERT_EQ(a.width, 160);
        EXPECT_TRUE(a.rgba == b.rgba) << time;
    }
}

TEST_F(ModelPicture, AnOverrideTextureReplacesEveryMaterialsTexture)
{
    // Black texture: with texture x diffuse every subset turns black where it is drawn.
    std::vector<uint8_t> tga(18 + 16, 0);
    tga[2] = 2;
    tga[12] = tga[14] = 2;
    tga[16] = 32;
    tga[17] = 8;
    for (size_t i = 18; i < tga.size(); i += 4) tga[i + 3] = 0xFF;
    qvtest::WriteFileBytes("black.tga", tga);
    CD3DSafeTexture black;
    CDirectX9::SafeCreateTexture("black.tga", black);

    CD3DXObject model;
    model.Load(modelfixture::Write("column.x", modelfixture::ColumnText()).c_str());
    const qvtest::Image plain = Draw(model, 0.0);
    model.OverrideTexture = &black;
    const qvtest::Image covered = Draw(model, 0.0);
    model.OverrideTexture = nullptr;
    // Every pixel the column covers is dark now, both halves, and nothing else changed.
    int columnPixels = 0;
    for (int y = 0; y < plain.height; ++y) {
        for (int x = 0; x < plain.width; ++x) {
            const uint8_t* p = plain.At(x, y);
            const uint8_t* q = covered.At(x, y);
            if (p[0] == 0x20 && p[1] == 0x20 && p[2] == 0x20) {
                EXPECT_TRUE(q[0] == 0x20 && q[1] == 0x20 && q[2] == 0x20) << x << "," << y;
                continue;
            }
            ++columnPixels;
            EXPECT_LT(q[0] + q[1] + q[2], 8) << x << "," << y;
        }
    }
    EXPECT_GT(columnPixels, 500);
    CDirectX9::SafeReleaseTexture(black);
}

} // namespace
