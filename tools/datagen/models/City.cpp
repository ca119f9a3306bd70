// The city of the stage: eight building types on a unit footprint (x and z from -0.5 to 0.5, y
// from 0 to 1) shaped to the collision boxes the stage gives each type, each broken into 64
// chunks, a street patch round each footprint, the city ground and the camera's box.
#include "tools/datagen/models/MeshBuilder.h"
#include "tools/datagen/models/Models.h"

#include "tools/datagen/ModelTextures.h"
#include "tools/datagen/Random.h"

#include "tools/datagen/models/XModel.h"

#include <algorithm>
#include <cstdio>

namespace models {

using namespace xmodel;

namespace {

struct P2 {
    float x, z;
};
using Polygon = std::vector<P2>;

// A convex block of a building: its ground plan and its height.
struct Block {
    Polygon plan;
    float height;
};

Polygon Rect(float x0, float z0, float x1, float z1) { return {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}}; }

std::vector<Block> BuildingBlocks(int type)
{
    switch (type) {
    case 0: return {{Rect(-0.5f, -0.5f, 0.5f, 0.5f), 1.0f}};
    case 1: // chamfered corners
        return {{{{-0.43f, 0.5f}, {0.43f, 0.5f}, {0.5f, 0.3f}, {0.5f, -0.3f}, {0.43f, -0.5f}, {-0.43f, -0.5f},
                  {-0.5f, -0.3f}, {-0.5f, 0.3f}},
                 1.0f}};
    case 2: // a low front and a full-height back
        return {{Rect(-0.5f, -0.5f, 0.5f, -0.158f), 0.85f}, {Rect(-0.5f, -0.158f, 0.5f, 0.5f), 1.0f}};
    case 3: // L-shaped, open towards -x -z
        return {{Rect(-0.5f, 0.0f, 0.5f, 0.5f), 1.0f}, {Rect(0.0f, -0.5f, 0.5f, 0.0f), 1.0f}};
    case 4: // one corner cut off
        return {{{{-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {-0.29f, -0.5f}, {-0.5f, -0.37f}}, 1.0f}};
    case 5: // a court open towards +x
        return {{Rect(-0.49f, -0.5f, 0.3f, 0.5f), 1.0f},
                {Rect(0.3f, 0.3f, 0.49f, 0.5f), 1.0f},
                {Rect(0.3f, -0.5f, 0.49f, -0.3f), 1.0f}};
    case 6: // two staggered wings
        return {{Rect(-0.2f, -0.39f, 0.5f, 0.5f), 1.0f},
                {Rect(-0.5f, -0.5f, -0.2f, 0.39f), 1.0f},
                {Rect(-0.2f, -0.5f, 0.2f, -0.39f), 1.0f}};
    default: // a wedge along a diagonal wall
        return {{{{-0.47f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {0.24f, -0.5f}}, 1.0f}};
    }
}

float Area(const Polygon& p)
{
    float a = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const P2 u = p[i], v = p[(i + 1) % p.size()];
        a += u.x * v.z - v.x * u.z;
    }
    return 0.5f * a;
}

P2 Centroid(const Polygon& p)
{
    P2 c{0, 0};
    for (const P2& q : p)
        c.x += q.x, c.z += q.z;
    return {c.x / p.size(), c.z / p.size()};
}

// The part of a convex polygon on the side of the line through `o` where dot(q - o, n) <= 0.
Polygon Clip(const Polygon& p, P2 o, P2 n)
{
    Polygon out;
    for (size_t i = 0; i < p.size(); ++i) {
        const P2 a = p[i], b = p[(i + 1) % p.size()];
        const float da = (a.x - o.x) * n.x + (a.z - o.z) * n.z;
        const float db = (b.x - o.x) * n.x + (b.z - o.z) * n.z;
        if (da <= 0)
            out.push_back(a);
        if ((da < 0 && db > 0) || (da > 0 && db < 0)) {
            const float t = da / (da - db);
            out.push_back({a.x + (b.x - a.x) * t, a.z + (b.z - a.z) * t});
        }
    }
    return out;
}

constexpr float kBays = 1.0f;    // facade pictures across a unit of wall (about 8 world units)
constexpr float kStoreys = 1.5f; // facade pictures up a unit of height (about 16 world units, five storeys)

// Texture coordinates from a point and the face's outward normal: walls repeat the facade up
// and across, roofs and floors take a patch of plain wall.
std::array<float, 2> FacadeUv(Vec3 p, Vec3 n)
{
    if (std::fabs(n.y) > 0.7f)
        return {0.01f + 0.02f * (p.x + 0.5f), 0.01f + 0.02f * (p.z + 0.5f)};
    const Vec3 along = Normalize(Vec3{n.z, 0, -n.x});
    return {(p.x * along.x + p.z * along.z) * kBays, (1.0f - p.y) * kStoreys};
}

// A prism on a convex plan from y0 to y1; the floor only when asked.
void AddPrism(CMeshBuilder& b, const Polygon& plan, float y0, float y1, bool floor, uint32_t material)
{
    const P2 c = Centroid(plan);
    for (size_t i = 0; i < plan.size(); ++i) {
        const P2 u = plan[i], v = plan[(i + 1) % plan.size()];
        const float ex = v.x - u.x, ez = v.z - u.z;
        Vec3 out = Normalize(Vec3{ez, 0, -ex});
        if (out.x * ((u.x + v.x) * 0.5f - c.x) + out.z * ((u.z + v.z) * 0.5f - c.z) < 0)
            out = out * -1.0f;
        b.FlatPolygon({{u.x, y0, u.z}, {v.x, y0, v.z}, {v.x, y1, v.z}, {u.x, y1, u.z}}, out, material,
                      [out](Vec3 p) { return FacadeUv(p, out); });
    }
    std::vector<Vec3> top, bottom;
    for (const P2& q : plan) {
        top.push_back({q.x, y1, q.z});
        bottom.push_back({q.x, y0, q.z});
    }
    b.FlatPolygon(top, {0, 1, 0}, material, [](Vec3 p) { return FacadeUv(p, {0, 1, 0}); });
    if (floor)
        b.FlatPolygon(bottom, {0, -1, 0}, material, [](Vec3 p) { return FacadeUv(p, {0, -1, 0}); });
}

// The stage draws each building with a facade of its own choice; by itself a type shows one
// of the facade pictures.
Material Concrete(int type)
{
    Material m = Matte(1.0f, 1.0f, 1.0f, "data\\xfile\\map\\b_" + std::to_string(type + 1) + ".bmp");
    m.specular = {0, 0, 0};
    m.power = 0;
    return m;
}

Model SingleMeshModel(const std::string& frameName, Mesh mesh)
{
    Model m;
    Frame f;
    f.name = frameName;
    f.meshes.push_back(std::move(mesh));
    m.roots.push_back(std::move(f));
    return m;
}

std::string TypeName(int type)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "building%03d", type + 1);
    return buf;
}

} // namespace

