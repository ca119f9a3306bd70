// Inside the platform layer only (never included by the game): the SDL window and OpenGL
// context behind a top-level window, for Direct3D's device, and the test hooks of the layer.
#pragma once

#include <SDL.h>

#include "platform/win32/WinTypes.h"

namespace qv {

// The SDL window of a top-level window made by CreateWindowExA; null for any other handle.
SDL_Window* SdlWindowOf(HWND hWnd);
// The OpenGL 2.1 compatibility context (24-bit depth, 8-bit stencil) of that window.
SDL_GLContext GlContextOf(HWND hWnd);
// Makes the window's context current on the calling thread; false when the handle is not ours.
bool MakeGlCurrent(HWND hWnd);

} // namespace qv
