// The device owner: creation and its fallbacks, the frame around device loss, screen-mode
// changes and screen captures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <SDL.h>
#include <stb_image.h>

#include "app/CGameConfig.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "render/CDirectX9.h"
#include "support/D3D9Fixture.h"

namespace {

using Attempt = std::tuple<D3DDEVTYPE, DWORD, D3DFORMAT>;

// The device owner with its faults: released and cleared after each test.
class DeviceOwner : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = qvtest::MakeDeviceWindow(160, 120);
        // The clear parameters are process-wide: start from the defaults whatever ran before.
        CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0});
    }
    void TearDown() override
    {
        CDirectX9::Release();
        qv::test::SetD3D9Faults(nullptr);
        if (window)
            DestroyWindow(window);
    }
    // Records every CreateDevice, refusing those that `refuse` names.
    void Record(std::function<bool(const Attempt&)> refuse)
    {
        faults.createDevice = [this, refuse](D3DDEVTYPE type, DWORD flags, D3DFORMAT depth) {
            attempts.emplace_back(type, flags, depth);
            return refuse(attempts.back()) ? D3DERR_NOTAVAILABLE : D3D_OK;
        };
        qv::test::SetD3D9Faults(&faults);
    }
    std::string InitFailure(bool want24 = true)
    {
        try {
            g_DirectX9.Init(window, 160, 120, true, want24);
        } catch (const char* text) {
            return text;
        }
        return "";
    }

    HWND window = nullptr;
    qv::test::D3D9Faults faults;
    std::vector<Attempt> attempts;
};

TEST_F(DeviceOwner, InitCreatesTheDeviceWithItsDefaults)
{
    ASSERT_EQ(InitFailure(), "");
    ASSERT_NE(CDirectX9::Device, nullptr);
    EXPECT_EQ(g_pDevice, CDirectX9::Device);
    EXPECT_EQ(CDirectX9::PresentParameters.AutoDepthStencilFormat, D3DFMT_D24S8);
    EXPECT_EQ(CDirectX9::PresentParameters.PresentationInterval, static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE));
    EXPECT_EQ(CDirectX9::GetWidth(), 160u);
    EXPECT_EQ(CDirectX9::GetHeight(), 120u);
    DWORD value = 0;
    CDirectX9::Device->GetRenderState(D3DRS_ALPHATESTENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    CDirectX9::Device->GetRenderState(D3DRS_AMBIENT, &value);
    EXPECT_EQ(value, 0x44444444u);
    CDirectX9::Device->GetSamplerState(0, D3DSAMP_MIPFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_LINEAR));
    CDirectX9::Device->GetTextureStageState(0, D3DTSS_COLORARG2, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTA_DIFFUSE));

    CDirectX9::ProjectionRecord projection;
    g_DirectX9.GetProjection(projection);
    EXPECT_EQ(projection.FieldOfView, 0.785398185f);
    EXPECT_EQ(projection.Near, 1.0f);
    EXPECT_EQ(projection.Far, 500.0f);
    EXPECT_FLOAT_EQ(projection.TanHalfFieldOfView, std::tan(0.785398185f * 0.5f));
    // The view looks from (0, 3, -3) at the origin: the origin lands at depth |eye| = sqrt 18.
    const D3DMATRIX& view = CDirectX9::SafeGetTransform(D3DTS_VIEW);
    EXPECT_NEAR(view._43, std::sqrt(18.0f), 1e-5f);
    D3DMATRIX onDevice;
    CDirectX9::Device->GetTransform(D3DTS_PROJECTION, &onDevice);
    EXPECT_EQ(std::memcmp(&onDevice, &CDirectX9::SafeGetTransform(D3DTS_PROJECTION), sizeof onDevice), 0);
    EXPECT_NEAR(onDevice._22 / onDevice._11, 160.0f / 120.0f, 1e-5f);

    CDirectX9::Release();
    EXPECT_EQ(CDirectX9::Device, nullptr);
    EXPECT_EQ(CDirectX9::Direct3D, nullptr);
}

