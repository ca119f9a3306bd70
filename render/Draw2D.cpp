#include "render/Draw2D.h"

#include "render/CDirectX9.h"

UINT VertexCountOf(D3DPRIMITIVETYPE type, UINT count)
{
    switch (type) {
    case D3DPT_POINTLIST: return count;
    case D3DPT_LINELIST: return 2 * count;
    case D3DPT_LINESTRIP: return count + 1;
    case D3DPT_TRIANGLELIST: return 3 * count;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return count + 2;
    default: return 0;
    }
}

namespace {

template <typename Vertex>
void Draw(D3DPRIMITIVETYPE type, UINT count, Vertex* vertices, UINT stride)
{
    // y is scaled by the width's factor too: for the 4:3 modes it is the same.
    const float factor = static_cast<float>(g_DirectX9.GetWidth()) * 0.0015625f;
    const UINT n = VertexCountOf(type, count);
    for (UINT i = 0; i < n; ++i) {
        vertices[i].x *= factor;
        vertices[i].y *= factor;
        vertices[i].z *= factor;
    }
    g_pDevice->DrawPrimitiveUP(type, count, vertices, stride);
}

} // namespace

void DrawPrimitiveUP2D(D3DPRIMITIVETYPE type, UINT count, Vertex2DTex* vertices, UINT stride)
{
    Draw(type, count, vertices, stride);
}

void DrawPrimitiveUP2DDiffuse(D3DPRIMITIVETYPE type, UINT count, Vertex2D* vertices, UINT stride)
{
    Draw(type, count, vertices, stride);
}
