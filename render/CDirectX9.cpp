#include "render/CDirectX9.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/CGameConfig.h"
#include "render/CD3DLight.h"

CDirectX9 g_DirectX9;
IDirect3DDevice9* g_pDevice = nullptr;

IDirect3D9* CDirectX9::Direct3D = nullptr;
IDirect3DDevice9* CDirectX9::Device = nullptr;
D3DPRESENT_PARAMETERS CDirectX9::PresentParameters = {};
CDirectX9::ClearRecord CDirectX9::ClearParam = {0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0};

namespace {

const char* const kWarningTitle = "!!! 警告 !!!";
const DWORD kWindowedStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

// Files asked for by CaptureNextFrame, written from the next frame before it is presented.
std::vector<std::string> g_PendingCaptures;
// The last capture that could not be written, until the frame function reports it.
const char* g_pCaptureFailure = nullptr;
// A scene begun by BeginRender that EndRender has not ended: its draw pass threw.
bool g_bSceneOpen = false;

// Ends the scene of a frame whose draw pass failed, so that the next frame can begin one (or
// the device be reset) instead of failing in its turn.
void EndOpenScene()
{
    if (g_bSceneOpen && CDirectX9::Device)
        CDirectX9::Device->EndScene();
    g_bSceneOpen = false;
}

// Writes every capture waiting with `save`, each followed by the beep; a failure is kept for
// the frame function, which reports it once the frame is over.
template <class Save>
void SaveCaptures(Save save)
{
    std::vector<std::string> captures;
    captures.swap(g_PendingCaptures);
    for (const std::string& name : captures) {
        try {
            save(name.c_str());
            MessageBeep(0xFFFFFFFF);
        } catch (const char* text) {
            g_pCaptureFailure = text;
        }
    }
}

// Saves `area` of a surface as a BMP file.
void SaveSurface(const char* fileName, IDirect3DSurface9* surface, const RECT* area)
{
    const HRESULT hr = D3DXSaveSurfaceToFileA(fileName, D3DXIFF_BMP, surface, nullptr, area);
    surface->Release();
    if (FAILED(hr))
        throw "Failed CDirectX9::SaveScreen D3DXSaveSurfaceToFile";
}

// Tries every depth format, device type and vertex processing in the order of the fallbacks.
bool CreateDeviceWithFallbacks(HWND hWnd, bool want24, const D3DDEVTYPE* types, int typeCount,
                               const DWORD* processing, int processingCount)
{
    const D3DFORMAT depthFormats[2] = {D3DFMT_D24S8, D3DFMT_D16};
    for (int f = want24 ? 0 : 1; f < 2; ++f) {
        // After success the format names the depth buffer obtained.
        CDirectX9::PresentParameters.AutoDepthStencilFormat = depthFormats[f];
        for (int t = 0; t < typeCount; ++t)
            for (int p = 0; p < processingCount; ++p)
                if (SUCCEEDED(CDirectX9::Direct3D->CreateDevice(D3DADAPTER_DEFAULT, types[t], hWnd,
                                                                processing[p] | D3DCREATE_MULTITHREADED,
                                                                &CDirectX9::PresentParameters, &CDirectX9::Device)))
                    return true;
    }
    return false;
}

} // namespace

CDirectX9::~CDirectX9() = default;

