// Calls whose full implementation is still to come: each fails the way the system reports
// a missing resource or an unavailable service.
#include "platform/win32/Cursor.h"
#include "platform/win32/Messages.h"
#include "platform/win32/SdlWindow.h"
#include "platform/win32/Version.h"

using namespace qv::win;






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
