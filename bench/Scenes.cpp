// Scene frame costs at the game's 640x480: one whole frame (update, clear, draw, present) of the
// logo, the opening, the title, and of a stage moment with 300 smoke puffs. Each must leave
// room in the 16.7 ms frame.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/CCharacter.h"
#include "game/CLogoScene.h"
#include "game/COpeningScene.h"
#include "game/COpeningSmoke.h"
#include "game/CTitleScene.h"
#include "game/SceneSteps.h"
#include "platform/platform.h"
#include "render/CDirectX9.h"
#include "sound/Sound.h"

namespace {

LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// A device owner and the sound front end on a game-sized window, in a scratch folder that sees
// the generated data.
struct Surroundings {
    bool ready = false;

    Surroundings()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        setenv("QV_MESSAGEBOX", "auto", 0);
        namespace fs = std::filesystem;
        const fs::path dir = fs::temp_directory_path() / "qv_bench_scenes";
        fs::create_directories(dir);
        std::error_code ec;
        fs::remove(dir / "data", ec);
        fs::create_directory_symlink(fs::path(QV_RUN_DIR) / "data", dir / "data", ec);
        if (ec || chdir(dir.c_str()) != 0) return;
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QvBenchScenes";
        RegisterClassExA(&wc);
        HWND window = CreateWindowExA(0, "QvBenchScenes", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        if (!window) return;
        try {
            g_DirectX9.Init(window, 640, 480, true, true);
        } catch (const char* text) {
            std::fprintf(stderr, "%s\n", text);
            return;
        }
        SoundInit(window);
        ready = true;
    }
};

bool Ready(benchmark::State& state)
{
    static Surroundings surroundings;
    if (!surroundings.ready) state.SkipWithError("no device");
    return surroundings.ready;
}

void Frame()
{
    CCharacterSystem system;
    system.UpdateAll();
    if (CDirectX9::BeginRender()) {
        system.DrawAll();
        CDirectX9::EndRender();
    }
    system.DeleteDead();
}

void Clear()
{
    CCharacterSystem().DeleteAll();
}

void BM_LogoFrame(benchmark::State& state)
{
    if (!Ready(state)) return;
    new CLogoScene();
    for (auto _ : state) Frame();
    Clear();
}
// Within the scene's 520 frames.
BENCHMARK(BM_LogoFrame)->Iterations(500)->Unit(benchmark::kMillisecond);

void BM_OpeningFrame(benchmark::State& state)
{
    if (!Ready(state)) return;
    new COpeningScene();
    for (auto _ : state) Frame();
    Clear();
}
BENCHMARK(BM_OpeningFrame)->Iterations(600)->Unit(benchmark::kMillisecond);

void BM_TitleFrame(benchmark::State& state)
{
    if (!Ready(state)) return;
    new CTitleScene();
    for (auto _ : state) Frame();
    Clear();
}
BENCHMARK(BM_TitleFrame)->Iterations(300)->Unit(benchmark::kMillisecond);

// Smoke from a few breaking buildings: 300 puffs alive, drawn each frame.
void BM_SmokeFrame(benchmark::State& state)
{
    if (!Ready(state)) return;
    for (int i = 0; i < 300; ++i)
        new COpeningSmoke(D3DXVECTOR3(static_cast<float>(i % 20) - 10, 0, static_cast<float>(i / 20)),
                          D3DXVECTOR3(0.1f, 0.05f, 0.1f), 5.0f);
    for (auto _ : state) Frame();
    Clear();
}
BENCHMARK(BM_SmokeFrame)->Iterations(150)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