TEST_F(DeviceOwner, D16IsTriedOnlyAfterEveryD24S8Attempt)
{
    faults.vertexShaderVersion = D3DVS_VERSION(2, 0);
    Record([](const Attempt& a) { return std::get<2>(a) == D3DFMT_D24S8; });
    ASSERT_EQ(InitFailure(), "");
    EXPECT_EQ(CDirectX9::PresentParameters.AutoDepthStencilFormat, D3DFMT_D16);
    const DWORD mt = D3DCREATE_MULTITHREADED;
    const std::vector<Attempt> expected = {
        {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING | mt, D3DFMT_D24S8},
        {D3DDEVTYPE_HAL, D3DCREATE_MIXED_VERTEXPROCESSING | mt, D3DFMT_D24S8},
        {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING | mt, D3DFMT_D24S8},
        {D3DDEVTYPE_REF, D3DCREATE_HARDWARE_VERTEXPROCESSING | mt, D3DFMT_D24S8},
        {D3DDEVTYPE_REF, D3DCREATE_MIXED_VERTEXPROCESSING | mt, D3DFMT_D24S8},
        {D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING | mt, D3DFMT_D24S8},
        {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING | mt, D3DFMT_D16},
    };
    EXPECT_EQ(attempts, expected);
    // The device really has no stencil then.
    EXPECT_EQ(CDirectX9::Device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

TEST_F(DeviceOwner, WithoutThe24BitRequestD24S8IsNeverTried)
{
    Record([](const Attempt&) { return false; });
    ASSERT_EQ(InitFailure(false), "");
    ASSERT_EQ(attempts.size(), 1u);
    EXPECT_EQ(std::get<2>(attempts[0]), D3DFMT_D16);
    // Without vertex shaders only software vertex processing is tried.
    EXPECT_EQ(std::get<1>(attempts[0]), static_cast<DWORD>(D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED));
}

TEST_F(DeviceOwner, WithoutVertexShadersOnlySoftwareProcessingIsTriedOnEachDevice)
{
    Record([](const Attempt&) { return true; });
    EXPECT_EQ(InitFailure(), "Failed CDirectX9::Init CreateDevice");
    const DWORD sw = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED;
    const std::vector<Attempt> expected = {{D3DDEVTYPE_HAL, sw, D3DFMT_D24S8},
                                           {D3DDEVTYPE_REF, sw, D3DFMT_D24S8},
                                           {D3DDEVTYPE_HAL, sw, D3DFMT_D16},
                                           {D3DDEVTYPE_REF, sw, D3DFMT_D16}};
    EXPECT_EQ(attempts, expected);
}

TEST_F(DeviceOwner, UnreadableHardwareCapabilitiesWarnAndUseTheReferenceDevice)
{
    faults.halCapsFail = true;
    Record([](const Attempt& a) { return std::get<2>(a) == D3DFMT_D24S8; });
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(InitFailure(), "");
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("!!! 警告 !!!"), std::string::npos);
    EXPECT_NE(shown.find("このマシンではDirectX9がソフトウェアで処理されます。"), std::string::npos);
    const DWORD sw = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED;
    const std::vector<Attempt> expected = {{D3DDEVTYPE_REF, sw, D3DFMT_D24S8}, {D3DDEVTYPE_REF, sw, D3DFMT_D16}};
    EXPECT_EQ(attempts, expected);

    CDirectX9::Release();
    faults.refCapsFail = true;
    EXPECT_EQ(InitFailure(), "Failed CDirectX9::Init GetDeviceCaps");
}

TEST_F(DeviceOwner, A24BitDesktopWarnsAndStillTriesItsFormat)
{
    faults.displayFormat = D3DFMT_R8G8B8;
    qv::test::SetD3D9Faults(&faults);
    ::testing::internal::CaptureStderr();
    // The layer has no 24-bit back buffer, so every attempt fails.
    EXPECT_EQ(InitFailure(), "Failed CDirectX9::Init CreateDevice");
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("画面が256色モードや24bitモード"), std::string::npos);
    EXPECT_EQ(CDirectX9::PresentParameters.BackBufferFormat, D3DFMT_R8G8B8);
}

