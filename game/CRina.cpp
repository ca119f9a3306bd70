#include "game/CRina.h"

#include <algorithm>
#include <cmath>

#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "game/CQuillabet.h"
#include "game/CStage01.h"
#include "game/Vertex3D.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"
#include "render/Draw2D.h"
#include "sound/Sound.h"

DWORD g_nRinaStandFrames = 0;
bool g_bRinaFast = false;
DWORD g_nRinaDirHistory[10] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};

namespace {

const float kPi = 3.14159265358979f;
const float kTwoPi = 6.2831855f;
const float kDirectionAngle[8] = {0.0f, 0.7853982f, 1.5707964f, 2.3561945f, 3.1415927f, 3.926991f, 4.712389f, 5.4977875f};

// The blob quad; only its positions change from draw to draw.
Vertex3DTex g_RinaBlob[4] = {{0.0f, 0.0f, 0.0f, 0x80FFFFFF, 0.0f, 0.0f},
                            {0.0f, 0.0f, 0.0f, 0x80FFFFFF, 1.0f, 0.0f},
                            {0.0f, 0.0f, 0.0f, 0x80FFFFFF, 0.0f, 1.0f},
                            {0.0f, 0.0f, 0.0f, 0x80FFFFFF, 1.0f, 1.0f}};

void ReleaseModel(CD3DXObject*& model)
{
    if (model) {
        model->Release();
        delete model;
        model = nullptr;
    }
}

} // namespace

bool HasStencilDepthBuffer()
{
    return CDirectX9::PresentParameters.AutoDepthStencilFormat == D3DFMT_D24S8;
}

CRina::CRina()
    : Position(0.0f, 0.0f, 0.0f), Facing(0.0f), Model(nullptr), ShadowModel(nullptr), AnimState(ANIM_IDLE),
      CameraHeading(kPi / 2.0f)
{
    IsTranslucent = true;
    try {
        Model = new CD3DXObject();
        Model->Load(".\\data\\xfile\\Rina.x");
        Model->CreateBoneOBB(2);
        if (HasStencilDepthBuffer()) {
            ShadowModel = new CD3DXObject();
            ShadowModel->Load(".\\data\\xfile\\RinaShadow.x");
            ShadowModel->GenerateShadowVolume();
        }
        Model->ChangeAnimation(0, 0.0f);
        if (ShadowModel)
            ShadowModel->ChangeAnimation(0, 0.0f);
        CDirectX9::SafeCreateTexture(".\\data\\graphics\\OpeningShadow.tga", ShadowTexture);
    } catch (...) {
        ReleaseAll();
        AbandonCharacter(this);
        throw;
    }
}

CRina::~CRina()
{
    ReleaseAll();
}

void CRina::ReleaseAll()
{
    CDirectX9::SafeReleaseTexture(ShadowTexture);
    ReleaseModel(Model);
    ReleaseModel(ShadowModel);
}

void CRina::ChangeAnimation(DWORD state, UINT track, float fade)
{
    AnimState = state;
    Model->ChangeAnimation(track, fade);
    if (ShadowModel)
        ShadowModel->ChangeAnimation(track, fade);
}

bool CRina::Update()
{
    Model->SetTime(Model->GetTime() + 1.0);
    Model->FrameMove();
    if (ShadowModel) {
        ShadowModel->SetTime(ShadowModel->GetTime() + 1.0);
        ShadowModel->FrameMove();
    }

    if (AnimState == ANIM_STAND)
        ++g_nRinaStandFrames;
    else
        g_nRinaStandFrames = 0;

    // A direction pressed again after a release of 1 to 8 frames asks for a run.
    const DWORD d = static_cast<DWORD>(g_Input.GetDirection());
    const bool runRequested =
        d != 9 && g_nRinaDirHistory[8] == 9 && std::find(g_nRinaDirHistory, g_nRinaDirHistory + 8, d) != g_nRinaDirHistory + 8;
    g_nRinaDirHistory[9] = d;
    for (int k = 0; k < 9; ++k)
        g_nRinaDirHistory[k] = g_nRinaDirHistory[k + 1];

    if (g_Input.IsDirection(8)) {
        if (AnimState != ANIM_WALK && AnimState != ANIM_RUN)
            ChangeAnimation(ANIM_WALK, 2, 10.0f);
        if (AnimState != ANIM_RUN && runRequested)
            ChangeAnimation(ANIM_RUN, 3, 10.0f);
    } else {
        if (AnimState == ANIM_RUN)
            ChangeAnimation(ANIM_STAND, 1, 20.0f);
        if (AnimState == ANIM_STAND && g_nRinaStandFrames == 120)
            ChangeAnimation(ANIM_IDLE, 0, 30.0f);
        if (AnimState == ANIM_WALK)
            ChangeAnimation(ANIM_IDLE, 0, 10.0f);
    }

    if (CGameConfig::GetInstance().IsSoundOn) {
        const long long t = static_cast<long long>(Model->GetTime());
        if ((AnimState == ANIM_WALK && (t % 60 == 12 || t % 60 == 42)) ||
            (AnimState == ANIM_RUN && (t % 48 == 15 || t % 48 == 39)))
            SoundPlay(".\\data\\sound\\walk.wav", 0, 1.0f);
    }
    return true;
}

