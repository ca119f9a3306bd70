// Calls whose full implementation is still to come: each fails the way the system reports
// a missing resource or an unavailable service.
#include "platform/win32/Cursor.h"
#include "platform/win32/Messages.h"
#include "platform/win32/SdlWindow.h"
#include "platform/win32/Version.h"

using namespace qv::win;

namespace qv::win {
const VersionInfo* ProgramVersion() { return nullptr; }
void TrackMenuBar(HWND, int, bool) {}
void TrackMenuBarByKey(HWND, int) {}
void DrawMenuStrip(HWND) {}
} // namespace qv::win

void qv::SwapGlWindow(HWND hWnd)
{
    if (SDL_Window* w = qv::SdlWindowOf(hWnd))
        SDL_GL_SwapWindow(w);
}

int LoadStringA(HINSTANCE, UINT, LPSTR lpBuffer, int cchBufferMax)
{
    if (lpBuffer && cchBufferMax > 0)
        lpBuffer[0] = 0;
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    if (!hInstance && IS_INTRESOURCE(lpCursorName))
        return SystemCursor(static_cast<int>(reinterpret_cast<ULONG_PTR>(lpCursorName)));
    if (hInstance && IS_INTRESOURCE(lpCursorName))
        return SystemCursor(32512);
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HICON LoadIconA(HINSTANCE, LPCSTR lpIconName)
{
    static int s_icon;
    if (!lpIconName)
        return nullptr;
    return reinterpret_cast<HICON>(&s_icon);
}

HMENU LoadMenuA(HINSTANCE, LPCSTR) { SetError(ERROR_RESOURCE_NAME_NOT_FOUND); return nullptr; }
HMENU GetMenu(HWND hWnd) { Window* w = Find(hWnd); return w ? w->menu : nullptr; }
BOOL SetMenu(HWND, HMENU) { return FALSE; }
BOOL DrawMenuBar(HWND) { return TRUE; }
HMENU GetSubMenu(HMENU, int) { return nullptr; }
int GetMenuItemCount(HMENU) { return -1; }
UINT GetMenuItemID(HMENU, int) { return 0xFFFFFFFF; }
UINT GetMenuState(HMENU, UINT, UINT) { return 0xFFFFFFFF; }
DWORD CheckMenuItem(HMENU, UINT, UINT) { return 0xFFFFFFFF; }
BOOL EnableMenuItem(HMENU, UINT, UINT) { return -1; }
int GetMenuStringA(HMENU, UINT, LPSTR, int, UINT) { return 0; }
HMENU CreateMenu() { return nullptr; }
HMENU CreatePopupMenu() { return nullptr; }
BOOL AppendMenuA(HMENU, UINT, UINT_PTR, LPCSTR) { return FALSE; }
BOOL DestroyMenu(HMENU) { return FALSE; }
BOOL IsMenu(HMENU) { return FALSE; }
HACCEL LoadAcceleratorsA(HINSTANCE, LPCSTR) { return nullptr; }
HACCEL CreateAcceleratorTableA(LPACCEL, int) { return nullptr; }
BOOL DestroyAcceleratorTable(HACCEL) { return FALSE; }
int TranslateAcceleratorA(HWND, HACCEL, LPMSG) { return 0; }

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return -1; }
BOOL EndDialog(HWND, INT_PTR) { return FALSE; }
HWND GetDlgItem(HWND, int) { return nullptr; }
int GetDlgCtrlID(HWND hWnd) { Window* w = Find(hWnd); return w ? static_cast<int>(w->id) : 0; }
BOOL SetDlgItemTextA(HWND, int, LPCSTR) { return FALSE; }
UINT GetDlgItemTextA(HWND, int, LPSTR, int) { return 0; }
LRESULT SendDlgItemMessageA(HWND, int, UINT, WPARAM, LPARAM) { return 0; }

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    static int s_dc;
    ValidateRect(hWnd, nullptr);
    if (lpPaint) {
        std::memset(lpPaint, 0, sizeof *lpPaint);
        lpPaint->hdc = reinterpret_cast<HDC>(&s_dc);
        GetClientRect(hWnd, &lpPaint->rcPaint);
    }
    return reinterpret_cast<HDC>(&s_dc);
}
BOOL EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }
HDC GetDC(HWND) { static int s_dc; return reinterpret_cast<HDC>(&s_dc); }
int ReleaseDC(HWND, HDC) { return 1; }
int SetBkMode(HDC, int) { return OPAQUE; }
COLORREF SetTextColor(HDC, COLORREF) { return 0; }
COLORREF SetBkColor(HDC, COLORREF) { return RGB(255, 255, 255); }
DWORD GetSysColor(int) { return RGB(212, 208, 200); }
HBRUSH GetSysColorBrush(int) { static int s_brush; return reinterpret_cast<HBRUSH>(&s_brush); }
HFONT CreateFontA(int, int, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, LPCSTR)
{
    static int s_font;
    return reinterpret_cast<HFONT>(&s_font);
}
HFONT CreateFontIndirectA(const LOGFONTA*) { static int s_font; return reinterpret_cast<HFONT>(&s_font); }
HGDIOBJ SelectObject(HDC, HGDIOBJ) { return nullptr; }
BOOL DeleteObject(HGDIOBJ) { return TRUE; }
BOOL TextOutA(HDC, int, int, LPCSTR, int) { return TRUE; }
BOOL GetTextExtentPoint32A(HDC, LPCSTR, int, LPSIZE psizl) { if (psizl) *psizl = SIZE{0, 0}; return TRUE; }
HBRUSH CreateSolidBrush(COLORREF) { static int s_brush; return reinterpret_cast<HBRUSH>(&s_brush); }
int FillRect(HDC, const RECT*, HBRUSH) { return 1; }
BOOL MessageBeep(UINT) { return TRUE; }
HINSTANCE ShellExecuteA(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) { return reinterpret_cast<HINSTANCE>(SE_ERR_NOASSOC); }
