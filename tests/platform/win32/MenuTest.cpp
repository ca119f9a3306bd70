#include <gtest/gtest.h>

#include <map>
#include <string>

#include "WindowTestSupport.h"
#include "platform/win32/Canvas.h"
#include "platform/win32/MenuStrip.h"
#include "resources/resource.h"

using namespace wintest;

namespace {

class Menus : public ::testing::Test {
protected:
    void SetUp() override
    {
        Log().clear();
        g_handler = nullptr;
    }

    HWND MakeMenuWindow()
    {
        HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
        EXPECT_NE(menu, nullptr);
        HWND w = MakeWindow(WS_OVERLAPPEDWINDOW, 640, 480, menu);
        ShowWindow(w, SW_SHOWNORMAL);
        Drain();
        Log().clear();
        return w;
    }

    // WM_COMMAND ids that reached the window, posted (not from accelerators).
    std::vector<WORD> MenuCommands()
    {
        std::vector<WORD> ids;
        for (const Received& r : LogOf(WM_COMMAND))
            if (HIWORD(r.wParam) == 0)
                ids.push_back(LOWORD(r.wParam));
        return ids;
    }
};

std::string MenuText(HMENU m, UINT item, UINT flags)
{
    char buf[128];
    GetMenuStringA(m, item, buf, sizeof buf, flags);
    return buf;
}

} // namespace

