// Textures (kept in memory level by level and given to OpenGL on unlock), surfaces, vertex
// and index buffers (in memory, mirrored in OpenGL buffer objects), vertex declarations and
// the swap chain.
#include <algorithm>
#include <cstring>

#include "platform/d3d9/Device.h"

namespace qv::d3d9 {

template <class Interface>
ResourceBase<Interface>::ResourceBase(Device* device, D3DRESOURCETYPE type) : m_device(device), m_type(type)
{
    m_device->AddRef();
}

template <class Interface>
ResourceBase<Interface>::~ResourceBase()
{
    m_device->Release();
}

template <class Interface>
HRESULT ResourceBase<Interface>::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9) {
        *ppv = static_cast<Interface*>(this);
        this->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

template <class Interface>
HRESULT ResourceBase<Interface>::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

template class ResourceBase<IDirect3DTexture9>;
template class ResourceBase<IDirect3DVertexBuffer9>;
template class ResourceBase<IDirect3DIndexBuffer9>;
template class ResourceBase<IDirect3DSurface9>;

namespace {

// A lock rectangle inside a surface of w x h; a null rectangle is the whole surface.
bool LockArea(const RECT* rect, UINT w, UINT h, RECT& area)
{
    if (!rect) {
        area = RECT{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
        return true;
    }
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > static_cast<LONG>(w) || rect->bottom > static_cast<LONG>(h))
        return false;
    area = *rect;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Textures

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : ResourceBase(device, D3DRTYPE_TEXTURE), m_format(format), m_usage(usage), m_pool(pool)
{
    m_levels.resize(levels);
    const UINT bpp = BytesPerPixel(format);
    for (UINT i = 0; i < levels; ++i) {
        LevelData& level = m_levels[i];
        level.width = std::max(1u, width >> i);
        level.height = std::max(1u, height >> i);
        // New texture memory reads as opaque black where the format has no alpha.
        level.pixels.assign(static_cast<size_t>(level.width) * level.height * bpp, 0);
        if (format == D3DFMT_X8R8G8B8)
            for (size_t p = 3; p < level.pixels.size(); p += 4)
                level.pixels[p] = 0xFF;
    }
    if (m_device->GlUsable()) {
        QVGL(GenTextures)(1, &m_name);
        m_device->BindTextureForUpload(m_name);
        QVGL(TexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels - 1));
        for (UINT i = 0; i < levels; ++i)
            Upload(i);
    }
}

Texture::~Texture()
{
    for (LevelData& level : m_levels)
        delete level.surface;
    m_device->Forget(this);
    if (m_name && m_device->GlUsable())
        QVGL(DeleteTextures)(1, &m_name);
}

HRESULT Texture::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv && (riid == IID_IDirect3DTexture9 || riid == IID_IDirect3DBaseTexture9)) {
        *ppv = static_cast<IDirect3DTexture9*>(this);
        AddRef();
        return S_OK;
    }
    return ResourceBase::QueryInterface(riid, ppv);
}

DWORD Texture::SetLOD(DWORD lod)
{
    const DWORD old = m_lod;
    if (m_pool == D3DPOOL_MANAGED) {
        m_device->TextureChanging(this);
        m_lod = std::min<DWORD>(lod, LevelCount() - 1);
        samplerApplied = false; // the top level is given to OpenGL with the sampler state
    }
    return old;
}

void Texture::Upload(UINT level)
{
    if (!m_name || !m_device->GlUsable())
        return;
    const LevelData& l = m_levels[level];
    m_device->BindTextureForUpload(m_name);
    // X8R8G8B8 samples with alpha one whatever the fourth byte holds.
    const GLint internal = m_format == D3DFMT_X8R8G8B8 ? GL_RGB8 : GL_RGBA8;
    QVGL(TexImage2D)(GL_TEXTURE_2D, static_cast<GLint>(level), internal, static_cast<GLsizei>(l.width),
                     static_cast<GLsizei>(l.height), 0, GL_BGRA, GL_UNSIGNED_BYTE, l.pixels.data());
    m_device->TextureLevelWritten(this, level);
}

