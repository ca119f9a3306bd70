// The device state cache: which sets reach the device (counted, not assumed), the refusal of
// numbers that are no Direct3D 9 state, the comparison rules of transforms and materials, the
// stage texture slots, and the re-application of everything after a device reset.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/d3d9/D3D9TestHooks.h"
#include "render/CD3DLight.h"
#include "render/CDirectX9.h"
#include "support/D3D9Fixture.h"

namespace {

// Device calls made by `action`.
template <class Action>
uint64_t CallsOf(Action action)
{
    const uint64_t before = qv::test::D3D9DeviceCallCount();
    action();
    return qv::test::D3D9DeviceCallCount() - before;
}

template <class Action>
std::string FailureOf(Action action)
{
    try {
        action();
    } catch (const char* text) {
        return text;
    }
    return "";
}

// A 2x2 TGA: red, green / blue, white (24-bit, rows from the top).
std::vector<uint8_t> SmallTga()
{
    return {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0x20,
            0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
}

class StateCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = qvtest::MakeDeviceWindow(160, 120);
        ASSERT_NE(window, nullptr);
        // The clear parameters are process-wide: start from the defaults whatever ran before.
        CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0});
        g_DirectX9.Init(window, 160, 120, true, true);
        ASSERT_NE(CDirectX9::Device, nullptr);
        dir = qvtest::MakeTempDir("StateCache");
        texturePath = dir + "/small.tga";
        qvtest::WriteFileBytes(texturePath, SmallTga());
    }
    void TearDown() override
    {
        CDirectX9::Release();
        DestroyWindow(window);
    }
    HWND window = nullptr;
    std::string dir;
    std::string texturePath;
};

TEST_F(StateCache, ASetToTheValueTheDeviceHasMakesNoDeviceCall)
{
    EXPECT_EQ(CallsOf([] {
                  CDirectX9::SafeSetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL); // read from the device
                  CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, TRUE);          // set by Init
                  CDirectX9::SafeSetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
                  CDirectX9::SafeSetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
                  CDirectX9::SafeSetTransform(D3DTS_VIEW, CDirectX9::SafeGetTransform(D3DTS_VIEW));
              }),
              0u);
    EXPECT_EQ(CallsOf([] { CDirectX9::SafeSetRenderState(D3DRS_ZFUNC, D3DCMP_LESS); }), 1u);
    EXPECT_EQ(CallsOf([] { CDirectX9::SafeSetRenderState(D3DRS_ZFUNC, D3DCMP_LESS); }), 0u);
    DWORD onDevice = 0;
    CDirectX9::Device->GetRenderState(D3DRS_ZFUNC, &onDevice);
    EXPECT_EQ(onDevice, static_cast<DWORD>(D3DCMP_LESS));
}

TEST_F(StateCache, NumbersThatAreNoDirect3D9StateAreRefusedWithoutADeviceCall)
{
    for (DWORD bad : {10u, 300u, 0u, 255u}) {
        EXPECT_EQ(CallsOf([&] {
                      EXPECT_EQ(FailureOf([&] {
                                    CDirectX9::SafeSetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), 1);
                                }),
                                "Failed CDirectX9::SafeSetRenderState not UsableRenderState");
                  }),
                  0u);
    }
    EXPECT_EQ(FailureOf([] { CDirectX9::SafeSetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(12), 0); }),
              "Failed CDirectX9::SafeSetTextureStageState not UsableTextureStageState");
    EXPECT_EQ(FailureOf([] { CDirectX9::SafeSetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(14), 0); }),
              "Failed CDirectX9::SafeSetSamplerState not UsableSamplerState");
    D3DMATRIX m = {};
    EXPECT_EQ(FailureOf([&] { CDirectX9::SafeSetTransform(static_cast<D3DTRANSFORMSTATETYPE>(4), m); }),
              "Failed CDirectX9::SafeSetTransform not UsableTransformState");
    EXPECT_EQ(FailureOf([] { CDirectX9::SafeGetTransform(static_cast<D3DTRANSFORMSTATETYPE>(260)); }),
              "Failed CDirectX9::SafeSetTransform not UsableTransformState");
    EXPECT_EQ(FailureOf([&] { CDirectX9::SafeSetTransform(D3DTS_WORLDMATRIX(3), m); }), "");
}

TEST_F(StateCache, ATransformIsComparedBitForBitAndAMaterialAsFloats)
{
    D3DMATRIX world = CDirectX9::SafeGetTransform(D3DTS_WORLD);
    world._12 = -0.0f; // equal to 0.0 as a float, different in its bits
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetTransform(D3DTS_WORLD, world); }), 1u);
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetTransform(D3DTS_WORLD, world); }), 0u);
    EXPECT_EQ(std::signbit(CDirectX9::SafeGetTransform(D3DTS_WORLD)._12), true);

    D3DMATERIAL9 material = CDirectX9::Material;
    material.Specular.r = -0.0f;
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetMaterial(material); }), 0u);
    material.Power = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetMaterial(material); }), 1u);
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetMaterial(material); }), 1u);
    material.Power = 8.0f;
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetMaterial(material); }), 1u);
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetMaterial(material); }), 0u);
}

