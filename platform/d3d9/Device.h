// The Direct3D 9 device: fixed-function state kept as Direct3D defines it, translated to the
// OpenGL 2.1 compatibility profile of the window's context when something is drawn.
// Inside platform/d3d9 only.
#pragma once

#include <SDL.h>

#include <array>
#include <cmath>
#include <atomic>
#include <map>
#include <vector>

#include "platform/d3d9/D3D9Internal.h"
#include "platform/d3d9/GlStateCache.h"

namespace qv::d3d9 {

constexpr UINT kMaxRenderState = 256;
constexpr UINT kStages = 8;
constexpr UINT kStageStates = 33;
constexpr UINT kSamplers = 16;
constexpr UINT kSamplerStates = 14;
constexpr UINT kStreams = 4;
constexpr UINT kGlLights = 8;

// Groups of state that are given to OpenGL together when the next primitive is drawn.
enum DirtyGroup : uint32_t {
    kDirtyDepth = 1u << 0,
    kDirtyBlend = 1u << 1,
    kDirtyAlphaTest = 1u << 2,
    kDirtyRaster = 1u << 3,
    kDirtyStencil = 1u << 4,
    kDirtyLighting = 1u << 5,
    kDirtyMaterial = 1u << 6,
    kDirtyLights = 1u << 7,
    kDirtyFog = 1u << 8,
    kDirtyStage = 1u << 9,
    kDirtySampler = 1u << 10,
    kDirtyProjection = 1u << 11,
    kDirtyViewport = 1u << 12,
    kDirtyScissor = 1u << 13,
    kDirtyModelView = 1u << 14,
    kDirtyView = 1u << 15, // the view alone, which gathered draws must share
    kDirtyAll = 0xFFFFFFFFu,
};

// Whether a number is a render state of the Direct3D 9 enumeration, and its group.
bool IsRenderState(DWORD state);
uint32_t RenderStateGroup(DWORD state);
bool IsStageState(DWORD state);
bool IsSamplerState(DWORD state);

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
    // Binds a texture on unit 0 for an upload, keeping the record of what is bound right.
    void BindTextureForUpload(GLuint name);
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

    // Draws what is gathered: before anything else reaches OpenGL, and before a read-back.
    void FlushBatch();
    // Whether small draws are gathered (the test hook compares pictures both ways).
    static void EnableBatching(bool enabled);
    static bool BatchingEnabled();
    // OpenGL buffer objects of the vertex and index buffers: bound for an upload, or freed.
    void BindBufferForUpload(GLenum target, GLuint name);
    void ForgetGlBuffer(GLuint name);
    // A texture's own state (its level of detail) changed: its sampler state is given again.
    void TextureChanged(Texture* texture);
    // A level of a texture reached OpenGL: its copy in a texture array follows.
    void TextureLevelChanged(Texture* texture, UINT level);
    // A vertex or index buffer is about to be written or freed: a draw held by reference to it
    // takes a copy of what it reads first.
    void BufferChanging(const void* buffer);

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

    // One draw call as the validation left it.
    struct DrawCall {
        D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
        UINT primitiveCount = 0;
        UINT count = 0;  // vertices, or indices, read
        UINT first = 0;  // the first vertex of a draw without indices
        UINT lowest = 0; // the lowest vertex read, and one past the highest
        UINT end = 0;
        const uint8_t* userVertices = nullptr; // stream 0 in the caller's memory
        UINT userStride = 0;
        const uint8_t* indices = nullptr;     // in memory: the caller's, or the index buffer's copy
        bool wideIndices = false;
        IndexBuffer* indexBuffer = nullptr;   // where the indices are when not the caller's
        UINT indexOffset = 0;                 // in bytes into the index buffer
        INT baseVertex = 0;
    };
    // Where each stream's vertex 0 is: in memory, and in a vertex buffer when not the caller's.
    struct StreamSources {
        const uint8_t* bases[kStreams] = {};
        UINT strides[kStreams] = {};
        VertexBuffer* buffers[kStreams] = {};
        UINT offsets[kStreams] = {};
        const uint8_t* Of(const AttributeSource& a) const
        {
            return a.present && bases[a.stream] ? bases[a.stream] + a.offset : nullptr;
        }
    };

