#include "app/CSingleInstance.h"

#include <cstring>

namespace {

const char* FileNamePart(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    return name;
}

} // namespace

CSingleInstance::~CSingleInstance()
{
    if (Mutex) {
        ReleaseMutex(Mutex);
        CloseHandle(Mutex);
        Mutex = nullptr;
    }
}

bool CSingleInstance::Create(const char* name, const char* windowClass)
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
    if (!mutex)
        return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another copy holds it: this copy keeps no handle of its own.
        CloseHandle(mutex);
        char ownPath[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);
        InstanceWindowMatch match = {ownPath, windowClass};
        EnumWindows(ActivateInstanceWindowProc, reinterpret_cast<LPARAM>(&match));
        return false;
    }
    Mutex = mutex;
    return true;
}

bool GetWindowExeName(HWND hWnd, char* buffer, int size)
{
    if (!buffer || size <= 0)
        return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(hWnd, &processId);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == processId) {
            std::strncpy(buffer, entry.szExeFile, static_cast<size_t>(size) - 1);
            buffer[size - 1] = '\0';
            found = true;
            break;
        }
    }
    CloseHandle(snapshot);
    return found;
}

BOOL CALLBACK ActivateInstanceWindowProc(HWND hWnd, LPARAM match)
{
    const InstanceWindowMatch& wanted = *reinterpret_cast<const InstanceWindowMatch*>(match);
    // The first copy's process also owns windows that are not the game's (the input method's
    // helper windows, for one): only a window of the game's class is brought forward.
    char className[256] = "";
    if (!GetClassNameA(hWnd, className, sizeof className) || std::strcmp(className, wanted.WindowClass) != 0)
        return TRUE;
    char exeName[MAX_PATH];
    if (!GetWindowExeName(hWnd, exeName, sizeof exeName))
        return TRUE;
    if (std::strcmp(FileNamePart(exeName), FileNamePart(wanted.OwnPath)) != 0)
        return TRUE;
    ShowWindow(hWnd, SW_SHOWNORMAL);
    SetForegroundWindow(hWnd);
    return FALSE;
}