void CRina::GetInputVelocity(float* dx, float* dz)
{
    float speed = AnimState == ANIM_RUN ? 0.05f : 0.02f;
    if (g_Input.IsTriggered(INPUT_F7))
        g_bRinaFast = !g_bRinaFast;
    if (g_bRinaFast)
        speed *= 20.0f;
    const float base = -(CameraHeading - kPi / 2.0f);
    for (DWORD direction = 0; direction < 8; ++direction)
        if (g_Input.IsDirection(direction)) {
            TurnTo(base + kDirectionAngle[direction]);
            DirectionVelocity(direction, speed, dx, dz);
            return;
        }
}

void CRina::GetVelocity(float* dx, float* dz)
{
    *dx = 0.0f;
    *dz = 0.0f;
    GetInputVelocity(dx, dz);
    // Her controls are relative to the camera's heading.
    const float angle = std::atan2(*dz, *dx) + CameraHeading - kPi / 2.0f;
    const float length = std::sqrt(*dx * *dx + *dz * *dz);
    *dx = std::cos(angle) * length;
    *dz = std::sin(angle) * length;
}

void CRina::TurnTo(float target)
{
    const float step = 0.19634954f; // pi / 16
    float diff = Facing - target;
    if (diff < 0.0f)
        diff += kTwoPi;
    if (diff < 3.1415927f) {
        diff -= step;
        if (diff < 0.0f)
            diff = 0.0f;
    } else {
        diff += step;
        if (diff > kTwoPi)
            diff = 0.0f;
    }
    Facing = target + diff;
    if (Facing >= kTwoPi)
        Facing -= kTwoPi;
}

void CRina::Move(float dx, float dz)
{
    Position.x += dx;
    Position.z += dz;
    D3DXMATRIX rotation, translation;
    D3DXMatrixRotationY(&rotation, Facing);
    D3DXMatrixTranslation(&translation, Position.x, Position.y, Position.z);
    const D3DXMATRIX world = rotation * translation;
    *Model->GetWorldMatrix() = world;
    if (ShadowModel)
        *ShadowModel->GetWorldMatrix() = world;
}

bool CRina::Draw()
{
    const bool stencil = HasStencilDepthBuffer() && ShadowModel;
    const float x = Position.x, y = Position.y, z = Position.z;
    if (!stencil) {
        CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        CDirectX9::SafeSetTransform(D3DTS_WORLD, identity);
        g_pDevice->SetFVF(Vertex3DTex::FVF);
        CDirectX9::SafeSetTexture(0, ShadowTexture);
        const float corners[4][2] = {{x - 0.5f, z - 0.5f}, {x - 0.5f, z + 0.5f}, {x + 0.5f, z - 0.5f}, {x + 0.5f, z + 0.5f}};
        for (int i = 0; i < 4; ++i) {
            g_RinaBlob[i].x = corners[i][0];
            g_RinaBlob[i].y = 0.05f;
            g_RinaBlob[i].z = corners[i][1];
        }
        g_pDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, g_RinaBlob, sizeof(Vertex3DTex));
        CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    }

    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Model->Render();

    if (stencil) {
        ShadowModel->RenderShadowVolume(x - 300.0f, y + 300.0f, z - 300.0f);
        // Darken every pixel that the volume left inside the shadow.
        Vertex2D quad[4] = {{0.0f, 0.0f, 0.0f, 1.0f, 0x5C000000},
                            {640.0f, 0.0f, 0.0f, 1.0f, 0x5C000000},
                            {640.0f, 480.0f, 0.0f, 1.0f, 0x5C000000},
                            {0.0f, 480.0f, 0.0f, 1.0f, 0x5C000000}};
        g_pDevice->SetFVF(Vertex2D::FVF);
        CD3DSafeTexture none;
        CDirectX9::SafeSetTexture(0, none);
        CDirectX9::SafeSetRenderState(D3DRS_ZENABLE, FALSE);
        CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILENABLE, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILREF, 1);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILFUNC, D3DCMP_LESSEQUAL);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        DrawPrimitiveUP2DDiffuse(D3DPT_TRIANGLEFAN, 2, quad, sizeof(Vertex2D));
        CDirectX9::SafeSetRenderState(D3DRS_ZENABLE, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_STENCILENABLE, FALSE);
    }
    return true;
}
