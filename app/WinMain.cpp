// The program's entry: one copy only, the game window with its menu and accelerators, and the
// message loop that runs a frame whenever no message waits and the window is active.
#include <cstdio>
#include <cstring>

#include "app/CGameConfig.h"
#include "app/CGameMain.h"
#include "app/CSingleInstance.h"
#include "app/GameError.h"
#include "app/WinMain.h"
#include "platform/platform.h"
#include "render/CDirectX9.h"
#include "resources/resource.h"

char g_szWindowClass[100];
bool g_bActive = false;
HWND g_hLinkWeb = nullptr;
HWND g_hLinkMail = nullptr;
WNDPROC g_pfnLinkProc1 = nullptr;
WNDPROC g_pfnLinkProc2 = nullptr;

namespace {

const char kMutexName[] = "THE Quorvane 2004Frostmart版";
const char kWebLink[] = "http://fm.example/";
const char kMailLink[] = "mailto: qv@fm.example";

} // namespace

bool g_bSuppressGameError = false;

namespace {

// The captures asked for since the last frame drawn are written from the picture on the
// screen before the window goes.
void SaveWaitingCaptures()
{
    CDirectX9::SaveCapturesFromScreen();
    if (const char* failure = CDirectX9::TakeCaptureFailure())
        ReportGameError(failure);
}

} // namespace

void ReportGameError(const char* text)
{
    if (g_bSuppressGameError)
        return;
    HWND owner = CGameConfig::GetInstance().Window;
    MessageBoxA(owner, text, "Error", MB_OK);
    if (MessageBoxA(owner, "今後エラーメッセージ(Game)の表示を抑制しますか？", "注意", MB_YESNO) == IDYES)
        g_bSuppressGameError = true;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow)
{
    // The class name first: a second copy looks for the first one's window by it.
    LoadStringA(hInstance, IDS_WINDOW_CLASS, g_szWindowClass, sizeof g_szWindowClass);
    CSingleInstance guard;
    if (!guard.Create(kMutexName, g_szWindowClass))
        return 0;

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_MAIN));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    wc.lpszClassName = g_szWindowClass;
    wc.hIconSm = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_SMALL));
    RegisterClassExA(&wc);

    CGameConfig& config = CGameConfig::GetInstance();
    config.Instance = hInstance;

    HWND hWnd = CreateWindowExA(0, g_szWindowClass, "THE Quorvane", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 640, 480,
                                GetDesktopWindow(), nullptr, hInstance, nullptr);
    if (!hWnd)
        return 0;
    ShowWindow(hWnd, nCmdShow);
    UpdateWindow(hWnd);
    HACCEL accelerators = LoadAcceleratorsA(hInstance, MAKEINTRESOURCEA(IDR_MAINMENU));
    config.Window = hWnd;

    MSG msg = {};
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                break;
            if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else if (g_bActive) {
            try {
                CGameMain::GetInstance().GameMain();
            } catch (const char* text) {
                ReportGameError(text);
            }
        } else {
            Sleep(10);
        }
    }
    return static_cast<int>(msg.wParam);
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_CLOSE:
        SaveWaitingCaptures();
        return DefWindowProcA(hWnd, message, wParam, lParam);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_ACTIVATE:
        g_bActive = LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE;
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_SETCURSOR:
        ShowCursor(TRUE);
        SetCursor(LoadCursorA(CGameConfig::GetInstance().Instance, MAKEINTRESOURCEA(IDC_GAME_CURSOR)));
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_ABOUT:
            DialogBoxParamA(CGameConfig::GetInstance().Instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), hWnd, AboutDlgProc, 0);
            return 0;
        case IDM_EXIT:
            SaveWaitingCaptures();
            DestroyWindow(hWnd);
            return 0;
        default:
            return DefWindowProcA(hWnd, message, wParam, lParam);
        }
    case WM_MENUSELECT:
        // The message hook keeps the check marks; it sees this as WM_APP.
        PostMessageA(hWnd, WM_APP, wParam, lParam);
        return 0;
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

namespace {

// Draws the link text in blue, underlined, over the menu colour.
void PaintLink(HWND hWnd, const char* text, int x)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hWnd, &ps);
    HFONT font = CreateFontA(0, 0, 0, 0, 0, FALSE, TRUE, FALSE, 0, 0, 0, 0, 0, "system");
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkColor(dc, GetSysColor(COLOR_MENU));
    SetTextColor(dc, RGB(0, 0, 255));
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, x, 0, text, static_cast<int>(std::strlen(text)));
    SelectObject(dc, previous);
    DeleteObject(font);
    EndPaint(hWnd, &ps);
}

LRESULT LinkProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, const char* text, int x, WNDPROC kept)
{
    switch (message) {
    case WM_PAINT:
        PaintLink(hWnd, text, x);
        return 0;
    case WM_SETCURSOR:
        SetCursor(LoadCursorA(CGameConfig::GetInstance().Instance, MAKEINTRESOURCEA(IDC_LINK_CURSOR)));
        return 0;
    case WM_LBUTTONDOWN:
        ShellExecuteA(nullptr, nullptr, text, nullptr, nullptr, SW_SHOWNORMAL);
        return 0;
    default:
        return CallWindowProcA(kept, hWnd, message, wParam, lParam);
    }
}

void PaintVersion(HWND hDlg)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hDlg, &ps);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));

    char path[MAX_PATH] = "";
    GetModuleFileNameA(reinterpret_cast<HMODULE>(GetWindowLongPtrA(hDlg, GWLP_HINSTANCE)), path, sizeof path);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size > 0) {
        char* block = new char[size];
        WORD* translation = nullptr;
        UINT length = 0;
        if (GetFileVersionInfoA(path, handle, size, block) &&
            VerQueryValueA(block, "\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation), &length) &&
            length >= 2 * sizeof(WORD)) {
            char pair[16];
            snprintf(pair, sizeof pair, "%04x%04x", translation[0], translation[1]);
            auto query = [&](const char* name) -> const char* {
                char key[128];
                snprintf(key, sizeof key, "\\StringFileInfo\\%s\\%s", pair, name);
                char* value = nullptr;
                UINT valueLength = 0;
                if (VerQueryValueA(block, key, reinterpret_cast<LPVOID*>(&value), &valueLength) && value)
                    return value;
                return "";
            };
            char line[512];
            snprintf(line, sizeof line, "%s %s", query("ProductName"), query("ProductVersion"));
            TextOutA(dc, 98, 23, line, static_cast<int>(std::strlen(line)));
            const char* copyright = query("LegalCopyright");
            TextOutA(dc, 98, 44, copyright, static_cast<int>(std::strlen(copyright)));
        }
        delete[] block;
    }
    EndPaint(hDlg, &ps);
}

} // namespace

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        g_hLinkMail = GetDlgItem(hDlg, IDC_LINK_MAIL);
        g_hLinkWeb = GetDlgItem(hDlg, IDC_LINK_WEB);
        g_pfnLinkProc1 = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(g_hLinkWeb, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WebLinkProc)));
        g_pfnLinkProc2 = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(g_hLinkMail, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MailLinkProc)));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            SetWindowLongPtrA(g_hLinkWeb, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_pfnLinkProc1));
            SetWindowLongPtrA(g_hLinkMail, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_pfnLinkProc2));
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_PAINT:
        PaintVersion(hDlg);
        return FALSE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK WebLinkProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return LinkProc(hWnd, message, wParam, lParam, kWebLink, 8, g_pfnLinkProc1);
}

LRESULT CALLBACK MailLinkProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return LinkProc(hWnd, message, wParam, lParam, kMailLink, 0, g_pfnLinkProc2);
}
