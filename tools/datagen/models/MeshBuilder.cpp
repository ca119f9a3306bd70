#include "tools/datagen/models/MeshBuilder.h"

namespace xmodel {

Material Matte(float r, float g, float b, const std::string& texture)
{
    Material m;
    m.diffuse = {r, g, b, 1.0f};
    m.power = 8.0f;
    m.specular = {0.1f, 0.1f, 0.1f};
    m.texture = texture;
    return m;
}

void CMeshBuilder::FlatPolygon(const std::vector<Vec3>& corners, Vec3 outward, uint32_t material,
                               const std::function<std::array<float, 2>(Vec3)>& uv)
{
    if (corners.size() < 3)
        return;
    Vec3 n = Cross(corners[1] - corners[0], corners[2] - corners[0]);
    for (size_t i = 3; i < corners.size() && Length(n) < 1e-9f; ++i)
        n = Cross(corners[1] - corners[0], corners[i] - corners[0]);
    const bool flip = Dot(n, outward) < 0;
    const Vec3 normal = Normalize(flip ? n * -1.0f : n);
    const uint32_t first = static_cast<uint32_t>(VertexCount());
    for (const Vec3& c : corners) {
        const auto t = uv(c);
        Vertex(c, normal, t[0], t[1]);
    }
    for (uint32_t i = 1; i + 1 < corners.size(); ++i) {
        if (flip)
            Face(first, first + i + 1, first + i, material);
        else
            Face(first, first + i, first + i + 1, material);
    }
}

void SmoothNormals(Mesh& mesh, uint32_t first, uint32_t firstFace)
{
    for (size_t v = first; v < mesh.normals.size(); ++v)
        mesh.normals[v] = {0, 0, 0};
    for (size_t f = firstFace; f < mesh.faces.size(); ++f) {
        const auto& t = mesh.faces[f];
        const Vec3 n = Cross(mesh.positions[t[1]] - mesh.positions[t[0]], mesh.positions[t[2]] - mesh.positions[t[0]]);
        for (uint32_t i : t)
            if (i >= first)
                mesh.normals[i] = mesh.normals[i] + n;
    }
    for (size_t v = first; v < mesh.normals.size(); ++v)
        mesh.normals[v] = Normalize(mesh.normals[v]);
}

void OrientOutward(Mesh& mesh, Vec3 centre, uint32_t firstFace)
{
    for (size_t f = firstFace; f < mesh.faces.size(); ++f) {
        auto& t = mesh.faces[f];
        const Vec3 a = mesh.positions[t[0]], b = mesh.positions[t[1]], c = mesh.positions[t[2]];
        const Vec3 n = Cross(b - a, c - a);
        const Vec3 mid = (a + b + c) * (1.0f / 3.0f);
        if (Dot(n, mid - centre) < 0)
            std::swap(t[1], t[2]);
    }
}

uint32_t AddLathe(CMeshBuilder& b, Vec3 a, Vec3 e, Vec3 side, const std::vector<Ring>& rings, int slices,
                  uint32_t material)
{
    const Vec3 axis = Normalize(e - a);
    const Vec3 x = Normalize(side - axis * Dot(side, axis));
    const Vec3 z = Cross(axis, x);
    const float length = Length(e - a);
    Mesh& mesh = b.Get();
    const uint32_t first = static_cast<uint32_t>(mesh.positions.size());
    const uint32_t firstFace = static_cast<uint32_t>(mesh.faces.size());
    // Texture u runs round the shape and back, so the shape needs no seam.
    b.Vertex(a, axis * -1.0f, 0.5f, 0.0f);
    for (size_t r = 0; r < rings.size(); ++r) {
        const Vec3 c = a + axis * (length * rings[r].s);
        for (int i = 0; i < slices; ++i) {
            const float angle = 6.2831853f * static_cast<float>(i) / static_cast<float>(slices);
            const Vec3 p = c + x * (rings[r].rx * std::cos(angle)) + z * (rings[r].rz * std::sin(angle));
            const float u = std::fabs(2.0f * static_cast<float>(i) / static_cast<float>(slices) - 1.0f);
            b.Vertex(p, {0, 1, 0}, u, rings[r].s);
        }
    }
    const uint32_t last = b.Vertex(e, axis, 0.5f, 1.0f);
    const uint32_t n = static_cast<uint32_t>(slices);
    auto ring = [&](size_t r, uint32_t i) { return first + 1 + static_cast<uint32_t>(r) * n + (i % n); };
    for (uint32_t i = 0; i < n; ++i)
        b.Face(first, ring(0, i), ring(0, i + 1), material);
    for (size_t r = 0; r + 1 < rings.size(); ++r)
        for (uint32_t i = 0; i < n; ++i) {
            b.Face(ring(r, i), ring(r + 1, i), ring(r + 1, i + 1), material);
            b.Face(ring(r, i), ring(r + 1, i + 1), ring(r, i + 1), material);
        }
    for (uint32_t i = 0; i < n; ++i)
        b.Face(ring(rings.size() - 1, i), last, ring(rings.size() - 1, i + 1), material);
    // Each face is turned outward from the axis point nearest to it, which holds for any
    // shape that is convex across its axis.
    for (size_t f = firstFace; f < mesh.faces.size(); ++f) {
        auto& t = mesh.faces[f];
        const Vec3 p0 = mesh.positions[t[0]], p1 = mesh.positions[t[1]], p2 = mesh.positions[t[2]];
        const Vec3 mid = (p0 + p1 + p2) * (1.0f / 3.0f);
        const float s = std::min(std::max(Dot(mid - a, axis), 0.0f), length);
        Vec3 centre = a + axis * s;
        if (Length(mid - centre) < 1e-6f)
            centre = a + axis * (length * 0.5f);
        if (Dot(Cross(p1 - p0, p2 - p0), mid - centre) < 0)
            std::swap(t[1], t[2]);
    }
    SmoothNormals(mesh, first, firstFace);
    return first;
}

} // namespace xmodel
