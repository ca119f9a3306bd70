// A short shake of the stage camera: random offsets of its target that fade out over the
// shake's frames.
#pragma once

#include "app/CCharacter.h"
#include "platform/platform.h"

class CCameraShake : public CCharacter {
public:
    CCameraShake(float magnitude, int frames);
    ~CCameraShake() override;
    bool Update() override;
    bool Draw() override;

    float Magnitude;
    int Frames;
};

// The offset that the stage camera adds to its target; the last shake updated wins.
extern D3DXVECTOR3 g_vShake;

// The stage camera's springs and switches, kept for the run.
extern float g_CameraDistSpring[2];
extern float g_CameraYawSpring[2];
extern float g_fCameraLastYaw;
extern bool g_bTopView;
