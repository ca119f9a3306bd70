#include "game/CQuillabet.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "app/CGameConfig.h"
#include "game/CCameraShake.h"
#include "game/CStage01.h"
#include "game/Vertex3D.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"
#include "render/CharacterNoUpdate.h"
#include "sound/Sound.h"

DWORD g_nQuillabetStep = 0;

namespace {

// The eight facing angles, as single-precision constants.
const float kDirectionAngle[8] = {0.0f, 0.7853982f, 1.5707964f, 2.3561945f, 3.1415927f, 3.926991f, 4.712389f, 5.4977875f};
const float kTwoPi = 6.2831855f;

} // namespace

void DirectionVelocity(DWORD direction, float s, float* dx, float* dz)
{
    const float d = s * std::sqrt(0.5f);
    const float x[8] = {0.0f, d, s, d, 0.0f, -d, -s, -d};
    const float z[8] = {s, d, 0.0f, -d, -s, -d, 0.0f, d};
    *dx = x[direction & 7];
    *dz = z[direction & 7];
}

void DrawBlobShadow(CD3DSafeTexture& texture, const D3DXVECTOR3& position, float h)
{
    const float x = position.x, y = position.y + 0.02f, z = position.z;
    const DWORD color = 0x80FFFFFF;
    Vertex3DTex quad[4] = {{x - h, y, z + h, color, 0.0f, 0.0f},
                            {x + h, y, z + h, color, 1.0f, 0.0f},
                            {x - h, y, z - h, color, 0.0f, 1.0f},
                            {x + h, y, z - h, color, 1.0f, 1.0f}};
    // Through the cache, so that the cached world matrix stays true.
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    CDirectX9::SafeSetTransform(D3DTS_WORLD, identity);
    CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    CDirectX9::SafeSetTexture(0, texture);
    CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, FALSE);
    g_pDevice->SetFVF(Vertex3DTex::FVF);
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    g_pDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex3DTex));
    CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, TRUE);
}

// ---------------------------------------------------------------------------------------------

CQuillabet::CQuillabet()
    : Position(0.0f, 0.0f, 10.0f), Angle(0.0f), Model(nullptr), Shadow(nullptr), AnimationState(0), Direction(0),
      PendingDirection(-1), ThinkCounter(0)
{
    IsTranslucent = true;
    SortKey = FLT_MAX;
    try {
        Model = new CD3DXObject();
        Model->Load(".\\data\\xfile\\gameQuillabet.x");
        Model->CreateBoneOBB(2);
        Model->ChangeAnimation(0, 0.0f);
        Shadow = new CQuillabetShadow(this);
    } catch (...) {
        delete Model;
        AbandonCharacter(this);
        throw;
    }
}

CQuillabet::~CQuillabet()
{
    if (std::find(CharacterList.begin(), CharacterList.end(), Shadow) != CharacterList.end())
        Shadow->Kill();
    Shadow = nullptr;
    if (Model) {
        Model->Release();
        delete Model;
        Model = nullptr;
    }
}

void CQuillabet::Think()
{
    ++ThinkCounter;
    if (PendingDirection != -1 && ThinkCounter >= 51)
        Direction = static_cast<DWORD>(PendingDirection);
    if (ThinkCounter < 300)
        return;
    const DWORD current = Direction;
    DWORD d;
    // Never straight back the way she came.
    do {
        d = static_cast<DWORD>(std::rand() % 9);
        Direction = d;
    } while (d < 8 && (d + 4) % 8 == current);
    if (d != current && d < 8) {
        // She stops first and walks on in the new direction after 50 frames.
        PendingDirection = static_cast<int>(d);
        Direction = DIRECTION_STAND;
    } else {
        PendingDirection = -1;
    }
    ThinkCounter = 0;
}

bool CQuillabet::Update()
{
    Think();
    Model->SetTime(Model->GetTime() + 0.25);
    Model->FrameMove();
    if (Direction == DIRECTION_STAND && AnimationState == 1) {
        Model->ChangeAnimation(0, 15.0f);
        AnimationState = 0;
    } else if (Direction != DIRECTION_STAND && AnimationState != 1) {
        Model->ChangeAnimation(1, 15.0f);
        AnimationState = 1;
        g_nQuillabetStep = 0;
    }
    if (AnimationState != 1)
        return true;
    if (CGameConfig::GetInstance().IsSoundOn) {
        const D3DXVECTOR3 toListener = Position - g_vListener;
        float d = D3DXVec3Length(&toListener);
        if (!(d <= 1000.0f))
            d = 1000.0f;
        const DWORD step = g_nQuillabetStep % 240;
        if (step == 48 || step == 168) {
            SoundPlay(".\\data\\sound\\walkQuillabet.wav", 0, std::sqrt((1000.0f - d) * 0.001f));
            new CCameraShake(3.0f / (d + 20.0f), 30);
        }
    }
    ++g_nQuillabetStep;
    return true;
}

void CQuillabet::GetVelocity(float* dx, float* dz)
{
    *dx = 0.0f;
    *dz = 0.0f;
    GetWalkVelocity(dx, dz);
}

void CQuillabet::GetWalkVelocity(float* dx, float* dz)
{
    // Her stride slows twice in each 240-frame walking cycle.
    const int k = static_cast<int>(static_cast<long long>(Model->GetTime()) % 60);
    float s = 0.1f;
    if (k < 15)
        s = 0.1f - 0.005f * static_cast<float>(k);
    else if (k < 30)
        s = 0.1f - 0.005f * static_cast<float>(30 - k);
    else if (k < 45)
        s = 0.1f - 0.005f * static_cast<float>(k - 30);
    else
        s = 0.1f - 0.005f * static_cast<float>(60 - k);
    if (Direction < 8) {
        TurnTo(Angle, kDirectionAngle[Direction]);
        DirectionVelocity(Direction, s, dx, dz);
    }
}

void CQuillabet::TurnTo(float& angle, float target)
{
    float d = angle - target;
    if (d < 0.0f)
        d += kTwoPi;
    if (d < 3.1415927f) {
        d -= 0.049087387f;
        if (d < 0.0f)
            d = 0.0f;
    } else {
        d += 0.049087387f;
        if (d > kTwoPi)
            d = 0.0f;
    }
    angle = target + d;
    if (angle >= kTwoPi)
        angle -= kTwoPi;
}

void CQuillabet::Move(float dx, float dz)
{
    Position.x += dx;
    Position.z += dz;
    D3DXMATRIX scaling, rotation, translation;
    D3DXMatrixScaling(&scaling, 20.0f, 20.0f, 20.0f);
    D3DXMatrixRotationY(&rotation, Angle);
    D3DXMatrixTranslation(&translation, Position.x, Position.y, Position.z);
    *Model->GetWorldMatrix() = scaling * rotation * translation;
}

bool CQuillabet::Draw()
{
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Model->Render();
    return true;
}
