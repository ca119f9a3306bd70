// Other applications' top-level windows where the display is X11: listed from the window
// manager's client list (or the root's children when no manager runs), with their process
// (_NET_WM_PID), title, class (WM_CLASS), placement and activation (_NET_ACTIVE_WINDOW). On
// any other display only the program's own windows exist for it.
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/Window.h"

namespace qv::win {
namespace {

// Foreign handles carry the X window id under a tag that the program's own handles never have.
constexpr uintptr_t kForeignTag = uintptr_t(1) << 40;

Display* g_display = nullptr;
bool g_tried = false;
int g_errors = 0;

int IgnoreErrors(Display*, XErrorEvent*)
{
    ++g_errors;
    return 0;
}

// Runs X requests with errors counted instead of fatal: a foreign window may vanish at any time.
class Guard {
public:
    Guard() : m_previous(XSetErrorHandler(IgnoreErrors)) { g_errors = 0; }
    ~Guard()
    {
        XSync(g_display, False);
        XSetErrorHandler(m_previous);
    }
    bool Failed()
    {
        XSync(g_display, False);
        return g_errors != 0;
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    XErrorHandler m_previous;
};

Display* Connection()
{
    if (g_display || g_tried)
        return g_display;
    g_tried = true;
    if (!EnsureVideo())
        return nullptr;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0)
        return nullptr;
    g_display = XOpenDisplay(nullptr);
    return g_display;
}

HWND HandleOf(::Window x) { return reinterpret_cast<HWND>(kForeignTag | static_cast<uintptr_t>(x)); }

::Window XOf(HWND h)
{
    const uintptr_t v = reinterpret_cast<uintptr_t>(h);
    return (v & ~uintptr_t(0xFFFFFFFF)) == kForeignTag ? static_cast<::Window>(v & 0xFFFFFFFF) : 0;
}

Atom AtomOf(const char* name) { return XInternAtom(g_display, name, False); }

// A property of 32-bit items (Window, CARDINAL); empty when absent.
std::vector<unsigned long> LongProperty(::Window w, const char* name, Atom type)
{
    std::vector<unsigned long> out;
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(g_display, w, AtomOf(name), 0, 4096, False, type, &actual, &format, &count, &after, &data) ==
            Success &&
        data && format == 32) {
        const unsigned long* items = reinterpret_cast<const unsigned long*>(data);
        out.assign(items, items + count);
    }
    if (data)
        XFree(data);
    return out;
}

std::string TextProperty(::Window w, const char* name)
{
    std::string out;
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(g_display, w, AtomOf(name), 0, 4096, False, AnyPropertyType, &actual, &format, &count, &after,
                           &data) == Success &&
        data && format == 8)
        out.assign(reinterpret_cast<const char*>(data), count);
    if (data)
        XFree(data);
    return out;
}

// The X windows of the program's own SDL windows, which EnumWindows lists as its own.
std::vector<::Window> OwnXWindows()
{
    std::vector<::Window> own;
    ForEachWindow([&](Window& w) {
        if (w.sdl) {
            SDL_SysWMinfo info;
            SDL_VERSION(&info.version);
            if (SDL_GetWindowWMInfo(w.sdl, &info) && info.subsystem == SDL_SYSWM_X11)
                own.push_back(info.info.x11.window);
        }
        return true;
    });
    return own;
}

bool Exists(::Window x)
{
    if (!x || !Connection())
        return false;
    Guard guard;
    XWindowAttributes a;
    return XGetWindowAttributes(g_display, x, &a) != 0 && !guard.Failed();
}

} // namespace

std::vector<HWND> ForeignTopLevelWindows()
{
    std::vector<HWND> out;
    if (!Connection())
        return out;
    Guard guard;
    const ::Window root = DefaultRootWindow(g_display);
    // Top first, as the system enumerates: the manager's stacking list runs bottom to top.
    std::vector<unsigned long> list = LongProperty(root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
    if (list.empty())
        list = LongProperty(root, "_NET_CLIENT_LIST", XA_WINDOW);
    if (list.empty()) {
        ::Window rootReturn, parent;
        ::Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(g_display, root, &rootReturn, &parent, &children, &count) && children) {
            list.assign(children, children + count);
            XFree(children);
        }
    }
    std::reverse(list.begin(), list.end());
    const std::vector<::Window> own = OwnXWindows();
    const unsigned long self = static_cast<unsigned long>(GetCurrentProcessId());
    for (unsigned long x : list) {
        if (std::find(own.begin(), own.end(), static_cast<::Window>(x)) != own.end())
            continue;
        const std::vector<unsigned long> pid = LongProperty(x, "_NET_WM_PID", XA_CARDINAL);
        if (!pid.empty() && pid[0] == self)
            continue; // the program's own (menus and other SDL windows)
        out.push_back(HandleOf(x));
    }
    return out;
}

