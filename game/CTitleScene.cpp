#include "game/CTitleScene.h"

#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "game/CFade.h"
#include "game/SceneSteps.h"
#include "game/Vertex3D.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"
#include "render/Draw2D.h"

unsigned int g_nTitleStep = 0;
int g_nTitleFrame = 0;
int g_nTitleEndFrame = 0;

namespace {

const float kPi = 3.14159265358979323846f;

void SetClear(DWORD flags, D3DCOLOR colour)
{
    const CDirectX9::ClearRecord clear = {0, nullptr, flags, colour, 1.0f, 0};
    CDirectX9::SetClearParam(clear);
}

} // namespace

bool TitleSceneStep()
{
    // The frame counter stays 0 until the scene's first update: a pause then makes no second one.
    if (g_nTitleFrame == 0 && g_nTitleStep != TITLE_RUNNING && g_nTitleStep != TITLE_STARTED)
        new CTitleScene();
    if (g_nTitleStep != TITLE_DESTROYED)
        return true;
    g_nTitleFrame = 0;
    g_nTitleEndFrame = 0;
    return false;
}

CTitleScene::CTitleScene() : Model(nullptr), Music(-1)
{
    try {
        CDirectX9::SafeSetRenderState(D3DRS_AMBIENT, 0x66666699);
        CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

        Model = new CD3DXObject();
        Model->Load(".\\data\\xfile\\TitleChar.x");
        CDirectX9::SafeCreateTexture(".\\data\\graphics\\title.tga", Picture);

        g_DirectX9.SetProjection(kPi / 4, 0.1f, 100.0f);
        D3DXMATRIX view;
        const D3DXVECTOR3 eye(0, 0.5f, -2.5f), at(0, 0.5f, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        CDirectX9::SafeSetTransform(D3DTS_VIEW, view);

        Music = StreamLoadAndPlay(".\\data\\sound\\title.ogg", static_cast<DWORD>(-1), 1.0f);
        new CFadeFromWhite(64);
    } catch (...) {
        // What was made is given back; the base destructor then takes the half-built scene
        // off the registry, and the step tries again next frame.
        CDirectX9::SafeReleaseTexture(Picture);
        if (Model) {
            Model->Release();
            delete Model;
            Model = nullptr;
        }
        if (Music != -1) StreamStop(Music);
        throw;
    }
    g_nTitleStep = TITLE_RUNNING;
}

CTitleScene::~CTitleScene()
{
    StreamStop(Music);
    CDirectX9::SafeReleaseTexture(Picture);
    if (Model) {
        Model->Release();
        delete Model;
        Model = nullptr;
    }
    SetClear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000);
    g_nTitleStep = TITLE_DESTROYED;
}

bool CTitleScene::Update()
{
    if (g_nTitleStep == TITLE_STARTED)
        ++g_nTitleEndFrame;
    ++g_nTitleFrame;

    if (g_nTitleStep != TITLE_STARTED && g_Input.IsPressed(INPUT_Z) && g_nTitleFrame >= START_FRAME) {
        if (CGameConfig::GetInstance().IsSoundOn)
            SoundPlay(".\\data\\sound\\start.wav", 0, 1.0f);
        new CFadeToBlack(86);
        g_nTitleStep = TITLE_STARTED;
    }
    // Dies with its fade to black.
    if (g_nTitleEndFrame >= END_FRAMES)
        Kill();

    // The model keeps its first pose; only its turning moves.
    Model->FrameMove();
    return true;
}

bool CTitleScene::Draw()
{
    // The picture covers the whole target, so only depth is cleared from here on.
    SetClear(D3DCLEAR_ZBUFFER, 0xFFFF0000);

    // Floor grid.
    g_pDevice->SetFVF(Vertex3D::FVF);
    CD3DSafeTexture none;
    CDirectX9::SafeSetTexture(0, none);
    for (int i = -10; i <= 10; ++i) {
        const float f = static_cast<float>(i);
        const Vertex3D across[2] = {{-10, 0, f, 0xFF000000}, {10, 0, f, 0xFF000000}};
        const Vertex3D along[2] = {{f, 0, -10, 0xFF000000}, {f, 0, 10, 0xFF000000}};
        g_pDevice->DrawPrimitiveUP(D3DPT_LINELIST, 1, across, sizeof(Vertex3D));
        g_pDevice->DrawPrimitiveUP(D3DPT_LINELIST, 1, along, sizeof(Vertex3D));
    }

    // About 1005 frames a turn.
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, static_cast<float>(Age) * 0.00625f);
    *Model->GetWorldMatrix() = turn;
    Model->Render();

    const DWORD veil = 0x1EFF0000;
    Vertex2D veilQuad[4] = {
        {0, 0, 0, 1, veil}, {640, 0, 0, 1, veil}, {0, 480, 0, 1, veil}, {640, 480, 0, 1, veil}};
    g_pDevice->SetFVF(Vertex2D::FVF);
    CDirectX9::SafeSetTexture(0, none);
    DrawPrimitiveUP2DDiffuse(D3DPT_TRIANGLESTRIP, 2, veilQuad, sizeof(Vertex2D));

    const DWORD white = 0xFFFFFFFF;
    Vertex2DTex picture[4] = {{0, 0, 0, 1, white, 0, 0},
                              {640, 0, 0, 1, white, 1, 0},
                              {0, 480, 0, 1, white, 0, 1},
                              {640, 480, 0, 1, white, 1, 1}};
    g_pDevice->SetFVF(Vertex2DTex::FVF);
    CDirectX9::SafeSetTexture(0, Picture);
    DrawPrimitiveUP2D(D3DPT_TRIANGLESTRIP, 2, picture, sizeof(Vertex2DTex));
    return true;
}