TEST_F(DeviceOwner, FailuresOfTheDirect3DObjectAreThrown)
{
    faults.createFails = true;
    qv::test::SetD3D9Faults(&faults);
    EXPECT_EQ(InitFailure(), "Failed CDirectX9::Init Direct3DCreate9");
    faults.createFails = false;
    faults.displayModeFails = true;
    EXPECT_EQ(InitFailure(), "Failed CDirectX9::Init GetAdapterDisplayMode");
    faults.displayModeFails = false;
    // A window without OpenGL behind it: no device at all.
    DestroyWindow(window);
    window = reinterpret_cast<HWND>(0x4321);
    EXPECT_EQ(InitFailure(), "Failed CDirectX9::Init CreateDevice");
    window = nullptr;
}

TEST_F(DeviceOwner, NoFrameIsDrawnWhileLostNorInTheFrameOfTheReset)
{
    ASSERT_EQ(InitFailure(), "");
    ASSERT_TRUE(CDirectX9::BeginRender());
    CDirectX9::EndRender();

    qv::test::LoseD3DDevice();
    const uint64_t before = qv::test::D3D9DeviceCallCount();
    EXPECT_FALSE(CDirectX9::BeginRender());
    EXPECT_FALSE(CDirectX9::BeginRender());
    // Only TestCooperativeLevel reached the device: no Clear, no BeginScene.
    EXPECT_EQ(qv::test::D3D9DeviceCallCount() - before, 2u);

    qv::test::AllowD3DDeviceReset();
    EXPECT_FALSE(CDirectX9::BeginRender()); // resets and restores
    EXPECT_EQ(CDirectX9::Device->TestCooperativeLevel(), D3D_OK);
    EXPECT_TRUE(CDirectX9::BeginRender());
    EXPECT_TRUE(CDirectX9::EndRender());
}

TEST_F(DeviceOwner, AFrameLeftUnendedCostsThatFrameOnly)
{
    ASSERT_EQ(InitFailure(), "");
    // Frame 1 is begun and never ended, as when its draw pass throws.
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0});
    ASSERT_TRUE(CDirectX9::BeginRender());
    // Frames 2 to 4 begin, draw and end.
    for (D3DCOLOR color : {0xFF00FF00u, 0xFF0000FFu, 0xFF00FF00u}) {
        CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET, color, 1.0f, 0});
        bool begun = false;
        ASSERT_NO_THROW(begun = CDirectX9::BeginRender());
        ASSERT_TRUE(begun);
        const D3DRECT rect = {0, 0, 8, 8};
        EXPECT_EQ(CDirectX9::Device->Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
        EXPECT_TRUE(CDirectX9::EndRender());
        const qvtest::Image image = qvtest::ReadBackBuffer(CDirectX9::Device);
        EXPECT_EQ(image.At(20, 20)[1], (color >> 8) & 0xFF);
        EXPECT_EQ(image.At(2, 2)[0], 0xFF);
    }
    // A frame that ended leaves nothing to end: the next one begins plainly.
    ASSERT_TRUE(CDirectX9::BeginRender());
    EXPECT_EQ(CDirectX9::Device->BeginScene(), D3DERR_INVALIDCALL) << "one scene is open";
    EXPECT_TRUE(CDirectX9::EndRender());
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0});
}

TEST_F(DeviceOwner, ACooperativeLevelFailureOtherThanLossStillDrawsTheFrame)
{
    ASSERT_EQ(InitFailure(), "");
    faults.cooperativeLevel = D3DERR_DRIVERINTERNALERROR;
    qv::test::SetD3D9Faults(&faults);
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0});
    EXPECT_TRUE(CDirectX9::BeginRender());
    CDirectX9::EndRender();
    EXPECT_EQ(qvtest::ReadBackBuffer(CDirectX9::Device).At(5, 5)[1], 0xFF);
}

