#include <gtest/gtest.h>

#include "WindowTestSupport.h"

using namespace wintest;

namespace {

class Input : public ::testing::Test {
protected:
    void SetUp() override
    {
        Log().clear();
        g_handler = nullptr;
        w = MakeWindow();
        ShowWindow(w, SW_SHOWNORMAL);
        Drain();
        Log().clear();
    }
    void TearDown() override { DestroyWindow(w); }

    // The key messages (WM_KEYDOWN .. WM_SYSCHAR) that reach the window procedure.
    std::vector<Received> Keys()
    {
        std::vector<Received> out;
        for (const Received& r : Log())
            if (r.message >= WM_KEYFIRST && r.message <= WM_KEYLAST)
                out.push_back(r);
        return out;
    }

    HWND w = nullptr;
};

} // namespace

TEST_F(Input, ShowingActivatesAndFocusChangesFollow)
{
    EXPECT_EQ(GetActiveWindow(), w);
    EXPECT_EQ(GetFocus(), w);
    PushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_LOST);
    Drain();
    auto acts = LogOf(WM_ACTIVATE);
    ASSERT_EQ(acts.size(), 1u);
    EXPECT_EQ(LOWORD(acts[0].wParam), WA_INACTIVE);
    EXPECT_EQ(GetActiveWindow(), nullptr);

    PushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_GAINED);
    Drain();
    acts = LogOf(WM_ACTIVATE);
    ASSERT_EQ(acts.size(), 2u);
    EXPECT_EQ(LOWORD(acts[1].wParam), WA_ACTIVE);
    EXPECT_EQ(GetForegroundWindow(), w);
}

TEST_F(Input, LettersArrowsAndFunctionKeysBecomeVirtualKeys)
{
    PushKey(w, SDL_SCANCODE_C, SDLK_c, true);
    PushKey(w, SDL_SCANCODE_C, SDLK_c, false);
    PushKey(w, SDL_SCANCODE_LEFT, SDLK_LEFT, true);
    PushKey(w, SDL_SCANCODE_F2, SDLK_F2, true);
    PushKey(w, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, true);
    PushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, true);
    PushKey(w, SDL_SCANCODE_7, SDLK_7, true);
    Drain();
    const auto downs = LogOf(WM_KEYDOWN);
    ASSERT_EQ(downs.size(), 6u);
    EXPECT_EQ(downs[0].wParam, WPARAM('C'));
    EXPECT_EQ(downs[1].wParam, WPARAM(VK_LEFT));
    EXPECT_TRUE(downs[1].lParam & (1 << 24)) << "arrow keys are extended keys";
    EXPECT_EQ(downs[2].wParam, WPARAM(VK_F2));
    EXPECT_EQ(downs[3].wParam, WPARAM(VK_ESCAPE));
    EXPECT_EQ(downs[4].wParam, WPARAM(VK_RETURN));
    EXPECT_EQ(downs[5].wParam, WPARAM('7'));
    const auto ups = LogOf(WM_KEYUP);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_TRUE(DWORD(ups[0].lParam) & (1u << 31)) << "key-up has the transition bit";
    EXPECT_TRUE(DWORD(ups[0].lParam) & (1u << 30));
    const auto chars = LogOf(WM_CHAR);
    ASSERT_GE(chars.size(), 1u);
    EXPECT_EQ(chars[0].wParam, WPARAM('c'));
}

TEST_F(Input, KeypadFollowsNumLockAsOnWindows)
{
    PushKey(w, SDL_SCANCODE_KP_8, SDLK_KP_8, true, KMOD_NUM);
    PushKey(w, SDL_SCANCODE_KP_8, SDLK_KP_8, false, KMOD_NUM);
    PushKey(w, SDL_SCANCODE_KP_8, SDLK_UP, true);
    PushKey(w, SDL_SCANCODE_KP_4, SDLK_LEFT, true);
    PushKey(w, SDL_SCANCODE_KP_5, SDLK_KP_5, true);
    Drain();
    const auto downs = LogOf(WM_KEYDOWN);
    ASSERT_EQ(downs.size(), 4u);
    EXPECT_EQ(downs[0].wParam, WPARAM(VK_NUMPAD8));
    EXPECT_EQ(downs[1].wParam, WPARAM(VK_UP));
    EXPECT_FALSE(downs[1].lParam & (1 << 24)) << "the keypad's arrows are not extended keys";
    EXPECT_EQ(downs[2].wParam, WPARAM(VK_LEFT));
    EXPECT_EQ(downs[3].wParam, WPARAM(VK_CLEAR));
}

