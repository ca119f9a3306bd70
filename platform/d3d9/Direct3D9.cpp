// The Direct3D object: one adapter (the desktop's display), its modes and capabilities, and
// device creation on a window's OpenGL context.
#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/d3d9/Device.h"
#include "platform/win32/SdlWindow.h"

namespace qv::d3d9 {

namespace {

const qv::test::D3D9Faults* g_faults = nullptr;

// The desktop's mode as Direct3D describes it; a 32-bit desktop is X8R8G8B8.
bool DesktopMode(D3DDISPLAYMODE& mode)
{
    mode = D3DDISPLAYMODE{640, 480, 60, D3DFMT_X8R8G8B8};
    if (!qv::EnsureVideo())
        return false;
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0)
        return false;
    mode.Width = static_cast<UINT>(desktop.w);
    mode.Height = static_cast<UINT>(desktop.h);
    mode.RefreshRate = static_cast<UINT>(desktop.refresh_rate);
    switch (SDL_BITSPERPIXEL(desktop.format)) {
    case 16:
        mode.Format = D3DFMT_R5G6B5;
        break;
    case 15:
        mode.Format = D3DFMT_X1R5G5B5;
        break;
    case 8:
        mode.Format = D3DFMT_P8;
        break;
    default:
        mode.Format = D3DFMT_X8R8G8B8;
        break;
    }
    return true;
}

bool ValidDeviceType(D3DDEVTYPE type)
{
    return type == D3DDEVTYPE_HAL || type == D3DDEVTYPE_REF;
}

} // namespace

HRESULT FaultyCooperativeLevel()
{
    return g_faults ? g_faults->cooperativeLevel : S_OK;
}

HRESULT FaultyReset(const D3DPRESENT_PARAMETERS& params)
{
    return g_faults && g_faults->reset ? g_faults->reset(params) : S_OK;
}

