// How closely KeepFrame holds the game's 16667 µs frame on this machine, with the real clock,
// and what the wait costs: the median and 99th percentile of the frame period over 600 frames,
// with no work in the frame, with 5 ms of busy work in it, and as the paused game runs them (a
// still picture cleared and presented by the device owner each frame); and the main thread's
// processor time per frame, of which the paused game's is mostly the wait.
//
// Run: build/bench/bench_KeepFrame (the paused frames need the generated data and a display,
// or SDL_VIDEODRIVER=offscreen, which the program sets when nothing else is named).
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "GameDevice.h"
#include "app/FrameTimer.h"

namespace {

const DWORD kPeriod = 16667;
const int kFrames = 600;

LONGLONG Now()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double ThreadCpuMicroseconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

// Runs `frame` then KeepFrame kFrames times and prints the periods and the thread's processor
// time per frame.
void Measure(const char* name, const std::function<void()>& frame)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double ticksPerMicrosecond = static_cast<double>(frequency.QuadPart) / 1e6;

    frame(); // a first frame of its own: the first present sets up what later ones reuse
    KeepFrame(kPeriod); // start the measurement from a frame boundary
    std::vector<double> periods;
    periods.reserve(kFrames);
    LONGLONG last = Now();
    const double cpuStart = ThreadCpuMicroseconds();
    for (int i = 0; i < kFrames; ++i) {
        frame();
        KeepFrame(kPeriod);
        const LONGLONG now = Now();
        periods.push_back(static_cast<double>(now - last) / ticksPerMicrosecond);
        last = now;
    }
    const double cpuPerFrame = (ThreadCpuMicroseconds() - cpuStart) / kFrames;
    std::sort(periods.begin(), periods.end());
    const double median = periods[periods.size() / 2];
    const double p99 = periods[static_cast<size_t>(periods.size() * 0.99)];
    std::printf("%-14s median %8.1f us (%+6.1f)  p99 %8.1f us (%+7.1f)  max %8.1f us  CPU %7.1f us/frame (%4.1f%%)\n",
                name, median, median - kPeriod, p99, p99 - kPeriod, periods.back(), cpuPerFrame,
                100.0 * cpuPerFrame / kPeriod);
}

void BusyWork(LONGLONG microseconds)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const LONGLONG end = Now() + microseconds * frequency.QuadPart / 1000000;
    while (Now() < end) {
    }
}

} // namespace

int main()
{
    if (!InitTimer()) {
        std::fprintf(stderr, "InitTimer failed\n");
        return 1;
    }
    std::printf("KeepFrame(%u), %d frames each\n", static_cast<unsigned>(kPeriod), kFrames);
    Measure("idle frames", [] {});
    Measure("5 ms of work", [] { BusyWork(5000); });
    // The paused game: nothing updates, and the same picture is drawn and presented each frame.
    if (bench::OpenGameDevice("KeepFrame", 640, 480)) {
        Measure("paused game", [] {
            if (CDirectX9::BeginRender())
                CDirectX9::EndRender();
        });
        CDirectX9::Release();
    }
    ReleaseTimer();
    return 0;
}