HRESULT Texture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc)
{
    if (!pDesc || Level >= LevelCount())
        return D3DERR_INVALIDCALL;
    *pDesc = D3DSURFACE_DESC{m_format, D3DRTYPE_SURFACE, m_usage, m_pool, D3DMULTISAMPLE_NONE, 0,
                             m_levels[Level].width, m_levels[Level].height};
    return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel)
{
    if (!ppSurfaceLevel)
        return D3DERR_INVALIDCALL;
    *ppSurfaceLevel = nullptr;
    if (Level >= LevelCount())
        return D3DERR_INVALIDCALL;
    if (!m_levels[Level].surface)
        m_levels[Level].surface = new Surface(this, Level);
    *ppSurfaceLevel = m_levels[Level].surface;
    AddRef();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags)
{
    if (!pLockedRect || Level >= LevelCount())
        return D3DERR_INVALIDCALL;
    LevelData& l = m_levels[Level];
    RECT area;
    if (l.locked || !LockArea(pRect, l.width, l.height, area))
        return D3DERR_INVALIDCALL;
    const UINT bpp = BytesPerPixel(m_format);
    const size_t pitch = static_cast<size_t>(l.width) * bpp;
    pLockedRect->Pitch = static_cast<INT>(pitch);
    pLockedRect->pBits = l.pixels.data() + static_cast<size_t>(area.top) * pitch + static_cast<size_t>(area.left) * bpp;
    l.locked = true;
    l.lockReadOnly = (Flags & D3DLOCK_READONLY) != 0;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT Level)
{
    if (Level >= LevelCount() || !m_levels[Level].locked)
        return D3DERR_INVALIDCALL;
    LevelData& l = m_levels[Level];
    l.locked = false;
    if (!l.lockReadOnly)
        Upload(Level);
    return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Surfaces

Surface::Surface(Texture* container, UINT level) : m_texture(container), m_level(level) {}

Surface::Surface(Device* device) : m_device(device) {}

HRESULT Surface::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DSurface9) {
        *ppv = static_cast<IDirect3DSurface9*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// A texture's surfaces live and die with it; the back buffer with the device.
ULONG Surface::AddRef()
{
    return m_texture ? m_texture->AddRef() : m_device->AddRef();
}

ULONG Surface::Release()
{
    return m_texture ? m_texture->Release() : m_device->Release();
}

HRESULT Surface::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (m_texture)
        return m_texture->GetDevice(ppDevice);
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

HRESULT Surface::GetContainer(REFIID riid, void** ppContainer)
{
    if (!ppContainer)
        return D3DERR_INVALIDCALL;
    if (m_texture)
        return m_texture->QueryInterface(riid, ppContainer);
    return m_device->QueryInterface(riid, ppContainer);
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    if (m_texture)
        return m_texture->GetLevelDesc(m_level, pDesc);
    const D3DPRESENT_PARAMETERS& p = m_device->Params();
    *pDesc = D3DSURFACE_DESC{p.BackBufferFormat,  D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                             D3DMULTISAMPLE_NONE, 0,                p.BackBufferWidth,     p.BackBufferHeight};
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags)
{
    if (m_texture)
        return m_texture->LockRect(m_level, pLockedRect, pRect, Flags);
    const D3DPRESENT_PARAMETERS& p = m_device->Params();
    RECT area;
    // Only a back buffer made lockable can be read.
    if (!pLockedRect || m_locked || !(p.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) ||
        !LockArea(pRect, p.BackBufferWidth, p.BackBufferHeight, area))
        return D3DERR_INVALIDCALL;
    m_device->ReadBackBuffer(m_lockCopy);
    const size_t pitch = static_cast<size_t>(p.BackBufferWidth) * 4;
    pLockedRect->Pitch = static_cast<INT>(pitch);
    pLockedRect->pBits = m_lockCopy.data() + static_cast<size_t>(area.top) * pitch + static_cast<size_t>(area.left) * 4;
    m_locked = true;
    m_lockReadOnly = (Flags & D3DLOCK_READONLY) != 0;
    return D3D_OK;
}

HRESULT Surface::UnlockRect()
{
    if (m_texture)
        return m_texture->UnlockRect(m_level);
    if (!m_locked)
        return D3DERR_INVALIDCALL;
    m_locked = false;
    if (!m_lockReadOnly)
        m_device->WriteBackBuffer(m_lockCopy);
    m_lockCopy.clear();
    m_lockCopy.shrink_to_fit();
    return D3D_OK;
}

PlainSurface::PlainSurface(Device* device, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool)
    : ResourceBase(device, D3DRTYPE_SURFACE), m_width(width), m_height(height), m_format(format), m_pool(pool),
      m_pixels(static_cast<size_t>(width) * height, 0)
{
}

HRESULT PlainSurface::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv && riid == IID_IDirect3DSurface9) {
        *ppv = static_cast<IDirect3DSurface9*>(this);
        AddRef();
        return S_OK;
    }
    return ResourceBase::QueryInterface(riid, ppv);
}

// A surface of its own belongs to the device.
HRESULT PlainSurface::GetContainer(REFIID riid, void** ppContainer)
{
    if (!ppContainer)
        return D3DERR_INVALIDCALL;
    return m_device->QueryInterface(riid, ppContainer);
}

