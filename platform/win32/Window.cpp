// Window classes and windows over SDL2: every top-level window is one SDL window with an OpenGL
// context for its client area; child windows live inside their parent's client area.
#include "platform/win32/Window.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include <unordered_map>
#include <vector>

#include "platform/win32/Cursor.h"
#include "platform/win32/KeyboardState.h"
#include "platform/win32/MenuStrip.h"
#include "platform/win32/ResourceTable.h"
#include "platform/win32/SdlWindow.h"

namespace qv::win {
namespace {

constexpr int kCaptionHeight = 19;
constexpr int kSizeFrame = 4;
constexpr int kFixedFrame = 3;
constexpr int kBorder = 1;
// SDL reports moves and sizes late; for a moment after the layer changes them itself, what SDL
// reports is the layer's own change (or an older state), not the user's.
constexpr Uint32 kGeometrySettleMs = 400;

const HWND kDesktop = reinterpret_cast<HWND>(uintptr_t(0x10010));

bool EqualNoCase(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

struct Registry {
    std::vector<std::unique_ptr<Window>> windows; // creation order
    std::unordered_map<HWND, Window*> byHandle;
    std::vector<std::shared_ptr<WindowClass>> classes;
    uintptr_t nextHandle = 0x10020;
    HWND active = nullptr;
    HWND focus = nullptr;
    bool emulatedMode = false;
    int modeWidth = 0;
    int modeHeight = 0;
};

Registry& R()
{
    static Registry registry;
    return registry;
}

std::shared_ptr<WindowClass> FindClass(LPCSTR name)
{
    if (!name)
        return nullptr;
    for (auto& c : R().classes) {
        if (IS_INTRESOURCE(name)) {
            const ATOM atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
            if (atom == 0xC000 + (&c - &R().classes[0]))
                return c;
        } else if (EqualNoCase(c->name, name)) {
            return c;
        }
    }
    return nullptr;
}

DWORD ThreadId()
{
    return GetCurrentThreadId();
}

// The style as GetWindowLong reports it.
DWORD FullStyle(const Window& w)
{
    return w.style | (w.visible ? WS_VISIBLE : 0) | (w.minimized ? WS_MINIMIZE : 0) | (w.enabled ? 0 : WS_DISABLED);
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

void SendSizeAndMove(Window& w)
{
    RECT c;
    GetClientRect(w.handle, &c);
    SendMessageA(w.handle, WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
    const RECT cr = ClientRectOf(w);
    SendMessageA(w.handle, WM_MOVE, 0, MAKELPARAM(cr.left, cr.top));
}

void InvalidateTree(Window& w)
{
    w.needsPaint = true;
    w.needsErase = true;
    ForEachWindow([&](Window& c) {
        if (c.parent == w.handle)
            InvalidateTree(c);
        return true;
    });
}

// The boxes that the layer draws follow a change of the display mode: kept on the display, as
// the system keeps windows when the mode changes, and shown in the new mode's view.
void RefitLayerWindows()
{
    const SDL_Rect d = DisplayBounds();
    ForEachWindow([&](Window& o) {
        if (!IsTopLevel(o) || !o.cls->layerDrawn || !o.sdl)
            return true;
        const LONG x = std::max<LONG>(d.x, std::min<LONG>(o.rect.left, d.x + d.w - Width(o.rect)));
        const LONG y = std::max<LONG>(d.y, std::min<LONG>(o.rect.top, d.y + d.h - Height(o.rect)));
        OffsetRect(&o.rect, x - o.rect.left, y - o.rect.top);
        SyncSdlWindow(o);
        InvalidateTree(o);
        return true;
    });
}

void SetGlAttributes()
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

bool OffscreenDriver()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "offscreen") == 0;
}

// The offscreen driver makes a window's OpenGL surface once, in the window's first size, and
// never resizes it; the window's picture is its bottom-left corner (OpenGL's origin) in the
// size the window has. So the surface is made large enough for any size the window can take.
void OffscreenSurfaceSize(int& width, int& height)
{
    SDL_DisplayMode mode;
    width = 1600;
    height = 1200;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        width = std::max(width, mode.w);
        height = std::max(height, mode.h);
    }
}

bool CreateSdlWindow(Window& w)
{
    if (!EnsureVideo())
        return false;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!w.cls->layerDrawn)
        flags |= SDL_WINDOW_OPENGL;
    if ((w.style & WS_CAPTION) != WS_CAPTION)
        flags |= SDL_WINDOW_BORDERLESS;
    if (w.style & WS_THICKFRAME)
        flags |= SDL_WINDOW_RESIZABLE;
    // A box over a full-screen owner stays above it.
    if (Window* owner = Find(w.owner); owner && owner->fullScreen)
        flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    if (!w.cls->layerDrawn)
        SetGlAttributes();
    const SDL_Rect at = SdlRectOf(w);
    const int width = at.w, height = at.h;
    DisplayLibraryAllocations ignored;
    int surfaceWidth = width, surfaceHeight = height;
    if (!w.cls->layerDrawn && OffscreenDriver())
        OffscreenSurfaceSize(surfaceWidth, surfaceHeight);
    w.sdl = SDL_CreateWindow(w.title.c_str(), at.x, at.y, surfaceWidth, surfaceHeight, flags);
    if (!w.sdl && !w.cls->layerDrawn) {
        // Some servers offer no stencil: a context without it is better than no window.
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        w.sdl = SDL_CreateWindow(w.title.c_str(), at.x, at.y, surfaceWidth, surfaceHeight, flags);
    }
    if (!w.sdl)
        return false;
    SetClassOfWindow(w.sdl, w.cls->name.c_str());
    w.geometrySetAt = SDL_GetTicks();
    if (w.cls->icon) {
        const Icon* icon = reinterpret_cast<const Icon*>(w.cls->icon);
        if (icon->image) {
            if (SDL_Surface* s = SurfaceOfImage(*icon->image)) {
                SDL_SetWindowIcon(w.sdl, s);
                SDL_FreeSurface(s);
            }
        }
    }
    if (!w.cls->layerDrawn) {
        w.gl = SDL_GL_CreateContext(w.sdl);
        if (!w.gl) {
            SDL_DestroyWindow(w.sdl);
            w.sdl = nullptr;
            return false;
        }
        if (surfaceWidth != width || surfaceHeight != height)
            SDL_SetWindowSize(w.sdl, width, height);
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Registry and geometry

#if defined(__SANITIZE_ADDRESS__)
DisplayLibraryAllocations::DisplayLibraryAllocations() { __lsan_disable(); }
DisplayLibraryAllocations::~DisplayLibraryAllocations() { __lsan_enable(); }
#else
DisplayLibraryAllocations::DisplayLibraryAllocations() = default;
DisplayLibraryAllocations::~DisplayLibraryAllocations() = default;
#endif

Window* Find(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    auto& map = R().byHandle;
    auto it = map.find(hWnd);
    return it == map.end() ? nullptr : it->second;
}

Window* FindBySdlId(Uint32 sdlWindowId)
{
    SDL_Window* sdl = SDL_GetWindowFromID(sdlWindowId);
    if (!sdl)
        return nullptr;
    for (auto& w : R().windows)
        if (w && w->sdl == sdl)
            return w.get();
    return nullptr;
}

void ForEachWindow(const std::function<bool(Window&)>& visit)
{
    // Indexes, not iterators: a visit may create windows.
    auto& list = R().windows;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] && !visit(*list[i]))
            return;
}

bool IsTopLevel(const Window& w) { return !(w.style & WS_CHILD); }

HWND TopLevelOf(HWND hWnd)
{
    Window* w = Find(hWnd);
    while (w && !IsTopLevel(*w))
        w = Find(w->parent);
    return w ? w->handle : nullptr;
}

RECT FrameInsets(DWORD style, DWORD exStyle, bool menu)
{
    int frame = 0;
    if (style & WS_THICKFRAME)
        frame = kSizeFrame;
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        frame = kFixedFrame;
    else if (style & WS_BORDER)
        frame = kBorder;
    if (exStyle & WS_EX_CLIENTEDGE)
        frame += 2;
    RECT r = {frame, frame, frame, frame};
    if ((style & WS_CAPTION) == WS_CAPTION)
        r.top += kCaptionHeight;
    if (menu)
        r.top += kMenuBarHeight;
    return r;
}

bool HasMenuStrip(const Window& w)
{
    return IsTopLevel(w) && w.menu != nullptr;
}

RECT ClientRectOf(const Window& w)
{
    const RECT in = FrameInsets(w.style, w.exStyle, HasMenuStrip(w));
    RECT c = {w.rect.left + in.left, w.rect.top + in.top, w.rect.right - in.right, w.rect.bottom - in.bottom};
    if (c.right < c.left)
        c.right = c.left;
    if (c.bottom < c.top)
        c.bottom = c.top;
    return c;
}

SDL_Rect DisplayBounds()
{
    Registry& r = R();
    if (r.emulatedMode)
        return SDL_Rect{0, 0, r.modeWidth, r.modeHeight};
    SDL_Rect b = {0, 0, 1024, 768};
    if (EnsureVideo()) {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
            b.w = mode.w;
            b.h = mode.h;
        }
    }
    return b;
}

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

} // namespace

