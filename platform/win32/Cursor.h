// Inside the window layer: what an HCURSOR points at.
#pragma once

#include <SDL.h>

#include "platform/win32/WinTypes.h"

namespace qv::win {

struct Cursor {
    SDL_SystemCursor shape = SDL_SYSTEM_CURSOR_ARROW;
    SDL_Cursor* sdl = nullptr; // made when first set
};

// The cursor of a system id (32512 arrow, 32649 hand, ...), the same handle every time.
HCURSOR SystemCursor(int id);

} // namespace qv::win
