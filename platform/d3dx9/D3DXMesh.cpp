// ID3DXMesh: a triangle list over one vertex buffer and one index buffer, with one attribute
// (subset number) per face and an optional attribute table of face and vertex ranges.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "platform/d3dx9/D3DX9Mesh.h"
#include "platform/d3dx9/MeshBuffers.h"
#include "platform/d3dx9/MeshOptimize.h"

namespace {

const DWORD kNoFace = 0xFFFFFFFFu;
const DWORD kMeshOptFlags = D3DXMESHOPT_DEVICEINDEPENDENT | D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT |
                            D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER | D3DXMESHOPT_IGNOREVERTS |
                            D3DXMESHOPT_DONOTSPLIT;

// The interface answers results, never exceptions: running out of memory is E_OUTOFMEMORY.
template <typename Body>
HRESULT Guarded(Body&& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_OUTOFMEMORY;
    }
}

UINT DeclLength(const D3DVERTEXELEMENT9* decl)
{
    UINT n = 0;
    while (n < MAXD3DDECLLENGTH && decl[n].Stream != 0xFF) ++n;
    return n;
}

const D3DVERTEXELEMENT9* FindElement(const D3DVERTEXELEMENT9* decl, BYTE usage, BYTE usageIndex)
{
    for (const D3DVERTEXELEMENT9* e = decl; e->Stream != 0xFF; ++e)
        if (e->Stream == 0 && e->Usage == usage && e->UsageIndex == usageIndex) return e;
    return nullptr;
}

bool IsFloatType(BYTE type) { return type <= D3DDECLTYPE_FLOAT4; }

UINT ElementSize(BYTE type)
{
    D3DVERTEXELEMENT9 decl[2] = {{0, 0, type, 0, 0, 0}, D3DDECL_END()};
    return D3DXGetDeclVertexSize(decl, 0);
}

// Buffers are made by the device when there is one; without one they live in plain memory.
HRESULT MakeVertexBuffer(IDirect3DDevice9* device, DWORD options, UINT length, DWORD fvf, IDirect3DVertexBuffer9** out)
{
    DWORD usage = 0;
    if (options & D3DXMESH_VB_WRITEONLY) usage |= D3DUSAGE_WRITEONLY;
    if (options & D3DXMESH_VB_DYNAMIC) usage |= D3DUSAGE_DYNAMIC;
    if (options & D3DXMESH_VB_SOFTWAREPROCESSING) usage |= D3DUSAGE_SOFTWAREPROCESSING;
    if (!device) return CreateMemoryVertexBuffer(length, usage, fvf, out);
    const D3DPOOL pool = (options & D3DXMESH_VB_SYSTEMMEM)  ? D3DPOOL_SYSTEMMEM
                         : (options & D3DXMESH_VB_MANAGED) ? D3DPOOL_MANAGED
                                                           : D3DPOOL_DEFAULT;
    return device->CreateVertexBuffer(length, usage, fvf, pool, out, nullptr);
}

HRESULT MakeIndexBuffer(IDirect3DDevice9* device, DWORD options, UINT length, IDirect3DIndexBuffer9** out)
{
    DWORD usage = 0;
    if (options & D3DXMESH_IB_WRITEONLY) usage |= D3DUSAGE_WRITEONLY;
    if (options & D3DXMESH_IB_DYNAMIC) usage |= D3DUSAGE_DYNAMIC;
    if (options & D3DXMESH_IB_SOFTWAREPROCESSING) usage |= D3DUSAGE_SOFTWAREPROCESSING;
    const D3DFORMAT format = (options & D3DXMESH_32BIT) ? D3DFMT_INDEX32 : D3DFMT_INDEX16;
    if (!device) return CreateMemoryIndexBuffer(length, usage, format, out);
    const D3DPOOL pool = (options & D3DXMESH_IB_SYSTEMMEM)  ? D3DPOOL_SYSTEMMEM
                         : (options & D3DXMESH_IB_MANAGED) ? D3DPOOL_MANAGED
                                                           : D3DPOOL_DEFAULT;
    return device->CreateIndexBuffer(length, usage, format, pool, out, nullptr);
}

