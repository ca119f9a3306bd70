#include "render/CD3DXObject.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "app/ReleaseInterface.h"
#include "render/CDirectX9.h"
#include "render/CMeshHierarchyAllocator.h"

UINT CD3DXObject::InstanceCount = 0;
ID3DXMesh* CD3DXObject::SphereMesh = nullptr;
ID3DXEffect* CD3DXObject::ShadowEffect = nullptr;
D3DXHANDLE CD3DXObject::ShadowEffectWVP = nullptr;
D3DXHANDLE CD3DXObject::ShadowEffectLightPos = nullptr;
bool CD3DXObject::VisibleFlag = false;
D3DXMATRIX CD3DXObject::FrameMatrixResult(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                          0.0f, 0.0f, 0.0f);

namespace {

char g_FailureText[1024];

[[noreturn]] void ThrowWithPath(const char* format, const char* path)
{
    std::snprintf(g_FailureText, sizeof g_FailureText, format, path ? path : "");
    throw static_cast<const char*>(g_FailureText);
}

// Where a bone's matrix pointer points while its frame is unknown, so that no pointer is ever
// left unset.
const D3DXMATRIX& IdentityMatrix()
{
    static const D3DXMATRIX identity(1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f,
                                     0.0f, 1.0f);
    return identity;
}

inline D3DXMESHCONTAINER_EX* Ex(D3DXMESHCONTAINER* container)
{
    return static_cast<D3DXMESHCONTAINER_EX*>(container);
}

inline D3DXFRAME_EX* Ex(D3DXFRAME* frame)
{
    return static_cast<D3DXFRAME_EX*>(frame);
}

} // namespace

CD3DXObject::CD3DXObject()
    : BoneMatrixCapacity(0), BoneMatrices(nullptr), FrameRoot(nullptr), AnimationController(nullptr), Time(0.0),
      OverrideTexture(nullptr)
{
    D3DXMatrixIdentity(&WorldMatrix);
    if (InstanceCount == 0) {
        D3DXCreateSphere(g_pDevice, 1.0f, 12, 6, &SphereMesh, nullptr);
        char path[1024];
        std::snprintf(path, sizeof path, "%s", ".\\data\\shader\\shadowvolume.fx");
        if (FAILED(D3DXCreateEffectFromFile(g_pDevice, path, nullptr, nullptr, 0, nullptr, &ShadowEffect, nullptr))) {
            ShadowEffect = nullptr;
            // The next object tries both again.
            ReleaseInterface(SphereMesh);
            ThrowWithPath("Failed CD3DXObject::CD3DXObject D3DXCreateEffectFromFile [%s]", path);
        }
        ShadowEffectWVP = ShadowEffect->GetParameterByName(nullptr, "mWVP");
        ShadowEffectLightPos = ShadowEffect->GetParameterByName(nullptr, "vLightPos");
    }
    ++InstanceCount;
}

CD3DXObject::~CD3DXObject()
{
    Release();
    if (--InstanceCount == 0) {
        ReleaseInterface(ShadowEffect);
        ReleaseInterface(SphereMesh);
    }
}

// ---------------------------------------------------------------------------------------------
// Loading

