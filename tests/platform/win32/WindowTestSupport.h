// A test window class that records what its procedure is given.
#pragma once

#include <string>

#include <SDL.h>

#include <functional>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/SdlWindow.h"

namespace wintest {

struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Every message that RecordingProc saw, in order.
std::vector<Received>& Log();
// Optional per-message behaviour of RecordingProc: answer true and set `result` to handle it.
extern std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)> g_handler;
LRESULT CALLBACK RecordingProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Registers "QvTestWindow" with RecordingProc (once per process).
const char* TestClass();
HWND MakeWindow(DWORD style = WS_OVERLAPPEDWINDOW, int width = 640, int height = 480, HMENU menu = nullptr);

// Messages of one kind in the log.
std::vector<Received> LogOf(UINT message);
// Takes and dispatches every waiting message (PM_REMOVE).
void Drain();

// SDL input as the window would receive it from the display.
void PushKey(HWND hWnd, SDL_Scancode scancode, SDL_Keycode sym, bool down, Uint16 mod = KMOD_NONE);
void PushWindowEvent(HWND hWnd, Uint8 event, int data1 = 0, int data2 = 0);
void PushMouseMotion(HWND hWnd, int x, int y);
void PushMouseButton(HWND hWnd, int x, int y, bool down);

// The shown SDL windows with this title (the layer's drop-downs are titled "menu"), in the
// order they were made.
std::vector<SDL_Window*> ShownSdlWindows(const char* title);
// "x y w h" of an SDL window on the screen.
std::vector<int> SdlGeometry(SDL_Window* window);

// Whether a program can be found on the PATH.
bool OnPath(const std::string& program);
// A private Xvfb on a display number that it chooses itself, stopped when this goes. Number()
// is -1 when the server could not be started.
class OwnXServer {
public:
    explicit OwnXServer(const char* screen = "800x600x24");
    ~OwnXServer();
    OwnXServer(const OwnXServer&) = delete;
    OwnXServer& operator=(const OwnXServer&) = delete;

    int Number() const { return m_number; }

private:
    int m_pid = -1;
    int m_number = -1;
};

// Starts a private Xvfb, runs this test program's cases matching `filter` on it (disabled ones
// too) in a child process, stops the server, and answers whether the child passed.
// `serverStarted` is cleared when the server could not be started.
bool RunOnOwnXServer(const std::string& filter, bool* serverStarted);

} // namespace wintest