class CD3DXMesh final : public ID3DXMesh {
public:
    static HRESULT Create(DWORD numFaces, DWORD numVertices, DWORD options, const D3DVERTEXELEMENT9* decl,
                          IDirect3DDevice9* device, CD3DXMesh** out);

    // IUnknown
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            AddRef();
            *ppv = static_cast<IUnknown*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // ID3DXBaseMesh
    STDMETHOD(DrawSubset)(DWORD AttribId) override
    {
        return Guarded([&] { return DrawSubsetUnguarded(AttribId); });
    }
    STDMETHOD_(DWORD, GetNumFaces)() override { return numFaces_; }
    STDMETHOD_(DWORD, GetNumVertices)() override { return numVertices_; }
    STDMETHOD_(DWORD, GetFVF)() override { return fvf_; }
    STDMETHOD(GetDeclaration)(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) override
    {
        if (!Declaration) return D3DERR_INVALIDCALL;
        std::memcpy(Declaration, decl_, sizeof(D3DVERTEXELEMENT9) * (DeclLength(decl_) + 1));
        return S_OK;
    }
    STDMETHOD_(DWORD, GetNumBytesPerVertex)() override { return vertexSize_; }
    STDMETHOD_(DWORD, GetOptions)() override { return options_; }
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9* ppDevice) override
    {
        if (!ppDevice) return D3DERR_INVALIDCALL;
        *ppDevice = device_;
        if (!device_) return D3DERR_INVALIDCALL;
        device_->AddRef();
        return S_OK;
    }
    STDMETHOD(CloneMeshFVF)(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppCloneMesh) override
    {
        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        if (!ppCloneMesh) return D3DERR_INVALIDCALL;
        *ppCloneMesh = nullptr;
        const HRESULT hr = D3DXDeclaratorFromFVF(FVF, decl);
        if (FAILED(hr)) return hr;
        return CloneMesh(Options, decl, pD3DDevice, ppCloneMesh);
    }
    STDMETHOD(CloneMesh)(DWORD Options, const D3DVERTEXELEMENT9* pDeclaration, LPDIRECT3DDEVICE9 pD3DDevice,
                         LPD3DXMESH* ppCloneMesh) override
    {
        return Guarded([&] { return CloneMeshUnguarded(Options, pDeclaration, pD3DDevice, ppCloneMesh); });
    }
    STDMETHOD(GetVertexBuffer)(LPDIRECT3DVERTEXBUFFER9* ppVB) override
    {
        if (!ppVB) return D3DERR_INVALIDCALL;
        *ppVB = vb_;
        vb_->AddRef();
        return S_OK;
    }
    STDMETHOD(GetIndexBuffer)(LPDIRECT3DINDEXBUFFER9* ppIB) override
    {
        if (!ppIB) return D3DERR_INVALIDCALL;
        *ppIB = ib_;
        ib_->AddRef();
        return S_OK;
    }
    STDMETHOD(LockVertexBuffer)(DWORD Flags, LPVOID* ppData) override
    {
        if (!ppData) return D3DERR_INVALIDCALL;
        return vb_->Lock(0, 0, ppData, Flags);
    }
    STDMETHOD(UnlockVertexBuffer)() override { return vb_->Unlock(); }
    STDMETHOD(LockIndexBuffer)(DWORD Flags, LPVOID* ppData) override
    {
        if (!ppData) return D3DERR_INVALIDCALL;
        return ib_->Lock(0, 0, ppData, Flags);
    }
    STDMETHOD(UnlockIndexBuffer)() override
    {
        runsValid_ = false;
        return ib_->Unlock();
    }
    STDMETHOD(GetAttributeTable)(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) override
    {
        if (!pAttribTableSize) return D3DERR_INVALIDCALL;
        if (pAttribTable && !table_.empty())
            std::memcpy(pAttribTable, table_.data(), sizeof(D3DXATTRIBUTERANGE) * table_.size());
        *pAttribTableSize = static_cast<DWORD>(table_.size());
        return S_OK;
    }
    STDMETHOD(GenerateAdjacency)(FLOAT Epsilon, DWORD* pAdjacency) override
    {
        return Guarded([&] { return GenerateAdjacencyUnguarded(Epsilon, pAdjacency); });
    }

    // ID3DXMesh
    STDMETHOD(LockAttributeBuffer)(DWORD Flags, DWORD** ppData) override
    {
        if (!ppData) return D3DERR_INVALIDCALL;
        if (!(Flags & D3DLOCK_READONLY)) runsValid_ = false;
        *ppData = attributes_.data();
        return S_OK;
    }
    STDMETHOD(UnlockAttributeBuffer)() override { return S_OK; }
    STDMETHOD(Optimize)(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                        LPD3DXBUFFER* ppVertexRemap, LPD3DXMESH* ppOptMesh) override;
    STDMETHOD(OptimizeInplace)(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                               LPD3DXBUFFER* ppVertexRemap) override
    {
        return Guarded(
            [&] { return OptimizeInplaceUnguarded(Flags, pAdjacencyIn, pAdjacencyOut, pFaceRemap, ppVertexRemap); });
    }
    STDMETHOD(SetAttributeTable)(const D3DXATTRIBUTERANGE* pAttribTable, DWORD cAttribTableSize) override
    {
        if (cAttribTableSize && !pAttribTable) return D3DERR_INVALIDCALL;
        for (DWORD i = 0; i < cAttribTableSize; ++i) {
            const D3DXATTRIBUTERANGE& r = pAttribTable[i];
            if (r.FaceStart > numFaces_ || r.FaceCount > numFaces_ - r.FaceStart || r.VertexStart > numVertices_ ||
                r.VertexCount > numVertices_ - r.VertexStart)
                return D3DERR_INVALIDCALL;
        }
        table_.assign(pAttribTable, pAttribTable + cAttribTableSize);
        return S_OK;
    }