int ModeView::Screen(int modeLength) const { return static_cast<int>(FloorDiv(int64_t(modeLength) * scaled, unit)); }
int ModeView::Mode(int screenLength) const { return static_cast<int>(FloorDiv(int64_t(screenLength) * unit, scaled)); }

POINT ModeView::ToScreen(POINT mode) const { return POINT{origin.x + Screen(mode.x), origin.y + Screen(mode.y)}; }

POINT ModeView::ToMode(POINT screen) const
{
    // Rounded up: ceil(a / b) == -floor(-a / b).
    const auto up = [this](LONG length) { return static_cast<LONG>(-FloorDiv(-int64_t(length) * unit, scaled)); };
    return POINT{up(screen.x - origin.x), up(screen.y - origin.y)};
}

ModeView FullScreenView()
{
    ModeView view;
    ForEachWindow([&](Window& w) {
        if (!w.fullScreen || !w.sdl || !IsTopLevel(w))
            return true;
        int vx = 0, vy = 0, vw = 0, vh = 0, ww = 0, wh = 0, dw = 0, dh = 0, wx = 0, wy = 0;
        qv::ClientViewport(w.handle, &vx, &vy, &vw, &vh);
        SDL_GetWindowSize(w.sdl, &ww, &wh);
        SDL_GL_GetDrawableSize(w.sdl, &dw, &dh);
        SDL_GetWindowPosition(w.sdl, &wx, &wy);
        if (vh > 0 && dw > 0 && dh > 0 && wh > 0) {
            // The viewport is in drawable pixels; the screen counts in window points.
            view.origin = POINT{wx + vx * ww / dw, wy + vy * wh / dh};
            view.scaled = static_cast<int>(int64_t(vh) * wh / dh);
            view.unit = std::max(1, Height(w.rect));
        }
        return false;
    });
    return view;
}

ModeView ViewOf(const Window& w)
{
    if (!IsTopLevel(w) || !w.cls->layerDrawn || w.fullScreen)
        return ModeView{};
    return FullScreenView();
}

SDL_Rect SdlRectOf(const Window& w)
{
    const RECT c = ClientRectOf(w);
    const int strip = HasMenuStrip(w) ? kMenuBarHeight : 0;
    const ModeView view = ViewOf(w);
    const POINT at = view.ToScreen(POINT{c.left, c.top - strip});
    return SDL_Rect{at.x, at.y, std::max(1, view.Screen(Width(c))), std::max(1, view.Screen(Height(c) + strip))};
}

