// Inside the window layer: the window objects behind HWNDs, their classes, and the geometry
// shared by the window functions, the message queue and the menu bar.
#pragma once

#include <SDL.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/SdlWindow.h"
#include "platform/win32/Win32.h"

namespace qv::win {

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    const char* menuName = nullptr; // a resource id (MAKEINTRESOURCE) or menuNameText
    std::string menuNameText;
    // Windows that the layer itself draws (dialogs, message boxes, controls) paint into a
    // software surface instead of an OpenGL context.
    bool layerDrawn = false;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> cls;
    std::string title;
    DWORD style = 0; // without WS_VISIBLE, which `visible` holds
    DWORD exStyle = 0;
    WNDPROC proc = nullptr;
    LONG_PTR userData = 0;
    LONG_PTR dialogData = 0; // DWLP_USER of a dialog
    LONG_PTR id = 0;
    HWND parent = nullptr; // child windows only
    HWND owner = nullptr;  // top-level windows only
    HMENU menu = nullptr;  // the menu bar of a top-level window
    HINSTANCE instance = nullptr;
    RECT rect = {};        // outer rectangle: screen coordinates (top-level) or parent client (child)
    bool visible = false;
    bool minimized = false;
    bool enabled = true;
    bool destroying = false;
    bool needsPaint = false;
    bool needsErase = false;
    bool fullScreen = false;   // shown across the whole display by the SDL window
    SDL_Window* sdl = nullptr; // top-level windows only
    SDL_GLContext gl = nullptr;
    DWORD threadId = 0;
    // A dialog's procedure and its result fields (DWLP_*), and how it ended.
    DLGPROC dialogProc = nullptr;
    LONG_PTR dialogMessageResult = 0;
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    // Controls drawn by the layer: pressed (buttons), default (push buttons).
    bool pressed = false;
    Uint32 geometrySetAt = 0; // SDL_GetTicks of the layer's last move or resize of the SDL window
};

// The window of a handle; null when the handle names no live window.
Window* Find(HWND hWnd);
Window* FindBySdlId(Uint32 sdlWindowId);
// Every live window in creation order, top-level and children; stops when `visit` answers false.
void ForEachWindow(const std::function<bool(Window&)>& visit);
bool IsTopLevel(const Window& w);
HWND TopLevelOf(HWND hWnd);

// Frame sizes that AdjustWindowRectEx adds for a style (left, top, right, bottom, all >= 0).
RECT FrameInsets(DWORD style, DWORD exStyle, bool menu);
// The client area in screen coordinates (top-level) or parent client coordinates (child).
RECT ClientRectOf(const Window& w);
// Height of the menu strip that the layer draws at the top of a window with a menu bar.
constexpr int kMenuBarHeight = 20;
bool HasMenuStrip(const Window& w);

// Full screen shows the emulated display mode scaled on the real display: a point p of the
// mode is at origin + p * scaled / unit on the screen, the same scale on both axes. The plain
// view (scale 1, origin 0) is the display itself.
struct ModeView {
    POINT origin = {0, 0};
    int scaled = 1;
    int unit = 1;

    // A length of the mode on the screen, and a length on the screen in the mode (what a pointer
    // offset falls on); both round down.
    int Screen(int modeLength) const;
    int Mode(int screenLength) const;
    POINT ToScreen(POINT mode) const;
    // The first point of the mode that ToScreen places at or after `screen`: ToMode(ToScreen(p))
    // == p, so a window that the display moved, placed again from where it is, stays there.
    POINT ToMode(POINT screen) const;
};
// How the mode of the window in full screen shows (its picture, scaled with the aspect kept);
// plain when no window is in full screen.
ModeView FullScreenView();
// The view that a top-level window is shown in: the full-screen mode's for the boxes and menus
// that the layer draws over it (they scale with the picture, as its menu strip does), plain for
// every other window.
ModeView ViewOf(const Window& w);
// Where a top-level window that is not in full screen has its SDL window: its menu strip and
// client area, on the screen.
SDL_Rect SdlRectOf(const Window& w);

// Brings the SDL window in line with the window's style, rectangle and visibility.
void SyncSdlWindow(Window& w);
// A top-level window's SDL window changed size or place by the user or the window manager.
void OnSdlResized(Window& w, int width, int height);
void OnSdlMoved(Window& w, int x, int y);
// SDL window coordinates -> client coordinates of the window, and back.
POINT SdlToClient(const Window& w, int x, int y);
POINT ClientToSdl(const Window& w, POINT client);

// Activation and focus, set by ShowWindow and by SDL focus events.
void Activate(HWND hWnd, WORD how);
void Deactivate(HWND hWnd);
HWND ActiveWindow();

// The display's size as GetSystemMetrics reports it (the emulated display mode in full screen).
SDL_Rect DisplayBounds();

// SDL must be started (video, events) before the first window or event.
using qv::EnsureVideo;

// The display's and the fonts' libraries (Mesa, EGL, fontconfig) keep for the whole run some
// memory that they never give back; in a build with the leak checker those allocations are not
// counted as the program's.
class DisplayLibraryAllocations {
public:
    DisplayLibraryAllocations();
    ~DisplayLibraryAllocations();
    DisplayLibraryAllocations(const DisplayLibraryAllocations&) = delete;
    DisplayLibraryAllocations& operator=(const DisplayLibraryAllocations&) = delete;
};

// Thread-local last-error helper.
void SetError(DWORD code);

// The picture of a top-level window that the layer draws (null for the others); `Present` copies
// it to the screen.
class Canvas;
Canvas* CanvasOf(HWND topLevel);
void PresentCanvas(HWND topLevel);
void ForgetCanvas(HWND topLevel);

// Registers a class that the layer uses for its own windows (dialogs, controls, message boxes).
void RegisterLayerClass(const char* name, WNDPROC proc, bool layerDrawn);

// Other applications' top-level windows (X11): their handles (in the display's stacking order),
// and what the layer can tell of them; false where there is no such window.
std::vector<HWND> ForeignTopLevelWindows();
bool IsForeignWindow(HWND hWnd);
bool ForeignWindowProcess(HWND hWnd, DWORD* processId);
bool ForeignWindowText(HWND hWnd, std::string* title, std::string* className, bool* visible);
bool ForeignShow(HWND hWnd, int showCommand);
HWND ForeignOwner(HWND hWnd);
bool ForeignActivate(HWND hWnd);
bool ForeignGetPlacement(HWND hWnd, WINDOWPLACEMENT* placement);
bool ForeignSetPlacement(HWND hWnd, const WINDOWPLACEMENT* placement);
// Gives the display's keyboard focus back to an SDL window (X11), as after showing a drop-down.
void KeepKeyboardOn(SDL_Window* window);
// Other programs (a second copy of this one among them) read a window's class as its X11 class.
void SetClassOfWindow(SDL_Window* window, const char* className);
// Makes an SDL window the active one of the display (X11) with the keyboard focus: through the
// window manager (_NET_ACTIVE_WINDOW) where one runs, directly where none does.
void ActivateOnDisplay(SDL_Window* window);
// Asks every window of the display to repaint itself.
bool RepaintDesktop();

} // namespace qv::win
