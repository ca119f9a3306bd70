// Mesh draw requests: translucency, depth writes, sorting by view depth in the character
// system's draw pass, and requests that wait for a drawn frame.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "RenderTestDevice.h"
#include "app/CCharacterSystem.h"
#include "app/CGameConfig.h"
#include "render/CDirectX9.h"
#include "render/CMeshDrawRequest.h"

namespace {

// A 2x2 square facing -z, coloured only by its material's emissive colour.
std::string SquareText(float r, float g, float b)
{
    char emissive[64];
    std::snprintf(emissive, sizeof emissive, "%.1f;%.1f;%.1f;;", r, g, b);
    return std::string("xof 0303txt 0032\n"
                       "Frame Square {\n"
                       " FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }\n"
                       " Mesh {\n"
                       "  4;\n"
                       "  -1.0;-1.0;0.0;, -1.0;1.0;0.0;, 1.0;-1.0;0.0;, 1.0;1.0;0.0;;\n"
                       "  2;\n"
                       "  3;0,1,2;, 3;2,1,3;;\n"
                       "  MeshNormals { 4; 0.0;0.0;-1.0;, 0.0;0.0;-1.0;, 0.0;0.0;-1.0;, 0.0;0.0;-1.0;;\n"
                       "   2; 3;0,1,2;, 3;2,1,3;; }\n"
                       "  MeshMaterialList { 1; 2; 0, 0;; Material { 0.0;0.0;0.0;1.0;; 0.0; 0.0;0.0;0.0;; ") +
           emissive + " } }\n }\n}\n";
}

class CMeshDrawRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(rendertest::EnterTempDir("CMeshDrawRequest").empty());
        std::filesystem::create_directories("data/shader");
        qvtest::WriteFileText("data/shader/shadowvolume.fx", "technique TShader { pass P0 { } }\n");
        std::string error;
        ASSERT_TRUE(rendertest::OpenDevice(64, 48, &error)) << error;
        // Looking down +z from the origin.
        D3DXVECTOR3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
        D3DXMATRIX view;
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        g_DirectX9.SafeSetTransform(D3DTS_VIEW, view);
    }
    void TearDown() override
    {
        CCharacterSystem().DeleteAll();
        models_.clear();
        rendertest::CloseDevice();
    }

    boost::shared_ptr<CD3DXObject> Square(float r, float g, float b, float z)
    {
        const std::string name = "square" + std::to_string(models_.size()) + ".x";
        qvtest::WriteFileText(name, SquareText(r, g, b));
        auto model = boost::make_shared<CD3DXObject>();
        model->Load(name.c_str());
        D3DXMatrixTranslation(model->GetWorldMatrix(), 0, 0, z);
        models_.push_back(model);
        return model;
    }

    static DWORD RenderState(D3DRENDERSTATETYPE state)
    {
        DWORD value = 0;
        g_pDevice->GetRenderState(state, &value);
        return value;
    }

    std::vector<boost::shared_ptr<CD3DXObject>> models_;
};

} // namespace

TEST_F(CMeshDrawRequestTest, AnIdleRequestDrawsNothing)
{
    auto* request = new CMeshDrawRequest();
    EXPECT_FALSE(request->IsRequested);
    EXPECT_TRUE(request->Update());
    EXPECT_FALSE(request->Draw());
    request->Request(boost::shared_ptr<CD3DXObject>(), 1.0f, nullptr);
    EXPECT_FALSE(request->Draw());
}

TEST_F(CMeshDrawRequestTest, TranslucentRequestsWriteNoDepthAndOpaqueOnesDo)
{
    auto model = Square(1, 0, 0, 10);
    auto* request = new CMeshDrawRequest();
    request->Request(model, 0.7f, nullptr);
    EXPECT_TRUE(request->IsTranslucent);
    EXPECT_FLOAT_EQ(10.0f, request->SortKey);
    EXPECT_EQ(3, model.use_count()); // the test, its list and the request
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    EXPECT_TRUE(request->Draw());
    EXPECT_EQ(static_cast<DWORD>(FALSE), RenderState(D3DRS_ZWRITEENABLE));
    EXPECT_EQ(static_cast<DWORD>(D3DCULL_NONE), RenderState(D3DRS_CULLMODE));
    EXPECT_FALSE(request->IsRequested);
    const qvtest::Image translucent = rendertest::EndFrameAndRead();
    EXPECT_NEAR(179, translucent.At(32, 24)[0], 2); // 0.7 of full red over black

    request->Request(model, 1.0f, nullptr);
    EXPECT_FALSE(request->IsTranslucent);
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    EXPECT_TRUE(request->Draw());
    EXPECT_EQ(static_cast<DWORD>(TRUE), RenderState(D3DRS_ZWRITEENABLE));
    const qvtest::Image opaque = rendertest::EndFrameAndRead();
    EXPECT_NEAR(255, opaque.At(32, 24)[0], 2);

    // 0.999 itself is opaque; a NaN too.
    request->Request(model, 0.999f, nullptr);
    EXPECT_FALSE(request->IsTranslucent);
    request->Request(model, std::nanf(""), nullptr);
    EXPECT_FALSE(request->IsTranslucent);
}