    // The vertex numbers of a triangle draw's triangles, three each: a strip's odd triangles
    // keep its turned-round winding, and every triangle its first corner (OpenGL's provoking
    // vertex) first. Nothing for points and lines.
    static void Triangles(const DrawCall& call, std::vector<uint32_t>& corners);

    // What a draw's arrays depend on besides its vertices, fixed when its state went to OpenGL.
    struct DrawSettings {
        bool lighting = false;   // lit by the fixed-function stage
        bool programmed = false; // an effect's vertex program runs
        DWORD texCoordSet = 0;   // the coordinate set the first stage reads
    };

    // Drawing (DeviceDraw.cpp)
    HRESULT Draw(const DrawCall& call);
    // For the benchmark's capture hook (DeviceCapture.cpp).
    void CaptureDraw(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources);
    DrawSettings SettingsNow(const VertexLayout& layout) const;
    void DrawDirect(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                    const DrawSettings& settings);
    // Points OpenGL's array at an attribute: in its vertex buffer's OpenGL copy, or in memory.
    void AttributePointer(GLenum array, const AttributeSource& a, const StreamSources& sources);
    bool CurrentLayout(VertexLayout& layout) const;
    const D3DMATRIX& Transform(DWORD t) const; // identity when never set
    void ApplyState(const VertexLayout& layout);
    // The matrices OpenGL draws untransformed vertices with (ApplyProjection, ApplyModelView).
    D3DMATRIX GlProjection() const;
    D3DMATRIX GlModelView(const D3DMATRIX& world) const;
    // The projection of pre-transformed vertices: back-buffer pixels to OpenGL's clip space.
    D3DMATRIX PixelProjection() const;
    void ApplyProjection(bool transformed);
    void ApplyModelView(bool transformed, const D3DMATRIX& world);
    void ApplyLights();
    void ApplyLighting(const VertexLayout& layout, bool transformed);
    void ApplyMaterial();
    void ApplyStage();
    void ApplySampler(Texture* texture);
    // Sampler 0's state `ss` on the texture bound at `target`, sending what differs from what
    // the texture object last got.
    void ApplySamplerTo(GLenum target, const std::array<DWORD, kSamplerStates>& ss,
                        std::array<DWORD, kSamplerStates>& applied, bool& appliedOnce, DWORD levels, DWORD lod);
    void ApplyDepth();
    void ApplyStencil();
    void ApplyBlend();
    void ApplyAlphaTest();
    void ApplyRaster();
    void ApplyFog(bool transformed);
    DWORD FogMode() const; // D3DFOG_NONE while fog is off
    void ApplyViewport(bool transformed);
    void ApplyScissor();
    void SetArray(GLenum array, bool enabled);
    // Counts an OpenGL draw of `count` vertices or indices towards the next flush.
    void Drawn(size_t count);
    void BindArrayBuffer(GLuint name);
    void BindElementBuffer(GLuint name);
    void ApplyVertexProgram(bool transformed); // EffectBridge.cpp
    GLuint BackBufferWidth() const { return m_params.BackBufferWidth; }
    GLuint BackBufferHeight() const { return m_params.BackBufferHeight; }

