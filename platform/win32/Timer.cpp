// Timing: the performance counter over the host's monotonic clock, the multimedia timer's
// period and millisecond time, and Sleep. Tests may put a fake clock behind all of them.
#include <sched.h>
#include <time.h>

#include <cerrno>

#include "platform/win32/TestHooks.h"
#include "platform/win32/Win32.h"

namespace {

// Plain pointers and integers only: the game may ask for the time during static
// initialisation, before any object with a constructor in this file would be built.
const qv::test::FakeClock* g_fakeClock = nullptr;
bool g_qpcFails = false;
bool g_beginPeriodFails = false;
UINT g_beginPeriodMinimum = 1;

// Periods asked for and not yet ended, counted per period as Windows does.
const UINT kMaxPeriod = 1000;
UINT g_periodCounts[kMaxPeriod + 1];

const int64_t kNanosecondsPerSecond = 1000000000;

int64_t MonotonicNanoseconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * kNanosecondsPerSecond + ts.tv_nsec;
}

} // namespace

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount)
{
    if (!lpPerformanceCount || g_qpcFails)
        return FALSE;
    lpPerformanceCount->QuadPart = g_fakeClock ? g_fakeClock->now() : MonotonicNanoseconds();
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency)
{
    if (!lpFrequency)
        return FALSE;
    lpFrequency->QuadPart = g_fakeClock ? g_fakeClock->frequency : kNanosecondsPerSecond;
    return TRUE;
}

DWORD timeGetTime()
{
    if (g_fakeClock) {
        const int64_t ticks = g_fakeClock->now();
        const int64_t frequency = g_fakeClock->frequency;
        return static_cast<DWORD>(ticks / frequency * 1000 + ticks % frequency * 1000 / frequency);
    }
    // Milliseconds of the monotonic clock, wrapping at 2^32 as Windows' does after 49.7 days.
    return static_cast<DWORD>(MonotonicNanoseconds() / 1000000);
}

MMRESULT timeBeginPeriod(UINT uPeriod)
{
    if (g_beginPeriodFails || uPeriod < g_beginPeriodMinimum || uPeriod == 0 || uPeriod > kMaxPeriod)
        return TIMERR_NOCANDO;
    ++g_periodCounts[uPeriod];
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT uPeriod)
{
    if (uPeriod == 0 || uPeriod > kMaxPeriod || g_periodCounts[uPeriod] == 0)
        return TIMERR_NOCANDO;
    --g_periodCounts[uPeriod];
    return TIMERR_NOERROR;
}

void Sleep(DWORD dwMilliseconds)
{
    if (g_fakeClock) {
        if (g_fakeClock->sleep)
            g_fakeClock->sleep(dwMilliseconds);
        return;
    }
    if (dwMilliseconds == 0) {
        // Windows gives up the rest of the time slice.
        sched_yield();
        return;
    }
    timespec ts;
    ts.tv_sec = static_cast<time_t>(dwMilliseconds / 1000);
    ts.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

namespace qv::test {

void SetFakeClock(const FakeClock* clock) { g_fakeClock = clock; }
void SetQueryPerformanceCounterFails(bool fails) { g_qpcFails = fails; }
void SetTimeBeginPeriodFails(bool fails) { g_beginPeriodFails = fails; }
void SetTimeBeginPeriodMinimum(UINT minimum) { g_beginPeriodMinimum = minimum; }
UINT GetTimePeriodCount(UINT period) { return period <= kMaxPeriod ? g_periodCounts[period] : 0; }

} // namespace qv::test
