// The keyboard focus of a real X server with no window manager: when a dialog ends, its owner
// has the keys again; a click in a window that lost them gives them back. The test starts its
// own Xvfb and runs the inner test in a process of its own on that display.
#include <gtest/gtest.h>

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <cstdlib>

#include "WindowTestSupport.h"
#include "resources/resource.h"

using namespace wintest;

namespace {

::Window XWindowOf(HWND hWnd)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(qv::SdlWindowOf(hWnd), &info) || info.subsystem != SDL_SYSWM_X11)
        return 0;
    return info.info.x11.window;
}

// The server's focus as another client sees it, once it has settled on `expected` (or after
// five seconds, whatever it is then).
::Window FocusSettlesOn(::Window expected)
{
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return 0;
    ::Window focus = 0;
    int revert = 0;
    const Uint32 start = SDL_GetTicks();
    do {
        Drain();
        SDL_Delay(20);
        XGetInputFocus(d, &focus, &revert);
    } while (focus != expected && SDL_GetTicks() - start < 5000);
    XCloseDisplay(d);
    return focus;
}

INT_PTR CALLBACK EndAtOnce(HWND h, UINT m, WPARAM, LPARAM)
{
    if (m == WM_INITDIALOG) {
        PostMessageA(h, WM_APP, 0, 0);
        return TRUE;
    }
    if (m == WM_APP) {
        // Shown and given the keys by the display before it ends.
        SDL_Delay(200);
        EndDialog(h, IDOK);
        return TRUE;
    }
    return FALSE;
}

} // namespace

TEST(FocusInner, DISABLED_OwnerHasTheKeysAfterItsDialogAndAfterAClick)
{
    unsetenv("QV_MESSAGEBOX");
    HWND w = CreateWindowExA(0, TestClass(), "owner", WS_OVERLAPPEDWINDOW, 20, 20, 320, 240, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ShowWindow(w, SW_SHOWNORMAL);
    const ::Window own = XWindowOf(w);
    ASSERT_NE(own, 0u);
    {
        Display* d = XOpenDisplay(nullptr);
        ASSERT_NE(d, nullptr);
        XSetInputFocus(d, own, RevertToParent, CurrentTime);
        XCloseDisplay(d);
    }
    ASSERT_EQ(FocusSettlesOn(own), own);

    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), w, EndAtOnce, 0), IDOK);
    EXPECT_EQ(FocusSettlesOn(own), own) << "the owner has the keys again";
    EXPECT_EQ(GetActiveWindow(), w);

    // The keys taken away by somebody else come back with a click in the window.
    {
        Display* d = XOpenDisplay(nullptr);
        ASSERT_NE(d, nullptr);
        XSetInputFocus(d, None, RevertToNone, CurrentTime);
        XCloseDisplay(d);
    }
    ASSERT_NE(FocusSettlesOn(None), own);
    PushMouseButton(w, 100, 100, true);
    PushMouseButton(w, 100, 100, false);
    EXPECT_EQ(FocusSettlesOn(own), own) << "a click gives the keys back";
    DestroyWindow(w);
    setenv("QV_MESSAGEBOX", "auto", 1);
}

TEST(Focus, OwnerHasTheKeysAfterItsDialogOnAnXServer)
{
    if (!OnPath("Xvfb"))
        GTEST_SKIP() << "needs Xvfb";
    bool serverStarted = false;
    const bool passed = RunOnOwnXServer("FocusInner.*", &serverStarted);
    ASSERT_TRUE(serverStarted) << "Xvfb did not start";
    ASSERT_TRUE(passed) << "the inner test failed (its output is above)";
}
