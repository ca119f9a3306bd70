// D3DX meshes made in system memory: vertex formats, cloning, optimisation with its remaps
// and adjacency, normals, bounding spheres and the sphere mesh.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <tuple>
#include <cstring>
#include <vector>

#include "platform/d3dx9/D3DX9Mesh.h"
#include "tests/support/VertexCacheMisses.h"

namespace {

struct PosNormal {
    D3DXVECTOR3 p, n;
};

ID3DXMesh* MakeMesh(DWORD fvf, DWORD options, const std::vector<D3DXVECTOR3>& positions,
                    const std::vector<DWORD>& indices, const std::vector<DWORD>& attributes = {})
{
    ID3DXMesh* mesh = nullptr;
    const DWORD faces = static_cast<DWORD>(indices.size() / 3);
    if (FAILED(D3DXCreateMeshFVF(faces, static_cast<DWORD>(positions.size()), options, fvf, nullptr, &mesh)))
        return nullptr;
    const UINT stride = D3DXGetFVFVertexSize(fvf);
    BYTE* v = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    for (size_t i = 0; i < positions.size(); ++i) std::memcpy(v + i * stride, &positions[i], 12);
    mesh->UnlockVertexBuffer();
    void* ib = nullptr;
    mesh->LockIndexBuffer(0, &ib);
    for (size_t i = 0; i < indices.size(); ++i) {
        if (options & D3DXMESH_32BIT) static_cast<DWORD*>(ib)[i] = indices[i];
        else static_cast<WORD*>(ib)[i] = static_cast<WORD>(indices[i]);
    }
    mesh->UnlockIndexBuffer();
    if (!attributes.empty()) {
        DWORD* a = nullptr;
        mesh->LockAttributeBuffer(0, &a);
        std::copy(attributes.begin(), attributes.end(), a);
        mesh->UnlockAttributeBuffer();
    }
    return mesh;
}

std::vector<DWORD> Indices(ID3DXMesh* mesh)
{
    std::vector<DWORD> out(mesh->GetNumFaces() * 3);
    void* ib = nullptr;
    mesh->LockIndexBuffer(D3DLOCK_READONLY, &ib);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = (mesh->GetOptions() & D3DXMESH_32BIT) ? static_cast<DWORD*>(ib)[i] : static_cast<WORD*>(ib)[i];
    mesh->UnlockIndexBuffer();
    return out;
}

D3DXVECTOR3 Position(ID3DXMesh* mesh, DWORD v)
{
    BYTE* data = nullptr;
    mesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&data));
    D3DXVECTOR3 p;
    std::memcpy(&p, data + v * mesh->GetNumBytesPerVertex(), 12);
    mesh->UnlockVertexBuffer();
    return p;
}

} // namespace

TEST(D3DX9Mesh, VertexSizesAndDeclarationsFollowTheFormat)
{
    EXPECT_EQ(24u, D3DXGetFVFVertexSize(D3DFVF_XYZ | D3DFVF_NORMAL));
    EXPECT_EQ(24u, D3DXGetFVFVertexSize(0x142));
    EXPECT_EQ(28u, D3DXGetFVFVertexSize(0x144));
    EXPECT_EQ(20u, D3DXGetFVFVertexSize(0x44));
    EXPECT_EQ(16u, D3DXGetFVFVertexSize(0x42));
    EXPECT_EQ(28u, D3DXGetFVFVertexSize(0x52));
    EXPECT_EQ(24u, D3DXGetFVFVertexSize(D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)));
    EXPECT_EQ(24u, D3DXGetFVFVertexSize(D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4));

    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(S_OK, D3DXDeclaratorFromFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1, decl));
    const BYTE usages[] = {D3DDECLUSAGE_POSITION, D3DDECLUSAGE_NORMAL, D3DDECLUSAGE_COLOR, D3DDECLUSAGE_TEXCOORD};
    const WORD offsets[] = {0, 12, 24, 28};
    const BYTE types[] = {D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_D3DCOLOR, D3DDECLTYPE_FLOAT2};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(usages[i], decl[i].Usage) << i;
        EXPECT_EQ(offsets[i], decl[i].Offset) << i;
        EXPECT_EQ(types[i], decl[i].Type) << i;
    }
    EXPECT_EQ(0xFF, decl[4].Stream);
    EXPECT_EQ(36u, D3DXGetDeclVertexSize(decl, 0));

    // Skinned positions: two weights, then the indices in the last beta.
    ASSERT_EQ(S_OK, D3DXDeclaratorFromFVF(D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL, decl));
    EXPECT_EQ(D3DDECLUSAGE_BLENDWEIGHT, decl[1].Usage);
    EXPECT_EQ(D3DDECLTYPE_FLOAT2, decl[1].Type);
    EXPECT_EQ(D3DDECLUSAGE_BLENDINDICES, decl[2].Usage);
    EXPECT_EQ(20, decl[2].Offset);
    EXPECT_EQ(24, decl[3].Offset);

    DWORD fvf = 0;
    ASSERT_EQ(S_OK, D3DXDeclaratorFromFVF(0x142, decl));
    EXPECT_EQ(S_OK, D3DXFVFFromDeclarator(decl, &fvf));
    EXPECT_EQ(0x142u, fvf);
}

