#include "platform/win32/Win32.h"

// The program is its only module: every instance handle names it.
HMODULE GetModuleHandleA(LPCSTR lpModuleName)
{
    static int s_module;
    return lpModuleName ? nullptr : reinterpret_cast<HMODULE>(&s_module);
}