TEST_F(Menus, MainMenuHasEveryItemWithItsId)
{
    HMENU m = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(GetMenuItemCount(m), 4);
    EXPECT_EQ(MenuText(m, 0, MF_BYPOSITION), "ファイル(&F)");
    EXPECT_EQ(MenuText(m, 1, MF_BYPOSITION), "設定(&S)");
    EXPECT_EQ(MenuText(m, 2, MF_BYPOSITION), "画面キャプチャ(&C)");
    EXPECT_EQ(GetMenuItemID(m, 2), UINT(IDM_CAPTURE));
    EXPECT_EQ(MenuText(m, 3, MF_BYPOSITION), "ヘルプ(&H)");
    EXPECT_EQ(GetMenuItemID(GetSubMenu(m, 0), 0), UINT(IDM_EXIT));
    EXPECT_EQ(GetMenuItemID(GetSubMenu(m, 3), 0), UINT(IDM_ABOUT));
    EXPECT_EQ(MenuText(m, IDM_ABOUT, MF_BYCOMMAND), "バージョン情報 ...(&A)");

    HMENU settings = GetSubMenu(m, 1);
    ASSERT_EQ(GetMenuItemCount(settings), 3);
    HMENU screen = GetSubMenu(settings, 0);
    EXPECT_EQ(MenuText(settings, 0, MF_BYPOSITION), "画面モード");
    const UINT screenIds[] = {IDM_FULL_640, IDM_FULL_320, IDM_WINDOW_640, IDM_WINDOW_320, 0xFFFFFFFF, IDM_VSYNC_ON, IDM_VSYNC_OFF};
    ASSERT_EQ(GetMenuItemCount(screen), 7);
    for (int i = 0; i < 7; ++i) {
        if (i != 4) {
            EXPECT_EQ(GetMenuItemID(screen, i), screenIds[i]);
        }
    }
    EXPECT_TRUE(GetMenuState(screen, 4, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(MenuText(screen, IDM_FULL_640, MF_BYCOMMAND), "640x480 フルスクリーン");
    EXPECT_EQ(MenuText(screen, IDM_WINDOW_320, MF_BYCOMMAND), "320x240 ウインドウ");
    EXPECT_EQ(MenuText(settings, 1, MF_BYPOSITION), "FPS");
    EXPECT_EQ(GetMenuItemID(GetSubMenu(settings, 1), 0), UINT(IDM_15FPS));
    EXPECT_EQ(GetMenuItemID(GetSubMenu(settings, 1), 2), UINT(IDM_60FPS));
    EXPECT_EQ(MenuText(settings, 2, MF_BYPOSITION), "サウンド");
    EXPECT_EQ(GetMenuItemID(GetSubMenu(settings, 2), 1), UINT(IDM_SOUND_OFF));
    // A popup's state counts its items in the high byte.
    EXPECT_EQ(GetMenuState(settings, 0, MF_BYPOSITION) >> 8, 7u);
    EXPECT_TRUE(DestroyMenu(m));
    EXPECT_FALSE(IsMenu(settings)) << "submenus go with their menu";
}

TEST_F(Menus, CheckMarksAreFoundByCommandInSubmenus)
{
    HMENU m = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
    EXPECT_EQ(CheckMenuItem(m, IDM_30FPS, MF_BYCOMMAND | MF_CHECKED), DWORD(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(m, IDM_30FPS, MF_BYCOMMAND | MF_CHECKED), DWORD(MF_CHECKED));
    EXPECT_TRUE(GetMenuState(m, IDM_30FPS, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(CheckMenuItem(m, IDM_30FPS, MF_BYCOMMAND | MF_UNCHECKED), DWORD(MF_CHECKED));
    EXPECT_FALSE(GetMenuState(m, IDM_30FPS, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(CheckMenuItem(m, 12345, MF_BYCOMMAND | MF_CHECKED), 0xFFFFFFFFu);
    EXPECT_EQ(CheckMenuItem(nullptr, IDM_30FPS, MF_CHECKED), 0xFFFFFFFFu);
    DestroyMenu(m);
}

TEST_F(Menus, BarTakesItsHeightFromTheClientAndGivesItBack)
{
    HWND w = MakeMenuWindow();
    HMENU menu = GetMenu(w);
    ASSERT_NE(menu, nullptr);
    RECT r = {0, 0, 640, 480};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, TRUE);
    SetWindowPos(w, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, 640);
    EXPECT_EQ(c.bottom, 480);
    int vx, vy, vw, vh;
    ASSERT_TRUE(qv::ClientViewport(w, &vx, &vy, &vw, &vh));
    EXPECT_EQ(vy, GetSystemMetrics(SM_CYMENU)) << "the client area starts below the strip";
    EXPECT_EQ(vw, 640);
    EXPECT_EQ(vh, 480);
    int dw, dh;
    SDL_GL_GetDrawableSize(qv::SdlWindowOf(w), &dw, &dh);
    EXPECT_EQ(dh, 480 + GetSystemMetrics(SM_CYMENU));

    RECT before;
    GetWindowRect(w, &before);
    ASSERT_TRUE(SetMenu(w, nullptr));
    EXPECT_EQ(GetMenu(w), nullptr);
    RECT after;
    GetWindowRect(w, &after);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top) << "the window keeps its rectangle";
    GetClientRect(w, &c);
    EXPECT_EQ(c.bottom, 480 + GetSystemMetrics(SM_CYMENU));
    ASSERT_TRUE(SetMenu(w, menu));
    GetClientRect(w, &c);
    EXPECT_EQ(c.bottom, 480);
    EXPECT_TRUE(IsMenu(menu)) << "a menu taken off stays alive";
    DestroyWindow(w);
    EXPECT_FALSE(IsMenu(menu)) << "the menu of a window goes with it";
}

TEST_F(Menus, KeyboardWalksToASubmenuItemAndPostsItsCommand)
{
    HWND w = MakeMenuWindow();
    // Alt+S opens the settings menu; Down to "FPS", Right into it, Enter on "15FPS".
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_S, SDLK_s, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_S, SDLK_s, false, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
    PushKey(w, SDL_SCANCODE_DOWN, SDLK_DOWN, true);
    PushKey(w, SDL_SCANCODE_DOWN, SDLK_DOWN, false);
    PushKey(w, SDL_SCANCODE_RIGHT, SDLK_RIGHT, true);
    PushKey(w, SDL_SCANCODE_RIGHT, SDLK_RIGHT, false);
    PushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
    PushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, false);
    Drain();
    EXPECT_EQ(MenuCommands(), std::vector<WORD>{WORD(IDM_15FPS)});
    EXPECT_EQ(LogOf(WM_ENTERMENULOOP).size(), 1u);
    EXPECT_EQ(LogOf(WM_EXITMENULOOP).size(), 1u);
    EXPECT_EQ(LogOf(WM_INITMENUPOPUP).size(), 2u);

    const auto selects = LogOf(WM_MENUSELECT);
    ASSERT_GE(selects.size(), 4u);
    // The settings item of the bar (a popup, by position), then the items as they are walked.
    EXPECT_EQ(LOWORD(selects[0].wParam), 1);
    EXPECT_TRUE(HIWORD(selects[0].wParam) & MF_POPUP);
    EXPECT_EQ(reinterpret_cast<HMENU>(selects[0].lParam), GetMenu(w));
    bool sawFps = false;
    for (const Received& r : selects)
        sawFps |= LOWORD(r.wParam) == IDM_15FPS;
    EXPECT_TRUE(sawFps);
    // Closing says 0xFFFF with no menu, and comes before the command.
    EXPECT_EQ(HIWORD(selects.back().wParam), 0xFFFF);
    EXPECT_EQ(selects.back().lParam, 0);
    size_t closeAt = 0, commandAt = 0;
    for (size_t i = 0; i < Log().size(); ++i) {
        if (Log()[i].message == WM_MENUSELECT && HIWORD(Log()[i].wParam) == 0xFFFF)
            closeAt = i;
        if (Log()[i].message == WM_COMMAND)
            commandAt = i;
    }
    EXPECT_LT(closeAt, commandAt);
    DestroyWindow(w);
}

TEST_F(Menus, F10SelectsTheBarAndEscapeLeavesWithoutACommand)
{
    HWND w = MakeMenuWindow();
    PushKey(w, SDL_SCANCODE_F10, SDLK_F10, true);
    PushKey(w, SDL_SCANCODE_F10, SDLK_F10, false);
    PushKey(w, SDL_SCANCODE_RIGHT, SDLK_RIGHT, true);
    PushKey(w, SDL_SCANCODE_RIGHT, SDLK_RIGHT, true);
    PushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, true); // "画面キャプチャ(&C)" on the bar itself
    Drain();
    EXPECT_EQ(MenuCommands(), std::vector<WORD>{WORD(IDM_CAPTURE)});

    Log().clear();
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
    PushKey(w, SDL_SCANCODE_DOWN, SDLK_DOWN, true);
    PushKey(w, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, true);
    PushKey(w, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, true);
    Drain();
    EXPECT_TRUE(MenuCommands().empty());
    EXPECT_EQ(LogOf(WM_EXITMENULOOP).size(), 1u);
    EXPECT_TRUE(IsWindow(w));

    // Alt with a letter that no item has: no menu at all.
    Log().clear();
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_Q, SDLK_q, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_Q, SDLK_q, false, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
    Drain();
    EXPECT_TRUE(LogOf(WM_ENTERMENULOOP).empty());
    DestroyWindow(w);
}

TEST_F(Menus, MouseOpensADropDownAndChoosesAnItem)
{
    HWND w = MakeMenuWindow();
    // Press on "ヘルプ(&H)" (the last item of the bar), move down into its menu, release.
    int x = 0;
    const int barY = GetSystemMetrics(SM_CYMENU) / 2;
    // Scan the strip from the right for the first item (the bar's empty end answers nothing).
    for (x = 320; x > 0; x -= 4) {
        Log().clear();
        PushMouseButton(w, x, barY, true);
        PushMouseButton(w, x, barY, true); // a second press on an open item closes the menu
        Drain();
        const auto selects = LogOf(WM_MENUSELECT);
        if (!selects.empty() && LOWORD(selects[0].wParam) == 3)
            break;
    }
    ASSERT_GT(x, 0) << "the help item was found on the strip";
    Log().clear();
    PushMouseButton(w, x, barY, true);
    PushMouseMotion(w, x + 10, GetSystemMetrics(SM_CYMENU) + 10);
    PushMouseButton(w, x + 10, GetSystemMetrics(SM_CYMENU) + 10, false);
    Drain();
    EXPECT_EQ(MenuCommands(), std::vector<WORD>{WORD(IDM_ABOUT)});
    EXPECT_EQ(LogOf(WM_INITMENUPOPUP).size(), 1u);
    bool mouseSelect = false;
    for (const Received& r : LogOf(WM_MENUSELECT))
        mouseSelect |= (HIWORD(r.wParam) & MF_MOUSESELECT) != 0 && HIWORD(r.wParam) != 0xFFFF;
    EXPECT_TRUE(mouseSelect);

    // A click outside every menu closes it without a command.
    Log().clear();
    PushMouseButton(w, x, barY, true);
    PushMouseButton(w, 600, 400, true);
    Drain();
    EXPECT_TRUE(MenuCommands().empty());
    EXPECT_EQ(LogOf(WM_EXITMENULOOP).size(), 1u);
    DestroyWindow(w);
}

TEST_F(Menus, AcceleratorsTranslateAltSlashAndAltQuestionMark)
{
    HWND w = MakeMenuWindow();
    HACCEL accel = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
    ASSERT_NE(accel, nullptr);
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_SLASH, SDLK_SLASH, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_SLASH, SDLK_SLASH, false, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, true, KMOD_LALT | KMOD_LSHIFT);
    PushKey(w, SDL_SCANCODE_SLASH, SDLK_SLASH, true, KMOD_LALT | KMOD_LSHIFT);
    PushKey(w, SDL_SCANCODE_SLASH, SDLK_SLASH, false, KMOD_LALT | KMOD_LSHIFT);
    PushKey(w, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, false, KMOD_LALT);
    // A plain '/' is no accelerator.
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
    PushKey(w, SDL_SCANCODE_SLASH, SDLK_SLASH, true);
    MSG msg;
    int translated = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (TranslateAcceleratorA(msg.hwnd, accel, &msg)) {
            ++translated;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(translated, 2);
    const auto commands = LogOf(WM_COMMAND);
    ASSERT_EQ(commands.size(), 2u);
    for (const Received& r : commands) {
        EXPECT_EQ(LOWORD(r.wParam), IDM_ABOUT);
        EXPECT_EQ(HIWORD(r.wParam), 1) << "from an accelerator";
    }
    EXPECT_TRUE(LogOf(WM_ENTERMENULOOP).empty()) << "the accelerator keeps the menu closed";
    EXPECT_TRUE(DestroyAcceleratorTable(accel));
    DestroyWindow(w);
}

TEST_F(Menus, StringTableAnswersTheWindowClassName)
{
    char buf[100];
    EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), IDS_WINDOW_CLASS, buf, sizeof buf), 8);
    EXPECT_STREQ(buf, "QUORVANE");
    char small[4];
    EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), IDS_WINDOW_CLASS, small, sizeof small), 3);
    EXPECT_STREQ(small, "QUO");
    EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 4242, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN)), nullptr);
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SMALL)), nullptr);
    EXPECT_NE(LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_LINK_CURSOR)), nullptr);
    HCURSOR game = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_GAME_CURSOR));
    ASSERT_NE(game, nullptr);
    EXPECT_EQ(LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(999)), nullptr);
    SetCursor(game);
    EXPECT_EQ(SetCursor(nullptr), game);
}