Model BuildBuilding(int type)
{
    CMeshBuilder b("Mesh_" + TypeName(type));
    const uint32_t mat = b.AddMaterial(Concrete(type));
    for (const Block& block : BuildingBlocks(type))
        AddPrism(b, block.plan, 0.0f, block.height, false, mat);
    return SingleMeshModel("Frame_" + TypeName(type), std::move(b.Get()));
}

std::vector<Model> BuildBuildingPieces(int type)
{
    // The plan is cut into 16 convex chunks (always the largest next, across its longest
    // side, a little askew), each chunk into four layers: 64 chunks that fill the building.
    datagen::CRandom rng("pieces of " + TypeName(type));
    auto jitter = [&rng]() { return static_cast<float>(rng.Signed()); };
    struct Chunk {
        Polygon plan;
        float height;
    };
    std::vector<Chunk> chunks;
    for (const Block& block : BuildingBlocks(type))
        chunks.push_back({block.plan, block.height});
    while (chunks.size() < 16) {
        size_t largest = 0;
        for (size_t i = 1; i < chunks.size(); ++i)
            if (std::fabs(Area(chunks[i].plan)) > std::fabs(Area(chunks[largest].plan)))
                largest = i;
        const Chunk c = chunks[largest];
        float minX = 1e9f, maxX = -1e9f, minZ = 1e9f, maxZ = -1e9f;
        for (const P2& q : c.plan) {
            minX = std::min(minX, q.x), maxX = std::max(maxX, q.x);
            minZ = std::min(minZ, q.z), maxZ = std::max(maxZ, q.z);
        }
        const float angle = 0.25f * jitter();
        P2 n = (maxX - minX) >= (maxZ - minZ) ? P2{std::cos(angle), std::sin(angle)} : P2{std::sin(angle), std::cos(angle)};
        P2 o = Centroid(c.plan);
        const float shift = 0.12f * jitter();
        o.x += n.x * shift * (maxX - minX);
        o.z += n.z * shift * (maxZ - minZ);
        Polygon a = Clip(c.plan, o, n), bpart = Clip(c.plan, o, {-n.x, -n.z});
        if (a.size() < 3 || bpart.size() < 3 || std::fabs(Area(a)) < 1e-4f || std::fabs(Area(bpart)) < 1e-4f) {
            o = Centroid(c.plan);
            a = Clip(c.plan, o, n);
            bpart = Clip(c.plan, o, {-n.x, -n.z});
        }
        chunks[largest] = {a, c.height};
        chunks.push_back({bpart, c.height});
    }
    std::vector<Model> pieces;
    for (const Chunk& c : chunks) {
        float y = 0.0f;
        for (int layer = 0; layer < 4; ++layer) {
            const float top = layer == 3 ? c.height : c.height * (layer + 1 + 0.3f * jitter()) / 4.0f;
            CMeshBuilder b("Mesh_piece");
            const uint32_t mat = b.AddMaterial(Concrete(type));
            AddPrism(b, c.plan, y, top, true, mat);
            pieces.push_back(SingleMeshModel("Frame_piece", std::move(b.Get())));
            y = top;
        }
    }
    return pieces;
}

