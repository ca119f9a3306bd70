// Stencil shadows drawn headless through the game's own effect file: a box and a skinned,
// bending column on a lit ground, each casting its volume, then the darkening quad over every
// pixel whose stencil count is 1 or more. Two-sided stencil and two passes give one picture.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CD3DXObjectTestFixtures.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"
#include "support/D3D9Fixture.h"

namespace {

constexpr int kTolerance = 2;
const float kLight[3] = {-6.0f, 9.0f, -2.0f};

std::string TestName()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

const char kHeader[] = "xof 0303txt 0032\n";
const char kIdentity[] = "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;;";

std::string Material(float r, float g, float b)
{
    char text[160];
    std::snprintf(text, sizeof text, "Material { %.2f; %.2f; %.2f; 1.0;; 0.0; 0.0; 0.0; 0.0;; 0.0; 0.0; 0.0;; }\n", r,
                  g, b);
    return text;
}

// A square of ground at height 0, facing up.
std::string GroundText()
{
    return std::string(kHeader) + "Frame Ground {\n FrameTransformMatrix { " + kIdentity +
           " }\n Mesh {\n  4;\n  -30.0;0.0;-30.0;, -30.0;0.0;30.0;, 30.0;0.0;30.0;, 30.0;0.0;-30.0;;\n"
           "  2;\n  3;0,1,2;, 3;0,2,3;;\n"
           "  MeshNormals { 1; 0.0;1.0;0.0;; 2; 3;0,0,0;, 3;0,0,0;; }\n"
           "  MeshMaterialList { 1; 2; 0,0; " +
           Material(0.8f, 0.8f, 0.7f) + "  }\n }\n}\n";
}

// An axis-aligned box with its base on the ground, each side with its own four corners.
std::string BoxText(float x, float z, float half, float height)
{
    const float x0 = x - half, x1 = x + half, z0 = z - half, z1 = z + half;
    struct Side {
        float c[4][3];
        float n[3];
    };
    // Corners clockwise as seen from outside.
    const Side sides[6] = {
        {{{x0, 0, z0}, {x0, height, z0}, {x1, height, z0}, {x1, 0, z0}}, {0, 0, -1}},
        {{{x1, 0, z0}, {x1, height, z0}, {x1, height, z1}, {x1, 0, z1}}, {1, 0, 0}},
        {{{x1, 0, z1}, {x1, height, z1}, {x0, height, z1}, {x0, 0, z1}}, {0, 0, 1}},
        {{{x0, 0, z1}, {x0, height, z1}, {x0, height, z0}, {x0, 0, z0}}, {-1, 0, 0}},
        {{{x0, height, z0}, {x0, height, z1}, {x1, height, z1}, {x1, height, z0}}, {0, 1, 0}},
        {{{x0, 0, z1}, {x0, 0, z0}, {x1, 0, z0}, {x1, 0, z1}}, {0, -1, 0}},
    };
    std::string positions, normals, faces, normalFaces;
    char buffer[160];
    for (int s = 0; s < 6; ++s) {
        for (int k = 0; k < 4; ++k) {
            std::snprintf(buffer, sizeof buffer, "%s%.3f;%.3f;%.3f;", s + k ? ", " : "", sides[s].c[k][0],
                          sides[s].c[k][1], sides[s].c[k][2]);
            positions += buffer;
        }
        std::snprintf(buffer, sizeof buffer, "%s%.1f;%.1f;%.1f;", s ? ", " : "", sides[s].n[0], sides[s].n[1],
                      sides[s].n[2]);
        normals += buffer;
        const int b = s * 4;
        std::snprintf(buffer, sizeof buffer, "%s3;%d,%d,%d;, 3;%d,%d,%d;", s ? ", " : "", b, b + 1, b + 2, b, b + 2,
                      b + 3);
        faces += buffer;
        std::snprintf(buffer, sizeof buffer, "%s3;%d,%d,%d;, 3;%d,%d,%d;", s ? ", " : "", s, s, s, s, s, s);
        normalFaces += buffer;
    }
    return std::string(kHeader) + "Frame Box {\n FrameTransformMatrix { " + kIdentity + " }\n Mesh {\n  24;\n  " +
           positions + ";\n  12;\n  " + faces + ";\n  MeshNormals { 6; " + normals + "; 12; " + normalFaces +
           "; }\n  MeshMaterialList { 1; 12; 0,0,0,0,0,0,0,0,0,0,0,0; " + Material(0.3f, 0.5f, 0.9f) + "  }\n }\n}\n";
}

// A closed square column two units high, skinned to "Bone0" (base) and "Bone1" (one unit up,
// the middle ring shared half and half); "Bend" turns Bone1 a quarter turn about z in a second.
std::string SkinnedColumnText()
{
    return std::string(kHeader) + R"(AnimTicksPerSecond { 100; }
Frame Root {
 FrameTransformMatrix { )" + kIdentity + R"( }
 Frame Bone0 {
  FrameTransformMatrix { )" + kIdentity + R"( }
  Frame Bone1 {
   FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,1.0,0.0,1.0;; }
  }
 }
 Mesh Column {
  12;
  -0.3;0.0;-0.3;, 0.3;0.0;-0.3;, 0.3;0.0;0.3;, -0.3;0.0;0.3;,
  -0.3;1.0;-0.3;, 0.3;1.0;-0.3;, 0.3;1.0;0.3;, -0.3;1.0;0.3;,
  -0.3;2.0;-0.3;, 0.3;2.0;-0.3;, 0.3;2.0;0.3;, -0.3;2.0;0.3;;
  10;
  4;0,4,5,1;, 4;1,5,6,2;, 4;2,6,7,3;, 4;3,7,4,0;,
  4;4,8,9,5;, 4;5,9,10,6;, 4;6,10,11,7;, 4;7,11,8,4;,
  4;0,1,2,3;, 4;8,11,10,9;;
  MeshNormals {
   6;
   0.0;0.0;-1.0;, 1.0;0.0;0.0;, 0.0;0.0;1.0;, -1.0;0.0;0.0;, 0.0;-1.0;0.0;, 0.0;1.0;0.0;;
   10;
   4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;,
   4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;,
   4;4,4,4,4;, 4;5,5,5,5;;
  }
  MeshMaterialList { 1; 10; 0,0,0,0,0,0,0,0,0,0; )" +
           Material(0.9f, 0.3f, 0.2f) + R"( }
  XSkinMeshHeader { 2; 4; 2; }
  SkinWeights {
   "Bone0";
   8;
   0,1,2,3,4,5,6,7;
   1.0,1.0,1.0,1.0,0.5,0.5,0.5,0.5;
   )" + kIdentity + R"(
  }
  SkinWeights {
   "Bone1";
   8;
   4,5,6,7,8,9,10,11;
   0.5,0.5,0.5,0.5,1.0,1.0,1.0,1.0;
   1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,-1.0,0.0,1.0;;
  }
 }
}
AnimationSet Bend {
 Animation {
  { Bone1 }
  AnimationKey {
   0;
   2;
   0;4;1.0,0.0,0.0,0.0;;,
   100;4;0.70710678,0.0,0.0,-0.70710678;;;
  }
  AnimationKey {
   2;
   1;
   0;3;0.0,1.0,0.0;;;
  }
 }
}
)";
}

