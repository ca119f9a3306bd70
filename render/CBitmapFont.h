// The bitmap font: a texture of 32x32 glyph cells, eight to a row from '0', drawn as
// textured screen quads ("PAUSE" and the FPS line).
#pragma once

#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"

class CBitmapFont {
public:
    CD3DSafeTexture Texture;
    D3DSURFACE_DESC Desc = {};

    ~CBitmapFont();

    // Loads ".\data\graphics\font.tga"; a load failure is thrown by the texture cache.
    bool Create();
    bool Release();
    // x, y, w and h in 640x480 screen units.
    bool DrawChar(float x, float y, float w, float h, DWORD color, char c);
    bool DrawString(float x, float y, float w, float h, float advance, DWORD color, const char* text);
};

extern CBitmapFont g_BitmapFont;
