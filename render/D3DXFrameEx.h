// The frame and mesh container of the models, extended with what drawing, skinning, the
// frustum test, the bone boxes and the shadow volumes keep per frame and per container.
#pragma once

#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"

class COBBTree;

struct D3DXFRAME_EX : public D3DXFRAME {
    // This frame's matrix times every parent's, times the model's world matrix.
    D3DXMATRIX CombinedTransformationMatrix;

    D3DXFRAME_EX();
    ~D3DXFRAME_EX();
    D3DXFRAME_EX(const D3DXFRAME_EX&) = delete;
    D3DXFRAME_EX& operator=(const D3DXFRAME_EX&) = delete;
};

struct D3DXMESHCONTAINER_EX : public D3DXMESHCONTAINER {
    CD3DSafeTexture* ppTextures;          // one per material; empty where it names none
    ID3DXMesh* pOrigMesh;                 // skinned: the mesh as loaded, source of skinning
    D3DXATTRIBUTERANGE* pAttributeTable;  // skinned: the drawn copy's attribute ranges
    DWORD NumAttributeGroups;
    ID3DXBuffer* pBoneCombinationBuf;
    D3DXMATRIX** ppBoneMatrixPtrs;        // per bone: its frame's combined matrix
    D3DXMATRIX* pBoneOffsetMatrices;      // per bone: the skin's offset matrix
    DWORD SrcBlend;
    DWORD DestBlend;
    D3DMATERIAL9* pOrigMaterials;         // the materials as loaded, before any SetAlpha
    D3DXVECTOR3 BoundingSphereCenter;     // in the frame's own coordinates
    float BoundingSphereRadius;
    COBBTree* pOBBTree;
    ID3DXMesh* pShadowMesh;
    ID3DXMesh* pSkinnedShadowMesh;
    ID3DXSkinInfo* pShadowSkinInfo;
    DWORD NumShadowTriangles;

    D3DXMESHCONTAINER_EX();
    ~D3DXMESHCONTAINER_EX() { Release(); }
    D3DXMESHCONTAINER_EX(const D3DXMESHCONTAINER_EX&) = delete;
    D3DXMESHCONTAINER_EX& operator=(const D3DXMESHCONTAINER_EX&) = delete;

    // Frees and releases everything the container holds; running it twice is harmless.
    void Release();
};

// A heap copy of a name, freed with delete[]; null for null.
char* DuplicateName(const char* name);
