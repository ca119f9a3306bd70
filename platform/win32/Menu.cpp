// Menus: bars and popups with their items, check marks and states, and a window's menu bar.
#include "platform/win32/Menu.h"

#include <map>
#include <memory>

#include "platform/win32/Messages.h"
#include "platform/win32/ResourceTable.h"
#include "platform/win32/Window.h"

namespace qv::win {
namespace {

std::map<HMENU, std::unique_ptr<MenuObject>>& Menus()
{
    static std::map<HMENU, std::unique_ptr<MenuObject>> menus;
    return menus;
}

uintptr_t g_nextMenu = 0x30010;
unsigned g_revision = 0;

HMENU NewMenu(bool popup)
{
    HMENU h = reinterpret_cast<HMENU>(g_nextMenu);
    g_nextMenu += 4;
    auto m = std::make_unique<MenuObject>();
    m->popup = popup;
    Menus()[h] = std::move(m);
    return h;
}

// The entry that a command id or a position names; by command the submenus are searched too.
MenuEntry* FindEntry(HMENU menu, UINT item, UINT flags)
{
    MenuObject* m = FindMenu(menu);
    if (!m)
        return nullptr;
    if (flags & MF_BYPOSITION)
        return item < m->items.size() ? &m->items[item] : nullptr;
    for (MenuEntry& e : m->items) {
        if (!(e.flags & MF_POPUP) && !(e.flags & MF_SEPARATOR) && e.id == item)
            return &e;
        if (e.flags & MF_POPUP)
            if (MenuEntry* inner = FindEntry(e.submenu, item, flags))
                return inner;
    }
    return nullptr;
}

HMENU Build(const std::vector<qv::res::MenuItem>& items, bool popup)
{
    HMENU h = NewMenu(popup);
    for (const qv::res::MenuItem& item : items) {
        MenuEntry e;
        e.text = item.text;
        e.id = item.id;
        e.flags = item.flags;
        if (item.flags & MF_POPUP)
            e.submenu = Build(item.items, true);
        FindMenu(h)->items.push_back(e);
    }
    return h;
}

void Changed() { ++g_revision; }

} // namespace

MenuObject* FindMenu(HMENU menu)
{
    auto it = Menus().find(menu);
    return it == Menus().end() ? nullptr : it->second.get();
}

unsigned MenuRevision() { return g_revision; }

} // namespace qv::win

using namespace qv::win;

HMENU CreateMenu() { return NewMenu(false); }
HMENU CreatePopupMenu() { return NewMenu(true); }

BOOL IsMenu(HMENU hMenu) { return FindMenu(hMenu) != nullptr; }

