#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/win32/KeyboardState.h"
#include "platform/win32/TestHooks.h"

TEST(Keyboard, StateBytesCarryDownAndToggleBits)
{
    qv::test::ClearKeys();
    BYTE keys[256];
    qv::SetVirtualKeyState('Z', true);
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_EQ(keys['Z'], 0x81);
    EXPECT_LT(GetKeyState('Z'), 0);
    EXPECT_EQ(GetAsyncKeyState('Z') & 0x8000, 0x8000);
    qv::SetVirtualKeyState('Z', true); // auto-repeat does not toggle again
    qv::SetVirtualKeyState('Z', false);
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_EQ(keys['Z'], 0x01);
    EXPECT_EQ(GetKeyState('Z'), 1);
    EXPECT_EQ(GetAsyncKeyState('Z'), 0);

    // Either side holds the side-neutral key.
    qv::SetVirtualKeyState(VK_LSHIFT, true);
    qv::SetVirtualKeyState(VK_RSHIFT, true);
    qv::SetVirtualKeyState(VK_LSHIFT, false);
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    qv::SetVirtualKeyState(VK_RSHIFT, false);
    EXPECT_GE(GetKeyState(VK_SHIFT), 0);

    qv::SetVirtualKeyState(VK_LEFT, true);
    qv::ReleaseAllKeys();
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_EQ(keys[VK_LEFT] & 0x80, 0);

    // Out-of-range keys and a null buffer are refused.
    qv::SetVirtualKeyState(0x100, true);
    qv::SetVirtualKeyState(-1, true);
    EXPECT_EQ(GetKeyState(0x1FF), 0);
    EXPECT_FALSE(GetKeyboardState(nullptr));
    qv::test::SetKeyboardStateFails(true);
    EXPECT_FALSE(GetKeyboardState(keys));
}