void CDirectX9::Init(HWND hWnd, UINT width, UINT height, bool windowed, bool want24BitDepthWithStencil)
{
    // A failed earlier attempt may have left its objects behind; start from nothing.
    Release();

    Direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (!Direct3D)
        throw "Failed CDirectX9::Init Direct3DCreate9";

    D3DCAPS9 caps;
    if (FAILED(Direct3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps)))
        MessageBoxA(hWnd,
                    "このマシンではDirectX9がソフトウェアで処理されます。非常に低速な処理となりゲームの進行に支障を"
                    "きたすと思われます。",
                    kWarningTitle, MB_OK);

    D3DDISPLAYMODE mode;
    if (FAILED(Direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)))
        throw "Failed CDirectX9::Init GetAdapterDisplayMode";
    if (mode.Format == D3DFMT_R8G8B8 || mode.Format == D3DFMT_P8)
        MessageBoxA(hWnd,
                    "画面が256色モードや24bitモード等DirectXの初期化に失敗する可能性の高いモードになっています。"
                    "16bitもしくは32bitモードにしてから再起動することを強くお勧めします。",
                    kWarningTitle, MB_OK);

    std::memset(&PresentParameters, 0, sizeof PresentParameters);
    PresentParameters.BackBufferWidth = width;
    PresentParameters.BackBufferHeight = height;
    PresentParameters.BackBufferFormat = mode.Format;
    PresentParameters.BackBufferCount = 1;
    PresentParameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    PresentParameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    PresentParameters.hDeviceWindow = hWnd;
    PresentParameters.Windowed = windowed ? TRUE : FALSE;
    PresentParameters.EnableAutoDepthStencil = TRUE;
    PresentParameters.AutoDepthStencilFormat = want24BitDepthWithStencil ? D3DFMT_D24S8 : D3DFMT_D16;
    PresentParameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    PresentParameters.FullScreen_RefreshRateInHz = 0;
    // The VSYNC setting takes effect at the first screen-mode change.
    PresentParameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;

    D3DDEVTYPE types[2] = {D3DDEVTYPE_HAL, D3DDEVTYPE_REF};
    DWORD processing[3] = {D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DCREATE_MIXED_VERTEXPROCESSING,
                           D3DCREATE_SOFTWARE_VERTEXPROCESSING};
    int typeCount = 2;
    int processingCount = 3;
    if (SUCCEEDED(Direct3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps))) {
        if (caps.VertexShaderVersion < static_cast<DWORD>(D3DVS_VERSION(1, 0))) {
            processing[0] = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
            processingCount = 1;
        }
    } else {
        if (FAILED(Direct3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, &caps)))
            throw "Failed CDirectX9::Init GetDeviceCaps";
        types[0] = D3DDEVTYPE_REF;
        typeCount = 1;
        processing[0] = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
        processingCount = 1;
    }

    // A full-screen mode that the adapter does not list, or in which no device can be made,
    // would fail again at every start: the game starts in a window of the same size instead,
    // and the settings written at exit say so.
    bool created = (windowed || IsFullScreenModeListed(width, height)) &&
                   CreateDeviceWithFallbacks(hWnd, want24BitDepthWithStencil, types, typeCount, processing,
                                             processingCount);
    if (!created && !windowed) {
        PresentParameters.Windowed = TRUE;
        created = CreateDeviceWithFallbacks(hWnd, want24BitDepthWithStencil, types, typeCount, processing,
                                            processingCount);
        if (created) {
            CGameConfig::GetInstance().IsWindowed = true;
            ApplyWindowMode(hWnd, width, height, true);
            static bool s_bFallbackShown = false;
            if (!s_bFallbackShown) {
                s_bFallbackShown = true;
                char text[256];
                snprintf(text, sizeof text,
                         "フルスクリーン%ux%uの画面モードにできないため、ウインドウで起動します。", width, height);
                MessageBoxA(hWnd, text, kWarningTitle, MB_OK);
            }
        }
    }
    if (!created)
        throw "Failed CDirectX9::Init CreateDevice";
    g_pDevice = Device;

    InitDevice();
    const float fieldOfView = 0.785398185f, nearZ = 1.0f, farZ = 500.0f;
    SetProjection(fieldOfView, nearZ, farZ);
    D3DXMATRIX view;
    const D3DXVECTOR3 eye(0.0f, 3.0f, -3.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    SafeSetTransform(D3DTS_VIEW, view);
    Device->SetDialogBoxMode(TRUE);
}

void CDirectX9::InitDevice()
{
    InitSafeSetState();
    if (FAILED(Device->SetFVF(0)))
        throw "Failed CDirectX9::InitDevice SetFVF";
    SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    SafeSetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    SafeSetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    SafeSetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    SafeSetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    SafeSetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    SafeSetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    SafeSetRenderState(D3DRS_ALPHAREF, 0);
    SafeSetRenderState(D3DRS_AMBIENT, 0x44444444);
    SafeSetRenderState(D3DRS_LIGHTING, TRUE);
    SafeSetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    SafeSetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    SafeSetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    SafeSetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    SafeSetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    SafeSetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
}