void CD3DXObject::Load(const char* path)
{
    // A second load replaces the first model.
    Release();
    BlendList.clear();

    CMeshHierarchyAllocator allocator(this);
    LPD3DXFRAME root = nullptr;
    ID3DXAnimationController* loaded = nullptr;
    if (FAILED(D3DXLoadMeshHierarchyFromX(path, D3DXMESH_MANAGED, g_pDevice, &allocator, nullptr, &root, &loaded))) {
        // The loader has destroyed what it built; the bone buffer is ours.
        Release();
        if (allocator.TextureFailure) throw allocator.TextureFailure;
        ThrowWithPath("Failed CD3DXObject::Load D3DXLoadMeshHierarchyFromX[%s]", path);
    }
    FrameRoot = Ex(root);

    // Whatever fails from here on leaves nothing loaded.
    auto fail = [&](const char* text) {
        if (loaded) loaded->Release();
        Release();
        BlendList.clear();
        throw text;
    };

    if (loaded) {
        BlendList.reserve(16);
        BlendList.push_back(AnimationBlendEntry{0, 0.0f, 1.0f, 0.0f});
        const UINT tracks = std::max(loaded->GetMaxNumTracks(), loaded->GetNumAnimationSets());
        if (FAILED(loaded->CloneAnimationController(loaded->GetMaxNumAnimationOutputs(),
                                                    loaded->GetMaxNumAnimationSets(), tracks,
                                                    loaded->GetMaxNumEvents(), &AnimationController))) {
            AnimationController = nullptr;
            fail("Failed CD3DXObject::Load CloneAnimationController");
        }
        loaded->Release();
        loaded = nullptr;

        const UINT sets = AnimationController->GetNumAnimationSets();
        for (UINT i = 1; i < sets; ++i) {
            ID3DXAnimationSet* set = nullptr;
            if (FAILED(AnimationController->GetAnimationSet(i, &set)) || !set)
                fail("Failed CD3DXObject::Load GetAnimationSet");
            const HRESULT hr = AnimationController->SetTrackAnimationSet(i, set);
            set->Release();
            if (FAILED(hr)) fail("Failed CD3DXObject::Load SetTrackAnimationSet");
            D3DXTRACK_DESC desc = {D3DXPRIORITY_LOW, 1.0f, 1.0f, 0.0, FALSE};
            if (FAILED(AnimationController->SetTrackDesc(i, &desc))) fail("Failed CD3DXObject::Load SetTrackDesc");
        }
    }

    // Every skinned container gets its bone pointers, with or without animation; a bone that
    // names no frame could not be posed, so such a model is refused.
    if (!SetupFrameBoneMatrixPointers(FrameRoot)) {
        std::snprintf(g_FailureText, sizeof g_FailureText, "Failed CD3DXObject::Load SetupBoneMatrixPointers[%s]",
                      path);
        fail(g_FailureText);
    }

    try {
        CreateBoundingSphere(FrameRoot);
    } catch (const char* text) {
        fail(text);
    }
}

void CD3DXObject::CreateBoundingSphere(D3DXFRAME_EX* frame)
{
    for (; frame; frame = Ex(frame->pFrameSibling)) {
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
            D3DXMESHCONTAINER_EX* container = Ex(c);
            ID3DXMesh* mesh = container->MeshData.pMesh;
            if (!mesh) continue;
            void* vertices = nullptr;
            if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices)))
                throw "Failed CD3DXObject::CreateBoundingSphere LockVertexBuffer";
            D3DXVECTOR3 center;
            float radius = 0.0f;
            const HRESULT hr = D3DXComputeBoundingSphere(static_cast<const D3DXVECTOR3*>(vertices),
                                                         mesh->GetNumVertices(), D3DXGetFVFVertexSize(mesh->GetFVF()),
                                                         &center, &radius);
            if (FAILED(hr)) {
                mesh->UnlockVertexBuffer();
                throw "Failed CD3DXObject::CreateBoundingSphere D3DXComputeBoundingSphere";
            }
            container->BoundingSphereCenter = center;
            container->BoundingSphereRadius = radius;
            if (FAILED(mesh->UnlockVertexBuffer())) throw "Failed CD3DXObject::CreateBoundingSphere UnlockVertexBuffer";
        }
        CreateBoundingSphere(Ex(frame->pFrameFirstChild));
    }
}

void CD3DXObject::FreeBoneMatrices()
{
    if (BoneMatrices) {
        unsigned char* first = reinterpret_cast<unsigned char*>(BoneMatrices);
        delete[] (first - first[-1]);
        BoneMatrices = nullptr;
    }
    BoneMatrixCapacity = 0;
}

