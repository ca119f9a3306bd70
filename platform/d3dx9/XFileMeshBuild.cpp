#include "platform/d3dx9/XFileMeshBuild.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace xfile {

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
// Vertex format bits, as Direct3D numbers them.
constexpr uint32_t kFvfXyz = 0x002, kFvfNormal = 0x010, kFvfDiffuse = 0x040, kFvfTex1 = 0x100;

struct EdgeEntry {
    uint64_t key;
    uint32_t face;
    uint32_t edge;
    bool operator<(const EdgeEntry& o) const { return key != o.key ? key < o.key : face < o.face; }
};

struct CornerKey {
    uint32_t vertex;
    uint32_t bits[3];
    bool operator==(const CornerKey& o) const { return vertex == o.vertex && std::memcmp(bits, o.bits, sizeof bits) == 0; }
};
struct CornerHash {
    size_t operator()(const CornerKey& k) const
    {
        return static_cast<size_t>((uint64_t(k.vertex) * 0xD6E8FEB86659FD93ull) ^ (uint64_t(k.bits[0]) * 0x9E3779B97F4A7C15ull) ^
                                   (uint64_t(k.bits[1]) * 0xC2B2AE3D27D4EB4Full) ^ (uint64_t(k.bits[2]) * 0x165667B19E3779F9ull));
    }
};

// Positions are welded when their bits are equal.
struct PositionKey {
    uint32_t bits[3];
    bool operator==(const PositionKey& o) const { return std::memcmp(bits, o.bits, sizeof bits) == 0; }
};
struct PositionHash {
    size_t operator()(const PositionKey& k) const
    {
        return static_cast<size_t>((uint64_t(k.bits[0]) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(k.bits[1]) * 0xC2B2AE3D27D4EB4Full) ^
                                   (uint64_t(k.bits[2]) * 0x165667B19E3779F9ull));
    }
};

} // namespace

