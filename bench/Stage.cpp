// The first stage with the generated city: building it (528 models, 24 textures, the building
// list and the actors) must stay well under a second, and one frame of its update (camera,
// moves, draw queue, every collision test, breaking and the falling pieces) far below the
// 16.7 ms of a frame. A frame with a building's 64 pieces falling, and a drawn frame, too.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/CCharacterSystem.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "game/CRina.h"
#include "game/CStage01.h"
#include "platform/platform.h"
#include "render/CDirectX9.h"

namespace {

LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// A device on a small window, working in a folder whose ".\data" is the generated tree.
struct Surroundings {
    bool ready = false;

    Surroundings()
    {
        namespace fs = std::filesystem;
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("QV_MESSAGEBOX", "auto", 0);
        const fs::path dir = fs::temp_directory_path() / "qv_bench_stage";
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::create_directory_symlink(fs::path(QV_RUN_DIR) / "data", dir / "data");
        if (chdir(dir.c_str()) != 0)
            return;
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QvBenchStage";
        RegisterClassExA(&wc);
        HWND window = CreateWindowExA(0, "QvBenchStage", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        if (!window)
            return;
        try {
            g_DirectX9.Init(window, 320, 240, true, true);
        } catch (const char* text) {
            std::fprintf(stderr, "%s\n", text);
            return;
        }
        // No sound device here; with the setting off nothing is even tried.
        CGameConfig::GetInstance().IsSoundOn = false;
        ready = true;
    }
};

bool Ready(benchmark::State& state)
{
    static Surroundings surroundings;
    if (!surroundings.ready)
        state.SkipWithError("no device or no generated data");
    return surroundings.ready;
}

CStage01* BuildStage(benchmark::State& state)
{
    try {
        return new CStage01();
    } catch (const char* text) {
        state.SkipWithError(text);
        return nullptr;
    }
}

void BM_BuildStage(benchmark::State& state)
{
    if (!Ready(state))
        return;
    CCharacterSystem system;
    size_t buildings = 0;
    for (auto _ : state) {
        CStage01* stage = BuildStage(state);
        if (!stage)
            return;
        buildings = stage->Buildings.size();
        state.PauseTiming();
        system.DeleteAll();
        state.ResumeTiming();
    }
    state.counters["buildings"] = static_cast<double>(buildings);
}
BENCHMARK(BM_BuildStage)->Unit(benchmark::kMillisecond);

// Frames of the whole update pass with Rina walking through the city, after `warm` frames.
void RunUpdates(benchmark::State& state, bool breakFirst, bool draw)
{
    if (!Ready(state))
        return;
    CCharacterSystem system;
    CStage01* stage = BuildStage(state);
    if (!stage)
        return;
    g_Input.Pressed[INPUT_UP] = true;
    if (breakFirst)
        stage->BreakBuilding(0);
    for (int i = 0; i < 30; ++i) {
        system.UpdateAll();
        system.DeleteDead();
    }
    for (auto _ : state) {
        system.UpdateAll();
        if (draw && CDirectX9::BeginRender()) {
            system.DrawAll();
            CDirectX9::EndRender();
        }
        system.DeleteDead();
        // The pieces fall only so long: keep some falling.
        if (breakFirst && stage->Debris.size() < 64 && !stage->Buildings.empty()) {
            state.PauseTiming();
            stage->BreakBuilding(0);
            state.ResumeTiming();
        }
    }
    state.counters["buildings"] = static_cast<double>(stage->Buildings.size());
    state.counters["pieces"] = static_cast<double>(stage->Debris.size());
    state.counters["queued"] = static_cast<double>(stage->DrawRequests.size());
    g_Input.Pressed[INPUT_UP] = false;
    system.DeleteAll();
}

void BM_UpdateFrame(benchmark::State& state) { RunUpdates(state, false, false); }
BENCHMARK(BM_UpdateFrame)->Unit(benchmark::kMicrosecond);

void BM_UpdateFrameWithFallingPieces(benchmark::State& state) { RunUpdates(state, true, false); }
BENCHMARK(BM_UpdateFrameWithFallingPieces)->Unit(benchmark::kMicrosecond);

// Update and draw at 320x240 through the software rasteriser: an upper bound for a real card.
void BM_UpdateAndDrawFrame(benchmark::State& state) { RunUpdates(state, false, true); }
BENCHMARK(BM_UpdateAndDrawFrame)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
