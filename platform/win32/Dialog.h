// Inside the window layer: modal dialogs drawn by the layer, shared by DialogBoxParamA and
// MessageBoxA.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/Window.h"

namespace qv::win {

struct DialogControl {
    std::string className; // "STATIC" or "BUTTON"
    std::string text;      // for an icon static: "#<id>" of the program's icons, "!<id>" of the system's
    int id;
    DWORD style;
    RECT rect; // pixels in the dialog's client area
};

struct DialogLayout {
    std::string title;
    DWORD style;
    int clientWidth;
    int clientHeight;
    // Where the client area goes: relative to the owner's client area, or centred.
    bool centred;
    POINT offset;
    std::vector<DialogControl> controls;
};

// Runs a modal dialog: creates it and its controls, sends WM_INITDIALOG, disables the owner
// and runs the dialog's own message loop until EndDialog; answers EndDialog's result (-1 when
// the dialog cannot be made). With QV_MESSAGEBOX=auto nobody is asked: the dialog is painted,
// its title goes to standard error, and its default button is pressed.
INT_PTR RunModalDialog(const DialogLayout& layout, HWND owner, DLGPROC proc, LPARAM param);

// Classes of the layer's own windows: "#32770" (dialogs), "STATIC", "BUTTON".
void RegisterDialogClasses();

bool HeadlessBoxes();

} // namespace qv::win
