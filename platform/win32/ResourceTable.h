// The program's resources on hosts without resource sections: a table that the program links
// in (resources/Resources.cpp, the counterpart of the Windows resource script) and that
// LoadStringA, LoadMenuA, LoadAcceleratorsA, DialogBoxParamA, LoadIconA, LoadCursorA and the
// version functions read.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/Win32.h"

namespace qv::res {

struct MenuItem {
    std::string text;            // with & before the access key; empty for a separator
    UINT id = 0;                 // the command (items) or 0 (popups, separators)
    UINT flags = 0;              // MF_SEPARATOR, MF_POPUP, MF_CHECKED, MF_GRAYED
    std::vector<MenuItem> items; // of a popup
};

struct Menu {
    UINT id;
    std::vector<MenuItem> items; // the bar
};

struct Accelerators {
    UINT id;
    std::vector<ACCEL> entries;
};

struct DialogItem {
    std::string className; // "STATIC", "BUTTON"
    std::string text;      // the caption; for an icon, "#<resource id>"
    int id;
    DWORD style;
    short x, y, cx, cy;    // dialog units
};

struct Dialog {
    UINT id;
    DWORD style;
    short x, y, cx, cy; // dialog units
    std::string title;
    std::string fontFace;
    int fontPoints;
    std::vector<DialogItem> items;
};

// A picture given row by row, one character a pixel; `palette` names the colour of each
// character as "cRRGGBB" entries separated by spaces; '.' is transparent.
struct Image {
    UINT id;
    int width, height;
    int hotX, hotY; // cursors
    std::string palette;
    std::vector<std::string> rows;
};

struct VersionString {
    std::string name, value;
};

struct Version {
    WORD fileVersion[4];
    WORD productVersion[4];
    WORD language;
    WORD codePage;
    std::vector<VersionString> strings;
};

struct Table {
    std::vector<std::pair<UINT, std::string>> strings;
    std::vector<Menu> menus;
    std::vector<Accelerators> accelerators;
    std::vector<Dialog> dialogs;
    std::vector<Image> icons;
    std::vector<Image> cursors;
    Version version;
};

// Defined by the program (resources/Resources.cpp).
const Table& ProgramResources();

} // namespace qv::res