void FillCaps(D3DDEVTYPE type, D3DCAPS9& caps)
{
    std::memset(&caps, 0, sizeof caps);
    caps.DeviceType = type;
    caps.AdapterOrdinal = D3DADAPTER_DEFAULT;
    caps.Caps2 = D3DCAPS2_CANMANAGERESOURCE | D3DCAPS2_DYNAMICTEXTURES;
    caps.Caps3 = D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD;
    caps.PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    caps.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                   D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP |
                   D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT |
                   D3DDEVCAPS_HWRASTERIZATION;
    caps.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW |
                             D3DPMISCCAPS_CULLCCW | D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPTLVERTS |
                             D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_SEPARATEALPHABLEND;
    caps.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                      D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_SCISSORTEST |
                      D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS | D3DPRASTERCAPS_DEPTHBIAS | D3DPRASTERCAPS_ZFOG;
    const DWORD allCompares = D3DPCMPCAPS_NEVER | D3DPCMPCAPS_LESS | D3DPCMPCAPS_EQUAL | D3DPCMPCAPS_LESSEQUAL |
                              D3DPCMPCAPS_GREATER | D3DPCMPCAPS_NOTEQUAL | D3DPCMPCAPS_GREATEREQUAL |
                              D3DPCMPCAPS_ALWAYS;
    caps.ZCmpCaps = allCompares;
    caps.AlphaCmpCaps = allCompares;
    const DWORD blends = D3DPBLENDCAPS_ZERO | D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_SRCCOLOR |
                         D3DPBLENDCAPS_INVSRCCOLOR | D3DPBLENDCAPS_SRCALPHA | D3DPBLENDCAPS_INVSRCALPHA |
                         D3DPBLENDCAPS_DESTALPHA | D3DPBLENDCAPS_INVDESTALPHA | D3DPBLENDCAPS_DESTCOLOR |
                         D3DPBLENDCAPS_INVDESTCOLOR | D3DPBLENDCAPS_SRCALPHASAT | D3DPBLENDCAPS_BOTHSRCALPHA |
                         D3DPBLENDCAPS_BOTHINVSRCALPHA | D3DPBLENDCAPS_BLENDFACTOR;
    caps.SrcBlendCaps = blends;
    caps.DestBlendCaps = blends;
    caps.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                     D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                       D3DPTEXTURECAPS_NONPOW2CONDITIONAL | D3DPTEXTURECAPS_PROJECTED | D3DPTEXTURECAPS_MIPMAP;
    caps.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                             D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                              D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV;
    caps.LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP |
                    D3DLINECAPS_FOG;
    caps.MaxTextureWidth = 4096;
    caps.MaxTextureHeight = 4096;
    caps.MaxTextureRepeat = 8192;
    caps.MaxTextureAspectRatio = 4096;
    caps.MaxAnisotropy = 1;
    caps.MaxVertexW = 1e10f;
    caps.GuardBandLeft = -8192.0f;
    caps.GuardBandTop = -8192.0f;
    caps.GuardBandRight = 8192.0f;
    caps.GuardBandBottom = 8192.0f;
    caps.StencilCaps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE | D3DSTENCILCAPS_INCRSAT |
                       D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT | D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR |
                       D3DSTENCILCAPS_TWOSIDED;
    caps.FVFCaps = 8 | D3DFVFCAPS_DONOTSTRIPELEMENTS;
    caps.TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                         D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X |
                         D3DTEXOPCAPS_ADD | D3DTEXOPCAPS_ADDSIGNED | D3DTEXOPCAPS_ADDSIGNED2X |
                         D3DTEXOPCAPS_SUBTRACT | D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA |
                         D3DTEXOPCAPS_BLENDFACTORALPHA | D3DTEXOPCAPS_BLENDCURRENTALPHA | D3DTEXOPCAPS_DOTPRODUCT3;
    caps.MaxTextureBlendStages = 1;
    caps.MaxSimultaneousTextures = 1;
    caps.VertexProcessingCaps = D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                                D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
    caps.MaxActiveLights = kGlLights;
    caps.MaxUserClipPlanes = 0;
    caps.MaxVertexBlendMatrices = 0;
    caps.MaxVertexBlendMatrixIndex = 0;
    caps.MaxPointSize = 64.0f;
    caps.MaxPrimitiveCount = 0x00FFFFFF;
    caps.MaxVertexIndex = 0x00FFFFFF;
    caps.MaxStreams = kStreams;
    caps.MaxStreamStride = 255;
    // Fixed function only: no shader models.
    caps.VertexShaderVersion = 0;
    caps.PixelShaderVersion = 0;
    caps.MasterAdapterOrdinal = 0;
    caps.AdapterOrdinalInGroup = 0;
    caps.NumberOfAdaptersInGroup = 1;
    caps.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N;
    caps.NumSimultaneousRTs = 1;
    if (g_faults && g_faults->vertexShaderVersion)
        caps.VertexShaderVersion = g_faults->vertexShaderVersion;
    if (g_faults && g_faults->noTwoSidedStencil)
        caps.StencilCaps &= ~static_cast<DWORD>(D3DSTENCILCAPS_TWOSIDED);
}