HRESULT PlainSurface::GetDesc(D3DSURFACE_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = D3DSURFACE_DESC{m_format, D3DRTYPE_SURFACE, 0, m_pool, D3DMULTISAMPLE_NONE, 0, m_width, m_height};
    return D3D_OK;
}

HRESULT PlainSurface::LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD)
{
    RECT area;
    if (!pLockedRect || m_locked || !LockArea(pRect, m_width, m_height, area))
        return D3DERR_INVALIDCALL;
    pLockedRect->Pitch = static_cast<INT>(m_width * 4);
    pLockedRect->pBits = Row(static_cast<UINT>(area.top)) + area.left;
    m_locked = true;
    return D3D_OK;
}

HRESULT PlainSurface::UnlockRect()
{
    if (!m_locked)
        return D3DERR_INVALIDCALL;
    m_locked = false;
    return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Buffers

namespace {

HRESULT LockBuffer(std::vector<uint8_t>& data, int& locks, UINT offset, UINT size, void** out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    // Size 0 locks from the offset to the end.
    if (offset > data.size() || (size != 0 && static_cast<uint64_t>(offset) + size > data.size()))
        return D3DERR_INVALIDCALL;
    *out = data.data() + offset;
    ++locks;
    return D3D_OK;
}

UINT LockedSize(const std::vector<uint8_t>& data, UINT offset, UINT size)
{
    return size != 0 ? size : static_cast<UINT>(data.size()) - offset;
}

} // namespace

void GlBufferMirror::Changed(UINT offset, UINT size)
{
    if (size == 0)
        return;
    if (m_changedBegin == m_changedEnd) {
        m_changedBegin = offset;
        m_changedEnd = offset + size;
    } else {
        m_changedBegin = std::min(m_changedBegin, offset);
        m_changedEnd = std::max(m_changedEnd, offset + size);
    }
}

GLuint GlBufferMirror::Name(Device* device, GLenum target, const std::vector<uint8_t>& data, bool dynamic)
{
    if (!device->GlUsable())
        return 0;
    if (!m_name) {
        QVGL(GenBuffers)(1, &m_name);
        device->BindBufferForUpload(target, m_name);
        QVGL(BufferData)(target, static_cast<GLsizeiptr>(data.size()), data.data(),
                         dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        m_changedBegin = m_changedEnd = 0;
        return m_name;
    }
    if (m_changedBegin != m_changedEnd) {
        device->BindBufferForUpload(target, m_name);
        QVGL(BufferSubData)(target, static_cast<GLintptr>(m_changedBegin),
                            static_cast<GLsizeiptr>(m_changedEnd - m_changedBegin), data.data() + m_changedBegin);
        m_changedBegin = m_changedEnd = 0;
    }
    return m_name;
}

void GlBufferMirror::Free(Device* device)
{
    if (m_name && device->GlUsable()) {
        device->ForgetGlBuffer(m_name);
        QVGL(DeleteBuffers)(1, &m_name);
    }
    m_name = 0;
}

VertexBuffer::VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : ResourceBase(device, D3DRTYPE_VERTEXBUFFER), m_data(length, 0), m_usage(usage), m_fvf(fvf), m_pool(pool)
{
}

VertexBuffer::~VertexBuffer()
{
    m_device->Forget(this);
    m_mirror.Free(m_device);
}

HRESULT VertexBuffer::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv && riid == IID_IDirect3DVertexBuffer9) {
        *ppv = static_cast<IDirect3DVertexBuffer9*>(this);
        AddRef();
        return S_OK;
    }
    return ResourceBase::QueryInterface(riid, ppv);
}

HRESULT VertexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags)
{
    if (!(Flags & D3DLOCK_READONLY))
        m_device->BufferChanging(this);
    const HRESULT hr = LockBuffer(m_data, m_locks, OffsetToLock, SizeToLock, ppbData);
    if (SUCCEEDED(hr) && !(Flags & D3DLOCK_READONLY))
        m_mirror.Changed(OffsetToLock, LockedSize(m_data, OffsetToLock, SizeToLock));
    return hr;
}

HRESULT VertexBuffer::Unlock()
{
    if (m_locks == 0)
        return D3DERR_INVALIDCALL;
    --m_locks;
    return D3D_OK;
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = D3DVERTEXBUFFER_DESC{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, m_usage, m_pool, Size(), m_fvf};
    return D3D_OK;
}

GLuint VertexBuffer::GlBuffer()
{
    return m_mirror.Name(m_device, GL_ARRAY_BUFFER, m_data, (m_usage & D3DUSAGE_DYNAMIC) != 0);
}

