// The menu bar's rules for the mouse and the keys, as Windows has them: a command of the bar
// is chosen by the release of the button over it; a press on one item and a release on
// another chooses only what the button was released over; Alt and then an access key opens a
// drop-down or chooses a command of the bar; Escape closes the open drop-down; a key held from
// before the menu opened does not act in it.
#include <gtest/gtest.h>

#include <map>

#include "WindowTestSupport.h"
#include "resources/resource.h"

using namespace wintest;

namespace {

class MenuRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        Log().clear();
        g_handler = nullptr;
        HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
        ASSERT_NE(menu, nullptr);
        w = MakeWindow(WS_OVERLAPPEDWINDOW, 640, 480, menu);
        ShowWindow(w, SW_SHOWNORMAL);
        Drain();
        Log().clear();
    }
    void TearDown() override { DestroyWindow(w); }

    // WM_COMMAND ids that reached the window from the menu.
    std::vector<WORD> Commands()
    {
        std::vector<WORD> ids;
        for (const Received& r : LogOf(WM_COMMAND))
            if (HIWORD(r.wParam) == 0)
                ids.push_back(LOWORD(r.wParam));
        return ids;
    }

    // A point inside each item of the bar (0 ファイル, 1 設定, 2 画面キャプチャ, 3 ヘルプ), in the
    // SDL window's coordinates: found by pressing along the strip and asking which item each
    // press selected (a press in the client area closes the menu again).
    int ItemX(int item)
    {
        static std::map<int, int> s_found;
        if (s_found.empty()) {
            for (int x = 2; x < 400 && s_found.size() < 4; x += 4) {
                Log().clear();
                PushMouseButton(w, x, kBarY, true);
                PushMouseButton(w, 600, 400, true);
                Drain();
                const auto selects = LogOf(WM_MENUSELECT);
                if (selects.empty())
                    continue;
                const WORD id = LOWORD(selects[0].wParam);
                const int index = id == IDM_CAPTURE ? 2 : id;
                if (index >= 0 && index < 4 && !s_found.count(index))
                    s_found[index] = x + 8; // away from the item's left edge
            }
            Log().clear();
        }
        EXPECT_EQ(s_found.count(item), 1u) << "bar item " << item << " was found on the strip";
        return s_found.count(item) ? s_found[item] : 0;
    }

    void Key(SDL_Scancode sc, SDL_Keycode sym, Uint16 mod = KMOD_NONE)
    {
        PushKey(w, sc, sym, true, mod);
        PushKey(w, sc, sym, false, mod);
    }
    // A click in the client area: it ends any menu that a fault left open, so that a test
    // fails instead of waiting; after the menu it is a click in the window and nothing more.
    void Leave()
    {
        PushMouseButton(w, 600, 400, true);
        PushMouseButton(w, 600, 400, false);
    }
    void LoneAlt()
    {
        PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
        PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
    }

    static constexpr int kBarY = 10;
    HWND w = nullptr;
};

} // namespace

TEST_F(MenuRules, OneClickOnACommandOfTheBarChoosesItOnRelease)
{
    const int capture = ItemX(2);
    // A quick click, and a slow one that wanders within the item before the release.
    PushMouseButton(w, capture, kBarY, true);
    PushMouseButton(w, capture, kBarY, false);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_CAPTURE)});
    EXPECT_EQ(LogOf(WM_EXITMENULOOP).size(), 1u);

    Log().clear();
    PushMouseButton(w, capture, kBarY, true);
    PushMouseMotion(w, capture + 3, kBarY + 2);
    PushMouseMotion(w, capture - 2, kBarY - 3);
    PushMouseButton(w, capture - 2, kBarY - 3, false);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_CAPTURE)}) << "chosen once per click";
}

TEST_F(MenuRules, OnlyWhatTheButtonIsReleasedOverIsChosen)
{
    const int settings = ItemX(1), capture = ItemX(2), help = ItemX(3);
    // Pressed on the capture item, dragged into the client area and released: nothing, and
    // the menu is left.
    PushMouseButton(w, capture, kBarY, true);
    PushMouseMotion(w, capture, 200);
    PushMouseButton(w, capture, 200, false);
    Drain();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(LogOf(WM_EXITMENULOOP).size(), 1u);

    // Pressed on 設定 (its drop-down opens), dragged to the capture item and released there.
    Log().clear();
    PushMouseButton(w, settings, kBarY, true);
    PushMouseMotion(w, capture, kBarY);
    PushMouseButton(w, capture, kBarY, false);
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_CAPTURE)});

    // Pressed on the capture item and dragged onto ヘルプ: its drop-down opens and stays open
    // after the release, with nothing chosen; a press outside every menu leaves it.
    Log().clear();
    PushMouseButton(w, capture, kBarY, true);
    PushMouseMotion(w, help, kBarY);
    PushMouseButton(w, help, kBarY, false);
    PushMouseButton(w, 600, 400, true);
    Drain();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(LogOf(WM_INITMENUPOPUP).size(), 1u);

    // A drop-down opened by a click stays open when the button is released outside every item.
    Log().clear();
    PushMouseButton(w, help, kBarY, true);
    PushMouseButton(w, help, kBarY, false);
    PushMouseMotion(w, 600, 400);
    PushMouseButton(w, 600, 400, false);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN); // the first item of the drop-down, still open
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_ABOUT)});
}

