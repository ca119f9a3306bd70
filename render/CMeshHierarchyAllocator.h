// The allocate-hierarchy object of the models: D3DX builds and destroys every frame and mesh
// container of a loaded model through it, as the extended structures.
#pragma once

#include "platform/platform.h"

class CD3DXObject;

// Numbers formatted into the names of unnamed frames and mesh containers ("DUMMY_%d").
extern UINT g_nDummyFrameNumber;
extern UINT g_nDummyMeshContainerNumber;

class CMeshHierarchyAllocator : public ID3DXAllocateHierarchy {
public:
    explicit CMeshHierarchyAllocator(CD3DXObject* owner) : Owner(owner) {}
    virtual ~CMeshHierarchyAllocator() = default;

    STDMETHOD(CreateFrame)(LPCSTR Name, LPD3DXFRAME* ppNewFrame) override;
    STDMETHOD(CreateMeshContainer)(LPCSTR Name, const D3DXMESHDATA* pMeshData, const D3DXMATERIAL* pMaterials,
                                   const D3DXEFFECTINSTANCE* pEffectInstances, DWORD NumMaterials,
                                   const DWORD* pAdjacency, LPD3DXSKININFO pSkinInfo,
                                   LPD3DXMESHCONTAINER* ppNewMeshContainer) override;
    STDMETHOD(DestroyFrame)(LPD3DXFRAME pFrameToFree) override;
    STDMETHOD(DestroyMeshContainer)(LPD3DXMESHCONTAINER pMeshContainerToFree) override;

    CD3DXObject* Owner;
    // A texture of a material that could not be loaded stops the load; its failure text is
    // kept here for the loader's caller to throw once every allocation has been released.
    const char* TextureFailure = nullptr;
};
