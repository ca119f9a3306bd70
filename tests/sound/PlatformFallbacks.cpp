// Stand-ins for platform calls that the sound classes make and that may not be in the layer
// yet when these tests are built. They are weak: the layer's own definitions win once there.
#include "platform/platform.h"

__attribute__((weak)) HRESULT CoInitialize(LPVOID) { return S_OK; }
__attribute__((weak)) void CoUninitialize() {}

// ASCII and UTF-8 paths only, which is all that the tests use.
__attribute__((weak)) int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int bytes, LPWSTR wide, int units)
{
    if (bytes < 0)
        bytes = static_cast<int>(std::strlen(text)) + 1;
    if (units == 0)
        return bytes;
    int n = std::min(bytes, units);
    for (int i = 0; i < n; ++i)
        wide[i] = static_cast<unsigned char>(text[i]);
    return n;
}
