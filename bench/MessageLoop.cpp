// The window layer's share of a frame: the game's loop asks PeekMessageA (with a message hook
// installed) before every frame, takes every waiting message through TranslateAcceleratorA,
// TranslateMessage and DispatchMessageA, and presents through SwapGlWindow, which draws the
// menu strip. Each should cost a small part of a 16.7 ms frame.
//
// Run: SDL_VIDEODRIVER=offscreen build/bench/bench_MessageLoop
#include <benchmark/benchmark.h>

#include "platform/platform.h"
#include "platform/win32/SdlWindow.h"

namespace {

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

HHOOK g_hook = nullptr;
LRESULT CALLBACK Hook(int code, WPARAM w, LPARAM l) { return CallNextHookEx(g_hook, code, w, l); }

HWND GameWindow()
{
    static HWND window = [] {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "BenchWindow";
        wc.lpszMenuName = MAKEINTRESOURCEA(109);
        RegisterClassExA(&wc);
        HWND w = CreateWindowExA(0, "BenchWindow", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 648, 527, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ShowWindow(w, SW_SHOW);
        g_hook = SetWindowsHookExA(WH_GETMESSAGE, Hook, nullptr, GetCurrentThreadId());
        return w;
    }();
    return window;
}

void BM_PeekEmptyQueue(benchmark::State& state)
{
    GameWindow();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    for (auto _ : state)
        benchmark::DoNotOptimize(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}
BENCHMARK(BM_PeekEmptyQueue);

void BM_PostTranslateDispatch(benchmark::State& state)
{
    HWND w = GameWindow();
    HACCEL accel = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(109));
    MSG msg;
    for (auto _ : state) {
        PostMessageA(w, WM_APP, 1, 2);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!TranslateAcceleratorA(msg.hwnd, accel, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
}
BENCHMARK(BM_PostTranslateDispatch);

// The layer's part of presenting: the copy of the frame kept for menus, boxes and repaints, and
// the strip.
void BM_SwapWithMenuStrip(benchmark::State& state)
{
    HWND w = GameWindow();
    qv::MakeGlCurrent(w);
    for (auto _ : state)
        qv::SwapGlWindow(w);
}
BENCHMARK(BM_SwapWithMenuStrip)->Unit(benchmark::kMicrosecond);

// The same window without its menu: the kept copy and the swap without the strip, for comparison.
void BM_SwapWithoutMenu(benchmark::State& state)
{
    HWND w = GameWindow();
    HMENU menu = GetMenu(w);
    SetMenu(w, nullptr);
    qv::MakeGlCurrent(w);
    for (auto _ : state)
        qv::SwapGlWindow(w);
    SetMenu(w, menu);
}
BENCHMARK(BM_SwapWithoutMenu)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
