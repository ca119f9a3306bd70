// The model's collision boxes: box trees per bone (skinned models) or per mesh, kept in the
// mesh containers and placed by the frames' combined matrices.
#include "render/CD3DXObject.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "render/COBBTree.h"

namespace {

inline D3DXMESHCONTAINER_EX* Ex(D3DXMESHCONTAINER* container)
{
    return static_cast<D3DXMESHCONTAINER_EX*>(container);
}

inline D3DXFRAME_EX* Ex(D3DXFRAME* frame)
{
    return static_cast<D3DXFRAME_EX*>(frame);
}

// Gives the container a tree, freeing one it may already hold.
void AttachTree(D3DXMESHCONTAINER_EX* container, COBBTree* tree)
{
    if (container->pOBBTree && container->pOBBTree != tree) {
        container->pOBBTree->Release();
        delete container->pOBBTree;
    }
    container->pOBBTree = tree;
}

} // namespace

void CD3DXObject::GetFrames(D3DXFRAME_EX* frame, std::vector<D3DXFRAME_EX*>& frames)
{
    if (!frame) return;
    frames.push_back(frame);
    GetFrames(Ex(frame->pFrameSibling), frames);
    GetFrames(Ex(frame->pFrameFirstChild), frames);
}

void CD3DXObject::GetMeshContainers(D3DXFRAME_EX* frame, std::vector<D3DXMESHCONTAINER_EX*>& containers)
{
    if (!frame) return;
    for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) containers.push_back(Ex(c));
}

D3DXMESHCONTAINER_EX* CD3DXObject::FindBoneContainer(const char* name)
{
    if (!name) return nullptr;
    std::vector<D3DXFRAME_EX*> frames;
    GetFrames(FrameRoot, frames);
    for (D3DXFRAME_EX* frame : frames)
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer)
            if (c->Name && std::strcmp(c->Name, name) == 0) return Ex(c);
    return nullptr;
}

HRESULT CD3DXObject::CreateBoneOBBContainers(D3DXFRAME_EX* frame)
{
    if (!frame) return S_OK;
    D3DXMESHCONTAINER_EX* container = new (std::nothrow) D3DXMESHCONTAINER_EX();
    if (!container) return E_OUTOFMEMORY;
    char name[1024];
    std::snprintf(name, sizeof name, "BoneOBB_%s", frame->Name ? frame->Name : "");
    container->Name = DuplicateName(name);
    if (!container->Name) {
        delete container;
        return E_OUTOFMEMORY;
    }
    D3DXMESHCONTAINER** slot = &frame->pMeshContainer;
    while (*slot) slot = &(*slot)->pNextMeshContainer;
    *slot = container;

    HRESULT hr = CreateBoneOBBContainers(Ex(frame->pFrameSibling));
    if (FAILED(hr)) return hr;
    return CreateBoneOBBContainers(Ex(frame->pFrameFirstChild));
}

void CD3DXObject::FindSkinInfo(D3DXFRAME_EX* frame, ID3DXSkinInfo** skinInfo, D3DXMESHCONTAINER_EX** container)
{
    if (!frame) return;
    for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
        if (c->pSkinInfo) {
            *skinInfo = c->pSkinInfo;
            *container = Ex(c);
        }
    }
    FindSkinInfo(Ex(frame->pFrameSibling), skinInfo, container);
    if (!*skinInfo) FindSkinInfo(Ex(frame->pFrameFirstChild), skinInfo, container);
}

namespace {

template <typename Index>
void ReadFaces(const void* data, DWORD faces, std::vector<DWORD>& indices)
{
    const Index* p = static_cast<const Index*>(data);
    indices.resize(static_cast<size_t>(faces) * 3);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = p[i];
}

} // namespace

