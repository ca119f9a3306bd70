// D3DX meshes and buffers: triangle meshes over a vertex and an index buffer with a per-face
// attribute, their creation, cloning, optimisation and drawing, and the vertex-format helpers.
#pragma once

#include "platform/d3d9/D3D9.h"
#include "platform/d3dx9/D3DX9Math.h"


enum _D3DXMESH {
    D3DXMESH_32BIT = 0x001,
    D3DXMESH_DONOTCLIP = 0x002,
    D3DXMESH_POINTS = 0x004,
    D3DXMESH_RTPATCHES = 0x008,
    D3DXMESH_NPATCHES = 0x4000,
    D3DXMESH_VB_SYSTEMMEM = 0x010,
    D3DXMESH_VB_MANAGED = 0x020,
    D3DXMESH_VB_WRITEONLY = 0x040,
    D3DXMESH_VB_DYNAMIC = 0x080,
    D3DXMESH_VB_SOFTWAREPROCESSING = 0x8000,
    D3DXMESH_IB_SYSTEMMEM = 0x100,
    D3DXMESH_IB_MANAGED = 0x200,
    D3DXMESH_IB_WRITEONLY = 0x400,
    D3DXMESH_IB_DYNAMIC = 0x800,
    D3DXMESH_IB_SOFTWAREPROCESSING = 0x10000,
    D3DXMESH_VB_SHARE = 0x1000,
    D3DXMESH_USEHWONLY = 0x2000,
    D3DXMESH_SYSTEMMEM = 0x110,
    D3DXMESH_MANAGED = 0x220,
    D3DXMESH_WRITEONLY = 0x440,
    D3DXMESH_DYNAMIC = 0x880,
    D3DXMESH_SOFTWAREPROCESSING = 0x18000,
};

enum _D3DXMESHOPT {
    D3DXMESHOPT_DEVICEINDEPENDENT = 0x00400000,
    D3DXMESHOPT_COMPACT = 0x01000000,
    D3DXMESHOPT_ATTRSORT = 0x02000000,
    D3DXMESHOPT_VERTEXCACHE = 0x04000000,
    D3DXMESHOPT_STRIPREORDER = 0x08000000,
    D3DXMESHOPT_IGNOREVERTS = 0x10000000,
    D3DXMESHOPT_DONOTSPLIT = 0x20000000,
};

typedef struct _D3DXATTRIBUTERANGE {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
} D3DXATTRIBUTERANGE, *LPD3DXATTRIBUTERANGE;

typedef struct _D3DXMATERIAL {
    D3DMATERIAL9 MatD3D;
    LPSTR pTextureFilename;
} D3DXMATERIAL, *LPD3DXMATERIAL;

enum D3DXEFFECTDEFAULTTYPE {
    D3DXEDT_STRING = 1,
    D3DXEDT_FLOATS = 2,
    D3DXEDT_DWORD = 3,
};

typedef struct _D3DXEFFECTDEFAULT {
    LPSTR pParamName;
    D3DXEFFECTDEFAULTTYPE Type;
    DWORD NumBytes;
    LPVOID pValue;
} D3DXEFFECTDEFAULT, *LPD3DXEFFECTDEFAULT;

typedef struct _D3DXEFFECTINSTANCE {
    LPSTR pEffectFilename;
    DWORD NumDefaults;
    LPD3DXEFFECTDEFAULT pDefaults;
} D3DXEFFECTINSTANCE, *LPD3DXEFFECTINSTANCE;