bool CD3DXObject::AllocateBoneMatrices(UINT capacity)
{
    unsigned char* block = new (std::nothrow) unsigned char[static_cast<size_t>(capacity) * sizeof(D3DXMATRIX) + 16];
    if (!block) return false;
    // The first matrix starts 1 to 16 bytes in, at a 16-byte boundary; the byte before it
    // holds that distance.
    const unsigned offset = 16 - static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(block) & 15);
    block[offset - 1] = static_cast<unsigned char>(offset);
    BoneMatrices = reinterpret_cast<D3DXMATRIX*>(block + offset);
    BoneMatrixCapacity = capacity;
    for (UINT i = 0; i < capacity; ++i) D3DXMatrixIdentity(&BoneMatrices[i]);
    return true;
}

HRESULT CD3DXObject::GenerateSkinnedMesh(D3DXMESHCONTAINER_EX* container)
{
    if (!container->pSkinInfo) return S_OK;
    ReleaseInterface(container->MeshData.pMesh);
    ReleaseInterface(container->pBoneCombinationBuf);
    ID3DXMesh* source = container->pOrigMesh;
    if (!source) return E_FAIL;
    IDirect3DDevice9* device = nullptr;
    source->GetDevice(&device);
    HRESULT hr = source->CloneMeshFVF(D3DXMESH_MANAGED, source->GetFVF(), device, &container->MeshData.pMesh);
    if (device) device->Release();
    if (FAILED(hr)) {
        container->MeshData.pMesh = nullptr;
        return hr;
    }

    DWORD groups = 0;
    if (FAILED(hr = container->MeshData.pMesh->GetAttributeTable(nullptr, &groups))) return hr;
    delete[] container->pAttributeTable;
    container->pAttributeTable = nullptr;
    container->NumAttributeGroups = 0;
    container->pAttributeTable = new (std::nothrow) D3DXATTRIBUTERANGE[groups > 0 ? groups : 1];
    if (!container->pAttributeTable) return E_OUTOFMEMORY;
    if (FAILED(hr = container->MeshData.pMesh->GetAttributeTable(container->pAttributeTable, &groups))) return hr;
    container->NumAttributeGroups = groups;

    const DWORD bones = container->pSkinInfo->GetNumBones();
    if (BoneMatrixCapacity < bones) {
        FreeBoneMatrices();
        if (!AllocateBoneMatrices(bones)) return E_OUTOFMEMORY;
    }
    return S_OK;
}

bool CD3DXObject::SetupBoneMatrixPointers(D3DXMESHCONTAINER_EX* container)
{
    if (!container->pSkinInfo) return true;
    const DWORD bones = container->pSkinInfo->GetNumBones();
    delete[] container->ppBoneMatrixPtrs;
    container->ppBoneMatrixPtrs = new (std::nothrow) D3DXMATRIX*[bones > 0 ? bones : 1];
    if (!container->ppBoneMatrixPtrs) return false;
    bool found = true;
    for (DWORD b = 0; b < bones; ++b) {
        D3DXFRAME* frame = D3DXFrameFind(FrameRoot, container->pSkinInfo->GetBoneName(b));
        if (frame) {
            container->ppBoneMatrixPtrs[b] = &Ex(frame)->CombinedTransformationMatrix;
        } else {
            container->ppBoneMatrixPtrs[b] = const_cast<D3DXMATRIX*>(&IdentityMatrix());
            found = false;
        }
    }
    return found;
}

