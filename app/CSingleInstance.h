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

    // True when this is the only copy (the mutex is then held until destruction). Otherwise
    // the first copy's window of the given class is brought to the front.
    bool Create(const char* name, const char* windowClass);

    HANDLE Mutex = nullptr;
};

// The executable file name of the process that owns a window; false when it cannot be found.
bool GetWindowExeName(HWND hWnd, char* buffer, int size);
// What ActivateInstanceWindowProc looks for: a window of this class whose process runs an
// executable of the same file name as this one.
struct InstanceWindowMatch {
    const char* OwnPath;
    const char* WindowClass;
};
// Shows and brings forward the first such window; `match` points to an InstanceWindowMatch.
BOOL CALLBACK ActivateInstanceWindowProc(HWND hWnd, LPARAM match);