private:
    CD3DXMesh() = default;
    ~CD3DXMesh()
    {
        if (vb_) vb_->Release();
        if (ib_) ib_->Release();
        if (vdecl_) vdecl_->Release();
        if (device_) device_->Release();
    }

    HRESULT DrawSubsetUnguarded(DWORD AttribId);
    HRESULT CloneMeshUnguarded(DWORD Options, const D3DVERTEXELEMENT9* pDeclaration, LPDIRECT3DDEVICE9 pD3DDevice,
                               LPD3DXMESH* ppCloneMesh);
    HRESULT GenerateAdjacencyUnguarded(FLOAT Epsilon, DWORD* pAdjacency);
    HRESULT OptimizeInplaceUnguarded(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                                     LPD3DXBUFFER* ppVertexRemap);

    bool Is32Bit() const { return (options_ & D3DXMESH_32BIT) != 0; }
    // Reads every index (as 32-bit) and every position.
    HRESULT ReadIndices(std::vector<DWORD>& out);
    HRESULT WriteIndices(const std::vector<DWORD>& in);
    HRESULT ReadPositions(std::vector<D3DXVECTOR3>& out);
    // The ranges drawn for an attribute when the mesh has no attribute table: the runs of
    // consecutive faces with that attribute, in face order.
    HRESULT BuildRuns();

    std::atomic<ULONG> refs_{1};
    IDirect3DDevice9* device_ = nullptr;
    DWORD options_ = 0;
    DWORD fvf_ = 0;
    D3DVERTEXELEMENT9 decl_[MAX_FVF_DECL_SIZE];
    DWORD vertexSize_ = 0;
    DWORD numFaces_ = 0;
    DWORD numVertices_ = 0;
    IDirect3DVertexBuffer9* vb_ = nullptr;
    IDirect3DIndexBuffer9* ib_ = nullptr;
    IDirect3DVertexDeclaration9* vdecl_ = nullptr;
    std::vector<DWORD> attributes_;
    std::vector<D3DXATTRIBUTERANGE> table_;
    std::vector<D3DXATTRIBUTERANGE> runs_;
    bool runsValid_ = false;
};