bool IsForeignWindow(HWND hWnd) { return Exists(XOf(hWnd)); }

bool ForeignWindowProcess(HWND hWnd, DWORD* processId)
{
    const ::Window x = XOf(hWnd);
    if (!Exists(x))
        return false;
    Guard guard;
    const std::vector<unsigned long> pid = LongProperty(x, "_NET_WM_PID", XA_CARDINAL);
    if (processId)
        *processId = pid.empty() ? 0 : static_cast<DWORD>(pid[0]);
    return true;
}

bool ForeignWindowText(HWND hWnd, std::string* title, std::string* className, bool* visible)
{
    const ::Window x = XOf(hWnd);
    if (!Exists(x))
        return false;
    Guard guard;
    if (title) {
        *title = TextProperty(x, "_NET_WM_NAME");
        if (title->empty())
            *title = TextProperty(x, "WM_NAME");
    }
    if (className) {
        className->clear();
        XClassHint hint;
        if (XGetClassHint(g_display, x, &hint)) {
            if (hint.res_class)
                *className = hint.res_class;
            if (hint.res_name)
                XFree(hint.res_name);
            if (hint.res_class)
                XFree(hint.res_class);
        }
    }
    if (visible) {
        XWindowAttributes a;
        *visible = XGetWindowAttributes(g_display, x, &a) && a.map_state == IsViewable;
    }
    return true;
}

HWND ForeignOwner(HWND hWnd)
{
    const ::Window x = XOf(hWnd);
    if (!Exists(x))
        return nullptr;
    Guard guard;
    ::Window owner = 0;
    if (XGetTransientForHint(g_display, x, &owner) && owner && owner != DefaultRootWindow(g_display))
        return HandleOf(owner);
    return nullptr;
}

bool ForeignGetPlacement(HWND hWnd, WINDOWPLACEMENT* placement)
{
    const ::Window x = XOf(hWnd);
    if (!placement || !Exists(x))
        return false;
    Guard guard;
    XWindowAttributes a;
    if (!XGetWindowAttributes(g_display, x, &a))
        return false;
    int rx = 0, ry = 0;
    ::Window child;
    XTranslateCoordinates(g_display, x, DefaultRootWindow(g_display), 0, 0, &rx, &ry, &child);
    placement->length = sizeof(WINDOWPLACEMENT);
    placement->flags = 0;
    placement->showCmd = SW_SHOWNORMAL;
    const std::vector<unsigned long> state = LongProperty(x, "_NET_WM_STATE", XA_ATOM);
    for (unsigned long s : state) {
        if (s == AtomOf("_NET_WM_STATE_HIDDEN"))
            placement->showCmd = SW_SHOWMINIMIZED;
        else if (s == AtomOf("_NET_WM_STATE_MAXIMIZED_VERT") && placement->showCmd == SW_SHOWNORMAL)
            placement->showCmd = SW_SHOWMAXIMIZED;
    }
    if (a.map_state != IsViewable && placement->showCmd == SW_SHOWNORMAL)
        placement->showCmd = SW_HIDE;
    placement->ptMinPosition = POINT{-1, -1};
    placement->ptMaxPosition = POINT{-1, -1};
    placement->rcNormalPosition = RECT{rx, ry, rx + a.width, ry + a.height};
    return !guard.Failed();
}

bool ForeignSetPlacement(HWND hWnd, const WINDOWPLACEMENT* placement)
{
    const ::Window x = XOf(hWnd);
    if (!placement || !Exists(x))
        return false;
    Guard guard;
    const RECT& r = placement->rcNormalPosition;
    if (placement->showCmd == SW_HIDE) {
        XUnmapWindow(g_display, x);
    } else if (placement->showCmd == SW_SHOWMINIMIZED || placement->showCmd == SW_MINIMIZE) {
        XIconifyWindow(g_display, x, DefaultScreen(g_display));
    } else {
        XMapWindow(g_display, x);
    }
    if (r.right > r.left && r.bottom > r.top)
        XMoveResizeWindow(g_display, x, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                          static_cast<unsigned>(r.bottom - r.top));
    XFlush(g_display);
    return !guard.Failed();
}

