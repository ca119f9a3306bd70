// D3DX frame hierarchies loaded from .x files, skin information with software skinning, and
// keyframed animation sets played on the tracks of an animation controller.
//
// What the loader gives, as D3DX gives it:
// - the root: a file with exactly one top-level frame (and no mesh outside every frame) has that
//   frame as its root; otherwise an unnamed identity frame holds every top-level frame as a
//   child and every top-level mesh;
// - unnamed frames and meshes reach the allocator with a null name;
// - one mesh container per mesh, in file order: triangulated (polygons as fans), vertices
//   split where a corner's normal differs, faces sorted by material with an attribute table,
//   adjacency by shared positions, materials with ambient 0 and no material array when the
//   file has none, and skin information (weights following split vertices) when the mesh has
//   SkinWeights;
// - the controller: null when the file has no AnimationSet; otherwise 2 tracks, animation set
//   0 on track 0 (enabled, weight 1, speed 1), and the sets indexed from the LAST in the file
//   (set 0 is the file's last AnimationSet). Times are seconds: ticks / AnimTicksPerSecond
//   (4800 when the file does not say).
// - blending: the track weights multiply each track's departure from the rest transform
//   (scale 1, no rotation, no translation), so weights that add up to 1 give a weighted mean.
//   A track's priority is kept in its description; every enabled track is blended alike (the
//   priority blend, which only matters when both priorities play, is not offered).
#pragma once

#include "platform/d3d9/D3D9.h"
#include "platform/d3dx9/D3DX9Math.h"
#include "platform/d3dx9/D3DX9Mesh.h"

// ---------------------------------------------------------------------------------------------
// Skin information

struct ID3DXSkinInfo : public IUnknown {
    STDMETHOD(SetBoneInfluence)(DWORD bone, DWORD numInfluences, const DWORD* vertices, const FLOAT* weights) PURE;
    STDMETHOD_(DWORD, GetNumBoneInfluences)(DWORD bone) PURE;
    STDMETHOD(GetBoneInfluence)(DWORD bone, DWORD* vertices, FLOAT* weights) PURE;
    STDMETHOD_(DWORD, GetNumBones)() PURE;
    STDMETHOD(SetBoneName)(DWORD Bone, LPCSTR pName) PURE;
    STDMETHOD_(LPCSTR, GetBoneName)(DWORD Bone) PURE;
    STDMETHOD(SetBoneOffsetMatrix)(DWORD Bone, const D3DXMATRIX* pBoneTransform) PURE;
    STDMETHOD_(LPD3DXMATRIX, GetBoneOffsetMatrix)(DWORD Bone) PURE;
    // Positions (and normals, when the vertex format has them) of every vertex: the sum over
    // its influences of weight x (source x bone transform). Vertices without influences get
    // zero; the rest of each destination vertex is left as it is. Normals use the inverse
    // transposes when given, else the bone transforms, and are not renormalised.
    STDMETHOD(UpdateSkinnedMesh)(const D3DXMATRIX* pBoneTransforms, const D3DXMATRIX* pBoneInvTransposeTransforms,
                                 LPCVOID pVerticesSrc, PVOID pVerticesDst) PURE;
};
typedef ID3DXSkinInfo* LPD3DXSKININFO;

HRESULT D3DXCreateSkinInfoFVF(DWORD NumVertices, DWORD FVF, DWORD NumBones, LPD3DXSKININFO* ppSkinInfo);

// ---------------------------------------------------------------------------------------------
// Frame hierarchies

typedef enum _D3DXMESHDATATYPE {
    D3DXMESHTYPE_MESH = 0x001,
    D3DXMESHTYPE_PMESH = 0x002,
    D3DXMESHTYPE_PATCHMESH = 0x003,
} D3DXMESHDATATYPE;

typedef struct _D3DXMESHDATA {
    D3DXMESHDATATYPE Type;
    union {
        LPD3DXMESH pMesh;
    };
} D3DXMESHDATA, *LPD3DXMESHDATA;

typedef struct _D3DXMESHCONTAINER {
    LPSTR Name;
    D3DXMESHDATA MeshData;
    LPD3DXMATERIAL pMaterials;
    LPD3DXEFFECTINSTANCE pEffects;
    DWORD NumMaterials;
    DWORD* pAdjacency;
    LPD3DXSKININFO pSkinInfo;
    struct _D3DXMESHCONTAINER* pNextMeshContainer;
} D3DXMESHCONTAINER, *LPD3DXMESHCONTAINER;

typedef struct _D3DXFRAME {
    LPSTR Name;
    D3DXMATRIX TransformationMatrix;
    LPD3DXMESHCONTAINER pMeshContainer;
    struct _D3DXFRAME* pFrameSibling;
    struct _D3DXFRAME* pFrameFirstChild;
} D3DXFRAME, *LPD3DXFRAME;

// The application's allocator: D3DX creates and destroys every frame and mesh container of a
// hierarchy through it. Not a COM interface.
struct ID3DXAllocateHierarchy {
    STDMETHOD(CreateFrame)(LPCSTR Name, LPD3DXFRAME* ppNewFrame) PURE;
    STDMETHOD(CreateMeshContainer)(LPCSTR Name, const D3DXMESHDATA* pMeshData, const D3DXMATERIAL* pMaterials,
                                   const D3DXEFFECTINSTANCE* pEffectInstances, DWORD NumMaterials,
                                   const DWORD* pAdjacency, LPD3DXSKININFO pSkinInfo,
                                   LPD3DXMESHCONTAINER* ppNewMeshContainer) PURE;
    STDMETHOD(DestroyFrame)(LPD3DXFRAME pFrameToFree) PURE;
    STDMETHOD(DestroyMeshContainer)(LPD3DXMESHCONTAINER pMeshContainerToFree) PURE;
};
typedef ID3DXAllocateHierarchy* LPD3DXALLOCATEHIERARCHY;