class ShadowPicture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(env.Ready());
        // The game's own effect file, as the data generator writes it.
        const std::vector<uint8_t> effect = qvtest::ReadFileBytes(qvtest::RunDir() + "/data/shader/shadowvolume.fx");
        ASSERT_FALSE(effect.empty());
        qvtest::WriteFileBytes("data/shader/shadowvolume.fx", effect);

        D3DXMATRIX view;
        const D3DXVECTOR3 eye(0.6f, 3.6f, -4.2f), at(0.4f, 0.4f, 0.8f), up(0.0f, 1.0f, 0.0f);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        CDirectX9::SafeSetTransform(D3DTS_VIEW, view);
        D3DLIGHT9 light = {};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
        D3DXVECTOR3 direction(-kLight[0], -kLight[1], -kLight[2]);
        D3DXVec3Normalize(&direction, &direction);
        light.Direction = direction;
        g_pDevice->SetLight(0, &light);
        g_pDevice->LightEnable(0, TRUE);
    }

    // The darkening quad over the whole back buffer where the stencil count is 1 or more.
    static void Darken()
    {
        struct Vertex2D {
            float x, y, z, rhw;
            D3DCOLOR color;
        } quad[4] = {{0, 0, 0, 1, 0x5C000000}, {160, 0, 0, 1, 0x5C000000}, {160, 120, 0, 1, 0x5C000000},
                     {0, 120, 0, 1, 0x5C000000}};
        g_pDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        g_pDevice->SetTexture(0, nullptr);
        CDirectX9::SafeSetRenderState(D3DRS_ZENABLE, FALSE);
        CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILENABLE, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILREF, 1);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILFUNC, D3DCMP_LESSEQUAL);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        g_pDevice->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof quad[0]);
        CDirectX9::SafeSetRenderState(D3DRS_ZENABLE, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILENABLE, FALSE);
    }

    // The scene with the column posed at `time`; the shadow models are the drawn ones a little
    // thinner, as the game's shadow model is its own, so that no cap lies on a drawn face.
    qvtest::Image Draw(double time)
    {
        CD3DXObject ground, box, boxShadow, column, columnShadow;
        ground.Load(modelfixture::Write("ground.x", GroundText()).c_str());
        box.Load(modelfixture::Write("box.x", BoxText(-1.2f, 0.0f, 0.6f, 1.2f)).c_str());
        boxShadow.Load("box.x");
        column.Load(modelfixture::Write("column.x", SkinnedColumnText()).c_str());
        columnShadow.Load("column.x");
        EXPECT_TRUE(boxShadow.GenerateShadowVolume());
        EXPECT_TRUE(columnShadow.GenerateShadowVolume());
        D3DXMATRIX place, thinner;
        D3DXMatrixTranslation(&place, 1.2f, 0.0f, 0.5f);
        D3DXMatrixScaling(&thinner, 0.97f, 0.99f, 0.97f);
        D3DXMatrixMultiply(columnShadow.GetWorldMatrix(), &thinner, &place);
        *column.GetWorldMatrix() = place;
        D3DXMATRIX boxScale, toCentre, back;
        D3DXMatrixTranslation(&toCentre, 1.2f, 0.0f, 0.0f);
        D3DXMatrixScaling(&boxScale, 0.97f, 0.99f, 0.97f);
        D3DXMatrixTranslation(&back, -1.2f, 0.0f, 0.0f);
        D3DXMatrixMultiply(boxShadow.GetWorldMatrix(), &toCentre, &boxScale);
        D3DXMatrixMultiply(boxShadow.GetWorldMatrix(), boxShadow.GetWorldMatrix(), &back);
        for (CD3DXObject* model : {&ground, &box, &boxShadow, &column, &columnShadow}) {
            model->FrameMove();
            model->SetTime(time);
            model->FrameMove();
        }
        g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF406080, 1.0f, 0);
        g_pDevice->BeginScene();
        CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        ground.Render();
        box.Render();
        column.Render();
        EXPECT_TRUE(boxShadow.RenderShadowVolume(kLight[0], kLight[1], kLight[2]));
        EXPECT_TRUE(columnShadow.RenderShadowVolume(kLight[0], kLight[1], kLight[2]));
        // The states that the volume restores, as the device holds them.
        DWORD value = 0;
        g_pDevice->GetRenderState(D3DRS_STENCILENABLE, &value);
        EXPECT_EQ(value, static_cast<DWORD>(FALSE));
        g_pDevice->GetRenderState(D3DRS_COLORWRITEENABLE, &value);
        EXPECT_EQ(value, 0xFu);
        g_pDevice->GetRenderState(D3DRS_ZWRITEENABLE, &value);
        EXPECT_EQ(value, static_cast<DWORD>(TRUE));
        g_pDevice->GetRenderState(D3DRS_CULLMODE, &value);
        EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CCW));
        Darken();
        g_pDevice->EndScene();
        return qvtest::ReadBackBuffer(g_pDevice);
    }

    modelfixture::Surroundings env{TestName()};
};

