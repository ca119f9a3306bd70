#include "render/CMeshHierarchyAllocator.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"
#include "render/D3DXFrameEx.h"

UINT g_nDummyFrameNumber = 0;
UINT g_nDummyMeshContainerNumber = 0;

namespace {

// The name as given, or "DUMMY_<number>" when it is null or empty; null when out of memory.
char* NameOrDummy(LPCSTR name, UINT number)
{
    if (name && name[0] != '\0') return DuplicateName(name);
    char dummy[32];
    std::snprintf(dummy, sizeof dummy, "DUMMY_%u", number);
    return DuplicateName(dummy);
}

// A copy of the skin information for vertices of another format: the skinning walks the
// vertices by the skin's own format, so a mesh that was given normals needs a skin that knows.
HRESULT CopySkinInfo(ID3DXSkinInfo* source, DWORD numVertices, DWORD fvf, ID3DXSkinInfo** copy)
{
    const DWORD bones = source->GetNumBones();
    HRESULT hr = D3DXCreateSkinInfoFVF(numVertices, fvf, bones, copy);
    if (FAILED(hr)) return hr;
    std::vector<DWORD> vertices;
    std::vector<float> weights;
    for (DWORD b = 0; b < bones && SUCCEEDED(hr); ++b) {
        const DWORD count = source->GetNumBoneInfluences(b);
        vertices.resize(count);
        weights.resize(count);
        if (count > 0 && FAILED(hr = source->GetBoneInfluence(b, vertices.data(), weights.data()))) break;
        if (FAILED(hr = (*copy)->SetBoneInfluence(b, count, vertices.data(), weights.data()))) break;
        if (source->GetBoneName(b) && FAILED(hr = (*copy)->SetBoneName(b, source->GetBoneName(b)))) break;
        if (source->GetBoneOffsetMatrix(b)) hr = (*copy)->SetBoneOffsetMatrix(b, source->GetBoneOffsetMatrix(b));
    }
    if (FAILED(hr)) {
        (*copy)->Release();
        *copy = nullptr;
    }
    return hr;
}

} // namespace

HRESULT CMeshHierarchyAllocator::CreateFrame(LPCSTR Name, LPD3DXFRAME* ppNewFrame)
{
    if (!ppNewFrame) return E_FAIL;
    *ppNewFrame = nullptr;
    D3DXFRAME_EX* frame = new (std::nothrow) D3DXFRAME_EX();
    if (!frame) return E_OUTOFMEMORY;
    frame->Name = NameOrDummy(Name, g_nDummyFrameNumber);
    if (!frame->Name) {
        delete frame;
        return E_OUTOFMEMORY;
    }
    *ppNewFrame = frame;
    return S_OK;
}