// User data loading is not supported: callers pass null.
struct ID3DXLoadUserData;
typedef ID3DXLoadUserData* LPD3DXLOADUSERDATA;

// ---------------------------------------------------------------------------------------------
// Animation

typedef enum _D3DXPRIORITY_TYPE {
    D3DXPRIORITY_LOW = 0,
    D3DXPRIORITY_HIGH = 1,
} D3DXPRIORITY_TYPE;

typedef struct _D3DXTRACK_DESC {
    D3DXPRIORITY_TYPE Priority;
    FLOAT Weight;
    FLOAT Speed;
    DOUBLE Position;
    BOOL Enable;
} D3DXTRACK_DESC, *LPD3DXTRACK_DESC;

// Callback keys are not supported: AdvanceTime takes null.
struct ID3DXAnimationCallbackHandler;
typedef ID3DXAnimationCallbackHandler* LPD3DXANIMATIONCALLBACKHANDLER;

struct ID3DXAnimationSet : public IUnknown {
    STDMETHOD_(LPCSTR, GetName)() PURE;
    STDMETHOD_(DOUBLE, GetPeriod)() PURE;
    STDMETHOD_(DOUBLE, GetPeriodicPosition)(DOUBLE Position) PURE;
    STDMETHOD_(UINT, GetNumAnimations)() PURE;
    STDMETHOD(GetAnimationNameByIndex)(UINT Index, LPCSTR* ppName) PURE;
    STDMETHOD(GetAnimationIndexByName)(LPCSTR pName, UINT* pIndex) PURE;
    STDMETHOD(GetSRT)(DOUBLE PeriodicPosition, UINT Animation, D3DXVECTOR3* pScale, D3DXQUATERNION* pRotation,
                      D3DXVECTOR3* pTranslation) PURE;
};
typedef ID3DXAnimationSet* LPD3DXANIMATIONSET;

struct ID3DXAnimationController;
typedef ID3DXAnimationController* LPD3DXANIMATIONCONTROLLER;

struct ID3DXAnimationController : public IUnknown {
    STDMETHOD_(UINT, GetMaxNumAnimationOutputs)() PURE;
    STDMETHOD_(UINT, GetMaxNumAnimationSets)() PURE;
    STDMETHOD_(UINT, GetMaxNumTracks)() PURE;
    STDMETHOD_(UINT, GetMaxNumEvents)() PURE;
    STDMETHOD_(UINT, GetNumAnimationSets)() PURE;
    STDMETHOD(GetAnimationSet)(UINT Index, LPD3DXANIMATIONSET* ppAnimationSet) PURE;
    STDMETHOD(GetAnimationSetByName)(LPCSTR szName, LPD3DXANIMATIONSET* ppAnimationSet) PURE;
    STDMETHOD(AdvanceTime)(DOUBLE TimeDelta, LPD3DXANIMATIONCALLBACKHANDLER pCallbackHandler) PURE;
    STDMETHOD(ResetTime)() PURE;
    STDMETHOD_(DOUBLE, GetTime)() PURE;
    STDMETHOD(SetTrackAnimationSet)(UINT Track, LPD3DXANIMATIONSET pAnimSet) PURE;
    STDMETHOD(SetTrackSpeed)(UINT Track, FLOAT Speed) PURE;
    STDMETHOD(SetTrackWeight)(UINT Track, FLOAT Weight) PURE;
    STDMETHOD(SetTrackPosition)(UINT Track, DOUBLE Position) PURE;
    STDMETHOD(SetTrackEnable)(UINT Track, BOOL Enable) PURE;
    STDMETHOD(SetTrackDesc)(UINT Track, LPD3DXTRACK_DESC pDesc) PURE;
    STDMETHOD(GetTrackDesc)(UINT Track, LPD3DXTRACK_DESC pDesc) PURE;
    STDMETHOD(CloneAnimationController)(UINT MaxNumAnimationOutputs, UINT MaxNumAnimationSets, UINT MaxNumTracks,
                                        UINT MaxNumEvents, LPD3DXANIMATIONCONTROLLER* ppAnimController) PURE;
};

// ---------------------------------------------------------------------------------------------
// Loading and walking hierarchies

HRESULT D3DXLoadMeshHierarchyFromXA(LPCSTR Filename, DWORD MeshOptions, LPDIRECT3DDEVICE9 pDevice,
                                    LPD3DXALLOCATEHIERARCHY pAlloc, LPD3DXLOADUSERDATA pUserDataLoader,
                                    LPD3DXFRAME* ppFrameHierarchy, LPD3DXANIMATIONCONTROLLER* ppAnimController);
#define D3DXLoadMeshHierarchyFromX D3DXLoadMeshHierarchyFromXA

// Destroys the frame, its siblings and children, and their mesh containers, through the
// allocator.
HRESULT D3DXFrameDestroy(LPD3DXFRAME pFrameRoot, LPD3DXALLOCATEHIERARCHY pAlloc);
// The first frame of that name, depth first from the given frame (its siblings included).
LPD3DXFRAME D3DXFrameFind(const D3DXFRAME* pFrameRoot, LPCSTR Name);
