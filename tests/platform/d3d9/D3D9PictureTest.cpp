// Pictures drawn by the Direct3D layer, compared with references and, where a Direct3D fact
// gives the value, checked pixel by pixel: lighting, culling, blending, alpha test, exact
// pre-transformed rectangles, two-sided stencil and wireframe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "support/D3D9Fixture.h"

namespace {

using qvtest::Image;

constexpr UINT kW = 160;
constexpr UINT kH = 120;
constexpr int kTolerance = 2;

struct LitVertex { // XYZ | NORMAL | DIFFUSE
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;

struct ColorVertex { // XYZ | DIFFUSE
    float x, y, z;
    D3DCOLOR color;
};
constexpr DWORD kColorFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

struct ScreenVertex { // XYZRHW | DIFFUSE
    float x, y, z, rhw;
    D3DCOLOR color;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

D3DMATRIX Identity()
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// Left-handed perspective projection (Direct3D's, depth 0..1).
D3DMATRIX Perspective(float fovY, float aspect, float zn, float zf)
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    const float yScale = 1.0f / std::tan(fovY / 2);
    m._11 = yScale / aspect;
    m._22 = yScale;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

// A pre-transformed rectangle as a strip of two triangles.
void DrawScreenRect(IDirect3DDevice9* device, float x0, float y0, float x1, float y1, D3DCOLOR color, float z = 0.0f)
{
    const ScreenVertex v[4] = {{x0, y0, z, 1.0f, color}, {x1, y0, z, 1.0f, color}, {x0, y1, z, 1.0f, color},
                               {x1, y1, z, 1.0f, color}};
    device->SetFVF(kScreenFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ScreenVertex)), D3D_OK);
}

void ExpectPixel(const Image& image, int x, int y, int r, int g, int b, int tolerance = kTolerance)
{
    const uint8_t* p = image.At(x, y);
    EXPECT_NEAR(p[0], r, tolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(p[1], g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(p[2], b, tolerance) << "blue at " << x << "," << y;
}

void ExpectReference(const Image& image, const std::string& name)
{
    EXPECT_EQ(qvtest::CompareWithReference(image, "platform/d3d9/ref/" + name + ".png", kTolerance), "");
}

class D3D9Picture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(f.Create(kW, kH));
        device = f.device;
    }
    void Begin(D3DCOLOR clear = 0xFF000000)
    {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, clear, 1.0f, 0),
                  D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
    }
    Image End()
    {
        EXPECT_EQ(device->EndScene(), D3D_OK);
        return qvtest::ReadBackBuffer(device);
    }

    qvtest::DeviceFixture f;
    IDirect3DDevice9* device = nullptr;
};

// A square facing the camera, lit by a directional light that travels along +z (into the
// screen): N.L = 1, so diffuse = vertex colour x light colour; plus global ambient x material
// ambient.
void DrawLitScene(IDirect3DDevice9* device)
{
    const D3DMATRIX identity = Identity();
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    const D3DMATRIX projection = Perspective(0.785398185f, static_cast<float>(kW) / kH, 1.0f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &projection);

    D3DMATERIAL9 material;
    std::memset(&material, 0, sizeof material);
    material.Diffuse = D3DCOLORVALUE{0.0f, 1.0f, 0.0f, 1.0f}; // replaced by the vertex colour
    material.Ambient = D3DCOLORVALUE{0.0f, 0.0f, 1.0f, 1.0f};
    device->SetMaterial(&material);
    D3DLIGHT9 light;
    std::memset(&light, 0, sizeof light);
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{0.5f, 0.5f, 0.5f, 1.0f};
    light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0x00404040);

    // Left half red, right half white; both clockwise on the screen.
    const float z = 5.0f;
    const LitVertex v[12] = {
        {-2, -1.5f, z, 0, 0, -1, 0xFFFF0000}, {-2, 1.5f, z, 0, 0, -1, 0xFFFF0000}, {0, 1.5f, z, 0, 0, -1, 0xFFFF0000},
        {-2, -1.5f, z, 0, 0, -1, 0xFFFF0000}, {0, 1.5f, z, 0, 0, -1, 0xFFFF0000},  {0, -1.5f, z, 0, 0, -1, 0xFFFF0000},
        {0, -1.5f, z, 0, 0, -1, 0xFFFFFFFF},  {0, 1.5f, z, 0, 0, -1, 0xFFFFFFFF},  {2, 1.5f, z, 0, 0, -1, 0xFFFFFFFF},
        {0, -1.5f, z, 0, 0, -1, 0xFFFFFFFF},  {2, 1.5f, z, 0, 0, -1, 0xFFFFFFFF},  {2, -1.5f, z, 0, 0, -1, 0xFFFFFFFF},
    };
    device->SetFVF(kLitFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 4, v, sizeof(LitVertex)), D3D_OK);
}