// A block of bytes handed out by D3DX (vertex remaps, adjacency, materials).
struct ID3DXBuffer : public IUnknown {
    STDMETHOD_(LPVOID, GetBufferPointer)() PURE;
    STDMETHOD_(DWORD, GetBufferSize)() PURE;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

struct ID3DXMesh;
typedef ID3DXMesh* LPD3DXMESH;

struct ID3DXBaseMesh : public IUnknown {
    STDMETHOD(DrawSubset)(DWORD AttribId) PURE;
    STDMETHOD_(DWORD, GetNumFaces)() PURE;
    STDMETHOD_(DWORD, GetNumVertices)() PURE;
    STDMETHOD_(DWORD, GetFVF)() PURE;
    STDMETHOD(GetDeclaration)(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) PURE;
    STDMETHOD_(DWORD, GetNumBytesPerVertex)() PURE;
    STDMETHOD_(DWORD, GetOptions)() PURE;
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9* ppDevice) PURE;
    STDMETHOD(CloneMeshFVF)(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppCloneMesh) PURE;
    STDMETHOD(CloneMesh)(DWORD Options, const D3DVERTEXELEMENT9* pDeclaration, LPDIRECT3DDEVICE9 pD3DDevice,
                         LPD3DXMESH* ppCloneMesh) PURE;
    STDMETHOD(GetVertexBuffer)(LPDIRECT3DVERTEXBUFFER9* ppVB) PURE;
    STDMETHOD(GetIndexBuffer)(LPDIRECT3DINDEXBUFFER9* ppIB) PURE;
    STDMETHOD(LockVertexBuffer)(DWORD Flags, LPVOID* ppData) PURE;
    STDMETHOD(UnlockVertexBuffer)() PURE;
    STDMETHOD(LockIndexBuffer)(DWORD Flags, LPVOID* ppData) PURE;
    STDMETHOD(UnlockIndexBuffer)() PURE;
    STDMETHOD(GetAttributeTable)(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) PURE;
    STDMETHOD(GenerateAdjacency)(FLOAT Epsilon, DWORD* pAdjacency) PURE;
};
typedef ID3DXBaseMesh* LPD3DXBASEMESH;

struct ID3DXMesh : public ID3DXBaseMesh {
    STDMETHOD(LockAttributeBuffer)(DWORD Flags, DWORD** ppData) PURE;
    STDMETHOD(UnlockAttributeBuffer)() PURE;
    STDMETHOD(Optimize)(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                        LPD3DXBUFFER* ppVertexRemap, LPD3DXMESH* ppOptMesh) PURE;
    STDMETHOD(OptimizeInplace)(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                               LPD3DXBUFFER* ppVertexRemap) PURE;
    STDMETHOD(SetAttributeTable)(const D3DXATTRIBUTERANGE* pAttribTable, DWORD cAttribTableSize) PURE;
};

HRESULT D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer);

UINT D3DXGetFVFVertexSize(DWORD FVF);
UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* pDecl, DWORD Stream);
HRESULT D3DXDeclaratorFromFVF(DWORD FVF, D3DVERTEXELEMENT9 pDeclarator[MAX_FVF_DECL_SIZE]);
HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* pDeclarator, DWORD* pFVF);

HRESULT D3DXCreateMesh(DWORD NumFaces, DWORD NumVertices, DWORD Options, const D3DVERTEXELEMENT9* pDeclaration,
                       LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppMesh);
HRESULT D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice,
                          LPD3DXMESH* ppMesh);

// The centroid of the positions and the largest distance from it.
HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                  D3DXVECTOR3* pCenter, FLOAT* pRadius);
HRESULT D3DXComputeBoundingBox(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride, D3DXVECTOR3* pMin,
                               D3DXVECTOR3* pMax);
// Unit vertex normals from the faces around each vertex; the mesh needs a NORMAL element.
HRESULT D3DXComputeNormals(LPD3DXBASEMESH pMesh, const DWORD* pAdjacency);

// A sphere about the origin with its poles on the z axis (XYZ | NORMAL, managed).
HRESULT D3DXCreateSphere(LPDIRECT3DDEVICE9 pDevice, FLOAT Radius, UINT Slices, UINT Stacks, LPD3DXMESH* ppMesh,
                         LPD3DXBUFFER* ppAdjacency);
