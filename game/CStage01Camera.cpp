// The stage's third-person camera: a distance spring that backs off while the player moves,
// an eased swing behind her, a view from high above, and the shake of nearby impacts.
#include <cmath>

#include "app/CInput.h"
#include "game/CCameraShake.h"
#include "game/CRina.h"
#include "game/CStage01.h"
#include "render/CDirectX9.h"

float g_CameraDistSpring[2] = {5.0f, 5.0f};
float g_CameraYawSpring[2] = {5.0f, 5.0f};
float g_fCameraLastYaw = 3.14159265358979f / 2.0f;
bool g_bTopView = false;

namespace {
const float kPi = 3.14159265358979f;
} // namespace

void CStage01::UpdateCamera()
{
    const D3DXVECTOR3 r = Rina->Position;
    float& p = g_CameraDistSpring[0];
    float& q = g_CameraDistSpring[1];
    float& a = g_CameraYawSpring[0];
    float& b = g_CameraYawSpring[1];

    const float target = g_Input.IsDirection(8) ? 1.0f : 0.0f;
    const float d = ((target - (p - 5.0f) * 0.2f) + (q - 5.0f) * 0.2f) * 0.2f * 0.5f;
    p += d;
    q -= d;

    if (CameraYaw != g_fCameraLastYaw) {
        // The view starts from where it was and swings the shorter way to the new yaw.
        float delta = CameraYaw - g_fCameraLastYaw;
        if (delta > kPi)
            delta -= 2.0f * kPi;
        if (delta < -kPi)
            delta += 2.0f * kPi;
        a = 5.0f - delta;
        b = 5.0f + delta;
        g_fCameraLastYaw = CameraYaw;
    }

    const float e = ((b - 5.0f) * 0.2f - (a - 5.0f) * 0.2f) * 0.2f * 0.5f;
    a += e;
    b -= e;

    const float theta = (a - 5.0f) + CameraYaw - kPi / 2.0f;
    D3DXVECTOR3 eye(r.x + std::sin(theta) * p, r.y + (p - 5.0f) * 1.2f, r.z - std::cos(theta) * p);
    D3DXVECTOR3 at(r.x + g_vShake.x, r.y + 2.0f + g_vShake.y, r.z + g_vShake.z);
    D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);

    Rina->CameraHeading = std::atan2(at.z - eye.z, at.x - eye.x);

    if (g_Input.IsTriggered(INPUT_F8))
        g_bTopView = !g_bTopView;
    if (g_bTopView) {
        D3DXVECTOR3 high(r.x, 200.0f, r.z - 1.0f), below(r.x, r.y, r.z);
        D3DXMatrixLookAtLH(&view, &high, &below, &up);
    }
    CDirectX9::SafeSetTransform(D3DTS_VIEW, view);

    if (g_Input.IsTriggered(INPUT_Z))
        CameraYaw = (2.0f * kPi - Rina->Facing) + kPi / 2.0f;

    // The camera's box lies along the line of sight, so that buildings in it turn see-through.
    const D3DXVECTOR3 v = at - eye;
    CameraLength = D3DXVec3Length(&v);
    CameraMid = (eye + at) * 0.5f;
    D3DXMATRIX scaling, rotation, translation;
    D3DXMatrixScaling(&scaling, 1.0f, 1.0f, CameraLength * 10.0f);
    D3DXMatrixRotationY(&rotation, kPi / 2.0f - std::atan2(v.z, v.x));
    D3DXMatrixTranslation(&translation, CameraMid.x, CameraMid.y, CameraMid.z);
    *CameraModel->GetWorldMatrix() = scaling * rotation * translation;
    CameraModel->FrameMove();
}
