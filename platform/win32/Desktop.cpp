// The top-level windows of the desktop: the program's own, and where the display is X11, the
// other applications' windows too (see X11Desktop.cpp).
#include <vector>

#include "platform/win32/Window.h"

using namespace qv::win;

BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
    if (!lpEnumFunc) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The list is taken first: the callback may create or destroy windows.
    std::vector<HWND> windows;
    ForEachWindow([&](Window& w) {
        if (IsTopLevel(w))
            windows.push_back(w.handle);
        return true;
    });
    for (HWND h : ForeignTopLevelWindows())
        windows.push_back(h);
    for (HWND h : windows)
        if (IsWindow(h) && !lpEnumFunc(h, lParam))
            break;
    return TRUE;
}

HWND GetWindow(HWND hWnd, UINT uCmd)
{
    Window* w = Find(hWnd);
    if (!w) {
        if (uCmd == GW_OWNER)
            return ForeignOwner(hWnd);
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    switch (uCmd) {
    case GW_OWNER:
        return IsTopLevel(*w) ? w->owner : nullptr;
    case GW_CHILD: {
        HWND first = nullptr;
        ForEachWindow([&](Window& c) {
            if (c.parent == hWnd) {
                first = c.handle;
                return false;
            }
            return true;
        });
        return first;
    }
    case GW_HWNDNEXT:
    case GW_HWNDPREV: {
        std::vector<HWND> siblings;
        ForEachWindow([&](Window& c) {
            if (c.parent == w->parent && IsTopLevel(c) == IsTopLevel(*w))
                siblings.push_back(c.handle);
            return true;
        });
        for (size_t i = 0; i < siblings.size(); ++i) {
            if (siblings[i] != hWnd)
                continue;
            if (uCmd == GW_HWNDNEXT)
                return i + 1 < siblings.size() ? siblings[i + 1] : nullptr;
            return i > 0 ? siblings[i - 1] : nullptr;
        }
        return nullptr;
    }
    default:
        return nullptr;
    }
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId)
{
    Window* w = Find(hWnd);
    if (!w) {
        DWORD pid = 0;
        if (ForeignWindowProcess(hWnd, &pid)) {
            if (lpdwProcessId)
                *lpdwProcessId = pid;
            return pid; // the thread of another process is not known; its process stands for it
        }
        if (lpdwProcessId)
            *lpdwProcessId = 0;
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpdwProcessId)
        *lpdwProcessId = GetCurrentProcessId();
    return w->threadId;
}