TEST_F(Menus, ProgramFileCarriesItsVersionBlock)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    const DWORD size = GetFileVersionInfoSizeA(path, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));
    WORD* translation = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len));
    ASSERT_GE(len, 4u);
    char key[64];
    std::snprintf(key, sizeof key, "%04x%04x", translation[0], translation[1]);
    EXPECT_STREQ(key, "041103a4");
    for (const char* name : {"ProductName", "ProductVersion", "LegalCopyright"}) {
        char query[128];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%s\\%s", key, name);
        char* value = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&value), &len)) << name;
        EXPECT_GT(std::strlen(value), 0u);
    }
}

TEST_F(Menus, KeysRepeatedByAFocusMoveDoNotCloseTheMenu)
{
    HWND w = MakeMenuWindow();
    static HWND s_window;
    s_window = w;
    static bool s_moved;
    s_moved = false;
    // As the first drop-down shows, the display moves its focus for a moment: it releases the
    // held keys and tells of them again.
    g_handler = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg == WM_INITMENUPOPUP && !s_moved) {
            s_moved = true;
            PushWindowEvent(s_window, SDL_WINDOWEVENT_FOCUS_LOST);
            PushKey(s_window, SDL_SCANCODE_LALT, SDLK_LALT, false);
            PushWindowEvent(s_window, SDL_WINDOWEVENT_FOCUS_GAINED);
            PushKey(s_window, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
            PushKey(s_window, SDL_SCANCODE_S, SDLK_s, false, KMOD_LALT);
            PushKey(s_window, SDL_SCANCODE_LALT, SDLK_LALT, false);
            // Down to "FPS", Enter into it, Enter on "15FPS".
            PushKey(s_window, SDL_SCANCODE_DOWN, SDLK_DOWN, true);
            PushKey(s_window, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
            PushKey(s_window, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
        }
        return false;
    };
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_S, SDLK_s, true, KMOD_LALT);
    Drain();
    EXPECT_EQ(MenuCommands(), std::vector<WORD>{WORD(IDM_15FPS)});
    EXPECT_TRUE(LogOf(WM_ACTIVATE).empty()) << "the window kept its activation";
    DestroyWindow(w);
}

