// Inside the window layer: the menus behind HMENUs.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/Win32.h"

namespace qv::win {

struct MenuEntry {
    std::string text; // with its "&" access key
    UINT id = 0;
    UINT flags = 0;   // MF_SEPARATOR, MF_POPUP, MF_CHECKED, MF_GRAYED, MF_DISABLED
    HMENU submenu = nullptr;
};

struct MenuObject {
    bool popup = false;
    std::vector<MenuEntry> items;
};

MenuObject* FindMenu(HMENU menu);
// Counts every change of any menu (items, checks), so that what is shown can follow.
unsigned MenuRevision();

} // namespace qv::win
