#include "app/FrameTimer.h"

float g_fFPS = 0.0f;
float g_fCPULoad = 0.0f;

namespace {

const int kHistory = 10;

bool g_bUsePerformanceCounter = false;
bool g_bInitialized = false;
UINT g_uTimerPeriod = 0;
LONGLONG g_llFrequency = 0;
LONGLONG g_llLastCounter = 0;
DWORD g_dwLastTime = 0;
LONGLONG g_llTarget = 0;
LONGLONG g_llRemaining = 0;
float g_fFrameRate = 0.0f;
float g_FrameRateHistory[kHistory];
float g_fFrameLoad = 0.0f;
float g_LoadHistory[kHistory];

// value x scale / divisor, truncated, without the overflow of forming value x scale first:
// the counter can be large (the first frame measures from 0).
LONGLONG ScaleTicks(LONGLONG value, LONGLONG scale, LONGLONG divisor)
{
    return value / divisor * scale + value % divisor * scale / divisor;
}

// How long before the frame's end the coarse sleep stops: Sleep can wake up to a timer period
// late, so two periods where a fine one was granted; 10 ms, the margin for the system's default
// tick, where none finer was.
LONGLONG SleepMarginMilliseconds()
{
    return g_uTimerPeriod != 0 && g_uTimerPeriod <= 5 ? 2 * static_cast<LONGLONG>(g_uTimerPeriod) : 10;
}

// The coarse part of the wait, for a frame whose work took `elapsedMs` whole milliseconds; a
// frame with less than the margin left still yields once.
void SleepCoarsely(LONGLONG elapsedMs)
{
    const LONGLONG sleepMs = g_llTarget / 1000 - SleepMarginMilliseconds() - elapsedMs;
    Sleep(sleepMs > 0 ? static_cast<DWORD>(sleepMs) : 0);
}

float PushHistory(float* history, float value)
{
    float sum = 0.0f;
    for (int i = 0; i < kHistory - 1; ++i) {
        history[i] = history[i + 1];
        sum += history[i];
    }
    history[kHistory - 1] = value;
    return (sum + value) * 0.1f;
}

void KeepFramePerformanceCounter()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    LONGLONG elapsed = now.QuadPart - g_llLastCounter;
    g_llRemaining = g_llTarget - ScaleTicks(elapsed, 1000000, g_llFrequency);

    if (g_llRemaining > 0) {
        // Sleep coarsely to shortly before the end, then spin on the counter for precision.
        SleepCoarsely(ScaleTicks(elapsed, 1000, g_llFrequency));
        const LONGLONG targetTicks = ScaleTicks(g_llTarget, g_llFrequency, 1000000);
        do {
            QueryPerformanceCounter(&now);
            elapsed = now.QuadPart - g_llLastCounter;
        } while (elapsed <= targetTicks);
    }
    g_fFrameRate = static_cast<float>(static_cast<double>(g_llFrequency) / static_cast<double>(elapsed));
    g_llLastCounter = now.QuadPart;
}

void KeepFrameMultimediaTimer()
{
    DWORD now = timeGetTime();
    g_llRemaining = g_llTarget - 1000 * static_cast<LONGLONG>(static_cast<DWORD>(now - g_dwLastTime));
    if (g_llRemaining > 0) {
        // The same wait on the multimedia timer's milliseconds: one sleep, then a spin, so that
        // no sleep's lateness lengthens the frame.
        SleepCoarsely(static_cast<DWORD>(now - g_dwLastTime));
        do {
            now = timeGetTime();
        } while (static_cast<LONGLONG>(static_cast<DWORD>(now - g_dwLastTime)) < g_llTarget / 1000);
    }
    g_fFrameRate = 1000.0f / static_cast<float>(static_cast<DWORD>(now - g_dwLastTime));
    g_dwLastTime = now;
}

} // namespace

bool InitTimer()
{
    // The finest timer period the system grants, on both paths: it is also the granularity
    // of Sleep, whose default tick of about 15.6 ms would wake the counter path's coarse
    // sleep long after the frame's end. A period held from an earlier start is kept.
    if (g_uTimerPeriod == 0) {
        UINT period = 1;
        while (period < 1000 && timeBeginPeriod(period) != TIMERR_NOERROR)
            ++period;
        if (period < 1000)
            g_uTimerPeriod = period;
    }
    LARGE_INTEGER scratch;
    LARGE_INTEGER frequency;
    if (QueryPerformanceCounter(&scratch) && QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
        g_llFrequency = frequency.QuadPart;
        g_bUsePerformanceCounter = true;
        g_bInitialized = true;
        return true;
    }
    // Without the counter the multimedia timer is the clock, and it needs its period. A start
    // after an earlier one must not keep the earlier one's clock.
    g_bUsePerformanceCounter = false;
    g_bInitialized = g_uTimerPeriod != 0;
    return g_bInitialized;
}

bool KeepFrame(DWORD period)
{
    g_llTarget = static_cast<LONG>(period);
    if (!g_bInitialized || g_llTarget < 0)
        return false;

    if (g_bUsePerformanceCounter)
        KeepFramePerformanceCounter();
    else
        KeepFrameMultimediaTimer();

    g_fFPS = PushHistory(g_FrameRateHistory, g_fFrameRate);
    g_fFrameLoad = 1.0f - static_cast<float>(static_cast<double>(g_llRemaining) / static_cast<double>(g_llTarget));
    g_fCPULoad = PushHistory(g_LoadHistory, g_fFrameLoad);
    return true;
}

bool ReleaseTimer()
{
    // The period is given back once, whichever path asked for it.
    if (g_uTimerPeriod == 0)
        return true;
    const UINT period = g_uTimerPeriod;
    g_uTimerPeriod = 0;
    return timeEndPeriod(period) == TIMERR_NOERROR;
}
