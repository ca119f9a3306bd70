// Cursors: the system's arrow, hand and others as SDL system cursors, and the display count of
// ShowCursor. Cursors of the program's resources are made by Resources.cpp.
#include "platform/win32/Cursor.h"

#include <map>

#include "platform/win32/ResourceTable.h"
#include "platform/win32/Window.h"

namespace qv::win {
namespace {

std::map<int, Cursor>& SystemCursors()
{
    static std::map<int, Cursor> cursors;
    return cursors;
}

HCURSOR g_current = nullptr;
int g_displayCount = 0;

SDL_SystemCursor ShapeOfSystemId(int id)
{
    switch (id) {
    case 32513: return SDL_SYSTEM_CURSOR_IBEAM;
    case 32514: return SDL_SYSTEM_CURSOR_WAIT;
    case 32515: return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case 32649: return SDL_SYSTEM_CURSOR_HAND;
    default: return SDL_SYSTEM_CURSOR_ARROW;
    }
}

} // namespace

HCURSOR SystemCursor(int id)
{
    auto& cursors = SystemCursors();
    auto it = cursors.find(id);
    if (it == cursors.end()) {
        Cursor c;
        c.shape = ShapeOfSystemId(id);
        it = cursors.emplace(id, c).first;
    }
    return reinterpret_cast<HCURSOR>(&it->second);
}

} // namespace qv::win

using namespace qv::win;

HCURSOR SetCursor(HCURSOR hCursor)
{
    HCURSOR old = g_current;
    g_current = hCursor;
    if (!SDL_WasInit(SDL_INIT_VIDEO))
        return old;
    if (!hCursor) {
        SDL_ShowCursor(SDL_DISABLE);
        return old;
    }
    Cursor* c = reinterpret_cast<Cursor*>(hCursor);
    if (!c->sdl && c->image) {
        if (SDL_Surface* s = SurfaceOfImage(*c->image)) {
            c->sdl = SDL_CreateColorCursor(s, c->image->hotX, c->image->hotY);
            SDL_FreeSurface(s);
        }
    }
    if (!c->sdl)
        c->sdl = SDL_CreateSystemCursor(c->shape);
    if (c->sdl)
        SDL_SetCursor(c->sdl);
    SDL_ShowCursor(g_displayCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return old;
}

int ShowCursor(BOOL bShow)
{
    g_displayCount += bShow ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_ShowCursor(g_displayCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return g_displayCount;
}
