#include "game/CFade.h"

#include "render/CDirectX9.h"
#include "render/CharacterNoUpdate.h"
#include "render/Draw2D.h"

void SetOverlayStates()
{
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
}

CFade::CFade(LONG frames, DWORD rgb, bool rising) : Frames(frames), m_Rgb(rgb), m_Rising(rising)
{
    // Overlays: drawn last, after every 3D character.
    SortKey = CCharacter::SORTKEY_OVERLAY;
    IsTranslucent = true;
    SetLife(frames);
}

bool CFade::Update()
{
    return CharacterNoUpdate();
}

int CFade::Alpha() const
{
    // A fade of no length is already complete.
    const float t = Frames > 0 ? static_cast<float>(Age) / static_cast<float>(Frames) : 1.0f;
    const int alpha = m_Rising ? static_cast<int>(255.0f * t) : static_cast<int>(255.0f - 255.0f * t);
    return alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha);
}

bool CFade::Draw()
{
    const DWORD colour = (static_cast<DWORD>(Alpha()) << 24) | m_Rgb;
    Vertex2D v[4] = {
        {0.0f, 0.0f, 0.0f, 1.0f, colour},
        {640.0f, 0.0f, 0.0f, 1.0f, colour},
        {640.0f, 480.0f, 0.0f, 1.0f, colour},
        {0.0f, 480.0f, 0.0f, 1.0f, colour},
    };
    g_pDevice->SetFVF(Vertex2D::FVF);
    CD3DSafeTexture none;
    CDirectX9::SafeSetTexture(0, none);
    SetOverlayStates();
    DrawPrimitiveUP2DDiffuse(D3DPT_TRIANGLEFAN, 2, v, sizeof(Vertex2D));
    return true;
}
