// Bounding volumes, vertex normals and the sphere mesh.
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "platform/d3dx9/D3DX9Mesh.h"

namespace {

const D3DXVECTOR3& PositionAt(const D3DXVECTOR3* first, DWORD stride, DWORD i)
{
    return *reinterpret_cast<const D3DXVECTOR3*>(reinterpret_cast<const BYTE*>(first) + static_cast<size_t>(stride) * i);
}

} // namespace

HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                  D3DXVECTOR3* pCenter, FLOAT* pRadius)
{
    if (!pFirstPosition || !pCenter || !pRadius) return D3DERR_INVALIDCALL;
    D3DXVECTOR3 centre(0.0f, 0.0f, 0.0f);
    float radius = 0.0f;
    if (NumVertices > 0) {
        for (DWORD i = 0; i < NumVertices; ++i) centre += PositionAt(pFirstPosition, dwStride, i);
        centre /= static_cast<float>(NumVertices);
        float farSq = 0.0f;
        for (DWORD i = 0; i < NumVertices; ++i) {
            const D3DXVECTOR3 d = PositionAt(pFirstPosition, dwStride, i) - centre;
            const float lenSq = D3DXVec3LengthSq(&d);
            if (lenSq > farSq) farSq = lenSq;
        }
        radius = std::sqrt(farSq);
    }
    *pCenter = centre;
    *pRadius = radius;
    return S_OK;
}

HRESULT D3DXComputeBoundingBox(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride, D3DXVECTOR3* pMin,
                               D3DXVECTOR3* pMax)
{
    if (!pFirstPosition || !pMin || !pMax || NumVertices == 0) return D3DERR_INVALIDCALL;
    D3DXVECTOR3 lo = PositionAt(pFirstPosition, dwStride, 0), hi = lo;
    for (DWORD i = 1; i < NumVertices; ++i) {
        const D3DXVECTOR3& p = PositionAt(pFirstPosition, dwStride, i);
        D3DXVec3Minimize(&lo, &lo, &p);
        D3DXVec3Maximize(&hi, &hi, &p);
    }
    *pMin = lo;
    *pMax = hi;
    return S_OK;
}

