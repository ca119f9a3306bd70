// Debug text for an attached debugger: on this host it goes to standard error, where a
// terminal or a test can read it.
#include <cstdio>

#include "platform/win32/Win32.h"

void OutputDebugStringA(LPCSTR lpOutputString)
{
    if (!lpOutputString)
        return;
    std::fputs(lpOutputString, stderr);
}
