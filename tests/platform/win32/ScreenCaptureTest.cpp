// What the screen shows on a real X server: the menu bar with a menu open, the version box and
// a message box, captured from the screen with ImageMagick's import and compared with the
// reference pictures. The test starts its own Xvfb and runs the inner test on it.
#include <gtest/gtest.h>

#include <filesystem>

#include <SDL_opengl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "WindowTestSupport.h"
#include "platform/win32/Window.h"
#include "resources/resource.h"
#include "support/TestSupport.h"

using namespace wintest;

namespace {

std::string CaptureDir()
{
    const std::string dir = std::string(QV_TEST_OUTPUT_DIR) + "/screen";
    std::filesystem::create_directories(dir);
    return dir;
}

std::string ReferenceOf(const std::string& name) { return "platform/win32/reference/xvfb_" + name + ".png"; }

// The screen's rectangle r into <name>.png of the capture folder. The server draws what it has
// been sent in its own time, which a busy machine makes long: the picture is taken again until
// it matches its reference or half a minute has passed, and the outer test judges the last one.
void Capture(const std::string& name, const RECT& r)
{
    const std::string geometry = std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + "+" +
                                 std::to_string(r.left) + "+" + std::to_string(r.top);
    const std::string path = CaptureDir() + "/" + name + ".png";
    const std::string command = "import -window root -crop " + geometry + " +repage " + path;
    const Uint32 start = SDL_GetTicks();
    qvtest::Image picture;
    do {
        SDL_Delay(100);
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    } while (!(qvtest::LoadPng(path, picture) && qvtest::CompareWithReference(picture, ReferenceOf(name), 8).empty()) &&
             SDL_GetTicks() - start < 30000);
}

HWND g_main = nullptr;
int g_popups = 0;
HHOOK g_hook = nullptr;
std::atomic<int> g_buttonsPainted{0};

LRESULT CALLBACK CaptureHook(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* m = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        if (m->message == WM_APP + 9) {
            // Both drop-downs of the settings menu are open.
            RECT r;
            GetWindowRect(g_main, &r);
            Capture("menu_open", RECT{r.left, r.top, r.left + 330, r.top + 200});
            for (int i = 0; i < 3; ++i)
                PushKey(g_main, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, true);
        }
        char cls[32] = {};
        GetClassNameA(m->hwnd, cls, sizeof cls);
        if (m->message == WM_PAINT && std::string(cls) == "BUTTON")
            ++g_buttonsPainted;
        if (m->message == WM_KEYDOWN && m->wParam == VK_RIGHT && qv::win::TopLevelOf(m->hwnd) != g_main) {
            // The client area: without a window manager nobody draws the frame.
            HWND box = qv::win::TopLevelOf(m->hwnd);
            RECT r;
            GetClientRect(box, &r);
            POINT origin = {0, 0};
            ClientToScreen(box, &origin);
            OffsetRect(&r, origin.x, origin.y);
            Capture("message_box", r);
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

INT_PTR CALLBACK VersionBox(HWND h, UINT m, WPARAM, LPARAM)
{
    switch (m) {
    case WM_INITDIALOG:
        PostMessageA(h, WM_APP, 0, 0);
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 98, 23, "THE Quorvane 1, 0, 0, 1", 23);
        TextOutA(dc, 98, 44, "Copyright (C) 2004 Frostmart", 28);
        EndPaint(h, &ps);
        return FALSE;
    }
    case WM_APP: {
        UpdateWindow(h);
        for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            UpdateWindow(c);
        RECT r;
        GetClientRect(h, &r);
        POINT origin = {0, 0};
        ClientToScreen(h, &origin);
        OffsetRect(&r, origin.x, origin.y);
        Capture("version_box", r);
        EndDialog(h, IDOK);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace

TEST(ScreenCaptureInner, DISABLED_MenuVersionBoxAndMessageBox)
{
    unsetenv("QV_MESSAGEBOX");
    g_handler = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg == WM_INITMENUPOPUP && ++g_popups == 2)
            PostMessageA(g_main, WM_APP + 9, 0, 0);
        return false;
    };
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
    g_main = CreateWindowExA(0, TestClass(), "THE Quorvane", WS_CAPTION | WS_SYSMENU, 20, 20, 100, 100, nullptr, menu,
                             GetModuleHandleA(nullptr), nullptr);
    RECT r = {0, 0, 320, 160};
    AdjustWindowRect(&r, WS_CAPTION | WS_SYSMENU, TRUE);
    SetWindowPos(g_main, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(g_main, SW_SHOWNORMAL);
    SDL_Delay(200);
    Drain();
    // The pointer rests on the menu bar, as before a click.
    PushMouseMotion(g_main, 100, 5);
    Drain();
    ASSERT_TRUE(qv::MakeGlCurrent(g_main));
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(qv::SdlWindowOf(g_main), &dw, &dh);
    // Two frames, as a device draws them: the first after a resize may still have the old size.
    for (int frame = 0; frame < 2; ++frame) {
        glViewport(0, 0, dw, dh);
        glClearColor(0.1f, 0.3f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        qv::SwapGlWindow(g_main);
    }
    g_hook = SetWindowsHookExA(WH_GETMESSAGE, CaptureHook, nullptr, GetCurrentThreadId());

    // Alt+S, down to FPS, right into it: the capture happens inside the menu's loop.
    PushKey(g_main, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
    PushKey(g_main, SDL_SCANCODE_S, SDLK_s, true, KMOD_LALT);
    PushKey(g_main, SDL_SCANCODE_LALT, SDLK_LALT, false);
    PushKey(g_main, SDL_SCANCODE_DOWN, SDLK_DOWN, true);
    PushKey(g_main, SDL_SCANCODE_RIGHT, SDLK_RIGHT, true);
    Drain();
    EXPECT_EQ(g_popups, 2);

    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), g_main, VersionBox, 0), IDOK);

    // The box is answered (after its capture) once both its buttons are drawn.
    SDL_InitSubSystem(SDL_INIT_TIMER);
    SDL_AddTimer(
        20,
        [](Uint32 interval, void*) -> Uint32 {
            if (g_buttonsPainted < 2)
                return interval;
            PushKey(g_main, SDL_SCANCODE_RIGHT, SDLK_RIGHT, true);
            PushKey(g_main, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
            return 0;
        },
        nullptr);
    EXPECT_EQ(MessageBoxA(g_main, "今後エラーメッセージ(Game)の表示を抑制しますか？", "注意", MB_YESNO), IDNO);
    UnhookWindowsHookEx(g_hook);
    DestroyWindow(g_main);
    setenv("QV_MESSAGEBOX", "auto", 1);
}

TEST(ScreenCapture, MenuVersionBoxAndMessageBoxOnAnXServer)
{
    if (!OnPath("Xvfb") || !OnPath("import"))
        GTEST_SKIP() << "needs Xvfb and ImageMagick's import";
    bool serverStarted = false;
    const bool passed = RunOnOwnXServer("ScreenCaptureInner.*", &serverStarted);
    ASSERT_TRUE(serverStarted) << "Xvfb did not start";
    ASSERT_TRUE(passed) << "the inner test failed (its output is above)";
    for (const char* name : {"menu_open", "version_box", "message_box"}) {
        qvtest::Image picture;
        ASSERT_TRUE(qvtest::LoadPng(CaptureDir() + "/" + name + ".png", picture)) << name;
        const std::string diff =
            qvtest::CompareWithReference(picture, ReferenceOf(name), 8);
        EXPECT_TRUE(diff.empty()) << diff;
    }
}
