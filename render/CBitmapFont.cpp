#include "render/CBitmapFont.h"

#include "render/CDirectX9.h"
#include "render/Draw2D.h"

CBitmapFont g_BitmapFont;

CBitmapFont::~CBitmapFont()
{
    // At exit the texture is let go once more; harmless when Release already ran.
    Texture.Release();
}

bool CBitmapFont::Create()
{
    g_DirectX9.SafeCreateTexture(".\\data\\graphics\\font.tga", Texture);
    if (Texture.Entry && Texture.Entry->Texture) Texture.Entry->Texture->GetLevelDesc(0, &Desc);
    return true;
}

bool CBitmapFont::Release()
{
    g_DirectX9.SafeReleaseTexture(Texture);
    return true;
}

bool CBitmapFont::DrawChar(float x, float y, float w, float h, DWORD color, char c)
{
    // Characters below '0' give a negative row or column: their coordinates fall outside the
    // texture and are resolved by its address mode.
    const int g = static_cast<signed char>(c) - 48;
    const int column = g % 8, row = g / 8;
    const float width = static_cast<float>(Desc.Width), height = static_cast<float>(Desc.Height);
    const float left = static_cast<float>(column * 32) / width + 0.008f;
    const float right = left + 32.0f / width - 0.004f;
    const float top = static_cast<float>(row * 32) / height + 0.008f;
    const float bottom = top + 32.0f / height - 0.004f;

    Vertex2DTex v[4] = {
        {x, y, 0.0f, 1.0f, color, left, top},
        {x + w, y, 0.0f, 1.0f, color, right, top},
        {x + w, y + h, 0.0f, 1.0f, color, right, bottom},
        {x, y + h, 0.0f, 1.0f, color, left, bottom},
    };
    g_DirectX9.SafeSetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    g_DirectX9.SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    g_DirectX9.SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    g_DirectX9.SafeSetTexture(0, Texture);
    g_pDevice->SetFVF(Vertex2DTex::FVF);
    DrawPrimitiveUP2D(D3DPT_TRIANGLEFAN, 2, v, sizeof(Vertex2DTex));
    return true;
}

bool CBitmapFont::DrawString(float x, float y, float w, float h, float advance, DWORD color, const char* text)
{
    for (const char* p = text; *p; ++p) {
        DrawChar(x, y, w, h, color, *p);
        x += advance;
    }
    return true;
}