    // Gathering small draws into one (DeviceBatch.cpp). A draw joins the open batch when the
    // state it is drawn with differs from the batch's in nothing but the world matrix; the
    // batch is drawn before anything else reaches OpenGL, so the order of drawing is kept.
    struct BatchFormat {
        // Four floats of position: (x, y, z, 1), or (x w, y w, z w, w) of pre-transformed
        // vertices; turned into clip space when the batch's draws have different worlds.
        static constexpr uint8_t position = 4;
        bool normal = false;
        bool color = false;   // one float's room: the four bytes as OpenGL's colour array reads them
        uint8_t texture = 0;  // floats of the coordinates the first stage reads; 0 without texturing
        bool layer = false;   // then one more: the layer of the texture array (Batch::layered)
        uint8_t Stride() const
        {
            return static_cast<uint8_t>(position + (normal ? 3 : 0) + (color ? 1 : 0) + texture + (layer ? 1 : 0));
        }
        bool operator==(const BatchFormat& o) const
        {
            return normal == o.normal && color == o.color && texture == o.texture;
        }
    };
    // The state a batch is drawn with, kept to tell whether a later draw may join it.
    struct BatchState {
        std::array<DWORD, kMaxRenderState> renderStates;
        std::array<DWORD, kStageStates> stage;
        std::array<DWORD, kSamplerStates> sampler;
        Texture* texture;
        D3DMATERIAL9 material;
        uint64_t lightsVersion;
        D3DMATRIX view, projection, textureMatrix;
        D3DVIEWPORT9 viewport;
        RECT scissor;
    };
    struct BatchEntry {
        D3DMATRIX world;
        Texture* texture;
        uint32_t firstVertex;
        uint32_t vertexCount;
    };
    // The first draw of a batch, while it reads from vertex and index buffers: held by
    // reference, and drawn from the buffers' OpenGL copies unless another draw joins it.
    struct HeldDraw {
        DrawCall call;
        VertexLayout layout;
        StreamSources sources;
        DrawSettings settings;
    };
    struct Batch {
        bool open = false;
        bool transformed = false;
        bool lit = false;
        bool clipSpace = false; // draws with other world matrices may join (ClipSpaceDrawable)
        bool layered = false;   // draws with other textures may join (LayerDrawable)
        int array = -1;         // the texture array whose layers the batch's textures are
        BatchFormat format;
        uint32_t residualDirty = 0; // what the state left for later when the batch began
        BatchState state;
        D3DMATRIX firstWorld;
        bool holding = false;
        HeldDraw held;
        std::vector<BatchEntry> entries;
        std::vector<float> vertices;
        std::vector<uint16_t> indices;
        uint32_t VertexCount() const;
    };
    // A buffer object written front to back with the batches' vertices or indices, so that
    // Mesa need not copy them from memory into buffers of its own, made and freed every few
    // draws. Once full it is given back to OpenGL (orphaned) and begun again.
    struct StreamBuffer {
        GLuint name = 0;
        size_t size = 0;
        size_t used = 0;
    };
    // Copies `bytes` into the stream bound at `target`; the offset where they now are.
    uintptr_t WriteStream(StreamBuffer& stream, GLenum target, const void* data, size_t bytes);
    void FreeStream(StreamBuffer& stream);
    bool Batchable(const DrawCall& call, const VertexLayout& layout, bool transformed) const;
    BatchFormat FormatFor(const VertexLayout& layout, bool lit, bool texturing) const;
    bool ClipSpaceDrawable() const;
    bool LayerDrawable(const VertexLayout& layout);
    bool SameAsBatchState(const BatchState& state, bool otherTexture) const;
    void MoveBatchToClipSpace();
    void OpenBatch(const VertexLayout& layout, bool transformed);
    bool JoinsBatch(const DrawCall& call, const VertexLayout& layout, bool transformed);
    void CaptureBatchState(BatchState& state) const;
    void AppendToBatch(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                       const D3DMATRIX& world, Texture* texture);
    // The held draw copied into the batch's own vertices.
    void CopyHeldDraw();

    // Texture arrays (TextureArrays.cpp): copies of textures of one size and format as the
    // layers of one OpenGL texture array, so that draws that differ in their texture can be
    // one draw, with a fragment program that takes the texel from the vertex's layer.
    struct TextureArray {
        UINT width, height, levels;
        bool alpha;
        GLuint name = 0;
        std::vector<Texture*> layers; // null where free
        std::array<DWORD, kSamplerStates> appliedSampler{};
        bool samplerApplied = false;
    };
    // Whether two textures could share an array.
    static bool SameShape(const Texture* a, const Texture* b);
    // Gives `texture` a layer in array `array` (any of its shape when -1); false when full.
    bool PlaceInArray(Texture* texture, int array);
    void ForgetArrayLayer(Texture* texture);
    void FreeTextureArrays();
    GLuint TextureArrayProgram(); // EffectBridge.cpp
    void FreeTextureArrayProgram();
    void UseProgram(GLuint program);
    void DropBatch();

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