TEST(Joystick, AnswersWithWindowsCodesAndRanges)
{
    qv::test::UseFakeJoysticksOnly(true);
    EXPECT_EQ(sizeof(JOYINFOEX), 52u);
    EXPECT_EQ(joyGetNumDevs(), 16u);

    JOYINFOEX info = {};
    info.dwSize = sizeof(info);
    info.dwFlags = JOY_RETURNALL;
    EXPECT_EQ(joyGetPosEx(JOYSTICKID1, &info), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
    EXPECT_EQ(joyGetPosEx(16, &info), static_cast<MMRESULT>(JOYERR_PARMS));
    EXPECT_EQ(joyGetPosEx(JOYSTICKID1, nullptr), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));

    qv::test::FakeJoystick stick;
    stick.x = 0;
    stick.y = 65535;
    stick.buttons = JOY_BUTTON1 | JOY_BUTTON4;
    qv::test::SetFakeJoystick(JOYSTICKID2, &stick);
    ASSERT_EQ(joyGetPosEx(JOYSTICKID2, &info), static_cast<MMRESULT>(JOYERR_NOERROR));
    EXPECT_EQ(info.dwXpos, 0u);
    EXPECT_EQ(info.dwYpos, 65535u);
    EXPECT_EQ(info.dwButtons, 9u);
    EXPECT_EQ(info.dwButtonNumber, 2u);
    EXPECT_EQ(info.dwPOV, 0xFFFFu);

    JOYINFOEX badSize = info;
    badSize.dwSize = 48;
    EXPECT_EQ(joyGetPosEx(JOYSTICKID2, &badSize), static_cast<MMRESULT>(JOYERR_PARMS));

    JOYCAPSA caps = {};
    EXPECT_EQ(joyGetDevCapsA(JOYSTICKID2, &caps, sizeof(caps) - 1), static_cast<MMRESULT>(JOYERR_PARMS));
    EXPECT_EQ(joyGetDevCapsA(99, &caps, sizeof(caps)), static_cast<MMRESULT>(JOYERR_PARMS));
    EXPECT_EQ(joyGetDevCapsA(JOYSTICKID1, &caps, sizeof(caps)), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
    ASSERT_EQ(joyGetDevCapsA(JOYSTICKID2, &caps, sizeof(caps)), static_cast<MMRESULT>(JOYERR_NOERROR));
    EXPECT_EQ(caps.wXmax, 65535u);
    EXPECT_EQ(caps.wNumButtons, 4u);

    stick.plugged = false;
    qv::test::SetFakeJoystick(JOYSTICKID2, &stick);
    EXPECT_EQ(joyGetPosEx(JOYSTICKID2, &info), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
    EXPECT_EQ(joyGetDevCapsA(JOYSTICKID2, &caps, sizeof(caps)), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
}

TEST(Joystick, HostJoysticksAnswerOrAreUnplugged)
{
    // Whatever is attached to this machine: every id gives a definite answer.
    for (UINT id = 0; id < joyGetNumDevs(); ++id) {
        JOYINFOEX info = {};
        info.dwSize = sizeof(info);
        info.dwFlags = JOY_RETURNALL;
        const MMRESULT result = joyGetPosEx(id, &info);
        EXPECT_TRUE(result == JOYERR_NOERROR || result == JOYERR_UNPLUGGED) << result;
        if (result == JOYERR_NOERROR) {
            EXPECT_LE(info.dwXpos, 65535u);
            EXPECT_LE(info.dwYpos, 65535u);
        }
    }
}

TEST(Timer, MultimediaPeriodsPairUp)
{
    EXPECT_EQ(timeBeginPeriod(0), static_cast<MMRESULT>(TIMERR_NOCANDO));
    EXPECT_EQ(timeEndPeriod(5), static_cast<MMRESULT>(TIMERR_NOCANDO));
    EXPECT_EQ(timeBeginPeriod(5), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeBeginPeriod(5), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(qv::test::GetTimePeriodCount(5), 2u);
    EXPECT_EQ(timeEndPeriod(5), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeEndPeriod(5), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeEndPeriod(5), static_cast<MMRESULT>(TIMERR_NOCANDO));
}

TEST(Timer, FakeClockDrivesEveryTimeSource)
{
    int64_t now = 2500000;
    DWORD slept = 0;
    qv::test::FakeClock clock;
    clock.frequency = 1000000;
    clock.now = [&] { return now; };
    clock.sleep = [&](DWORD ms) {
        slept += ms;
        now += ms * 1000;
    };
    qv::test::SetFakeClock(&clock);
    LARGE_INTEGER counter, frequency;
    ASSERT_TRUE(QueryPerformanceCounter(&counter));
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(counter.QuadPart, 2500000);
    EXPECT_EQ(frequency.QuadPart, 1000000);
    EXPECT_EQ(timeGetTime(), 2500u);
    Sleep(7);
    EXPECT_EQ(slept, 7u);
    EXPECT_EQ(timeGetTime(), 2507u);
    qv::test::SetQueryPerformanceCounterFails(true);
    EXPECT_FALSE(QueryPerformanceCounter(&counter));
    qv::test::SetFakeClock(nullptr);

    // The host clock: the counter never runs backwards across a Sleep, and the milliseconds
    // read between two counter readings lie between them.
    qv::test::SetQueryPerformanceCounterFails(false);
    LARGE_INTEGER before, after;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    const DWORD ms = timeGetTime();
    Sleep(1);
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    EXPECT_LT(before.QuadPart, after.QuadPart);
    const DWORD beforeMs = static_cast<DWORD>(before.QuadPart / (frequency.QuadPart / 1000));
    const DWORD afterMs = static_cast<DWORD>(after.QuadPart / (frequency.QuadPart / 1000));
    EXPECT_LE(ms - beforeMs, afterMs - beforeMs) << "outside [" << beforeMs << ", " << afterMs << "]: " << ms;
}

TEST(Joystick, HostJoysticksReadWithWindowsRanges)
{
    // Make sure SDL's joysticks are up, then plug in a virtual one.
    JOYINFOEX info = {};
    info.dwSize = sizeof(info);
    info.dwFlags = JOY_RETURNALL;
    joyGetPosEx(JOYSTICKID1, &info);
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 3, 6, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    if (index >= 16)
        GTEST_SKIP() << "too many joysticks on this machine";
    const UINT id = static_cast<UINT>(index);
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    ASSERT_NE(joystick, nullptr);
    SDL_JoystickSetVirtualAxis(joystick, 0, -32768);
    SDL_JoystickSetVirtualAxis(joystick, 1, 32767);
    SDL_JoystickSetVirtualAxis(joystick, 2, 0);
    SDL_JoystickSetVirtualButton(joystick, 0, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(joystick, 5, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(joystick, 0, SDL_HAT_RIGHT);

    ASSERT_EQ(joyGetPosEx(id, &info), static_cast<MMRESULT>(JOYERR_NOERROR));
    EXPECT_EQ(info.dwXpos, 0u);
    EXPECT_EQ(info.dwYpos, 65535u);
    EXPECT_EQ(info.dwZpos, 32768u);
    EXPECT_EQ(info.dwRpos, 32767u); // an axis it lacks rests at the centre
    EXPECT_EQ(info.dwButtons, 0x21u);
    EXPECT_EQ(info.dwButtonNumber, 2u);
    EXPECT_EQ(info.dwPOV, 9000u);

    JOYCAPSA caps = {};
    ASSERT_EQ(joyGetDevCapsA(id, &caps, sizeof(caps)), static_cast<MMRESULT>(JOYERR_NOERROR));
    EXPECT_EQ(caps.wXmin, 0u);
    EXPECT_EQ(caps.wXmax, 65535u);
    EXPECT_EQ(caps.wYmax, 65535u);
    EXPECT_EQ(caps.wNumButtons, 6u);
    EXPECT_EQ(caps.wNumAxes, 3u);

    // Unplugged while in use: the id answers JOYERR_UNPLUGGED from then on.
    SDL_JoystickClose(joystick);
    SDL_JoystickDetachVirtual(index);
    EXPECT_EQ(joyGetPosEx(id, &info), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
    EXPECT_EQ(joyGetDevCapsA(id, &caps, sizeof(caps)), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
}