TEST_F(DeviceOwner, TheStencilClearAddedToTheClearParametersHoldsForEveryFrame)
{
    ASSERT_EQ(InitFailure(), "");
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF204060, 1.0f, 0});
    for (int frame = 0; frame < 2; ++frame) {
        ASSERT_TRUE(CDirectX9::BeginRender());
        CDirectX9::EndRender();
        const qvtest::Image image = qvtest::ReadBackBuffer(CDirectX9::Device);
        EXPECT_EQ(image.At(3, 3)[0], 0x20);
        EXPECT_EQ(image.At(3, 3)[2], 0x60);
    }
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0});
}

TEST_F(DeviceOwner, ChangeScreenModeTo320x240FullScreenAndBack)
{
    ASSERT_EQ(InitFailure(), "");
    D3DMATRIX projectionBefore = CDirectX9::SafeGetTransform(D3DTS_PROJECTION);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    CDirectX9::ChangeScreenMode(320, 240, false, true);
    const CGameConfig& config = CGameConfig::GetInstance();
    EXPECT_EQ(config.Width, 320);
    EXPECT_EQ(config.Height, 240);
    EXPECT_FALSE(config.IsWindowed);
    EXPECT_TRUE(config.IsVsyncWait);
    EXPECT_EQ(CDirectX9::PresentParameters.PresentationInterval, static_cast<UINT>(D3DPRESENT_INTERVAL_DEFAULT));
    EXPECT_EQ(CDirectX9::PresentParameters.Windowed, FALSE);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & WS_POPUP, static_cast<DWORD>(WS_POPUP));
    const qvtest::Image small = qvtest::ReadBackBuffer(CDirectX9::Device);
    EXPECT_EQ(small.width, 320);
    EXPECT_EQ(small.height, 240);
    // The reset kept the cached states on the device, and the projection of the old mode.
    DWORD cull = 0;
    CDirectX9::Device->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
    D3DMATRIX projection;
    CDirectX9::Device->GetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_EQ(std::memcmp(&projection, &projectionBefore, sizeof projection), 0);
    ASSERT_TRUE(CDirectX9::BeginRender());
    EXPECT_TRUE(CDirectX9::EndRender());

    CDirectX9::ChangeScreenMode(640, 480, true, false);
    EXPECT_EQ(CDirectX9::PresentParameters.PresentationInterval, static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE));
    const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    EXPECT_EQ(style & WS_POPUP, 0u);
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    // The window is sized for a 640x480 client area below a menu bar (the game's window has one).
    RECT expected = {0, 0, 640, 480};
    AdjustWindowRect(&expected, style, TRUE);
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.right - frame.left, expected.right - expected.left);
    EXPECT_EQ(frame.bottom - frame.top, expected.bottom - expected.top);
    EXPECT_EQ(qvtest::ReadBackBuffer(CDirectX9::Device).width, 640);
}

TEST_F(DeviceOwner, SaveScreenWritesTheBackBufferAsBmp)
{
    ASSERT_EQ(InitFailure(), "");
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF3070B0, 1.0f, 0});
    ASSERT_TRUE(CDirectX9::BeginRender());
    const D3DRECT rect = {10, 20, 50, 40};
    CDirectX9::Device->Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFFFF00, 1.0f, 0);
    CDirectX9::EndRender();
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0});

    const std::string dir = qvtest::MakeTempDir("SaveScreen");
    CDirectX9::SaveScreen((dir + "\\sc000000.bmp").c_str());
    const std::vector<uint8_t> file = qvtest::ReadFileBytes(dir + "/sc000000.bmp");
    int w = 0, h = 0, n = 0;
    stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 3);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(w, 160);
    ASSERT_EQ(h, 120);
    const qvtest::Image drawn = qvtest::ReadBackBuffer(CDirectX9::Device);
    int differing = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                differing += pixels[(y * w + x) * 3 + c] != drawn.At(x, y)[c] ? 1 : 0;
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(pixels[(25 * w + 15) * 3 + 2], 0x00); // the yellow rectangle
    EXPECT_EQ(pixels[(5 * w + 5) * 3 + 2], 0xB0);
    stbi_image_free(pixels);

    try {
        CDirectX9::SaveScreen((dir + "/no/such/folder/x.bmp").c_str());
        ADD_FAILURE() << "no failure";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Failed CDirectX9::SaveScreen D3DXSaveSurfaceToFile");
    }
}

