#include "render/COBBTree.h"

#include <cstdint>
#include <cstring>

COBBTree::COBBTree() : Root(new Node()) {}

COBBTree::~COBBTree()
{
    Release();
}

void COBBTree::Release()
{
    if (Root) DeleteNode(Root);
    Root = nullptr;
}

void COBBTree::DeleteNode(Node* node)
{
    for (Node* child : node->Children) DeleteNode(child);
    node->Children.clear();
    node->Children.shrink_to_fit();
    delete node;
}

void COBBTree::BuildNode(const std::vector<OBBTriangle>& triangles, int depth, Node* node)
{
    COBB& box = node->Box;
    COBB::FitTriangles(triangles, &box);

    const D3DXVECTOR3 corner = box.Center - (box.Edge[0] + box.Edge[1] + box.Edge[2]) * 0.5f;
    D3DXVECTOR3 axis[3];
    float half[3];
    for (int i = 0; i < 3; ++i) {
        const float len = D3DXVec3Length(&box.Edge[i]);
        axis[i] = box.Edge[i] * (1.0f / len);
        half[i] = 0.5f * len;
    }

    // Cut through the centre across the widest axis first; the first cut that leaves
    // triangles on both sides is taken, else the last one tried.
    std::vector<OBBTriangle> low, high;
    for (int k = 0; k < 3; ++k) {
        low.clear();
        high.clear();
        for (const OBBTriangle& tri : triangles) {
            const D3DXVECTOR3 rel = tri.Centroid - corner;
            const float c = rel.x * axis[k].x + rel.y * axis[k].y + rel.z * axis[k].z;
            if (c < half[k]) low.push_back(tri);
            else high.push_back(tri);
        }
        if (!low.empty() && !high.empty()) break;
    }

    if (depth - 1 < 0) return;
    if (!low.empty()) {
        Node* child = new Node();
        node->Children.push_back(child);
        BuildNode(low, depth - 1, child);
    }
    if (!high.empty()) {
        Node* child = new Node();
        node->Children.push_back(child);
        BuildNode(high, depth - 1, child);
    }
}

namespace {

template <typename Index>
bool ReadTriangles(const BYTE* indices, DWORD faces, const std::vector<D3DXVECTOR3>& positions,
                   std::vector<OBBTriangle>& out)
{
    out.resize(faces);
    for (DWORD f = 0; f < faces; ++f) {
        Index idx[3];
        std::memcpy(idx, indices + static_cast<size_t>(f) * 3 * sizeof(Index), sizeof(idx));
        for (Index i : idx)
            if (i >= positions.size()) return false;
        out[f].Set(positions[idx[0]], positions[idx[1]], positions[idx[2]]);
    }
    return true;
}

} // namespace

bool COBBTree::Build(ID3DXMesh* mesh, int depth)
{
    const DWORD numVertices = mesh->GetNumVertices();
    const DWORD numFaces = mesh->GetNumFaces();
    if (numVertices == 0) return false; // no vertex size can be known

    std::vector<D3DXVECTOR3> positions(numVertices);
    IDirect3DVertexBuffer9* vb = nullptr;
    if (FAILED(mesh->GetVertexBuffer(&vb)) || !vb) return false;
    D3DVERTEXBUFFER_DESC vbDesc;
    bool ok = SUCCEEDED(vb->GetDesc(&vbDesc));
    const UINT stride = ok ? vbDesc.Size / numVertices : 0;
    void* vertexData = nullptr;
    if (ok && stride >= sizeof(D3DXVECTOR3) && SUCCEEDED(vb->Lock(0, 0, &vertexData, D3DLOCK_READONLY))) {
        for (DWORD i = 0; i < numVertices; ++i)
            std::memcpy(&positions[i], static_cast<const BYTE*>(vertexData) + static_cast<size_t>(i) * stride,
                        sizeof(D3DXVECTOR3));
        vb->Unlock();
    } else {
        ok = false;
    }
    vb->Release();
    if (!ok) return false;

    IDirect3DIndexBuffer9* ib = nullptr;
    if (FAILED(mesh->GetIndexBuffer(&ib)) || !ib) return false;
    D3DINDEXBUFFER_DESC ibDesc;
    std::vector<OBBTriangle> triangles;
    ok = SUCCEEDED(ib->GetDesc(&ibDesc));
    const UINT indexSize = !ok ? 0 : ibDesc.Format == D3DFMT_INDEX16 ? 2 : ibDesc.Format == D3DFMT_INDEX32 ? 4 : 0;
    void* indexData = nullptr;
    if (indexSize != 0 && static_cast<uint64_t>(numFaces) * 3 * indexSize <= ibDesc.Size &&
        SUCCEEDED(ib->Lock(0, 0, &indexData, D3DLOCK_READONLY))) {
        const BYTE* bytes = static_cast<const BYTE*>(indexData);
        ok = indexSize == 2 ? ReadTriangles<WORD>(bytes, numFaces, positions, triangles)
                            : ReadTriangles<DWORD>(bytes, numFaces, positions, triangles);
        ib->Unlock();
    } else {
        ok = false;
    }
    ib->Release();
    if (!ok) return false;

    BuildNode(triangles, depth, Root);
    return true;
}

namespace {

// The box moved by a matrix: the centre as a point, the edges without the translation.
inline COBB Moved(const COBB& box, const D3DXMATRIX* mat)
{
    D3DXMATRIX linear = *mat;
    linear._41 = linear._42 = linear._43 = 0.0f;
    COBB out;
    D3DXVECTOR4 v;
    D3DXVec3Transform(&v, &box.Center, mat);
    out.Center = D3DXVECTOR3(v.x, v.y, v.z);
    for (int i = 0; i < 3; ++i) {
        D3DXVec3Transform(&v, &box.Edge[i], &linear);
        out.Edge[i] = D3DXVECTOR3(v.x, v.y, v.z);
    }
    return out;
}

} // namespace

bool COBBTree::HitTest(const COBBTree& a, const D3DXMATRIX* matA, const COBBTree& b, const D3DXMATRIX* matB)
{
    return HitTestNode(a.Root, matA, b.Root, matB);
}

bool COBBTree::HitTestNode(const Node* a, const D3DXMATRIX* matA, const Node* b, const D3DXMATRIX* matB)
{
    if (!COBB::Intersects(Moved(a->Box, matA), Moved(b->Box, matB))) return false;

    const bool aLeaf = a->Children.empty(), bLeaf = b->Children.empty();
    if (aLeaf && bLeaf) return true;
    if (aLeaf) {
        for (const Node* child : b->Children)
            if (HitTestNode(a, matA, child, matB)) return true;
        return false;
    }
    if (bLeaf) {
        for (const Node* child : a->Children)
            if (HitTestNode(child, matA, b, matB)) return true;
        return false;
    }
    for (const Node* childB : b->Children)
        for (const Node* childA : a->Children)
            if (HitTestNode(childA, matA, childB, matB)) return true;
    return false;
}