HRESULT CD3DXMesh::Create(DWORD numFaces, DWORD numVertices, DWORD options, const D3DVERTEXELEMENT9* decl,
                          IDirect3DDevice9* device, CD3DXMesh** out)
{
    *out = nullptr;
    if (!decl || numFaces == 0 || numVertices == 0) return D3DERR_INVALIDCALL;
    if (!(options & D3DXMESH_32BIT) && numVertices > 0xFFFF) return D3DERR_INVALIDCALL;
    const UINT length = DeclLength(decl);
    if (length == MAXD3DDECLLENGTH && decl[length].Stream != 0xFF) return D3DERR_INVALIDCALL;
    const UINT vertexSize = D3DXGetDeclVertexSize(decl, 0);
    if (vertexSize == 0) return D3DERR_INVALIDCALL;
    const uint64_t vbBytes = static_cast<uint64_t>(numVertices) * vertexSize;
    const uint64_t ibBytes = static_cast<uint64_t>(numFaces) * 3 * ((options & D3DXMESH_32BIT) ? 4 : 2);
    if (vbBytes > 0xFFFFFFFFu || ibBytes > 0xFFFFFFFFu) return D3DERR_INVALIDCALL;

    CD3DXMesh* mesh = new (std::nothrow) CD3DXMesh();
    if (!mesh) return E_OUTOFMEMORY;
    // Released on every way out but success, exceptions included.
    struct Releaser {
        CD3DXMesh* mesh;
        ~Releaser()
        {
            if (mesh) mesh->Release();
        }
    } releaser{mesh};
    mesh->options_ = options & ~kMeshOptFlags;
    std::memcpy(mesh->decl_, decl, sizeof(D3DVERTEXELEMENT9) * (length + 1));
    DWORD fvf = 0;
    mesh->fvf_ = SUCCEEDED(D3DXFVFFromDeclarator(decl, &fvf)) ? fvf : 0;
    mesh->vertexSize_ = vertexSize;
    mesh->numFaces_ = numFaces;
    mesh->numVertices_ = numVertices;
    mesh->device_ = device;
    if (device) device->AddRef();
    HRESULT hr = MakeVertexBuffer(device, options, static_cast<UINT>(vbBytes), mesh->fvf_, &mesh->vb_);
    if (SUCCEEDED(hr)) hr = MakeIndexBuffer(device, options, static_cast<UINT>(ibBytes), &mesh->ib_);
    if (FAILED(hr)) return hr;
    mesh->attributes_.assign(numFaces, 0);
    releaser.mesh = nullptr;
    *out = mesh;
    return S_OK;
}

