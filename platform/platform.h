// The one header through which the game reaches its platform: Win32, COM, Direct3D 9, D3DX,
// DirectMusic and DirectSound. On Windows these are the SDK's own headers; elsewhere they are
// our own implementation of the subset the game calls, under the same names.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <windowsx.h>
// windowsx.h's DeleteFont macro would rename CD3DFont::DeleteFont; the game never uses it.
#undef DeleteFont
#include <mmsystem.h>
#include <tlhelp32.h>
#include <shellapi.h>
#include <objbase.h>
#include <dxdiag.h>
#include <d3d9.h>
#include <d3dx9.h>
#include <dmusici.h>
#include <dsound.h>
#include <cstdio>

#else

#include "platform/win32/WinTypes.h"
#include "platform/com/Com.h"
#include "platform/win32/Win32.h"
#include "platform/com/DxDiag.h"
#include "platform/d3d9/D3D9.h"
#include "platform/d3dx9/D3DX9.h"
#include "platform/dmusic/DMusic.h"
#include "platform/win32/HostFile.h"

#endif