HRESULT CMeshHierarchyAllocator::CreateMeshContainer(LPCSTR Name, const D3DXMESHDATA* pMeshData,
                                                     const D3DXMATERIAL* pMaterials, const D3DXEFFECTINSTANCE*,
                                                     DWORD NumMaterials, const DWORD* pAdjacency,
                                                     LPD3DXSKININFO pSkinInfo, LPD3DXMESHCONTAINER* ppNewMeshContainer)
{
    if (!ppNewMeshContainer) return E_FAIL;
    *ppNewMeshContainer = nullptr;
    if (!pMeshData || pMeshData->Type != D3DXMESHTYPE_MESH || !pMeshData->pMesh) return E_FAIL;
    ID3DXMesh* mesh = pMeshData->pMesh;
    if (mesh->GetFVF() == 0) return E_FAIL;
    const DWORD numFaces = mesh->GetNumFaces();

    D3DXMESHCONTAINER_EX* container = new (std::nothrow) D3DXMESHCONTAINER_EX();
    if (!container) return E_OUTOFMEMORY;
    // Every failure from here on frees what the container holds so far.
    auto fail = [&](HRESULT hr, IDirect3DDevice9* device) {
        if (device) device->Release();
        DestroyMeshContainer(container);
        return hr;
    };
    container->Name = NameOrDummy(Name, g_nDummyMeshContainerNumber);
    if (!container->Name) return fail(E_OUTOFMEMORY, nullptr);
    container->MeshData.Type = D3DXMESHTYPE_MESH;

    // A mesh loaded without a device (tools and tests on this platform) has none: its copies
    // stay without one too.
    IDirect3DDevice9* device = nullptr;
    if (FAILED(mesh->GetDevice(&device)) && device) return fail(E_FAIL, device);

    if (mesh->GetFVF() & D3DFVF_NORMAL) {
        container->MeshData.pMesh = mesh;
        mesh->AddRef();
    } else {
        const HRESULT hr =
            mesh->CloneMeshFVF(mesh->GetOptions(), mesh->GetFVF() | D3DFVF_NORMAL, device, &container->MeshData.pMesh);
        if (FAILED(hr)) return fail(hr, device);
        D3DXComputeNormals(container->MeshData.pMesh, nullptr);
    }

    // Effect instances are not kept.
    container->NumMaterials = NumMaterials > 0 ? NumMaterials : 1;
    const DWORD count = container->NumMaterials;
    container->pMaterials = new (std::nothrow) D3DXMATERIAL[count + 1]();
    container->pOrigMaterials = new (std::nothrow) D3DMATERIAL9[count + 1]();
    container->ppTextures = new (std::nothrow) CD3DSafeTexture[count];
    container->pAdjacency = new (std::nothrow) DWORD[static_cast<size_t>(numFaces) * 3];
    if (!container->pMaterials || !container->pOrigMaterials || !container->ppTextures || !container->pAdjacency)
        return fail(E_OUTOFMEMORY, device);
    if (pAdjacency)
        std::memcpy(container->pAdjacency, pAdjacency, sizeof(DWORD) * static_cast<size_t>(numFaces) * 3);
    else
        std::memset(container->pAdjacency, 0xFF, sizeof(DWORD) * static_cast<size_t>(numFaces) * 3);

    if (NumMaterials > 0 && pMaterials) {
        for (DWORD i = 0; i < NumMaterials; ++i) {
            D3DXMATERIAL& material = container->pMaterials[i];
            material = pMaterials[i];
            // The name belongs to the loader: the container never keeps it.
            material.pTextureFilename = nullptr;
            material.MatD3D.Ambient = material.MatD3D.Diffuse;
            container->pOrigMaterials[i] = material.MatD3D;
        }
        for (DWORD i = 0; i < NumMaterials; ++i) {
            const char* file = pMaterials[i].pTextureFilename;
            if (!file || file[0] == '\0') continue;
            try {
                CDirectX9::SafeCreateTexture(file, container->ppTextures[i]);
            } catch (const char* text) {
                TextureFailure = text;
                return fail(E_FAIL, device);
            }
        }
    } else {
        D3DMATERIAL9& grey = container->pMaterials[0].MatD3D;
        grey = D3DMATERIAL9{};
        grey.Diffuse.r = grey.Diffuse.g = grey.Diffuse.b = 0.5f;
        grey.Ambient = grey.Diffuse;
        grey.Specular = grey.Diffuse;
        container->pMaterials[0].pTextureFilename = nullptr;
        container->pOrigMaterials[0] = grey;
    }

    if (pSkinInfo) {
        if (container->MeshData.pMesh != mesh) {
            const HRESULT hr = CopySkinInfo(pSkinInfo, container->MeshData.pMesh->GetNumVertices(),
                                            container->MeshData.pMesh->GetFVF(), &container->pSkinInfo);
            if (FAILED(hr)) return fail(hr, device);
        } else {
            container->pSkinInfo = pSkinInfo;
            pSkinInfo->AddRef();
        }
        container->pOrigMesh = container->MeshData.pMesh;
        container->pOrigMesh->AddRef();
        const DWORD bones = pSkinInfo->GetNumBones();
        container->pBoneOffsetMatrices = new (std::nothrow) D3DXMATRIX[bones > 0 ? bones : 1];
        if (!container->pBoneOffsetMatrices) return fail(E_OUTOFMEMORY, device);
        for (DWORD b = 0; b < bones; ++b) {
            const D3DXMATRIX* offset = pSkinInfo->GetBoneOffsetMatrix(b);
            if (offset)
                container->pBoneOffsetMatrices[b] = *offset;
            else
                D3DXMatrixIdentity(&container->pBoneOffsetMatrices[b]);
        }
        const HRESULT hr = Owner ? Owner->GenerateSkinnedMesh(container) : E_FAIL;
        if (FAILED(hr)) return fail(hr, device);
    } else {
        container->MeshData.pMesh->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                                   container->pAdjacency, nullptr, nullptr, nullptr);
    }

    if (device) device->Release();
    *ppNewMeshContainer = container;
    return S_OK;
}

HRESULT CMeshHierarchyAllocator::DestroyFrame(LPD3DXFRAME pFrameToFree)
{
    delete static_cast<D3DXFRAME_EX*>(pFrameToFree);
    return S_OK;
}

HRESULT CMeshHierarchyAllocator::DestroyMeshContainer(LPD3DXMESHCONTAINER pMeshContainerToFree)
{
    if (!pMeshContainerToFree) return S_OK;
    D3DXMESHCONTAINER_EX* container = static_cast<D3DXMESHCONTAINER_EX*>(pMeshContainerToFree);
    container->Release();
    delete container;
    return S_OK;
}
