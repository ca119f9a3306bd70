// Pre-transformed screen vertices given for a 640x480 screen, scaled to the back buffer.
#pragma once

#include "platform/platform.h"

// D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
struct Vertex2DTex {
    float x, y, z, rhw;
    DWORD diffuse;
    float u, v;
    static constexpr DWORD FVF = 0x144;
};

// D3DFVF_XYZRHW | D3DFVF_DIFFUSE
struct Vertex2D {
    float x, y, z, rhw;
    DWORD diffuse;
    static constexpr DWORD FVF = 0x44;
};

static_assert(sizeof(Vertex2DTex) == 28, "Vertex2DTex is 28 bytes");
static_assert(sizeof(Vertex2D) == 20, "Vertex2D is 20 bytes");

// Scale x, y and z of the vertices the primitives use by back-buffer width / 640 (in place:
// callers build their vertices anew for each draw) and draw them. The caller sets the vertex
// format; a failed draw is ignored.
void DrawPrimitiveUP2D(D3DPRIMITIVETYPE type, UINT count, Vertex2DTex* vertices, UINT stride);
void DrawPrimitiveUP2DDiffuse(D3DPRIMITIVETYPE type, UINT count, Vertex2D* vertices, UINT stride);

// How many vertices `count` primitives of a type use (0 for an unknown type).
UINT VertexCountOf(D3DPRIMITIVETYPE type, UINT count);
