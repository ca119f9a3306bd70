#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

#include "WindowTestSupport.h"
#include "platform/win32/Canvas.h"
#include "platform/win32/MenuStrip.h"
#include "platform/win32/Window.h"
#include "resources/resource.h"
#include "support/TestSupport.h"

using namespace wintest;

namespace {

// The picture of a top-level window that the layer draws, as the screen would show it.
qvtest::Image CaptureLayerWindow(HWND top)
{
    qvtest::Image image;
    qv::win::Canvas* canvas = qv::win::CanvasOf(top);
    if (!canvas)
        return image;
    image.width = canvas->Width();
    image.height = canvas->Height();
    image.rgba.resize(static_cast<size_t>(image.width) * image.height * 4);
    for (int i = 0; i < image.width * image.height; ++i) {
        const uint32_t p = canvas->Pixels()[i];
        image.rgba[i * 4 + 0] = (p >> 16) & 0xFF;
        image.rgba[i * 4 + 1] = (p >> 8) & 0xFF;
        image.rgba[i * 4 + 2] = p & 0xFF;
        image.rgba[i * 4 + 3] = 0xFF;
    }
    return image;
}

// Leaves the headless answers off for one test: the boxes and dialogs run their own loops.
class Interactive {
public:
    Interactive() { unsetenv("QV_MESSAGEBOX"); }
    ~Interactive() { setenv("QV_MESSAGEBOX", "auto", 1); }
};

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        Log().clear();
        g_handler = nullptr;
        owner = MakeWindow(WS_CAPTION | WS_SYSMENU);
        ShowWindow(owner, SW_SHOWNORMAL);
        Drain();
        Log().clear();
    }
    void TearDown() override { DestroyWindow(owner); }
    HWND owner = nullptr;
};

// A version box procedure in the manner of the game's: subclassed link labels, painted texts.
WNDPROC g_linkPrevious = nullptr;
int g_linkPaints = 0;
bool g_capture = false;
qvtest::Image g_captured;
std::vector<UINT> g_dialogSaw;

LRESULT CALLBACK LinkProc(HWND h, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_PAINT) {
        ++g_linkPaints;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        HFONT font = CreateFontA(0, 0, 0, 0, 0, 0, TRUE, 0, 0, 0, 0, 0, 0, "system");
        SelectObject(dc, font);
        SetBkColor(dc, GetSysColor(COLOR_MENU));
        SetTextColor(dc, RGB(0, 0, 255));
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 0, 0, "http://qv.example/", 18);
        DeleteObject(font);
        EndPaint(h, &ps);
        return 0;
    }
    return CallWindowProcA(g_linkPrevious, h, m, wp, lp);
}

INT_PTR CALLBACK VersionBoxProc(HWND h, UINT m, WPARAM wp, LPARAM)
{
    g_dialogSaw.push_back(m);
    switch (m) {
    case WM_INITDIALOG:
        g_linkPrevious = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(GetDlgItem(h, IDC_LINK_WEB), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LinkProc)));
        if (g_capture)
            PostMessageA(h, WM_APP, 0, 0);
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        TextOutA(dc, 98, 23, "THE Quorvane 1, 0, 0, 1", 23);
        TextOutA(dc, 98, 44, "Copyright (C) 2004 Frostmart", 28);
        EndPaint(h, &ps);
        return FALSE;
    }
    case WM_APP:
        // Everything painted, as a person would see it.
        UpdateWindow(h);
        for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            UpdateWindow(c);
        g_captured = CaptureLayerWindow(h);
        EndDialog(h, 77);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            SetWindowLongPtrA(GetDlgItem(h, IDC_LINK_WEB), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_linkPrevious));
            EndDialog(h, LOWORD(wp));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

