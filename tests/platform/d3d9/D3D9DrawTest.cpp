// Direct3D facts checked on single pixels: texture coordinate (0, 0) is the picture's top-left
// texel, matrices act on row vectors, clip depth runs 0..1, a point light fades as
// 1 / (a0 + a1 d + a2 d^2), and 16- and 32-bit indices draw alike.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "support/D3D9Fixture.h"

namespace {

struct TexturedScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
struct ColorVertex {
    float x, y, z;
    D3DCOLOR color;
};
struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
};

D3DMATRIX Identity()
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

class D3D9Draw : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(f.Create(64, 64));
        device = f.device;
        const D3DMATRIX identity = Identity();
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &identity);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
    }
    qvtest::Image Picture()
    {
        device->EndScene();
        return qvtest::ReadBackBuffer(device);
    }
    // A clip-space triangle covering the top-left half of the screen, in one colour.
    void DrawClipTriangle(float z, D3DCOLOR color)
    {
        const ColorVertex v[3] = {{-1, -1, z, color}, {-1, 1, z, color}, {1, 1, z, color}};
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
    }

    qvtest::DeviceFixture f;
    IDirect3DDevice9* device = nullptr;
};

TEST_F(D3D9Draw, TextureCoordinateZeroIsTheTopLeftTexel)
{
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    // 0xAARRGGBB: red, green on the first row; blue, white on the second.
    auto* row0 = static_cast<DWORD*>(locked.pBits);
    auto* row1 = reinterpret_cast<DWORD*>(static_cast<uint8_t*>(locked.pBits) + locked.Pitch);
    row0[0] = 0xFFFF0000;
    row0[1] = 0xFF00FF00;
    row1[0] = 0xFF0000FF;
    row1[1] = 0xFFFFFFFF;
    texture->UnlockRect(0);
    device->SetTexture(0, texture);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    // Half-pixel offsets map the texels exactly onto 32x32 blocks.
    const TexturedScreenVertex v[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0},
                                       {63.5f, -0.5f, 0, 1, 0xFFFFFFFF, 1, 0},
                                       {-0.5f, 63.5f, 0, 1, 0xFFFFFFFF, 0, 1},
                                       {63.5f, 63.5f, 0, 1, 0xFFFFFFFF, 1, 1}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    const qvtest::Image image = Picture();
    auto rgb = [&](int x, int y) {
        const uint8_t* p = image.At(x, y);
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    EXPECT_EQ(rgb(10, 10), 0xFF0000);
    EXPECT_EQ(rgb(50, 10), 0x00FF00);
    EXPECT_EQ(rgb(10, 50), 0x0000FF);
    EXPECT_EQ(rgb(50, 50), 0xFFFFFF);
    texture->Release();
}

TEST_F(D3D9Draw, ATranslationInTheFourthRowMovesTheGeometry)
{
    D3DMATRIX world = Identity();
    world._41 = 1.0f; // x' = x + 1 for the row vector (x, y, z, 1)
    device->SetTransform(D3DTS_WORLD, &world);
    DrawClipTriangle(0.5f, 0xFF00FF00);
    const qvtest::Image image = Picture();
    // The triangle's left edge now runs down the middle of the screen.
    EXPECT_EQ(image.At(10, 5)[1], 0);
    EXPECT_EQ(image.At(40, 5)[1], 255);
}

TEST_F(D3D9Draw, ClipDepthRunsFromZeroToOne)
{
    DrawClipTriangle(-0.05f, 0xFFFF0000); // in front of the near plane: clipped
    const qvtest::Image clipped = Picture();
    EXPECT_EQ(clipped.At(10, 5)[0], 0);

    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    DrawClipTriangle(0.0f, 0xFFFF0000); // on the near plane: drawn
    const qvtest::Image near = Picture();
    EXPECT_EQ(near.At(10, 5)[0], 255);

    // Depth 0.3 stays in front of depth 0.6 drawn after it.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    DrawClipTriangle(0.3f, 0xFF0000FF);
    DrawClipTriangle(0.6f, 0xFFFF0000);
    const qvtest::Image ordered = Picture();
    EXPECT_EQ(ordered.At(10, 5)[2], 255);
    EXPECT_EQ(ordered.At(10, 5)[0], 0);
}

TEST_F(D3D9Draw, APointLightFadesWithDirect3DsAttenuation)
{
    D3DMATERIAL9 material = {};
    material.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    device->SetMaterial(&material);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    light.Position = D3DVECTOR{0, 0, -2}; // two units in front of the screen plane z = 0
    light.Range = 100.0f;
    light.Attenuation1 = 1.0f; // 1 / d
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    // A small square at the centre, facing the light: N.L = 1, d = 2.
    const float s = 0.05f;
    const LitVertex v[4] = {{-s, -s, 0, 0, 0, -1}, {-s, s, 0, 0, 0, -1}, {s, -s, 0, 0, 0, -1}, {s, s, 0, 0, 0, -1}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    const qvtest::Image image = Picture();
    EXPECT_NEAR(image.At(32, 32)[0], 128, 2);
    EXPECT_NEAR(image.At(32, 32)[1], 128, 2);
}

// Specular light with the half vector: with Direct3D's default local viewer the direction to
// the eye changes from vertex to vertex; without it every vertex sees the eye straight ahead
// (along the camera's +z).
TEST_F(D3D9Draw, TheLocalViewerShapesTheSpecularHighlight)
{
    D3DMATERIAL9 material = {};
    material.Specular = D3DCOLORVALUE{1, 1, 1, 1};
    material.Power = 50.0f;
    device->SetMaterial(&material);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Specular = D3DCOLORVALUE{1, 1, 1, 1};
    light.Direction = D3DVECTOR{0, 0, 1};
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    // A square at z = 5 seen from the origin; the projection keeps x and y as they are.
    const LitVertex v[4] = {{-1, -1, 5, 0, 0, -1}, {-1, 1, 5, 0, 0, -1}, {1, -1, 5, 0, 0, -1}, {1, 1, 5, 0, 0, -1}};
    D3DMATRIX projection = Identity(); // depth 0.5, x and y as they are
    projection._33 = 0.1f;
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    // Lighting is per vertex: at each corner (+-1, +-1, 5) the eye lies off the normal,
    // N.H = 0.99053, and 0.99053^50 = 0.621.
    const qvtest::Image local = Picture();
    EXPECT_NEAR(local.At(32, 32)[0], 158, 3);
    EXPECT_NEAR(local.At(5, 5)[0], 158, 3);

    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    device->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    // A distant viewer looks along +z everywhere: N.H = 1.
    const qvtest::Image distant = Picture();
    EXPECT_NEAR(distant.At(32, 32)[0], 255, 2);
    EXPECT_NEAR(distant.At(5, 5)[0], 255, 2);

    // Without SPECULARENABLE there is no highlight at all.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    EXPECT_EQ(Picture().At(32, 32)[0], 0);
}

// A spot light shines fully along its axis, fades between its cones and lights nothing
// outside Phi. Lighting is per vertex, so the square is a fine grid.
TEST_F(D3D9Draw, ASpotLightFadesBetweenItsConesAndStopsAtPhi)
{
    D3DMATERIAL9 material = {};
    material.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    device->SetMaterial(&material);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_SPOT;
    light.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    light.Direction = D3DVECTOR{0, 0, 1};
    light.Range = 100.0f;
    light.Attenuation0 = 1.0f;
    light.Theta = 0.6f; // full light within 0.3 rad of the axis
    light.Phi = 1.0f;   // none beyond 0.5 rad
    light.Falloff = 1.0f;
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DMATRIX projection = Identity(); // x and y as they are, depth 0.15 at z = 1.5
    projection._33 = 0.1f;
    device->SetTransform(D3DTS_PROJECTION, &projection);
    constexpr int n = 32;
    std::vector<LitVertex> vertices;
    std::vector<uint16_t> indices;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            vertices.push_back(LitVertex{-1 + 2.0f * i / n, -1 + 2.0f * j / n, 1.5f, 0, 0, -1});
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const uint16_t a = static_cast<uint16_t>(j * (n + 1) + i), b = static_cast<uint16_t>(a + n + 1);
            for (uint16_t k : {a, b, uint16_t(a + 1), uint16_t(a + 1), b, uint16_t(b + 1)})
                indices.push_back(k);
        }
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices.size()),
                                             static_cast<UINT>(indices.size() / 3), indices.data(), D3DFMT_INDEX16,
                                             vertices.data(), sizeof(LitVertex)),
              D3D_OK);
    const qvtest::Image image = Picture();
    EXPECT_NEAR(image.At(32, 32)[0], 255, 4); // on the axis
    // 0.625 out, 0.395 rad, about halfway between the cones: Direct3D's spot factor
    // (cos a - cos 0.5) / (cos 0.3 - cos 0.5) = 0.585, times N.L = 0.923.
    EXPECT_NEAR(image.At(52, 32)[0], 138, 12);
    EXPECT_EQ(image.At(60, 32)[0], 0); // 0.875 out, 0.53 rad: beyond Phi
    EXPECT_EQ(image.At(5, 5)[0], 0);
}