Model BuildRoad(int)
{
    // The street round the footprint: paving under and next to the walls, then a carriageway
    // on each side whose lines run along it, mitred at the corners.
    CMeshBuilder b("Mesh_road");
    Material pave = Matte(1.0f, 1.0f, 1.0f, datagen::kTexPavement);
    Material road = Matte(1.0f, 1.0f, 1.0f, datagen::kTexRoad);
    pave.specular = road.specular = {0, 0, 0};
    const uint32_t pavement = b.AddMaterial(pave), street = b.AddMaterial(road);
    const float edge = 0.5f, kerb = 0.6f, outer = 0.85f;
    const float across = outer - kerb;
    // Paving under the footprint too, so a court or a cut corner of the building is paved.
    b.FlatPolygon({{-edge, 0, -edge}, {edge, 0, -edge}, {edge, 0, edge}, {-edge, 0, edge}}, {0, 1, 0}, pavement,
                  [](Vec3 p) { return std::array<float, 2>{p.x * 4, p.z * 4}; });
    for (int side = 0; side < 4; ++side) {
        // Corners of this side's strips, turned a quarter each side; u across, v along.
        const Mat4 turn = RotationY(1.5707963f * side);
        auto at = [&](float x, float z) { return TransformPoint({x, 0.0f, z}, turn); };
        const Vec3 p0 = at(-edge, edge), p1 = at(edge, edge), p2 = at(kerb, kerb), p3 = at(-kerb, kerb);
        b.FlatPolygon({p0, p1, p2, p3}, {0, 1, 0}, pavement, [](Vec3 p) { return std::array<float, 2>{p.x * 4, p.z * 4}; });
        const Vec3 q0 = at(-kerb, kerb), q1 = at(kerb, kerb), q2 = at(outer, outer), q3 = at(-outer, outer);
        const Vec3 along = TransformNormal({1, 0, 0}, turn), out = TransformNormal({0, 0, 1}, turn);
        b.FlatPolygon({q0, q1, q2, q3}, {0, 1, 0}, street, [&](Vec3 p) {
            return std::array<float, 2>{(Dot(p, out) - kerb) / across, Dot(p, along) / across};
        });
    }
    return SingleMeshModel("Frame_road", std::move(b.Get()));
}

Model BuildCityGround()
{
    CMeshBuilder b("Mesh_ground");
    Material m = Matte(1.0f, 1.0f, 1.0f, datagen::kTexStageGround);
    m.specular = {0, 0, 0};
    const uint32_t mat = b.AddMaterial(m);
    const float e = 1200.0f;
    const int n = 16;
    const float tile = 16.0f; // world units a repeat of the texture
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) {
            const float x = -e + 2 * e * j / n, z = e - 2 * e * i / n;
            b.Vertex({x, 0.0f, z}, {0, 1, 0}, x / tile, -z / tile);
        }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const uint32_t a = i * (n + 1) + j;
            b.Face(a, a + 1, a + n + 2, mat);
            b.Face(a, a + n + 2, a + n + 1, mat);
        }
    OrientOutward(b.Get(), {0, -1, 0}, 0);
    return SingleMeshModel("Frame_ground", std::move(b.Get()));
}

Model BuildCameraBox()
{
    // Never drawn: its container carries the box that finds buildings between eye and target.
    CMeshBuilder b("Mesh_camera");
    const uint32_t mat = b.AddMaterial(Matte(0.5f, 0.5f, 0.5f));
    AddPrism(b, Rect(-0.05f, -0.05f, 0.05f, 0.05f), -0.05f, 0.05f, true, mat);
    return SingleMeshModel("Frame_camera", std::move(b.Get()));
}

} // namespace models
