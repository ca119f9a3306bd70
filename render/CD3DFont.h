// GDI fonts sized from the screen: a white and a black one, made again after every menu
// command. Nothing draws with them.
#pragma once

#include "platform/platform.h"

// The arguments of the GDI font creation call, in its order, with the face name and a colour.
struct FontDesc {
    INT Height;
    INT Width;
    INT Escapement;
    INT Orientation;
    INT Weight;
    INT Italic;
    INT Underline;
    INT StrikeOut;
    INT CharSet;
    INT OutputPrecision;
    INT ClipPrecision;
    INT Quality;
    INT PitchAndFamily;
    CHAR FaceName[256];
    DWORD Color;
};

class CD3DFont {
public:
    IDirect3DSurface9* Surface = nullptr;
    HDC DC = nullptr;
    HFONT Font = nullptr;
    HFONT OldFont = nullptr;
    DWORD Color = 0xFFFFFF;

    CD3DFont() = default;
    ~CD3DFont();
    CD3DFont(const CD3DFont&) = delete;
    CD3DFont& operator=(const CD3DFont&) = delete;

    // Replaces the font by one of the description. Throws the failure text.
    void CreateFont(FontDesc desc);
    void EndFont();
    void DeleteFont();
};

class CFontPair {
public:
    CD3DFont* White = nullptr;
    CD3DFont* Black = nullptr;
    int Width = 0;
    int Height = 0;

    ~CFontPair();

    // The description both fonts get for a screen size (a 640x480 screen: 24 high, 12 wide).
    static FontDesc Description(int width, int height);
    void Create(int width, int height);
    void Release();
};

extern CFontPair g_FontPair;