TEST_F(MenuRules, AltThenAnAccessKeyOpensADropDownOrChoosesACommand)
{
    LoneAlt();
    Key(SDL_SCANCODE_C, SDLK_c);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_CAPTURE)});
    EXPECT_EQ(LogOf(WM_ENTERMENULOOP).size(), 1u);

    // ヘルプ opens by its letter, and its item by its own.
    Log().clear();
    LoneAlt();
    Key(SDL_SCANCODE_H, SDLK_h);
    Key(SDL_SCANCODE_A, SDLK_a);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_ABOUT)});
    EXPECT_EQ(LogOf(WM_INITMENUPOPUP).size(), 1u);

    // Held Alt with the letter works as well.
    Log().clear();
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_C, SDLK_c, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_C, SDLK_c, false, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_CAPTURE)});
}

TEST_F(MenuRules, EscapeClosesTheOpenDropDownOnly)
{
    // 設定 by its letter, into FPS, Escape back to 設定, down to サウンド and into it: Escape
    // closed only the FPS drop-down. Enter chooses サウンド's first item.
    LoneAlt();
    Key(SDL_SCANCODE_S, SDLK_s);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_SOUND_ON)});

    // A drop-down opened by a click: the first Escape closes it and leaves its item selected
    // (Down opens it again), the second leaves the menu.
    Log().clear();
    const int help = ItemX(3);
    PushMouseButton(w, help, kBarY, true);
    PushMouseButton(w, help, kBarY, false);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Drain();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(LogOf(WM_INITMENUPOPUP).size(), 2u);
    EXPECT_EQ(LogOf(WM_EXITMENULOOP).size(), 1u);
}

TEST_F(MenuRules, AKeyHeldFromBeforeTheMenuDoesNotActInIt)
{
    // Enter goes down in play and stays down; F10 selects the bar, Right twice the capture
    // item; Enter, told again while still held, must not choose it.
    PushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
    Drain();
    Key(SDL_SCANCODE_F10, SDLK_F10);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    PushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Drain();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(LogOf(WM_EXITMENULOOP).size(), 1u);

    // Released and pressed again inside the menu, it chooses.
    Log().clear();
    PushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, false);
    Key(SDL_SCANCODE_F10, SDLK_F10);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_CAPTURE)});
}

TEST_F(MenuRules, WhileADropDownIsOpenAnotherItemOfTheBarOpensItsOwn)
{
    // (An open menu holds the loop, so each case queues its input whole, up to the end.)
    HMENU help = GetSubMenu(GetMenu(w), 3);
    const int settings = ItemX(1), capture = ItemX(2), helpX = ItemX(3);
    const int helpItemY = kBarY + GetSystemMetrics(SM_CYMENU); // バージョン情報, below ヘルプ
    // 設定 opened by a click; the pointer goes to ヘルプ (its drop-down opens as it arrives) and
    // clicks it: ヘルプ's drop-down stays, and its item is chosen from the keys.
    PushMouseButton(w, settings, kBarY, true);
    PushMouseButton(w, settings, kBarY, false);
    PushMouseMotion(w, helpX, kBarY);
    PushMouseButton(w, helpX, kBarY, true);
    PushMouseButton(w, helpX, kBarY, false);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_ABOUT)});
    auto popups = LogOf(WM_INITMENUPOPUP);
    ASSERT_EQ(popups.size(), 2u);
    EXPECT_EQ(reinterpret_cast<HMENU>(popups.back().wParam), help);

    // Pressed straight on another item, without a move first: its drop-down opens. A second
    // click on it closes the menu (the keys after it go to the window).
    Log().clear();
    PushMouseButton(w, settings, kBarY, true);
    PushMouseButton(w, settings, kBarY, false);
    PushMouseButton(w, helpX, kBarY, true);
    PushMouseButton(w, helpX, kBarY, false);
    PushMouseButton(w, helpX, kBarY, true);
    PushMouseButton(w, helpX, kBarY, false);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Drain();
    popups = LogOf(WM_INITMENUPOPUP);
    ASSERT_EQ(popups.size(), 2u);
    EXPECT_EQ(reinterpret_cast<HMENU>(popups.back().wParam), help);
    EXPECT_EQ(LogOf(WM_EXITMENULOOP).size(), 1u);
    EXPECT_TRUE(Commands().empty());

    // Moved across the capture command of the bar, the menus stay dropped: ヘルプ's drop-down
    // opens as the pointer reaches it, and a click on its item chooses it.
    Log().clear();
    PushMouseButton(w, settings, kBarY, true);
    PushMouseButton(w, settings, kBarY, false);
    PushMouseMotion(w, capture, kBarY);
    PushMouseMotion(w, helpX, kBarY);
    PushMouseMotion(w, helpX + 4, helpItemY);
    PushMouseButton(w, helpX + 4, helpItemY, true);
    PushMouseButton(w, helpX + 4, helpItemY, false);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_ABOUT)});
}