bool CD3DXObject::SetupFrameBoneMatrixPointers(D3DXFRAME_EX* frame)
{
    bool ok = true;
    for (; frame; frame = Ex(frame->pFrameSibling)) {
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer)
            ok = SetupBoneMatrixPointers(Ex(c)) && ok;
        ok = SetupFrameBoneMatrixPointers(Ex(frame->pFrameFirstChild)) && ok;
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Matrices

void CD3DXObject::UpdateFrameMatrices(D3DXFRAME_EX* frame, const D3DXMATRIX* parent)
{
    for (; frame; frame = Ex(frame->pFrameSibling)) {
        if (parent)
            D3DXMatrixMultiply(&frame->CombinedTransformationMatrix, &frame->TransformationMatrix, parent);
        else
            frame->CombinedTransformationMatrix = frame->TransformationMatrix;
        UpdateFrameMatrices(Ex(frame->pFrameFirstChild), &frame->CombinedTransformationMatrix);
    }
}

void CD3DXObject::UpdateBoneMatrices(D3DXFRAME_EX* frame)
{
    if (!frame) return;
    for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
        D3DXMESHCONTAINER_EX* container = Ex(c);
        if (!container->pSkinInfo || !container->ppBoneMatrixPtrs || !BoneMatrices) continue;
        const DWORD bones = std::min<DWORD>(container->pSkinInfo->GetNumBones(), BoneMatrixCapacity);
        for (DWORD b = 0; b < bones; ++b)
            D3DXMatrixMultiply(&BoneMatrices[b], &container->pBoneOffsetMatrices[b], container->ppBoneMatrixPtrs[b]);
    }
    // Sibling before child: with several skinned containers the one written last is drawn.
    UpdateBoneMatrices(Ex(frame->pFrameSibling));
    UpdateBoneMatrices(Ex(frame->pFrameFirstChild));
}

// ---------------------------------------------------------------------------------------------
// Visibility and drawing

bool CD3DXObject::IsVisible(D3DXFRAME_EX* frame)
{
    if (frame == FrameRoot)
        VisibleFlag = false;
    else if (VisibleFlag)
        return true;
    if (!frame) return VisibleFlag;

    const D3DXMATRIX view(CDirectX9::SafeGetTransform(D3DTS_VIEW));
    CDirectX9::ProjectionRecord projection;
    g_DirectX9.GetProjection(projection);
    const float t = projection.TanHalfFieldOfView;
    // The side planes of a 4:3 picture, whatever the back buffer's shape.
    const float aspect = 4.0f / 3.0f;
    const D3DXVECTOR3 normals[4] = {
        D3DXVECTOR3(-1.0f, 0.0f, t * aspect),
        D3DXVECTOR3(1.0f, 0.0f, t * aspect),
        D3DXVECTOR3(0.0f, -1.0f, t),
        D3DXVECTOR3(0.0f, 1.0f, t),
    };

    for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
        const D3DXMESHCONTAINER_EX* container = Ex(c);
        const D3DXMATRIX& m = frame->CombinedTransformationMatrix;
        D3DXVECTOR3 world, center;
        D3DXVec3TransformCoord(&world, &container->BoundingSphereCenter, &m);
        D3DXVec3TransformCoord(&center, &world, &view);
        const float scale = std::max({std::sqrt(m._11 * m._11 + m._12 * m._12 + m._13 * m._13),
                                      std::sqrt(m._21 * m._21 + m._22 * m._22 + m._23 * m._23),
                                      std::sqrt(m._31 * m._31 + m._32 * m._32 + m._33 * m._33)});
        const float radius = container->BoundingSphereRadius * scale;
        bool outside = false;
        for (const D3DXVECTOR3& n : normals) {
            const float distance = D3DXVec3Dot(&center, &n) / D3DXVec3Length(&n);
            if (distance + radius < 0.0f) {
                outside = true;
                break;
            }
        }
        if (!outside && center.z + radius > projection.Near && center.z - radius < projection.Far) {
            VisibleFlag = true;
            break;
        }
    }
    if (!VisibleFlag && frame->pFrameSibling) IsVisible(Ex(frame->pFrameSibling));
    if (!VisibleFlag && frame->pFrameFirstChild) IsVisible(Ex(frame->pFrameFirstChild));
    return VisibleFlag;
}

