#include "render/D3DXFrameEx.h"

#include <cstring>
#include <new>

#include "app/ReleaseInterface.h"
#include "render/CDirectX9.h"
#include "render/COBBTree.h"

char* DuplicateName(const char* name)
{
    if (!name) return nullptr;
    const size_t length = std::strlen(name) + 1;
    char* copy = new (std::nothrow) char[length];
    if (copy) std::memcpy(copy, name, length);
    return copy;
}

D3DXFRAME_EX::D3DXFRAME_EX()
{
    Name = nullptr;
    D3DXMatrixIdentity(&TransformationMatrix);
    D3DXMatrixIdentity(&CombinedTransformationMatrix);
    pMeshContainer = nullptr;
    pFrameSibling = nullptr;
    pFrameFirstChild = nullptr;
}

D3DXFRAME_EX::~D3DXFRAME_EX()
{
    delete[] Name;
    Name = nullptr;
}

D3DXMESHCONTAINER_EX::D3DXMESHCONTAINER_EX()
{
    Name = nullptr;
    MeshData.Type = static_cast<D3DXMESHDATATYPE>(0);
    MeshData.pMesh = nullptr;
    pMaterials = nullptr;
    pEffects = nullptr;
    NumMaterials = 0;
    pAdjacency = nullptr;
    pSkinInfo = nullptr;
    pNextMeshContainer = nullptr;
    ppTextures = nullptr;
    pOrigMesh = nullptr;
    pAttributeTable = nullptr;
    NumAttributeGroups = 0;
    pBoneCombinationBuf = nullptr;
    ppBoneMatrixPtrs = nullptr;
    pBoneOffsetMatrices = nullptr;
    SrcBlend = D3DBLEND_SRCALPHA;
    DestBlend = D3DBLEND_INVSRCALPHA;
    pOrigMaterials = nullptr;
    BoundingSphereCenter = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    BoundingSphereRadius = 0.0f;
    pOBBTree = nullptr;
    pShadowMesh = nullptr;
    pSkinnedShadowMesh = nullptr;
    pShadowSkinInfo = nullptr;
    NumShadowTriangles = 0;
}

void D3DXMESHCONTAINER_EX::Release()
{
    delete[] Name;
    Name = nullptr;
    delete[] pMaterials;
    pMaterials = nullptr;
    delete[] pOrigMaterials;
    pOrigMaterials = nullptr;
    delete[] pEffects;
    pEffects = nullptr;
    delete[] pAdjacency;
    pAdjacency = nullptr;
    if (ppTextures) {
        for (DWORD i = 0; i < NumMaterials; ++i) CDirectX9::SafeReleaseTexture(ppTextures[i]);
        delete[] ppTextures;
        ppTextures = nullptr;
    }
    delete[] pAttributeTable;
    pAttributeTable = nullptr;
    NumAttributeGroups = 0;
    delete[] ppBoneMatrixPtrs;
    ppBoneMatrixPtrs = nullptr;
    delete[] pBoneOffsetMatrices;
    pBoneOffsetMatrices = nullptr;
    if (pOBBTree) {
        pOBBTree->Release();
        delete pOBBTree;
        pOBBTree = nullptr;
    }
    ReleaseInterface(MeshData.pMesh);
    ReleaseInterface(pOrigMesh);
    ReleaseInterface(pSkinInfo);
    ReleaseInterface(pBoneCombinationBuf);
    ReleaseInterface(pShadowMesh);
    ReleaseInterface(pSkinnedShadowMesh);
    ReleaseInterface(pShadowSkinInfo);
    NumShadowTriangles = 0;
}