HRESULT Direct3D9::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3D9) {
        *ppv = static_cast<IDirect3D9*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG Direct3D9::Release()
{
    const ULONG count = --m_refCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT Direct3D9::GetAdapterIdentifier(UINT Adapter, DWORD, D3DADAPTER_IDENTIFIER9* pIdentifier)
{
    if (Adapter != D3DADAPTER_DEFAULT || !pIdentifier)
        return D3DERR_INVALIDCALL;
    std::memset(pIdentifier, 0, sizeof *pIdentifier);
    std::snprintf(pIdentifier->Driver, sizeof pIdentifier->Driver, "opengl");
    std::snprintf(pIdentifier->Description, sizeof pIdentifier->Description, "Direct3D 9 on OpenGL");
    std::snprintf(pIdentifier->DeviceName, sizeof pIdentifier->DeviceName, "\\\\.\\DISPLAY1");
    return D3D_OK;
}

namespace {

// Full screen scales the back buffer to the display without changing the display's mode, so
// the adapter can make every common size that fits on the desktop, and the desktop's own.
std::vector<D3DDISPLAYMODE> AdapterModes(D3DFORMAT format)
{
    std::vector<D3DDISPLAYMODE> modes;
    if (g_faults && g_faults->adapterModes) {
        for (const D3DDISPLAYMODE& mode : *g_faults->adapterModes)
            if (mode.Format == format)
                modes.push_back(mode);
        return modes;
    }
    D3DDISPLAYMODE desktop;
    if (!qv::EnsureVideo() || !DesktopMode(desktop) || (format != desktop.Format && format != D3DFMT_X8R8G8B8))
        return modes;
    static const UINT kSizes[][2] = {{320, 240},   {400, 300},   {512, 384},   {640, 400},   {640, 480},
                                     {800, 600},   {1024, 768},  {1152, 864},  {1280, 720},  {1280, 800},
                                     {1280, 960},  {1280, 1024}, {1366, 768},  {1440, 900},  {1600, 900},
                                     {1600, 1200}, {1680, 1050}, {1920, 1080}, {1920, 1200}, {2560, 1440}};
    bool desktopListed = false;
    for (const auto& size : kSizes) {
        if (size[0] > desktop.Width || size[1] > desktop.Height)
            continue;
        modes.push_back(D3DDISPLAYMODE{size[0], size[1], desktop.RefreshRate, format});
        desktopListed = desktopListed || (size[0] == desktop.Width && size[1] == desktop.Height);
    }
    if (!desktopListed)
        modes.push_back(D3DDISPLAYMODE{desktop.Width, desktop.Height, desktop.RefreshRate, format});
    return modes;
}

} // namespace

bool IsAdapterMode(UINT width, UINT height, D3DFORMAT format)
{
    for (const D3DDISPLAYMODE& mode : AdapterModes(format))
        if (mode.Width == width && mode.Height == height)
            return true;
    return false;
}

UINT Direct3D9::GetAdapterModeCount(UINT Adapter, D3DFORMAT Format)
{
    if (Adapter != D3DADAPTER_DEFAULT)
        return 0;
    return static_cast<UINT>(AdapterModes(Format).size());
}

HRESULT Direct3D9::EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE* pMode)
{
    if (Adapter != D3DADAPTER_DEFAULT || !pMode)
        return D3DERR_INVALIDCALL;
    const std::vector<D3DDISPLAYMODE> modes = AdapterModes(Format);
    if (Mode >= modes.size())
        return D3DERR_INVALIDCALL;
    *pMode = modes[Mode];
    return D3D_OK;
}

HRESULT Direct3D9::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode)
{
    if (Adapter != D3DADAPTER_DEFAULT || !pMode)
        return D3DERR_INVALIDCALL;
    if (g_faults && g_faults->displayModeFails)
        return D3DERR_NOTAVAILABLE;
    // Without a display the desktop is taken as 32-bit; device creation then reports the
    // missing OpenGL context itself.
    DesktopMode(*pMode);
    if (g_faults && g_faults->displayFormat != D3DFMT_UNKNOWN)
        pMode->Format = g_faults->displayFormat;
    return D3D_OK;
}

