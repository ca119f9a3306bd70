// Inside the platform layer only (never included by the game): the SDL window and OpenGL
// context behind a top-level window, for Direct3D's device.
//
// A top-level window made by CreateWindowExA is one SDL window holding, from the top, the menu
// strip that the window layer draws (when the window has a menu bar) and the client area. The
// Direct3D layer draws into the client area only:
//   - it makes the context current with MakeGlCurrent,
//   - sets its viewport inside ClientViewport (a window's menu strip is never drawn over),
//   - and presents with SwapGlWindow instead of SDL_GL_SwapWindow, so that the menu strip is
//     drawn into the same frame. SwapGlWindow leaves every OpenGL state as it found it.
// Full screen is the emulated display mode of EnterFullScreen: the window covers the display,
// GetSystemMetrics reports the mode's size, and ClientViewport is the part of the display that
// shows the mode (scaled, keeping its aspect ratio); the menu strip, when shown, overlays it.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "platform/win32/WinTypes.h"

namespace qv {

// Starts SDL's video and events once for the whole layer, on a display the user can see unless
// SDL_VIDEODRIVER names another driver; false, with a message, when there is none.
bool EnsureVideo();

// The SDL window of a top-level window made by CreateWindowExA; null for any other handle. It
// lives as long as the window.
SDL_Window* SdlWindowOf(HWND hWnd);
// The OpenGL 2.1 compatibility context (24-bit depth, 8-bit stencil) of that window.
SDL_GLContext GlContextOf(HWND hWnd);
// Makes the window's context current on the calling thread; false when the handle is not ours.
bool MakeGlCurrent(HWND hWnd);

// Where the client area's picture goes, in drawable pixels of the SDL window, measured from its
// top-left corner (OpenGL's glViewport y is drawableHeight - y - height). In a window this is
// exactly the client size, below the menu strip. False when the handle is not ours.
bool ClientViewport(HWND hWnd, int* x, int* y, int* width, int* height);
// Draws the layer's menu strip (when the window shows one) and swaps the window's buffers.
void SwapGlWindow(HWND hWnd);
// The client area's picture as the last SwapGlWindow showed it (what is on the screen while no
// frame comes): B, G, R, A rows from the top, of `width` x `height` drawable pixels. False when
// the window never presented a frame or the handle is not ours.
bool ReadKeptFrame(HWND hWnd, std::vector<uint8_t>& bgra, int* width, int* height);

// Full screen: the display takes the mode width x height (as far as GetSystemMetrics and the
// window's rectangle are concerned) and the window covers it, borderless. LeaveFullScreen gives
// the display its own size back; the window keeps its style and takes its rectangle again.
bool EnterFullScreen(HWND hWnd, int width, int height);
void LeaveFullScreen(HWND hWnd);

} // namespace qv
