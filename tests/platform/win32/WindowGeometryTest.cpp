#include <gtest/gtest.h>

#include <string>

#include "WindowTestSupport.h"
#include "platform/win32/Window.h"

using namespace wintest;

namespace {

// The offscreen driver keeps no window decoration, so only a display shows borders.
bool DriverShowsBorders()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::string(driver) != "offscreen";
}

class WindowGeometry : public ::testing::Test {
protected:
    void SetUp() override
    {
        Log().clear();
        g_handler = nullptr;
    }
};

// Sizes the window the way the game does: the outer size that gives the client size asked for.
void SizeForClient(HWND w, int width, int height)
{
    RECT r = {0, 0, width, height};
    const DWORD style = static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE));
    ASSERT_TRUE(AdjustWindowRectEx(&r, style, GetMenu(w) != nullptr, static_cast<DWORD>(GetWindowLongA(w, GWL_EXSTYLE))));
    ASSERT_TRUE(SetWindowPos(w, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER));
}

} // namespace

TEST_F(WindowGeometry, AdjustedSizesGiveExactClientAreas)
{
    const DWORD windowed = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    for (DWORD style : {DWORD(WS_OVERLAPPEDWINDOW), windowed}) {
        HWND w = MakeWindow(style);
        ASSERT_NE(w, nullptr);
        ShowWindow(w, SW_SHOW);
        for (auto [cw, ch] : {std::pair{640, 480}, std::pair{320, 240}}) {
            SizeForClient(w, cw, ch);
            RECT client;
            ASSERT_TRUE(GetClientRect(w, &client));
            EXPECT_EQ(client.left, 0);
            EXPECT_EQ(client.top, 0);
            EXPECT_EQ(client.right, cw);
            EXPECT_EQ(client.bottom, ch);

            // The SDL window's drawable is the client area, pixel for pixel.
            int dw = 0, dh = 0;
            SDL_GL_GetDrawableSize(qv::SdlWindowOf(w), &dw, &dh);
            EXPECT_EQ(dw, cw);
            EXPECT_EQ(dh, ch);
            int vx = -1, vy = -1, vw = 0, vh = 0;
            ASSERT_TRUE(qv::ClientViewport(w, &vx, &vy, &vw, &vh));
            EXPECT_EQ(vx, 0);
            EXPECT_EQ(vy, 0);
            EXPECT_EQ(vw, cw);
            EXPECT_EQ(vh, ch);

            // The frame that GetWindowRect reports is the one AdjustWindowRect added.
            RECT outer, adjusted = {0, 0, cw, ch};
            GetWindowRect(w, &outer);
            AdjustWindowRect(&adjusted, style, FALSE);
            EXPECT_EQ(outer.right - outer.left, adjusted.right - adjusted.left);
            EXPECT_EQ(outer.bottom - outer.top, adjusted.bottom - adjusted.top);
            POINT origin = {0, 0};
            ClientToScreen(w, &origin);
            EXPECT_EQ(origin.x, outer.left - adjusted.left);
            EXPECT_EQ(origin.y, outer.top - adjusted.top);
        }
        DestroyWindow(w);
    }
}

TEST_F(WindowGeometry, FrameMetricsAddUp)
{
    RECT r = {0, 0, 640, 480};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    EXPECT_EQ(r.right - r.left, 640 + 2 * GetSystemMetrics(SM_CXFRAME));
    EXPECT_EQ(r.bottom - r.top, 480 + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION));
    RECT m = {0, 0, 640, 480};
    AdjustWindowRect(&m, WS_OVERLAPPEDWINDOW, TRUE);
    EXPECT_EQ((m.bottom - m.top) - (r.bottom - r.top), GetSystemMetrics(SM_CYMENU));
    RECT p = {0, 0, 640, 480};
    AdjustWindowRect(&p, WS_POPUP, FALSE);
    EXPECT_EQ(p.right - p.left, 640);
    EXPECT_EQ(p.bottom - p.top, 480);
    RECT f = {0, 0, 100, 100};
    AdjustWindowRect(&f, WS_CAPTION | WS_SYSMENU, FALSE);
    EXPECT_EQ(f.right - f.left, 100 + 2 * GetSystemMetrics(SM_CXDLGFRAME));
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_GT(GetSystemMetrics(SM_CYSCREEN), 0);
}

