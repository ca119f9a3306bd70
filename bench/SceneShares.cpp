// Each scene's frames as the game runs them (update, clear, draw, present, deletion), paced at
// 60 a second at 640x480: the share of the 16.667 ms frame that the work takes (median and 90th
// percentile of the frames after the first), the first frame's time and the slowest frame after
// it, with the OpenGL calls and draws of a median frame, which repeat exactly from run to run
// where wall time does not. Mesa's llvmpipe spreads its rasterising over LP_NUM_THREADS threads.
//
// Run: SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=8 build-main/bench/bench_SceneShares [--no-pace] [name...]
// Names: logo opening title stage walking top broken (default: all).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "GameDevice.h"
#include "app/CCharacterSystem.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "game/CLogoScene.h"
#include "game/COpeningScene.h"
#include "game/CTitleScene.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/platform.h"
#include "render/CDirectX9.h"
#include "sound/Sound.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFrameMs = 16.667;

struct FrameRecord {
    double ms;
    double mainCpuMs;  // this thread's processor time: the game, the layer and Mesa's front end
    double allCpuMs;   // every thread's, Mesa's rasterising threads too
    double updateMs, drawMs, presentMs; // wall time of the update, the draw pass and the rest
    uint64_t glCalls;
    uint64_t draws;
};

double CpuMs(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

bool g_pace = true;
CCharacterSystem* g_system = nullptr;

// One frame of the game's frame function with the keys given, timed as the game times it.
FrameRecord Frame()
{
    const Clock::time_point start = Clock::now();
    const double mainCpu = CpuMs(CLOCK_THREAD_CPUTIME_ID), allCpu = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const uint64_t calls = qv::test::OpenGlCallCount();
    const uint64_t draws = qv::test::OpenGlDrawCount();
    g_system->UpdateAll();
    const Clock::time_point updated = Clock::now();
    Clock::time_point drawn = updated;
    if (CDirectX9::BeginRender()) {
        g_system->DrawAll();
        drawn = Clock::now();
        CDirectX9::EndRender();
    }
    g_system->DeleteDead();
    const Clock::time_point end = Clock::now();
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    const double mainCpuMs = CpuMs(CLOCK_THREAD_CPUTIME_ID) - mainCpu;
    const double allCpuMs = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - allCpu;
    std::fill(std::begin(g_Input.Triggered), std::end(g_Input.Triggered), false);
    if (g_pace)
        std::this_thread::sleep_until(start + std::chrono::microseconds(16667));
    return FrameRecord{ms(end - start), mainCpuMs, allCpuMs, ms(updated - start), ms(drawn - updated), ms(end - drawn),
                       qv::test::OpenGlCallCount() - calls, qv::test::OpenGlDrawCount() - draws};
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, static_cast<size_t>(std::ceil(p * values.size())) - 1);
    return values[i];
}

void Report(const char* name, const std::vector<FrameRecord>& frames)
{
    if (frames.empty())
        return;
    std::vector<double> ms, mainCpu, allCpu, update, draw, present, calls, draws;
    for (size_t i = 1; i < frames.size(); ++i) {
        ms.push_back(frames[i].ms);
        update.push_back(frames[i].updateMs);
        draw.push_back(frames[i].drawMs);
        present.push_back(frames[i].presentMs);
        mainCpu.push_back(frames[i].mainCpuMs);
        allCpu.push_back(frames[i].allCpuMs);
        calls.push_back(static_cast<double>(frames[i].glCalls));
        draws.push_back(static_cast<double>(frames[i].draws));
    }
    const double worst = ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end());
    const size_t over = static_cast<size_t>(std::count_if(ms.begin(), ms.end(), [](double t) { return t > 20.0; }));
    std::printf("%-8s %4zu frames  median %5.1f %%  p90 %5.1f %%  first %5.1f ms  worst after %5.1f ms (%3zu > 20)"
                "  update/draw/present %4.2f/%4.2f/%4.2f ms  cpu main %5.2f all %5.2f ms"
                "  gl calls %5.0f (max %5.0f)  draws %4.0f (max %4.0f)\n",
                name, frames.size(), 100.0 * Percentile(ms, 0.5) / kFrameMs, 100.0 * Percentile(ms, 0.9) / kFrameMs,
                frames[0].ms, worst, over, Percentile(update, 0.5), Percentile(draw, 0.5), Percentile(present, 0.5),
                Percentile(mainCpu, 0.5), Percentile(allCpu, 0.5), Percentile(calls, 0.5),
                Percentile(calls, 1.0), Percentile(draws, 0.5), Percentile(draws, 1.0));
    std::fflush(stdout);
}

std::vector<FrameRecord> Run(int frames, const std::function<void(int)>& before = nullptr)
{
    std::vector<FrameRecord> records;
    for (int i = 0; i < frames; ++i) {
        if (before)
            before(i);
        records.push_back(Frame());
    }
    return records;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-pace") == 0)
            g_pace = false;
        else
            wanted.emplace_back(argv[i]);
    }
    auto want = [&](const char* name) {
        return wanted.empty() || std::find(wanted.begin(), wanted.end(), name) != wanted.end();
    };
    HWND window = bench::OpenGameDevice("shares", 640, 480);
    if (!window)
        return 2;
    SoundInit(window);
    const char* threads = std::getenv("LP_NUM_THREADS");
    std::printf("640x480, LP_NUM_THREADS=%s, %s\n", threads ? threads : "(Mesa's default)",
                g_pace ? "paced at 60 frames a second" : "unpaced");
    CCharacterSystem system;
    g_system = &system;
    try {
        if (want("logo")) {
            new CLogoScene();
            Report("logo", Run(500));
            system.DeleteAll();
        }
        if (want("opening")) {
            new COpeningScene();
            Report("opening", Run(780));
            system.DeleteAll();
        }
        if (want("title")) {
            new CTitleScene();
            Report("title", Run(300));
            system.DeleteAll();
        }
        if (want("stage") || want("walking") || want("top") || want("broken")) {
            CStage01* stage = new CStage01();
            std::vector<FrameRecord> frames = Run(300);
            if (want("stage"))
                Report("stage", frames);
            if (want("walking")) {
                g_Input.Pressed[INPUT_UP] = true;
                Report("walking", Run(300));
                g_Input.Pressed[INPUT_UP] = false;
            }
            if (want("top") || want("broken")) {
                g_Input.Triggered[INPUT_F8] = true;
                frames = Run(300);
                if (want("top"))
                    Report("top", frames);
            }
            if (want("broken")) {
                bench::BreakNearest(*stage, 5);
                Report("broken", Run(300));
            }
            system.DeleteAll();
        }
    } catch (const char* text) {
        std::fprintf(stderr, "%s\n", text);
        return 1;
    }
    SoundRelease();
    CDirectX9::Release();
    return 0;
}
