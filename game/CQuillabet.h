// The giant heroine: walks through the city at twenty times model size in eight directions,
// with pauses, footsteps that sound softer the farther she is from the player, and a blob
// shadow on the ground.
#pragma once

#include "app/CCharacter.h"
#include "platform/platform.h"
#include "game/CBlobShadow.h"
#include "render/CD3DSafeTexture.h"

class CD3DXObject;
class CQuillabetShadow;

class CQuillabet : public CCharacter {
public:
    static constexpr DWORD DIRECTION_STAND = 8;

    CQuillabet();
    ~CQuillabet() override;

    bool Update() override;
    bool Draw() override;

    void Think();
    void GetVelocity(float* dx, float* dz);
    void GetWalkVelocity(float* dx, float* dz);
    void Move(float dx, float dz);
    // Turns `angle` by pi/64 the shorter way toward `target`, landing on it when within a step.
    static void TurnTo(float& angle, float target);

    D3DXVECTOR3 Position;
    float Angle;
    CD3DXObject* Model;
    CQuillabetShadow* Shadow;
    DWORD AnimationState; // 0 standing, 1 walking
    DWORD Direction;      // 0 to 7 walking that way, 8 standing
    int PendingDirection; // taken after a stop; -1 none
    DWORD ThinkCounter;
};

// The heroine's walking frames, which time her footsteps.
extern DWORD g_nQuillabetStep;

class CQuillabetShadow : public CBlobShadow<CQuillabet> {
public:
    using CBlobShadow::CBlobShadow;

protected:
    float HalfSize() const override { return 7.0f; }
};

// The ground velocity of direction 0 to 7 (0 = +z, 2 = +x, ...) at speed s.
void DirectionVelocity(DWORD direction, float s, float* dx, float* dz);