TEST_F(D3D9Picture, LitColouredTrianglesTakeTheVertexColourAsDiffuseMaterial)
{
    Begin();
    DrawLitScene(device);
    const Image image = End();
    // Red x 0.5 + ambient 0.25 x blue; white x 0.5 + 0.25 blue.
    ExpectPixel(image, 60, 60, 128, 0, 64);
    ExpectPixel(image, 100, 60, 128, 128, 191);
    ExpectPixel(image, 5, 5, 0, 0, 0);
    ExpectReference(image, "lit_triangles");
}

TEST_F(D3D9Picture, AmbientAndEmissiveAloneLightAVertexWithoutNormal)
{
    Begin();
    D3DMATERIAL9 material;
    std::memset(&material, 0, sizeof material);
    material.Ambient = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    material.Emissive = D3DCOLORVALUE{0.0f, 0.25f, 0.0f, 1.0f};
    device->SetMaterial(&material);
    D3DLIGHT9 light;
    std::memset(&light, 0, sizeof light);
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    device->SetLight(3, &light);
    device->LightEnable(3, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0x00800000);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // Identity transforms: positions are clip coordinates. The vertex colour is the diffuse
    // material, which the missing normal leaves unlit.
    const ColorVertex v[3] = {{-1, -1, 0.5f, 0xFFFFFFFF}, {-1, 1, 0.5f, 0xFFFFFFFF}, {1, 1, 0.5f, 0xFFFFFFFF}};
    device->SetFVF(kColorFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ColorVertex)), D3D_OK);
    const Image image = End();
    ExpectPixel(image, 20, 20, 128, 64, 0);
}

// Two triangles in clip space: the left one runs clockwise on the screen, the right one
// counter-clockwise.
void DrawWindingPair(IDirect3DDevice9* device)
{
    const ColorVertex v[6] = {
        {-0.9f, -0.6f, 0.5f, 0xFF00FF00}, {-0.5f, 0.6f, 0.5f, 0xFF00FF00}, {-0.1f, -0.6f, 0.5f, 0xFF00FF00},
        {0.1f, -0.6f, 0.5f, 0xFFFF00FF},  {0.5f, 0.6f, 0.5f, 0xFFFF00FF},  {0.9f, -0.6f, 0.5f, 0xFFFF00FF},
    };
    // Second triangle reversed: (0.9,-0.6) -> (0.5,0.6) -> (0.1,-0.6) is counter-clockwise.
    const ColorVertex ccw[3] = {v[5], v[4], v[3]};
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetFVF(kColorFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ColorVertex)), D3D_OK);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(ColorVertex)), D3D_OK);
}

TEST_F(D3D9Picture, CullCounterClockwiseDrawsOnlyTheClockwiseTriangle)
{
    Begin();
    DWORD cull = 0;
    device->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_CCW));
    DrawWindingPair(device);
    const Image image = End();
    ExpectPixel(image, 40, 70, 0, 255, 0);
    ExpectPixel(image, 120, 70, 0, 0, 0);
    ExpectReference(image, "cull_ccw");
}

TEST_F(D3D9Picture, CullClockwiseDrawsOnlyTheCounterClockwiseTriangle)
{
    Begin();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    DrawWindingPair(device);
    const Image image = End();
    ExpectPixel(image, 40, 70, 0, 0, 0);
    ExpectPixel(image, 120, 70, 255, 0, 255);
    ExpectReference(image, "cull_cw");
}

TEST_F(D3D9Picture, AlphaBlendingMixesBySourceAlpha)
{
    Begin(0xFF0000FF);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    DrawScreenRect(device, 20, 20, 140, 100, 0x80FF0000);
    const Image image = End();
    // 128/255 of red over 127/255 of blue.
    ExpectPixel(image, 80, 60, 128, 0, 127);
    ExpectPixel(image, 5, 5, 0, 0, 255);
    ExpectReference(image, "alpha_blend");
}

TEST_F(D3D9Picture, AlphaTestComparesWithTheReferenceOn0To255)
{
    Begin();
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device->SetRenderState(D3DRS_ALPHAREF, 0x80);
    DrawScreenRect(device, 10, 10, 70, 110, 0x80FFFFFF);  // 0x80 > 0x80 fails
    DrawScreenRect(device, 90, 10, 150, 110, 0x81FFFF00); // 0x81 passes
    const Image image = End();
    ExpectPixel(image, 40, 60, 0, 0, 0);
    ExpectPixel(image, 120, 60, 255, 255, 0);
    ExpectReference(image, "alpha_test");
}