void CD3DXObject::Render()
{
    const D3DMATERIAL9 kept = CDirectX9::Material;
    if (IsVisible(FrameRoot)) DrawFrame(FrameRoot);
    CDirectX9::SafeSetMaterial(kept);
}

void CD3DXObject::DrawFrame(D3DXFRAME_EX* frame)
{
    if (!frame) return;
    for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) DrawMeshContainer(Ex(c), frame);
    // The sibling's subtree before the child's: the order in which overlapping parts are drawn.
    DrawFrame(Ex(frame->pFrameSibling));
    DrawFrame(Ex(frame->pFrameFirstChild));
}

void CD3DXObject::DrawMeshContainer(D3DXMESHCONTAINER_EX* container, D3DXFRAME_EX* frame)
{
    ID3DXMesh* mesh = container->MeshData.pMesh;
    // The bone-box containers hold no mesh and draw nothing.
    if (!mesh || container->NumMaterials == 0) return;

    auto drawSubset = [&](DWORD id) {
        CDirectX9::SafeSetMaterial(container->pMaterials[id].MatD3D);
        CDirectX9::SafeSetTexture(0, OverrideTexture ? *OverrideTexture : container->ppTextures[id]);
        CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, container->SrcBlend);
        CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, container->DestBlend);
        mesh->DrawSubset(id);
    };

    if (container->pSkinInfo) {
        // The bone matrices already carry the world matrix.
        CDirectX9::SafeSetTransform(D3DTS_WORLD, IdentityMatrix());
        if (BoneMatrices && container->pOrigMesh) {
            void* source = nullptr;
            void* destination = nullptr;
            container->pOrigMesh->LockVertexBuffer(D3DLOCK_READONLY, &source);
            mesh->LockVertexBuffer(0, &destination);
            if (source && destination)
                container->pSkinInfo->UpdateSkinnedMesh(BoneMatrices, nullptr, source, destination);
            mesh->UnlockVertexBuffer();
            container->pOrigMesh->UnlockVertexBuffer();
        }
        for (DWORD g = 0; g < container->NumAttributeGroups; ++g) {
            const DWORD id = container->pAttributeTable[g].AttribId;
            if (id < container->NumMaterials) drawSubset(id);
        }
    } else {
        CDirectX9::SafeSetTransform(D3DTS_WORLD, frame->CombinedTransformationMatrix);
        for (DWORD i = 0; i < container->NumMaterials; ++i) drawSubset(i);
    }
}

// ---------------------------------------------------------------------------------------------
// Alpha, frame queries and release

void CD3DXObject::SetAlpha(D3DXFRAME_EX* frame, float alpha)
{
    for (; frame; frame = Ex(frame->pFrameSibling)) {
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
            for (DWORD i = 0; i < c->NumMaterials; ++i) {
                D3DMATERIAL9& m = c->pMaterials[i].MatD3D;
                m.Diffuse.a = m.Ambient.a = m.Specular.a = m.Emissive.a = alpha;
            }
        }
        SetAlpha(Ex(frame->pFrameFirstChild), alpha);
    }
}

D3DXMATRIX CD3DXObject::GetFrameMatrix(D3DXFRAME_EX* frame, const char* name)
{
    if (frame && name) {
        // The frame, then its sibling's walk, then its first child's: the last match wins.
        if (frame->Name && std::strcmp(frame->Name, name) == 0)
            FrameMatrixResult = frame->CombinedTransformationMatrix;
        GetFrameMatrix(Ex(frame->pFrameSibling), name);
        GetFrameMatrix(Ex(frame->pFrameFirstChild), name);
    }
    return FrameMatrixResult;
}

void CD3DXObject::Release()
{
    if (FrameRoot) {
        CMeshHierarchyAllocator allocator(this);
        D3DXFrameDestroy(FrameRoot, &allocator);
        FrameRoot = nullptr;
    }
    FreeBoneMatrices();
    ReleaseInterface(AnimationController);
}
