// The player character: walks relative to the camera's heading, runs on a double tap, picks
// her animation from the input, plays her footsteps, and casts a stencil shadow volume (a
// blob on the ground when the depth buffer has no stencil).
#pragma once

#include "app/CCharacter.h"
#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"

class CD3DXObject;

class CRina : public CCharacter {
public:
    enum AnimStateType : DWORD { ANIM_IDLE = 0, ANIM_STAND = 1, ANIM_WALK = 2, ANIM_RUN = 3 };

    CRina();
    ~CRina() override;

    bool Update() override;
    bool Draw() override;

    // This frame's velocity on the ground, in world x and z.
    void GetVelocity(float* dx, float* dz);
    void Move(float dx, float dz);
    void TurnTo(float target);
    void GetInputVelocity(float* dx, float* dz);

    D3DXVECTOR3 Position;
    float Facing;
    CD3DXObject* Model;
    CD3DXObject* ShadowModel;
    DWORD AnimState;
    float CameraHeading;
    CD3DSafeTexture ShadowTexture;

private:
    void ChangeAnimation(DWORD state, UINT track, float fade);
    void ReleaseAll();
};

// Kept for the run.
extern DWORD g_nRinaStandFrames;
extern bool g_bRinaFast;
extern DWORD g_nRinaDirHistory[10];

// Whether the device's depth buffer carries a stencil (D24S8), asked afresh each time.
bool HasStencilDepthBuffer();