TEST_F(MenuRules, InputWaitingFromBeforeTheMenuIsTakenFirst)
{
    // The release of the click that opens 設定 waits in the queue as the menu starts; the click
    // on ヘルプ comes from the display after it. Taken out of order, the move onto ヘルプ would
    // be a drag with the button still down and the click a second one, which closes the menu.
    static HWND s_window;
    static int s_help;
    static bool s_pushed;
    s_window = w;
    s_help = ItemX(3);
    s_pushed = false;
    const int settings = ItemX(1);
    g_handler = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg == WM_INITMENUPOPUP && !s_pushed) {
            s_pushed = true;
            PushMouseMotion(s_window, s_help, kBarY);
            PushMouseButton(s_window, s_help, kBarY, true);
            PushMouseButton(s_window, s_help, kBarY, false);
            PushKey(s_window, SDL_SCANCODE_DOWN, SDLK_DOWN, true);
            PushKey(s_window, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
        }
        return false;
    };
    PushMouseButton(w, settings, kBarY, true);
    PushMouseButton(w, settings, kBarY, false);
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_ABOUT)});
}

TEST_F(MenuRules, LeftAndRightMoveBetweenTheDropDownsOfTheBar)
{
    // 設定 by its letter: Right on 画面モード opens that submenu; Right on its item (no submenu)
    // goes on to the bar's next item, the capture command, and on to ヘルプ, whose drop-down
    // opens with its first item selected.
    LoneAlt();
    Key(SDL_SCANCODE_S, SDLK_s);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_ABOUT)});
    const auto popups = LogOf(WM_INITMENUPOPUP);
    ASSERT_EQ(popups.size(), 3u);
    EXPECT_EQ(reinterpret_cast<HMENU>(popups[1].wParam), GetSubMenu(GetSubMenu(GetMenu(w), 1), 0));

    // Left in a submenu closes it back to its parent: into FPS, Left, down to サウンド, into it.
    Log().clear();
    LoneAlt();
    Key(SDL_SCANCODE_S, SDLK_s);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_LEFT, SDLK_LEFT);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_SOUND_ON)});

    // Left in a drop-down of the bar goes to the one before, round from the first to the last:
    // ファイル, Left to ヘルプ.
    Log().clear();
    LoneAlt();
    Key(SDL_SCANCODE_F, SDLK_f);
    Key(SDL_SCANCODE_LEFT, SDLK_LEFT);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_ABOUT)});

    // A submenu that the pointer opened (FPS, the second item of 設定's drop-down) is entered
    // by Right, not left for the next item of the bar.
    Log().clear();
    const int settings = ItemX(1), fpsY = GetSystemMetrics(SM_CYMENU) + 3 + 19 + 9;
    PushMouseButton(w, settings, kBarY, true);
    PushMouseButton(w, settings, kBarY, false);
    PushMouseMotion(w, settings, fpsY);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Leave();
    Drain();
    EXPECT_EQ(Commands(), std::vector<WORD>{WORD(IDM_15FPS)});

    // With no drop-down open (F10), Right only selects.
    Log().clear();
    Key(SDL_SCANCODE_F10, SDLK_F10);
    Key(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Drain();
    EXPECT_TRUE(LogOf(WM_INITMENUPOPUP).empty());
    EXPECT_EQ(LogOf(WM_EXITMENULOOP).size(), 1u);
}
