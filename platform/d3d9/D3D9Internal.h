// The classes behind the Direct3D interfaces: the Direct3D object, the device with its state
// and its OpenGL translation, textures, surfaces, buffers and vertex declarations.
// Inside platform/d3d9 only.
#pragma once

#include <SDL.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <vector>

#include "platform/d3d9/D3D9.h"
#include "platform/d3d9/GlApi.h"

namespace qv::d3d9 {

class Device;

// Where one vertex attribute is read from and how OpenGL sees it.
struct AttributeSource {
    bool present = false;
    uint8_t stream = 0;
    uint16_t offset = 0;
    GLint size = 0;
    GLenum type = 0;
};

// A vertex format (from an FVF code or a declaration) as the fixed-function pipeline reads it.
struct VertexLayout {
    enum Position : uint8_t { kNoPosition, kXyz, kXyzw, kTransformed };
    Position position = kNoPosition;
    AttributeSource pos;
    AttributeSource normal;
    AttributeSource diffuse;  // D3DCOLOR (type GL_UNSIGNED_BYTE, size GL_BGRA) or floats
    AttributeSource specular;
    AttributeSource tex[8];
};

// Size in bytes of one vertex of an FVF code; 0 for a code that Direct3D refuses.
UINT FvfVertexSize(DWORD fvf);
bool LayoutFromFvf(DWORD fvf, VertexLayout& layout);
bool LayoutFromDeclaration(const D3DVERTEXELEMENT9* elements, VertexLayout& layout);

// Vertex count of `count` primitives of a type; 0 for an unknown type.
UINT VertexCountOf(D3DPRIMITIVETYPE type, UINT count);

// The lowest and highest of `count` 16- or 32-bit indices (0 and 0 for none).
void IndexRange(const void* indices, UINT count, bool wide, UINT& lowest, UINT& highest);

// Bytes per pixel of the colour formats that textures and surfaces hold; 0 for any other.
UINT BytesPerPixel(D3DFORMAT format);

// ---------------------------------------------------------------------------------------------

// The IUnknown and IDirect3DResource9 part shared by textures and buffers. Resources hold a
// reference on their device, so the device outlives them.
template <class Interface>
class ResourceBase : public Interface {
public:
    ResourceBase(Device* device, D3DRESOURCETYPE type);
    virtual ~ResourceBase();

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refCount; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG count = --m_refCount;
        if (count == 0)
            delete this;
        return count;
    }
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) override;
    STDMETHOD(SetPrivateData)(REFGUID, const void*, DWORD, DWORD) override { return D3DERR_INVALIDCALL; }
    STDMETHOD(GetPrivateData)(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    STDMETHOD(FreePrivateData)(REFGUID) override { return D3DERR_NOTFOUND; }
    STDMETHOD_(DWORD, SetPriority)(DWORD priority) override
    {
        const DWORD old = m_priority;
        m_priority = priority;
        return old;
    }
    STDMETHOD_(DWORD, GetPriority)() override { return m_priority; }
    STDMETHOD_(void, PreLoad)() override {}
    STDMETHOD_(D3DRESOURCETYPE, GetType)() override { return m_type; }

    Device* OwnerDevice() const { return m_device; }

protected:
    Device* m_device;
    std::atomic<ULONG> m_refCount{1};
    DWORD m_priority = 0;
    D3DRESOURCETYPE m_type;
};

class Texture;

