// The message hook that carries out the settings menu, the screen capture, Alt+Enter and the
// full-screen menu bar, and the placements of other applications' windows kept across a run.
#pragma once

#include "platform/platform.h"

extern bool g_bMenuOpen;
extern unsigned int g_nCaptureCount;

struct WindowPlacementEntry {
    HWND Window;
    WINDOWPLACEMENT Placement;
};
const int kMaxWindowPlacements = 100;
extern WindowPlacementEntry g_WindowPlacements[kMaxWindowPlacements];
extern int g_nWindowPlacements;

LRESULT CALLBACK GetMessageHookProc(int code, WPARAM wParam, LPARAM lParam);
bool SaveWindowPosition();
bool RestoreWindowPosition();