HRESULT Direct3D9::CheckDeviceType(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat,
                                   D3DFORMAT BackBufferFormat, BOOL)
{
    if (Adapter != D3DADAPTER_DEFAULT || !ValidDeviceType(DevType))
        return D3DERR_INVALIDCALL;
    if (AdapterFormat != D3DFMT_X8R8G8B8)
        return D3DERR_NOTAVAILABLE;
    if (BackBufferFormat != D3DFMT_UNKNOWN && !IsBackBufferFormat(BackBufferFormat))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D9::CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT, DWORD Usage,
                                     D3DRESOURCETYPE RType, D3DFORMAT CheckFormat)
{
    if (Adapter != D3DADAPTER_DEFAULT || !ValidDeviceType(DeviceType))
        return D3DERR_INVALIDCALL;
    if (Usage & D3DUSAGE_DEPTHSTENCIL)
        return IsDepthFormat(CheckFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    if (RType == D3DRTYPE_TEXTURE || RType == D3DRTYPE_SURFACE)
        return BytesPerPixel(CheckFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    return D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9::CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT, BOOL,
                                              D3DMULTISAMPLE_TYPE MultiSampleType, DWORD* pQualityLevels)
{
    if (Adapter != D3DADAPTER_DEFAULT || !ValidDeviceType(DeviceType))
        return D3DERR_INVALIDCALL;
    if (pQualityLevels)
        *pQualityLevels = MultiSampleType == D3DMULTISAMPLE_NONE ? 1 : 0;
    return MultiSampleType == D3DMULTISAMPLE_NONE ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9::CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT, D3DFORMAT RenderTargetFormat,
                                          D3DFORMAT DepthStencilFormat)
{
    if (Adapter != D3DADAPTER_DEFAULT || !ValidDeviceType(DeviceType))
        return D3DERR_INVALIDCALL;
    return IsBackBufferFormat(RenderTargetFormat) && IsDepthFormat(DepthStencilFormat) ? D3D_OK
                                                                                        : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9::CheckDeviceFormatConversion(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SourceFormat,
                                               D3DFORMAT TargetFormat)
{
    if (Adapter != D3DADAPTER_DEFAULT || !ValidDeviceType(DeviceType))
        return D3DERR_INVALIDCALL;
    return SourceFormat == TargetFormat && IsBackBufferFormat(SourceFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9::GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps)
{
    if (Adapter != D3DADAPTER_DEFAULT || !pCaps || !ValidDeviceType(DeviceType))
        return D3DERR_INVALIDCALL;
    if (g_faults && ((DeviceType == D3DDEVTYPE_HAL && g_faults->halCapsFail) ||
                     (DeviceType == D3DDEVTYPE_REF && g_faults->refCapsFail)))
        return D3DERR_NOTAVAILABLE;
    FillCaps(DeviceType, *pCaps);
    return D3D_OK;
}

HMONITOR Direct3D9::GetAdapterMonitor(UINT)
{
    return nullptr;
}

HRESULT Direct3D9::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                                D3DPRESENT_PARAMETERS* pPresentationParameters,
                                IDirect3DDevice9** ppReturnedDeviceInterface)
{
    if (!ppReturnedDeviceInterface)
        return D3DERR_INVALIDCALL;
    *ppReturnedDeviceInterface = nullptr;
    if (Adapter != D3DADAPTER_DEFAULT || !pPresentationParameters || !ValidDeviceType(DeviceType))
        return D3DERR_INVALIDCALL;
    const DWORD processing = BehaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                              D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                              D3DCREATE_MIXED_VERTEXPROCESSING);
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if (g_faults && g_faults->createDevice) {
        const HRESULT hr = g_faults->createDevice(
            DeviceType, BehaviorFlags,
            pPresentationParameters->EnableAutoDepthStencil ? pPresentationParameters->AutoDepthStencilFormat
                                                            : D3DFMT_UNKNOWN);
        if (FAILED(hr))
            return hr;
    }
    return Device::Create(this, DeviceType, hFocusWindow, BehaviorFlags, pPresentationParameters,
                          ppReturnedDeviceInterface);
}

} // namespace qv::d3d9

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion)
{
    if (SDKVersion != D3D_SDK_VERSION)
        return nullptr;
    if (qv::d3d9::g_faults && qv::d3d9::g_faults->createFails)
        return nullptr;
    return new qv::d3d9::Direct3D9();
}

namespace qv::test {

void SetD3D9Faults(const D3D9Faults* faults)
{
    qv::d3d9::g_faults = faults;
}

} // namespace qv::test