int DifferentPixels(const qvtest::Image& a, const qvtest::Image& b)
{
    int count = 0;
    for (size_t i = 0; i + 3 < a.rgba.size() && i + 3 < b.rgba.size(); i += 4)
        count += std::memcmp(&a.rgba[i], &b.rgba[i], 3) != 0;
    return count;
}

TEST_F(ShadowPicture, ABoxAndABendingColumnCastTheirShadows)
{
    const qvtest::Image upright = Draw(0.0);
    EXPECT_EQ(qvtest::CompareWithReference(upright, "render/ref/shadow_upright.png", kTolerance), "");
    const qvtest::Image bent = Draw(0.8);
    EXPECT_EQ(qvtest::CompareWithReference(bent, "render/ref/shadow_bent.png", kTolerance), "");
    // The column's shadow follows its pose.
    EXPECT_GT(DifferentPixels(upright, bent), 100);
}

TEST_F(ShadowPicture, TwoPassesGiveTheTwoSidedPicture)
{
    const qvtest::Image twoSided = Draw(0.8);
    qv::test::D3D9Faults faults;
    faults.noTwoSidedStencil = true;
    qv::test::SetD3D9Faults(&faults);
    const qvtest::Image twoPasses = Draw(0.8);
    qv::test::SetD3D9Faults(nullptr);
    EXPECT_EQ(DifferentPixels(twoSided, twoPasses), 0);
}

} // namespace
