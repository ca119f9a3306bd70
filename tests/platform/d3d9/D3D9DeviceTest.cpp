// The device's own rules: creation without OpenGL, validation of states, stages, formats and
// ranges (D3DERR_INVALIDCALL, never a crash or a read past a buffer), Direct3D's defaults,
// resources, device loss and reset, and the calls that reach OpenGL.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/win32/SdlWindow.h"
#include "platform/platform.h"
#include "support/D3D9Fixture.h"

namespace {

using qvtest::AsFloat;

struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};

class D3D9Device : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(f.Create());
        device = f.device;
    }
    qvtest::DeviceFixture f;
    IDirect3DDevice9* device = nullptr;
};

TEST(D3D9Create, AWindowWithoutOpenGlGetsNoDevice)
{
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS params = qvtest::WindowedParameters(reinterpret_cast<HWND>(0x1234), 64, 64);
    IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(0x1);
    EXPECT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, params.hDeviceWindow,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    d3d->Release();
}

TEST(D3D9Create, CapabilitiesOfferTwoSidedStencilAndRefuseWhatTheLayerLacks)
{
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_TRUE(caps.StencilCaps & D3DSTENCILCAPS_TWOSIDED);
    EXPECT_TRUE(caps.StencilCaps & D3DSTENCILCAPS_INCR);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_SW, &caps), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3DERR_INVALIDCALL);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL,
                                     D3DRTYPE_SURFACE, D3DFMT_D24S8),
              D3D_OK);
    d3d->Release();
}