TEST_F(D3D9Draw, TheViewportPlacesClipSpaceAndLimitsClearing)
{
    // The top-right quarter: x from 32, y from 0 (rows from the top).
    const D3DVIEWPORT9 quarter = {32, 0, 32, 32, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&quarter), D3D_OK);
    const D3DVIEWPORT9 outside = {40, 0, 32, 32, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&outside), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
    const ColorVertex v[4] = {{-1, -1, 0.5f, 0xFFFF0000}, {-1, 1, 0.5f, 0xFFFF0000}, {1, -1, 0.5f, 0xFFFF0000},
                              {1, 1, 0.5f, 0xFFFF0000}};
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    // The upper half of clip space only: y from 0 to 1.
    const ColorVertex upper[4] = {{-1, 0, 0.5f, 0xFF00FF00}, {-1, 1, 0.5f, 0xFF00FF00}, {1, 0, 0.5f, 0xFF00FF00},
                                  {1, 1, 0.5f, 0xFF00FF00}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, upper, sizeof upper[0]), D3D_OK);
    const qvtest::Image image = Picture();
    auto rgb = [&](int x, int y) {
        const uint8_t* p = image.At(x, y);
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    EXPECT_EQ(rgb(10, 10), 0x000000);  // outside the viewport: neither cleared nor drawn
    EXPECT_EQ(rgb(48, 50), 0x000000);
    EXPECT_EQ(rgb(48, 5), 0x00FF00);   // upper half of the viewport
    EXPECT_EQ(rgb(48, 26), 0xFF0000);  // lower half
    EXPECT_EQ(rgb(32, 16), 0xFF0000);
    EXPECT_EQ(rgb(31, 16), 0x000000);
}

TEST_F(D3D9Draw, SixteenAndThirtyTwoBitIndicesDrawTheSame)
{
    const ColorVertex v[4] = {{-1, -1, 0.5f, 0xFF00FFFF}, {-1, 1, 0.5f, 0xFF00FFFF}, {1, -1, 0.5f, 0xFF00FFFF},
                              {1, 1, 0.5f, 0xFF00FFFF}};
    const uint16_t small[3] = {0, 1, 3};
    const uint32_t wide[3] = {0, 3, 2};
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 1, small, D3DFMT_INDEX16, v, sizeof v[0]),
              D3D_OK);
    ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 1, wide, D3DFMT_INDEX32, v, sizeof v[0]),
              D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 1, wide, D3DFMT_A8R8G8B8, v, sizeof v[0]),
              D3DERR_INVALIDCALL);
    const qvtest::Image image = Picture();
    EXPECT_EQ(image.At(5, 5)[2], 255);   // upper-left half: the 16-bit triangle
    EXPECT_EQ(image.At(58, 58)[1], 255); // lower-right half: the 32-bit one
    EXPECT_EQ(image.At(58, 58)[0], 0);
}

} // namespace
