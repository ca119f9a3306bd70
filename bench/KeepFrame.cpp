// How closely KeepFrame holds the game's 16667 µs frame on this machine, with the real clock:
// the median and 99th percentile of the frame period over 600 frames, with no work in the
// frame and with 5 ms of busy work in it.
#include <algorithm>
#include <cstdio>
#include <vector>

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

void Measure(const char* name, LONGLONG workMicroseconds)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double ticksPerMicrosecond = static_cast<double>(frequency.QuadPart) / 1e6;

    KeepFrame(kPeriod); // start the measurement from a frame boundary
    std::vector<double> periods;
    periods.reserve(kFrames);
    LONGLONG last = Now();
    for (int i = 0; i < kFrames; ++i) {
        const LONGLONG workEnd = last + static_cast<LONGLONG>(workMicroseconds * ticksPerMicrosecond);
        while (Now() < workEnd) {
        }
        KeepFrame(kPeriod);
        const LONGLONG now = Now();
        periods.push_back(static_cast<double>(now - last) / ticksPerMicrosecond);
        last = now;
    }
    std::sort(periods.begin(), periods.end());
    const double median = periods[periods.size() / 2];
    const double p99 = periods[static_cast<size_t>(periods.size() * 0.99)];
    std::printf("%-14s median %8.1f us (%+6.1f)  p99 %8.1f us (%+7.1f)  max %8.1f us  FPS %.2f  load %.3f\n", name,
                median, median - kPeriod, p99, p99 - kPeriod, periods.back(), g_fFPS, g_fCPULoad);
}

} // namespace

int main()
{
    if (!InitTimer()) {
        std::fprintf(stderr, "InitTimer failed\n");
        return 1;
    }
    std::printf("KeepFrame(%u), %d frames each\n", static_cast<unsigned>(kPeriod), kFrames);
    Measure("idle frames", 0);
    Measure("5 ms of work", 5000);
    ReleaseTimer();
    return 0;
}
