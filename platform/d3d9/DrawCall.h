// One draw call as the device validated it, where its vertices are, and the drawing of it
// through OpenGL's vertex arrays with the state OpenGL holds. Inside platform/d3d9 only.
#pragma once

#include <cmath>
#include <vector>

#include "platform/d3d9/DeviceState.h"
#include "platform/d3d9/GlStateCache.h"

namespace qv::d3d9 {

struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    UINT count = 0;  // vertices, or indices, read
    UINT first = 0;  // the first vertex of a draw without indices
    UINT lowest = 0; // the lowest vertex read, and one past the highest
    UINT end = 0;
    const uint8_t* userVertices = nullptr; // stream 0 in the caller's memory
    UINT userStride = 0;
    const uint8_t* indices = nullptr;     // in memory: the caller's, or the index buffer's copy
    bool wideIndices = false;
    IndexBuffer* indexBuffer = nullptr;   // where the indices are when not the caller's
    UINT indexOffset = 0;                 // in bytes into the index buffer
    INT baseVertex = 0;
};

// Where each stream's vertex 0 is: in memory, and in a vertex buffer when not the caller's.
struct StreamSources {
    const uint8_t* bases[kStreams] = {};
    UINT strides[kStreams] = {};
    VertexBuffer* buffers[kStreams] = {};
    UINT offsets[kStreams] = {};
    const uint8_t* Of(const AttributeSource& a) const
    {
        return a.present && bases[a.stream] ? bases[a.stream] + a.offset : nullptr;
    }
    // Vertex i's attribute `a`.
    const uint8_t* At(const AttributeSource& a, UINT i) const
    {
        return bases[a.stream] + a.offset + static_cast<size_t>(i) * strides[a.stream];
    }
};

// What a draw's arrays depend on besides its vertices, fixed when its state went to OpenGL.
struct DrawSettings {
    bool lighting = false;   // lit by the fixed-function stage
    bool programmed = false; // an effect's vertex program runs
    bool texturing = false;  // the first stage reads a texture
    DWORD texCoordSet = 0;   // the coordinate set it reads
};

// A pre-transformed position (x, y, z, 1/w) as OpenGL gets it, (x, y, z, 1) x w, so that colours
// and texture coordinates are interpolated with perspective as Direct3D does.
inline void FromReciprocalW(float v[4])
{
    const float w = (v[3] != 0.0f && std::isfinite(v[3])) ? 1.0f / v[3] : 1.0f;
    v[0] *= w;
    v[1] *= w;
    v[2] *= w;
    v[3] = w;
}

// The vertex numbers of a triangle draw's triangles, three each: a strip's odd triangles keep
// its turned-round winding, and every triangle its first corner (OpenGL's provoking vertex)
// first. Nothing for points and lines.
void Triangles(const DrawCall& call, std::vector<uint32_t>& corners);

// Draws calls through OpenGL's vertex arrays, from the vertex and index buffers' OpenGL copies
// or from memory (DeviceDraw.cpp).
class ArrayDrawer {
public:
    void Draw(GlStateCache& gl, const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
              const DrawSettings& settings);

private:
    // Points OpenGL's array at an attribute: in its vertex buffer's OpenGL copy, or in memory.
    void Pointer(GlStateCache& gl, GLenum array, const AttributeSource& a, const StreamSources& sources);

    std::vector<float> m_transformed;
    std::vector<uint8_t> m_colors;
};

} // namespace qv::d3d9