void CDirectX9::Release()
{
    g_PendingCaptures.clear();
    g_pCaptureFailure = nullptr;
    g_bSceneOpen = false;
    if (Device) {
        Device->Release();
        Device = nullptr;
        // Nothing may reach a released device through the shared pointer.
        g_pDevice = nullptr;
    }
    if (Direct3D) {
        Direct3D->Release();
        Direct3D = nullptr;
    }
}

bool CDirectX9::BeginRender()
{
    if (!Device)
        return false;
    EndOpenScene();
    const HRESULT hr = Device->TestCooperativeLevel();
    if (hr == D3DERR_DEVICELOST)
        return false;
    if (hr == D3DERR_DEVICENOTRESET) {
        // A failed reset is tried again next frame: the device still answers not-reset.
        if (SUCCEEDED(Device->Reset(&PresentParameters)))
            RestoreDevice();
        return false;
    }
    if (FAILED(Device->Clear(ClearParam.Count, ClearParam.Rects, ClearParam.Flags, ClearParam.Color, ClearParam.Z,
                             ClearParam.Stencil)))
        throw "Failed CDirectX9::BeginRender Clear";
    if (FAILED(Device->BeginScene()))
        throw "Failed CDirectX9::BeginRender BeginScene";
    g_bSceneOpen = true;
    return true;
}

bool CDirectX9::EndRender()
{
    if (!Device)
        return true;
    Device->EndScene();
    g_bSceneOpen = false;
    // Captures are taken now: after Present the discarded back buffer holds nothing defined.
    SaveCaptures(SaveScreen);
    if (FAILED(Device->Present(nullptr, nullptr, nullptr, nullptr)))
        throw "Failed CDirectX9::EndRender Present";
    return true;
}

void CDirectX9::CaptureNextFrame(const char* fileName)
{
    g_PendingCaptures.emplace_back(fileName);
}

void CDirectX9::SaveCapturesFromScreen()
{
    if (Device && !g_PendingCaptures.empty())
        SaveCaptures(SaveFrontBuffer);
}

const char* CDirectX9::TakeCaptureFailure()
{
    const char* failure = g_pCaptureFailure;
    g_pCaptureFailure = nullptr;
    return failure;
}

bool CDirectX9::IsFullScreenModeListed(UINT width, UINT height)
{
    if (!Direct3D)
        return false;
    D3DDISPLAYMODE desktop;
    if (FAILED(Direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop)))
        return false;
    const UINT count = Direct3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, desktop.Format);
    for (UINT i = 0; i < count; ++i) {
        D3DDISPLAYMODE mode;
        if (SUCCEEDED(Direct3D->EnumAdapterModes(D3DADAPTER_DEFAULT, desktop.Format, i, &mode)) &&
            mode.Width == width && mode.Height == height)
            return true;
    }
    return false;
}

void CDirectX9::RestoreDevice()
{
    SafeRestoreRenderState();
    SafeRestoreTextureStageState();
    SafeRestoreSamplerState();
    SafeRestoreTransform();
    SafeRestoreMaterial();
    SafeRestoreTexture();
    CD3DLight::RestoreAll();
}

void CDirectX9::ChangeScreenMode(UINT width, UINT height, bool windowed, bool waitVsync)
{
    if (!Device)
        throw "Failed CDirectX9::ChangeScreenMode Reset";
    if (!windowed && !IsFullScreenModeListed(width, height))
        throw "Failed CDirectX9::ChangeScreenMode EnumAdapterModes";
    EndOpenScene();

    // The mode is committed only once the device has it: a failed reset goes back to the
    // mode that worked, so that neither the next frame's reset nor the settings file keep
    // asking for one that cannot be made.
    const D3DPRESENT_PARAMETERS previous = PresentParameters;
    PresentParameters.BackBufferWidth = width;
    PresentParameters.BackBufferHeight = height;
    PresentParameters.Windowed = windowed ? 1 : 0;
    PresentParameters.PresentationInterval = waitVsync ? D3DPRESENT_INTERVAL_DEFAULT : D3DPRESENT_INTERVAL_IMMEDIATE;
    if (FAILED(Device->Reset(&PresentParameters))) {
        PresentParameters = previous;
        if (SUCCEEDED(Device->Reset(&PresentParameters)))
            RestoreDevice();
        throw "Failed CDirectX9::ChangeScreenMode Reset";
    }
    CGameConfig& config = CGameConfig::GetInstance();
    config.Width = static_cast<int>(width);
    config.Height = static_cast<int>(height);
    config.IsWindowed = windowed;
    config.IsVsyncWait = waitVsync;
    RestoreDevice();
    ApplyWindowMode(PresentParameters.hDeviceWindow, width, height, windowed);
}

