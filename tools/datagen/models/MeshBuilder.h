// Helpers that build meshes for the generator: closed lathe shapes, prisms and quads, smooth or
// flat normals, and the bookkeeping of vertices, faces and materials.
#pragma once

#include "tools/datagen/models/XModel.h"

#include <functional>

namespace xmodel {

class CMeshBuilder {
public:
    explicit CMeshBuilder(std::string name) { m_Mesh.name = std::move(name); }

    uint32_t AddMaterial(const Material& m)
    {
        m_Mesh.materials.push_back(m);
        return static_cast<uint32_t>(m_Mesh.materials.size() - 1);
    }
    uint32_t Vertex(Vec3 p, Vec3 n, float u, float v)
    {
        m_Mesh.positions.push_back(p);
        m_Mesh.normals.push_back(n);
        m_Mesh.uvs.push_back({u, v});
        return static_cast<uint32_t>(m_Mesh.positions.size() - 1);
    }
    void Face(uint32_t a, uint32_t b, uint32_t c, uint32_t material)
    {
        m_Mesh.faces.push_back({a, b, c});
        m_Mesh.faceMaterials.push_back(material);
    }
    // A flat-shaded convex polygon (corners in order, either way round): turned so that its
    // front (clockwise on screen) faces `outward`.
    void FlatPolygon(const std::vector<Vec3>& corners, Vec3 outward, uint32_t material,
                     const std::function<std::array<float, 2>(Vec3)>& uv);

    Mesh& Get() { return m_Mesh; }
    size_t VertexCount() const { return m_Mesh.positions.size(); }

private:
    Mesh m_Mesh;
};

// Material helpers.
Material Matte(float r, float g, float b, const std::string& texture = std::string());

// Smooth normals from the faces that share each vertex (area weighted), for vertices from
// `first` on.
void SmoothNormals(Mesh& mesh, uint32_t first = 0, uint32_t firstFace = 0);

// Turns every face from `firstFace` on so that its front faces away from `centre`.
void OrientOutward(Mesh& mesh, Vec3 centre, uint32_t firstFace);

// A closed shape turned about the axis from a to b: rings at fractions s of the length with
// radii rx (towards `side`) and rz (across), closed by a pole at each end. Answers the index of
// its first vertex; each ring's vertex count is `slices`.
struct Ring {
    float s, rx, rz;
};
uint32_t AddLathe(CMeshBuilder& b, Vec3 a, Vec3 bEnd, Vec3 side, const std::vector<Ring>& rings, int slices,
                  uint32_t material);

} // namespace xmodel