TEST(D3DX9Mesh, CreationRefusesWhatCannotBeHeld)
{
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXCreateMeshFVF(0, 3, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, nullptr, &mesh));
    EXPECT_EQ(nullptr, mesh);
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXCreateMeshFVF(1, 0x10000, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, nullptr, &mesh));
    ASSERT_EQ(S_OK, D3DXCreateMeshFVF(1, 0x10000, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, D3DFVF_XYZ, nullptr, &mesh));
    EXPECT_EQ(0x10000u, mesh->GetNumVertices());
    EXPECT_EQ(static_cast<DWORD>(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT), mesh->GetOptions());
    IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(1);
    EXPECT_EQ(D3DERR_INVALIDCALL, mesh->GetDevice(&device));
    EXPECT_EQ(nullptr, device);
    EXPECT_EQ(D3DERR_INVALIDCALL, mesh->DrawSubset(0)); // nothing to draw with
    mesh->Release();
}

TEST(D3DX9Mesh, CloneKeepsPositionsAndConvertsIndexWidth)
{
    ID3DXMesh* mesh = MakeMesh(D3DFVF_XYZ, D3DXMESH_SYSTEMMEM,
                               {D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(4, 5, 6), D3DXVECTOR3(7, 8, 9)}, {0, 1, 2}, {5});
    ASSERT_NE(nullptr, mesh);
    ID3DXMesh* clone = nullptr;
    ASSERT_EQ(S_OK, mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, D3DFVF_XYZ | D3DFVF_NORMAL, nullptr, &clone));
    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_NORMAL), clone->GetFVF());
    EXPECT_EQ(24u, clone->GetNumBytesPerVertex());
    PosNormal* v = nullptr;
    clone->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v));
    EXPECT_EQ(D3DXVECTOR3(4, 5, 6), v[1].p);
    EXPECT_EQ(D3DXVECTOR3(0, 0, 0), v[1].n);
    clone->UnlockVertexBuffer();
    EXPECT_EQ((std::vector<DWORD>{0, 1, 2}), Indices(clone));
    DWORD* attr = nullptr;
    clone->LockAttributeBuffer(D3DLOCK_READONLY, &attr);
    EXPECT_EQ(5u, attr[0]);
    clone->UnlockAttributeBuffer();

    // The vertex buffer's description gives the size a reader divides by the count.
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(S_OK, clone->GetVertexBuffer(&vb));
    D3DVERTEXBUFFER_DESC desc;
    vb->GetDesc(&desc);
    EXPECT_EQ(72u, desc.Size);
    vb->Release();
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(S_OK, clone->GetIndexBuffer(&ib));
    D3DINDEXBUFFER_DESC idesc;
    ib->GetDesc(&idesc);
    EXPECT_EQ(D3DFMT_INDEX32, idesc.Format);
    ib->Release();
    clone->Release();
    mesh->Release();
}

