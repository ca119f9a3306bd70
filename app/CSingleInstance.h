// Keeps the program to one running copy: a second start brings the first one's window to the
// front and ends.
#pragma once

#include "platform/platform.h"

class CSingleInstance {
public:
    CSingleInstance() = default;
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;
    ~CSingleInstance();

    // True when this is the only copy (the mutex is then held until destruction).
    bool Create(const char* name);

    HANDLE Mutex = nullptr;
};

// The executable file name of the process that owns a window; false when it cannot be found.
bool GetWindowExeName(HWND hWnd, char* buffer, int size);
BOOL CALLBACK ActivateInstanceWindowProc(HWND hWnd, LPARAM ownPath);
