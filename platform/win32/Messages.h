// Inside the window layer: the thread's message queue, shared by the main loop and the modal
// loops of menus, dialogs and message boxes.
#pragma once

#include "platform/win32/Window.h"

namespace qv::win {

// Turns waiting SDL events into window messages.
void PumpSdlEvents();
// Waits up to `ms` milliseconds for an SDL event (or a message posted by another thread).
void WaitForInput(int ms);
// Whether a WM_QUIT is waiting; its exit code.
bool QuitPosted(int* exitCode);
// The position of the pointer on the screen as the last event left it.
POINT LastCursorPos();
// The keys as the window layer saw them (bit 7: down), for Alt/Shift/Ctrl in menus and dialogs.
bool IsKeyDown(int vk);
// Set in the lParam of the WM_SYSKEYUP of an Alt pressed and released without another key
// (a request for the menu bar); one of the bits that the system leaves unused.
constexpr LPARAM kLoneAltBit = LPARAM(1) << 25;

// Runs a modal loop until `done` answers true (or WM_QUIT arrives, which is posted again for the
// outer loop): every message taken from the queue goes through the message hooks; `filter`
// may consume it (answer true) before it is translated and dispatched.
void RunModalLoop(const std::function<bool()>& done, const std::function<bool(MSG&)>& filter);

// While set, every SDL event goes to `interceptor` first; it answers true for the events it
// took (a tracked menu takes the pointer).
void SetEventInterceptor(std::function<bool(const SDL_Event&)> interceptor);
// Takes the oldest input message (keys, pointer) already waiting in the queue, through the
// hooks as PeekMessageA does, without asking the display for newer events: what came before an
// interceptor was set is taken first, in its order.
bool TakeWaitingInput(MSG& m);

// The menu bar (MenuBar.cpp): entered by DefWindowProcA on a click in the strip, on F10 or a
// lone Alt, or on Alt with a letter.
void TrackMenuBar(HWND hWnd, int startItem, bool byMouse);
void TrackMenuBarByKey(HWND hWnd, int character);
// Draws a window with an OpenGL context again from the frame it presented last, with its menu
// strip: what the window shows when it is uncovered and nobody else draws it.
void RepaintFromKeptFrame(HWND hWnd);
// Draws the strip of a window with a menu bar (after a change of the menu or its checks).
void DrawMenuStrip(HWND hWnd);

} // namespace qv::win
