// Other applications' windows, on a real X server: the test starts its own Xvfb and runs the
// inner test in a process of its own on that display.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "WindowTestSupport.h"

namespace {

// Another application: one titled, classed window with its process id, until it is killed.
pid_t StartForeignApplication(int x, int y, int width, int height)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        Display* d = XOpenDisplay(nullptr);
        if (!d)
            _exit(1);
        ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, width, height, 0, 0, 0xFFFFFF);
        XStoreName(d, w, "Foreign Title");
        XClassHint hint;
        char name[] = "foreign", cls[] = "ForeignClass";
        hint.res_name = name;
        hint.res_class = cls;
        XSetClassHint(d, w, &hint);
        const unsigned long pid = static_cast<unsigned long>(getpid());
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
        XMapWindow(d, w);
        XSync(d, False);
        char one = 1;
        (void)!write(ready[1], &one, 1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char one = 0;
    (void)!read(ready[0], &one, 1);
    close(ready[0]);
    return child;
}

struct Found {
    HWND own = nullptr;
    HWND foreign = nullptr;
    int count = 0;
};

BOOL CALLBACK Collect(HWND h, LPARAM p)
{
    Found& f = *reinterpret_cast<Found*>(p);
    ++f.count;
    char title[500];
    GetWindowTextA(h, title, sizeof title);
    if (std::string(title) == "Foreign Title")
        f.foreign = h;
    if (std::string(title) == "test")
        f.own = h;
    return TRUE;
}

} // namespace

TEST(X11DesktopInner, DISABLED_OtherApplicationsWindows)
{
    const pid_t app = StartForeignApplication(50, 60, 200, 100);
    ASSERT_GT(app, 0);
    HWND own = wintest::MakeWindow();
    ShowWindow(own, SW_SHOW);

    Found found;
    ASSERT_TRUE(EnumWindows(Collect, reinterpret_cast<LPARAM>(&found)));
    EXPECT_EQ(found.own, own);
    ASSERT_NE(found.foreign, nullptr);
    HWND f = found.foreign;
    EXPECT_TRUE(IsWindow(f));
    EXPECT_TRUE(IsWindowVisible(f));
    char cls[500];
    GetClassNameA(f, cls, sizeof cls);
    EXPECT_STREQ(cls, "ForeignClass");
    DWORD pid = 0;
    GetWindowThreadProcessId(f, &pid);
    EXPECT_EQ(pid, DWORD(app));
    EXPECT_EQ(GetWindow(f, GW_OWNER), nullptr);

    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    ASSERT_TRUE(GetWindowPlacement(f, &wp));
    EXPECT_EQ(wp.showCmd, UINT(SW_SHOWNORMAL));
    EXPECT_EQ(wp.rcNormalPosition.left, 50);
    EXPECT_EQ(wp.rcNormalPosition.top, 60);
    EXPECT_EQ(wp.rcNormalPosition.right, 250);
    EXPECT_EQ(wp.rcNormalPosition.bottom, 160);

    // Moved elsewhere, then put back as the game does at exit.
    WINDOWPLACEMENT moved = wp;
    OffsetRect(&moved.rcNormalPosition, 30, 40);
    ASSERT_TRUE(SetWindowPlacement(f, &moved));
    WINDOWPLACEMENT now = {};
    now.length = sizeof now;
    ASSERT_TRUE(GetWindowPlacement(f, &now));
    EXPECT_EQ(now.rcNormalPosition.left, 80);
    EXPECT_EQ(now.rcNormalPosition.top, 100);
    ASSERT_TRUE(SetWindowPlacement(f, &wp));
    ASSERT_TRUE(GetWindowPlacement(f, &now));
    EXPECT_EQ(now.rcNormalPosition.left, 50);

    ShowWindow(f, SW_SHOWNORMAL);
    EXPECT_TRUE(SetForegroundWindow(f));

    kill(app, SIGKILL);
    waitpid(app, nullptr, 0);
    // The server notices the client's end in its own time.
    for (int i = 0; i < 6000 && IsWindow(f); ++i)
        SDL_Delay(10);
    EXPECT_FALSE(IsWindow(f)) << "a window that went is no window";
    EXPECT_FALSE(GetWindowPlacement(f, &now));
    DestroyWindow(own);
}

TEST(X11Desktop, OtherApplicationsWindowsAreListedPlacedAndActivated)
{
    if (!wintest::OnPath("Xvfb"))
        GTEST_SKIP() << "no Xvfb";
    bool serverStarted = false;
    const bool passed = wintest::RunOnOwnXServer("X11DesktopInner.*", &serverStarted);
    ASSERT_TRUE(serverStarted) << "Xvfb did not start";
    EXPECT_TRUE(passed) << "the inner test failed (its output is above)";
}