    // Direct3D state
    std::array<DWORD, kMaxRenderState> m_renderStates{};
    std::array<std::array<DWORD, kStageStates>, kStages> m_stageStates{};
    std::array<std::array<DWORD, kSamplerStates>, kSamplers> m_samplerStates{};
    std::map<DWORD, D3DMATRIX> m_transforms; // only those that differ from identity
    D3DMATERIAL9 m_material{};
    struct LightSlot {
        D3DLIGHT9 light;
        bool enabled;
    };
    std::map<DWORD, LightSlot> m_lights;
    std::array<Texture*, kStages> m_textures{};
    DWORD m_fvf = 0;
    VertexDeclaration* m_declaration = nullptr;
    struct Stream {
        VertexBuffer* buffer = nullptr;
        UINT offset = 0;
        UINT stride = 0;
        UINT frequency = 1;
    };
    std::array<Stream, kStreams> m_streams{};
    IndexBuffer* m_indices = nullptr;
    D3DVIEWPORT9 m_viewport{};
    RECT m_scissor{};
    std::array<std::array<float, 4>, 6> m_clipPlanes{};
    D3DCLIPSTATUS9 m_clipStatus{};
    BOOL m_softwareVertexProcessing = FALSE;
    float m_nPatchMode = 0.0f;
    D3DGAMMARAMP m_gamma{};

    uint64_t m_lightsVersion = 0; // counts light changes, so that a batch can tell them

    // What OpenGL holds
    GlStateCache m_gl;
    uint32_t m_dirty = kDirtyAll;
    int m_glTransformMode = -1; // 0 transformed by the matrices, 1 pre-transformed
    GLuint m_glBoundTexture = 0;
    bool m_glTexturing = false;
    int m_glColorMaterial = -1;
    uint32_t m_glArrays = 0;
    GLint m_glLightCount = 0;
    GLuint m_vertexProgram = 0;
    GLint m_vertexProgramClipAdjust = -1;
    GLuint m_glProgram = 0;
    GLuint m_glArrayBuffer = 0;
    GLuint m_glElementBuffer = 0;
    std::vector<float> m_transformedScratch;
    std::vector<uint32_t> m_cornerScratch;
    std::vector<uint8_t> m_colorScratch;
    Batch m_batch;
    size_t m_workSinceFlush = 0;
    std::vector<TextureArray> m_textureArrays;
    GLuint m_textureArrayProgram = 0;
    bool m_textureArrayProgramFailed = false;
    StreamBuffer m_batchVertexStream;
    StreamBuffer m_batchIndexStream;

    static std::atomic<uint64_t> s_callCount;
    friend uint64_t DeviceCallCount();
};

uint64_t DeviceCallCount();
D3DMATRIX IdentityMatrix();
// A pre-transformed position (x, y, z, 1/w) as OpenGL gets it, (x, y, z, 1) x w, so that colours
// and texture coordinates are interpolated with perspective as Direct3D does.
inline void FromReciprocalW(float v[4])
{
    const float w = (v[3] != 0.0f && std::isfinite(v[3])) ? 1.0f / v[3] : 1.0f;
    v[0] *= w;
    v[1] *= w;
    v[2] *= w;
    v[3] = w;
}

// a x b, each element summed from the first term to the last.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);
// The determinant of the upper 3x3, and its inverse transpose, which carries normals as
// OpenGL's modelview does.
float Determinant3(const D3DMATRIX& m);
void NormalMatrix(const D3DMATRIX& m, float out[3][3]);
// Direct3D's comparisons, blend factors (both resolved from the source one where Direct3D
// says so) and blend operations as OpenGL's.
GLenum CompareFunction(DWORD cmp);
GLenum BlendFactor(DWORD blend, GLenum fallback);
GLenum BlendEquation(DWORD op);
void BlendPair(DWORD src, DWORD dst, GLenum& glSrc, GLenum& glDst);

} // namespace qv::d3d9
