#include <gtest/gtest.h>

#include <cstddef>

#include "WindowTestSupport.h"

using namespace wintest;

// The game relies on these layouts (they are written to and compared with the system's).
static_assert(sizeof(WINDOWPLACEMENT) == 44, "WINDOWPLACEMENT keeps its 44 bytes");
static_assert(sizeof(JOYINFOEX) == 52, "JOYINFOEX keeps its 52 bytes");
static_assert(offsetof(MSG, message) == sizeof(HWND), "MSG: message follows the window");
static_assert(offsetof(MSG, wParam) == 2 * sizeof(void*), "MSG: wParam is pointer-aligned");
static_assert(offsetof(MSG, time) == 4 * sizeof(void*), "MSG: time follows lParam");
static_assert(sizeof(MSG) == (sizeof(void*) == 8 ? 48 : 28), "MSG has the system's size");
static_assert(sizeof(WPARAM) == sizeof(void*) && sizeof(LPARAM) == sizeof(void*), "pointer-sized parameters");
static_assert(sizeof(PROCESSENTRY32) == (sizeof(void*) == 8 ? 304 : 296), "PROCESSENTRY32 has the system's size");

namespace {

class MessageQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        Log().clear();
        g_handler = nullptr;
    }
};

} // namespace

TEST_F(MessageQueue, PostedMessagesComeInOrderAndPeekWithoutRemovingLeavesThem)
{
    HWND w = MakeWindow();
    ASSERT_NE(w, nullptr);
    Drain();
    ASSERT_TRUE(PostMessageA(w, WM_APP + 1, 11, 12));
    ASSERT_TRUE(PostMessageA(w, WM_APP + 2, 21, 22));
    ASSERT_TRUE(PostMessageA(nullptr, WM_APP + 3, 31, 32)); // a thread message

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP + 1));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP + 1)) << "PM_NOREMOVE leaves the message in the queue";

    // A range filter skips earlier messages without disturbing them.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 2, WM_APP + 2, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP + 2));
    EXPECT_EQ(msg.wParam, WPARAM(21));
    EXPECT_EQ(msg.lParam, LPARAM(22));

    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP + 1));
    EXPECT_EQ(msg.hwnd, w);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP + 3));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(DispatchMessageA(&msg), 0) << "a thread message reaches no procedure";

    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP + 10, PM_REMOVE));
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(w);
}

TEST_F(MessageQueue, QuitComesAfterWaitingMessagesAndEndsGetMessage)
{
    HWND w = MakeWindow();
    Drain();
    PostMessageA(w, WM_APP, 1, 0);
    PostQuitMessage(7);
    PostMessageA(w, WM_APP, 2, 0);

    MSG msg;
    std::vector<WPARAM> seen;
    BOOL r;
    while ((r = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        if (msg.message == WM_APP)
            seen.push_back(msg.wParam);
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(r, FALSE);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(7));
    EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2}));

    // Taken once: the quit is gone afterwards.
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

    // With PeekMessage, as the game's loop uses it; the filter does not hide WM_QUIT.
    PostQuitMessage(0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    DestroyWindow(w);
}

TEST_F(MessageQueue, CloseDestroyThenQuitAsTheDefaultProcedureDoes)
{
    g_handler = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT& result) {
        if (msg == WM_DESTROY) {
            PostQuitMessage(0);
            result = 0;
            return true;
        }
        return false;
    };
    HWND w = MakeWindow();
    ShowWindow(w, SW_SHOWNORMAL);
    PostMessageA(w, WM_CLOSE, 0, 0);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(LogOf(WM_DESTROY).size(), 1u);
    EXPECT_EQ(LogOf(WM_NCDESTROY).size(), 1u);
    EXPECT_FALSE(DestroyWindow(w)) << "a destroyed handle is no window any more";
}

TEST_F(MessageQueue, ProcedureSeesCreationAndCanRefuseIt)
{
    int param = 42;
    HWND w = CreateWindowExA(0, TestClass(), "t", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), &param);
    ASSERT_NE(w, nullptr);
    ASSERT_GE(Log().size(), 2u);
    EXPECT_EQ(Log()[0].message, UINT(WM_NCCREATE));
    const auto creates = LogOf(WM_CREATE);
    ASSERT_EQ(creates.size(), 1u);
    const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(creates[0].lParam);
    EXPECT_EQ(cs, reinterpret_cast<const CREATESTRUCTA*>(creates[0].lParam));
    DestroyWindow(w);

    Log().clear();
    g_handler = [](HWND, UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
        if (msg == WM_CREATE) {
            EXPECT_EQ(*static_cast<int*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams), 42);
            result = -1;
            return true;
        }
        return false;
    };
    HWND refused = CreateWindowExA(0, TestClass(), "t", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), &param);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(LogOf(WM_DESTROY).size(), 1u) << "a refused window is destroyed";
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "t", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
}