TEST_F(WindowGeometry, PopupStyleCoveringTheDisplayIsFullScreenAndCaptionStyleComesBack)
{
    HWND w = MakeWindow(WS_OVERLAPPEDWINDOW);
    ShowWindow(w, SW_SHOW);
    ASSERT_NE(qv::SdlWindowOf(w), nullptr);
    if (DriverShowsBorders()) {
        EXPECT_FALSE(SDL_GetWindowFlags(qv::SdlWindowOf(w)) & SDL_WINDOW_BORDERLESS);
    }

    // A popup smaller than the display: borderless, not full screen.
    SetWindowLongA(w, GWL_STYLE, WS_POPUP);
    EXPECT_TRUE(IsWindowVisible(w)) << "a style without WS_VISIBLE does not hide the window";
    EXPECT_EQ(GetWindowLongA(w, GWL_STYLE) & ~WS_VISIBLE & ~WS_CLIPSIBLINGS, LONG(WS_POPUP));
    SizeForClient(w, 320, 240);
    if (DriverShowsBorders()) {
        EXPECT_TRUE(SDL_GetWindowFlags(qv::SdlWindowOf(w)) & SDL_WINDOW_BORDERLESS);
    }
    EXPECT_FALSE(SDL_GetWindowFlags(qv::SdlWindowOf(w)) & SDL_WINDOW_FULLSCREEN);
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, 320);
    EXPECT_EQ(c.bottom, 240);

    // Covering the display: full screen.
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(w, HWND_TOP, 0, 0, sw, sh, SWP_NOZORDER);
    EXPECT_TRUE(SDL_GetWindowFlags(qv::SdlWindowOf(w)) & SDL_WINDOW_FULLSCREEN_DESKTOP);
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, sw);
    EXPECT_EQ(c.bottom, sh);

    // Back to a captioned window of 640x480 client.
    SetWindowLongA(w, GWL_STYLE, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    SizeForClient(w, 640, 480);
    SetWindowPos(w, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_FALSE(SDL_GetWindowFlags(qv::SdlWindowOf(w)) & SDL_WINDOW_FULLSCREEN);
    if (DriverShowsBorders()) {
        EXPECT_FALSE(SDL_GetWindowFlags(qv::SdlWindowOf(w)) & SDL_WINDOW_BORDERLESS);
    }
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, 640);
    EXPECT_EQ(c.bottom, 480);
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(qv::SdlWindowOf(w), &dw, &dh);
    EXPECT_EQ(dw, 640);
    EXPECT_EQ(dh, 480);
    RECT outer;
    GetWindowRect(w, &outer);
    EXPECT_EQ(outer.left, 30);
    EXPECT_EQ(outer.top, 40);
    EXPECT_TRUE(LogOf(WM_SIZE).size() >= 3u) << "each size change is reported";
    DestroyWindow(w);
}

TEST_F(WindowGeometry, EmulatedDisplayModeIsWhatTheProgramSeesInFullScreen)
{
    HWND w = MakeWindow(WS_POPUP);
    ShowWindow(w, SW_SHOW);
    const int realWidth = GetSystemMetrics(SM_CXSCREEN);
    ASSERT_TRUE(qv::EnterFullScreen(w, 320, 240));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 240);
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, 320);
    EXPECT_EQ(c.bottom, 240);
    EXPECT_TRUE(SDL_GetWindowFlags(qv::SdlWindowOf(w)) & SDL_WINDOW_FULLSCREEN_DESKTOP);
    // The mode fills the display as far as its shape allows, centred.
    int vx, vy, vw, vh, dw, dh;
    ASSERT_TRUE(qv::ClientViewport(w, &vx, &vy, &vw, &vh));
    SDL_GL_GetDrawableSize(qv::SdlWindowOf(w), &dw, &dh);
    EXPECT_TRUE(vw == dw || vh == dh);
    EXPECT_NEAR(double(vw) / vh, 320.0 / 240.0, 0.01);
    EXPECT_EQ(vx, (dw - vw) / 2);
    EXPECT_EQ(vy, (dh - vh) / 2);

    qv::LeaveFullScreen(w);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), realWidth);
    EXPECT_FALSE(SDL_GetWindowFlags(qv::SdlWindowOf(w)) & SDL_WINDOW_FULLSCREEN);
    DestroyWindow(w);
}

TEST_F(WindowGeometry, OpenGLContextHasDepthAndStencil)
{
    HWND w = MakeWindow();
    ASSERT_TRUE(qv::MakeGlCurrent(w));
    ASSERT_NE(qv::GlContextOf(w), nullptr);
    int depth = 0, stencil = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
    EXPECT_GE(depth, 24);
    EXPECT_EQ(stencil, 8);
    EXPECT_FALSE(qv::MakeGlCurrent(nullptr));
    EXPECT_EQ(qv::SdlWindowOf(GetDesktopWindow()), nullptr);
    DestroyWindow(w);
}

