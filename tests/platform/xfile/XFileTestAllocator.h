// An allocate-hierarchy object like an application's: copies names and materials, holds the
// mesh and the skin information, counts every call and can be told to fail a given call.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace xfixture {

class CountingAllocator : public ID3DXAllocateHierarchy {
public:
    int framesCreated = 0, framesDestroyed = 0;
    int containersCreated = 0, containersDestroyed = 0;
    int failFrameAt = -1;      // the CreateFrame call (counting from 0) that fails
    int failContainerAt = -1;  // the CreateMeshContainer call that fails
    std::vector<bool> frameNameWasNull;
    int frameCalls = 0, containerCalls = 0;

    int Live() const { return framesCreated - framesDestroyed + containersCreated - containersDestroyed; }

    STDMETHOD(CreateFrame)(LPCSTR Name, LPD3DXFRAME* ppNewFrame) override
    {
        *ppNewFrame = nullptr;
        if (frameCalls++ == failFrameAt)
            return E_OUTOFMEMORY;
        frameNameWasNull.push_back(Name == nullptr);
        D3DXFRAME* f = new D3DXFRAME();
        f->Name = Copy(Name);
        ++framesCreated;
        *ppNewFrame = f;
        return S_OK;
    }

    STDMETHOD(CreateMeshContainer)(LPCSTR Name, const D3DXMESHDATA* pMeshData, const D3DXMATERIAL* pMaterials,
                                   const D3DXEFFECTINSTANCE*, DWORD NumMaterials, const DWORD* pAdjacency,
                                   LPD3DXSKININFO pSkinInfo, LPD3DXMESHCONTAINER* ppNewMeshContainer) override
    {
        *ppNewMeshContainer = nullptr;
        if (containerCalls++ == failContainerAt)
            return E_FAIL;
        D3DXMESHCONTAINER* c = new D3DXMESHCONTAINER();
        c->Name = Copy(Name);
        c->MeshData = *pMeshData;
        c->MeshData.pMesh->AddRef();
        c->NumMaterials = NumMaterials;
        if (NumMaterials) {
            c->pMaterials = new D3DXMATERIAL[NumMaterials];
            for (DWORD i = 0; i < NumMaterials; ++i) {
                c->pMaterials[i] = pMaterials[i];
                c->pMaterials[i].pTextureFilename = Copy(pMaterials[i].pTextureFilename);
            }
        }
        const DWORD faces = pMeshData->pMesh->GetNumFaces();
        c->pAdjacency = new DWORD[3 * faces];
        std::memcpy(c->pAdjacency, pAdjacency, 3 * faces * sizeof(DWORD));
        c->pSkinInfo = pSkinInfo;
        if (pSkinInfo)
            pSkinInfo->AddRef();
        ++containersCreated;
        *ppNewMeshContainer = c;
        return S_OK;
    }

    STDMETHOD(DestroyFrame)(LPD3DXFRAME f) override
    {
        delete[] f->Name;
        delete f;
        ++framesDestroyed;
        return S_OK;
    }

    STDMETHOD(DestroyMeshContainer)(LPD3DXMESHCONTAINER c) override
    {
        delete[] c->Name;
        for (DWORD i = 0; i < c->NumMaterials; ++i)
            delete[] c->pMaterials[i].pTextureFilename;
        delete[] c->pMaterials;
        delete[] c->pAdjacency;
        if (c->MeshData.pMesh)
            c->MeshData.pMesh->Release();
        if (c->pSkinInfo)
            c->pSkinInfo->Release();
        delete c;
        ++containersDestroyed;
        return S_OK;
    }

private:
    static char* Copy(const char* s)
    {
        if (!s)
            return nullptr;
        char* p = new char[std::strlen(s) + 1];
        std::strcpy(p, s);
        return p;
    }
};

} // namespace xfixture