TEST_F(D3D9Device, StatesOutsideDirect3D9AreRefused)
{
    DWORD value = 0;
    for (DWORD bad : {0u, 10u, 13u, 255u, 300u}) {
        EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), 1), D3DERR_INVALIDCALL) << bad;
        EXPECT_EQ(device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), &value), D3DERR_INVALIDCALL) << bad;
    }
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_MODULATE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(12), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(16, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(14), 0), D3DERR_INVALIDCALL);
    D3DMATRIX m = {};
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(4), &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
    D3DLIGHT9 light = {};
    EXPECT_EQ(device->SetLight(0, &light), D3DERR_INVALIDCALL); // type 0
    EXPECT_EQ(device->GetLight(5, &light), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetFVF(D3DFVF_TEX8 + D3DFVF_TEX1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

TEST_F(D3D9Device, EveryRenderStateHasDirect3DsDefaultAndKeepsWhatIsSet)
{
    DWORD value = 0;
    auto get = [&](D3DRENDERSTATETYPE s) {
        EXPECT_EQ(device->GetRenderState(s, &value), D3D_OK);
        return value;
    };
    EXPECT_EQ(get(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_TRUE)); // with a depth buffer
    EXPECT_EQ(get(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CCW));
    EXPECT_EQ(get(D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
    EXPECT_EQ(get(D3DRS_LOCALVIEWER), static_cast<DWORD>(TRUE));
    EXPECT_EQ(get(D3DRS_COLORVERTEX), static_cast<DWORD>(TRUE));
    EXPECT_EQ(get(D3DRS_DIFFUSEMATERIALSOURCE), static_cast<DWORD>(D3DMCS_COLOR1));
    EXPECT_EQ(get(D3DRS_AMBIENT), 0u);
    EXPECT_EQ(get(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_LESSEQUAL));
    EXPECT_EQ(get(D3DRS_ALPHAFUNC), static_cast<DWORD>(D3DCMP_ALWAYS));
    EXPECT_EQ(get(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_ONE));
    EXPECT_EQ(get(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_ZERO));
    EXPECT_EQ(get(D3DRS_STENCILMASK), 0xFFFFFFFFu);
    EXPECT_EQ(get(D3DRS_COLORWRITEENABLE), 0xFu);
    EXPECT_EQ(get(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    EXPECT_EQ(AsFloat(get(D3DRS_FOGEND)), 1.0f);
    EXPECT_EQ(AsFloat(get(D3DRS_POINTSIZE)), 1.0f);
    DWORD stage = 0;
    device->GetTextureStageState(0, D3DTSS_COLOROP, &stage);
    EXPECT_EQ(stage, static_cast<DWORD>(D3DTOP_MODULATE));
    device->GetTextureStageState(1, D3DTSS_COLOROP, &stage);
    EXPECT_EQ(stage, static_cast<DWORD>(D3DTOP_DISABLE));
    device->GetTextureStageState(3, D3DTSS_TEXCOORDINDEX, &stage);
    EXPECT_EQ(stage, 3u);
    DWORD sampler = 0;
    device->GetSamplerState(0, D3DSAMP_MINFILTER, &sampler);
    EXPECT_EQ(sampler, static_cast<DWORD>(D3DTEXF_POINT));
    device->GetSamplerState(15, D3DSAMP_ADDRESSU, &sampler);
    EXPECT_EQ(sampler, static_cast<DWORD>(D3DTADDRESS_WRAP));

    // Every state of the enumeration is accepted and answered back.
    int accepted = 0;
    for (DWORD s = 0; s < 256; ++s) {
        DWORD old = 0;
        if (FAILED(device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(s), &old)))
            continue;
        ++accepted;
        EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s), old + 7), D3D_OK) << s;
        EXPECT_EQ(get(static_cast<D3DRENDERSTATETYPE>(s)), old + 7) << s;
    }
    EXPECT_EQ(accepted, 103);
}

TEST_F(D3D9Device, ARedundantStateReachesNoOpenGlCall)
{
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    const ScreenVertex v[3] = {{0, 0, 0, 1, 0xFFFFFFFF}, {10, 0, 0, 1, 0xFFFFFFFF}, {0, 10, 0, 1, 0xFFFFFFFF}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
    uint64_t before = qv::test::OpenGlCallCount();
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
    const uint64_t plainDraw = qv::test::OpenGlCallCount() - before;

    // Setting states to the values they have changes nothing that OpenGL sees.
    before = qv::test::OpenGlCallCount();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    EXPECT_EQ(qv::test::OpenGlCallCount(), before);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
    EXPECT_EQ(qv::test::OpenGlCallCount() - before, plainDraw);

    // A real change costs calls at the next draw.
    before = qv::test::OpenGlCallCount();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
    EXPECT_GT(qv::test::OpenGlCallCount() - before, plainDraw);
    device->EndScene();
}

TEST_F(D3D9Device, TexturesHaveTheirLevelsAndLockWithinThem)
{
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(5, 3, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 3u);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(texture->GetLevelDesc(1, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(texture->GetLevelDesc(3, &desc), D3DERR_INVALIDCALL);

    D3DLOCKED_RECT locked;
    const RECT outside = {4, 0, 6, 1};
    EXPECT_EQ(texture->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
    const RECT inside = {1, 1, 3, 2};
    ASSERT_EQ(texture->LockRect(0, &locked, &inside, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 20);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL); // already locked
    static_cast<DWORD*>(locked.pBits)[0] = 0x11223344;
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);

    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(reinterpret_cast<const DWORD*>(static_cast<const uint8_t*>(locked.pBits) + 20)[1], 0x11223344u);
    surface->UnlockRect();
    surface->Release();
    EXPECT_EQ(texture->Release(), 0u);

    IDirect3DTexture9* refused = nullptr;
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &refused, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &refused, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &refused, nullptr),
              D3DERR_INVALIDCALL); // more levels than 4x4 has
    EXPECT_EQ(refused, nullptr);
}

TEST_F(D3D9Device, BuffersNeverLetADrawReadPastThem)
{
    IDirect3DVertexBuffer9* vertices = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(3 * sizeof(ScreenVertex), 0, D3DFVF_XYZRHW | D3DFVF_DIFFUSE,
                                         D3DPOOL_MANAGED, &vertices, nullptr),
              D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(vertices->Lock(0, 100, &data, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(vertices->Lock(0, 0, &data, 0), D3D_OK);
    const ScreenVertex v[3] = {{0, 0, 0, 1, 0xFFFFFFFF}, {10, 0, 0, 1, 0xFFFFFFFF}, {0, 10, 0, 1, 0xFFFFFFFF}};
    std::memcpy(data, v, sizeof v);
    ASSERT_EQ(vertices->Unlock(), D3D_OK);

    IDirect3DIndexBuffer9* indices = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &indices, nullptr),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(device->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices, nullptr), D3D_OK);
    ASSERT_EQ(indices->Lock(0, 0, &data, 0), D3D_OK);
    const uint16_t list[6] = {0, 1, 2, 0, 1, 7}; // 7 lies past the three vertices
    std::memcpy(data, list, sizeof list);
    indices->Unlock();

    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->SetStreamSource(0, vertices, 0, sizeof(ScreenVertex));
    device->SetIndices(indices);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // outside a scene
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 3, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 3), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 3, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(9), 0, 1), D3DERR_INVALIDCALL);
    // A stride shorter than the vertex: the vertices at 28, 36 and 44 fit 3 x 8 bytes, but
    // the last one's 20 bytes would end past the buffer's 60.
    device->SetStreamSource(0, vertices, 28, 8);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    device->SetStreamSource(0, vertices, 0, sizeof(ScreenVertex));
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    device->EndScene();

    // A freed buffer is no longer bound.
    indices->Release();
    vertices->Release();
    IDirect3DVertexBuffer9* bound = reinterpret_cast<IDirect3DVertexBuffer9*>(0x1);
    UINT offset = 1, stride = 1;
    ASSERT_EQ(device->GetStreamSource(0, &bound, &offset, &stride), D3D_OK);
    EXPECT_EQ(bound, nullptr);
}