IndexBuffer::IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : ResourceBase(device, D3DRTYPE_INDEXBUFFER), m_data(length, 0), m_usage(usage), m_format(format), m_pool(pool)
{
}

IndexBuffer::~IndexBuffer()
{
    m_device->Forget(this);
    m_mirror.Free(m_device);
}

HRESULT IndexBuffer::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv && riid == IID_IDirect3DIndexBuffer9) {
        *ppv = static_cast<IDirect3DIndexBuffer9*>(this);
        AddRef();
        return S_OK;
    }
    return ResourceBase::QueryInterface(riid, ppv);
}

HRESULT IndexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags)
{
    if (!(Flags & D3DLOCK_READONLY))
        m_device->BufferChanging(this);
    const HRESULT hr = LockBuffer(m_data, m_locks, OffsetToLock, SizeToLock, ppbData);
    if (SUCCEEDED(hr) && !(Flags & D3DLOCK_READONLY)) {
        m_mirror.Changed(OffsetToLock, LockedSize(m_data, OffsetToLock, SizeToLock));
        m_ranges.clear();
    }
    return hr;
}

HRESULT IndexBuffer::Unlock()
{
    if (m_locks == 0)
        return D3DERR_INVALIDCALL;
    --m_locks;
    return D3D_OK;
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = D3DINDEXBUFFER_DESC{m_format, D3DRTYPE_INDEXBUFFER, m_usage, m_pool, Size()};
    return D3D_OK;
}

GLuint IndexBuffer::GlBuffer()
{
    return m_mirror.Name(m_device, GL_ELEMENT_ARRAY_BUFFER, m_data, (m_usage & D3DUSAGE_DYNAMIC) != 0);
}

void IndexBuffer::Range(UINT start, UINT count, UINT& lowest, UINT& highest)
{
    for (const KnownRange& r : m_ranges) {
        if (r.start == start && r.count == count) {
            lowest = r.lowest;
            highest = r.highest;
            return;
        }
    }
    IndexRange(m_data.data() + static_cast<size_t>(start) * (m_format == D3DFMT_INDEX32 ? 4 : 2), count,
               m_format == D3DFMT_INDEX32, lowest, highest);
    // A handful of subsets per mesh; a buffer drawn in ever new ranges starts its list again.
    if (m_ranges.size() >= 64)
        m_ranges.clear();
    m_ranges.push_back(KnownRange{start, count, lowest, highest});
}

// ---------------------------------------------------------------------------------------------
// Vertex declarations and the swap chain

VertexDeclaration::VertexDeclaration(Device* device, std::vector<D3DVERTEXELEMENT9> elements,
                                     const VertexLayout& layout)
    : m_device(device), m_elements(std::move(elements)), m_layout(layout)
{
    m_device->AddRef();
}

VertexDeclaration::~VertexDeclaration()
{
    m_device->Forget(this);
    m_device->Release();
}

HRESULT VertexDeclaration::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DVertexDeclaration9) {
        *ppv = static_cast<IDirect3DVertexDeclaration9*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG VertexDeclaration::Release()
{
    const ULONG count = --m_refCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT VertexDeclaration::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements)
{
    if (!pNumElements)
        return D3DERR_INVALIDCALL;
    // The count includes the end marker; a null array asks only for the count.
    if (pElement)
        std::copy(m_elements.begin(), m_elements.end(), pElement);
    *pNumElements = static_cast<UINT>(m_elements.size());
    return D3D_OK;
}

HRESULT SwapChain::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DSwapChain9) {
        *ppv = static_cast<IDirect3DSwapChain9*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG SwapChain::AddRef()
{
    return m_device->AddRef();
}

ULONG SwapChain::Release()
{
    return m_device->Release();
}

HRESULT SwapChain::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                           const RGNDATA* pDirtyRegion, DWORD)
{
    return m_device->Present(pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion);
}

HRESULT SwapChain::GetBackBuffer(UINT iBackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface9** ppBackBuffer)
{
    return m_device->GetBackBuffer(0, iBackBuffer, Type, ppBackBuffer);
}

HRESULT SwapChain::GetRasterStatus(D3DRASTER_STATUS* pRasterStatus)
{
    return m_device->GetRasterStatus(0, pRasterStatus);
}

HRESULT SwapChain::GetDisplayMode(D3DDISPLAYMODE* pMode)
{
    return m_device->GetDisplayMode(0, pMode);
}

HRESULT SwapChain::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

HRESULT SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* pPresentationParameters)
{
    if (!pPresentationParameters)
        return D3DERR_INVALIDCALL;
    *pPresentationParameters = m_device->Params();
    return D3D_OK;
}

} // namespace qv::d3d9
