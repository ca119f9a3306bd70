#include "StageFixture.h"

#include <unistd.h>

#include <filesystem>

#include "app/CCharacterSystem.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "render/CDirectX9.h"
#include "support/D3D9Fixture.h"

namespace stagetest {

namespace {
HWND g_window = nullptr;
} // namespace

std::string EnterStageDir(const char* map, bool withMap)
{
    namespace fs = std::filesystem;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string dir = qvtest::MakeTempDir(std::string("Stage.") + test->test_suite_name() + "." + test->name());
    if (chdir(dir.c_str()) != 0)
        return std::string();
    const fs::path data = qvtest::RunDir() + "/data";
    fs::create_directories("data/stage");
    for (const char* sub : {"graphics", "shader", "sound", "xfile"})
        fs::create_directory_symlink(data / sub, fs::path("data") / sub);
    if (withMap) {
        if (map)
            qvtest::WriteFileText("data/stage/Stage1Map.dat", map);
        else
            fs::copy_file(data / "stage" / "Stage1Map.dat", "data/stage/Stage1Map.dat");
    }
    return dir;
}

bool OpenDevice(UINT width, UINT height, bool stencil, std::string* error)
{
    g_window = qvtest::MakeDeviceWindow(static_cast<int>(width), static_cast<int>(height));
    if (!g_window) {
        *error = "CreateWindowExA failed";
        return false;
    }
    try {
        g_DirectX9.Init(g_window, width, height, true, stencil);
    } catch (const char* text) {
        *error = text;
        return false;
    }
    return true;
}

void CloseDevice()
{
    g_DirectX9.Release();
    if (g_window)
        DestroyWindow(g_window);
    g_window = nullptr;
}

void RunFrame(bool draw)
{
    CCharacterSystem system;
    system.UpdateAll();
    if (draw && CDirectX9::BeginRender()) {
        system.DrawAll();
        CDirectX9::EndRender();
    }
    system.DeleteDead();
}

qvtest::Image DrawFrameAndRead()
{
    CCharacterSystem system;
    qvtest::Image image;
    if (!CDirectX9::BeginRender())
        return image;
    system.DrawAll();
    g_pDevice->EndScene();
    image = qvtest::ReadBackBuffer(g_pDevice);
    for (size_t i = 3; i < image.rgba.size(); i += 4)
        image.rgba[i] = 255;
    return image;
}

void StageTest::SetUp()
{
    ASSERT_FALSE(EnterStageDir(Map()).empty());
    std::string error;
    ASSERT_TRUE(OpenDevice(Width(), Width() * 3 / 4, Stencil(), &error)) << error;
    // No sound device is opened by these tests; the sound setting still decides what is tried.
    CGameConfig::GetInstance().IsSoundOn = true;
    for (int b = 0; b < INPUT_BUTTON_NUM; ++b)
        g_Input.Pressed[b] = g_Input.Triggered[b] = false;
}

void StageTest::TearDown()
{
    CCharacterSystem().DeleteAll();
    CloseDevice();
}

} // namespace stagetest