TEST_F(DeviceOwner, ACaptureIsTheNextFrameSavedBeforeItIsPresented)
{
    ASSERT_EQ(InitFailure(), "");
    const std::string dir = qvtest::MakeTempDir("CaptureNextFrame");
    auto frame = [](D3DCOLOR color) {
        CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0});
        ASSERT_TRUE(CDirectX9::BeginRender());
        CDirectX9::EndRender();
    };
    frame(0xFFFF0000);
    // Asked for between two frames: nothing is saved until the next frame is drawn, and the
    // next frame is what is saved (twice, when asked twice).
    CDirectX9::CaptureNextFrame((dir + "\\a.bmp").c_str());
    CDirectX9::CaptureNextFrame((dir + "\\b.bmp").c_str());
    EXPECT_TRUE(qvtest::ReadFileBytes(dir + "/a.bmp").empty());
    frame(0xFF0000FF);
    for (const char* name : {"/a.bmp", "/b.bmp"}) {
        const std::vector<uint8_t> file = qvtest::ReadFileBytes(dir + name);
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 3);
        ASSERT_NE(pixels, nullptr) << name;
        EXPECT_EQ(w, 160);
        EXPECT_EQ(pixels[(60 * w + 80) * 3 + 0], 0x00) << name;
        EXPECT_EQ(pixels[(60 * w + 80) * 3 + 2], 0xFF) << name;
        stbi_image_free(pixels);
    }
    // Taken once: the frame after is not saved over it.
    std::remove((dir + "/a.bmp").c_str());
    frame(0xFF00FF00);
    EXPECT_TRUE(qvtest::ReadFileBytes(dir + "/a.bmp").empty());

    // A capture that cannot be written does not stop the frame: it is kept, once, for the
    // frame function to report at the frame's end.
    EXPECT_EQ(CDirectX9::TakeCaptureFailure(), nullptr);
    CDirectX9::CaptureNextFrame((dir + "/no/such/folder/x.bmp").c_str());
    ASSERT_TRUE(CDirectX9::BeginRender());
    EXPECT_NO_THROW(CDirectX9::EndRender());
    EXPECT_STREQ(CDirectX9::TakeCaptureFailure(), "Failed CDirectX9::SaveScreen D3DXSaveSurfaceToFile");
    EXPECT_EQ(CDirectX9::TakeCaptureFailure(), nullptr);
    EXPECT_TRUE(CDirectX9::BeginRender());
    EXPECT_TRUE(CDirectX9::EndRender());
    EXPECT_EQ(CDirectX9::TakeCaptureFailure(), nullptr);
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0});
}