void CDirectX9::ApplyWindowMode(HWND hWnd, UINT width, UINT height, bool windowed)
{
    const DWORD style = windowed ? kWindowedStyle : WS_POPUP;
    SetWindowLongA(hWnd, GWL_STYLE, static_cast<LONG>(style));
    RECT rect = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    AdjustWindowRect(&rect, style, windowed ? TRUE : FALSE);
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    if (windowed) {
        SetWindowPos(hWnd, HWND_NOTOPMOST, GetSystemMetrics(SM_CXSCREEN) / 2 - w / 2,
                     GetSystemMetrics(SM_CYSCREEN) / 2 - h / 2, w, h, SWP_SHOWWINDOW);
    } else {
        ShowWindow(hWnd, SW_SHOWNORMAL);
    }
    InvalidateRect(nullptr, nullptr, TRUE);
}

void CDirectX9::SaveScreen(const char* fileName)
{
    IDirect3DSurface9* surface = nullptr;
    if (!Device || FAILED(Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface)))
        throw "Failed CDirectX9::SaveScreen GetBackBuffer";
    SaveSurface(fileName, surface, nullptr);
}

void CDirectX9::SaveFrontBuffer(const char* fileName)
{
    // The front buffer holds the whole desktop in a window, the whole screen in full screen;
    // the copy is of the system's 32-bit format, in system memory.
    D3DDISPLAYMODE mode;
    IDirect3DSurface9* surface = nullptr;
    if (!Device || FAILED(Device->GetDisplayMode(0, &mode)) ||
        FAILED(Device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                   &surface, nullptr)))
        throw "Failed CDirectX9::SaveScreen GetFrontBufferData";
    RECT area = {0, 0, static_cast<LONG>(PresentParameters.BackBufferWidth),
                 static_cast<LONG>(PresentParameters.BackBufferHeight)};
    if (PresentParameters.Windowed) {
        HWND hWnd = PresentParameters.hDeviceWindow;
        POINT origin = {0, 0};
        GetClientRect(hWnd, &area);
        ClientToScreen(hWnd, &origin);
        OffsetRect(&area, origin.x, origin.y);
    }
    // Only the part of the client area that is on the screen.
    area.left = std::max<LONG>(area.left, 0);
    area.top = std::max<LONG>(area.top, 0);
    area.right = std::min<LONG>(area.right, static_cast<LONG>(mode.Width));
    area.bottom = std::min<LONG>(area.bottom, static_cast<LONG>(mode.Height));
    if (FAILED(Device->GetFrontBufferData(0, surface)) || area.left >= area.right || area.top >= area.bottom) {
        surface->Release();
        throw "Failed CDirectX9::SaveScreen GetFrontBufferData";
    }
    SaveSurface(fileName, surface, &area);
}

void CDirectX9::SetProjection(const float& fieldOfView, const float& nearZ, const float& farZ)
{
    Projection.FieldOfView = fieldOfView;
    Projection.Near = nearZ;
    Projection.Far = farZ;
    Projection.TanHalfFieldOfView = std::tan(fieldOfView * 0.5f);
    const float aspect =
        static_cast<float>(PresentParameters.BackBufferWidth) / static_cast<float>(PresentParameters.BackBufferHeight);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, fieldOfView, aspect, nearZ, farZ);
    SafeSetTransform(D3DTS_PROJECTION, projection);
}

void CDirectX9::GetProjection(ProjectionRecord& projection) const
{
    projection = Projection;
}

void CDirectX9::SetClearParam(const ClearRecord& clear)
{
    ClearParam = clear;
}
