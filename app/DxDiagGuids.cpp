// The DxDiag provider's class and interface ids. MinGW-w64's dxdiag.h declares them, but none
// of its libraries defines them; elsewhere the platform layer does.
#ifdef _WIN32

#include "platform/platform.h"

extern "C" const GUID CLSID_DxDiagProvider = {
    0xA65B8071, 0x3BFE, 0x4213, {0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7}};
extern "C" const GUID IID_IDxDiagProvider = {
    0x9C6B4CB0, 0x23F8, 0x49CC, {0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00, 0xA6, 0xD2}};

#endif