TEST_F(D3D9Device, ALostDeviceIsResetToEveryDefault)
{
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction.z = 1.0f;
    device->SetLight(2, &light);
    device->LightEnable(2, TRUE);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    device->SetTexture(0, texture);

    qv::test::LoseD3DDevice();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&f.params), D3DERR_DEVICELOST);
    // Drawing while lost succeeds and draws nothing.
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    const ScreenVertex v[3] = {{0, 0, 0, 1, 0xFFFFFFFF}, {10, 0, 0, 1, 0xFFFFFFFF}, {0, 10, 0, 1, 0xFFFFFFFF}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);

    qv::test::AllowD3DDeviceReset();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    D3DPRESENT_PARAMETERS params = f.params;
    params.BackBufferWidth = 320;
    params.BackBufferHeight = 240;
    ASSERT_EQ(device->Reset(&params), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

    DWORD cull = 0;
    device->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_CCW));
    EXPECT_EQ(device->GetLight(2, &light), D3DERR_INVALIDCALL);
    IDirect3DBaseTexture9* bound = nullptr;
    device->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    D3DVIEWPORT9 viewport;
    device->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 320u);
    EXPECT_EQ(viewport.Height, 240u);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 320u);
    EXPECT_EQ(desc.Height, 240u);
    back->Release();
    texture->Release();
}

