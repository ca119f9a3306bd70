// The model: a .x file loaded as a frame hierarchy with its meshes, materials, textures, skin
// and animation; drawn with software skinning after a view-frustum test of the whole object;
// animated on one time line with cross-fades between animation sets; colliding through box
// trees kept per bone or per mesh.
#pragma once

#include <vector>

#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"
#include "render/D3DXFrameEx.h"

class COBBTree;

// One cross-fade step: the animation on `Track` fades in from `Start` over `Duration`.
struct AnimationBlendEntry {
    UINT Track;
    float Start;
    float Duration;
    float Weight; // as the latest FrameMove computed it
};

class CD3DXObject {
public:
    UINT BoneMatrixCapacity;
    D3DXMATRIX* BoneMatrices; // 16-byte aligned; shared by every skinned container
    D3DXFRAME_EX* FrameRoot;
    ID3DXAnimationController* AnimationController;
    D3DXMATRIX WorldMatrix;
    std::vector<AnimationBlendEntry> BlendList;
    double Time;
    CD3DSafeTexture* OverrideTexture;

    static UINT InstanceCount;
    static ID3DXMesh* SphereMesh;
    static ID3DXEffect* ShadowEffect;
    static D3DXHANDLE ShadowEffectWVP;
    static D3DXHANDLE ShadowEffectLightPos;
    static bool VisibleFlag;
    static D3DXMATRIX FrameMatrixResult;

    CD3DXObject();
    virtual ~CD3DXObject();
    CD3DXObject(const CD3DXObject&) = delete;
    CD3DXObject& operator=(const CD3DXObject&) = delete;

    // Loads the model; throws the failure text, having released whatever it had made.
    void Load(const char* path);
    void Render();
    bool IsVisible(D3DXFRAME_EX* frame);
    void DrawFrame(D3DXFRAME_EX* frame);
    void DrawMeshContainer(D3DXMESHCONTAINER_EX* container, D3DXFRAME_EX* frame);
    void UpdateFrameMatrices(D3DXFRAME_EX* frame, const D3DXMATRIX* parent);
    void UpdateBoneMatrices(D3DXFRAME_EX* frame);
    void SetAlpha(D3DXFRAME_EX* frame, float alpha);
    D3DXMATRIX* GetWorldMatrix() { return &WorldMatrix; }
    D3DXMATRIX GetFrameMatrix(D3DXFRAME_EX* frame, const char* name);
    void Release();

    // Load steps.
    void CreateBoundingSphere(D3DXFRAME_EX* frame);
    HRESULT GenerateSkinnedMesh(D3DXMESHCONTAINER_EX* container);
    bool SetupBoneMatrixPointers(D3DXMESHCONTAINER_EX* container);
    bool SetupFrameBoneMatrixPointers(D3DXFRAME_EX* frame);

    // Animation.
    bool SetTime(double t);
    double GetTime() const { return Time; }
    void ChangeAnimation(UINT track, float duration);
    void FrameMove();

    // Stencil shadow volumes (CD3DXObjectShadow.cpp): made once after Load, drawn into the
    // stencil buffer each frame with the light at (x, y, z) in world space.
    bool GenerateShadowVolume();
    bool RenderShadowVolume(float x, float y, float z);

    // Bone boxes.
    void CreateBoneOBB(int depth);
    bool SetBoneOBB(const char* name, COBBTree* tree);
    bool HitTest(CD3DXObject* other);
    bool HitTestBone(CD3DXObject* other, const char* name);
    HRESULT CreateBoneOBBContainers(D3DXFRAME_EX* frame);
    void FindSkinInfo(D3DXFRAME_EX* frame, ID3DXSkinInfo** skinInfo, D3DXMESHCONTAINER_EX** container);
    void GetFrames(D3DXFRAME_EX* frame, std::vector<D3DXFRAME_EX*>& frames);
    void GetMeshContainers(D3DXFRAME_EX* frame, std::vector<D3DXMESHCONTAINER_EX*>& containers);
    D3DXMESHCONTAINER_EX* FindBoneContainer(const char* name);

private:
    void FreeBoneMatrices();
    bool AllocateBoneMatrices(UINT capacity);
    bool HitTestFrames(CD3DXObject* other, const char* name);
};