TEST_F(Dialogs, VersionBoxHeadlessIsPaintedReportedAndClosedWithOk)
{
    testing::internal::CaptureStderr();
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, VersionBoxProc, 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, IDOK);
    EXPECT_NE(err.find("Dialog [バージョン情報]"), std::string::npos) << err;
    EXPECT_GE(g_linkPaints, 1) << "the subclassed label painted itself";
    ASSERT_FALSE(g_dialogSaw.empty());
    EXPECT_EQ(g_dialogSaw.front(), UINT(WM_INITDIALOG));
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";
    EXPECT_EQ(GetActiveWindow(), owner) << "and active again";
    // The owner went inactive while the box was open, so no frame would run meanwhile.
    const auto acts = LogOf(WM_ACTIVATE);
    ASSERT_GE(acts.size(), 2u);
    EXPECT_EQ(LOWORD(acts.front().wParam), WA_INACTIVE);
    EXPECT_EQ(LOWORD(acts.back().wParam), WA_ACTIVE);
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(999), owner, VersionBoxProc, 0), -1);
}

TEST_F(Dialogs, VersionBoxLooksAsDesigned)
{
    Interactive interactive;
    g_capture = true;
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, VersionBoxProc, 0);
    g_capture = false;
    EXPECT_EQ(result, 77);
    ASSERT_EQ(g_captured.width, 192 * 8 / 4);
    ASSERT_EQ(g_captured.height, 88 * 16 / 8);
    const std::string diff = qvtest::CompareWithReference(g_captured, "platform/win32/reference/version_box.png", 8);
    EXPECT_TRUE(diff.empty()) << diff;
}

TEST_F(Dialogs, VersionBoxAnswersItsKeysInItsOwnLoop)
{
    Interactive interactive;
    PushKey(owner, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
    PushKey(owner, SDL_SCANCODE_RETURN, SDLK_RETURN, false);
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, VersionBoxProc, 0), IDOK);
    PushKey(owner, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, true);
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, VersionBoxProc, 0),
              IDCANCEL);
}

TEST_F(Dialogs, AKeyHeldFromBeforeTheBoxAndCloseRequestsToItsOwnerDoNotEndIt)
{
    Interactive interactive;
    // Enter went down before the box (it answered the box before this one) and is told again
    // while still held; the window manager asks the disabled owner to close. Neither ends the
    // box: the Escape pressed in it does.
    PushKey(owner, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, false);
    PushKey(owner, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
    Drain();
    PushKey(owner, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
    PushWindowEvent(owner, SDL_WINDOWEVENT_CLOSE);
    PushKey(owner, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, true);
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, VersionBoxProc, 0),
              IDCANCEL);
    EXPECT_TRUE(IsWindow(owner));
    EXPECT_EQ(GetActiveWindow(), owner);

    // Released and pressed again inside the box, Enter answers it.
    PushKey(owner, SDL_SCANCODE_RETURN, SDLK_RETURN, false);
    PushKey(owner, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, VersionBoxProc, 0), IDOK);
    PushKey(owner, SDL_SCANCODE_RETURN, SDLK_RETURN, false);
    Drain();
}

namespace {

int g_hookRemoved = 0;
HHOOK g_boxHook = nullptr;
std::atomic<int> g_buttonsPainted{0};
int g_buttonsToPaint = 0;
std::vector<HWND> g_paintedButtons;
qvtest::Image g_boxPicture;
std::vector<int> g_boxOnScreen;  // "x y w h" of the box's SDL window
double g_boxFaceShare = 0;       // of its SDL window's pixels, those of the face colour
std::vector<std::pair<SDL_Scancode, SDL_Keycode>> g_keysToPush;

double FaceShare(SDL_Surface* s)
{
    if (!s || s->w * s->h == 0)
        return 0;
    int face = 0;
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x) {
            Uint8 r, g, b;
            SDL_GetRGB(static_cast<const Uint32*>(s->pixels)[y * s->pitch / 4 + x], s->format, &r, &g, &b);
            face += r == 0xD4 && g == 0xD0 && b == 0xC8;
        }
    return double(face) / (s->w * s->h);
}

LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* m = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        ++g_hookRemoved;
        // Once the box's buttons have been painted, a person answers it.
        char cls[32] = {};
        GetClassNameA(m->hwnd, cls, sizeof cls);
        if (m->message == WM_PAINT && std::string(cls) == "BUTTON" &&
            std::find(g_paintedButtons.begin(), g_paintedButtons.end(), m->hwnd) == g_paintedButtons.end()) {
            g_paintedButtons.push_back(m->hwnd);
            g_buttonsPainted = static_cast<int>(g_paintedButtons.size());
        }
        if (m->message == WM_KEYDOWN && g_boxPicture.width == 0) {
            const HWND box = qv::win::TopLevelOf(m->hwnd);
            g_boxPicture = CaptureLayerWindow(box);
            g_boxOnScreen = SdlGeometry(qv::SdlWindowOf(box));
            g_boxFaceShare = FaceShare(SDL_GetWindowSurface(qv::SdlWindowOf(box)));
        }
    }
    return CallNextHookEx(g_boxHook, code, wParam, lParam);
}

// Pushes the answer after the box has been fully drawn: the loop takes input before paints.
void AnswerWhenPainted(HWND window, int buttons, std::vector<std::pair<SDL_Scancode, SDL_Keycode>> keys)
{
    g_keysToPush = std::move(keys);
    g_paintedButtons.clear();
    g_buttonsPainted = 0;
    g_buttonsToPaint = buttons;
    g_boxPicture = qvtest::Image{};
    static HWND s_window;
    s_window = window;
    static SDL_TimerID timer = 0;
    if (timer)
        SDL_RemoveTimer(timer);
    SDL_InitSubSystem(SDL_INIT_TIMER);
    // A timer on another thread cannot touch the layer; it only pushes SDL events, which are
    // thread-safe, once the hook has seen the buttons painted.
    timer = SDL_AddTimer(
        20,
        [](Uint32 interval, void*) -> Uint32 {
            if (g_buttonsPainted < g_buttonsToPaint)
                return interval;
            for (auto [sc, sym] : g_keysToPush) {
                PushKey(s_window, sc, sym, true);
                PushKey(s_window, sc, sym, false);
            }
            return 0;
        },
        nullptr);
}

} // namespace

TEST_F(Dialogs, MessageBoxRunsItsOwnLoopWithTheHooksAndAnswersYesNo)
{
    Interactive interactive;
    g_boxHook = SetWindowsHookExA(WH_GETMESSAGE, BoxHook, nullptr, GetCurrentThreadId());
    // Escape cannot leave a Yes/No question; the arrow moves to No and Enter answers it.
    AnswerWhenPainted(owner, 2, {{SDL_SCANCODE_ESCAPE, SDLK_ESCAPE}, {SDL_SCANCODE_RIGHT, SDLK_RIGHT}, {SDL_SCANCODE_RETURN, SDLK_RETURN}});
    const int answer = MessageBoxA(owner, "今後エラーメッセージ(Game)の表示を抑制しますか？", "注意", MB_YESNO);
    EXPECT_EQ(answer, IDNO);
    EXPECT_GT(g_hookRemoved, 0) << "the box's loop takes its messages through the hooks";
    EXPECT_TRUE(IsWindowEnabled(owner));
    ASSERT_GT(g_boxPicture.width, 0);
    const std::string diff = qvtest::CompareWithReference(g_boxPicture, "platform/win32/reference/message_box_yesno.png", 8);
    EXPECT_TRUE(diff.empty()) << diff;

    // The letter of a button answers it; a box without owner needs no window at all.
    AnswerWhenPainted(owner, 2, {{SDL_SCANCODE_Y, SDLK_y}});
    EXPECT_EQ(MessageBoxA(nullptr, "Yes?", "Q", MB_YESNO | MB_ICONQUESTION), IDYES);
    UnhookWindowsHookEx(g_boxHook);
}