// Direct3D 9 puts pixel centres on whole coordinates: a rectangle from (10, 20) to (50, 60)
// covers columns 10..49 and rows 20..59, and so does one from (9.5, 19.5) to (49.5, 59.5).
TEST_F(D3D9Picture, PreTransformedRectanglesCoverExactPixels)
{
    Begin();
    DrawScreenRect(device, 10, 20, 50, 60, 0xFFFFFFFF);
    DrawScreenRect(device, 89.5f, 19.5f, 129.5f, 59.5f, 0xFFFF0000);
    const Image image = End();
    auto covered = [&](int x0, int y0, int x1, int y1, int r, int g, int b) {
        for (int y = 0; y < static_cast<int>(kH); ++y)
            for (int x = 0; x < static_cast<int>(kW); ++x) {
                const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
                const uint8_t* p = image.At(x, y);
                const bool match = p[0] == r && p[1] == g && p[2] == b;
                if (inside && !match)
                    ADD_FAILURE() << "pixel " << x << "," << y << " not covered";
                if (!inside && match)
                    ADD_FAILURE() << "pixel " << x << "," << y << " covered";
            }
    };
    covered(10, 20, 50, 60, 255, 255, 255);
    covered(90, 20, 130, 60, 255, 0, 0);
    ExpectReference(image, "rhw_rectangles");
}

// Two-sided stencil: counter-clockwise faces in front of the floor increment, clockwise ones
// decrement, depth failures keep; a quad then darkens where the stencil is 1 or more.
TEST_F(D3D9Picture, TwoSidedStencilMarksWhereOnlyTheCounterClockwiseFaceIsInFront)
{
    Begin(0xFF808080);
    D3DCAPS9 caps;
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    ASSERT_TRUE(caps.StencilCaps & D3DSTENCILCAPS_TWOSIDED);
    // The floor: depth 0.5 everywhere, drawn in white.
    DrawScreenRect(device, 0, 0, kW, kH, 0xFFFFFFFF, 0.5f);

    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_DECR);
    device->SetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_INCR);
    device->SetFVF(kScreenFvf);
    // Counter-clockwise on the screen (y down: up, then left) in front: columns 10..69.
    const ScreenVertex front[6] = {{10, 10, 0.2f, 1, 0}, {70, 110, 0.2f, 1, 0}, {70, 10, 0.2f, 1, 0},
                                   {10, 10, 0.2f, 1, 0}, {10, 110, 0.2f, 1, 0}, {70, 110, 0.2f, 1, 0}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, front, sizeof(ScreenVertex)), D3D_OK);
    // Clockwise in front over columns 40..69: back to zero there.
    const ScreenVertex cancel[6] = {{40, 10, 0.2f, 1, 0}, {70, 10, 0.2f, 1, 0}, {70, 110, 0.2f, 1, 0},
                                    {40, 10, 0.2f, 1, 0}, {70, 110, 0.2f, 1, 0}, {40, 110, 0.2f, 1, 0}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, cancel, sizeof(ScreenVertex)), D3D_OK);
    // Counter-clockwise behind the floor, columns 90..149: the depth test fails, nothing changes.
    const ScreenVertex behind[6] = {{90, 10, 0.8f, 1, 0}, {150, 110, 0.8f, 1, 0}, {150, 10, 0.8f, 1, 0},
                                    {90, 10, 0.8f, 1, 0}, {90, 110, 0.8f, 1, 0}, {150, 110, 0.8f, 1, 0}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, behind, sizeof(ScreenVertex)), D3D_OK);

    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
    device->SetRenderState(D3DRS_STENCILREF, 1);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    DrawScreenRect(device, 0, 0, kW, kH, 0x80000000);
    const Image image = End();
    ExpectPixel(image, 25, 60, 127, 127, 127);  // stencil 1: darkened
    ExpectPixel(image, 55, 60, 255, 255, 255);  // incremented and decremented: 0
    ExpectPixel(image, 120, 60, 255, 255, 255); // behind the floor
    ExpectPixel(image, 80, 60, 255, 255, 255);  // untouched
    ExpectReference(image, "stencil_two_sided");
}

TEST_F(D3D9Picture, WireframeDrawsTheEdgesOnly)
{
    Begin();
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    device->SetFVF(kScreenFvf);
    const ScreenVertex v[3] = {{20, 100, 0, 1, 0xFFFFFFFF}, {80, 10, 0, 1, 0xFFFFFFFF}, {140, 100, 0, 1, 0xFFFFFFFF}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), D3D_OK);
    const Image image = End();
    ExpectPixel(image, 80, 70, 0, 0, 0); // inside
    // The bottom edge runs along row 100 from column 20 to 140.
    int lit = 0;
    for (int x = 30; x < 130; ++x)
        lit += image.At(x, 100)[0] == 255 || image.At(x, 99)[0] == 255 ? 1 : 0;
    EXPECT_EQ(lit, 100);
    ExpectReference(image, "wireframe");
}

} // namespace
