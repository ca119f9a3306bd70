// The program's resources read from its table: strings, accelerators, icons, cursors and its
// version block. Menus are loaded by Menu.cpp and dialogs by Dialog.cpp.
#include <map>
#include <memory>

#include "platform/win32/Canvas.h"
#include "platform/win32/Cursor.h"
#include "platform/win32/Messages.h"
#include "platform/win32/ResourceTable.h"
#include "platform/win32/Version.h"

namespace qv::win {
namespace {

UINT IdOf(LPCSTR name, bool* ok)
{
    *ok = true;
    if (IS_INTRESOURCE(name))
        return static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name));
    if (name && name[0] == '#')
        return static_cast<UINT>(std::atoi(name + 1));
    *ok = false;
    return 0;
}

std::map<HACCEL, std::vector<ACCEL>>& AcceleratorTables()
{
    static std::map<HACCEL, std::vector<ACCEL>> tables;
    return tables;
}
uintptr_t g_nextAccel = 0x50010;

HACCEL NewAcceleratorTable(std::vector<ACCEL> entries)
{
    HACCEL h = reinterpret_cast<HACCEL>(g_nextAccel);
    g_nextAccel += 4;
    AcceleratorTables()[h] = std::move(entries);
    return h;
}

std::string Hex4(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v & 0xFFFF);
    return buf;
}

} // namespace

SDL_Surface* SurfaceOfImage(const qv::res::Image& image)
{
    Canvas canvas(image.width, image.height, 0x00000000);
    canvas.Image(0, 0, image.rows, image.palette);
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, image.width, image.height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!s)
        return nullptr;
    for (int y = 0; y < image.height; ++y)
        std::memcpy(static_cast<Uint8*>(s->pixels) + y * s->pitch, canvas.Pixels() + y * image.width, image.width * 4);
    return s;
}

const VersionInfo* ProgramVersion()
{
    static const VersionInfo info = [] {
        const qv::res::Version& v = qv::res::ProgramResources().version;
        VersionInfo out;
        auto pack = [](const WORD (&parts)[4]) {
            return (ULONGLONG(parts[0]) << 48) | (ULONGLONG(parts[1]) << 32) | (ULONGLONG(parts[2]) << 16) | parts[3];
        };
        out.fileVersion = pack(v.fileVersion);
        out.productVersion = pack(v.productVersion);
        out.translations = {static_cast<DWORD>(MAKELONG(v.language, v.codePage))};
        const std::string translation = Hex4(v.language) + Hex4(v.codePage);
        for (const qv::res::VersionString& s : v.strings)
            out.strings.push_back({translation, s.name, s.value});
        return out;
    }();
    return info.strings.empty() && info.fileVersion == 0 ? nullptr : &info;
}

} // namespace qv::win

using namespace qv::win;

int LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax)
{
    if (!lpBuffer || cchBufferMax <= 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const auto& entry : qv::res::ProgramResources().strings) {
        if (entry.first != uID)
            continue;
        // Cut to the buffer, always terminated.
        const int n = std::min<int>(static_cast<int>(entry.second.size()), cchBufferMax - 1);
        std::memcpy(lpBuffer, entry.second.data(), n);
        lpBuffer[n] = 0;
        return n;
    }
    lpBuffer[0] = 0;
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}

HACCEL LoadAcceleratorsA(HINSTANCE, LPCSTR lpTableName)
{
    bool ok;
    const UINT id = IdOf(lpTableName, &ok);
    if (ok)
        for (const qv::res::Accelerators& a : qv::res::ProgramResources().accelerators)
            if (a.id == id)
                return NewAcceleratorTable(a.entries);
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HACCEL CreateAcceleratorTableA(LPACCEL paccel, int cAccel)
{
    if (!paccel || cAccel <= 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return NewAcceleratorTable(std::vector<ACCEL>(paccel, paccel + cAccel));
}

BOOL DestroyAcceleratorTable(HACCEL hAccel)
{
    return AcceleratorTables().erase(hAccel) ? TRUE : FALSE;
}

// Virtual-key entries match key-down messages with exactly their modifiers; character entries
// match the characters that TranslateMessage made, Alt by WM_SYSCHAR.
int TranslateAcceleratorA(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg)
{
    if (!lpMsg || !hWnd)
        return 0;
    auto it = AcceleratorTables().find(hAccTable);
    if (it == AcceleratorTables().end()) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const UINT m = lpMsg->message;
    const bool keyDown = m == WM_KEYDOWN || m == WM_SYSKEYDOWN;
    const bool character = m == WM_CHAR || m == WM_SYSCHAR;
    if (!keyDown && !character)
        return 0;
    const bool alt = IsKeyDown(VK_MENU);
    const bool shift = IsKeyDown(VK_SHIFT);
    const bool control = IsKeyDown(VK_CONTROL);
    for (const ACCEL& a : it->second) {
        bool match;
        if (a.fVirt & FVIRTKEY) {
            match = keyDown && a.key == lpMsg->wParam && ((a.fVirt & FALT) != 0) == alt &&
                    ((a.fVirt & FSHIFT) != 0) == shift && ((a.fVirt & FCONTROL) != 0) == control;
        } else {
            match = character && a.key == lpMsg->wParam && ((a.fVirt & FALT) != 0) == (m == WM_SYSCHAR);
        }
        if (!match)
            continue;
        if (!IsWindowEnabled(hWnd))
            return 0;
        SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
        return 1;
    }
    return 0;
}

HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    static std::map<UINT, Icon> icons;
    static std::map<UINT, Icon> systemIcons;
    bool ok;
    const UINT id = IdOf(lpIconName, &ok);
    if (!ok) {
        SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    if (!hInstance) {
        Icon& icon = systemIcons[id];
        icon.systemId = static_cast<int>(id);
        return reinterpret_cast<HICON>(&icon);
    }
    for (const qv::res::Image& image : qv::res::ProgramResources().icons) {
        if (image.id == id) {
            Icon& icon = icons[id];
            icon.image = &image;
            return reinterpret_cast<HICON>(&icon);
        }
    }
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    static std::map<UINT, Cursor> cursors;
    bool ok;
    const UINT id = IdOf(lpCursorName, &ok);
    if (!ok) {
        SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    if (!hInstance)
        return SystemCursor(static_cast<int>(id));
    for (const qv::res::Image& image : qv::res::ProgramResources().cursors) {
        if (image.id == id) {
            Cursor& c = cursors[id];
            c.image = &image;
            return reinterpret_cast<HCURSOR>(&c);
        }
    }
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}