TEST(D3DX9Mesh, AdjacencyJoinsFacesAcrossSharedEdges)
{
    // A quad of two triangles whose shared edge has split vertices (4, 5 duplicate 1, 2).
    ID3DXMesh* mesh = MakeMesh(D3DFVF_XYZ, D3DXMESH_SYSTEMMEM,
                               {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(1, 1, 0),
                                D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(1, 0.001f, 0)},
                               {0, 1, 2, 5, 4, 3});
    ASSERT_NE(nullptr, mesh);
    DWORD adj[6];
    ASSERT_EQ(S_OK, mesh->GenerateAdjacency(0.0f, adj));
    for (DWORD a : adj) EXPECT_EQ(0xFFFFFFFFu, a); // 5 is 0.001 away from 2
    ASSERT_EQ(S_OK, mesh->GenerateAdjacency(0.01f, adj));
    // Edge 1 -> 2 of face 0 is edge 5 -> 4 of face 1.
    EXPECT_EQ((std::vector<DWORD>{0xFFFFFFFFu, 1, 0xFFFFFFFFu}), std::vector<DWORD>(adj, adj + 3));
    EXPECT_EQ((std::vector<DWORD>{0, 0xFFFFFFFFu, 0xFFFFFFFFu}), std::vector<DWORD>(adj + 3, adj + 6));
    mesh->Release();
}

TEST(D3DX9Mesh, OptimizeSortsByAttributeCompactsAndReportsTheRemaps)
{
    // Four faces with attributes 1, 0, 1, 0 over vertices 0-6; vertex 3 is unused.
    const std::vector<D3DXVECTOR3> pos = {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(1, 0, 0),
                                          D3DXVECTOR3(9, 9, 9), D3DXVECTOR3(1, 1, 0), D3DXVECTOR3(2, 0, 0),
                                          D3DXVECTOR3(2, 1, 0)};
    const std::vector<DWORD> idx = {0, 1, 2, 2, 1, 4, 2, 4, 5, 5, 4, 6};
    ID3DXMesh* mesh = MakeMesh(D3DFVF_XYZ, D3DXMESH_SYSTEMMEM, pos, idx, {1, 0, 1, 0});
    ASSERT_NE(nullptr, mesh);
    DWORD adjIn[12];
    ASSERT_EQ(S_OK, mesh->GenerateAdjacency(0.0f, adjIn));
    DWORD adjOut[12], faceRemap[4];
    ID3DXBuffer* vertexRemap = nullptr;
    ASSERT_EQ(S_OK, mesh->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT, adjIn, adjOut, faceRemap,
                                          &vertexRemap));
    // Faces of attribute 0 first, each group in its old order.
    EXPECT_EQ((std::vector<DWORD>{1, 3, 0, 2}), std::vector<DWORD>(faceRemap, faceRemap + 4));
    EXPECT_EQ(6u, mesh->GetNumVertices());
    ASSERT_NE(nullptr, vertexRemap);
    const DWORD* vr = static_cast<const DWORD*>(vertexRemap->GetBufferPointer());
    // New vertices in first use by the new faces: 2, 1, 4, 5, 6, 0; the old seventh is gone.
    EXPECT_EQ((std::vector<DWORD>{2, 1, 4, 5, 6, 0, 0xFFFFFFFFu}), std::vector<DWORD>(vr, vr + 7));
    vertexRemap->Release();

    // Every new face has the corners of the old face it came from.
    const std::vector<DWORD> now = Indices(mesh);
    for (int f = 0; f < 4; ++f)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(pos[idx[faceRemap[f] * 3 + c]], Position(mesh, now[f * 3 + c])) << f << c;

    // The adjacency follows the faces.
    for (int f = 0; f < 4; ++f)
        for (int e = 0; e < 3; ++e) {
            const DWORD old = adjIn[faceRemap[f] * 3 + e];
            EXPECT_EQ(old == 0xFFFFFFFFu ? old : faceRemap[adjOut[f * 3 + e]], old);
        }

    // One range per attribute with the vertices it uses.
    DWORD count = 0;
    ASSERT_EQ(S_OK, mesh->GetAttributeTable(nullptr, &count));
    ASSERT_EQ(2u, count);
    D3DXATTRIBUTERANGE table[2];
    ASSERT_EQ(S_OK, mesh->GetAttributeTable(table, &count));
    EXPECT_EQ(0u, table[0].AttribId);
    EXPECT_EQ(0u, table[0].FaceStart);
    EXPECT_EQ(2u, table[0].FaceCount);
    EXPECT_EQ(0u, table[0].VertexStart);
    EXPECT_EQ(5u, table[0].VertexCount);
    EXPECT_EQ(1u, table[1].AttribId);
    EXPECT_EQ(2u, table[1].FaceStart);
    EXPECT_EQ(2u, table[1].FaceCount);
    mesh->Release();
}

