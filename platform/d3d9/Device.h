// The Direct3D 9 device: fixed-function state kept as Direct3D defines it (DeviceState.h),
// translated to the OpenGL 2.1 compatibility profile of the window's context when something is
// drawn (DeviceTranslation.cpp), with small draws gathered into one OpenGL draw (DrawBatch.h).
// Device.cpp holds its lifetime, presentation and resources; DeviceStates.cpp its transforms,
// lights and states; DeviceStreams.cpp its vertex formats, streams and shaders; DeviceDraw.cpp
// its draws. Inside platform/d3d9 only.
#pragma once

#include <SDL.h>

#include <atomic>
#include <vector>

#include "platform/d3d9/DeviceState.h"
#include "platform/d3d9/DrawBatch.h"
#include "platform/d3d9/GlStateCache.h"

namespace qv::d3d9 {

class Device : public IDirect3DDevice9 {
public:
    // Makes a device on the window's OpenGL context; the result of CreateDevice.
    static HRESULT Create(Direct3D9* d3d, D3DDEVTYPE type, HWND focusWindow, DWORD behaviour,
                          D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out);

    // IUnknown
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IDirect3DDevice9, in its order
    STDMETHOD(TestCooperativeLevel)() override;
    STDMETHOD_(UINT, GetAvailableTextureMem)() override;
    STDMETHOD(EvictManagedResources)() override;
    STDMETHOD(GetDirect3D)(IDirect3D9** ppD3D9) override;
    STDMETHOD(GetDeviceCaps)(D3DCAPS9* pCaps) override;
    STDMETHOD(GetDisplayMode)(UINT iSwapChain, D3DDISPLAYMODE* pMode) override;
    STDMETHOD(GetCreationParameters)(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    STDMETHOD(SetCursorProperties)(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface9* pCursorBitmap) override;
    STDMETHOD_(void, SetCursorPosition)(int X, int Y, DWORD Flags) override;
    STDMETHOD_(BOOL, ShowCursor)(BOOL bShow) override;
    STDMETHOD(CreateAdditionalSwapChain)(D3DPRESENT_PARAMETERS* pPresentationParameters,
                                         IDirect3DSwapChain9** pSwapChain) override;
    STDMETHOD(GetSwapChain)(UINT iSwapChain, IDirect3DSwapChain9** pSwapChain) override;
    STDMETHOD_(UINT, GetNumberOfSwapChains)() override;
    STDMETHOD(Reset)(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    STDMETHOD(Present)(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                       const RGNDATA* pDirtyRegion) override;
    STDMETHOD(GetBackBuffer)(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                             IDirect3DSurface9** ppBackBuffer) override;
    STDMETHOD(GetRasterStatus)(UINT iSwapChain, D3DRASTER_STATUS* pRasterStatus) override;
    STDMETHOD(SetDialogBoxMode)(BOOL bEnableDialogs) override;
    STDMETHOD_(void, SetGammaRamp)(UINT iSwapChain, DWORD Flags, const D3DGAMMARAMP* pRamp) override;
    STDMETHOD_(void, GetGammaRamp)(UINT iSwapChain, D3DGAMMARAMP* pRamp) override;
    STDMETHOD(CreateTexture)(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                             IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) override;
    STDMETHOD(CreateVolumeTexture)(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DVolumeTexture9**,
                                   HANDLE*) override;
    STDMETHOD(CreateCubeTexture)(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9**, HANDLE*) override;
    STDMETHOD(CreateVertexBuffer)(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                  IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) override;
    STDMETHOD(CreateIndexBuffer)(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                 IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) override;
    STDMETHOD(CreateRenderTarget)(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9**,
                                  HANDLE*) override;
    STDMETHOD(CreateDepthStencilSurface)(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL,
                                         IDirect3DSurface9**, HANDLE*) override;
    STDMETHOD(UpdateSurface)(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const POINT*) override;
    STDMETHOD(UpdateTexture)(IDirect3DBaseTexture9*, IDirect3DBaseTexture9*) override;
    STDMETHOD(GetRenderTargetData)(IDirect3DSurface9*, IDirect3DSurface9*) override;
    STDMETHOD(GetFrontBufferData)(UINT, IDirect3DSurface9*) override;
    STDMETHOD(StretchRect)(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const RECT*,
                           D3DTEXTUREFILTERTYPE) override;
    STDMETHOD(ColorFill)(IDirect3DSurface9*, const RECT*, D3DCOLOR) override;
    STDMETHOD(CreateOffscreenPlainSurface)(UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9**, HANDLE*) override;
    STDMETHOD(SetRenderTarget)(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) override;
    STDMETHOD(GetRenderTarget)(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override;
    STDMETHOD(SetDepthStencilSurface)(IDirect3DSurface9* pNewZStencil) override;
    STDMETHOD(GetDepthStencilSurface)(IDirect3DSurface9** ppZStencilSurface) override;
    STDMETHOD(BeginScene)() override;
    STDMETHOD(EndScene)() override;
    STDMETHOD(Clear)(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
    STDMETHOD(SetTransform)(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    STDMETHOD(GetTransform)(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    STDMETHOD(MultiplyTransform)(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    STDMETHOD(SetViewport)(const D3DVIEWPORT9* pViewport) override;
    STDMETHOD(GetViewport)(D3DVIEWPORT9* pViewport) override;
    STDMETHOD(SetMaterial)(const D3DMATERIAL9* pMaterial) override;
    STDMETHOD(GetMaterial)(D3DMATERIAL9* pMaterial) override;
    STDMETHOD(SetLight)(DWORD Index, const D3DLIGHT9* pLight) override;
    STDMETHOD(GetLight)(DWORD Index, D3DLIGHT9* pLight) override;
    STDMETHOD(LightEnable)(DWORD Index, BOOL Enable) override;
    STDMETHOD(GetLightEnable)(DWORD Index, BOOL* pEnable) override;
    STDMETHOD(SetClipPlane)(DWORD Index, const float* pPlane) override;
    STDMETHOD(GetClipPlane)(DWORD Index, float* pPlane) override;
    STDMETHOD(SetRenderState)(D3DRENDERSTATETYPE State, DWORD Value) override;
    STDMETHOD(GetRenderState)(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    STDMETHOD(CreateStateBlock)(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** ppSB) override;
    STDMETHOD(BeginStateBlock)() override;
    STDMETHOD(EndStateBlock)(IDirect3DStateBlock9** ppSB) override;
    STDMETHOD(SetClipStatus)(const D3DCLIPSTATUS9* pClipStatus) override;
    STDMETHOD(GetClipStatus)(D3DCLIPSTATUS9* pClipStatus) override;
    STDMETHOD(GetTexture)(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override;
    STDMETHOD(SetTexture)(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    STDMETHOD(GetTextureStageState)(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    STDMETHOD(SetTextureStageState)(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    STDMETHOD(GetSamplerState)(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
    STDMETHOD(SetSamplerState)(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    STDMETHOD(ValidateDevice)(DWORD* pNumPasses) override;
    STDMETHOD(SetPaletteEntries)(UINT, const PALETTEENTRY*) override;
    STDMETHOD(GetPaletteEntries)(UINT, PALETTEENTRY*) override;
    STDMETHOD(SetCurrentTexturePalette)(UINT) override;
    STDMETHOD(GetCurrentTexturePalette)(UINT*) override;
    STDMETHOD(SetScissorRect)(const RECT* pRect) override;
    STDMETHOD(GetScissorRect)(RECT* pRect) override;
    STDMETHOD(SetSoftwareVertexProcessing)(BOOL bSoftware) override;
    STDMETHOD_(BOOL, GetSoftwareVertexProcessing)() override;
    STDMETHOD(SetNPatchMode)(float nSegments) override;
    STDMETHOD_(float, GetNPatchMode)() override;
    STDMETHOD(DrawPrimitive)(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    STDMETHOD(DrawIndexedPrimitive)(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                    UINT NumVertices, UINT startIndex, UINT primCount) override;
    STDMETHOD(DrawPrimitiveUP)(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, const void* pVertexStreamZeroData,
                               UINT VertexStreamZeroStride) override;
    STDMETHOD(DrawIndexedPrimitiveUP)(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices,
                                      UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat,
                                      const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    STDMETHOD(ProcessVertices)(UINT, UINT, UINT, IDirect3DVertexBuffer9*, IDirect3DVertexDeclaration9*,
                               DWORD) override;
    STDMETHOD(CreateVertexDeclaration)(const D3DVERTEXELEMENT9* pVertexElements,
                                       IDirect3DVertexDeclaration9** ppDecl) override;
    STDMETHOD(SetVertexDeclaration)(IDirect3DVertexDeclaration9* pDecl) override;
    STDMETHOD(GetVertexDeclaration)(IDirect3DVertexDeclaration9** ppDecl) override;
    STDMETHOD(SetFVF)(DWORD FVF) override;
    STDMETHOD(GetFVF)(DWORD* pFVF) override;
    STDMETHOD(CreateVertexShader)(const DWORD* pFunction, IDirect3DVertexShader9** ppShader) override;
    STDMETHOD(SetVertexShader)(IDirect3DVertexShader9* pShader) override;
    STDMETHOD(GetVertexShader)(IDirect3DVertexShader9** ppShader) override;
    STDMETHOD(SetVertexShaderConstantF)(UINT, const float*, UINT) override;
    STDMETHOD(GetVertexShaderConstantF)(UINT, float*, UINT) override;
    STDMETHOD(SetVertexShaderConstantI)(UINT, const int*, UINT) override;
    STDMETHOD(GetVertexShaderConstantI)(UINT, int*, UINT) override;
    STDMETHOD(SetVertexShaderConstantB)(UINT, const BOOL*, UINT) override;
    STDMETHOD(GetVertexShaderConstantB)(UINT, BOOL*, UINT) override;
    STDMETHOD(SetStreamSource)(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                               UINT Stride) override;
    STDMETHOD(GetStreamSource)(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                               UINT* pStride) override;
    STDMETHOD(SetStreamSourceFreq)(UINT StreamNumber, UINT Setting) override;
    STDMETHOD(GetStreamSourceFreq)(UINT StreamNumber, UINT* pSetting) override;
    STDMETHOD(SetIndices)(IDirect3DIndexBuffer9* pIndexData) override;
    STDMETHOD(GetIndices)(IDirect3DIndexBuffer9** ppIndexData) override;
    STDMETHOD(CreatePixelShader)(const DWORD* pFunction, IDirect3DPixelShader9** ppShader) override;
    STDMETHOD(SetPixelShader)(IDirect3DPixelShader9* pShader) override;
    STDMETHOD(GetPixelShader)(IDirect3DPixelShader9** ppShader) override;
    STDMETHOD(SetPixelShaderConstantF)(UINT, const float*, UINT) override;
    STDMETHOD(GetPixelShaderConstantF)(UINT, float*, UINT) override;
    STDMETHOD(SetPixelShaderConstantI)(UINT, const int*, UINT) override;
    STDMETHOD(GetPixelShaderConstantI)(UINT, int*, UINT) override;
    STDMETHOD(SetPixelShaderConstantB)(UINT, const BOOL*, UINT) override;
    STDMETHOD(GetPixelShaderConstantB)(UINT, BOOL*, UINT) override;
    STDMETHOD(DrawRectPatch)(UINT, const float*, const D3DRECTPATCH_INFO*) override;
    STDMETHOD(DrawTriPatch)(UINT, const float*, const D3DTRIPATCH_INFO*) override;
    STDMETHOD(DeletePatch)(UINT) override;
    STDMETHOD(CreateQuery)(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery) override;

    // For the layer's own resources and hooks.
    const D3DPRESENT_PARAMETERS& Params() const { return m_params; }
    D3DFORMAT BackBufferFormat() const { return m_params.BackBufferFormat; }
    // True while the device's OpenGL context exists and is current, so OpenGL may be called.
    bool GlUsable() const;
    // Reads or writes the back buffer's pixels as 32-bit B, G, R, A rows from the top.
    void ReadBackBuffer(std::vector<uint8_t>& pixels);
    void WriteBackBuffer(const std::vector<uint8_t>& pixels);

    // Draws what was gathered. Whatever else reaches OpenGL comes after it, so the resources'
    // own calls below send it first.
    void SendBatch();
    // Whether small draws are gathered (the test hook compares pictures both ways).
    static void EnableBatching(bool enabled);

    // A texture reaches OpenGL: bound on unit 0 for an upload; a level written; its own state
    // (its level of detail) changing, after which its sampler state is given again.
    void BindTextureForUpload(GLuint name);
    void TextureLevelWritten(Texture* texture, UINT level);
    void TextureChanging(Texture* texture);
    // OpenGL buffer objects of the vertex and index buffers: bound for an upload, or freed.
    void BindBufferForUpload(GLenum target, GLuint name);
    void ForgetGlBuffer(GLuint name);
    // A vertex or index buffer is about to be written: a draw gathered by reference to it takes
    // a copy of what it reads first.
    void BufferChanging(const void* buffer);
    // A resource is going away: no binding may refer to it any more.
    void Forget(Texture* texture);
    void Forget(VertexBuffer* buffer);
    void Forget(IndexBuffer* buffer);
    void Forget(VertexDeclaration* declaration);
    // A GLSL program that runs in place of the fixed-function vertex stage for the next draws
    // (an effect's pass), 0 for none; `clipAdjust` is its uniform of EffectBridge.h.
    void SetVertexProgram(GLuint program, GLint clipAdjust);
    // Binds a program to set its uniforms, keeping the record of what is bound right.
    void BindProgramForUpload(GLuint program);

    // Device loss, from the test hook or the window losing full screen.
    void Lose();
    void AllowReset();
    HWND Window() const { return m_window; }
    // Direct3D clip coordinates to the OpenGL ones this device draws with (row vectors).
    D3DMATRIX ClipAdjustment() const;

    static Device* Live(); // the newest device, for the hooks

private:
    Device(Direct3D9* d3d, D3DDEVTYPE type, HWND window, DWORD behaviour);
    virtual ~Device();

    enum class Cooperation { kOk, kLost, kNotReset };

    HRESULT ValidateParams(D3DPRESENT_PARAMETERS& params) const;
    HRESULT MakeTargets(const D3DPRESENT_PARAMETERS& params); // the framebuffer object
    void FreeTargets();
    void ApplyWindowMode();
    void ResetState();        // every state to Direct3D's default
    void InitGlState();       // the OpenGL state that never changes
    void Count() { ++s_callCount; }
    // State that changed: given to OpenGL with the next draw.
    void Changed(uint32_t groups) { m_dirty |= groups; }

    // Drawing (DeviceDraw.cpp)
    HRESULT Draw(const DrawCall& call);
    DrawSettings SettingsNow(const VertexLayout& layout) const;
    // For the benchmark's capture hook (DeviceCapture.cpp).
    void CaptureDraw(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources);
    GLuint BackBufferWidth() const { return m_params.BackBufferWidth; }
    GLuint BackBufferHeight() const { return m_params.BackBufferHeight; }

    // State translation (DeviceTranslation.cpp)
    void ApplyState(const VertexLayout& layout);
    void ApplyProjection(bool transformed);
    void ApplyModelView(bool transformed);
    void ApplyLights();
    void ApplyLighting(const VertexLayout& layout, bool transformed);
    void ApplyMaterial();
    void ApplyStage(const VertexLayout& layout);
    void ApplyDepth();
    void ApplyStencil();
    void ApplyBlend();
    void ApplyAlphaTest();
    void ApplyRaster();
    void ApplyFog(bool transformed);
    void ApplyViewport(bool transformed);
    void ApplyScissor();
    void ApplyVertexProgram(bool transformed);

    std::atomic<ULONG> m_refCount{1};
    Direct3D9* m_d3d;
    D3DDEVTYPE m_type;
    HWND m_window;
    DWORD m_behaviour;
    SDL_Window* m_sdlWindow = nullptr;
    SDL_GLContext m_context = nullptr;
    D3DPRESENT_PARAMETERS m_params{};
    Cooperation m_cooperation = Cooperation::kOk;
    bool m_inScene = false;
    bool m_dialogBoxMode = false;
    bool m_fullScreen = false;
    Surface m_backBuffer;
    SwapChain m_swapChain;

    // OpenGL targets: the back buffer as a framebuffer object of its own size.
    GLuint m_framebuffer = 0;
    GLuint m_colorTexture = 0;
    GLuint m_depthBuffer = 0;
    bool m_hasDepth = false;
    bool m_hasStencil = false;

    // Direct3D state: what decides drawing, and what is only kept and answered back.
    DeviceState m_state;
    std::array<std::array<float, 4>, 6> m_clipPlanes{};
    D3DCLIPSTATUS9 m_clipStatus{};
    BOOL m_softwareVertexProcessing = FALSE;
    float m_nPatchMode = 0.0f;
    D3DGAMMARAMP m_gamma{};

    // What OpenGL holds
    GlStateCache m_gl;
    uint32_t m_dirty = kDirtyAll; // groups of m_state that OpenGL may not hold
    int m_glTransformMode = -1;   // 0 transformed by the matrices, 1 pre-transformed
    bool m_glTexturing = false;
    int m_glColorMaterial = -1;
    GLint m_glLightCount = 0;
    ArrayDrawer m_drawer;
    DrawBatch m_batch{m_gl, m_drawer};

    static std::atomic<uint64_t> s_callCount;
    static bool s_batching;
    friend uint64_t DeviceCallCount();
};

uint64_t DeviceCallCount();

} // namespace qv::d3d9