TEST_F(Dialogs, ErrorBoxWithOkAnswersEnterAndEscapeAlike)
{
    Interactive interactive;
    g_boxHook = SetWindowsHookExA(WH_GETMESSAGE, BoxHook, nullptr, GetCurrentThreadId());
    AnswerWhenPainted(owner, 1, {{SDL_SCANCODE_ESCAPE, SDLK_ESCAPE}});
    EXPECT_EQ(MessageBoxA(owner, "Failed CGameMain::CGameMain InitTimer", "Error", MB_OK | MB_ICONHAND), IDOK);
    ASSERT_GT(g_boxPicture.width, 0);
    const std::string diff = qvtest::CompareWithReference(g_boxPicture, "platform/win32/reference/message_box_error.png", 8);
    EXPECT_TRUE(diff.empty()) << diff;
    AnswerWhenPainted(owner, 1, {{SDL_SCANCODE_RETURN, SDLK_RETURN}});
    EXPECT_EQ(MessageBoxA(owner, "長い文章は折り返されます。長い文章は折り返されます。長い文章は折り返されます。長い文章は折り返されます。",
                          "警告", MB_OK | MB_ICONEXCLAMATION),
              IDOK);
    UnhookWindowsHookEx(g_boxHook);
}

TEST(MessageBoxHeadless, AnswersTheDefaultAndReportsTitleAndText)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "text", "Error", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "今後エラーメッセージ(Game)の表示を抑制しますか？", "注意", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "x", "t", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("MessageBox [Error] text\n"), std::string::npos);
    EXPECT_NE(err.find("MessageBox [注意] 今後エラーメッセージ(Game)の表示を抑制しますか？\n"), std::string::npos);
}

TEST(Gdi, DeviceContextsKeepTheirStateAndDrawNothingOnOpenGLWindows)
{
    HWND w = MakeWindow();
    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
    EXPECT_EQ(SetTextColor(dc, RGB(0, 0, 255)), RGB(0, 0, 0));
    EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 255));
    HFONT font = CreateFontA(0, 0, 0, 0, 0, 0, TRUE, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, "system");
    ASSERT_NE(font, nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    EXPECT_NE(old, nullptr);
    EXPECT_EQ(SelectObject(dc, old), font);
    EXPECT_TRUE(TextOutA(dc, 0, 0, "abc", 3));
    SIZE size;
    EXPECT_TRUE(GetTextExtentPoint32A(dc, "abc", 3, &size));
    EXPECT_GT(size.cx, 0);
    EXPECT_GT(size.cy, 0);
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_FALSE(DeleteObject(font));
    EXPECT_EQ(ReleaseDC(w, dc), 1);
    EXPECT_EQ(ReleaseDC(w, dc), 0) << "released once only";
    EXPECT_EQ(GetSysColor(COLOR_MENU), RGB(212, 208, 200));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    DestroyWindow(w);
}

TEST(Shell, OpensThroughTheDesktopOrSaysWhy)
{
    setenv("QV_SHELLEXECUTE", "log", 1);
    testing::internal::CaptureStderr();
    HINSTANCE r = ShellExecuteA(nullptr, "open", "mailto: someone@example.jp", nullptr, nullptr, SW_SHOWNORMAL);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_GT(reinterpret_cast<uintptr_t>(r), 32u);
    EXPECT_NE(err.find("ShellExecute [open] mailto: someone@example.jp"), std::string::npos);
    EXPECT_LE(reinterpret_cast<uintptr_t>(ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, SW_SHOWNORMAL)), 32u);
    EXPECT_LE(reinterpret_cast<uintptr_t>(ShellExecuteA(nullptr, "print", "x", nullptr, nullptr, SW_SHOWNORMAL)), 32u);
    unsetenv("QV_SHELLEXECUTE");
}

namespace {

int g_viewHeight = 480; // the mode's 480 rows on the screen
std::vector<std::vector<int>> g_versionBoxOnScreen;

// Measures the version box's SDL window in full screen, after the display has its own mode back
// and in full screen again; then clicks the middle of OK where the box shows it (and Escape
// after, should the click miss).
INT_PTR CALLBACK FullScreenBoxProc(HWND h, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_COMMAND) {
        EndDialog(h, LOWORD(wp));
        return TRUE;
    }
    if (m != WM_INITDIALOG)
        return FALSE;
    const HWND owner = reinterpret_cast<HWND>(lp);
    SDL_Window* box = qv::SdlWindowOf(h);
    g_versionBoxOnScreen.push_back(SdlGeometry(box));
    qv::LeaveFullScreen(owner);
    g_versionBoxOnScreen.push_back(SdlGeometry(box));
    qv::EnterFullScreen(owner, 640, 480);
    g_versionBoxOnScreen.push_back(SdlGeometry(box));
    RECT ok;
    GetWindowRect(GetDlgItem(h, IDOK), &ok);
    POINT centre = {(ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2};
    ScreenToClient(h, &centre);
    const int x = centre.x * g_viewHeight / 480, y = centre.y * g_viewHeight / 480;
    PushMouseMotion(h, x, y);
    PushMouseButton(h, x, y, true);
    PushMouseButton(h, x, y, false);
    PushKey(h, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, true);
    PushKey(h, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, false);
    return TRUE;
}

} // namespace

