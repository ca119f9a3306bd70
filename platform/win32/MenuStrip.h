// Inside the window layer: the menu strip of a window drawn with OpenGL into its SDL window,
// above the client area (or over it in full screen).
#pragma once

#include "platform/win32/Canvas.h"
#include "platform/win32/Window.h"

namespace qv::win {

// Draws `strip` into the window's strip area with the window's context, leaving every OpenGL
// state as it was. With `restoreClient` the client area is first drawn again from the copy
// taken at the last SwapGlWindow (when nobody else draws it, as while a menu is open).
// `generation` changes whenever the strip's picture does (the texture is uploaded only then).
void DrawStripWithGl(Window& w, const Canvas& strip, bool restoreClient, unsigned generation = 0);
// Gives back the strip's textures of a window whose context goes.
void ForgetStripTextures(Window& w);
// Keeps a copy of the client area of the back buffer for DrawStripWithGl.
void KeepClientCopy(Window& w);
// The strip's rectangle in SDL window coordinates and the scale of strip pixels on it.
SDL_Rect StripRectInWindow(const Window& w);

// The pictures of a menu bar (`width` pixels wide) and of a drop-down menu, with the item
// `selected` highlighted (-1: none).
void PaintMenuBar(Canvas& canvas, HMENU menu, int width, int selected);
void PaintPopupMenu(Canvas& canvas, HMENU menu, int selected);

} // namespace qv::win
