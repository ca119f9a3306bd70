// The townspeople: walk at a small constant speed, taking a random direction every 180
// frames, each with a blob shadow.
#pragma once

#include "app/CCharacter.h"
#include "platform/platform.h"
#include "game/CBlobShadow.h"
#include "render/CD3DSafeTexture.h"

class CD3DXObject;
class CPhillShadow;

class CPhill : public CCharacter {
public:
    CPhill(float x, float y, float z);
    ~CPhill() override;

    bool Update() override;
    bool Draw() override;

    void GetVelocity(float* dx, float* dz);
    void GetWalkVelocity(float* dx, float* dz);
    void Move(float dx, float dz);

    D3DXVECTOR3 Position;
    float Angle;
    CD3DXObject* Model;
    CPhillShadow* Shadow;
    DWORD Direction; // 0 to 7
    DWORD DirectionCounter;
};

class CPhillShadow : public CBlobShadow<CPhill> {
public:
    using CBlobShadow::CBlobShadow;

protected:
    float HalfSize() const override { return 0.4f; }
};
