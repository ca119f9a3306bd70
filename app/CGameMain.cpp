#include "app/CGameMain.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/CCharacter.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "app/DXVersion.h"
#include "app/FrameTimer.h"
#include "app/MessageHook.h"
#include "game/SceneSteps.h"
#include "render/CBitmapFont.h"
#include "render/CDirectX9.h"
#include "sound/Sound.h"

unsigned int g_nSceneState = SCENE_START;
CCharacterSystem* g_pCharacterSystem = nullptr;
unsigned int g_nFrameCount = 0;
bool g_bShowFPS = false;

namespace {

const DWORD kWindowedStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
const DWORD kFrameMicroseconds = 16667;

} // namespace

CGameMain& CGameMain::GetInstance()
{
    // A function-local static: a constructor that throws leaves it unbuilt and the next call
    // builds it again; a built one is destroyed at process exit.
    static CGameMain s_GameMain;
    return s_GameMain;
}

CGameMain::CGameMain()
{
    CGameConfig& config = CGameConfig::GetInstance();
    config.Load();

    HWND hWnd = config.Window;
    const DWORD style = config.IsWindowed ? kWindowedStyle : WS_POPUP;
    SetWindowLongA(hWnd, GWL_STYLE, static_cast<LONG>(style));
    RECT rect = {0, 0, config.Width, config.Height};
    AdjustWindowRect(&rect, style, config.IsWindowed ? TRUE : FALSE);
    if (config.IsWindowed) {
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        SetWindowPos(hWnd, HWND_NOTOPMOST, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2,
                     GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, width, height, SWP_SHOWWINDOW);
    } else {
        ShowWindow(hWnd, SW_SHOW);
    }
    InvalidateRect(nullptr, nullptr, TRUE);

    srand(static_cast<unsigned int>(time(nullptr)));

    if (!SaveWindowPosition())
        throw "Failed CGameMain::CGameMain SaveWindowPosition";
    if (!InitTimer())
        throw "Failed CGameMain::CGameMain InitTimer";

    SoundInit(hWnd);
    CDMusic::GetInstance().SetMasterVolume(config.IsSoundOn ? 0 : -10000);

    DWORD version = 0;
    if (FAILED(GetDXVersion(&version, nullptr, 0)))
        throw "Failed InitGame GetDXVersion";
    if (version < 0x00090000)
        throw "DirectX9.0以上がインストールされていません。インストール後再起動してください。";

    if (config.IsWindowed) {
        Menu = nullptr;
    } else {
        Menu = GetMenu(hWnd);
        SetMenu(hWnd, nullptr);
    }

    g_DirectX9.Init(hWnd, config.Width, config.Height, config.IsWindowed, true);
    // A full-screen mode that could not be made starts in a window: the menu bar goes back.
    if (config.IsWindowed && Menu) {
        SetMenu(hWnd, Menu);
        Menu = nullptr;
    }
    g_BitmapFont.Create();
    g_pCharacterSystem = new CCharacterSystem();
    Hook = SetWindowsHookExA(WH_GETMESSAGE, GetMessageHookProc, nullptr, GetCurrentThreadId());
}

CGameMain::~CGameMain()
{
    CGameConfig& config = CGameConfig::GetInstance();
    config.Save();

    if (g_pCharacterSystem) {
        g_pCharacterSystem->DeleteAll();
        delete g_pCharacterSystem;
        g_pCharacterSystem = nullptr;
    }
    SoundRelease();
    g_BitmapFont.Release();
    g_DirectX9.Release();
    if (!ReleaseTimer())
        MessageBoxA(config.Window, "タイマー解放に失敗しました", "Error", MB_OK);
    if (!RestoreWindowPosition())
        MessageBoxA(config.Window, "ウインドウ位置復元に失敗しました", "Error", MB_OK);
    if (Hook) {
        UnhookWindowsHookEx(Hook);
        Hook = nullptr;
    }
}

void CGameMain::GameMain()
{
    CGameConfig& config = CGameConfig::GetInstance();
    g_Input.GetStatus();

    switch (g_nSceneState) {
    case SCENE_START:
        g_nSceneState = SCENE_LOGO;
        break;
    case SCENE_LOGO:
        if (!LogoSceneStep())
            g_nSceneState = SCENE_OPENING;
        break;
    case SCENE_OPENING:
        if (!OpeningSceneStep())
            g_nSceneState = SCENE_TITLE;
        break;
    case SCENE_TITLE:
        if (!TitleSceneStep())
            g_nSceneState = SCENE_STAGE;
        break;
    case SCENE_STAGE:
        if (!Stage01Step())
            g_nSceneState = SCENE_QUIT;
        break;
    case SCENE_QUIT:
        // Nothing else runs in this frame, not even the wait: the window closes.
        PostMessageA(config.Window, WM_CLOSE, 0, 0);
        return;
    default:
        break;
    }

    if (g_Input.IsTriggered(6)) {
        config.IsPaused = !config.IsPaused;
        if (config.IsSoundOn && config.IsPaused)
            SoundPlay(".\\data\\sound\\pause.wav", 0, 1.0f);
    }
    if (g_Input.IsTriggered(20))
        g_nSceneState = SCENE_QUIT;
    if (g_Input.IsTriggered(8)) {
        if (config.RenderDivisor == 1)
            config.RenderDivisor = 2;
        else if (config.RenderDivisor == 2)
            config.RenderDivisor = 4;
        else if (config.RenderDivisor == 4)
            config.RenderDivisor = 1;
    }
    if (g_Input.IsTriggered(9))
        g_bShowFPS = !g_bShowFPS;

    if (!config.IsPaused)
        g_pCharacterSystem->UpdateAll();

    if (config.RenderDivisor != 0 && g_nFrameCount % static_cast<unsigned int>(config.RenderDivisor) == 0) {
        if (g_DirectX9.BeginRender()) {
            g_pCharacterSystem->DrawAll();
            if (config.IsPaused)
                g_BitmapFont.DrawString(270.0f, 220.0f, 32.0f, 32.0f, 20.0f, 0xFFFFFFFF, "PAUSE");
            if (g_bShowFPS) {
                char line[256];
                snprintf(line, sizeof line, "FPS: %d:%d CPU: %d",
                         static_cast<int>(g_fFPS / static_cast<float>(config.RenderDivisor)),
                         60 / config.RenderDivisor, static_cast<int>(g_fCPULoad * 100.0f));
                g_BitmapFont.DrawString(30.0f, 450.0f, 24.0f, 24.0f, 15.0f, 0xFFFFFFFF, line);
            }
            g_DirectX9.EndRender();
        }
    }
    ++g_nFrameCount;

    if (!config.IsPaused)
        g_pCharacterSystem->DeleteDead();

    if (!KeepFrame(kFrameMicroseconds))
        throw "Failed GameMain KeepFrame";
    // A capture that could not be written is reported once its frame has run to the end.
    if (const char* failure = CDirectX9::TakeCaptureFailure())
        throw failure;
}