void CD3DXObject::CreateBoneOBB(int depth)
{
    std::vector<D3DXFRAME_EX*> frames;
    GetFrames(FrameRoot, frames);

    if (!BoneMatrices) {
        for (D3DXFRAME_EX* frame : frames) {
            for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
                if (!c->MeshData.pMesh) continue;
                COBBTree* tree = new COBBTree();
                AttachTree(Ex(c), tree);
                tree->Build(c->MeshData.pMesh, depth);
            }
        }
        return;
    }

    CreateBoneOBBContainers(FrameRoot);
    ID3DXSkinInfo* skin = nullptr;
    D3DXMESHCONTAINER_EX* skinned = nullptr;
    FindSkinInfo(FrameRoot, &skin, &skinned);
    if (!skin || !skinned->MeshData.pMesh) return;
    ID3DXMesh* mesh = skinned->MeshData.pMesh;
    const DWORD numVertices = mesh->GetNumVertices();
    const DWORD numFaces = mesh->GetNumFaces();
    // Without vertices there is no vertex size to read by, and nothing to box.
    if (numVertices == 0) return;
    const DWORD numBones = skin->GetNumBones();

    // Influences per vertex.
    std::vector<std::vector<std::pair<DWORD, float>>> influences(numVertices);
    for (DWORD b = 0; b < numBones; ++b) {
        const DWORD count = skin->GetNumBoneInfluences(b);
        std::vector<DWORD> vertices(count);
        std::vector<float> weights(count);
        if (count == 0 || FAILED(skin->GetBoneInfluence(b, vertices.data(), weights.data()))) continue;
        for (DWORD i = 0; i < count; ++i)
            if (vertices[i] < numVertices) influences[vertices[i]].emplace_back(b, weights[i]);
    }

    // Positions.
    std::vector<D3DXVECTOR3> positions(numVertices, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    IDirect3DVertexBuffer9* vb = nullptr;
    if (SUCCEEDED(mesh->GetVertexBuffer(&vb)) && vb) {
        D3DVERTEXBUFFER_DESC desc;
        void* data = nullptr;
        if (SUCCEEDED(vb->GetDesc(&desc))) {
            const UINT stride = desc.Size / numVertices;
            if (stride >= sizeof(D3DXVECTOR3) && SUCCEEDED(vb->Lock(0, 0, &data, D3DLOCK_READONLY))) {
                for (DWORD i = 0; i < numVertices; ++i)
                    std::memcpy(&positions[i], static_cast<const BYTE*>(data) + static_cast<size_t>(i) * stride,
                                sizeof(D3DXVECTOR3));
                vb->Unlock();
            }
        }
        vb->Release();
    }

    // Indices.
    std::vector<DWORD> indices;
    IDirect3DIndexBuffer9* ib = nullptr;
    if (FAILED(mesh->GetIndexBuffer(&ib)) || !ib) throw "Failed CD3DXObject::Load GetDesc";
    D3DINDEXBUFFER_DESC desc;
    const bool described = SUCCEEDED(ib->GetDesc(&desc));
    const UINT indexSize =
        !described ? 0 : desc.Format == D3DFMT_INDEX16 ? 2 : desc.Format == D3DFMT_INDEX32 ? 4 : 0;
    if (indexSize == 0) {
        ib->Release();
        throw "Failed CD3DXObject::Load GetDesc";
    }
    void* indexData = nullptr;
    if (static_cast<uint64_t>(numFaces) * 3 * indexSize <= desc.Size &&
        SUCCEEDED(ib->Lock(0, 0, &indexData, D3DLOCK_READONLY))) {
        if (indexSize == 2)
            ReadFaces<WORD>(indexData, numFaces, indices);
        else
            ReadFaces<DWORD>(indexData, numFaces, indices);
        ib->Unlock();
    }
    ib->Release();

    // Each face goes to the bone that carries most of its corners' weight; ties to the lower
    // bone, faces without influence to bone 0.
    std::vector<std::vector<OBBTriangle>> triangles(numBones);
    std::vector<double> sums(numBones);
    const size_t faces = indices.size() / 3;
    for (size_t f = 0; f < faces && numBones > 0; ++f) {
        const DWORD corner[3] = {indices[f * 3], indices[f * 3 + 1], indices[f * 3 + 2]};
        if (corner[0] >= numVertices || corner[1] >= numVertices || corner[2] >= numVertices) continue;
        std::fill(sums.begin(), sums.end(), 0.0);
        for (DWORD v : corner)
            for (const std::pair<DWORD, float>& influence : influences[v]) sums[influence.first] += influence.second;
        double best = -1.0;
        DWORD bone = 0;
        for (DWORD b = 0; b < numBones; ++b) {
            if (sums[b] > best) {
                best = sums[b];
                bone = b;
            }
        }
        const D3DXMATRIX* offset = skin->GetBoneOffsetMatrix(bone);
        D3DXVECTOR3 p[3];
        for (int k = 0; k < 3; ++k) {
            D3DXVECTOR4 moved;
            D3DXVec3Transform(&moved, &positions[corner[k]], offset);
            p[k] = D3DXVECTOR3(moved.x, moved.y, moved.z);
        }
        OBBTriangle triangle;
        triangle.Set(p[0], p[1], p[2]);
        triangles[bone].push_back(triangle);
    }

    for (DWORD b = 0; b < numBones; ++b) {
        if (triangles[b].empty()) continue;
        const char* boneName = skin->GetBoneName(b);
        if (!boneName) continue;
        for (D3DXFRAME_EX* frame : frames) {
            if (!frame->Name || std::strcmp(frame->Name, boneName) != 0) continue;
            COBBTree* tree = new COBBTree();
            AttachTree(Ex(frame->pMeshContainer), tree);
            COBBTree::BuildNode(triangles[b], depth, tree->Root);
            break;
        }
    }
}

bool CD3DXObject::SetBoneOBB(const char* name, COBBTree* tree)
{
    D3DXMESHCONTAINER_EX* container = FindBoneContainer(name);
    if (!container) return false;
    AttachTree(container, tree);
    return true;
}

bool CD3DXObject::HitTestFrames(CD3DXObject* other, const char* name)
{
    if (!other) return false;
    std::vector<D3DXFRAME_EX*> mine, theirs;
    GetFrames(FrameRoot, mine);
    other->GetFrames(other->FrameRoot, theirs);
    for (D3DXFRAME_EX* b : theirs) {
        if (name && (!b->Name || std::strcmp(b->Name, name) != 0)) continue;
        const D3DXMESHCONTAINER_EX* cb = Ex(b->pMeshContainer);
        if (!cb || !cb->pOBBTree) continue;
        for (D3DXFRAME_EX* a : mine) {
            const D3DXMESHCONTAINER_EX* ca = Ex(a->pMeshContainer);
            if (!ca || !ca->pOBBTree) continue;
            if (COBBTree::HitTest(*ca->pOBBTree, &a->CombinedTransformationMatrix, *cb->pOBBTree,
                                  &b->CombinedTransformationMatrix))
                return true;
        }
    }
    return false;
}

bool CD3DXObject::HitTest(CD3DXObject* other)
{
    return HitTestFrames(other, nullptr);
}

bool CD3DXObject::HitTestBone(CD3DXObject* other, const char* name)
{
    // No name matches no frame.
    if (!name) return false;
    return HitTestFrames(other, name);
}
