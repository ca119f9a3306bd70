// Hooks through which tests replace the layer's clock and input devices, so that timing and
// input can be tested without waiting or a person at the keys. Not used by the game itself.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/win32/WinTypes.h"

namespace qv::test {

// A fake clock: QueryPerformanceCounter answers ticks of `frequency` per second from `now()`,
// and Sleep(ms) calls `sleep(ms)` instead of sleeping. timeGetTime follows the same clock.
struct FakeClock {
    int64_t frequency = 1000000;
    std::function<int64_t()> now;
    std::function<void(DWORD)> sleep;
};
void SetFakeClock(const FakeClock* clock); // null restores the real clock
void SetQueryPerformanceCounterFails(bool fails);
void SetTimeBeginPeriodFails(bool fails);
// timeBeginPeriod refuses periods below `minimum` ms, as on a machine with a coarser timer.
void SetTimeBeginPeriodMinimum(UINT minimum);
// How many timeBeginPeriod(period) calls have not been ended by timeEndPeriod(period).
UINT GetTimePeriodCount(UINT period);

// Keyboard: sets one virtual key's state as GetKeyboardState reports it (down sets bit 7).
void SetKeyDown(int virtualKey, bool down);
void ClearKeys();
void SetKeyboardStateFails(bool fails);

// Joysticks: an injected joystick answers joyGetPosEx and joyGetDevCapsA with these values;
// a joystick that is not injected (or injected as unplugged) answers JOYERR_UNPLUGGED.
struct FakeJoystick {
    bool plugged = true;
    UINT xMin = 0, xMax = 65535, yMin = 0, yMax = 65535, zMin = 0, zMax = 65535;
    UINT numButtons = 4;
    DWORD x = 32767, y = 32767, z = 32767;
    DWORD buttons = 0;
};
void SetFakeJoystick(UINT id, const FakeJoystick* joystick); // null removes it
void UseFakeJoysticksOnly(bool fakeOnly);

} // namespace qv::test