TEST_F(StateCache, StageTextureSlotsFollowTheCacheEntries)
{
    CD3DSafeTexture empty;
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetTexture(0, empty); }), 1u);
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetTexture(0, empty); }), 1u);
    EXPECT_EQ(empty.Stage, -1);

    CD3DSafeTexture first, second;
    CDirectX9::SafeCreateTexture(texturePath.c_str(), first);
    CDirectX9::SafeCreateTexture(texturePath.c_str(), second);
    ASSERT_EQ(first.Entry, second.Entry);
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetTexture(0, first); }), 1u);
    EXPECT_EQ(first.Stage, 0);
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetTexture(0, second); }), 0u); // the same entry
    EXPECT_EQ(CDirectX9::StageTexture[0].Entry, first.Entry);

    // The last reference goes: the slot empties, and the next binding reaches the device.
    CDirectX9::SafeReleaseTexture(second);
    CDirectX9::SafeReleaseTexture(first);
    EXPECT_EQ(CDirectX9::StageTexture[0].Entry, nullptr);
    CD3DSafeTexture again;
    CDirectX9::SafeCreateTexture(texturePath.c_str(), again);
    EXPECT_EQ(CallsOf([&] { CDirectX9::SafeSetTexture(0, again); }), 1u);
    IDirect3DBaseTexture9* bound = nullptr;
    CDirectX9::Device->GetTexture(0, &bound);
    EXPECT_EQ(bound, again.Entry->Texture);
    if (bound)
        bound->Release();
    CDirectX9::SafeReleaseTexture(again);

    EXPECT_EQ(FailureOf([&] { CDirectX9::SafeSetTexture(8, empty); }), "Failed CDirectX9::SafeSetTexture SetTexture");
}

// A textured square on the ground, lit from above, drawn through the cache as the game draws.
struct GroundVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

qvtest::Image DrawGround(CD3DSafeTexture& texture)
{
    EXPECT_TRUE(CDirectX9::BeginRender());
    CDirectX9::SafeSetTexture(0, texture);
    CDirectX9::Device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    const GroundVertex v[4] = {{-1, 0, 1, 0, 1, 0, 0, 0},
                               {1, 0, 1, 0, 1, 0, 1, 0},
                               {-1, 0, -1, 0, 1, 0, 0, 1},
                               {1, 0, -1, 0, 1, 0, 1, 1}};
    CDirectX9::Device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
    EXPECT_TRUE(CDirectX9::EndRender());
    return qvtest::ReadBackBuffer(CDirectX9::Device);
}

TEST_F(StateCache, AfterLossAndResetEveryCachedStateIsBackAndThePictureIsTheSame)
{
    CD3DSafeTexture texture;
    CDirectX9::SafeCreateTexture(texturePath.c_str(), texture);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    CDirectX9::SafeSetRenderState(D3DRS_AMBIENT, 0x00202020);
    CDirectX9::SafeSetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    CDirectX9::SafeSetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    D3DMATRIX world = CDirectX9::SafeGetTransform(D3DTS_WORLD);
    world._11 = world._33 = 1.5f;
    CDirectX9::SafeSetTransform(D3DTS_WORLD, world);
    D3DMATERIAL9 material = {};
    material.Diffuse = D3DCOLORVALUE{1.0f, 0.8f, 0.6f, 1.0f};
    material.Ambient = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    CDirectX9::SafeSetMaterial(material);
    CD3DLight sun;
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{0.9f, 0.9f, 0.9f, 1.0f};
    light.Direction = D3DVECTOR{0.0f, -1.0f, 0.0f};
    sun.Create(light);

    const qvtest::Image before = DrawGround(texture);
    EXPECT_EQ(qvtest::CompareWithReference(before, "render/ref/cached_ground.png", 2), "");
    // Texel x (ambient 0.125 + diffuse material x 0.9): the far texels (v = 0) at the top.
    auto near = [&](int x, int y, int r, int g, int b) {
        const uint8_t* p = before.At(x, y);
        EXPECT_NEAR(p[0], r, 2) << x << "," << y;
        EXPECT_NEAR(p[1], g, 2) << x << "," << y;
        EXPECT_NEAR(p[2], b, 2) << x << "," << y;
    };
    near(40, 50, 255, 0, 0);
    near(100, 50, 0, 215, 0);
    near(40, 90, 0, 0, 170);
    near(110, 90, 255, 215, 170);

    qv::test::LoseD3DDevice();
    EXPECT_FALSE(CDirectX9::BeginRender());
    qv::test::AllowD3DDeviceReset();
    EXPECT_FALSE(CDirectX9::BeginRender()); // reset and restored, nothing drawn

    DWORD value = 0;
    CDirectX9::Device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_NONE));
    CDirectX9::Device->GetRenderState(D3DRS_ALPHATESTENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    CDirectX9::Device->GetSamplerState(0, D3DSAMP_MINFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_LINEAR));
    D3DMATRIX onDevice;
    CDirectX9::Device->GetTransform(D3DTS_WORLD, &onDevice);
    EXPECT_EQ(std::memcmp(&onDevice, &world, sizeof world), 0);
    D3DMATERIAL9 deviceMaterial;
    CDirectX9::Device->GetMaterial(&deviceMaterial);
    EXPECT_EQ(std::memcmp(&deviceMaterial, &material, sizeof material), 0);
    IDirect3DBaseTexture9* bound = nullptr;
    CDirectX9::Device->GetTexture(0, &bound);
    EXPECT_EQ(bound, texture.Entry->Texture);
    if (bound)
        bound->Release();
    D3DLIGHT9 restored;
    ASSERT_EQ(CDirectX9::Device->GetLight(static_cast<DWORD>(sun.Index), &restored), D3D_OK);
    EXPECT_EQ(std::memcmp(&restored, &light, sizeof light), 0);

    const qvtest::Image after = DrawGround(texture);
    ASSERT_EQ(after.rgba.size(), before.rgba.size());
    EXPECT_TRUE(after.rgba == before.rgba);
    sun.Off();
    CDirectX9::SafeReleaseTexture(texture);
}

} // namespace
