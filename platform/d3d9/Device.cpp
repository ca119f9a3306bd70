// The device: creation on the window's OpenGL context, the back buffer as a framebuffer
// object, presentation, device loss and reset, its resources and general queries, and the
// scene's clearing.
#include "platform/d3d9/Device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/d3d9/Transforms.h"
#include "platform/win32/SdlWindow.h"
#include "platform/win32/Win32.h"

namespace qv::d3d9 {

std::atomic<uint64_t> Device::s_callCount{0};
bool Device::s_batching = true;

namespace {

Device* g_liveDevice = nullptr;

// Tells the device about a full-screen window losing or regaining the screen.
int SDLCALL WatchWindow(void* userdata, SDL_Event* event)
{
    auto* device = static_cast<Device*>(userdata);
    if (event->type != SDL_WINDOWEVENT || device != Device::Live())
        return 1;
    SDL_Window* window = qv::SdlWindowOf(device->Window());
    if (!window || SDL_GetWindowID(window) != event->window.windowID || device->Params().Windowed)
        return 1;
    switch (event->window.event) {
    case SDL_WINDOWEVENT_FOCUS_LOST:
    case SDL_WINDOWEVENT_MINIMIZED:
        device->Lose();
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_RESTORED:
        device->AllowReset();
        break;
    default:
        break;
    }
    return 1;
}

} // namespace

uint64_t DeviceCallCount()
{
    return Device::s_callCount.load();
}

Device* Device::Live()
{
    return g_liveDevice;
}

void Device::EnableBatching(bool enabled)
{
    s_batching = enabled;
}

// Creation, targets and presentation

Device::Device(Direct3D9* d3d, D3DDEVTYPE type, HWND window, DWORD behaviour)
    : m_d3d(d3d), m_type(type), m_window(window), m_behaviour(behaviour), m_backBuffer(this), m_swapChain(this)
{
    m_d3d->AddRef();
}

Device::~Device()
{
    SDL_DelEventWatch(WatchWindow, this);
    if (g_liveDevice == this)
        g_liveDevice = nullptr;
    m_batch.Free(GlUsable());
    if (GlUsable()) {
        QVGL(BindFramebuffer)(GL_FRAMEBUFFER, 0);
        FreeTargets();
    }
    // The display gets its own mode back with the device, as Direct3D gives it back.
    if (m_fullScreen)
        qv::LeaveFullScreen(m_window);
    m_d3d->Release();
}

HRESULT Device::Create(Direct3D9* d3d, D3DDEVTYPE type, HWND focusWindow, DWORD behaviour,
                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out)
{
    HWND window = params->hDeviceWindow ? params->hDeviceWindow : focusWindow;
    SDL_Window* sdlWindow = qv::SdlWindowOf(window);
    SDL_GLContext context = qv::GlContextOf(window);
    // No window of ours, or no OpenGL behind it: there is no device to be had.
    if (!sdlWindow || !context || !qv::MakeGlCurrent(window) || !qv::gl::Load())
        return D3DERR_NOTAVAILABLE;

    auto* device = new Device(d3d, type, window, behaviour);
    device->m_sdlWindow = sdlWindow;
    device->m_context = context;
    D3DPRESENT_PARAMETERS adjusted = *params;
    HRESULT hr = device->ValidateParams(adjusted);
    if (SUCCEEDED(hr))
        hr = device->MakeTargets(adjusted);
    if (FAILED(hr)) {
        device->Release();
        return hr;
    }
    *params = adjusted;
    device->m_params = adjusted;
    device->ApplyWindowMode();
    device->InitGlState();
    device->ResetState();
    g_liveDevice = device;
    SDL_AddEventWatch(WatchWindow, device);
    *out = device;
    return D3D_OK;
}

bool Device::GlUsable() const
{
    if (!m_context)
        return false;
    // Direct3D has no current context: the window layer's own drawing (menus, dialogs,
    // message boxes) may leave another one current, so the device takes its own back.
    return SDL_GL_GetCurrentContext() == m_context || qv::MakeGlCurrent(m_window);
}

HRESULT Device::ValidateParams(D3DPRESENT_PARAMETERS& params) const
{
    if (params.BackBufferCount > 1 || params.MultiSampleType != D3DMULTISAMPLE_NONE ||
        params.SwapEffect < D3DSWAPEFFECT_DISCARD || params.SwapEffect > D3DSWAPEFFECT_COPY)
        return D3DERR_INVALIDCALL;
    if (params.BackBufferCount == 0)
        params.BackBufferCount = 1;
    // A windowed back buffer of size 0 takes the window's client size, and an unknown
    // format the desktop's.
    if (params.Windowed) {
        int x = 0, y = 0, w = 0, h = 0;
        qv::ClientViewport(m_window, &x, &y, &w, &h);
        if (params.BackBufferWidth == 0)
            params.BackBufferWidth = static_cast<UINT>(std::max(w, 1));
        if (params.BackBufferHeight == 0)
            params.BackBufferHeight = static_cast<UINT>(std::max(h, 1));
        if (params.BackBufferFormat == D3DFMT_UNKNOWN)
            params.BackBufferFormat = D3DFMT_X8R8G8B8;
    }
    if (params.BackBufferWidth == 0 || params.BackBufferHeight == 0 || params.BackBufferWidth > 8192 ||
        params.BackBufferHeight > 8192 || !IsBackBufferFormat(params.BackBufferFormat))
        return D3DERR_INVALIDCALL;
    if (params.EnableAutoDepthStencil && !IsDepthFormat(params.AutoDepthStencilFormat))
        return D3DERR_INVALIDCALL;
    if (!params.Windowed && !IsAdapterMode(params.BackBufferWidth, params.BackBufferHeight, params.BackBufferFormat))
        return D3DERR_INVALIDCALL;
    const UINT interval = params.PresentationInterval;
    if (interval != D3DPRESENT_INTERVAL_DEFAULT && interval != D3DPRESENT_INTERVAL_ONE &&
        interval != D3DPRESENT_INTERVAL_IMMEDIATE)
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Device::MakeTargets(const D3DPRESENT_PARAMETERS& params)
{
    FreeTargets();
    const GLsizei w = static_cast<GLsizei>(params.BackBufferWidth);
    const GLsizei h = static_cast<GLsizei>(params.BackBufferHeight);
    QVGL(GenTextures)(1, &m_colorTexture);
    QVGL(BindTexture)(GL_TEXTURE_2D, m_colorTexture);
    // An X8R8G8B8 back buffer has no alpha to read: blending with its alpha sees one.
    const GLint internal = params.BackBufferFormat == D3DFMT_A8R8G8B8 ? GL_RGBA8 : GL_RGB8;
    QVGL(TexImage2D)(GL_TEXTURE_2D, 0, internal, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    QVGL(TexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    QVGL(TexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    QVGL(TexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    QVGL(BindTexture)(GL_TEXTURE_2D, 0);

    m_hasDepth = params.EnableAutoDepthStencil != FALSE;
    m_hasStencil = m_hasDepth && HasStencil(params.AutoDepthStencilFormat);
    QVGL(GenFramebuffers)(1, &m_framebuffer);
    QVGL(BindFramebuffer)(GL_FRAMEBUFFER, m_framebuffer);
    QVGL(FramebufferTexture2D)(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_colorTexture, 0);
    if (m_hasDepth) {
        GLenum depthFormat = GL_DEPTH_COMPONENT16;
        switch (params.AutoDepthStencilFormat) {
        case D3DFMT_D24S8:
            depthFormat = GL_DEPTH24_STENCIL8;
            break;
        case D3DFMT_D24X8:
            depthFormat = GL_DEPTH_COMPONENT24;
            break;
        case D3DFMT_D32:
            depthFormat = GL_DEPTH_COMPONENT32;
            break;
        default:
            break;
        }
        QVGL(GenRenderbuffers)(1, &m_depthBuffer);
        QVGL(BindRenderbuffer)(GL_RENDERBUFFER, m_depthBuffer);
        QVGL(RenderbufferStorage)(GL_RENDERBUFFER, depthFormat, w, h);
        QVGL(FramebufferRenderbuffer)(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
        if (m_hasStencil)
            QVGL(FramebufferRenderbuffer)(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
    }
    if (QVGL(CheckFramebufferStatus)(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        FreeTargets();
        return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
}

void Device::FreeTargets()
{
    if (m_framebuffer)
        QVGL(DeleteFramebuffers)(1, &m_framebuffer);
    if (m_colorTexture)
        QVGL(DeleteTextures)(1, &m_colorTexture);
    if (m_depthBuffer)
        QVGL(DeleteRenderbuffers)(1, &m_depthBuffer);
    m_framebuffer = m_colorTexture = m_depthBuffer = 0;
}

void Device::ApplyWindowMode()
{
    // Full screen is the window layer's emulated display mode of the back buffer's size: the
    // picture is scaled to the display with its aspect kept; the real display mode stays.
    const bool fullScreen = !m_params.Windowed;
    if (fullScreen)
        qv::EnterFullScreen(m_window, static_cast<int>(m_params.BackBufferWidth),
                            static_cast<int>(m_params.BackBufferHeight));
    else if (m_fullScreen)
        qv::LeaveFullScreen(m_window);
    m_fullScreen = fullScreen;
    SDL_GL_SetSwapInterval(m_params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
}

void Device::InitGlState()
{
    // From here on the record of what OpenGL holds starts from a known state, whatever
    // others did with the context before.
    m_gl.Invalidate();
    // Direct3D counts clockwise triangles on the screen as front faces.
    QVGL(FrontFace)(GL_CW);
    QVGL(PixelStorei)(GL_PACK_ALIGNMENT, 1);
    QVGL(PixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    QVGL(Hint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    QVGL(LightModeli)(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    QVGL(ActiveTexture)(GL_TEXTURE0);
    QVGL(ClientActiveTexture)(GL_TEXTURE0);
    m_gl.Enable(GL_DITHER, false);
    if (qv::gl::g_api.ProvokingVertex)
        QVGL(ProvokingVertex)(GL_FIRST_VERTEX_CONVENTION);
    QVGL(BindFramebuffer)(GL_FRAMEBUFFER, m_framebuffer);
    for (GLenum array : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_TEXTURE_COORD_ARRAY})
        m_gl.Array(array, false);
    m_gl.BindBuffer(GL_ARRAY_BUFFER, 0);
    m_gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    m_gl.UseProgram(0);
    m_gl.Enable(GL_TEXTURE_2D, false);
    m_glTexturing = false;
    m_gl.BindTexture(0);
    for (GLenum i = 0; i < kGlLights; ++i)
        m_gl.Enable(GL_LIGHT0 + i, false);
    m_glLightCount = 0;
    const D3DMATRIX identity = IdentityMatrix();
    m_gl.LoadMatrix(GL_TEXTURE, &identity.m[0][0]);
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* pPresentationParameters)
{
    Count();
    if (!pPresentationParameters)
        return D3DERR_INVALIDCALL;
    if (m_cooperation == Cooperation::kLost)
        return D3DERR_DEVICELOST;
    if (FAILED(FaultyReset(*pPresentationParameters)))
        return FaultyReset(*pPresentationParameters);
    D3DPRESENT_PARAMETERS adjusted = *pPresentationParameters;
    HRESULT hr = ValidateParams(adjusted);
    if (FAILED(hr))
        return hr;
    if (!GlUsable() && !qv::MakeGlCurrent(m_window))
        return D3DERR_DEVICELOST;
    // What was gathered for the old back buffer is not drawn on the new one.
    m_batch.Drop();
    hr = MakeTargets(adjusted);
    if (FAILED(hr))
        return hr;
    *pPresentationParameters = adjusted;
    m_params = adjusted;
    ApplyWindowMode();
    InitGlState();
    ResetState();
    m_cooperation = Cooperation::kOk;
    return D3D_OK;
}

void Device::Lose()
{
    m_cooperation = Cooperation::kLost;
    m_batch.Drop(); // a lost device's frame is not shown
}

void Device::AllowReset()
{
    if (m_cooperation == Cooperation::kLost)
        m_cooperation = Cooperation::kNotReset;
}

HRESULT Device::TestCooperativeLevel()
{
    Count();
    if (FAILED(FaultyCooperativeLevel()))
        return FaultyCooperativeLevel();
    switch (m_cooperation) {
    case Cooperation::kLost:
        return D3DERR_DEVICELOST;
    case Cooperation::kNotReset:
        return D3DERR_DEVICENOTRESET;
    default:
        return D3D_OK;
    }
}

HRESULT Device::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride, const RGNDATA*)
{
    Count();
    if (m_cooperation != Cooperation::kOk)
        return D3DERR_DEVICELOST;
    if (pSourceRect || pDestRect || (hDestWindowOverride && hDestWindowOverride != m_window))
        return D3DERR_INVALIDCALL;
    if (!GlUsable())
        return D3DERR_DEVICELOST;
    SendBatch();
    // The back buffer goes to the window's client area (in full screen, the part of the
    // display that shows the mode), scaled when the sizes differ; the rest is black.
    int drawableW = 0, drawableH = 0;
    SDL_GL_GetDrawableSize(m_sdlWindow, &drawableW, &drawableH);
    int x = 0, y = 0, w = drawableW, h = drawableH;
    qv::ClientViewport(m_window, &x, &y, &w, &h);
    const GLint bbW = static_cast<GLint>(BackBufferWidth());
    const GLint bbH = static_cast<GLint>(BackBufferHeight());
    QVGL(BindFramebuffer)(GL_DRAW_FRAMEBUFFER, 0);
    QVGL(BindFramebuffer)(GL_READ_FRAMEBUFFER, m_framebuffer);
    m_gl.Enable(GL_SCISSOR_TEST, false);
    m_gl.ColorMask(true, true, true, true);
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    m_gl.ClearColor(black);
    QVGL(Clear)(GL_COLOR_BUFFER_BIT);
    const GLint y0 = drawableH - y - h;
    QVGL(BlitFramebuffer)(0, 0, bbW, bbH, x, y0, x + w, y0 + h, GL_COLOR_BUFFER_BIT,
                          w == bbW && h == bbH ? GL_NEAREST : GL_LINEAR);
    Changed(kDirtyRaster | kDirtyScissor);
    qv::SwapGlWindow(m_window);
    QVGL(BindFramebuffer)(GL_FRAMEBUFFER, m_framebuffer);
    return D3D_OK;
}

void Device::ReadBackBuffer(std::vector<uint8_t>& pixels)
{
    const UINT w = BackBufferWidth(), h = BackBufferHeight();
    std::vector<uint8_t> upsideDown(static_cast<size_t>(w) * h * 4);
    pixels.assign(upsideDown.size(), 0);
    if (!GlUsable())
        return;
    SendBatch();
    QVGL(BindFramebuffer)(GL_READ_FRAMEBUFFER, m_framebuffer);
    QVGL(ReadPixels)(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), GL_BGRA, GL_UNSIGNED_BYTE,
                     upsideDown.data());
    // OpenGL's rows run from the bottom; Direct3D's surface rows from the top.
    const size_t pitch = static_cast<size_t>(w) * 4;
    for (UINT y = 0; y < h; ++y)
        std::memcpy(&pixels[y * pitch], &upsideDown[(h - 1 - y) * pitch], pitch);
}

void Device::WriteBackBuffer(const std::vector<uint8_t>& pixels)
{
    const UINT w = BackBufferWidth(), h = BackBufferHeight();
    if (!GlUsable() || pixels.size() < static_cast<size_t>(w) * h * 4)
        return;
    SendBatch();
    const size_t pitch = static_cast<size_t>(w) * 4;
    std::vector<uint8_t> upsideDown(pixels.size());
    for (UINT y = 0; y < h; ++y)
        std::memcpy(&upsideDown[(h - 1 - y) * pitch], &pixels[y * pitch], pitch);
    BindTextureForUpload(m_colorTexture);
    QVGL(TexSubImage2D)(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), GL_BGRA,
                        GL_UNSIGNED_BYTE, upsideDown.data());
}

void Device::SendBatch()
{
    if (!m_batch.IsOpen())
        return;
    if (GlUsable())
        Changed(m_batch.Send());
    else
        m_batch.Drop();
}

void Device::BindTextureForUpload(GLuint name)
{
    SendBatch();
    // The draws bind their own texture again (ApplyState).
    m_gl.BindTexture(name);
}

void Device::TextureLevelWritten(Texture* texture, UINT level)
{
    m_batch.TextureLevelWritten(texture, level);
}

void Device::TextureChanging(Texture* texture)
{
    SendBatch();
    if (m_state.textures[0] == texture)
        Changed(kDirtyStage | kDirtySampler);
}

void Device::BindBufferForUpload(GLenum target, GLuint name)
{
    m_gl.BindBuffer(target, name);
}

void Device::ForgetGlBuffer(GLuint name)
{
    m_gl.ForgetBuffer(name);
}

void Device::BufferChanging(const void* buffer)
{
    m_batch.BufferChanging(buffer);
}

void Device::Forget(Texture* texture)
{
    SendBatch();
    m_batch.TextureGone(texture);
    for (auto& t : m_state.textures)
        if (t == texture)
            t = nullptr;
    m_gl.ForgetTexture(texture->GlName());
    Changed(kDirtyStage | kDirtySampler);
}

void Device::Forget(VertexBuffer* buffer)
{
    SendBatch();
    for (auto& s : m_state.streams)
        if (s.buffer == buffer)
            s = StreamSource();
}

void Device::Forget(IndexBuffer* buffer)
{
    SendBatch();
    if (m_state.indices == buffer)
        m_state.indices = nullptr;
}

void Device::Forget(VertexDeclaration* declaration)
{
    if (m_state.declaration == declaration)
        m_state.declaration = nullptr;
}

D3DMATRIX Device::ClipAdjustment() const
{
    return qv::d3d9::ClipAdjustment(m_state.viewport);
}

// ---------------------------------------------------------------------------------------------
// IUnknown and the device's general queries

HRESULT Device::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
        *ppv = static_cast<IDirect3DDevice9*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG Device::AddRef()
{
    return ++m_refCount;
}

ULONG Device::Release()
{
    const ULONG count = --m_refCount;
    if (count == 0)
        delete this;
    return count;
}

UINT Device::GetAvailableTextureMem()
{
    Count();
    return 256u * 1024u * 1024u;
}

HRESULT Device::EvictManagedResources()
{
    Count();
    return D3D_OK;
}

HRESULT Device::GetDirect3D(IDirect3D9** ppD3D9)
{
    Count();
    if (!ppD3D9)
        return D3DERR_INVALIDCALL;
    m_d3d->AddRef();
    *ppD3D9 = m_d3d;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* pCaps)
{
    Count();
    if (!pCaps)
        return D3DERR_INVALIDCALL;
    FillCaps(m_type, *pCaps);
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode)
{
    Count();
    if (iSwapChain != 0 || !pMode)
        return D3DERR_INVALIDCALL;
    if (m_params.Windowed)
        return m_d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, pMode);
    *pMode = D3DDISPLAYMODE{m_params.BackBufferWidth, m_params.BackBufferHeight, m_params.FullScreen_RefreshRateInHz,
                            m_params.BackBufferFormat};
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters)
{
    Count();
    if (!pParameters)
        return D3DERR_INVALIDCALL;
    *pParameters = D3DDEVICE_CREATION_PARAMETERS{D3DADAPTER_DEFAULT, m_type, m_window, m_behaviour};
    return D3D_OK;
}

HRESULT Device::SetCursorProperties(UINT, UINT, IDirect3DSurface9*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

void Device::SetCursorPosition(int, int, DWORD)
{
    Count();
}

BOOL Device::ShowCursor(BOOL)
{
    Count();
    return FALSE;
}

HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS*, IDirect3DSwapChain9** pSwapChain)
{
    Count();
    if (pSwapChain)
        *pSwapChain = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** pSwapChain)
{
    Count();
    if (!pSwapChain)
        return D3DERR_INVALIDCALL;
    *pSwapChain = nullptr;
    if (iSwapChain != 0)
        return D3DERR_INVALIDCALL;
    m_swapChain.AddRef();
    *pSwapChain = &m_swapChain;
    return D3D_OK;
}

UINT Device::GetNumberOfSwapChains()
{
    Count();
    return 1;
}

HRESULT Device::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                              IDirect3DSurface9** ppBackBuffer)
{
    Count();
    if (!ppBackBuffer)
        return D3DERR_INVALIDCALL;
    *ppBackBuffer = nullptr;
    if (iSwapChain != 0 || iBackBuffer != 0 || Type != D3DBACKBUFFER_TYPE_MONO)
        return D3DERR_INVALIDCALL;
    m_backBuffer.AddRef();
    *ppBackBuffer = &m_backBuffer;
    return D3D_OK;
}

HRESULT Device::GetRasterStatus(UINT iSwapChain, D3DRASTER_STATUS* pRasterStatus)
{
    Count();
    if (iSwapChain != 0 || !pRasterStatus)
        return D3DERR_INVALIDCALL;
    *pRasterStatus = D3DRASTER_STATUS{FALSE, 0};
    return D3D_OK;
}

HRESULT Device::SetDialogBoxMode(BOOL bEnableDialogs)
{
    Count();
    // Dialog boxes over a full-screen window are shown by the window layer in any case.
    if (bEnableDialogs && !(m_params.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER))
        return D3DERR_INVALIDCALL;
    m_dialogBoxMode = bEnableDialogs != FALSE;
    return D3D_OK;
}

void Device::SetGammaRamp(UINT, DWORD, const D3DGAMMARAMP* pRamp)
{
    Count();
    if (pRamp)
        m_gamma = *pRamp;
}

void Device::GetGammaRamp(UINT, D3DGAMMARAMP* pRamp)
{
    Count();
    if (pRamp)
        *pRamp = m_gamma;
}

// ---------------------------------------------------------------------------------------------
// Resources

HRESULT Device::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle)
{
    Count();
    if (!ppTexture)
        return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    if (pSharedHandle || Width == 0 || Height == 0 || Width > 4096 || Height > 4096 || !BytesPerPixel(Format) ||
        Pool > D3DPOOL_SCRATCH || (Usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)))
        return D3DERR_INVALIDCALL;
    if ((Usage & D3DUSAGE_DYNAMIC) && Pool == D3DPOOL_MANAGED)
        return D3DERR_INVALIDCALL;
    UINT fullChain = 1;
    for (UINT w = Width, h = Height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2))
        ++fullChain;
    const UINT levels = (Levels == 0 || Levels > fullChain) ? fullChain : Levels;
    if (Levels > fullChain)
        return D3DERR_INVALIDCALL;
    *ppTexture = new Texture(this, Width, Height, levels, Usage, Format, Pool);
    return D3D_OK;
}

HRESULT Device::CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DVolumeTexture9** pp,
                                    HANDLE*)
{
    Count();
    if (pp)
        *pp = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9** pp, HANDLE*)
{
    Count();
    if (pp)
        *pp = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                   IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle)
{
    Count();
    if (!ppVertexBuffer)
        return D3DERR_INVALIDCALL;
    *ppVertexBuffer = nullptr;
    if (pSharedHandle || Length == 0 || Length > (256u << 20) || Pool > D3DPOOL_SCRATCH)
        return D3DERR_INVALIDCALL;
    if (FVF != 0) {
        const UINT size = FvfVertexSize(FVF);
        if (size == 0 || Length < size)
            return D3DERR_INVALIDCALL;
    }
    *ppVertexBuffer = new VertexBuffer(this, Length, Usage, FVF, Pool);
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                  IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle)
{
    Count();
    if (!ppIndexBuffer)
        return D3DERR_INVALIDCALL;
    *ppIndexBuffer = nullptr;
    if (pSharedHandle || Length == 0 || Length > (256u << 20) || Pool > D3DPOOL_SCRATCH ||
        (Format != D3DFMT_INDEX16 && Format != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    *ppIndexBuffer = new IndexBuffer(this, Length, Usage, Format, Pool);
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9** pp,
                                   HANDLE*)
{
    Count();
    if (pp)
        *pp = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::CreateDepthStencilSurface(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL,
                                          IDirect3DSurface9** pp, HANDLE*)
{
    Count();
    if (pp)
        *pp = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const POINT*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9*, IDirect3DBaseTexture9*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9*, IDirect3DSurface9*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

// The picture on the screen: in a window the whole desktop, with the client area showing what
// the window presented last; in full screen the mode. Converted to A8R8G8B8, as the system does.
HRESULT Device::GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* pDestSurface)
{
    Count();
    auto* dest = dynamic_cast<PlainSurface*>(pDestSurface);
    D3DDISPLAYMODE mode;
    if (iSwapChain != 0 || !dest || dest->Locked() || dest->Format() != D3DFMT_A8R8G8B8 ||
        FAILED(GetDisplayMode(0, &mode)) || dest->Width() != mode.Width || dest->Height() != mode.Height)
        return D3DERR_INVALIDCALL;
    if (m_cooperation != Cooperation::kOk)
        return D3DERR_DEVICELOST;
    for (UINT y = 0; y < dest->Height(); ++y)
        std::fill(dest->Row(y), dest->Row(y) + dest->Width(), 0xFF000000u);

    std::vector<uint8_t> kept;
    int keptWidth = 0, keptHeight = 0;
    if (!qv::ReadKeptFrame(m_window, kept, &keptWidth, &keptHeight) || keptWidth <= 0 || keptHeight <= 0)
        return D3D_OK; // nothing presented yet: the client area is black
    // Where the client area lies on that screen; the kept picture is in drawable pixels, which
    // may be finer than the screen's (or, in full screen, the display's rather than the mode's).
    RECT area = {0, 0, static_cast<LONG>(mode.Width), static_cast<LONG>(mode.Height)};
    if (m_params.Windowed) {
        RECT client;
        POINT origin = {0, 0};
        if (!GetClientRect(m_window, &client) || !ClientToScreen(m_window, &origin))
            return D3D_OK;
        area = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    }
    const LONG areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    if (areaWidth <= 0 || areaHeight <= 0)
        return D3D_OK;
    for (LONG y = std::max<LONG>(area.top, 0); y < std::min<LONG>(area.bottom, static_cast<LONG>(mode.Height)); ++y) {
        const size_t keptY = static_cast<size_t>(y - area.top) * static_cast<size_t>(keptHeight) / areaHeight;
        uint32_t* row = dest->Row(static_cast<UINT>(y));
        for (LONG x = std::max<LONG>(area.left, 0); x < std::min<LONG>(area.right, static_cast<LONG>(mode.Width)); ++x) {
            const size_t keptX = static_cast<size_t>(x - area.left) * static_cast<size_t>(keptWidth) / areaWidth;
            const uint8_t* p = &kept[(keptY * static_cast<size_t>(keptWidth) + keptX) * 4];
            row[x] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
        }
    }
    return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const RECT*, D3DTEXTUREFILTERTYPE)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::ColorFill(IDirect3DSurface9*, const RECT*, D3DCOLOR)
{
    Count();
    return D3DERR_INVALIDCALL;
}

// Only surfaces in system memory, of the 32-bit formats, which the processor alone reads and
// writes (a copy of the screen's picture, GetFrontBufferData).
HRESULT Device::CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                            IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle)
{
    Count();
    if (!ppSurface)
        return D3DERR_INVALIDCALL;
    *ppSurface = nullptr;
    if (pSharedHandle || Width == 0 || Height == 0 || Width > 16384 || Height > 16384 ||
        (Format != D3DFMT_A8R8G8B8 && Format != D3DFMT_X8R8G8B8) ||
        (Pool != D3DPOOL_SYSTEMMEM && Pool != D3DPOOL_SCRATCH))
        return D3DERR_INVALIDCALL;
    *ppSurface = new PlainSurface(this, Width, Height, Format, Pool);
    return D3D_OK;
}

HRESULT Device::SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget)
{
    Count();
    // Only the back buffer can be a target.
    return RenderTargetIndex == 0 && pRenderTarget == &m_backBuffer ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device::GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget)
{
    Count();
    if (!ppRenderTarget)
        return D3DERR_INVALIDCALL;
    *ppRenderTarget = nullptr;
    if (RenderTargetIndex != 0)
        return D3DERR_NOTFOUND;
    m_backBuffer.AddRef();
    *ppRenderTarget = &m_backBuffer;
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface)
{
    Count();
    if (ppZStencilSurface)
        *ppZStencilSurface = nullptr;
    return m_hasDepth ? D3DERR_INVALIDCALL : D3DERR_NOTFOUND;
}

// ---------------------------------------------------------------------------------------------
// Scenes and clearing

HRESULT Device::BeginScene()
{
    Count();
    if (m_inScene)
        return D3DERR_INVALIDCALL;
    m_inScene = true;
    return D3D_OK;
}

HRESULT Device::EndScene()
{
    Count();
    if (!m_inScene)
        return D3DERR_INVALIDCALL;
    m_inScene = false;
    if (m_cooperation == Cooperation::kOk && GlUsable()) {
        SendBatch();
        QVGL(Flush)();
        m_gl.FlushedAtEndOfScene();
    }
    return D3D_OK;
}

HRESULT Device::Clear(DWORD Count_, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil)
{
    Count();
    if ((Count_ > 0 && !pRects) || (Flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return D3DERR_INVALIDCALL;
    if (((Flags & D3DCLEAR_ZBUFFER) && !m_hasDepth) || ((Flags & D3DCLEAR_STENCIL) && !m_hasStencil))
        return D3DERR_INVALIDCALL;
    if (Flags == 0)
        return D3D_OK;
    if (m_cooperation != Cooperation::kOk || !GlUsable())
        return D3D_OK;
    SendBatch();
    GLbitfield mask = 0;
    if (Flags & D3DCLEAR_TARGET) {
        m_gl.ColorMask(true, true, true, true);
        const GLfloat color[4] = {((Color >> 16) & 0xFF) / 255.0f, ((Color >> 8) & 0xFF) / 255.0f,
                                  (Color & 0xFF) / 255.0f, ((Color >> 24) & 0xFF) / 255.0f};
        m_gl.ClearColor(color);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_ZBUFFER) {
        m_gl.DepthMask(true);
        m_gl.ClearDepth(std::min(1.0f, std::max(0.0f, Z)));
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_STENCIL) {
        m_gl.StencilMask(0xFF);
        m_gl.ClearStencil(static_cast<GLint>(Stencil & 0xFF));
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    // Clearing covers the viewport, or the given rectangles within it.
    const LONG bbH = static_cast<LONG>(BackBufferHeight());
    const LONG vx0 = static_cast<LONG>(m_state.viewport.X), vy0 = static_cast<LONG>(m_state.viewport.Y);
    const LONG vx1 = vx0 + static_cast<LONG>(m_state.viewport.Width), vy1 = vy0 + static_cast<LONG>(m_state.viewport.Height);
    m_gl.Enable(GL_SCISSOR_TEST, true);
    auto clearRect = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
        x0 = std::max(x0, vx0);
        y0 = std::max(y0, vy0);
        x1 = std::min(x1, vx1);
        y1 = std::min(y1, vy1);
        if (x1 <= x0 || y1 <= y0)
            return;
        m_gl.Scissor(x0, bbH - y1, x1 - x0, y1 - y0);
        QVGL(Clear)(mask);
    };
    if (Count_ == 0) {
        clearRect(vx0, vy0, vx1, vy1);
    } else {
        for (DWORD i = 0; i < Count_; ++i)
            clearRect(pRects[i].x1, pRects[i].y1, pRects[i].x2, pRects[i].y2);
    }
    Changed(kDirtyScissor | kDirtyRaster | kDirtyDepth | kDirtyStencil);
    return D3D_OK;
}

} // namespace qv::d3d9

// ---------------------------------------------------------------------------------------------
// Hooks

namespace qv::test {

uint64_t D3D9DeviceCallCount()
{
    return qv::d3d9::DeviceCallCount();
}

uint64_t OpenGlCallCount()
{
    return qv::gl::g_callCount;
}

uint64_t OpenGlDrawCount()
{
    return qv::gl::g_drawCount;
}

void SetD3D9Batching(bool enabled)
{
    if (auto* device = qv::d3d9::Device::Live())
        device->SendBatch();
    qv::d3d9::Device::EnableBatching(enabled);
}

void ArmOpenGlGuard(bool armed)
{
    qv::gl::g_batchGuard.armed = armed;
}

void LoseD3DDevice()
{
    if (auto* device = qv::d3d9::Device::Live())
        device->Lose();
}

void AllowD3DDeviceReset()
{
    if (auto* device = qv::d3d9::Device::Live())
        device->AllowReset();
}

} // namespace qv::test

namespace qv {

void D3D9FullScreenLost(HWND hWnd)
{
    auto* device = qv::d3d9::Device::Live();
    if (device && device->Window() == hWnd && !device->Params().Windowed)
        device->Lose();
}

void D3D9FullScreenRegained(HWND hWnd)
{
    auto* device = qv::d3d9::Device::Live();
    if (device && device->Window() == hWnd)
        device->AllowReset();
}

} // namespace qv