BOOL DestroyMenu(HMENU hMenu)
{
    MenuObject* m = FindMenu(hMenu);
    if (!m) {
        SetError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    std::vector<HMENU> children;
    for (const MenuEntry& e : m->items)
        if (e.submenu)
            children.push_back(e.submenu);
    Menus().erase(hMenu);
    for (HMENU c : children)
        DestroyMenu(c);
    // A window whose bar this was has none now.
    ForEachWindow([&](Window& w) {
        if (w.menu == hMenu)
            w.menu = nullptr;
        return true;
    });
    Changed();
    return TRUE;
}

BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem)
{
    MenuObject* m = FindMenu(hMenu);
    if (!m) {
        SetError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    MenuEntry e;
    e.flags = uFlags & (MF_SEPARATOR | MF_POPUP | MF_CHECKED | MF_GRAYED | MF_DISABLED);
    if (uFlags & MF_POPUP) {
        e.submenu = reinterpret_cast<HMENU>(uIDNewItem);
        if (!FindMenu(e.submenu)) {
            SetError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
    } else {
        e.id = static_cast<UINT>(uIDNewItem);
    }
    if (!(uFlags & MF_SEPARATOR) && lpNewItem)
        e.text = lpNewItem;
    m->items.push_back(e);
    Changed();
    return TRUE;
}

HMENU GetSubMenu(HMENU hMenu, int nPos)
{
    MenuObject* m = FindMenu(hMenu);
    if (!m || nPos < 0 || static_cast<size_t>(nPos) >= m->items.size())
        return nullptr;
    return m->items[nPos].submenu;
}

int GetMenuItemCount(HMENU hMenu)
{
    MenuObject* m = FindMenu(hMenu);
    if (!m) {
        SetError(ERROR_INVALID_MENU_HANDLE);
        return -1;
    }
    return static_cast<int>(m->items.size());
}

UINT GetMenuItemID(HMENU hMenu, int nPos)
{
    MenuObject* m = FindMenu(hMenu);
    if (!m || nPos < 0 || static_cast<size_t>(nPos) >= m->items.size() || (m->items[nPos].flags & MF_POPUP))
        return 0xFFFFFFFF;
    return m->items[nPos].id;
}

UINT GetMenuState(HMENU hMenu, UINT uId, UINT uFlags)
{
    MenuEntry* e = FindEntry(hMenu, uId, uFlags);
    if (!e)
        return 0xFFFFFFFF;
    UINT state = e->flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_SEPARATOR | MF_POPUP);
    if (e->flags & MF_POPUP) {
        // A popup's state carries its item count in the high byte.
        const int count = GetMenuItemCount(e->submenu);
        state |= static_cast<UINT>(count < 0 ? 0 : count) << 8;
    }
    return state;
}

DWORD CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck)
{
    MenuEntry* e = FindEntry(hMenu, uIDCheckItem, uCheck);
    if (!e)
        return 0xFFFFFFFF;
    const DWORD previous = e->flags & MF_CHECKED;
    if (uCheck & MF_CHECKED)
        e->flags |= MF_CHECKED;
    else
        e->flags &= ~MF_CHECKED;
    if (previous != (e->flags & MF_CHECKED))
        Changed();
    return previous;
}

BOOL EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable)
{
    MenuEntry* e = FindEntry(hMenu, uIDEnableItem, uEnable);
    if (!e)
        return -1;
    const BOOL previous = static_cast<BOOL>(e->flags & (MF_GRAYED | MF_DISABLED));
    e->flags = (e->flags & ~(MF_GRAYED | MF_DISABLED)) | (uEnable & (MF_GRAYED | MF_DISABLED));
    Changed();
    return previous;
}

int GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax, UINT flags)
{
    MenuEntry* e = FindEntry(hMenu, uIDItem, flags);
    if (!e)
        return 0;
    if (!lpString || cchMax <= 0)
        return static_cast<int>(e->text.size());
    const int n = std::min<int>(static_cast<int>(e->text.size()), cchMax - 1);
    std::memcpy(lpString, e->text.data(), n);
    lpString[n] = 0;
    return n;
}

HMENU LoadMenuA(HINSTANCE, LPCSTR lpMenuName)
{
    if (!IS_INTRESOURCE(lpMenuName)) {
        if (!lpMenuName || lpMenuName[0] != '#') {
            SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        lpMenuName = MAKEINTRESOURCEA(std::atoi(lpMenuName + 1));
    }
    const UINT id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(lpMenuName));
    for (const qv::res::Menu& m : qv::res::ProgramResources().menus)
        if (m.id == id)
            return Build(m.items, false);
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HMENU GetMenu(HWND hWnd)
{
    Window* w = Find(hWnd);
    return w && IsTopLevel(*w) ? w->menu : nullptr;
}

// As on Windows the window keeps its outer rectangle: the client area gives up (or takes back)
// the height of the bar.
BOOL SetMenu(HWND hWnd, HMENU hMenu)
{
    Window* w = Find(hWnd);
    if (!w || !IsTopLevel(*w)) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (hMenu && !FindMenu(hMenu)) {
        SetError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (w->menu == hMenu)
        return TRUE;
    w->menu = hMenu;
    SyncSdlWindow(*w);
    InvalidateRect(hWnd, nullptr, TRUE);
    RECT c;
    GetClientRect(hWnd, &c);
    SendMessageA(hWnd, WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
    DrawMenuStrip(hWnd);
    Changed();
    return TRUE;
}

BOOL DrawMenuBar(HWND hWnd)
{
    if (!Find(hWnd))
        return FALSE;
    DrawMenuStrip(hWnd);
    return TRUE;
}
