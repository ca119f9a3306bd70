#include "RenderTestDevice.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "render/CDirectX9.h"
#include "support/D3D9Fixture.h"

namespace rendertest {

namespace {

HWND g_window = nullptr;

} // namespace

bool OpenDevice(UINT width, UINT height, std::string* error)
{
    g_window = qvtest::MakeDeviceWindow(static_cast<int>(width), static_cast<int>(height));
    if (!g_window) {
        if (error) *error = "CreateWindowExA failed";
        return false;
    }
    try {
        g_DirectX9.Init(g_window, width, height, true, true);
    } catch (const char* text) {
        if (error) *error = text;
        return false;
    }
    return true;
}

void CloseDevice()
{
    g_DirectX9.Release();
    if (g_window) DestroyWindow(g_window);
    g_window = nullptr;
}

bool BeginFrame(DWORD clearColor)
{
    CDirectX9::ClearRecord param = {};
    param.Count = 0;
    param.Rects = nullptr;
    param.Flags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
    param.Color = clearColor;
    param.Z = 1.0f;
    param.Stencil = 0;
    g_DirectX9.SetClearParam(param);
    return g_DirectX9.BeginRender();
}

qvtest::Image EndFrameAndRead()
{
    g_pDevice->EndScene();
    qvtest::Image image = qvtest::ReadBackBuffer(g_pDevice);
    // The back buffer has no meaningful alpha.
    for (size_t i = 3; i < image.rgba.size(); i += 4) image.rgba[i] = 255;
    return image;
}

std::string EnterTempDir(const std::string& name)
{
    // Test cases run in parallel processes: each gets a folder of its own.
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string dir =
        qvtest::MakeTempDir(test ? name + "." + test->test_suite_name() + "." + test->name() : name);
    if (chdir(dir.c_str()) != 0) return std::string();
    return dir;
}

} // namespace rendertest
