// Inside the window layer: the menu strip of a window drawn with OpenGL into its SDL window,
// above the client area (or over it in full screen).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/Canvas.h"
#include "platform/win32/Window.h"

namespace qv::win {

// Draws `strip` into the window's strip area with the window's context, leaving every OpenGL
// state as it was. `generation` changes whenever the strip's picture does (the texture is
// uploaded only then; 0: always).
void DrawStripWithGl(Window& w, const Canvas& strip, unsigned generation = 0);
// Gives back the strip's textures of a window whose context goes.
void ForgetStripTextures(Window& w);
// Keeps a copy of the client area of the back buffer: the frame about to be presented.
void KeepClientCopy(Window& w);
// Draws the whole window again from the copy that KeepClientCopy took last, black around it (and
// all black when no frame was ever presented), leaving every OpenGL state as it was: the window's
// picture when nobody else draws it, as while a menu or a box is open.
void DrawKeptFrame(Window& w);
// That copy's pixels, B, G, R, A rows from the top, and its size in drawable pixels; false
// when no frame was ever presented.
bool ReadKeptFrame(Window& w, std::vector<uint8_t>& bgra, int& width, int& height);
// The strip's rectangle in SDL window coordinates and the scale of strip pixels on it.
SDL_Rect StripRectInWindow(const Window& w);

// The pictures of a menu bar (`width` pixels wide) and of a drop-down menu, with the item
// `selected` highlighted (-1: none).
void PaintMenuBar(Canvas& canvas, HMENU menu, int width, int selected);
void PaintPopupMenu(Canvas& canvas, HMENU menu, int selected);

} // namespace qv::win