namespace {

WNDPROC g_previous = nullptr;
std::vector<UINT> g_subclassSaw;

LRESULT CALLBACK SubclassProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    g_subclassSaw.push_back(msg);
    if (msg == WM_APP + 5)
        return 555;
    return CallWindowProcA(g_previous, hWnd, msg, wParam, lParam);
}

} // namespace

TEST_F(MessageQueue, SubclassingThroughSetWindowLongPtrChainsToThePreviousProcedure)
{
    HWND w = MakeWindow();
    g_handler = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT& result) {
        if (msg == WM_APP + 6) {
            result = 666;
            return true;
        }
        return false;
    };
    g_previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    EXPECT_EQ(g_previous, &RecordingProc);
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(SubclassProc));

    Log().clear();
    EXPECT_EQ(SendMessageA(w, WM_APP + 5, 0, 0), 555);
    EXPECT_TRUE(LogOf(WM_APP + 5).empty()) << "the replacement kept it";
    EXPECT_EQ(SendMessageA(w, WM_APP + 6, 0, 0), 666);
    EXPECT_EQ(LogOf(WM_APP + 6).size(), 1u);

    PostMessageA(w, WM_APP + 7, 0, 0);
    Drain();
    EXPECT_EQ(LogOf(WM_APP + 7).size(), 1u) << "dispatched messages go through the replacement too";
    EXPECT_NE(std::find(g_subclassSaw.begin(), g_subclassSaw.end(), UINT(WM_APP + 7)), g_subclassSaw.end());

    // Restoring the kept procedure ends the subclassing.
    SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_previous));
    g_subclassSaw.clear();
    SendMessageA(w, WM_APP + 5, 0, 0);
    EXPECT_TRUE(g_subclassSaw.empty());

    SetWindowLongPtrA(w, GWLP_USERDATA, 0x1234567890LL);
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_USERDATA), 0x1234567890LL);
    DestroyWindow(w);
}

namespace {

std::vector<std::pair<UINT, WPARAM>> g_hookSaw;
HHOOK g_hook = nullptr;
HHOOK g_innerHook = nullptr;
int g_innerCalls = 0;

LRESULT CALLBACK InnerHook(int code, WPARAM wParam, LPARAM lParam)
{
    ++g_innerCalls;
    return CallNextHookEx(g_innerHook, code, wParam, lParam);
}

LRESULT CALLBACK OuterHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        MSG* m = reinterpret_cast<MSG*>(lParam);
        g_hookSaw.push_back({m->message, wParam});
        // A hook may change the message before it is dispatched.
        if (m->message == WM_APP + 1)
            m->message = WM_APP + 2;
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

} // namespace

TEST_F(MessageQueue, GetMessageHookSeesEveryMessageTakenAndMayChangeIt)
{
    HWND w = MakeWindow();
    Drain();
    g_innerHook = SetWindowsHookExA(WH_GETMESSAGE, InnerHook, nullptr, GetCurrentThreadId());
    g_hook = SetWindowsHookExA(WH_GETMESSAGE, OuterHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);

    PostMessageA(w, WM_APP + 1, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP + 2));
    ASSERT_EQ(g_hookSaw.size(), 2u);
    EXPECT_EQ(g_hookSaw[0].second, WPARAM(PM_NOREMOVE));
    EXPECT_EQ(g_hookSaw[1].second, WPARAM(PM_REMOVE));
    EXPECT_EQ(g_innerCalls, 2) << "the chain goes on through CallNextHookEx";

    PostQuitMessage(3);
    ASSERT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(g_hookSaw.back().first, UINT(WM_QUIT));

    EXPECT_TRUE(UnhookWindowsHookEx(g_hook));
    EXPECT_FALSE(UnhookWindowsHookEx(g_hook));
    g_hookSaw.clear();
    PostMessageA(w, WM_APP, 0, 0);
    Drain();
    EXPECT_TRUE(g_hookSaw.empty());
    EXPECT_EQ(g_innerCalls, 4);
    UnhookWindowsHookEx(g_innerHook);
    DestroyWindow(w);
}

TEST_F(MessageQueue, PaintComesWhenNothingElseWaitsAndStopsOnceValidated)
{
    HWND w = MakeWindow();
    ShowWindow(w, SW_SHOW);
    PostMessageA(w, WM_APP, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP)) << "the waiting paint comes after posted messages";
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_PAINT));
    EXPECT_EQ(msg.hwnd, w);
    DispatchMessageA(&msg); // the default procedure validates
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    InvalidateRect(w, nullptr, FALSE);
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    ValidateRect(w, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    DestroyWindow(w);
}
