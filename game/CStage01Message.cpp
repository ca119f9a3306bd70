#include "game/CStage01Message.h"

#include "game/CFade.h"
#include "render/CDirectX9.h"
#include "render/CharacterNoUpdate.h"
#include "render/Draw2D.h"

CStage01Message::CStage01Message(const char* path, float left, float top) : m_Left(left), m_Top(top)
{
    IsTranslucent = true;
    SortKey = CCharacter::SORTKEY_OVERLAY;
    SetLife(LIFE);
    try {
        CDirectX9::SafeCreateTexture(path, Picture);
    } catch (...) {
        // A failed load leaves its entry on the handle; the base destructor then takes the
        // half-built message off the registry.
        CDirectX9::SafeReleaseTexture(Picture);
        throw;
    }
}

CStage01Message::~CStage01Message()
{
    CDirectX9::SafeReleaseTexture(Picture);
}

bool CStage01Message::Update()
{
    return CharacterNoUpdate();
}

int CStage01Message::AlphaAt(DWORD age)
{
    if (age < 32)
        return static_cast<int>(age) * 8;
    if (age <= 208)
        return 255;
    if (age >= 240)
        return 0;
    return 8 * (240 - static_cast<int>(age));
}

bool CStage01Message::Draw()
{
    const DWORD colour = (static_cast<DWORD>(AlphaAt(Age)) << 24) | 0x00FFFFFFu;
    const float l = m_Left, t = m_Top, r = m_Left + 512.0f, b = m_Top + 128.0f;
    Vertex2DTex v[4] = {
        {l, t, 0.0f, 1.0f, colour, 0.0f, 0.0f},
        {r, t, 0.0f, 1.0f, colour, 1.0f, 0.0f},
        {r, b, 0.0f, 1.0f, colour, 1.0f, 1.0f},
        {l, b, 0.0f, 1.0f, colour, 0.0f, 1.0f},
    };
    g_pDevice->SetFVF(Vertex2DTex::FVF);
    CDirectX9::SafeSetTexture(0, Picture);
    SetOverlayStates();
    DrawPrimitiveUP2D(D3DPT_TRIANGLEFAN, 2, v, sizeof(Vertex2DTex));
    return true;
}

CStage01Message00::CStage01Message00() : CStage01Message(".\\data\\graphics\\Stage01Message00.tga", 64.0f, 112.0f) {}
CStage01Message01::CStage01Message01() : CStage01Message(".\\data\\graphics\\Stage01Message01.tga", 96.0f, 176.0f) {}
CStage01Message02::CStage01Message02() : CStage01Message(".\\data\\graphics\\Stage01Message02.tga", 32.0f, 240.0f) {}