// A surface: one level of a texture, or the back buffer.
class Surface : public IDirect3DSurface9 {
public:
    // A level of a texture: references count on the texture.
    Surface(Texture* container, UINT level);
    // The back buffer: references count on the device.
    explicit Surface(Device* device);
    virtual ~Surface() = default;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) override;
    STDMETHOD(SetPrivateData)(REFGUID, const void*, DWORD, DWORD) override { return D3DERR_INVALIDCALL; }
    STDMETHOD(GetPrivateData)(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    STDMETHOD(FreePrivateData)(REFGUID) override { return D3DERR_NOTFOUND; }
    STDMETHOD_(DWORD, SetPriority)(DWORD) override { return 0; }
    STDMETHOD_(DWORD, GetPriority)() override { return 0; }
    STDMETHOD_(void, PreLoad)() override {}
    STDMETHOD_(D3DRESOURCETYPE, GetType)() override { return D3DRTYPE_SURFACE; }
    STDMETHOD(GetContainer)(REFIID riid, void** ppContainer) override;
    STDMETHOD(GetDesc)(D3DSURFACE_DESC* pDesc) override;
    STDMETHOD(LockRect)(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    STDMETHOD(UnlockRect)() override;
    STDMETHOD(GetDC)(HDC*) override { return D3DERR_INVALIDCALL; }
    STDMETHOD(ReleaseDC)(HDC) override { return D3DERR_INVALIDCALL; }

private:
    Texture* m_texture = nullptr;
    UINT m_level = 0;
    Device* m_device = nullptr;
    // The back buffer's pixels while it is locked, rows from the top.
    std::vector<uint8_t> m_lockCopy;
    bool m_locked = false;
    bool m_lockReadOnly = false;
};

// An offscreen plain surface in system memory (CreateOffscreenPlainSurface): 32-bit pixels of its
// own, rows from the top, that only the processor reads and writes.
class PlainSurface : public ResourceBase<IDirect3DSurface9> {
public:
    PlainSurface(Device* device, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool);

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD(GetContainer)(REFIID riid, void** ppContainer) override;
    STDMETHOD(GetDesc)(D3DSURFACE_DESC* pDesc) override;
    STDMETHOD(LockRect)(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    STDMETHOD(UnlockRect)() override;
    STDMETHOD(GetDC)(HDC*) override { return D3DERR_INVALIDCALL; }
    STDMETHOD(ReleaseDC)(HDC) override { return D3DERR_INVALIDCALL; }

    UINT Width() const { return m_width; }
    UINT Height() const { return m_height; }
    D3DFORMAT Format() const { return m_format; }
    bool Locked() const { return m_locked; }
    uint32_t* Row(UINT y) { return &m_pixels[static_cast<size_t>(y) * m_width]; }

private:
    UINT m_width;
    UINT m_height;
    D3DFORMAT m_format;
    D3DPOOL m_pool;
    std::vector<uint32_t> m_pixels;
    bool m_locked = false;
};

class Texture : public ResourceBase<IDirect3DTexture9> {
public:
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~Texture() override;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(DWORD, SetLOD)(DWORD lod) override;
    STDMETHOD_(DWORD, GetLOD)() override { return m_lod; }
    STDMETHOD_(DWORD, GetLevelCount)() override { return static_cast<DWORD>(m_levels.size()); }
    STDMETHOD(SetAutoGenFilterType)(D3DTEXTUREFILTERTYPE) override { return D3DERR_INVALIDCALL; }
    STDMETHOD_(D3DTEXTUREFILTERTYPE, GetAutoGenFilterType)() override { return D3DTEXF_LINEAR; }
    STDMETHOD_(void, GenerateMipSubLevels)() override {}
    STDMETHOD(GetLevelDesc)(UINT Level, D3DSURFACE_DESC* pDesc) override;
    STDMETHOD(GetSurfaceLevel)(UINT Level, IDirect3DSurface9** ppSurfaceLevel) override;
    STDMETHOD(LockRect)(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    STDMETHOD(UnlockRect)(UINT Level) override;
    STDMETHOD(AddDirtyRect)(const RECT*) override { return D3D_OK; }

    GLuint GlName() const { return m_name; }
    UINT LevelCount() const { return static_cast<UINT>(m_levels.size()); }
    UINT Width() const { return m_levels[0].width; }
    UINT Height() const { return m_levels[0].height; }
    bool HasAlpha() const { return m_format != D3DFMT_X8R8G8B8; }
    const std::vector<uint8_t>& Pixels(UINT level) const { return m_levels[level].pixels; }
    // The sampler state last given to OpenGL for this texture (OpenGL keeps it per texture).
    std::array<DWORD, 14> appliedSampler{};
    bool samplerApplied = false;
    // Where the device keeps a copy of it as a layer of a texture array; -1 for none.
    int arrayIndex = -1;
    int arrayLayer = -1;

private:
    struct LevelData {
        UINT width;
        UINT height;
        std::vector<uint8_t> pixels; // rows from the top, pitch = width x bytes per pixel
        bool locked = false;
        bool lockReadOnly = false;
        Surface* surface = nullptr;
    };
    void Upload(UINT level);

    D3DFORMAT m_format;
    DWORD m_usage;
    D3DPOOL m_pool;
    DWORD m_lod = 0;
    GLuint m_name = 0;
    std::vector<LevelData> m_levels;
};

// The OpenGL buffer object that mirrors a vertex or index buffer's memory, so that its draws
// read from OpenGL's copy instead of sending the vertices again each time. Bytes written
// through a lock reach OpenGL before the next draw that reads them.
class GlBufferMirror {
public:
    void Changed(UINT offset, UINT size);
    // The buffer object holding `data` as it is now (made on first use); 0 without OpenGL.
    GLuint Name(Device* device, GLenum target, const std::vector<uint8_t>& data, bool dynamic);
    void Free(Device* device);

private:
    GLuint m_name = 0;
    UINT m_changedBegin = 0; // bytes OpenGL has not yet seen
    UINT m_changedEnd = 0;
};

class VertexBuffer : public ResourceBase<IDirect3DVertexBuffer9> {
public:
    VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD(Lock)(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    STDMETHOD(Unlock)() override;
    STDMETHOD(GetDesc)(D3DVERTEXBUFFER_DESC* pDesc) override;
    ~VertexBuffer() override;

    const uint8_t* Data() const { return m_data.data(); }
    UINT Size() const { return static_cast<UINT>(m_data.size()); }
    GLuint GlBuffer();

private:
    std::vector<uint8_t> m_data;
    DWORD m_usage;
    DWORD m_fvf;
    D3DPOOL m_pool;
    int m_locks = 0;
    GlBufferMirror m_mirror;
};

class IndexBuffer : public ResourceBase<IDirect3DIndexBuffer9> {
public:
    IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD(Lock)(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    STDMETHOD(Unlock)() override;
    STDMETHOD(GetDesc)(D3DINDEXBUFFER_DESC* pDesc) override;
    ~IndexBuffer() override;

    const uint8_t* Data() const { return m_data.data(); }
    UINT Size() const { return static_cast<UINT>(m_data.size()); }
    D3DFORMAT Format() const { return m_format; }
    GLuint GlBuffer();
    // The lowest and highest of `count` indices from `start` (which must lie inside): kept,
    // since a mesh draws the same ranges every frame, until the buffer is written again.
    void Range(UINT start, UINT count, UINT& lowest, UINT& highest);

private:
    struct KnownRange {
        UINT start, count, lowest, highest;
    };
    std::vector<uint8_t> m_data;
    DWORD m_usage;
    D3DFORMAT m_format;
    D3DPOOL m_pool;
    int m_locks = 0;
    GlBufferMirror m_mirror;
    std::vector<KnownRange> m_ranges;
};

class VertexDeclaration : public IDirect3DVertexDeclaration9 {
public:
    VertexDeclaration(Device* device, std::vector<D3DVERTEXELEMENT9> elements, const VertexLayout& layout);
    virtual ~VertexDeclaration();
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refCount; }
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) override;
    STDMETHOD(GetDeclaration)(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) override;

    const VertexLayout& Layout() const { return m_layout; }

private:
    Device* m_device;
    std::atomic<ULONG> m_refCount{1};
    std::vector<D3DVERTEXELEMENT9> m_elements; // with the end marker
    VertexLayout m_layout;
};

// The device's one swap chain; its references count on the device.
class SwapChain : public IDirect3DSwapChain9 {
public:
    explicit SwapChain(Device* device) : m_device(device) {}
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(Present)(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                       const RGNDATA* pDirtyRegion, DWORD dwFlags) override;
    STDMETHOD(GetFrontBufferData)(IDirect3DSurface9*) override { return D3DERR_INVALIDCALL; }
    STDMETHOD(GetBackBuffer)(UINT iBackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface9** ppBackBuffer) override;
    STDMETHOD(GetRasterStatus)(D3DRASTER_STATUS* pRasterStatus) override;
    STDMETHOD(GetDisplayMode)(D3DDISPLAYMODE* pMode) override;
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) override;
    STDMETHOD(GetPresentParameters)(D3DPRESENT_PARAMETERS* pPresentationParameters) override;

private:
    Device* m_device;
};

// ---------------------------------------------------------------------------------------------

class Direct3D9 : public IDirect3D9 {
public:
    Direct3D9() = default;
    virtual ~Direct3D9() = default;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refCount; }
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(RegisterSoftwareDevice)(void*) override { return D3DERR_INVALIDCALL; }
    STDMETHOD_(UINT, GetAdapterCount)() override { return 1; }
    STDMETHOD(GetAdapterIdentifier)(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER9* pIdentifier) override;
    STDMETHOD_(UINT, GetAdapterModeCount)(UINT Adapter, D3DFORMAT Format) override;
    STDMETHOD(EnumAdapterModes)(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE* pMode) override;
    STDMETHOD(GetAdapterDisplayMode)(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    STDMETHOD(CheckDeviceType)(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat, D3DFORMAT BackBufferFormat,
                               BOOL bWindowed) override;
    STDMETHOD(CheckDeviceFormat)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                                 D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) override;
    STDMETHOD(CheckDeviceMultiSampleType)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat, BOOL Windowed,
                                          D3DMULTISAMPLE_TYPE MultiSampleType, DWORD* pQualityLevels) override;
    STDMETHOD(CheckDepthStencilMatch)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                      D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat) override;
    STDMETHOD(CheckDeviceFormatConversion)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SourceFormat,
                                           D3DFORMAT TargetFormat) override;
    STDMETHOD(GetDeviceCaps)(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps) override;
    STDMETHOD_(HMONITOR, GetAdapterMonitor)(UINT Adapter) override;
    STDMETHOD(CreateDevice)(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                            D3DPRESENT_PARAMETERS* pPresentationParameters,
                            IDirect3DDevice9** ppReturnedDeviceInterface) override;

private:
    std::atomic<ULONG> m_refCount{1};
};

// A failure that the test hook makes TestCooperativeLevel answer; S_OK when none.
HRESULT FaultyCooperativeLevel();
// A failure that the test hook makes Reset answer for these parameters; S_OK when none.
HRESULT FaultyReset(const D3DPRESENT_PARAMETERS& params);
// Whether the adapter lists a display mode of this size and format: a full-screen back buffer
// must have one.
bool IsAdapterMode(UINT width, UINT height, D3DFORMAT format);

// The capabilities this layer reports for a device type.
void FillCaps(D3DDEVTYPE type, D3DCAPS9& caps);

// Display formats the back buffer may have, and depth formats the device can make.
bool IsBackBufferFormat(D3DFORMAT format);
bool IsDepthFormat(D3DFORMAT format);
bool HasStencil(D3DFORMAT format);

} // namespace qv::d3d9