bool ForeignShow(HWND hWnd, int showCommand)
{
    const ::Window x = XOf(hWnd);
    if (!Exists(x))
        return false;
    Guard guard;
    if (showCommand == SW_HIDE)
        XUnmapWindow(g_display, x);
    else if (showCommand == SW_MINIMIZE || showCommand == SW_SHOWMINIMIZED || showCommand == SW_SHOWMINNOACTIVE)
        XIconifyWindow(g_display, x, DefaultScreen(g_display));
    else
        XMapRaised(g_display, x);
    XFlush(g_display);
    return !guard.Failed();
}

bool ForeignActivate(HWND hWnd)
{
    const ::Window x = XOf(hWnd);
    if (!Exists(x))
        return false;
    Guard guard;
    const ::Window root = DefaultRootWindow(g_display);
    // Asked of the window manager as a pager would; without one, raised and given the keys.
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = x;
    e.xclient.message_type = AtomOf("_NET_ACTIVE_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2; // from a pager: honoured at once
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(g_display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XMapRaised(g_display, x);
    if (LongProperty(root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty())
        XSetInputFocus(g_display, x, RevertToParent, CurrentTime);
    XFlush(g_display);
    return !guard.Failed();
}

bool RepaintDesktop()
{
    if (!Connection())
        return true;
    Guard guard;
    const ::Window root = DefaultRootWindow(g_display);
    XClearArea(g_display, root, 0, 0, 0, 0, True);
    for (HWND h : ForeignTopLevelWindows())
        XClearArea(g_display, XOf(h), 0, 0, 0, 0, True);
    XFlush(g_display);
    return true;
}

namespace {

// The X11 display connection and window behind an SDL window; false where it has none.
bool X11Window(SDL_Window* window, ::Display** display, ::Window* x)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    *display = info.info.x11.display;
    *x = info.info.x11.window;
    return true;
}

} // namespace

void KeepKeyboardOn(SDL_Window* window)
{
    ::Display* display;
    ::Window x;
    if (!X11Window(window, &display, &x))
        return;
    XSetInputFocus(display, x, RevertToParent, CurrentTime);
    XFlush(display);
}

void SetClassOfWindow(SDL_Window* window, const char* className)
{
    ::Display* display;
    ::Window x;
    if (!X11Window(window, &display, &x))
        return;
    XClassHint hint;
    hint.res_name = const_cast<char*>(className);
    hint.res_class = const_cast<char*>(className);
    XSetClassHint(display, x, &hint);
    XFlush(display);
}

namespace {

// A window manager that follows the desktop conventions names a window of its own on the root,
// which names itself in turn; a manager that went leaves its name behind, naming nothing.
bool WindowManagerRuns()
{
    if (!Connection())
        return false;
    Guard guard;
    const std::vector<unsigned long> check =
        LongProperty(DefaultRootWindow(g_display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (check.size() != 1)
        return false;
    const std::vector<unsigned long> self = LongProperty(check[0], "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    return !guard.Failed() && self.size() == 1 && self[0] == check[0];
}

} // namespace

void ActivateOnDisplay(SDL_Window* window)
{
    ::Display* display;
    ::Window x;
    if (!X11Window(window, &display, &x))
        return;
    const ::Window root = DefaultRootWindow(display);
    const Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    if (WindowManagerRuns()) {
        // The window manager decides who has the keys: asked as the application itself.
        XEvent e = {};
        e.xclient.type = ClientMessage;
        e.xclient.window = x;
        e.xclient.message_type = active;
        e.xclient.format = 32;
        e.xclient.data.l[0] = 1;
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    } else {
        XRaiseWindow(display, x);
        XSetInputFocus(display, x, RevertToParent, CurrentTime);
    }
    XFlush(display);
}

void Beep()
{
    if (!Connection())
        return;
    XBell(g_display, 0);
    XFlush(g_display);
}

} // namespace qv::win

BOOL MessageBeep(UINT)
{
    qv::win::Beep();
    return TRUE;
}
