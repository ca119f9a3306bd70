#include "platform/win32/HostFile.h"

#undef fopen

std::string QvHostPath(const char* windowsPath)
{
    std::string path = windowsPath ? windowsPath : "";
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

FILE* QvFopen(const char* windowsPath, const char* mode)
{
    if (!windowsPath || !mode)
        return nullptr;
    // Windows' text and binary modes read the same bytes here; "t" is not a C mode letter.
    std::string hostMode;
    for (const char* m = mode; *m; ++m)
        if (*m != 't')
            hostMode += *m;
    return std::fopen(QvHostPath(windowsPath).c_str(), hostMode.c_str());
}
