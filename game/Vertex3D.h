// World-space vertex formats drawn with the device's DrawPrimitiveUP by the scenes and actors.
#pragma once

#include "platform/platform.h"

// D3DFVF_XYZ | D3DFVF_DIFFUSE: coloured lines and shapes.
struct Vertex3D {
    float x, y, z;
    DWORD diffuse;
    static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE;
};

// D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE: coloured and lit.
struct Vertex3DNormal {
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse;
    static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
};

// D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1: textured quads (puffs, shadows, the logo).
struct Vertex3DTex {
    float x, y, z;
    DWORD diffuse;
    float u, v;
    static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
};

static_assert(sizeof(Vertex3D) == 16, "Vertex3D is 16 bytes");
static_assert(sizeof(Vertex3DNormal) == 28, "Vertex3DNormal is 28 bytes");
static_assert(sizeof(Vertex3DTex) == 24, "Vertex3DTex is 24 bytes");
static_assert(Vertex3D::FVF == 0x42 && Vertex3DNormal::FVF == 0x52 && Vertex3DTex::FVF == 0x142,
              "vertex formats");