TEST(D3DX9Mesh, VertexCacheOrderKeepsEveryFace)
{
    ID3DXMesh* sphere = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateSphere(nullptr, 1.0f, 12, 6, &sphere, nullptr));
    const std::vector<DWORD> before = Indices(sphere);
    DWORD faceRemap[120];
    ASSERT_EQ(120u, sphere->GetNumFaces());
    ASSERT_EQ(S_OK, sphere->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                            nullptr, nullptr, faceRemap, nullptr));
    std::vector<bool> seen(120, false);
    for (DWORD f : faceRemap) {
        ASSERT_LT(f, 120u);
        EXPECT_FALSE(seen[f]);
        seen[f] = true;
    }
    EXPECT_EQ(62u, sphere->GetNumVertices());
    sphere->Release();
}

TEST(D3DX9Mesh, VertexCacheOrderFetchesFewerVertices)
{
    // A 24x24 grid of quads whose faces come in a shuffled order.
    const int n = 24;
    std::vector<D3DXVECTOR3> pos;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) pos.push_back(D3DXVECTOR3(float(x), float(y), 0));
    std::vector<std::array<DWORD, 3>> faces;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const DWORD a = y * (n + 1) + x, b = a + 1, c = a + n + 1, d = c + 1;
            faces.push_back({a, c, b});
            faces.push_back({b, c, d});
        }
    std::mt19937 rng(5);
    std::shuffle(faces.begin(), faces.end(), rng);
    std::vector<DWORD> idx;
    for (const auto& f : faces) idx.insert(idx.end(), f.begin(), f.end());
    ID3DXMesh* mesh = MakeMesh(D3DFVF_XYZ, D3DXMESH_SYSTEMMEM, pos, idx);
    ASSERT_NE(nullptr, mesh);
    const double before = qvtest::FifoMissesPerTriangle(Indices(mesh), 16);
    ASSERT_EQ(S_OK, mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE, nullptr, nullptr, nullptr,
                                          nullptr));
    const double after = qvtest::FifoMissesPerTriangle(Indices(mesh), 16);
    EXPECT_GT(before, 2.0f);
    // A grid is at best 0.5 per triangle; a good order stays well under one.
    EXPECT_LT(after, 0.8f) << "before " << before;
    // Same faces, same corners.
    std::vector<std::array<D3DXVECTOR3, 3>> was, now;
    const std::vector<DWORD> optimised = Indices(mesh);
    for (size_t f = 0; f < faces.size(); ++f) {
        was.push_back({pos[idx[f * 3]], pos[idx[f * 3 + 1]], pos[idx[f * 3 + 2]]});
        now.push_back({Position(mesh, optimised[f * 3]), Position(mesh, optimised[f * 3 + 1]),
                       Position(mesh, optimised[f * 3 + 2])});
    }
    auto key = [](const std::array<D3DXVECTOR3, 3>& t) {
        return std::make_tuple(t[0].x, t[0].y, t[1].x, t[1].y, t[2].x, t[2].y);
    };
    auto less = [&](const std::array<D3DXVECTOR3, 3>& a, const std::array<D3DXVECTOR3, 3>& b) { return key(a) < key(b); };
    std::sort(was.begin(), was.end(), less);
    std::sort(now.begin(), now.end(), less);
    for (size_t f = 0; f < was.size(); ++f) EXPECT_TRUE(key(was[f]) == key(now[f])) << f;
    mesh->Release();
}

