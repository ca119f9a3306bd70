// What the benchmarks that run the game's own scenes share: the device owner on a game-sized
// window, in a scratch folder whose ".\data" is the generated tree, and the stage's heaviest
// moment, five buildings broken at once.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "game/CRina.h"
#include "game/CStage01.h"
#include "platform/platform.h"
#include "render/CDirectX9.h"

namespace bench {

inline LRESULT CALLBACK GameWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// The device on a `width` x `height` window; null (with the reason on standard error) when
// there is no display or no generated data.
inline HWND OpenGameDevice(const char* name, UINT width, UINT height)
{
    namespace fs = std::filesystem;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QV_MESSAGEBOX", "auto", 0);
    const fs::path dir = fs::temp_directory_path() / (std::string("qv_bench_") + name + "_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::error_code ec;
    fs::create_directory_symlink(fs::path(QV_RUN_DIR) / "data", dir / "data", ec);
    if (ec || chdir(dir.c_str()) != 0) {
        std::fprintf(stderr, "no scratch folder with the generated data\n");
        return nullptr;
    }
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = GameWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = name;
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, name, name, WS_OVERLAPPEDWINDOW, 0, 0, static_cast<int>(width),
                                  static_cast<int>(height), nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) {
        std::fprintf(stderr, "no window (is there a display, or SDL_VIDEODRIVER=offscreen?)\n");
        return nullptr;
    }
    try {
        g_DirectX9.Init(window, width, height, true, true);
    } catch (const char* text) {
        std::fprintf(stderr, "%s\n", text);
        return nullptr;
    }
    return window;
}

// The `count` standing buildings nearest to Rina, broken at once (highest index first, so that
// erasing one leaves the others' indices as they were).
inline void BreakNearest(CStage01& stage, size_t count)
{
    std::vector<std::pair<float, size_t>> byDistance;
    for (size_t i = 0; i < stage.Buildings.size(); ++i) {
        const D3DXMATRIX& w = stage.Buildings[i].World;
        const float dx = w._41 - stage.Rina->Position.x, dz = w._43 - stage.Rina->Position.z;
        byDistance.emplace_back(dx * dx + dz * dz, i);
    }
    std::sort(byDistance.begin(), byDistance.end());
    byDistance.resize(std::min(count, byDistance.size()));
    std::sort(byDistance.begin(), byDistance.end(), [](auto& a, auto& b) { return a.second > b.second; });
    for (const auto& entry : byDistance)
        stage.BreakBuilding(entry.second);
}

} // namespace bench