TEST_F(DeviceOwner, ACaptureLeftWaitingIsSavedFromThePictureOnTheScreen)
{
    ASSERT_EQ(InitFailure(), "");
    const std::string dir = qvtest::MakeTempDir("CaptureFromScreen");
    // Nothing waits: nothing is written, nothing fails.
    CDirectX9::SaveCapturesFromScreen();
    EXPECT_EQ(CDirectX9::TakeCaptureFailure(), nullptr);

    // A blue frame is presented; a capture is asked for; the next frame is begun in green and
    // never presented (its draw pass failed). The capture is the blue picture on the screen.
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0});
    ASSERT_TRUE(CDirectX9::BeginRender());
    const D3DRECT corner = {0, 0, 10, 10};
    CDirectX9::Device->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFFFF00, 1.0f, 0);
    ASSERT_TRUE(CDirectX9::EndRender());
    CDirectX9::CaptureNextFrame((dir + "\\shown.bmp").c_str());
    CDirectX9::SetClearParam({0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0});
    ASSERT_TRUE(CDirectX9::BeginRender());
    CDirectX9::SaveCapturesFromScreen();
    EXPECT_EQ(CDirectX9::TakeCaptureFailure(), nullptr);

    qvtest::Image shown;
    ASSERT_TRUE(qvtest::LoadPicture(dir + "/shown.bmp", shown));
    EXPECT_EQ(shown.width, 160);
    EXPECT_EQ(shown.height, 120);
    EXPECT_EQ(shown.At(80, 60)[2], 0xFF);
    EXPECT_EQ(shown.At(80, 60)[1], 0x00);
    EXPECT_EQ(shown.At(159, 119)[2], 0xFF);
    EXPECT_EQ(shown.At(0, 0)[0], 0xFF) << "the top-left corner is the client area's";
    EXPECT_EQ(shown.At(0, 0)[2], 0x00);
    EXPECT_EQ(shown.At(10, 10)[2], 0xFF);

    // Taken once; one that cannot be written is kept for the report.
    std::remove((dir + "/shown.bmp").c_str());
    CDirectX9::SaveCapturesFromScreen();
    EXPECT_TRUE(qvtest::ReadFileBytes(dir + "/shown.bmp").empty());
    CDirectX9::CaptureNextFrame((dir + "/no/such/folder/x.bmp").c_str());
    CDirectX9::SaveCapturesFromScreen();
    EXPECT_STREQ(CDirectX9::TakeCaptureFailure(), "Failed CDirectX9::SaveScreen D3DXSaveSurfaceToFile");
    // The scene left open ends with the next frame.
    EXPECT_TRUE(CDirectX9::BeginRender());
    EXPECT_TRUE(CDirectX9::EndRender());
}

// An adapter that lists 640x480 only.
class DeviceOwnerWithFewModes : public DeviceOwner {
protected:
    void SetUp() override
    {
        DeviceOwner::SetUp();
        modes = {D3DDISPLAYMODE{640, 480, 60, D3DFMT_X8R8G8B8}};
        faults.adapterModes = &modes;
        qv::test::SetD3D9Faults(&faults);
        CGameConfig& config = CGameConfig::GetInstance();
        config.Width = 320;
        config.Height = 240;
        config.IsWindowed = false;
        config.IsVsyncWait = false;
    }
    std::vector<D3DDISPLAYMODE> modes;
};

TEST_F(DeviceOwnerWithFewModes, AStoredFullScreenModeThatIsNotListedStartsInAWindowAndSaysSoOnce)
{
    CGameConfig& config = CGameConfig::GetInstance();
    ::testing::internal::CaptureStderr();
    ASSERT_NO_THROW(g_DirectX9.Init(window, 320, 240, false, true));
    std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("MessageBox [!!! 警告 !!!] フルスクリーン320x240の画面モードにできないため、ウインドウで起動します。"),
              std::string::npos)
        << shown;
    EXPECT_EQ(CDirectX9::PresentParameters.Windowed, TRUE);
    EXPECT_EQ(CDirectX9::PresentParameters.BackBufferWidth, 320u);
    // The settings say window now, so the file written at exit starts the next run in one.
    EXPECT_TRUE(config.IsWindowed);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    EXPECT_EQ(style & WS_POPUP, 0u);
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    ASSERT_TRUE(CDirectX9::BeginRender());
    EXPECT_TRUE(CDirectX9::EndRender());

    // A second start in the same run (after a failure elsewhere) does not say it again.
    CDirectX9::Release();
    config.IsWindowed = false;
    ::testing::internal::CaptureStderr();
    ASSERT_NO_THROW(g_DirectX9.Init(window, 320, 240, false, true));
    shown = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(shown.find("フルスクリーン"), std::string::npos) << shown;
    EXPECT_TRUE(config.IsWindowed);

    // A listed mode starts in full screen.
    CDirectX9::Release();
    config.IsWindowed = false;
    ASSERT_NO_THROW(g_DirectX9.Init(window, 640, 480, false, true));
    EXPECT_EQ(CDirectX9::PresentParameters.Windowed, FALSE);
    EXPECT_FALSE(config.IsWindowed);
}