TEST_F(D3D9Device, TheBackBufferKeepsThePictureAfterPresent)
{
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    device->EndScene();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const qvtest::Image image = qvtest::ReadBackBuffer(device);
    ASSERT_EQ(image.width, 160);
    EXPECT_EQ(image.At(0, 0)[0], 0x10);
    EXPECT_EQ(image.At(159, 119)[1], 0x20);
    EXPECT_EQ(image.At(80, 60)[2], 0x30);
    // Clearing a rectangle touches only it.
    const D3DRECT rect = {10, 10, 20, 20};
    ASSERT_EQ(device->Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
    const qvtest::Image cleared = qvtest::ReadBackBuffer(device);
    EXPECT_EQ(cleared.At(10, 10)[0], 0xFF);
    EXPECT_EQ(cleared.At(19, 19)[0], 0xFF);
    EXPECT_EQ(cleared.At(20, 20)[0], 0x10);
    EXPECT_EQ(cleared.At(9, 10)[0], 0x10);
}

TEST_F(D3D9Device, TheFrontBufferIsTheDesktopWithThePicturePresentedLast)
{
    D3DDISPLAYMODE mode;
    ASSERT_EQ(device->GetDisplayMode(0, &mode), D3D_OK);
    IDirect3DSurface9* screen = nullptr;
    // Only 32-bit surfaces in system memory, and only one of the desktop's size takes it.
    EXPECT_EQ(device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &screen,
                                                  nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &screen,
                                                  nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(screen, nullptr);
    IDirect3DSurface9* small = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &small, nullptr), D3D_OK);
    EXPECT_EQ(device->GetFrontBufferData(0, small), D3DERR_INVALIDCALL);
    small->Release();
    ASSERT_EQ(device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &screen,
                                                  nullptr),
              D3D_OK);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(screen->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(desc.Width, mode.Width);

    // Present a red frame, then draw a green one that is never presented.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    device->EndScene();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);

    ASSERT_EQ(device->GetFrontBufferData(0, screen), D3D_OK);
    POINT origin = {0, 0};
    ASSERT_TRUE(ClientToScreen(f.window, &origin));
    D3DLOCKED_RECT locked;
    const RECT client = {origin.x, origin.y, origin.x + 160, origin.y + 120};
    ASSERT_EQ(screen->LockRect(&locked, &client, D3DLOCK_READONLY), D3D_OK);
    auto at = [&](int x, int y) {
        return static_cast<const uint32_t*>(locked.pBits)[static_cast<size_t>(y) * (locked.Pitch / 4) + x];
    };
    EXPECT_EQ(at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(at(159, 119), 0xFFFF0000u);
    EXPECT_EQ(screen->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL) << "locked once";
    EXPECT_EQ(screen->UnlockRect(), D3D_OK);
    EXPECT_EQ(screen->UnlockRect(), D3DERR_INVALIDCALL);
    // The device lives as long as the surface does.
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(screen->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    owner->Release();
    screen->Release();
}

TEST(D3D9Depth, AD16DeviceHasNoStencilToClear)
{
    qvtest::DeviceFixture f;
    ASSERT_TRUE(f.Create(64, 48, D3DFMT_D16));
    EXPECT_EQ(f.device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(f.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
}

} // namespace

namespace {

void SendWindowEvent(HWND window, Uint8 what)
{
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = what;
    event.window.windowID = SDL_GetWindowID(qv::SdlWindowOf(window));
    SDL_PushEvent(&event);
}

TEST(D3D9FullScreen, LosingTheScreenLosesTheDeviceUntilItComesBack)
{
    qvtest::DeviceFixture f;
    f.window = qvtest::MakeDeviceWindow(160, 120);
    f.d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_TRUE(f.window && f.d3d);
    f.params = qvtest::WindowedParameters(f.window, 320, 240);
    f.params.Windowed = FALSE;
    ASSERT_EQ(f.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, f.window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                  &f.params, &f.device),
              D3D_OK);
    // The display shows the mode: the system metrics report it.
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
    EXPECT_EQ(f.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    SendWindowEvent(f.window, SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_EQ(f.device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    SendWindowEvent(f.window, SDL_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_EQ(f.device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    D3DPRESENT_PARAMETERS windowed = f.params;
    windowed.Windowed = TRUE;
    ASSERT_EQ(f.device->Reset(&windowed), D3D_OK);
    EXPECT_NE(GetSystemMetrics(SM_CXSCREEN), 320);
    // A windowed device does not care where the focus goes.
    SendWindowEvent(f.window, SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_EQ(f.device->TestCooperativeLevel(), D3D_OK);
}

} // namespace
