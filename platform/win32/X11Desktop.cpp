// Other applications' top-level windows. Without an X11 display there are none to see.
#include "platform/win32/Window.h"

namespace qv::win {

std::vector<HWND> ForeignTopLevelWindows() { return {}; }
bool IsForeignWindow(HWND) { return false; }
bool ForeignWindowProcess(HWND, DWORD*) { return false; }
bool ForeignWindowText(HWND, std::string*, std::string*, bool*) { return false; }
bool ForeignShow(HWND, int) { return false; }
bool ForeignActivate(HWND) { return false; }
bool ForeignGetPlacement(HWND, WINDOWPLACEMENT*) { return false; }
bool ForeignSetPlacement(HWND, const WINDOWPLACEMENT*) { return false; }
bool RepaintDesktop() { return true; }

} // namespace qv::win
