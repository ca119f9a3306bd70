// Inside the window layer: what an HCURSOR points at.
#pragma once

#include <SDL.h>

#include "platform/win32/WinTypes.h"

namespace qv::res {
struct Image;
}

namespace qv::win {

struct Cursor {
    SDL_SystemCursor shape = SDL_SYSTEM_CURSOR_ARROW;
    const qv::res::Image* image = nullptr; // a cursor of the program's resources
    SDL_Cursor* sdl = nullptr;             // made when first set
};

struct Icon {
    const qv::res::Image* image = nullptr; // null: a system icon
    int systemId = 0;
};

// An SDL surface of a resource picture (ARGB, transparent where the picture has '.').
SDL_Surface* SurfaceOfImage(const qv::res::Image& image);

// The cursor of a system id (32512 arrow, 32649 hand, ...), the same handle every time.
HCURSOR SystemCursor(int id);

} // namespace qv::win
