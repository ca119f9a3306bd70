#include "app/MessageHook.h"

#include <cstdio>
#include <cstring>

#include "app/CGameConfig.h"
#include "app/CGameMain.h"
#include "app/GameError.h"
#include "render/CD3DFont.h"
#include "render/CDirectX9.h"
#include "resources/resource.h"
#include "sound/Sound.h"

bool g_bMenuOpen = false;
unsigned int g_nCaptureCount = 0;
WindowPlacementEntry g_WindowPlacements[kMaxWindowPlacements];
int g_nWindowPlacements = 0;

namespace {

void SetMasterVolumeForSound(bool on)
{
    CGameConfig::GetInstance().IsSoundOn = on;
    CDMusic::GetInstance().SetMasterVolume(on ? 0 : -10000);
}

// False when the change failed; the game is then still in the mode it was in.
bool ChangeScreenMode(int width, int height, bool windowed, bool vsync)
{
    // A failed change is reported here, so that the font pair is still made again after it.
    try {
        g_DirectX9.ChangeScreenMode(width, height, windowed, vsync);
        return true;
    } catch (const char* text) {
        ReportGameError(text);
        return false;
    }
}

// However many names are found taken one after another, the search for a free one ends.
const unsigned int kMaxTakenCaptureNames = 1000000;

// The number of a capture's file name: "sc", at least six digits, ".bmp", in either case.
bool CaptureNumber(const char* name, unsigned long long& number)
{
    if (_strnicmp(name, "sc", 2) != 0)
        return false;
    const char* digits = name + 2;
    size_t count = 0;
    number = 0;
    while (digits[count] >= '0' && digits[count] <= '9') {
        if (count == 19)
            return false;
        number = number * 10 + static_cast<unsigned long long>(digits[count] - '0');
        ++count;
    }
    return count >= 6 && _stricmp(digits + count, ".bmp") == 0;
}

// The number after the highest capture in the folder; 0 when there is none.
unsigned int FirstFreeCaptureNumber()
{
    unsigned long long highest = 0;
    bool any = false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(".\\ScreenCapture\\sc*.bmp", &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        unsigned long long number = 0;
        // A number past the last one the counter holds could never be followed; it is only
        // passed over, as every name that exists is.
        if (CaptureNumber(found.cFileName, number) && number < 0xFFFFFFFFull && (!any || number > highest)) {
            highest = number;
            any = true;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return any ? static_cast<unsigned int>(highest + 1) : 0;
}

bool CaptureNameTaken(const char* name)
{
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

void CaptureScreen()
{
    CreateDirectoryA(".\\ScreenCapture", nullptr);
    // The run's first capture follows the highest number already in the folder, so that no
    // picture of an earlier run is written over; a name that has come to exist since is passed
    // over as well.
    static bool s_bCountFound = false;
    if (!s_bCountFound) {
        g_nCaptureCount = FirstFreeCaptureNumber();
        s_bCountFound = true;
    }
    char name[64];
    unsigned int taken = 0;
    do {
        if (taken == kMaxTakenCaptureNames)
            throw "Failed CaptureScreen GetFileAttributes";
        snprintf(name, sizeof name, ".\\ScreenCapture\\sc%06u.bmp", g_nCaptureCount);
        ++g_nCaptureCount;
        ++taken;
    } while (CaptureNameTaken(name));
    // The back buffer is undefined once presented: the next frame is saved before it is, and
    // the beep follows the save.
    g_DirectX9.CaptureNextFrame(name);
}

void OnCommand(WORD id)
{
    CGameConfig& config = CGameConfig::GetInstance();
    switch (id) {
    case IDM_15FPS: config.RenderDivisor = 4; break;
    case IDM_30FPS: config.RenderDivisor = 2; break;
    case IDM_60FPS: config.RenderDivisor = 1; break;
    case IDM_SOUND_ON: SetMasterVolumeForSound(true); break;
    case IDM_SOUND_OFF: SetMasterVolumeForSound(false); break;
    case IDM_WINDOW_640: ChangeScreenMode(640, 480, true, config.IsVsyncWait); break;
    case IDM_WINDOW_320: ChangeScreenMode(320, 240, true, config.IsVsyncWait); break;
    case IDM_FULL_640: ChangeScreenMode(640, 480, false, config.IsVsyncWait); break;
    case IDM_FULL_320: ChangeScreenMode(320, 240, false, config.IsVsyncWait); break;
    case IDM_VSYNC_ON: ChangeScreenMode(config.Width, config.Height, config.IsWindowed, true); break;
    case IDM_VSYNC_OFF: ChangeScreenMode(config.Width, config.Height, config.IsWindowed, false); break;
    default: break;
    }
    g_FontPair.Release();
    g_FontPair.Create(config.Width, config.Height);
    if (id == IDM_CAPTURE)
        CaptureScreen();
}

void ToggleFullScreen()
{
    CGameConfig& config = CGameConfig::GetInstance();
    CGameMain& game = CGameMain::GetInstance();
    // A change that failed changes nothing: the held menu bar stays held for the next one.
    if (!ChangeScreenMode(config.Width, config.Height, !config.IsWindowed, config.IsVsyncWait))
        return;
    if (!config.IsWindowed) {
        game.Menu = GetMenu(config.Window);
        SetMenu(config.Window, nullptr);
    } else if (game.Menu) {
        SetMenu(config.Window, game.Menu);
        game.Menu = nullptr;
    }
}

void CheckOne(HMENU menu, UINT checked, const UINT* group, int count)
{
    for (int i = 0; i < count; ++i)
        CheckMenuItem(menu, group[i], MF_BYCOMMAND | (group[i] == checked ? MF_CHECKED : MF_UNCHECKED));
}

void OnMenuSelect(WPARAM wParam, LPARAM lParam)
{
    g_bMenuOpen = !(HIWORD(wParam) == 0xFFFF && lParam == 0);

    const CGameConfig& config = CGameConfig::GetInstance();
    HMENU menu = GetMenu(config.Window);
    if (!menu)
        return;
    static const UINT fps[] = {IDM_15FPS, IDM_30FPS, IDM_60FPS};
    static const UINT screen[] = {IDM_FULL_640, IDM_FULL_320, IDM_WINDOW_640, IDM_WINDOW_320};
    static const UINT vsync[] = {IDM_VSYNC_ON, IDM_VSYNC_OFF};
    static const UINT sound[] = {IDM_SOUND_ON, IDM_SOUND_OFF};
    if (config.RenderDivisor == 4)
        CheckOne(menu, IDM_15FPS, fps, 3);
    else if (config.RenderDivisor == 2)
        CheckOne(menu, IDM_30FPS, fps, 3);
    else if (config.RenderDivisor == 1)
        CheckOne(menu, IDM_60FPS, fps, 3);
    const bool wide = config.Width == 640;
    CheckOne(menu,
             config.IsWindowed ? (wide ? IDM_WINDOW_640 : IDM_WINDOW_320) : (wide ? IDM_FULL_640 : IDM_FULL_320),
             screen, 4);
    CheckOne(menu, config.IsVsyncWait ? IDM_VSYNC_ON : IDM_VSYNC_OFF, vsync, 2);
    CheckOne(menu, config.IsSoundOn ? IDM_SOUND_ON : IDM_SOUND_OFF, sound, 2);
    // Only the full-screen modes that the display adapter lists are offered.
    EnableMenuItem(menu, IDM_FULL_640,
                   MF_BYCOMMAND | (CDirectX9::IsFullScreenModeListed(640, 480) ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_FULL_320,
                   MF_BYCOMMAND | (CDirectX9::IsFullScreenModeListed(320, 240) ? MF_ENABLED : MF_GRAYED));
}

void OnMouseMove(LPARAM lParam)
{
    const CGameConfig& config = CGameConfig::GetInstance();
    if (config.IsWindowed)
        return;
    CGameMain& game = CGameMain::GetInstance();
    const int y = GET_Y_LPARAM(lParam);
    const int menuHeight = GetSystemMetrics(SM_CYMENU);
    if (y < menuHeight) {
        if (game.Menu) {
            SetMenu(config.Window, game.Menu);
            game.Menu = nullptr;
        }
    } else if (!game.Menu && !g_bMenuOpen) {
        game.Menu = GetMenu(config.Window);
        SetMenu(config.Window, nullptr);
    }
}

BOOL CALLBACK SaveWindowProc(HWND hWnd, LPARAM)
{
    char title[500];
    char className[500];
    GetWindowTextA(hWnd, title, sizeof title);
    GetClassNameA(hWnd, className, sizeof className);
    if (!IsWindowVisible(hWnd) || GetWindow(hWnd, GW_OWNER) || title[0] == '\0' ||
        std::strcmp(className, "Progman") == 0)
        return TRUE;
    if (g_nWindowPlacements >= kMaxWindowPlacements)
        return TRUE;
    WindowPlacementEntry& entry = g_WindowPlacements[g_nWindowPlacements];
    entry.Window = hWnd;
    entry.Placement.length = sizeof(WINDOWPLACEMENT);
    GetWindowPlacement(hWnd, &entry.Placement);
    ++g_nWindowPlacements;
    return TRUE;
}

BOOL CALLBACK RestoreWindowProc(HWND hWnd, LPARAM)
{
    for (int i = 0; i < g_nWindowPlacements; ++i) {
        if (g_WindowPlacements[i].Window == hWnd) {
            SetWindowPlacement(hWnd, &g_WindowPlacements[i].Placement);
            break;
        }
    }
    return TRUE;
}

} // namespace

LRESULT CALLBACK GetMessageHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        // The hook is called from inside the system, which an exception cannot cross: every
        // failure is reported here, as the message loop reports a frame's.
        try {
            switch (msg->message) {
            case WM_COMMAND:
                OnCommand(LOWORD(msg->wParam));
                break;
            case WM_SYSKEYDOWN:
                if (msg->wParam == VK_RETURN) {
                    ToggleFullScreen();
                    return 0;
                }
                break;
            case WM_APP:
                OnMenuSelect(msg->wParam, msg->lParam);
                break;
            case WM_MOUSEMOVE:
                OnMouseMove(msg->lParam);
                break;
            default:
                break;
            }
        } catch (const char* text) {
            ReportGameError(text);
        } catch (...) {
            ReportGameError("Failed GetMessageHookProc");
        }
        if (msg->message == WM_SYSKEYDOWN && msg->wParam == VK_RETURN)
            return 0;
    }
    return CallNextHookEx(CGameMain::GetInstance().Hook, code, wParam, lParam);
}

bool SaveWindowPosition()
{
    g_nWindowPlacements = 0;
    return EnumWindows(SaveWindowProc, 0) != FALSE;
}

bool RestoreWindowPosition()
{
    return EnumWindows(RestoreWindowProc, 0) != FALSE;
}