TEST(D3DX9Mesh, SphereFacesOutwardAndIsClosed)
{
    ID3DXMesh* sphere = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateSphere(nullptr, 2.0f, 12, 6, &sphere, &adjacency));
    EXPECT_EQ(2u + 12u * 5u, sphere->GetNumVertices());
    EXPECT_EQ(2u * 12u * 5u, sphere->GetNumFaces());
    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_NORMAL), sphere->GetFVF());
    EXPECT_EQ(static_cast<DWORD>(D3DXMESH_MANAGED), sphere->GetOptions());
    const std::vector<DWORD> idx = Indices(sphere);
    PosNormal* v = nullptr;
    sphere->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v));
    for (DWORD i = 0; i < sphere->GetNumVertices(); ++i) EXPECT_NEAR(2.0f, D3DXVec3Length(&v[i].p), 1e-5f);
    for (DWORD f = 0; f < sphere->GetNumFaces(); ++f) {
        // Clockwise from outside: the left-handed face normal points away from the centre.
        const D3DXVECTOR3 a = v[idx[f * 3]].p, b = v[idx[f * 3 + 1]].p, c = v[idx[f * 3 + 2]].p;
        const D3DXVECTOR3 e1 = b - a, e2 = c - a, centroid = (a + b + c) / 3.0f;
        D3DXVECTOR3 n;
        D3DXVec3Cross(&n, &e1, &e2);
        EXPECT_GT(D3DXVec3Dot(&n, &centroid), 0.0f) << f;
    }
    sphere->UnlockVertexBuffer();
    ASSERT_NE(nullptr, adjacency);
    const DWORD* adj = static_cast<const DWORD*>(adjacency->GetBufferPointer());
    for (DWORD i = 0; i < sphere->GetNumFaces() * 3; ++i) EXPECT_NE(0xFFFFFFFFu, adj[i]);
    adjacency->Release();

    D3DXVECTOR3 centre;
    float radius = 0;
    sphere->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v));
    ASSERT_EQ(S_OK, D3DXComputeBoundingSphere(&v[0].p, sphere->GetNumVertices(), 24, &centre, &radius));
    sphere->UnlockVertexBuffer();
    EXPECT_NEAR(0.0f, D3DXVec3Length(&centre), 1e-5f);
    EXPECT_NEAR(2.0f, radius, 1e-5f);
    sphere->Release();
}

TEST(D3DX9Mesh, NormalsOfAFlatQuadFaceTheViewer)
{
    ID3DXMesh* mesh = MakeMesh(D3DFVF_XYZ | D3DFVF_NORMAL, D3DXMESH_SYSTEMMEM,
                               {D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(0, 1, 5), D3DXVECTOR3(1, 0, 5), D3DXVECTOR3(1, 1, 5)},
                               {0, 1, 2, 2, 1, 3});
    ASSERT_NE(nullptr, mesh);
    ASSERT_EQ(S_OK, D3DXComputeNormals(mesh, nullptr));
    PosNormal* v = nullptr;
    mesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(D3DXVECTOR3(0, 0, -1), v[i].n) << i;
    mesh->UnlockVertexBuffer();
    mesh->Release();

    // Without a normal element there is nothing to fill.
    ID3DXMesh* bare = MakeMesh(D3DFVF_XYZ, D3DXMESH_SYSTEMMEM, {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0),
                                                               D3DXVECTOR3(1, 0, 0)}, {0, 1, 2});
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXComputeNormals(bare, nullptr));
    bare->Release();
}

TEST(D3DX9Mesh, BoundingSphereIsCentroidAndFarthestPoint)
{
    struct V {
        D3DXVECTOR3 p;
        DWORD colour;
    } v[3] = {{D3DXVECTOR3(0, 0, 0), 0}, {D3DXVECTOR3(4, 0, 0), 0}, {D3DXVECTOR3(2, 6, 0), 0}};
    D3DXVECTOR3 centre;
    float radius = 0;
    ASSERT_EQ(S_OK, D3DXComputeBoundingSphere(&v[0].p, 3, sizeof(V), &centre, &radius));
    EXPECT_EQ(D3DXVECTOR3(2, 2, 0), centre);
    EXPECT_FLOAT_EQ(4.0f, radius);

    ID3DXBuffer* buffer = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateBuffer(12, &buffer));
    EXPECT_EQ(12u, buffer->GetBufferSize());
    EXPECT_NE(nullptr, buffer->GetBufferPointer());
    EXPECT_EQ(2u, buffer->AddRef());
    EXPECT_EQ(1u, buffer->Release());
    EXPECT_EQ(0u, buffer->Release());
}
