// The device: creation on the window's OpenGL context, the back buffer as a framebuffer
// object, presentation, device loss and reset, and every state Direct3D keeps, with its
// defaults and its validation. Drawing and the translation to OpenGL are in DeviceDraw.cpp.
#include "platform/d3d9/Device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/win32/SdlWindow.h"

namespace qv::d3d9 {

std::atomic<uint64_t> Device::s_callCount{0};

namespace {

Device* g_liveDevice = nullptr;

DWORD FloatBits(float f)
{
    DWORD d;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

// Render states of the Direct3D 9 enumeration and the group each one belongs to.
struct RenderStateTable {
    std::array<uint32_t, kMaxRenderState> group{};
    std::array<bool, kMaxRenderState> valid{};
    RenderStateTable()
    {
        auto add = [this](DWORD s, uint32_t g) {
            valid[s] = true;
            group[s] = g;
        };
        for (DWORD s : {D3DRS_ZENABLE, D3DRS_ZWRITEENABLE, D3DRS_ZFUNC})
            add(s, kDirtyDepth);
        for (DWORD s : {D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_CULLMODE, D3DRS_COLORWRITEENABLE, D3DRS_DEPTHBIAS,
                        D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_POINTSIZE, D3DRS_DITHERENABLE})
            add(s, kDirtyRaster);
        for (DWORD s : {D3DRS_ALPHATESTENABLE, D3DRS_ALPHAREF, D3DRS_ALPHAFUNC})
            add(s, kDirtyAlphaTest);
        for (DWORD s : {D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ALPHABLENDENABLE, D3DRS_BLENDOP, D3DRS_BLENDFACTOR,
                        D3DRS_SEPARATEALPHABLENDENABLE, D3DRS_SRCBLENDALPHA, D3DRS_DESTBLENDALPHA,
                        D3DRS_BLENDOPALPHA})
            add(s, kDirtyBlend);
        for (DWORD s : {D3DRS_STENCILENABLE, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS,
                        D3DRS_STENCILFUNC, D3DRS_STENCILREF, D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK,
                        D3DRS_TWOSIDEDSTENCILMODE, D3DRS_CCW_STENCILFAIL, D3DRS_CCW_STENCILZFAIL,
                        D3DRS_CCW_STENCILPASS, D3DRS_CCW_STENCILFUNC})
            add(s, kDirtyStencil);
        for (DWORD s : {D3DRS_LIGHTING, D3DRS_AMBIENT, D3DRS_COLORVERTEX, D3DRS_LOCALVIEWER, D3DRS_NORMALIZENORMALS,
                        D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE,
                        D3DRS_EMISSIVEMATERIALSOURCE})
            add(s, kDirtyLighting);
        add(D3DRS_SPECULARENABLE, kDirtyLighting | kDirtyMaterial | kDirtyLights);
        for (DWORD s : {D3DRS_FOGENABLE, D3DRS_FOGCOLOR, D3DRS_FOGTABLEMODE, D3DRS_FOGSTART, D3DRS_FOGEND,
                        D3DRS_FOGDENSITY, D3DRS_RANGEFOGENABLE, D3DRS_FOGVERTEXMODE})
            add(s, kDirtyFog);
        add(D3DRS_TEXTUREFACTOR, kDirtyStage);
        add(D3DRS_SCISSORTESTENABLE, kDirtyScissor);
        // Accepted and kept; the fixed-function translation does not need them.
        for (DWORD s : {D3DRS_LASTPIXEL, D3DRS_WRAP0, D3DRS_WRAP1, D3DRS_WRAP2, D3DRS_WRAP3, D3DRS_WRAP4,
                        D3DRS_WRAP5, D3DRS_WRAP6, D3DRS_WRAP7, D3DRS_CLIPPING, D3DRS_VERTEXBLEND,
                        D3DRS_CLIPPLANEENABLE, D3DRS_POINTSIZE_MIN, D3DRS_POINTSPRITEENABLE,
                        D3DRS_POINTSCALEENABLE, D3DRS_POINTSCALE_A, D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C,
                        D3DRS_MULTISAMPLEANTIALIAS, D3DRS_MULTISAMPLEMASK, D3DRS_PATCHEDGESTYLE,
                        D3DRS_DEBUGMONITORTOKEN, D3DRS_POINTSIZE_MAX, D3DRS_INDEXEDVERTEXBLENDENABLE,
                        D3DRS_TWEENFACTOR, D3DRS_POSITIONDEGREE, D3DRS_NORMALDEGREE, D3DRS_ANTIALIASEDLINEENABLE,
                        D3DRS_MINTESSELLATIONLEVEL, D3DRS_MAXTESSELLATIONLEVEL, D3DRS_ADAPTIVETESS_X,
                        D3DRS_ADAPTIVETESS_Y, D3DRS_ADAPTIVETESS_Z, D3DRS_ADAPTIVETESS_W,
                        D3DRS_ENABLEADAPTIVETESSELLATION, D3DRS_COLORWRITEENABLE1, D3DRS_COLORWRITEENABLE2,
                        D3DRS_COLORWRITEENABLE3, D3DRS_SRGBWRITEENABLE, D3DRS_WRAP8, D3DRS_WRAP9, D3DRS_WRAP10,
                        D3DRS_WRAP11, D3DRS_WRAP12, D3DRS_WRAP13, D3DRS_WRAP14, D3DRS_WRAP15})
            add(s, 0);
    }
};

const RenderStateTable& States()
{
    static const RenderStateTable table;
    return table;
}

bool ValidTransform(DWORD t)
{
    return t == D3DTS_VIEW || t == D3DTS_PROJECTION || (t >= D3DTS_TEXTURE0 && t <= D3DTS_TEXTURE7) ||
           (t >= 256 && t <= 511);
}

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

bool IsRenderState(DWORD state)
{
    return state < kMaxRenderState && States().valid[state];
}

uint32_t RenderStateGroup(DWORD state)
{
    return state < kMaxRenderState ? States().group[state] : 0;
}

bool IsStageState(DWORD state)
{
    return (state >= D3DTSS_COLOROP && state <= D3DTSS_TEXCOORDINDEX) || state == D3DTSS_BUMPENVLSCALE ||
           state == D3DTSS_BUMPENVLOFFSET || state == D3DTSS_TEXTURETRANSFORMFLAGS || state == D3DTSS_COLORARG0 ||
           state == D3DTSS_ALPHAARG0 || state == D3DTSS_RESULTARG || state == D3DTSS_CONSTANT;
}

bool IsSamplerState(DWORD state)
{
    return state >= D3DSAMP_ADDRESSU && state <= D3DSAMP_DMAPOFFSET;
}

D3DMATRIX IdentityMatrix()
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

uint64_t DeviceCallCount()
{
    return Device::s_callCount.load();
}

Device* Device::Live()
{
    return g_liveDevice;
}

// ---------------------------------------------------------------------------------------------
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
    DropBatch();
    FreeStream(m_batchVertexStream);
    FreeStream(m_batchIndexStream);
    FreeTextureArrays();
    FreeTextureArrayProgram();
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
    m_glBoundTexture = 0;

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
        QVGL(DisableClientState)(array);
    m_glArrays = 0;
    QVGL(BindBuffer)(GL_ARRAY_BUFFER, 0);
    QVGL(BindBuffer)(GL_ELEMENT_ARRAY_BUFFER, 0);
    m_glArrayBuffer = m_glElementBuffer = 0;
    m_gl.Enable(GL_TEXTURE_2D, false);
    m_glTexturing = false;
    QVGL(BindTexture)(GL_TEXTURE_2D, 0);
    m_glBoundTexture = 0;
    for (GLenum i = 0; i < kGlLights; ++i)
        m_gl.Enable(GL_LIGHT0 + i, false);
    m_glLightCount = 0;
    const D3DMATRIX identity = IdentityMatrix();
    m_gl.LoadMatrix(GL_TEXTURE, &identity.m[0][0]);
}

void Device::ResetState()
{
    auto& rs = m_renderStates;
    rs.fill(0);
    rs[D3DRS_ZENABLE] = m_params.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_ALPHATESTENABLE] = FALSE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAREF] = 0;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGSTART] = FloatBits(0.0f);
    rs[D3DRS_FOGEND] = FloatBits(1.0f);
    rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_POINTSIZE] = FloatBits(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
    rs[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_POSITIONDEGREE] = D3DDEGREE_CUBIC;
    rs[D3DRS_NORMALDEGREE] = D3DDEGREE_LINEAR;
    rs[D3DRS_MINTESSELLATIONLEVEL] = FloatBits(1.0f);
    rs[D3DRS_MAXTESSELLATIONLEVEL] = FloatBits(1.0f);
    rs[D3DRS_ADAPTIVETESS_Z] = FloatBits(1.0f);
    rs[D3DRS_CCW_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_COLORWRITEENABLE1] = 0xF;
    rs[D3DRS_COLORWRITEENABLE2] = 0xF;
    rs[D3DRS_COLORWRITEENABLE3] = 0xF;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    for (UINT stage = 0; stage < kStages; ++stage) {
        auto& ts = m_stageStates[stage];
        ts.fill(0);
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = stage;
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (auto& ss : m_samplerStates) {
        ss.fill(0);
        ss[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
    }
    m_transforms.clear();
    std::memset(&m_material, 0, sizeof m_material);
    m_lights.clear();
    m_textures.fill(nullptr);
    m_fvf = 0;
    m_declaration = nullptr;
    for (auto& stream : m_streams)
        stream = Stream();
    m_indices = nullptr;
    m_viewport = D3DVIEWPORT9{0, 0, m_params.BackBufferWidth, m_params.BackBufferHeight, 0.0f, 1.0f};
    m_scissor = RECT{0, 0, static_cast<LONG>(m_params.BackBufferWidth), static_cast<LONG>(m_params.BackBufferHeight)};
    for (auto& plane : m_clipPlanes)
        plane.fill(0.0f);
    m_inScene = false;
    m_dirty = kDirtyAll;
    m_glTransformMode = -1;
    m_glColorMaterial = -1;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* pPresentationParameters)
{
    Count();
    if (!pPresentationParameters)
        return D3DERR_INVALIDCALL;
    if (m_cooperation == Cooperation::kLost)
        return D3DERR_DEVICELOST;
    D3DPRESENT_PARAMETERS adjusted = *pPresentationParameters;
    HRESULT hr = ValidateParams(adjusted);
    if (FAILED(hr))
        return hr;
    if (!GlUsable() && !qv::MakeGlCurrent(m_window))
        return D3DERR_DEVICELOST;
    // What was gathered for the old back buffer is not drawn on the new one.
    DropBatch();
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
    DropBatch(); // a lost device's frame is not shown
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
    FlushBatch();
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
    m_dirty |= kDirtyRaster | kDirtyScissor;
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
    FlushBatch();
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
    FlushBatch();
    const size_t pitch = static_cast<size_t>(w) * 4;
    std::vector<uint8_t> upsideDown(pixels.size());
    for (UINT y = 0; y < h; ++y)
        std::memcpy(&upsideDown[(h - 1 - y) * pitch], &pixels[y * pitch], pitch);
    BindTextureForUpload(m_colorTexture);
    QVGL(TexSubImage2D)(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), GL_BGRA,
                        GL_UNSIGNED_BYTE, upsideDown.data());
}

void Device::BindTextureForUpload(GLuint name)
{
    // The gathered draws may sample the texture as it was.
    FlushBatch();
    if (m_glBoundTexture != name) {
        QVGL(BindTexture)(GL_TEXTURE_2D, name);
        m_glBoundTexture = name;
    }
}

void Device::Forget(Texture* texture)
{
    FlushBatch();
    if (texture)
        ForgetArrayLayer(texture);
    for (auto& t : m_textures)
        if (t == texture)
            t = nullptr;
    if (texture && m_glBoundTexture == texture->GlName())
        m_glBoundTexture = 0;
    m_dirty |= kDirtyStage | kDirtySampler;
}

void Device::BindBufferForUpload(GLenum target, GLuint name)
{
    if (target == GL_ELEMENT_ARRAY_BUFFER)
        BindElementBuffer(name);
    else
        BindArrayBuffer(name);
}

void Device::ForgetGlBuffer(GLuint name)
{
    // OpenGL unbinds a deleted buffer object itself.
    if (m_glArrayBuffer == name)
        m_glArrayBuffer = 0;
    if (m_glElementBuffer == name)
        m_glElementBuffer = 0;
}

void Device::TextureChanged(Texture* texture)
{
    FlushBatch();
    if (m_textures[0] == texture)
        m_dirty |= kDirtyStage | kDirtySampler;
}

void Device::Forget(VertexBuffer* buffer)
{
    BufferChanging(buffer);
    for (auto& s : m_streams)
        if (s.buffer == buffer)
            s = Stream();
}

void Device::Forget(IndexBuffer* buffer)
{
    BufferChanging(buffer);
    if (m_indices == buffer)
        m_indices = nullptr;
}

void Device::Forget(VertexDeclaration* declaration)
{
    if (m_declaration == declaration)
        m_declaration = nullptr;
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

HRESULT Device::GetFrontBufferData(UINT, IDirect3DSurface9*)
{
    Count();
    return D3DERR_INVALIDCALL;
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

HRESULT Device::CreateOffscreenPlainSurface(UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9** pp, HANDLE*)
{
    Count();
    if (pp)
        *pp = nullptr;
    return D3DERR_INVALIDCALL;
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
        FlushBatch();
        QVGL(Flush)();
        m_workSinceFlush = 0;
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
    FlushBatch();
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
    const LONG vx0 = static_cast<LONG>(m_viewport.X), vy0 = static_cast<LONG>(m_viewport.Y);
    const LONG vx1 = vx0 + static_cast<LONG>(m_viewport.Width), vy1 = vy0 + static_cast<LONG>(m_viewport.Height);
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
    m_dirty |= kDirtyScissor | kDirtyRaster | kDirtyDepth | kDirtyStencil;
    return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Transforms, viewport, material, lights

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix)
{
    Count();
    const DWORD t = static_cast<DWORD>(State);
    if (!pMatrix || !ValidTransform(t))
        return D3DERR_INVALIDCALL;
    m_transforms[t] = *pMatrix;
    if (t == D3DTS_VIEW)
        m_dirty |= kDirtyModelView | kDirtyLights | kDirtyView;
    else if (t == D3DTS_PROJECTION)
        m_dirty |= kDirtyProjection;
    else if (t == D3DTS_WORLD)
        m_dirty |= kDirtyModelView;
    else if (t == D3DTS_TEXTURE0)
        m_dirty |= kDirtyStage;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix)
{
    Count();
    const DWORD t = static_cast<DWORD>(State);
    if (!pMatrix || !ValidTransform(t))
        return D3DERR_INVALIDCALL;
    auto it = m_transforms.find(t);
    *pMatrix = it != m_transforms.end() ? it->second : IdentityMatrix();
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix)
{
    Count();
    const DWORD t = static_cast<DWORD>(State);
    if (!pMatrix || !ValidTransform(t))
        return D3DERR_INVALIDCALL;
    auto it = m_transforms.find(t);
    const D3DMATRIX a = it != m_transforms.end() ? it->second : IdentityMatrix();
    // Direct3D multiplies the given matrix on the right: M = M x given.
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * pMatrix->m[0][j] + a.m[i][1] * pMatrix->m[1][j] + a.m[i][2] * pMatrix->m[2][j] +
                        a.m[i][3] * pMatrix->m[3][j];
    --s_callCount; // one device call, not two
    return SetTransform(State, &r);
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* pViewport)
{
    Count();
    if (!pViewport || pViewport->Width == 0 || pViewport->Height == 0 ||
        static_cast<uint64_t>(pViewport->X) + pViewport->Width > BackBufferWidth() ||
        static_cast<uint64_t>(pViewport->Y) + pViewport->Height > BackBufferHeight() ||
        !(pViewport->MinZ >= 0.0f && pViewport->MinZ <= 1.0f) || !(pViewport->MaxZ >= 0.0f && pViewport->MaxZ <= 1.0f))
        return D3DERR_INVALIDCALL;
    m_viewport = *pViewport;
    m_dirty |= kDirtyViewport | kDirtyProjection;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* pViewport)
{
    Count();
    if (!pViewport)
        return D3DERR_INVALIDCALL;
    *pViewport = m_viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* pMaterial)
{
    Count();
    if (!pMaterial)
        return D3DERR_INVALIDCALL;
    m_material = *pMaterial;
    m_dirty |= kDirtyMaterial;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* pMaterial)
{
    Count();
    if (!pMaterial)
        return D3DERR_INVALIDCALL;
    *pMaterial = m_material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD Index, const D3DLIGHT9* pLight)
{
    Count();
    if (!pLight || pLight->Type < D3DLIGHT_POINT || pLight->Type > D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    if (pLight->Type != D3DLIGHT_DIRECTIONAL && !(pLight->Range >= 0.0f))
        return D3DERR_INVALIDCALL;
    if (pLight->Type == D3DLIGHT_SPOT && !(pLight->Theta >= 0.0f && pLight->Phi >= pLight->Theta))
        return D3DERR_INVALIDCALL;
    auto it = m_lights.find(Index);
    if (it == m_lights.end())
        m_lights[Index] = LightSlot{*pLight, false};
    else
        it->second.light = *pLight;
    m_dirty |= kDirtyLights;
    ++m_lightsVersion;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD Index, D3DLIGHT9* pLight)
{
    Count();
    auto it = m_lights.find(Index);
    if (!pLight || it == m_lights.end())
        return D3DERR_INVALIDCALL;
    *pLight = it->second.light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD Index, BOOL Enable)
{
    Count();
    auto it = m_lights.find(Index);
    if (it == m_lights.end()) {
        // Enabling a light that was never set makes Direct3D's default: a white directional
        // light shining along +z.
        D3DLIGHT9 light;
        std::memset(&light, 0, sizeof light);
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
        it = m_lights.emplace(Index, LightSlot{light, false}).first;
    }
    const bool enable = Enable != FALSE;
    if (enable && !it->second.enabled) {
        UINT active = 0;
        for (const auto& entry : m_lights)
            active += entry.second.enabled ? 1 : 0;
        if (active >= kGlLights)
            return D3DERR_INVALIDCALL;
    }
    it->second.enabled = enable;
    m_dirty |= kDirtyLights;
    ++m_lightsVersion;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD Index, BOOL* pEnable)
{
    Count();
    auto it = m_lights.find(Index);
    if (!pEnable || it == m_lights.end())
        return D3DERR_INVALIDCALL;
    // Direct3D answers 128 for an enabled light, not 1.
    *pEnable = it->second.enabled ? 128 : FALSE;
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD Index, const float* pPlane)
{
    Count();
    if (!pPlane || Index >= m_clipPlanes.size())
        return D3DERR_INVALIDCALL;
    std::copy(pPlane, pPlane + 4, m_clipPlanes[Index].begin());
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD Index, float* pPlane)
{
    Count();
    if (!pPlane || Index >= m_clipPlanes.size())
        return D3DERR_INVALIDCALL;
    std::copy(m_clipPlanes[Index].begin(), m_clipPlanes[Index].end(), pPlane);
    return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Render, texture-stage and sampler states

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value)
{
    Count();
    const DWORD s = static_cast<DWORD>(State);
    if (!IsRenderState(s))
        return D3DERR_INVALIDCALL;
    if (m_renderStates[s] != Value) {
        m_renderStates[s] = Value;
        m_dirty |= RenderStateGroup(s);
    }
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue)
{
    Count();
    const DWORD s = static_cast<DWORD>(State);
    if (!pValue || !IsRenderState(s))
        return D3DERR_INVALIDCALL;
    *pValue = m_renderStates[s];
    return D3D_OK;
}

HRESULT Device::CreateStateBlock(D3DSTATEBLOCKTYPE, IDirect3DStateBlock9** ppSB)
{
    Count();
    if (ppSB)
        *ppSB = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::BeginStateBlock()
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::EndStateBlock(IDirect3DStateBlock9** ppSB)
{
    Count();
    if (ppSB)
        *ppSB = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetClipStatus(const D3DCLIPSTATUS9* pClipStatus)
{
    Count();
    if (!pClipStatus)
        return D3DERR_INVALIDCALL;
    m_clipStatus = *pClipStatus;
    return D3D_OK;
}

HRESULT Device::GetClipStatus(D3DCLIPSTATUS9* pClipStatus)
{
    Count();
    if (!pClipStatus)
        return D3DERR_INVALIDCALL;
    *pClipStatus = m_clipStatus;
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture)
{
    Count();
    if (!ppTexture || Stage >= kStages)
        return D3DERR_INVALIDCALL;
    *ppTexture = m_textures[Stage];
    if (*ppTexture)
        (*ppTexture)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture)
{
    Count();
    if (Stage >= kStages)
        return D3DERR_INVALIDCALL;
    Texture* texture = nullptr;
    if (pTexture) {
        // Only textures of this device can be bound.
        if (pTexture->GetType() != D3DRTYPE_TEXTURE)
            return D3DERR_INVALIDCALL;
        texture = static_cast<Texture*>(static_cast<IDirect3DTexture9*>(pTexture));
        if (texture->OwnerDevice() != this)
            return D3DERR_INVALIDCALL;
    }
    if (m_textures[Stage] != texture) {
        m_textures[Stage] = texture;
        if (Stage == 0)
            m_dirty |= kDirtyStage | kDirtySampler;
    }
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue)
{
    Count();
    if (!pValue || Stage >= kStages || !IsStageState(Type))
        return D3DERR_INVALIDCALL;
    *pValue = m_stageStates[Stage][Type];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value)
{
    Count();
    if (Stage >= kStages || !IsStageState(Type))
        return D3DERR_INVALIDCALL;
    if (m_stageStates[Stage][Type] != Value) {
        m_stageStates[Stage][Type] = Value;
        if (Stage == 0)
            m_dirty |= kDirtyStage;
    }
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue)
{
    Count();
    if (!pValue || Sampler >= kSamplers || !IsSamplerState(Type))
        return D3DERR_INVALIDCALL;
    *pValue = m_samplerStates[Sampler][Type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value)
{
    Count();
    if (Sampler >= kSamplers || !IsSamplerState(Type))
        return D3DERR_INVALIDCALL;
    if (m_samplerStates[Sampler][Type] != Value) {
        m_samplerStates[Sampler][Type] = Value;
        if (Sampler == 0)
            m_dirty |= kDirtySampler;
    }
    return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* pNumPasses)
{
    Count();
    if (pNumPasses)
        *pNumPasses = 1;
    return D3D_OK;
}

HRESULT Device::SetPaletteEntries(UINT, const PALETTEENTRY*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPaletteEntries(UINT, PALETTEENTRY*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetCurrentTexturePalette(UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetCurrentTexturePalette(UINT*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetScissorRect(const RECT* pRect)
{
    Count();
    if (!pRect || pRect->left > pRect->right || pRect->top > pRect->bottom)
        return D3DERR_INVALIDCALL;
    m_scissor = *pRect;
    m_dirty |= kDirtyScissor;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* pRect)
{
    Count();
    if (!pRect)
        return D3DERR_INVALIDCALL;
    *pRect = m_scissor;
    return D3D_OK;
}

HRESULT Device::SetSoftwareVertexProcessing(BOOL bSoftware)
{
    Count();
    m_softwareVertexProcessing = bSoftware;
    return D3D_OK;
}

BOOL Device::GetSoftwareVertexProcessing()
{
    Count();
    return m_softwareVertexProcessing;
}

HRESULT Device::SetNPatchMode(float nSegments)
{
    Count();
    m_nPatchMode = nSegments;
    return D3D_OK;
}

float Device::GetNPatchMode()
{
    Count();
    return m_nPatchMode;
}

// ---------------------------------------------------------------------------------------------
// Vertex formats, streams, shaders

HRESULT Device::ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9*, IDirect3DVertexDeclaration9*, DWORD)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                        IDirect3DVertexDeclaration9** ppDecl)
{
    Count();
    if (!ppDecl)
        return D3DERR_INVALIDCALL;
    *ppDecl = nullptr;
    VertexLayout layout;
    if (!pVertexElements || !LayoutFromDeclaration(pVertexElements, layout))
        return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> elements;
    for (UINT i = 0;; ++i) {
        elements.push_back(pVertexElements[i]);
        if (pVertexElements[i].Stream == 0xFF)
            break;
    }
    *ppDecl = new VertexDeclaration(this, std::move(elements), layout);
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl)
{
    Count();
    // Like every binding of the device, a weak one: the declaration forgets itself when freed.
    m_declaration = static_cast<VertexDeclaration*>(pDecl);
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl)
{
    Count();
    if (!ppDecl)
        return D3DERR_INVALIDCALL;
    *ppDecl = m_declaration;
    if (m_declaration)
        m_declaration->AddRef();
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD FVF)
{
    Count();
    VertexLayout layout;
    if (FVF != 0 && !LayoutFromFvf(FVF, layout))
        return D3DERR_INVALIDCALL;
    m_fvf = FVF;
    // An FVF replaces the declaration, as it does in Direct3D.
    if (FVF != 0)
        m_declaration = nullptr;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* pFVF)
{
    Count();
    if (!pFVF)
        return D3DERR_INVALIDCALL;
    *pFVF = m_declaration ? 0 : m_fvf;
    return D3D_OK;
}

HRESULT Device::CreateVertexShader(const DWORD*, IDirect3DVertexShader9** ppShader)
{
    Count();
    if (ppShader)
        *ppShader = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* pShader)
{
    Count();
    return pShader ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** ppShader)
{
    Count();
    if (!ppShader)
        return D3DERR_INVALIDCALL;
    *ppShader = nullptr;
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT, const float*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetVertexShaderConstantF(UINT, float*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetVertexShaderConstantI(UINT, const int*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetVertexShaderConstantI(UINT, int*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetVertexShaderConstantB(UINT, const BOOL*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetVertexShaderConstantB(UINT, BOOL*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                                UINT Stride)
{
    Count();
    if (StreamNumber >= kStreams || (pStreamData && Stride == 0) || (OffsetInBytes & 3))
        return D3DERR_INVALIDCALL;
    auto* buffer = static_cast<VertexBuffer*>(pStreamData);
    if (buffer && buffer->OwnerDevice() != this)
        return D3DERR_INVALIDCALL;
    m_streams[StreamNumber].buffer = buffer;
    m_streams[StreamNumber].offset = OffsetInBytes;
    m_streams[StreamNumber].stride = Stride;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                                UINT* pStride)
{
    Count();
    if (StreamNumber >= kStreams || !ppStreamData || !pOffsetInBytes || !pStride)
        return D3DERR_INVALIDCALL;
    *ppStreamData = m_streams[StreamNumber].buffer;
    if (*ppStreamData)
        (*ppStreamData)->AddRef();
    *pOffsetInBytes = m_streams[StreamNumber].offset;
    *pStride = m_streams[StreamNumber].stride;
    return D3D_OK;
}

HRESULT Device::SetStreamSourceFreq(UINT StreamNumber, UINT Setting)
{
    Count();
    if (StreamNumber >= kStreams || Setting != 1)
        return D3DERR_INVALIDCALL;
    m_streams[StreamNumber].frequency = Setting;
    return D3D_OK;
}

HRESULT Device::GetStreamSourceFreq(UINT StreamNumber, UINT* pSetting)
{
    Count();
    if (StreamNumber >= kStreams || !pSetting)
        return D3DERR_INVALIDCALL;
    *pSetting = m_streams[StreamNumber].frequency;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* pIndexData)
{
    Count();
    auto* buffer = static_cast<IndexBuffer*>(pIndexData);
    if (buffer && buffer->OwnerDevice() != this)
        return D3DERR_INVALIDCALL;
    m_indices = buffer;
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** ppIndexData)
{
    Count();
    if (!ppIndexData)
        return D3DERR_INVALIDCALL;
    *ppIndexData = m_indices;
    if (m_indices)
        m_indices->AddRef();
    return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD*, IDirect3DPixelShader9** ppShader)
{
    Count();
    if (ppShader)
        *ppShader = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* pShader)
{
    Count();
    return pShader ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** ppShader)
{
    Count();
    if (!ppShader)
        return D3DERR_INVALIDCALL;
    *ppShader = nullptr;
    return D3D_OK;
}

HRESULT Device::SetPixelShaderConstantF(UINT, const float*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPixelShaderConstantF(UINT, float*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetPixelShaderConstantI(UINT, const int*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPixelShaderConstantI(UINT, int*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetPixelShaderConstantB(UINT, const BOOL*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPixelShaderConstantB(UINT, BOOL*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::DeletePatch(UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::CreateQuery(D3DQUERYTYPE, IDirect3DQuery9** ppQuery)
{
    Count();
    if (ppQuery)
        *ppQuery = nullptr;
    return D3DERR_NOTAVAILABLE;
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
        device->FlushBatch();
    qv::d3d9::Device::EnableBatching(enabled);
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