// In full screen the boxes scale with the picture, as the menu strip does: the version box keeps
// its place over the picture (in a window: (44, 34) of the owner's client area) at the mode's
// scale and follows a change of the display mode while it is open; a message box is centred on
// the picture, its picture scaled to fill it; a click on the scaled OK presses it.
TEST(DialogsInFullScreen, BoxesScaleAndLieOnThePictureAsTheStripDoes)
{
    Interactive interactive;
    HWND owner = MakeWindow(WS_POPUP, 640, 480);
    ShowWindow(owner, SW_SHOW);
    ASSERT_TRUE(qv::EnterFullScreen(owner, 640, 480));
    Drain();
    int vx, vy, vw, vh, wx, wy;
    ASSERT_TRUE(qv::ClientViewport(owner, &vx, &vy, &vw, &vh));
    SDL_GetWindowPosition(qv::SdlWindowOf(owner), &wx, &wy);
    ASSERT_GT(vh, 480) << "the display is larger than the mode, which it shows scaled";
    g_viewHeight = vh;
    const auto scaled = [&](int length) { return length * vh / 480; };

    g_versionBoxOnScreen.clear();
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, FullScreenBoxProc,
                              reinterpret_cast<LPARAM>(owner)),
              IDOK);
    ASSERT_EQ(g_versionBoxOnScreen.size(), 3u);
    const std::vector<int> overPicture = {wx + vx + scaled(44), wy + vy + scaled(34), scaled(384), scaled(176)};
    EXPECT_EQ(g_versionBoxOnScreen[0], overPicture);
    EXPECT_EQ(g_versionBoxOnScreen[1], (std::vector<int>{44, 34, 384, 176})) << "1:1 in the display's own mode";
    EXPECT_EQ(g_versionBoxOnScreen[2], overPicture);

    g_boxHook = SetWindowsHookExA(WH_GETMESSAGE, BoxHook, nullptr, GetCurrentThreadId());
    AnswerWhenPainted(owner, 1, {{SDL_SCANCODE_RETURN, SDLK_RETURN}});
    EXPECT_EQ(MessageBoxA(owner, "Failed CGameMain::CGameMain InitTimer", "Error", MB_OK | MB_ICONHAND), IDOK);
    UnhookWindowsHookEx(g_boxHook);
    ASSERT_EQ(g_boxOnScreen.size(), 4u);
    EXPECT_EQ(g_boxOnScreen[2], scaled(g_boxPicture.width));
    EXPECT_EQ(g_boxOnScreen[3], scaled(g_boxPicture.height));
    EXPECT_NEAR(g_boxOnScreen[0] + g_boxOnScreen[2] / 2.0, wx + vx + vw / 2.0, 2);
    EXPECT_NEAR(g_boxOnScreen[1] + g_boxOnScreen[3] / 2.0, wy + vy + vh / 2.0, 2);
    qvtest::Image picture = g_boxPicture;
    int face = 0;
    for (int i = 0; i < picture.width * picture.height; ++i)
        face += picture.rgba[i * 4] == 0xD4 && picture.rgba[i * 4 + 1] == 0xD0 && picture.rgba[i * 4 + 2] == 0xC8;
    EXPECT_NEAR(g_boxFaceShare, double(face) / (picture.width * picture.height), 0.03)
        << "the box's whole window shows its picture, scaled";
    qv::LeaveFullScreen(owner);
    DestroyWindow(owner);
}
