// The single-instance guard's search for the first copy's window.
#include <gtest/gtest.h>

#include "app/CSingleInstance.h"
#include "platform/platform.h"

namespace {

HWND MakeWindow(const char* className, bool visible)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, className, className, WS_OVERLAPPEDWINDOW, 0, 0, 64, 48, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    if (window && visible)
        ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

} // namespace

TEST(SingleInstance, OnlyAWindowOfTheGameClassIsBroughtForward)
{
    // The first copy's process owns a hidden helper window too (an input method's, on
    // Windows), made before the game's window: it must not be the one shown.
    HWND helper = MakeWindow("IME", false);
    HWND game = MakeWindow("QUORVANE_TEST_CLASS", true);
    HWND other = MakeWindow("OTHER_APPLICATION", true);
    ASSERT_TRUE(helper && game && other);
    SetForegroundWindow(other);
    ASSERT_EQ(GetForegroundWindow(), other);

    char ownPath[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);
    InstanceWindowMatch match = {ownPath, "QUORVANE_TEST_CLASS"};
    EnumWindows(ActivateInstanceWindowProc, reinterpret_cast<LPARAM>(&match));
    EXPECT_EQ(GetForegroundWindow(), game);
    EXPECT_FALSE(IsWindowVisible(helper));

    // A window of the class in a program of another file name is left alone.
    SetForegroundWindow(other);
    InstanceWindowMatch elsewhere = {"C:\\Games\\another.exe", "QUORVANE_TEST_CLASS"};
    EnumWindows(ActivateInstanceWindowProc, reinterpret_cast<LPARAM>(&elsewhere));
    EXPECT_EQ(GetForegroundWindow(), other);

    DestroyWindow(other);
    DestroyWindow(game);
    DestroyWindow(helper);
}