TEST_F(CMeshDrawRequestTest, TranslucentRequestsAreDrawnFarToNear)
{
    // Constructed near first; the draw pass must still draw the far red square first, so the
    // near blue one ends on top: blue x 0.5 + (red x 0.5) x 0.5.
    auto nearModel = Square(0, 0, 1, 5);
    auto farModel = Square(1, 0, 0, 10);
    auto* nearRequest = new CMeshDrawRequest();
    auto* farRequest = new CMeshDrawRequest();
    nearRequest->Request(nearModel, 0.5f, nullptr);
    farRequest->Request(farModel, 0.5f, nullptr);
    EXPECT_GT(farRequest->SortKey, nearRequest->SortKey);
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    CCharacterSystem().DrawAll();
    const qvtest::Image image = rendertest::EndFrameAndRead();
    const uint8_t* centre = image.At(32, 24);
    EXPECT_NEAR(64, centre[0], 2);
    EXPECT_NEAR(0, centre[1], 2);
    EXPECT_NEAR(128, centre[2], 2);
}

TEST_F(CMeshDrawRequestTest, ARequestWithoutADrawnFrameWaitsWithItsMatrix)
{
    auto model = Square(0, 1, 0, 10);
    auto* request = new CMeshDrawRequest();
    request->Request(model, 1.0f, nullptr);
    const D3DXMATRIX requested = *model->GetWorldMatrix();
    // The frame is not drawn; the model moves on without a new request.
    D3DXMatrixTranslation(model->GetWorldMatrix(), 3, 0, 20);
    EXPECT_TRUE(request->IsRequested);
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    EXPECT_TRUE(request->Draw());
    const qvtest::Image image = rendertest::EndFrameAndRead();
    EXPECT_EQ(requested, *model->GetWorldMatrix());
    EXPECT_NEAR(255, image.At(32, 24)[1], 2); // drawn where it was requested
}

TEST_F(CMeshDrawRequestTest, AnOverrideTextureIsUsedForOneDrawOnly)
{
    auto model = Square(1, 1, 1, 10);
    auto* request = new CMeshDrawRequest();
    CD3DSafeTexture none;
    request->Request(model, 1.0f, &none);
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    EXPECT_TRUE(request->Draw());
    rendertest::EndFrameAndRead();
    EXPECT_EQ(nullptr, model->OverrideTexture);
    // The model is shared until the request dies.
    const long held = model.use_count();
    CCharacterSystem().DeleteAll();
    EXPECT_EQ(held - 1, model.use_count());
}

TEST_F(CMeshDrawRequestTest, WhilePausedWhatTheLastPassDrewIsDrawnAgain)
{
    // Nothing renews the requests while the game is paused; the paused picture must still
    // show what the last pass drew, and nothing that it did not draw.
    auto model = Square(0, 0, 1, 10);
    auto* drawn = new CMeshDrawRequest();
    auto* idle = new CMeshDrawRequest();
    CGameConfig& config = CGameConfig::GetInstance();
    config.IsPaused = false;
    drawn->Request(model, 1.0f, nullptr);
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    EXPECT_TRUE(drawn->Draw());
    EXPECT_FALSE(idle->Draw());
    rendertest::EndFrameAndRead();

    config.IsPaused = true;
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
        EXPECT_TRUE(drawn->Draw()) << frame;
        EXPECT_FALSE(idle->Draw()) << frame;
        const qvtest::Image image = rendertest::EndFrameAndRead();
        EXPECT_NEAR(255, image.At(32, 24)[2], 2) << frame;
    }

    // Running again, a request that is not renewed is not drawn.
    config.IsPaused = false;
    EXPECT_FALSE(drawn->Draw());
    config.IsPaused = true;
    EXPECT_FALSE(drawn->Draw());
    config.IsPaused = false;
}