void SyncSdlWindow(Window& w)
{
    if (!w.sdl)
        return;
    const SDL_Rect display = DisplayBounds();
    const bool captioned = (w.style & WS_CAPTION) == WS_CAPTION;
    const bool covers = Width(w.rect) >= display.w && Height(w.rect) >= display.h;
    const bool wantFull = !captioned && !(w.style & WS_THICKFRAME) && covers && (R().emulatedMode || (w.style & WS_POPUP));
    const Uint32 flags = SDL_GetWindowFlags(w.sdl);
    const bool isFull = (flags & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
    if (wantFull && !isFull) {
        // Without a window manager full screen is only a request: the window also takes the
        // whole display itself.
        SDL_Rect real;
        if (SDL_GetDisplayBounds(0, &real) == 0) {
            SDL_SetWindowBordered(w.sdl, SDL_FALSE);
            SDL_SetWindowPosition(w.sdl, real.x, real.y);
            SDL_SetWindowSize(w.sdl, real.w, real.h);
        }
        SDL_SetWindowFullscreen(w.sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else if (!wantFull && isFull) {
        SDL_SetWindowFullscreen(w.sdl, 0);
    }
    w.fullScreen = wantFull;
    if (!wantFull) {
        SDL_SetWindowBordered(w.sdl, captioned ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowResizable(w.sdl, (w.style & WS_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
        const SDL_Rect at = SdlRectOf(w);
        int cw = 0, ch = 0, cx = 0, cy = 0;
        SDL_GetWindowSize(w.sdl, &cw, &ch);
        SDL_GetWindowPosition(w.sdl, &cx, &cy);
        if (cw != at.w || ch != at.h) {
            SDL_SetWindowSize(w.sdl, at.w, at.h);
            w.geometrySetAt = SDL_GetTicks();
            // The context learns the drawable's new size when it is bound again.
            if (w.gl && SDL_GL_GetCurrentContext() == w.gl) {
                SDL_GL_MakeCurrent(w.sdl, nullptr);
                SDL_GL_MakeCurrent(w.sdl, w.gl);
            }
        }
        if (cx != at.x || cy != at.y) {
            SDL_SetWindowPosition(w.sdl, at.x, at.y);
            w.geometrySetAt = SDL_GetTicks();
        }
    }
    const bool shown = (SDL_GetWindowFlags(w.sdl) & SDL_WINDOW_SHOWN) != 0;
    if (w.visible && !shown)
        SDL_ShowWindow(w.sdl);
    else if (!w.visible && shown)
        SDL_HideWindow(w.sdl);
}

void OnSdlResized(Window& w, int width, int height)
{
    if (w.fullScreen || !(w.style & WS_THICKFRAME) || SDL_GetTicks() - w.geometrySetAt < kGeometrySettleMs)
        return;
    const RECT c = ClientRectOf(w);
    const int strip = HasMenuStrip(w) ? kMenuBarHeight : 0;
    if (width == Width(c) && height == Height(c) + strip)
        return;
    const RECT in = FrameInsets(w.style, w.exStyle, HasMenuStrip(w));
    w.rect.right = w.rect.left + in.left + width + in.right;
    w.rect.bottom = w.rect.top + in.top - strip + height + in.bottom;
    InvalidateTree(w);
    SendSizeAndMove(w);
}

void OnSdlMoved(Window& w, int x, int y)
{
    if (w.fullScreen || SDL_GetTicks() - w.geometrySetAt < kGeometrySettleMs)
        return;
    const RECT c = ClientRectOf(w);
    const int strip = HasMenuStrip(w) ? kMenuBarHeight : 0;
    const POINT at = ViewOf(w).ToMode(POINT{x, y});
    const int dx = at.x - c.left, dy = at.y - (c.top - strip);
    if (!dx && !dy)
        return;
    OffsetRect(&w.rect, dx, dy);
    const RECT moved = ClientRectOf(w);
    SendMessageA(w.handle, WM_MOVE, 0, MAKELPARAM(moved.left, moved.top));
}

POINT SdlToClient(const Window& w, int x, int y)
{
    const RECT c = ClientRectOf(w);
    if (w.fullScreen) {
        int vx = 0, vy = 0, vw = 1, vh = 1;
        qv::ClientViewport(w.handle, &vx, &vy, &vw, &vh);
        int ww = 0, wh = 0, dw = 0, dh = 0;
        SDL_GetWindowSize(w.sdl, &ww, &wh);
        SDL_GL_GetDrawableSize(w.sdl, &dw, &dh);
        // Window points -> drawable pixels -> display mode pixels.
        const double px = ww > 0 ? double(x) * dw / ww : x;
        const double py = wh > 0 ? double(y) * dh / wh : y;
        const LONG ex = static_cast<LONG>((px - vx) * Width(w.rect) / std::max(1, vw));
        const LONG ey = static_cast<LONG>((py - vy) * Height(w.rect) / std::max(1, vh));
        return POINT{ex + w.rect.left - c.left, ey + w.rect.top - c.top};
    }
    const int strip = HasMenuStrip(w) ? kMenuBarHeight : 0;
    const ModeView view = ViewOf(w);
    return POINT{view.Mode(x), view.Mode(y) - strip};
}

POINT ClientToSdl(const Window& w, POINT client)
{
    const RECT c = ClientRectOf(w);
    if (w.fullScreen) {
        int vx = 0, vy = 0, vw = 1, vh = 1;
        qv::ClientViewport(w.handle, &vx, &vy, &vw, &vh);
        int ww = 0, wh = 0, dw = 1, dh = 1;
        SDL_GetWindowSize(w.sdl, &ww, &wh);
        SDL_GL_GetDrawableSize(w.sdl, &dw, &dh);
        const double ex = client.x + c.left - w.rect.left, ey = client.y + c.top - w.rect.top;
        const double px = vx + ex * vw / std::max(1, Width(w.rect));
        const double py = vy + ey * vh / std::max(1, Height(w.rect));
        return POINT{static_cast<LONG>(px * ww / std::max(1, dw)), static_cast<LONG>(py * wh / std::max(1, dh))};
    }
    const int strip = HasMenuStrip(w) ? kMenuBarHeight : 0;
    const ModeView view = ViewOf(w);
    return POINT{view.Screen(client.x), view.Screen(client.y + strip)};
}

HWND ActiveWindow() { return Find(R().active) ? R().active : nullptr; }

void Activate(HWND hWnd, WORD how)
{
    Registry& r = R();
    Window* w = Find(hWnd);
    if (!w || r.active == hWnd)
        return;
    HWND old = Find(r.active) ? r.active : nullptr;
    r.active = hWnd;
    if (old)
        SendMessageA(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(hWnd));
    if (r.active == hWnd && Find(hWnd))
        SendMessageA(hWnd, WM_ACTIVATE, MAKEWPARAM(how, w->minimized ? 1 : 0), reinterpret_cast<LPARAM>(old));
}

void Deactivate(HWND hWnd)
{
    Registry& r = R();
    if (!hWnd || r.active != hWnd)
        return;
    r.active = nullptr;
    if (r.focus && TopLevelOf(r.focus) == hWnd)
        SetFocus(nullptr);
    if (Find(hWnd))
        SendMessageA(hWnd, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
    qv::ReleaseAllKeys();
}

} // namespace qv::win

using namespace qv::win;

// ---------------------------------------------------------------------------------------------
// The bridge for the Direct3D layer

SDL_Window* qv::SdlWindowOf(HWND hWnd)
{
    Window* w = Find(hWnd);
    return w && IsTopLevel(*w) ? w->sdl : nullptr;
}

SDL_GLContext qv::GlContextOf(HWND hWnd)
{
    Window* w = Find(hWnd);
    return w && IsTopLevel(*w) ? w->gl : nullptr;
}

bool qv::MakeGlCurrent(HWND hWnd)
{
    Window* w = Find(hWnd);
    if (!w || !w->sdl || !w->gl)
        return false;
    return SDL_GL_MakeCurrent(w->sdl, w->gl) == 0;
}

bool qv::ClientViewport(HWND hWnd, int* x, int* y, int* width, int* height)
{
    Window* w = Find(hWnd);
    if (!w || !w->sdl)
        return false;
    int vx = 0, vy = 0, vw = 0, vh = 0;
    if (w->fullScreen) {
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(w->sdl, &dw, &dh);
        const int mw = std::max(1, Width(w->rect)), mh = std::max(1, Height(w->rect));
        // The mode fills the display as far as its aspect ratio allows, centred.
        if (int64_t(dw) * mh <= int64_t(dh) * mw) {
            vw = dw;
            vh = static_cast<int>(int64_t(dw) * mh / mw);
        } else {
            vh = dh;
            vw = static_cast<int>(int64_t(dh) * mw / mh);
        }
        vx = (dw - vw) / 2;
        vy = (dh - vh) / 2;
    } else {
        const RECT c = ClientRectOf(*w);
        vx = 0;
        vy = HasMenuStrip(*w) ? kMenuBarHeight : 0;
        vw = Width(c);
        vh = Height(c);
    }
    if (x)
        *x = vx;
    if (y)
        *y = vy;
    if (width)
        *width = vw;
    if (height)
        *height = vh;
    return true;
}

bool qv::EnterFullScreen(HWND hWnd, int width, int height)
{
    Window* w = Find(hWnd);
    if (!w || !w->sdl || width <= 0 || height <= 0)
        return false;
    Registry& r = R();
    r.emulatedMode = true;
    r.modeWidth = width;
    r.modeHeight = height;
    w->rect = RECT{0, 0, width, height};
    SyncSdlWindow(*w);
    InvalidateTree(*w);
    RefitLayerWindows();
    return true;
}

void qv::LeaveFullScreen(HWND hWnd)
{
    R().emulatedMode = false;
    if (Window* w = Find(hWnd)) {
        SyncSdlWindow(*w);
        InvalidateTree(*w);
    }
    RefitLayerWindows();
}

// ---------------------------------------------------------------------------------------------
// Classes

ATOM RegisterClassExA(const WNDCLASSEXA* wc)
{
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!IS_INTRESOURCE(wc->lpszClassName) && FindClass(wc->lpszClassName)) {
        SetError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_shared<WindowClass>();
    c->name = IS_INTRESOURCE(wc->lpszClassName) ? "" : wc->lpszClassName;
    c->style = wc->style;
    c->proc = wc->lpfnWndProc;
    c->instance = wc->hInstance;
    c->icon = wc->hIcon;
    c->smallIcon = wc->hIconSm;
    c->cursor = wc->hCursor;
    c->background = wc->hbrBackground;
    if (wc->lpszMenuName && !IS_INTRESOURCE(wc->lpszMenuName)) {
        c->menuNameText = wc->lpszMenuName;
        c->menuName = c->menuNameText.c_str();
    } else {
        c->menuName = wc->lpszMenuName;
    }
    R().classes.push_back(c);
    return static_cast<ATOM>(0xC000 + R().classes.size() - 1);
}

BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE)
{
    auto c = FindClass(lpClassName);
    if (!c) {
        SetError(ERROR_CANNOT_FIND_WND_CLASS);
        return FALSE;
    }
    // Atoms are indexes: the entry stays, nameless, so later atoms keep their meaning.
    c->name = std::string("\x01unregistered");
    return TRUE;
}

namespace qv::win {

// Registers a class that the layer uses for its own windows (dialogs, controls).
void RegisterLayerClass(const char* name, WNDPROC proc, bool layerDrawn)
{
    if (FindClass(name))
        return;
    auto c = std::make_shared<WindowClass>();
    c->name = name;
    c->proc = proc;
    c->layerDrawn = layerDrawn;
    R().classes.push_back(c);
}

} // namespace qv::win

// ---------------------------------------------------------------------------------------------
// Creation and destruction

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    auto cls = FindClass(lpClassName);
    if (!cls) {
        SetError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    const bool child = (dwStyle & WS_CHILD) != 0;
    if (child && !Find(hWndParent)) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Registry& r = R();
    auto owned = std::make_unique<Window>();
    Window& w = *owned;
    w.handle = reinterpret_cast<HWND>(r.nextHandle);
    r.nextHandle += 4;
    w.cls = cls;
    w.title = lpWindowName ? lpWindowName : "";
    w.style = dwStyle & ~(WS_VISIBLE | WS_MINIMIZE | WS_DISABLED);
    // Overlapped windows always have a caption.
    if (!child && !(dwStyle & WS_POPUP))
        w.style |= WS_CAPTION | WS_CLIPSIBLINGS;
    w.exStyle = dwExStyle;
    w.proc = cls->proc;
    w.instance = hInstance;
    w.threadId = ThreadId();
    if (child) {
        w.parent = hWndParent;
        w.id = reinterpret_cast<LONG_PTR>(hMenu);
    } else {
        if (hWndParent && hWndParent != kDesktop)
            w.owner = TopLevelOf(hWndParent);
        w.menu = hMenu;
        if (!w.menu && cls->menuName)
            w.menu = LoadMenuA(cls->instance, cls->menuName);
    }
    if (!child && (nWidth == CW_USEDEFAULT || nWidth < 0)) {
        nWidth = 640;
        nHeight = 480;
    }
    if (!child && X == CW_USEDEFAULT) {
        const SDL_Rect d = DisplayBounds();
        X = std::max(0, (d.w - nWidth) / 2);
        Y = std::max(0, (d.h - nHeight) / 2);
    }
    w.rect = RECT{X, Y, X + std::max(0, nWidth), Y + std::max(0, nHeight)};
    w.enabled = !(dwStyle & WS_DISABLED);

    if (!child && !CreateSdlWindow(w)) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HWND handle = w.handle;
    r.byHandle[handle] = &w;
    r.windows.push_back(std::move(owned));

    CREATESTRUCTA cs = {};
    cs.lpCreateParams = lpParam;
    cs.hInstance = hInstance;
    cs.hMenu = hMenu;
    cs.hwndParent = hWndParent;
    cs.cx = nWidth;
    cs.cy = nHeight;
    cs.x = X;
    cs.y = Y;
    cs.style = static_cast<LONG>(dwStyle);
    cs.lpszName = lpWindowName;
    cs.lpszClass = lpClassName;
    cs.dwExStyle = dwExStyle;
    if (!SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!Find(handle) || SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (Window* created = Find(handle)) {
        SendSizeAndMove(*created);
        if (dwStyle & WS_VISIBLE)
            ShowWindow(handle, SW_SHOW);
    }
    return Find(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND hWnd)
{
    Window* w = Find(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->destroying)
        return TRUE;
    w->destroying = true;
    Registry& r = R();

    // Owned windows go first, then the window disappears and gives up activation (to its owner).
    std::vector<HWND> dependants;
    ForEachWindow([&](Window& o) {
        if (o.owner == hWnd && !o.destroying)
            dependants.push_back(o.handle);
        return true;
    });
    for (HWND o : dependants)
        DestroyWindow(o);
    if ((w = Find(hWnd)) == nullptr)
        return TRUE;
    w->visible = false;
    if (w->sdl)
        SDL_HideWindow(w->sdl);
    if (r.active == hWnd) {
        Deactivate(hWnd);
        Window* owner = Find(w->owner);
        if (owner && owner->visible && owner->enabled)
            Activate(owner->handle, WA_ACTIVE);
    }
    if (r.focus == hWnd)
        r.focus = nullptr;

    // WM_DESTROY parent first, WM_NCDESTROY children first.
    std::function<void(HWND)> sendDestroy = [&](HWND h) {
        SendMessageA(h, WM_DESTROY, 0, 0);
        std::vector<HWND> children;
        ForEachWindow([&](Window& c) {
            if (c.parent == h)
                children.push_back(c.handle);
            return true;
        });
        for (HWND c : children) {
            if (Window* cw = Find(c))
                cw->destroying = true;
            sendDestroy(c);
        }
    };
    std::vector<HWND> order;
    std::function<void(HWND)> collect = [&](HWND h) {
        ForEachWindow([&](Window& c) {
            if (c.parent == h)
                collect(c.handle);
            return true;
        });
        order.push_back(h);
    };
    sendDestroy(hWnd);
    collect(hWnd);
    for (HWND h : order)
        SendMessageA(h, WM_NCDESTROY, 0, 0);

    for (HWND h : order) {
        Window* d = Find(h);
        if (!d)
            continue;
        if (d->menu && IsTopLevel(*d))
            DestroyMenu(d->menu);
        if (d->gl) {
            ForgetStripTextures(*d);
            if (SDL_GL_GetCurrentContext() == d->gl)
                SDL_GL_MakeCurrent(d->sdl, nullptr);
            SDL_GL_DeleteContext(d->gl);
        }
        if (d->sdl)
            SDL_DestroyWindow(d->sdl);
        ForgetCanvas(h);
        r.byHandle.erase(h);
        for (auto& slot : r.windows)
            if (slot.get() == d)
                slot.reset();
        if (r.active == h)
            r.active = nullptr;
        if (r.focus == h)
            r.focus = nullptr;
    }
    r.windows.erase(std::remove(r.windows.begin(), r.windows.end(), nullptr), r.windows.end());
    return TRUE;
}

BOOL IsWindow(HWND hWnd)
{
    return hWnd == kDesktop || Find(hWnd) != nullptr || (hWnd && IsForeignWindow(hWnd));
}

HWND GetDesktopWindow() { return kDesktop; }

// ---------------------------------------------------------------------------------------------
// Showing, activation, focus

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
    Window* w = Find(hWnd);
    if (!w) {
        bool visible = false;
        if (!ForeignWindowText(hWnd, nullptr, nullptr, &visible))
            return FALSE;
        ForeignShow(hWnd, nCmdShow);
        return visible ? TRUE : FALSE;
    }
    const bool was = w->visible;
    if (nCmdShow == SW_HIDE) {
        if (!was)
            return FALSE;
        w->visible = false;
        SendMessageA(hWnd, WM_SHOWWINDOW, FALSE, 0);
        if ((w = Find(hWnd)) == nullptr)
            return TRUE;
        SyncSdlWindow(*w);
        if (R().active == hWnd) {
            Deactivate(hWnd);
            Window* owner = Find(w->owner);
            if (owner && owner->visible && owner->enabled)
                Activate(owner->handle, WA_ACTIVE);
        }
        return TRUE;
    }
    const bool minimize = nCmdShow == SW_MINIMIZE || nCmdShow == SW_SHOWMINIMIZED || nCmdShow == SW_SHOWMINNOACTIVE;
    if (!was) {
        SendMessageA(hWnd, WM_SHOWWINDOW, TRUE, 0);
        if ((w = Find(hWnd)) == nullptr)
            return FALSE;
    }
    w->visible = true;
    if (minimize != w->minimized && w->sdl) {
        if (minimize)
            SDL_MinimizeWindow(w->sdl);
        else
            SDL_RestoreWindow(w->sdl);
    }
    w->minimized = minimize;
    SyncSdlWindow(*w);
    InvalidateTree(*w);
    if (!IsTopLevel(*w))
        return was ? TRUE : FALSE;
    if (minimize) {
        Deactivate(hWnd);
    } else if (nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE && w->enabled) {
        Activate(hWnd, WA_ACTIVE);
    }
    return was ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hWnd)
{
    Window* w = Find(hWnd);
    if (!w)
        return FALSE;
    if (w->needsPaint && w->visible)
        SendMessageA(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL IsWindowVisible(HWND hWnd)
{
    Window* w = Find(hWnd);
    if (!w) {
        bool visible = false;
        return ForeignWindowText(hWnd, nullptr, nullptr, &visible) && visible;
    }
    while (w) {
        if (!w->visible)
            return FALSE;
        if (IsTopLevel(*w))
            return TRUE;
        w = Find(w->parent);
    }
    return FALSE;
}

BOOL IsIconic(HWND hWnd)
{
    Window* w = Find(hWnd);
    return w && w->minimized;
}

BOOL IsWindowEnabled(HWND hWnd)
{
    Window* w = Find(hWnd);
    return w && w->enabled;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable)
{
    Window* w = Find(hWnd);
    if (!w)
        return FALSE;
    const bool wasDisabled = !w->enabled;
    w->enabled = bEnable != FALSE;
    if (!w->enabled && R().focus && (R().focus == hWnd || TopLevelOf(R().focus) == hWnd))
        SetFocus(nullptr);
    return wasDisabled ? TRUE : FALSE;
}

HWND GetActiveWindow() { return ActiveWindow(); }
HWND GetForegroundWindow() { return ActiveWindow(); }
HWND GetFocus() { return Find(R().focus) ? R().focus : nullptr; }

HWND SetFocus(HWND hWnd)
{
    Registry& r = R();
    HWND old = Find(r.focus) ? r.focus : nullptr;
    if (hWnd && !Find(hWnd)) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (old == hWnd)
        return old;
    r.focus = hWnd;
    if (old)
        SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (hWnd && r.focus == hWnd)
        SendMessageA(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND SetActiveWindow(HWND hWnd)
{
    HWND old = ActiveWindow();
    Window* w = Find(TopLevelOf(hWnd));
    if (!w)
        return nullptr;
    Activate(w->handle, WA_ACTIVE);
    return old;
}

BOOL SetForegroundWindow(HWND hWnd)
{
    Window* w = Find(TopLevelOf(hWnd));
    if (!w)
        return ForeignActivate(hWnd) ? TRUE : FALSE;
    if (w->sdl)
        SDL_RaiseWindow(w->sdl);
    Activate(w->handle, WA_ACTIVE);
    return TRUE;
}

BOOL BringWindowToTop(HWND hWnd)
{
    Window* w = Find(TopLevelOf(hWnd));
    if (!w)
        return FALSE;
    if (w->sdl)
        SDL_RaiseWindow(w->sdl);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Window data

namespace {

LONG_PTR GetLongPtr(HWND hWnd, int nIndex, bool pointerSized)
{
    Window* w = Find(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (nIndex >= 0 && w->cls->name == "#32770") {
        // The fields of a dialog.
        if (nIndex == DWLP_MSGRESULT)
            return w->dialogMessageResult;
        if (nIndex == DWLP_DLGPROC && pointerSized)
            return reinterpret_cast<LONG_PTR>(w->dialogProc);
        if (nIndex == DWLP_USER)
            return w->dialogData;
    }
    switch (nIndex) {
    case GWL_STYLE:
        return static_cast<LONG>(FullStyle(*w));
    case GWL_EXSTYLE:
        return static_cast<LONG>(w->exStyle);
    case GWLP_WNDPROC:
        if (!pointerSized)
            break;
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_USERDATA:
        return w->userData;
    case GWLP_ID:
        return w->id;
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case -8: // GWLP_HWNDPARENT
        return reinterpret_cast<LONG_PTR>(IsTopLevel(*w) ? w->owner : w->parent);
    default:
        break;
    }
    SetError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR SetLongPtr(HWND hWnd, int nIndex, LONG_PTR value, bool pointerSized)
{
    Window* w = Find(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    SetError(ERROR_SUCCESS);
    LONG_PTR old = 0;
    if (nIndex >= 0 && w->cls->name == "#32770") {
        if (nIndex == DWLP_MSGRESULT) {
            old = w->dialogMessageResult;
            w->dialogMessageResult = value;
            return old;
        }
        if (nIndex == DWLP_DLGPROC && pointerSized) {
            old = reinterpret_cast<LONG_PTR>(w->dialogProc);
            w->dialogProc = reinterpret_cast<DLGPROC>(value);
            return old;
        }
        if (nIndex == DWLP_USER) {
            old = w->dialogData;
            w->dialogData = value;
            return old;
        }
    }
    switch (nIndex) {
    case GWL_STYLE: {
        old = static_cast<LONG>(FullStyle(*w));
        // Visibility is changed by ShowWindow and SetWindowPos; a style without WS_VISIBLE
        // given here does not hide the window.
        const DWORD style = static_cast<DWORD>(value) & ~(WS_VISIBLE | WS_MINIMIZE | WS_DISABLED);
        if (IsTopLevel(*w) != !(style & WS_CHILD))
            return old; // a window does not change between top-level and child
        w->style = style;
        SyncSdlWindow(*w);
        InvalidateTree(*w);
        return old;
    }
    case GWL_EXSTYLE:
        old = static_cast<LONG>(w->exStyle);
        w->exStyle = static_cast<DWORD>(value);
        SyncSdlWindow(*w);
        return old;
    case GWLP_WNDPROC:
        if (!pointerSized || !value)
            break;
        old = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = pointerSized ? value : static_cast<LONG>(value);
        return old;
    case GWLP_ID:
        old = w->id;
        w->id = value;
        return old;
    default:
        break;
    }
    SetError(ERROR_INVALID_INDEX);
    return 0;
}

} // namespace

LONG GetWindowLongA(HWND hWnd, int nIndex) { return static_cast<LONG>(GetLongPtr(hWnd, nIndex, false)); }
LONG SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong)
{
    return static_cast<LONG>(SetLongPtr(hWnd, nIndex, dwNewLong, false));
}
LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex) { return GetLongPtr(hWnd, nIndex, true); }
LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) { return SetLongPtr(hWnd, nIndex, dwNewLong, true); }

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
    Window* w = Find(hWnd);
    if (!lpString || nMaxCount <= 0)
        return 0;
    lpString[0] = 0;
    std::string foreign;
    if (!w && !ForeignWindowText(hWnd, &foreign, nullptr, nullptr)) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const std::string& title = w ? w->title : foreign;
    const int n = std::min<int>(static_cast<int>(title.size()), nMaxCount - 1);
    std::memcpy(lpString, title.data(), n);
    lpString[n] = 0;
    return n;
}

int GetWindowTextLengthA(HWND hWnd)
{
    Window* w = Find(hWnd);
    return w ? static_cast<int>(w->title.size()) : 0;
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    Window* w = Find(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->title = lpString ? lpString : "";
    if (w->sdl)
        SDL_SetWindowTitle(w->sdl, w->title.c_str());
    InvalidateTree(*w);
    return TRUE;
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
    Window* w = Find(hWnd);
    if (!lpClassName || nMaxCount <= 0)
        return 0;
    lpClassName[0] = 0;
    std::string foreign;
    if (!w && !ForeignWindowText(hWnd, nullptr, &foreign, nullptr)) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const std::string& name = w ? w->cls->name : foreign;
    const int n = std::min<int>(static_cast<int>(name.size()), nMaxCount - 1);
    std::memcpy(lpClassName, name.data(), n);
    lpClassName[n] = 0;
    return n;
}

HWND GetParent(HWND hWnd)
{
    Window* w = Find(hWnd);
    if (!w)
        return nullptr;
    return IsTopLevel(*w) ? (w->style & WS_POPUP ? w->owner : nullptr) : w->parent;
}

BOOL IsChild(HWND hWndParent, HWND hWnd)
{
    Window* w = Find(hWnd);
    while (w && !IsTopLevel(*w)) {
        if (w->parent == hWndParent)
            return TRUE;
        w = Find(w->parent);
    }
    return FALSE;
}

// ---------------------------------------------------------------------------------------------
// Geometry

BOOL AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle)
{
    if (!lpRect)
        return FALSE;
    const RECT in = FrameInsets(dwStyle, dwExStyle, bMenu != FALSE);
    lpRect->left -= in.left;
    lpRect->top -= in.top;
    lpRect->right += in.right;
    lpRect->bottom += in.bottom;
    return TRUE;
}

BOOL AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu)
{
    return AdjustWindowRectEx(lpRect, dwStyle, bMenu, 0);
}

BOOL SetWindowPos(HWND hWnd, HWND, int X, int Y, int cx, int cy, UINT uFlags)
{
    Window* w = Find(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const RECT before = w->rect;
    if (!(uFlags & SWP_NOMOVE))
        OffsetRect(&w->rect, X - w->rect.left, Y - w->rect.top);
    if (!(uFlags & SWP_NOSIZE)) {
        w->rect.right = w->rect.left + std::max(0, cx);
        w->rect.bottom = w->rect.top + std::max(0, cy);
    }
    const bool sized = Width(before) != Width(w->rect) || Height(before) != Height(w->rect);
    const bool moved = before.left != w->rect.left || before.top != w->rect.top;
    SyncSdlWindow(*w);
    if (sized || moved || (uFlags & SWP_FRAMECHANGED))
        InvalidateTree(*w);
    if (sized)
        SendSizeAndMove(*w);
    else if (moved) {
        const RECT c = ClientRectOf(*w);
        SendMessageA(hWnd, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
    }
    if (!Find(hWnd))
        return TRUE;
    if (uFlags & SWP_SHOWWINDOW)
        ShowWindow(hWnd, (uFlags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    else if (uFlags & SWP_HIDEWINDOW)
        ShowWindow(hWnd, SW_HIDE);
    return TRUE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL)
{
    return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    if (!lpRect)
        return FALSE;
    if (hWnd == kDesktop) {
        const SDL_Rect d = DisplayBounds();
        *lpRect = RECT{d.x, d.y, d.x + d.w, d.y + d.h};
        return TRUE;
    }
    Window* w = Find(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *lpRect = w->rect;
    if (!IsTopLevel(*w)) {
        POINT origin = {0, 0};
        ClientToScreen(w->parent, &origin);
        OffsetRect(lpRect, origin.x, origin.y);
    }
    return TRUE;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect)
{
    if (!lpRect)
        return FALSE;
    if (hWnd == kDesktop)
        return GetWindowRect(hWnd, lpRect);
    Window* w = Find(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const RECT c = ClientRectOf(*w);
    *lpRect = RECT{0, 0, Width(c), Height(c)};
    return TRUE;
}

BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint)
{
    if (!lpPoint)
        return FALSE;
    if (hWnd == kDesktop)
        return TRUE;
    Window* w = Find(hWnd);
    if (!w)
        return FALSE;
    while (w) {
        const RECT c = ClientRectOf(*w);
        lpPoint->x += c.left;
        lpPoint->y += c.top;
        if (IsTopLevel(*w))
            break;
        w = Find(w->parent);
    }
    return TRUE;
}

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint)
{
    if (!lpPoint)
        return FALSE;
    POINT origin = {0, 0};
    if (!ClientToScreen(hWnd, &origin))
        return FALSE;
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}

int GetSystemMetrics(int nIndex)
{
    switch (nIndex) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
        return DisplayBounds().w;
    case SM_CYSCREEN:
        return DisplayBounds().h;
    case SM_CYFULLSCREEN:
        return DisplayBounds().h - kCaptionHeight;
    case SM_CYCAPTION:
        return kCaptionHeight;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return kBorder;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return kFixedFrame;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return kSizeFrame;
    case SM_CYMENU:
        return kMenuBarHeight;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
        return 16;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK:
        return 13;
    default:
        return 0;
    }
}

BOOL InvalidateRect(HWND hWnd, const RECT*, BOOL)
{
    if (!hWnd) {
        ForEachWindow([](Window& w) {
            w.needsPaint = w.needsErase = true;
            return true;
        });
        return TRUE;
    }
    if (hWnd == kDesktop)
        return qv::win::RepaintDesktop() ? TRUE : TRUE;
    Window* w = Find(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->cls->layerDrawn) {
        InvalidateTree(*w);
    } else {
        w->needsPaint = true;
        w->needsErase = true;
    }
    return TRUE;
}

BOOL ValidateRect(HWND hWnd, const RECT*)
{
    Window* w = Find(hWnd);
    if (!w)
        return hWnd == nullptr;
    w->needsPaint = false;
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Placement of the program's own windows (other applications' windows: see the X11 side)

BOOL GetWindowPlacement(HWND hWnd, WINDOWPLACEMENT* lpwndpl)
{
    if (!lpwndpl)
        return FALSE;
    Window* w = Find(hWnd);
    if (!w)
        return qv::win::ForeignGetPlacement(hWnd, lpwndpl);
    lpwndpl->length = sizeof(WINDOWPLACEMENT);
    lpwndpl->flags = 0;
    lpwndpl->showCmd = !w->visible ? SW_HIDE : w->minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
    lpwndpl->ptMinPosition = POINT{-1, -1};
    lpwndpl->ptMaxPosition = POINT{-1, -1};
    lpwndpl->rcNormalPosition = w->rect;
    return TRUE;
}

BOOL SetWindowPlacement(HWND hWnd, const WINDOWPLACEMENT* lpwndpl)
{
    if (!lpwndpl || lpwndpl->length != sizeof(WINDOWPLACEMENT)) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Window* w = Find(hWnd);
    if (!w)
        return qv::win::ForeignSetPlacement(hWnd, lpwndpl);
    const RECT& r = lpwndpl->rcNormalPosition;
    SetWindowPos(hWnd, nullptr, r.left, r.top, Width(r), Height(r), SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hWnd, static_cast<int>(lpwndpl->showCmd));
    return TRUE;
}

namespace qv {

namespace {

// The drivers that show a window to the user, in SDL's own order of preference.
constexpr const char* kDisplayDrivers = "x11,wayland,KMSDRM";
constexpr int kDisplayAttempts = 10;
constexpr Uint32 kDisplayRetryMs = 200;

} // namespace

bool EnsureVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    win::DisplayLibraryAllocations ignored;
    // Ctrl+C ends the program as it would any other; the layer must not turn it into an event.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked && *asked)
        return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;

    // Left to choose, SDL falls back to its offscreen driver when no display answers, and the
    // program would run with a window that nobody can see. Only a real display will do here;
    // a busy X server now and then turns a new connection away, so it is asked again.
    // A connection that the server closes before reading it fails on its first write: that is
    // one failed attempt, not the end of the program.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    SDL_SetHint(SDL_HINT_VIDEODRIVER, kDisplayDrivers);
    bool started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    for (int attempt = 1; !started && attempt < kDisplayAttempts; ++attempt) {
        SDL_Delay(kDisplayRetryMs);
        started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
    sigaction(SIGPIPE, &previous, nullptr);
    if (!started)
        std::fprintf(stderr, "No display to open a window on (%s).\n", SDL_GetError());
    return started;
}

} // namespace qv
