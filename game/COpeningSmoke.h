// Smoke and dust puffs: short-lived camera-facing sprites of one shared texture. The smoke
// rises from breaking buildings and falling pieces, the dust from running feet.
#pragma once

#include "app/CCharacter.h"
#include "game/Vertex3D.h"
#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"

// A long-lived smoke puff that drifts out along its direction, slows and fades over 200 frames.
class COpeningSmoke : public CCharacter {
public:
    COpeningSmoke(const D3DXVECTOR3& position, const D3DXVECTOR3& direction, float scale);
    ~COpeningSmoke() override;

    // Moves the puff by its velocity after adding its acceleration; serves the dust too.
    bool Update() override;
    bool Draw() override;

    // White, with an alpha falling from 255 at age 0 to 1 at age 199.
    static DWORD ColourAt(DWORD age);

    CD3DSafeTexture Texture;
    D3DXVECTOR3 Position;
    D3DXVECTOR3 Velocity;
    D3DXVECTOR3 Acceleration;
    float Rotation; // roll about the view axis, fixed for the puff's life
    float Size;

    static constexpr LONG LIFE = 200;

protected:
    // Loads the texture only; the subclass sets the motion.
    COpeningSmoke();
};

// A short dust puff kicked up where a foot lands: it swells and fades over 30 frames.
class COpeningDust : public COpeningSmoke {
public:
    COpeningDust(const D3DXVECTOR3& position, float angle);

    bool Draw() override;

    // White, with an alpha falling from 240 at age 0 to 8 at age 29.
    static DWORD ColourAt(DWORD age);

    static constexpr LONG LIFE = 30;
};

// Writes the positions of four vertices of a w x h rectangle centred at (x, y, z) that faces
// the camera of the cached view transform, rolled by `angle`: top-left, top-right,
// bottom-left, bottom-right at angle 0 (strip order).
void DrawBillboard(float x, float y, float z, float w, float h, float angle, Vertex3DTex* vertices);