TEST_F(WindowGeometry, FullScreenMenuBarOverlaysThePictureAndTakesItsHeightFromTheClient)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(109));
    HWND w = MakeWindow(WS_POPUP, 640, 480, menu);
    ShowWindow(w, SW_SHOW);
    ASSERT_TRUE(qv::EnterFullScreen(w, 640, 480));
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c.bottom, 480 - GetSystemMetrics(SM_CYMENU)) << "as on the system, the bar is part of the window";
    int vx, vy, vw, vh;
    ASSERT_TRUE(qv::ClientViewport(w, &vx, &vy, &vw, &vh));
    EXPECT_NEAR(double(vw) / vh, 640.0 / 480.0, 0.01) << "the whole mode is shown; the bar lies over it";
    SetMenu(w, nullptr);
    GetClientRect(w, &c);
    EXPECT_EQ(c.bottom, 480);
    int vw2, vh2;
    qv::ClientViewport(w, &vx, &vy, &vw2, &vh2);
    EXPECT_EQ(vw2, vw);
    EXPECT_EQ(vh2, vh);
    DestroyMenu(menu);
    qv::LeaveFullScreen(w);
    DestroyWindow(w);
}

TEST_F(WindowGeometry, PlacementOfTheProgramsOwnWindowsComesBack)
{
    HWND w = MakeWindow();
    ShowWindow(w, SW_SHOWNORMAL);
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    ASSERT_TRUE(GetWindowPlacement(w, &wp));
    EXPECT_EQ(wp.length, 44u);
    EXPECT_EQ(wp.showCmd, UINT(SW_SHOWNORMAL));
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(wp.rcNormalPosition.left, r.left);
    EXPECT_EQ(wp.rcNormalPosition.bottom, r.bottom);
    SetWindowPos(w, nullptr, 100, 120, 300, 200, SWP_NOZORDER);
    ASSERT_TRUE(SetWindowPlacement(w, &wp));
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, wp.rcNormalPosition.left);
    EXPECT_EQ(r.right, wp.rcNormalPosition.right);
    WINDOWPLACEMENT bad = wp;
    bad.length = 0;
    EXPECT_FALSE(SetWindowPlacement(w, &bad)) << "the length field must be set";
    EXPECT_EQ(GetWindow(w, GW_OWNER), nullptr);
    DestroyWindow(w);
}

// The view of a full-screen mode on the display. A box placed from where the display has it goes
// back to the same place, at every scale and also left of or above the picture (no creep of a
// pixel a move); a screen pixel falls on the mode pixel that the stretched picture shows there.
TEST(ModeView, PlacesComeBackWhereTheyWereAndPixelsFallWhereTheyShow)
{
    const std::pair<int, int> scales[] = {{768, 480}, {960, 480}, {768, 240}, {1080, 480}, {1200, 480}, {480, 480}};
    for (const auto& [scaled, unit] : scales) {
        qv::win::ModeView view;
        view.origin = POINT{128, -7};
        view.scaled = scaled;
        view.unit = unit;
        for (LONG x = -300; x < 700; ++x) {
            const POINT p = {x, -x / 3};
            const POINT back = view.ToMode(view.ToScreen(p));
            ASSERT_EQ(back.x, p.x) << scaled << "/" << unit;
            ASSERT_EQ(back.y, p.y) << scaled << "/" << unit;
            // The stretch shows at screen pixel q the mode pixel q * unit / scaled, rounded down.
            const int q = x;
            ASSERT_LE(int64_t(view.Mode(q)) * scaled, int64_t(q) * unit);
            ASSERT_GT(int64_t(view.Mode(q) + 1) * scaled, int64_t(q) * unit);
            ASSERT_LE(int64_t(view.Screen(q)) * unit, int64_t(q) * scaled);
            ASSERT_GT(int64_t(view.Screen(q) + 1) * unit, int64_t(q) * scaled);
        }
    }
    const qv::win::ModeView plain;
    for (LONG x : {-5, 0, 7, 1023}) {
        EXPECT_EQ(plain.Screen(x), x);
        EXPECT_EQ(plain.Mode(x), x);
        EXPECT_EQ(plain.ToMode(POINT{x, -x}).y, -x);
    }
}
