#include <gtest/gtest.h>

#include <SDL_opengl.h>

#include "WindowTestSupport.h"
#include "platform/win32/Canvas.h"
#include "platform/win32/MenuStrip.h"
#include "platform/win32/Window.h"
#include "resources/resource.h"
#include "support/TestSupport.h"

using namespace wintest;

namespace {

// The whole drawable of a window, rows from the top.
qvtest::Image ReadDrawable(HWND w)
{
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(qv::SdlWindowOf(w), &width, &height);
    qvtest::Image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(static_cast<size_t>(width) * height * 4);
    std::vector<uint8_t> rows(image.rgba.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < height; ++y)
        std::memcpy(&image.rgba[static_cast<size_t>(y) * width * 4], &rows[static_cast<size_t>(height - 1 - y) * width * 4],
                    static_cast<size_t>(width) * 4);
    return image;
}

void Paste(qvtest::Image& image, const qv::win::Canvas& c, int x, int y)
{
    for (int row = 0; row < c.Height(); ++row)
        for (int col = 0; col < c.Width(); ++col) {
            if (x + col >= image.width || y + row >= image.height)
                continue;
            const uint32_t p = c.Pixels()[row * c.Width() + col];
            uint8_t* d = image.At(x + col, y + row);
            d[0] = (p >> 16) & 0xFF;
            d[1] = (p >> 8) & 0xFF;
            d[2] = p & 0xFF;
            d[3] = 0xFF;
        }
}

// A shown window with the game's menu bar and a client area of the given size, its OpenGL
// context current.
void ShowMenuWindow(int width, int height, HWND& w)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
    w = MakeWindow(WS_CAPTION | WS_SYSMENU, 100, 100, menu);
    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, WS_CAPTION | WS_SYSMENU, TRUE);
    SetWindowPos(w, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(w, SW_SHOW);
    ASSERT_TRUE(qv::MakeGlCurrent(w));
}

} // namespace

// The strip goes above the client area without touching it or the Direct3D layer's states,
// and a drop-down opens below its item.
TEST(MenuPicture, StripOverOpenGLWithTheSettingsMenuOpen)
{
    HWND w = nullptr;
    ASSERT_NO_FATAL_FAILURE(ShowMenuWindow(320, 140, w));
    HMENU menu = GetMenu(w);

    // What a Direct3D frame leaves: its viewport on the client area, its own states.
    int vx, vy, vw, vh, dw, dh;
    ASSERT_TRUE(qv::ClientViewport(w, &vx, &vy, &vw, &vh));
    SDL_GL_GetDrawableSize(qv::SdlWindowOf(w), &dw, &dh);
    EXPECT_EQ(vw, 320);
    EXPECT_EQ(vh, 140);
    glViewport(vx, dh - vy - vh, vw, vh);
    glClearColor(0.1f, 0.3f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glMatrixMode(GL_PROJECTION);
    const GLfloat projection[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1};
    glLoadMatrixf(projection);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);

    CheckMenuItem(menu, IDM_60FPS, MF_BYCOMMAND | MF_CHECKED);
    qv::win::Canvas strip;
    qv::win::PaintMenuBar(strip, menu, 320, 1);
    qv::win::DrawStripWithGl(*qv::win::Find(w), strip);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], vw);
    EXPECT_EQ(viewport[3], vh);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), texture);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);
    GLfloat after[16];
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    EXPECT_EQ(after[5], 3.0f);

    qvtest::Image picture = ReadDrawable(w);
    ASSERT_EQ(picture.height, 140 + GetSystemMetrics(SM_CYMENU));
    // The client area kept the frame's colour right below the strip.
    const uint8_t* below = picture.At(5, GetSystemMetrics(SM_CYMENU));
    EXPECT_NEAR(below[0], 26, 2);
    EXPECT_NEAR(below[2], 153, 2);

    qv::win::Canvas popup, submenu;
    qv::win::PaintPopupMenu(popup, GetSubMenu(menu, 1), 1);
    qv::win::PaintPopupMenu(submenu, GetSubMenu(GetSubMenu(menu, 1), 1), 0);
    // Below the second item of the bar, whose left edge follows the first item's width.
    int firstWidth = 0;
    for (int x = 0; x < strip.Width(); ++x)
        if (strip.Pixels()[10 * strip.Width() + x] == qv::win::colors::kHighlight) {
            firstWidth = x;
            break;
        }
    Paste(picture, popup, firstWidth, GetSystemMetrics(SM_CYMENU));
    // The FPS submenu beside its item (the second), overlapping the frame by three pixels.
    Paste(picture, submenu, firstWidth + popup.Width() - 3, GetSystemMetrics(SM_CYMENU) + 3 + 19 - 3);
    const std::string diff = qvtest::CompareWithReference(picture, "platform/win32/reference/menu_open.png", 8);
    EXPECT_TRUE(diff.empty()) << diff;
    glDeleteTextures(1, &texture);
    DestroyWindow(w);
}

// What the window shows when nobody draws it (a menu or a box open, the window uncovered): the
// frame presented last, not an older one, and black before the first frame.
TEST(MenuPicture, KeptFrameIsTheOnePresentedLast)
{
    HWND w = nullptr;
    ASSERT_NO_FATAL_FAILURE(ShowMenuWindow(160, 120, w));
    int vx, vy, vw, vh, dw, dh;
    ASSERT_TRUE(qv::ClientViewport(w, &vx, &vy, &vw, &vh));
    SDL_GL_GetDrawableSize(qv::SdlWindowOf(w), &dw, &dh);
    const auto frame = [&](float red, float green, float blue) {
        glViewport(vx, dh - vy - vh, vw, vh);
        glClearColor(red, green, blue, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    };
    const auto clientCentre = [&] {
        const qvtest::Image picture = ReadDrawable(w);
        const uint8_t* p = picture.At(vx + vw / 2, vy + vh / 2);
        return std::vector<int>{p[0], p[1], p[2]};
    };

    frame(0.0f, 0.0f, 1.0f);
    qv::win::DrawKeptFrame(*qv::win::Find(w));
    EXPECT_EQ(clientCentre(), (std::vector<int>{0, 0, 0})) << "no frame presented yet";

    frame(1.0f, 0.0f, 0.0f);
    qv::SwapGlWindow(w);
    frame(0.0f, 1.0f, 0.0f);
    qv::SwapGlWindow(w);
    frame(0.0f, 0.0f, 1.0f); // drawn, not presented
    qv::win::DrawKeptFrame(*qv::win::Find(w));
    EXPECT_EQ(clientCentre(), (std::vector<int>{0, 255, 0}));
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], vw) << "the frame's own states are left as they were";
    DestroyWindow(w);
}

// A window narrower than the bar's items: the items past its edge are cut off, not drawn past
// the strip's end.
TEST(MenuPicture, BarNarrowerThanItsItems)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
    for (int width : {1, 60, 150, 230}) {
        qv::win::Canvas strip;
        qv::win::PaintMenuBar(strip, menu, width, 3);
        EXPECT_EQ(strip.Width(), width);
        EXPECT_EQ(strip.Height(), GetSystemMetrics(SM_CYMENU));
    }
    DestroyMenu(menu);
}