TEST_F(DeviceOwnerWithFewModes, AFullScreenModeThatCannotBeMadeFallsBackToAWindow)
{
    faults.createDevice = [this](D3DDEVTYPE type, DWORD flags, D3DFORMAT depth) {
        attempts.emplace_back(type, flags, depth);
        return CDirectX9::PresentParameters.Windowed ? D3D_OK : D3DERR_NOTAVAILABLE;
    };
    ::testing::internal::CaptureStderr();
    ASSERT_NO_THROW(g_DirectX9.Init(window, 640, 480, false, true));
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("フルスクリーン640x480の画面モードにできないため"), std::string::npos) << shown;
    EXPECT_EQ(CDirectX9::PresentParameters.Windowed, TRUE);
    EXPECT_TRUE(CGameConfig::GetInstance().IsWindowed);
    // Every full-screen attempt (two depth formats on two device types) came first, then the
    // first windowed one made the device.
    EXPECT_EQ(attempts.size(), 5u);
    EXPECT_EQ(CDirectX9::PresentParameters.AutoDepthStencilFormat, D3DFMT_D24S8);
}

TEST_F(DeviceOwnerWithFewModes, OnlyListedModesAreChangedToAndAModeIsKeptOnlyOnceTheDeviceHasIt)
{
    CGameConfig& config = CGameConfig::GetInstance();
    config.Width = 640;
    config.Height = 480;
    config.IsWindowed = true;
    ASSERT_EQ(InitFailure(), "");
    EXPECT_TRUE(CDirectX9::IsFullScreenModeListed(640, 480));
    EXPECT_FALSE(CDirectX9::IsFullScreenModeListed(320, 240));
    const D3DPRESENT_PARAMETERS before = CDirectX9::PresentParameters;
    auto failure = [](UINT w, UINT h, bool windowed, bool vsync) -> std::string {
        try {
            CDirectX9::ChangeScreenMode(w, h, windowed, vsync);
        } catch (const char* text) {
            return text;
        }
        return "";
    };
    auto unchanged = [&] {
        EXPECT_EQ(config.Width, 640);
        EXPECT_EQ(config.Height, 480);
        EXPECT_TRUE(config.IsWindowed);
        EXPECT_FALSE(config.IsVsyncWait);
        EXPECT_EQ(std::memcmp(&CDirectX9::PresentParameters, &before, sizeof before), 0);
        // The device draws on in the old mode: no reset is left for the next frame to retry.
        ASSERT_TRUE(CDirectX9::BeginRender());
        EXPECT_TRUE(CDirectX9::EndRender());
        EXPECT_EQ(qvtest::ReadBackBuffer(CDirectX9::Device).width, 160);
    };
    EXPECT_EQ(failure(320, 240, false, true), "Failed CDirectX9::ChangeScreenMode EnumAdapterModes");
    unchanged();
    // A reset that the device refuses (no back buffer of this size) goes back to the old mode.
    EXPECT_EQ(failure(16384, 16384, true, true), "Failed CDirectX9::ChangeScreenMode Reset");
    unchanged();

    EXPECT_EQ(failure(640, 480, false, true), "");
    EXPECT_FALSE(config.IsWindowed);
    EXPECT_TRUE(config.IsVsyncWait);
}

} // namespace

namespace {

// No display at all (no X server, no EGL): there is no window to draw in, CreateDevice fails
// and the device owner throws its text.
TEST(DeviceOwnerWithoutDisplay, InitThrowsItsText)
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        GTEST_SKIP() << "video already started in this process";
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    HWND window = qvtest::MakeDeviceWindow(160, 120);
    std::string failure;
    try {
        g_DirectX9.Init(window, 160, 120, true, true);
    } catch (const char* text) {
        failure = text;
    }
    EXPECT_EQ(failure, "Failed CDirectX9::Init CreateDevice");
    EXPECT_EQ(CDirectX9::Device, nullptr);
    CDirectX9::Release();
    if (window)
        DestroyWindow(window);
}

} // namespace
