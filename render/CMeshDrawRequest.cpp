#include "render/CMeshDrawRequest.h"

#include "app/CGameConfig.h"
#include "render/CDirectX9.h"
#include "render/CharacterNoUpdate.h"

CMeshDrawRequest::CMeshDrawRequest()
{
    D3DXMatrixIdentity(&World);
}

CMeshDrawRequest::~CMeshDrawRequest()
{
    Mesh.reset();
}

bool CMeshDrawRequest::Update()
{
    return CharacterNoUpdate();
}

void CMeshDrawRequest::Request(boost::shared_ptr<CD3DXObject> model, float alpha, CD3DSafeTexture* texture)
{
    Mesh = model;
    if (!Mesh) {
        // Nothing to draw: the request stays idle.
        IsRequested = false;
        return;
    }
    World = *Mesh->GetWorldMatrix();
    const D3DMATRIX& view = g_DirectX9.SafeGetTransform(D3DTS_VIEW);
    SortKey = World._41 * view._13 + World._42 * view._23 + World._43 * view._33 + view._43;
    Alpha = alpha;
    // A NaN alpha counts as opaque.
    IsTranslucent = alpha < 0.999f;
    Texture = texture;
    IsRequested = true;
}

bool CMeshDrawRequest::Draw()
{
    // The world stands still while paused: the paused picture keeps what was last drawn
    // instead of losing every building after its first frame.
    const bool again = DrewLastPass && CGameConfig::GetInstance().IsPaused;
    if (!IsRequested && !again) {
        DrewLastPass = false;
        return false;
    }
    g_DirectX9.SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    if (Alpha < 0.999f) g_DirectX9.SafeSetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    g_DirectX9.SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    Mesh->SetAlpha(Mesh->FrameRoot, Alpha);
    *Mesh->GetWorldMatrix() = World;
    Mesh->FrameMove();

    // The override is taken off again even when drawing fails.
    struct OverrideGuard {
        CD3DXObject& model;
        ~OverrideGuard() { model.OverrideTexture = nullptr; }
    } guard{*Mesh};
    if (Texture) Mesh->OverrideTexture = Texture;
    Mesh->Render();

    IsRequested = false;
    DrewLastPass = true;
    return true;
}