HRESULT CD3DXMesh::ReadIndices(std::vector<DWORD>& out)
{
    void* data = nullptr;
    const HRESULT hr = ib_->Lock(0, 0, &data, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    const size_t n = static_cast<size_t>(numFaces_) * 3;
    out.resize(n);
    if (Is32Bit()) {
        std::memcpy(out.data(), data, n * 4);
    } else {
        const WORD* w = static_cast<const WORD*>(data);
        for (size_t i = 0; i < n; ++i) out[i] = w[i];
    }
    ib_->Unlock();
    return S_OK;
}

HRESULT CD3DXMesh::WriteIndices(const std::vector<DWORD>& in)
{
    void* data = nullptr;
    const HRESULT hr = ib_->Lock(0, 0, &data, 0);
    if (FAILED(hr)) return hr;
    if (Is32Bit()) {
        std::memcpy(data, in.data(), in.size() * 4);
    } else {
        WORD* w = static_cast<WORD*>(data);
        for (size_t i = 0; i < in.size(); ++i) w[i] = static_cast<WORD>(in[i]);
    }
    ib_->Unlock();
    runsValid_ = false;
    return S_OK;
}

HRESULT CD3DXMesh::ReadPositions(std::vector<D3DXVECTOR3>& out)
{
    const D3DVERTEXELEMENT9* pos = FindElement(decl_, D3DDECLUSAGE_POSITION, 0);
    if (!pos || (pos->Type != D3DDECLTYPE_FLOAT3 && pos->Type != D3DDECLTYPE_FLOAT4)) return D3DERR_INVALIDCALL;
    void* data = nullptr;
    const HRESULT hr = vb_->Lock(0, 0, &data, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    out.resize(numVertices_);
    const BYTE* bytes = static_cast<const BYTE*>(data);
    for (DWORD i = 0; i < numVertices_; ++i)
        std::memcpy(&out[i], bytes + static_cast<size_t>(i) * vertexSize_ + pos->Offset, sizeof(D3DXVECTOR3));
    vb_->Unlock();
    return S_OK;
}

HRESULT CD3DXMesh::BuildRuns()
{
    if (runsValid_) return S_OK;
    std::vector<DWORD> indices;
    const HRESULT hr = ReadIndices(indices);
    if (FAILED(hr)) return hr;
    runs_ = BuildAttributeRanges(attributes_, indices);
    runsValid_ = true;
    return S_OK;
}

HRESULT CD3DXMesh::DrawSubsetUnguarded(DWORD AttribId)
{
    if (!device_) return D3DERR_INVALIDCALL;
    const std::vector<D3DXATTRIBUTERANGE>* ranges = &table_;
    if (table_.empty()) {
        const HRESULT hr = BuildRuns();
        if (FAILED(hr)) return hr;
        ranges = &runs_;
    }

    bool prepared = false;
    for (const D3DXATTRIBUTERANGE& r : *ranges) {
        if (r.AttribId != AttribId || r.FaceCount == 0) continue;
        if (!prepared) {
            HRESULT hr;
            if (fvf_) {
                hr = device_->SetFVF(fvf_);
            } else {
                if (!vdecl_) {
                    hr = device_->CreateVertexDeclaration(decl_, &vdecl_);
                    if (FAILED(hr)) return hr;
                }
                hr = device_->SetVertexDeclaration(vdecl_);
            }
            if (SUCCEEDED(hr)) hr = device_->SetStreamSource(0, vb_, 0, vertexSize_);
            if (SUCCEEDED(hr)) hr = device_->SetIndices(ib_);
            if (FAILED(hr)) return hr;
            prepared = true;
        }
        const HRESULT hr = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, r.VertexStart, r.VertexCount,
                                                         r.FaceStart * 3, r.FaceCount);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CD3DXMesh::CloneMeshUnguarded(DWORD Options, const D3DVERTEXELEMENT9* pDeclaration, LPDIRECT3DDEVICE9 pD3DDevice,
                             LPD3DXMESH* ppCloneMesh)
{
    if (!ppCloneMesh || !pDeclaration) return D3DERR_INVALIDCALL;
    *ppCloneMesh = nullptr;
    CD3DXMesh* clone = nullptr;
    HRESULT hr = Create(numFaces_, numVertices_, Options, pDeclaration, pD3DDevice, &clone);
    if (FAILED(hr)) return hr;

    // Vertices: each element of the new layout takes the element of the same meaning from
    // the old one; float elements of other widths are cut or padded; the rest is zero.
    void* src = nullptr;
    void* dst = nullptr;
    hr = vb_->Lock(0, 0, &src, D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) {
        hr = clone->vb_->Lock(0, 0, &dst, 0);
        if (FAILED(hr)) vb_->Unlock();
    }
    if (FAILED(hr)) {
        clone->Release();
        return hr;
    }
    std::memset(dst, 0, static_cast<size_t>(numVertices_) * clone->vertexSize_);
    for (const D3DVERTEXELEMENT9* e = clone->decl_; e->Stream != 0xFF; ++e) {
        if (e->Stream != 0) continue;
        const D3DVERTEXELEMENT9* from = FindElement(decl_, e->Usage, e->UsageIndex);
        if (!from) continue;
        const UINT toSize = ElementSize(e->Type), fromSize = ElementSize(from->Type);
        const bool floats = IsFloatType(e->Type) && IsFloatType(from->Type);
        if (e->Type != from->Type && !floats) continue;
        const UINT copy = std::min(toSize, fromSize);
        for (DWORD v = 0; v < numVertices_; ++v) {
            BYTE* d = static_cast<BYTE*>(dst) + static_cast<size_t>(v) * clone->vertexSize_ + e->Offset;
            const BYTE* s = static_cast<const BYTE*>(src) + static_cast<size_t>(v) * vertexSize_ + from->Offset;
            std::memcpy(d, s, copy);
            if (floats && e->Type == D3DDECLTYPE_FLOAT4 && fromSize < 16 &&
                (e->Usage == D3DDECLUSAGE_POSITION || e->Usage == D3DDECLUSAGE_POSITIONT)) {
                const float one = 1.0f;
                std::memcpy(d + 12, &one, 4);
            }
        }
    }
    clone->vb_->Unlock();
    vb_->Unlock();

    std::vector<DWORD> indices;
    hr = ReadIndices(indices);
    if (SUCCEEDED(hr)) hr = clone->WriteIndices(indices);
    if (FAILED(hr)) {
        clone->Release();
        return hr;
    }
    clone->attributes_ = attributes_;
    clone->table_ = table_;
    *ppCloneMesh = clone;
    return S_OK;
}

HRESULT CD3DXMesh::GenerateAdjacencyUnguarded(FLOAT Epsilon, DWORD* pAdjacency)
{
    if (!pAdjacency || Epsilon < 0.0f) return D3DERR_INVALIDCALL;
    std::vector<D3DXVECTOR3> positions;
    std::vector<DWORD> indices;
    HRESULT hr = ReadPositions(positions);
    if (SUCCEEDED(hr)) hr = ReadIndices(indices);
    if (FAILED(hr)) return hr;
    const std::vector<DWORD> adjacency = ComputeAdjacency(positions, indices, Epsilon);
    std::memcpy(pAdjacency, adjacency.data(), adjacency.size() * sizeof(DWORD));
    return S_OK;
}

HRESULT CD3DXMesh::OptimizeInplaceUnguarded(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                                   LPD3DXBUFFER* ppVertexRemap)
{
    if (ppVertexRemap) *ppVertexRemap = nullptr;
    std::vector<DWORD> indices;
    HRESULT hr = ReadIndices(indices);
    if (FAILED(hr)) return hr;
    for (DWORD i : indices)
        if (i >= numVertices_) return D3DERR_INVALIDCALL;

    // The adjacency to carry over: the caller's, or worked out here when an output is wanted.
    std::vector<DWORD> adjacency;
    if (pAdjacencyIn) {
        adjacency.assign(pAdjacencyIn, pAdjacencyIn + static_cast<size_t>(numFaces_) * 3);
    } else if (pAdjacencyOut) {
        std::vector<D3DXVECTOR3> positions;
        hr = ReadPositions(positions);
        if (FAILED(hr)) return hr;
        adjacency = ComputeAdjacency(positions, indices, 0.0f);
    }

    const MeshOrder order = ComputeMeshOrder(Flags, attributes_, indices, numVertices_);

    // Faces, their attributes and indices in the new order.
    std::vector<DWORD> newIndices(indices.size());
    std::vector<DWORD> newAttributes(numFaces_);
    for (DWORD f = 0; f < numFaces_; ++f) {
        const DWORD old = order.faceOrder[f];
        newAttributes[f] = attributes_[old];
        for (int c = 0; c < 3; ++c) newIndices[f * 3 + c] = order.oldToNewVertex[indices[old * 3 + c]];
    }

    // Vertices in the new order; a compacted mesh gets a smaller vertex buffer.
    const DWORD newVertexCount = static_cast<DWORD>(order.vertexOrder.size());
    if (!order.identityVertices) {
        void* data = nullptr;
        hr = vb_->Lock(0, 0, &data, D3DLOCK_READONLY);
        if (FAILED(hr)) return hr;
        std::vector<BYTE> old(static_cast<const BYTE*>(data),
                              static_cast<const BYTE*>(data) + static_cast<size_t>(numVertices_) * vertexSize_);
        vb_->Unlock();
        IDirect3DVertexBuffer9* target = vb_;
        if (newVertexCount != numVertices_) {
            target = nullptr;
            hr = MakeVertexBuffer(device_, options_, newVertexCount * vertexSize_, fvf_, &target);
            if (FAILED(hr)) return hr;
        }
        hr = target->Lock(0, 0, &data, 0);
        if (FAILED(hr)) {
            if (target != vb_) target->Release();
            return hr;
        }
        for (DWORD v = 0; v < newVertexCount; ++v)
            std::memcpy(static_cast<BYTE*>(data) + static_cast<size_t>(v) * vertexSize_,
                        old.data() + static_cast<size_t>(order.vertexOrder[v]) * vertexSize_, vertexSize_);
        target->Unlock();
        if (target != vb_) {
            vb_->Release();
            vb_ = target;
        }
    }

    LPD3DXBUFFER remap = nullptr;
    if (ppVertexRemap) {
        hr = D3DXCreateBuffer(numVertices_ * sizeof(DWORD), &remap);
        if (FAILED(hr)) return hr;
        DWORD* r = static_cast<DWORD*>(remap->GetBufferPointer());
        for (DWORD v = 0; v < numVertices_; ++v) r[v] = v < newVertexCount ? order.vertexOrder[v] : 0xFFFFFFFFu;
    }

    hr = WriteIndices(newIndices);
    if (FAILED(hr)) {
        if (remap) remap->Release();
        return hr;
    }
    numVertices_ = newVertexCount;
    attributes_ = std::move(newAttributes);
    if (order.attributeSorted) table_ = BuildAttributeRanges(attributes_, newIndices);

    if (pAdjacencyOut) {
        std::vector<DWORD> oldToNewFace(numFaces_);
        for (DWORD f = 0; f < numFaces_; ++f) oldToNewFace[order.faceOrder[f]] = f;
        for (DWORD f = 0; f < numFaces_; ++f)
            for (int e = 0; e < 3; ++e) {
                const DWORD n = adjacency[order.faceOrder[f] * 3 + e];
                pAdjacencyOut[f * 3 + e] = n < numFaces_ ? oldToNewFace[n] : kNoFace;
            }
    }
    if (pFaceRemap) std::memcpy(pFaceRemap, order.faceOrder.data(), numFaces_ * sizeof(DWORD));
    if (ppVertexRemap) *ppVertexRemap = remap;
    return S_OK;
}

HRESULT CD3DXMesh::Optimize(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                            LPD3DXBUFFER* ppVertexRemap, LPD3DXMESH* ppOptMesh)
{
    if (!ppOptMesh) return D3DERR_INVALIDCALL;
    *ppOptMesh = nullptr;
    const DWORD meshOptions = (Flags & ~kMeshOptFlags) ? (Flags & ~kMeshOptFlags) : options_;
    LPD3DXMESH clone = nullptr;
    HRESULT hr = CloneMesh(meshOptions, decl_, device_, &clone);
    if (FAILED(hr)) return hr;
    hr = clone->OptimizeInplace(Flags & kMeshOptFlags, pAdjacencyIn, pAdjacencyOut, pFaceRemap, ppVertexRemap);
    if (FAILED(hr)) {
        clone->Release();
        return hr;
    }
    *ppOptMesh = clone;
    return S_OK;
}

} // namespace

HRESULT D3DXCreateMesh(DWORD NumFaces, DWORD NumVertices, DWORD Options, const D3DVERTEXELEMENT9* pDeclaration,
                       LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppMesh)
{
    if (!ppMesh) return D3DERR_INVALIDCALL;
    CD3DXMesh* mesh = nullptr;
    const HRESULT hr =
        Guarded([&] { return CD3DXMesh::Create(NumFaces, NumVertices, Options, pDeclaration, pD3DDevice, &mesh); });
    *ppMesh = mesh;
    return hr;
}

HRESULT D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice,
                          LPD3DXMESH* ppMesh)
{
    if (!ppMesh) return D3DERR_INVALIDCALL;
    *ppMesh = nullptr;
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    const HRESULT hr = D3DXDeclaratorFromFVF(FVF, decl);
    if (FAILED(hr)) return hr;
    return D3DXCreateMesh(NumFaces, NumVertices, Options, decl, pD3DDevice, ppMesh);
}