namespace {

HRESULT ComputeNormals(LPD3DXBASEMESH pMesh)
{
    if (!pMesh) return D3DERR_INVALIDCALL;
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    HRESULT hr = pMesh->GetDeclaration(decl);
    if (FAILED(hr)) return hr;
    int posOffset = -1, normalOffset = -1;
    for (const D3DVERTEXELEMENT9* e = decl; e->Stream != 0xFF; ++e) {
        if (e->Stream != 0 || e->UsageIndex != 0) continue;
        if (e->Usage == D3DDECLUSAGE_POSITION && (e->Type == D3DDECLTYPE_FLOAT3 || e->Type == D3DDECLTYPE_FLOAT4))
            posOffset = e->Offset;
        if (e->Usage == D3DDECLUSAGE_NORMAL && e->Type == D3DDECLTYPE_FLOAT3) normalOffset = e->Offset;
    }
    if (posOffset < 0 || normalOffset < 0) return D3DERR_INVALIDCALL;

    const DWORD vertices = pMesh->GetNumVertices(), faces = pMesh->GetNumFaces();
    const DWORD stride = pMesh->GetNumBytesPerVertex();
    const bool wide = (pMesh->GetOptions() & D3DXMESH_32BIT) != 0;
    void* ib = nullptr;
    hr = pMesh->LockIndexBuffer(D3DLOCK_READONLY, &ib);
    if (FAILED(hr)) return hr;
    std::vector<DWORD> indices(static_cast<size_t>(faces) * 3);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = wide ? static_cast<const DWORD*>(ib)[i] : static_cast<const WORD*>(ib)[i];
    pMesh->UnlockIndexBuffer();
    for (DWORD i : indices)
        if (i >= vertices) return D3DERR_INVALIDCALL;

    void* vb = nullptr;
    hr = pMesh->LockVertexBuffer(0, &vb);
    if (FAILED(hr)) return hr;
    BYTE* bytes = static_cast<BYTE*>(vb);
    auto position = [&](DWORD v) {
        D3DXVECTOR3 p;
        std::memcpy(&p, bytes + static_cast<size_t>(v) * stride + posOffset, sizeof(p));
        return p;
    };
    // Each face adds its unit normal, weighted by the angle at each of its corners.
    std::vector<D3DXVECTOR3> sums(vertices, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    for (DWORD f = 0; f < faces; ++f) {
        const DWORD idx[3] = {indices[f * 3], indices[f * 3 + 1], indices[f * 3 + 2]};
        const D3DXVECTOR3 p[3] = {position(idx[0]), position(idx[1]), position(idx[2])};
        const D3DXVECTOR3 e1 = p[1] - p[0], e2 = p[2] - p[0];
        D3DXVECTOR3 n;
        D3DXVec3Cross(&n, &e1, &e2);
        if (D3DXVec3LengthSq(&n) == 0.0f) continue;
        D3DXVec3Normalize(&n, &n);
        for (int c = 0; c < 3; ++c) {
            D3DXVECTOR3 a = p[(c + 1) % 3] - p[c], b = p[(c + 2) % 3] - p[c];
            D3DXVec3Normalize(&a, &a);
            D3DXVec3Normalize(&b, &b);
            float cosine = D3DXVec3Dot(&a, &b);
            cosine = cosine > 1.0f ? 1.0f : cosine < -1.0f ? -1.0f : cosine;
            sums[idx[c]] += n * std::acos(cosine);
        }
    }
    for (DWORD v = 0; v < vertices; ++v) {
        D3DXVec3Normalize(&sums[v], &sums[v]);
        std::memcpy(bytes + static_cast<size_t>(v) * stride + normalOffset, &sums[v], sizeof(D3DXVECTOR3));
    }
    pMesh->UnlockVertexBuffer();
    return S_OK;
}

HRESULT CreateSphere(LPDIRECT3DDEVICE9 pDevice, FLOAT Radius, UINT Slices, UINT Stacks, LPD3DXMESH* ppMesh,
                     LPD3DXBUFFER* ppAdjacency)
{
    if (ppAdjacency) *ppAdjacency = nullptr;
    if (!ppMesh) return D3DERR_INVALIDCALL;
    *ppMesh = nullptr;
    if (!(Radius >= 0.0f) || Slices < 2 || Stacks < 2 || Slices > 0xFFFF || Stacks > 0xFFFF) return D3DERR_INVALIDCALL;

    // A pole at +z, Stacks - 1 rings of Slices vertices, a pole at -z.
    const DWORD rings = Stacks - 1;
    const uint64_t vertexCount = 2 + static_cast<uint64_t>(Slices) * rings;
    const uint64_t faceCount = 2 * static_cast<uint64_t>(Slices) * rings;
    if (vertexCount > 0xFFFFFFFFu || faceCount * 3 > 0xFFFFFFFFu) return D3DERR_INVALIDCALL;
    const DWORD options = D3DXMESH_MANAGED | (vertexCount > 0xFFFF ? D3DXMESH_32BIT : 0);
    LPD3DXMESH mesh = nullptr;
    HRESULT hr = D3DXCreateMeshFVF(static_cast<DWORD>(faceCount), static_cast<DWORD>(vertexCount), options,
                                   D3DFVF_XYZ | D3DFVF_NORMAL, pDevice, &mesh);
    if (FAILED(hr)) return hr;

    struct Vertex {
        D3DXVECTOR3 p, n;
    };
    std::vector<Vertex> vertices;
    vertices.reserve(vertexCount);
    vertices.push_back({D3DXVECTOR3(0, 0, Radius), D3DXVECTOR3(0, 0, 1)});
    for (DWORD i = 1; i <= rings; ++i) {
        const float phi = D3DX_PI * i / Stacks;
        for (DWORD j = 0; j < Slices; ++j) {
            const float theta = 2.0f * D3DX_PI * j / Slices;
            const D3DXVECTOR3 n(std::sin(phi) * std::cos(theta), std::sin(phi) * std::sin(theta), std::cos(phi));
            vertices.push_back({n * Radius, n});
        }
    }
    vertices.push_back({D3DXVECTOR3(0, 0, -Radius), D3DXVECTOR3(0, 0, -1)});

    // Corners run clockwise seen from outside, so the outside faces the viewer.
    std::vector<DWORD> indices;
    indices.reserve(faceCount * 3);
    auto ring = [&](DWORD i, DWORD j) { return 1 + (i - 1) * Slices + j % Slices; };
    for (DWORD j = 0; j < Slices; ++j) indices.insert(indices.end(), {0u, ring(1, j), ring(1, j + 1)});
    for (DWORD i = 1; i < rings; ++i)
        for (DWORD j = 0; j < Slices; ++j) {
            const DWORD u0 = ring(i, j), u1 = ring(i, j + 1), l0 = ring(i + 1, j), l1 = ring(i + 1, j + 1);
            indices.insert(indices.end(), {u0, l0, l1, u0, l1, u1});
        }
    const DWORD bottom = static_cast<DWORD>(vertexCount - 1);
    for (DWORD j = 0; j < Slices; ++j) indices.insert(indices.end(), {bottom, ring(rings, j + 1), ring(rings, j)});

    void* data = nullptr;
    hr = mesh->LockVertexBuffer(0, &data);
    if (SUCCEEDED(hr)) {
        std::memcpy(data, vertices.data(), vertices.size() * sizeof(Vertex));
        mesh->UnlockVertexBuffer();
        hr = mesh->LockIndexBuffer(0, &data);
    }
    if (SUCCEEDED(hr)) {
        if (options & D3DXMESH_32BIT) {
            std::memcpy(data, indices.data(), indices.size() * sizeof(DWORD));
        } else {
            for (size_t i = 0; i < indices.size(); ++i) static_cast<WORD*>(data)[i] = static_cast<WORD>(indices[i]);
        }
        mesh->UnlockIndexBuffer();
        const D3DXATTRIBUTERANGE all = {0, 0, static_cast<DWORD>(faceCount), 0, static_cast<DWORD>(vertexCount)};
        hr = mesh->SetAttributeTable(&all, 1);
    }
    if (SUCCEEDED(hr) && ppAdjacency) {
        hr = D3DXCreateBuffer(static_cast<DWORD>(faceCount * 3 * sizeof(DWORD)), ppAdjacency);
        if (SUCCEEDED(hr)) {
            hr = mesh->GenerateAdjacency(0.0f, static_cast<DWORD*>((*ppAdjacency)->GetBufferPointer()));
            if (FAILED(hr)) {
                (*ppAdjacency)->Release();
                *ppAdjacency = nullptr;
            }
        }
    }
    if (FAILED(hr)) {
        mesh->Release();
        return hr;
    }
    *ppMesh = mesh;
    return S_OK;
}

} // namespace

// The interface answers results, never exceptions: running out of memory is E_OUTOFMEMORY.
HRESULT D3DXComputeNormals(LPD3DXBASEMESH pMesh, const DWORD* /*pAdjacency*/)
{
    try {
        return ComputeNormals(pMesh);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT D3DXCreateSphere(LPDIRECT3DDEVICE9 pDevice, FLOAT Radius, UINT Slices, UINT Stacks, LPD3DXMESH* ppMesh,
                         LPD3DXBUFFER* ppAdjacency)
{
    try {
        return CreateSphere(pDevice, Radius, Slices, Stacks, ppMesh, ppAdjacency);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
