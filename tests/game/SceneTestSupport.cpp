#include "SceneTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/CGameConfig.h"
#include "platform/dmusic/DMusicTestHooks.h"
#include "render/CDirectX9.h"
#include "sound/Sound.h"
#include "support/D3D9Fixture.h"

namespace scenetest {

namespace {

HWND g_window = nullptr;
bool g_soundOpen = false;

std::string EnterDir(bool withData)
{
    // Test cases run in parallel processes: each gets a folder of its own.
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string dir =
        qvtest::MakeTempDir(test ? std::string("game.") + test->test_suite_name() + "." + test->name() : "game");
    if (withData) {
        std::error_code ec;
        std::filesystem::create_directory_symlink(qvtest::RunDir() + "/data", dir + "/data", ec);
        if (ec) return std::string();
    }
    if (chdir(dir.c_str()) != 0) return std::string();
    return dir;
}

} // namespace

std::string EnterDataDir() { return EnterDir(true); }
std::string EnterEmptyDir() { return EnterDir(false); }

std::string EnterDataDirWithout(const std::string& file, const std::string* replacement)
{
    namespace fs = std::filesystem;
    const std::string dir = EnterDir(false);
    if (dir.empty()) return dir;
    const fs::path source = fs::path(qvtest::RunDir()) / "data";
    std::error_code ec;
    for (fs::recursive_directory_iterator it(source, ec), end; it != end && !ec; it.increment(ec)) {
        const fs::path relative = fs::relative(it->path(), source);
        const fs::path target = fs::path(dir) / "data" / relative;
        if (it->is_directory())
            fs::create_directories(target);
        else if (relative.generic_string() != file)
            fs::create_symlink(it->path(), target, ec);
    }
    if (replacement) qvtest::WriteFileText(dir + "/data/" + file, *replacement);
    return ec ? std::string() : dir;
}

bool OpenDevice(UINT width, UINT height, std::string* error)
{
    g_window = qvtest::MakeDeviceWindow(static_cast<int>(width), static_cast<int>(height));
    if (!g_window) {
        if (error) *error = "CreateWindowExA failed";
        return false;
    }
    CGameConfig::GetInstance().Window = g_window;
    try {
        g_DirectX9.Init(g_window, width, height, true, true);
    } catch (const char* text) {
        if (error) *error = text;
        return false;
    }
    return true;
}

void OpenSound()
{
    // Sound time on the loopback device moves only when a test mixes: what a scene played is
    // still playing when the test looks, however slowly the machine ran the frames.
    qv::test::UseLoopbackAudio(true);
    SoundInit(g_window);
    g_soundOpen = true;
}

void CloseAll()
{
    CCharacterSystem system;
    system.DeleteAll();
    if (g_soundOpen) SoundRelease();
    g_soundOpen = false;
    qv::test::UseLoopbackAudio(false);
    g_DirectX9.Release();
    if (g_window) DestroyWindow(g_window);
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

void RunFrames(int frames, bool draw)
{
    for (int i = 0; i < frames; ++i) RunFrame(draw);
}

qvtest::Image RunFrameAndRead()
{
    CCharacterSystem system;
    system.UpdateAll();
    qvtest::Image image;
    if (CDirectX9::BeginRender()) {
        system.DrawAll();
        g_pDevice->EndScene();
        image = qvtest::ReadBackBuffer(g_pDevice);
        // The back buffer has no meaningful alpha.
        for (size_t i = 3; i < image.rgba.size(); i += 4) image.rgba[i] = 255;
    }
    system.DeleteDead();
    return image;
}

int PlayingChannels()
{
    int n = 0;
    for (int i = 0; i < SOUND_CHANNEL_COUNT; ++i)
        if (g_pSounds[i] && g_pSounds[i]->IsPlaying()) ++n;
    return n;
}

bool IsStreamPlaying(int stream)
{
    return stream >= 0 && stream < SOUND_STREAM_COUNT && g_pStreams[stream] && g_pStreams[stream]->IsPlaying();
}

} // namespace scenetest
