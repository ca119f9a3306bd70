#include "render/CD3DFont.h"

#include <cstring>
#include <initializer_list>

CFontPair g_FontPair;

CD3DFont::~CD3DFont()
{
    // A destructor must not throw; the handles are let go whatever the platform answers.
    try {
        EndFont();
    } catch (...) {
    }
}

void CD3DFont::CreateFont(FontDesc desc)
{
    if (Font) {
        if (DC && OldFont && !::SelectObject(DC, OldFont)) throw "Failed CD3DFont::CreateFont SelectObject[hFontOld";
        if (!DeleteObject(Font)) throw "Failed CD3DFont::DeleteFont DeleteObject[hFont]";
        Font = nullptr;
    }
    desc.FaceName[sizeof desc.FaceName - 1] = '\0';
    // Qualified: with the SDK's CreateFont macro this method itself is named CreateFontA.
    Font = ::CreateFontA(desc.Height, desc.Width, desc.Escapement, desc.Orientation, desc.Weight,
                       static_cast<DWORD>(desc.Italic), static_cast<DWORD>(desc.Underline),
                       static_cast<DWORD>(desc.StrikeOut), static_cast<DWORD>(desc.CharSet),
                       static_cast<DWORD>(desc.OutputPrecision), static_cast<DWORD>(desc.ClipPrecision),
                       static_cast<DWORD>(desc.Quality), static_cast<DWORD>(desc.PitchAndFamily), desc.FaceName);
    if (!Font) throw "Failed CD3DFont::CreateFont CreateFont";
    Color = desc.Color;
}

void CD3DFont::EndFont()
{
    if (DC) {
        if (OldFont && !SelectObject(DC, OldFont)) throw "Failed CD3DFont::EndFont SelectObject[hFontOld]";
        if (!Surface) return;
        if (FAILED(Surface->ReleaseDC(DC))) throw "Failed CD3DFont::EndFont ReleaseDC";
        DC = nullptr;
    }
    if (Surface) {
        Surface->Release();
        Surface = nullptr;
    }
}

void CD3DFont::DeleteFont()
{
    if (!Font) return;
    if (!DeleteObject(Font)) throw "Failed CD3DFont::DeleteFont DeleteObject[hFont]";
    Font = nullptr;
}

CFontPair::~CFontPair()
{
    try {
        Release();
    } catch (...) {
    }
}

FontDesc CFontPair::Description(int width, int height)
{
    FontDesc desc;
    std::memset(&desc, 0, sizeof desc);
    desc.Height = -2 * (height / 40);
    desc.Width = width / 53;
    desc.CharSet = SHIFTJIS_CHARSET;
    std::strcpy(desc.FaceName, "ＭＳ ゴシック");
    return desc;
}

void CFontPair::Create(int width, int height)
{
    Width = width;
    Height = height;
    FontDesc desc = Description(width, height);
    desc.Color = 0xFFFFFF;
    White = new CD3DFont();
    White->CreateFont(desc);
    desc.Color = 0;
    Black = new CD3DFont();
    Black->CreateFont(desc);
}

void CFontPair::Release()
{
    for (CD3DFont** font : {&White, &Black}) {
        if (!*font) continue;
        CD3DFont* f = *font;
        *font = nullptr;
        try {
            f->DeleteFont();
        } catch (...) {
            delete f;
            throw;
        }
        delete f;
    }
}