TEST_F(Input, AltTurnsKeysIntoSystemKeysAndTypesAcceleratorCharacters)
{
    PushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_SLASH, SDLK_SLASH, true, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_SLASH, SDLK_SLASH, false, KMOD_LALT);
    PushKey(w, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, true, KMOD_LALT | KMOD_LSHIFT);
    PushKey(w, SDL_SCANCODE_SLASH, SDLK_SLASH, true, KMOD_LALT | KMOD_LSHIFT);
    PushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, true, KMOD_LALT | KMOD_LSHIFT);
    Drain();
    const auto sys = LogOf(WM_SYSKEYDOWN);
    ASSERT_EQ(sys.size(), 5u);
    EXPECT_EQ(sys[0].wParam, WPARAM(VK_MENU));
    EXPECT_EQ(sys[1].wParam, WPARAM(VK_OEM_2));
    for (const Received& r : sys)
        EXPECT_TRUE(r.lParam & (1 << 29)) << "the context bit says Alt is down";
    EXPECT_EQ(sys[2].wParam, WPARAM(VK_SHIFT));
    EXPECT_EQ(sys[4].wParam, WPARAM(VK_RETURN)) << "Alt+Enter as the game expects it";
    EXPECT_EQ(LogOf(WM_SYSKEYUP).size(), 1u);
    const auto chars = LogOf(WM_SYSCHAR);
    ASSERT_GE(chars.size(), 2u);
    EXPECT_EQ(chars[0].wParam, WPARAM('/'));
    EXPECT_EQ(chars[1].wParam, WPARAM('?'));
    EXPECT_TRUE(LogOf(WM_KEYDOWN).empty());
}

TEST_F(Input, PointerMovesArriveInClientCoordinatesAfterTheCursorIsChosen)
{
    PushMouseMotion(w, 5, 6);
    PushMouseMotion(w, 15, 16);
    Drain();
    const auto moves = LogOf(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 1u) << "a run of moves keeps only the last";
    EXPECT_EQ(GET_X_LPARAM(moves[0].lParam), 15);
    EXPECT_EQ(GET_Y_LPARAM(moves[0].lParam), 16);
    const auto cursors = LogOf(WM_SETCURSOR);
    ASSERT_EQ(cursors.size(), 1u);
    EXPECT_EQ(LOWORD(cursors[0].lParam), HTCLIENT);
    EXPECT_EQ(HIWORD(cursors[0].lParam), WM_MOUSEMOVE);
    POINT p;
    GetCursorPos(&p);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    EXPECT_EQ(p.x, origin.x + 15);
    EXPECT_EQ(p.y, origin.y + 16);
}

TEST_F(Input, CloseButtonClosesTheWindowThroughTheDefaultProcedure)
{
    PushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
    Drain();
    EXPECT_EQ(LogOf(WM_CLOSE).size(), 1u);
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(Input, ExposureAsksForPaint)
{
    PushWindowEvent(w, SDL_WINDOWEVENT_EXPOSED);
    Drain();
    EXPECT_EQ(LogOf(WM_PAINT).size(), 1u);
}

TEST_F(Input, KeysReachTheKeyboardStateAndAreReleasedWhenTheWindowLosesTheKeyboard)
{
    PushKey(w, SDL_SCANCODE_Z, SDLK_z, true);
    PushKey(w, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, true, KMOD_LSHIFT);
    Drain();
    BYTE keys[256];
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_TRUE(keys['Z'] & 0x80);
    EXPECT_TRUE(keys[VK_SHIFT] & 0x80) << "a side's Shift is Shift";
    EXPECT_TRUE(keys[VK_LSHIFT] & 0x80);
    PushKey(w, SDL_SCANCODE_Z, SDLK_z, false);
    Drain();
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_FALSE(keys['Z'] & 0x80);
    EXPECT_TRUE(keys[VK_SHIFT] & 0x80);
    PushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_LOST);
    Drain();
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_FALSE(keys[VK_SHIFT] & 0x80) << "no key stays down for a window without the keyboard";
}