// In full screen the drop-downs scale with the picture as the strip does: each lies below its
// item of the scaled bar (a submenu beside its item), as tall relative to the picture as the
// strip is, its picture scaled too; the pointer finds their items at the scaled places.
TEST_F(Menus, FullScreenDropDownsScaleAndLieAsTheStripDoes)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
    HWND w = MakeWindow(WS_POPUP, 640, 480, menu);
    ShowWindow(w, SW_SHOW);
    ASSERT_TRUE(qv::EnterFullScreen(w, 640, 480));
    Drain();
    Log().clear();
    int vx, vy, vw, vh, wx, wy;
    ASSERT_TRUE(qv::ClientViewport(w, &vx, &vy, &vw, &vh));
    SDL_GetWindowPosition(qv::SdlWindowOf(w), &wx, &wy);
    ASSERT_GT(vh, 480) << "the display is larger than the mode, which it shows scaled";
    const auto scaled = [&](int length) { return length * vh / 480; };

    // What the menus measure in the mode's pixels, as in a window.
    HMENU settings = GetSubMenu(menu, 1), screenModes = GetSubMenu(settings, 0);
    qv::win::Canvas strip, dropDown, submenu;
    qv::win::PaintMenuBar(strip, menu, 640, 1);
    qv::win::PaintPopupMenu(dropDown, settings, 0);
    qv::win::PaintPopupMenu(submenu, screenModes, 0);
    int settingsLeft = 0;
    while (settingsLeft < strip.Width() && strip.Pixels()[10 * strip.Width() + settingsLeft] != qv::win::colors::kHighlight)
        ++settingsLeft;

    // From the keys: 設定, then Right into 画面モード. Each drop-down is measured as its first
    // item is selected; the first one's picture once the second opens.
    static std::map<HMENU, std::vector<int>> s_shown;
    static int s_highlightRows;
    s_shown.clear();
    s_highlightRows = 0;
    g_handler = [](HWND, UINT msg, WPARAM, LPARAM lp, LRESULT&) {
        const std::vector<SDL_Window*> popups = ShownSdlWindows("menu");
        if (msg != WM_MENUSELECT || !lp || popups.empty() || s_shown.count(reinterpret_cast<HMENU>(lp)))
            return false;
        s_shown[reinterpret_cast<HMENU>(lp)] = SdlGeometry(popups.back());
        if (popups.size() == 2) {
            // Down the selected item's right end, past its text and arrow.
            SDL_Surface* s = SDL_GetWindowSurface(popups[0]);
            for (int y = 0; s && y < s->h; ++y) {
                Uint8 r, g, b;
                SDL_GetRGB(static_cast<const Uint32*>(s->pixels)[y * s->pitch / 4 + s->w - 8], s->format, &r, &g, &b);
                s_highlightRows += r == 0x0A && g == 0x24 && b == 0x6A;
            }
        }
        return false;
    };
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
    PushKey(w, SDL_SCANCODE_S, SDLK_s, true);
    PushKey(w, SDL_SCANCODE_RIGHT, SDLK_RIGHT, true);
    for (int i = 0; i < 3; ++i)
        PushKey(w, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, true);
    Drain();
    g_handler = nullptr;
    ASSERT_EQ(s_shown.count(settings), 1u);
    ASSERT_EQ(s_shown.count(screenModes), 1u);
    const std::vector<int> drop = s_shown[settings];
    EXPECT_EQ(drop, (std::vector<int>{wx + vx + scaled(settingsLeft), wy + vy + scaled(GetSystemMetrics(SM_CYMENU)),
                                      scaled(dropDown.Width()), scaled(dropDown.Height())}));
    EXPECT_EQ(s_shown[screenModes], (std::vector<int>{drop[0] + drop[2] - scaled(3), drop[1], scaled(submenu.Width()),
                                                      scaled(submenu.Height())}));
    EXPECT_NEAR(s_highlightRows, scaled(19), 1) << "the selected item is as tall as the scale makes it";

    // By the pointer: 設定, then FPS (the second item, 3 + 19 + 9 pixels down its drop-down),
    // then 15FPS, the first of FPS's submenu, which lies beside FPS.
    Log().clear();
    const auto click = [&](int sx, int sy) {
        PushMouseMotion(w, sx - wx, sy - wy);
        PushMouseButton(w, sx - wx, sy - wy, true);
        PushMouseButton(w, sx - wx, sy - wy, false);
    };
    click(wx + vx + scaled(settingsLeft + 8), wy + vy + scaled(10));
    click(drop[0] + drop[2] / 2, drop[1] + scaled(31));
    click(drop[0] + drop[2] - scaled(3) + scaled(40), drop[1] + scaled(19 + 12));
    click(wx + vx + vw - 4, wy + vy + vh - 4); // outside every menu, should one be left open
    Drain();
    EXPECT_EQ(MenuCommands(), std::vector<WORD>{WORD(IDM_15FPS)});
    qv::LeaveFullScreen(w);
    DestroyWindow(w);
}