void BuildMeshArrays(const XMesh& mesh, XMeshArrays& out)
{
    out = XMeshArrays();
    const uint32_t fileVertices = mesh.NumVertices();
    const bool hasNormals = !mesh.normalIndices.empty();
    const bool hasColors = !mesh.colors.empty();
    const bool hasTex = !mesh.texcoords.empty();

    // Corners to vertices: a file vertex keeps its index for the first normal it meets; each
    // other normal it meets makes a copy at the end.
    const size_t corners = mesh.faceIndices.size();
    std::vector<uint32_t> cornerVertex(corners);
    std::vector<uint32_t> normalOf;  // per vertex, index into mesh.normals / 3
    out.origin.resize(fileVertices);
    for (uint32_t v = 0; v < fileVertices; ++v)
        out.origin[v] = v;
    if (hasNormals) {
        normalOf.assign(fileVertices, kNone);
        // (file vertex, normal bits) -> vertex, so that a vertex met with many normals costs
        // no more than one met with few.
        std::unordered_map<CornerKey, uint32_t, CornerHash> made;
        made.reserve(fileVertices);
        for (size_t c = 0; c < corners; ++c) {
            const uint32_t v = mesh.faceIndices[c];
            const uint32_t n = mesh.normalIndices[c];
            CornerKey key;
            key.vertex = v;
            std::memcpy(key.bits, &mesh.normals[3 * size_t(n)], sizeof key.bits);
            auto found = made.find(key);
            if (found != made.end()) {
                cornerVertex[c] = found->second;
                continue;
            }
            uint32_t at = v;
            if (normalOf[v] != kNone) {
                at = static_cast<uint32_t>(out.origin.size());
                out.origin.push_back(v);
                normalOf.push_back(n);
            } else {
                normalOf[v] = n;
            }
            made.emplace(key, at);
            cornerVertex[c] = at;
        }
    } else {
        std::copy(mesh.faceIndices.begin(), mesh.faceIndices.end(), cornerVertex.begin());
    }

    // Polygons as fans, then a stable sort by material.
    size_t triangles = 0;
    for (uint32_t n : mesh.faceSizes)
        triangles += n - 2;
    std::vector<uint32_t> tri(triangles * 3), triAttr(triangles);
    {
        size_t t = 0, c = 0;
        for (size_t f = 0; f < mesh.faceSizes.size(); ++f) {
            const uint32_t n = mesh.faceSizes[f];
            const uint32_t attr = mesh.faceMaterials.empty() ? 0 : mesh.faceMaterials[f];
            for (uint32_t k = 1; k + 1 < n; ++k, ++t) {
                tri[3 * t] = cornerVertex[c];
                tri[3 * t + 1] = cornerVertex[c + k];
                tri[3 * t + 2] = cornerVertex[c + k + 1];
                triAttr[t] = attr;
            }
            c += n;
        }
    }
    const uint32_t attrCount = mesh.materials.empty() ? 1 : static_cast<uint32_t>(mesh.materials.size());
    std::vector<uint32_t> start(attrCount + 1, 0);
    for (uint32_t a : triAttr)
        ++start[a + 1];
    for (uint32_t a = 0; a < attrCount; ++a)
        start[a + 1] += start[a];
    out.indices.resize(triangles * 3);
    out.attributes.resize(triangles);
    {
        std::vector<uint32_t> next(start.begin(), start.end() - 1);
        for (size_t t = 0; t < triangles; ++t) {
            const uint32_t slot = next[triAttr[t]]++;
            out.attributes[slot] = triAttr[t];
            std::memcpy(&out.indices[3 * slot], &tri[3 * t], 3 * sizeof(uint32_t));
        }
    }
    for (uint32_t a = 0; a < attrCount; ++a) {
        if (start[a + 1] == start[a])
            continue;
        uint32_t lo = kNone, hi = 0;
        for (size_t i = 3 * size_t(start[a]); i < 3 * size_t(start[a + 1]); ++i) {
            lo = std::min(lo, out.indices[i]);
            hi = std::max(hi, out.indices[i]);
        }
        out.table.push_back(XAttributeRange{a, start[a], start[a + 1] - start[a], lo, hi - lo + 1});
    }

    // Adjacency: faces meet across an edge whose two end positions they share.
    std::vector<uint32_t> rep(fileVertices);
    {
        std::unordered_map<PositionKey, uint32_t, PositionHash> firstAt;
        firstAt.reserve(fileVertices);
        for (uint32_t v = 0; v < fileVertices; ++v) {
            PositionKey key;
            std::memcpy(key.bits, &mesh.positions[3 * size_t(v)], sizeof key.bits);
            rep[v] = firstAt.emplace(key, v).first->second;
        }
    }
    std::vector<EdgeEntry> edges;
    edges.reserve(triangles * 3);
    for (uint32_t t = 0; t < triangles; ++t)
        for (uint32_t e = 0; e < 3; ++e) {
            const uint32_t a = rep[out.origin[out.indices[3 * t + e]]];
            const uint32_t b = rep[out.origin[out.indices[3 * t + (e + 1) % 3]]];
            if (a == b)
                continue;
            const uint64_t key = (uint64_t(std::min(a, b)) << 32) | std::max(a, b);
            edges.push_back(EdgeEntry{key, t, e});
        }
    std::sort(edges.begin(), edges.end());
    out.adjacency.assign(triangles * 3, kNone);
    for (size_t i = 0; i < edges.size();) {
        // Entries of one edge are sorted by face: each takes the first face other than its own.
        size_t j = i + 1, other = edges.size();
        while (j < edges.size() && edges[j].key == edges[i].key) {
            if (other == edges.size() && edges[j].face != edges[i].face)
                other = j;
            ++j;
        }
        for (size_t k = i; k < j; ++k) {
            const size_t m = edges[k].face != edges[i].face ? i : other;
            if (m < j)
                out.adjacency[3 * size_t(edges[k].face) + edges[k].edge] = edges[m].face;
        }
        i = j;
    }

    // Vertex data: position, normal, colour, texture coordinates.
    out.fvf = kFvfXyz | (hasNormals ? kFvfNormal : 0) | (hasColors ? kFvfDiffuse : 0) | (hasTex ? kFvfTex1 : 0);
    out.stride = 12 + (hasNormals ? 12 : 0) + (hasColors ? 4 : 0) + (hasTex ? 8 : 0);
    const uint32_t count = out.NumVertices();
    out.vertices.assign(size_t(count) * out.stride, 0);
    for (uint32_t v = 0; v < count; ++v) {
        uint8_t* p = &out.vertices[size_t(v) * out.stride];
        const uint32_t o = out.origin[v];
        std::memcpy(p, &mesh.positions[3 * size_t(o)], 12);
        p += 12;
        if (hasNormals) {
            if (normalOf[v] != kNone)
                std::memcpy(p, &mesh.normals[3 * size_t(normalOf[v])], 12);
            p += 12;
        }
        if (hasColors) {
            std::memcpy(p, &mesh.colors[o], 4);
            p += 4;
        }
        if (hasTex)
            std::memcpy(p, &mesh.texcoords[2 * size_t(o)], 8);
    }
}

std::vector<std::vector<uint32_t>> CopiesOfVertices(const XMeshArrays& arrays, uint32_t fileVertices)
{
    std::vector<std::vector<uint32_t>> copies(fileVertices);
    for (uint32_t v = 0; v < arrays.NumVertices(); ++v)
        copies[arrays.origin[v]].push_back(v);
    return copies;
}

} // namespace xfile
