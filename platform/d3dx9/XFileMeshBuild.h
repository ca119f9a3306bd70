// A .x mesh turned into what a D3DX mesh holds: triangles (polygons as fans), vertices split
// where a corner's normal differs, faces sorted by material with their attribute table, and
// adjacency by shared positions. Plain data, so that it can be checked without a device.
// Internal to the platform layer.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3dx9/XFileScene.h"

namespace xfile {

struct XAttributeRange {
    uint32_t attribId, faceStart, faceCount, vertexStart, vertexCount;
};

struct XMeshArrays {
    uint32_t fvf = 0;                   // D3DFVF_XYZ, plus NORMAL, DIFFUSE and TEX1 when present
    uint32_t stride = 0;                // bytes per vertex
    std::vector<uint8_t> vertices;      // stride bytes per vertex
    std::vector<uint32_t> origin;       // per vertex, the file's vertex it was made from
    std::vector<uint32_t> indices;      // three per triangle
    std::vector<uint32_t> attributes;   // per triangle, sorted ascending
    std::vector<uint32_t> adjacency;    // three per triangle: the face across each edge, or ~0
    std::vector<XAttributeRange> table; // one range per material used

    uint32_t NumVertices() const { return static_cast<uint32_t>(origin.size()); }
    uint32_t NumFaces() const { return static_cast<uint32_t>(attributes.size()); }
};

void BuildMeshArrays(const XMesh& mesh, XMeshArrays& out);

// The vertices made from each file vertex, for skin weights: out[v] lists v and its copies.
std::vector<std::vector<uint32_t>> CopiesOfVertices(const XMeshArrays& arrays, uint32_t fileVertices);

} // namespace xfile
