// The opening's models: the terrain through the height grid, the sky dome, and the camera path
// that follows Rina and the crowd and then looks up at the giant heroine.
#include "tools/datagen/models/MeshBuilder.h"
#include "tools/datagen/models/Models.h"

#include "tools/datagen/ModelTextures.h"

#include <algorithm>

namespace models {

using namespace xmodel;

namespace {

constexpr int kGrid = 201;
constexpr float kPi = 3.14159265f;

float Smooth(float x)
{
    x = std::min(std::max(x, 0.0f), 1.0f);
    return x * x * (3.0f - 2.0f * x);
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

float RinaZ(float t) { return -50.0f + 0.075f * t; }

} // namespace

float HeightAt(const HeightGrid& grid, float x, float z)
{
    if (grid.size() != static_cast<size_t>(kGrid) * kGrid)
        return 0.0f;
    const float gx = std::min(std::max(x + 100.0f, 0.0f), 200.0f);
    const float gz = std::min(std::max(z + 100.0f, 0.0f), 200.0f);
    const int ix = std::min(static_cast<int>(gx), kGrid - 2), iz = std::min(static_cast<int>(gz), kGrid - 2);
    const float fx = gx - ix, fz = gz - iz;
    auto h = [&](int r, int c) { return grid[static_cast<size_t>(r) * kGrid + c]; };
    return ((1 - fx) * h(iz, ix) + fx * h(iz, ix + 1)) * (1 - fz) + ((1 - fx) * h(iz + 1, ix) + fx * h(iz + 1, ix + 1)) * fz;
}

Model BuildOpeningGround(const HeightGrid& heights)
{
    // One vertex on every grid point, so the surface passes through every height of the file.
    CMeshBuilder b("Mesh_OpeningGround");
    Material m = Matte(1.0f, 1.0f, 1.0f, datagen::kTexOpeningGround);
    m.specular = {0, 0, 0};
    const uint32_t mat = b.AddMaterial(m);
    auto h = [&](int r, int c) {
        r = std::min(std::max(r, 0), kGrid - 1);
        c = std::min(std::max(c, 0), kGrid - 1);
        return heights[static_cast<size_t>(r) * kGrid + c];
    };
    for (int r = 0; r < kGrid; ++r)
        for (int c = 0; c < kGrid; ++c) {
            const Vec3 n = Normalize(Vec3{h(r, c - 1) - h(r, c + 1), 2.0f, h(r - 1, c) - h(r + 1, c)});
            const float x = static_cast<float>(c - 100), z = static_cast<float>(r - 100);
            b.Vertex({x, h(r, c), z}, n, x / 8.0f, -z / 8.0f);
        }
    for (int r = 0; r + 1 < kGrid; ++r)
        for (int c = 0; c + 1 < kGrid; ++c) {
            const uint32_t a = static_cast<uint32_t>(r * kGrid + c);
            // Row r + 1 lies towards +z: (a, a + grid, a + 1) runs clockwise seen from above.
            b.Face(a, a + kGrid, a + kGrid + 1, mat);
            b.Face(a, a + kGrid + 1, a + 1, mat);
        }
    return SingleMeshModel("Frame0_OpeningGround", std::move(b.Get()));
}

Model BuildOpeningSky()
{
    // A dome seen from inside, a little past the horizon; unlit where it is drawn unlit, and
    // fully bright where it is lit (its emissive colour is white).
    CMeshBuilder b("Mesh_OpeningSky");
    Material m = Matte(1.0f, 1.0f, 1.0f, datagen::kTexSky);
    m.emissive = {1, 1, 1};
    m.specular = {0, 0, 0};
    const uint32_t mat = b.AddMaterial(m);
    const float radius = 180.0f;
    const int slices = 24, rings = 10;
    // The picture has the zenith on its top row and the horizon on its bottom row and repeats
    // across: v runs down to the horizon and stays there below it; u goes twice round.
    const uint32_t top = b.Vertex({0, radius, 0}, {0, -1, 0}, 0.5f, 0.0f);
    const float below = 0.21f; // the dome reaches 12 degrees below the horizon
    for (int r = 1; r <= rings; ++r) {
        const float elevation = kPi / 2 - (kPi / 2 + below) * static_cast<float>(r) / rings;
        for (int i = 0; i <= slices; ++i) {
            const float a = 2 * kPi * static_cast<float>(i % slices) / slices;
            const Vec3 p{radius * std::cos(elevation) * std::cos(a), radius * std::sin(elevation),
                         radius * std::cos(elevation) * std::sin(a)};
            const float v = std::min(1.0f, 1.0f - elevation / (kPi / 2));
            b.Vertex(p, Normalize(p) * -1.0f, 2.0f * static_cast<float>(i) / slices, std::max(v, 0.02f));
        }
    }
    auto ring = [&](int r, int i) { return top + 1 + static_cast<uint32_t>((r - 1) * (slices + 1) + i); };
    for (int i = 0; i < slices; ++i)
        b.Face(top, ring(1, i), ring(1, i + 1), mat);
    for (int r = 1; r < rings; ++r)
        for (int i = 0; i < slices; ++i) {
            b.Face(ring(r, i), ring(r + 1, i), ring(r + 1, i + 1), mat);
            b.Face(ring(r, i), ring(r + 1, i + 1), ring(r, i + 1), mat);
        }
    // Fronts face the centre, where the camera is.
    Mesh& mesh = b.Get();
    for (auto& f : mesh.faces) {
        const Vec3 a = mesh.positions[f[0]], p1 = mesh.positions[f[1]], p2 = mesh.positions[f[2]];
        if (Dot(Cross(p1 - a, p2 - a), a + p1 + p2) > 0)
            std::swap(f[1], f[2]);
    }
    return SingleMeshModel("Frame0_OpeningSky", std::move(mesh));
}

void OpeningCameraAt(const HeightGrid& heights, float t, Vec3& eye, Vec3& target)
{
    // Shots as offsets from Rina: the eye, and a target that leans from a point near her
    // towards the heroine's chest by `giant`; each shot blends smoothly into the next.
    struct Shot {
        float time;
        Vec3 eye;    // from Rina
        Vec3 look;   // from Rina
        float giant; // 0 to 1: how far the target moves towards the heroine
    };
    static const Shot shots[] = {
        {0, {-2.5f, 1.6f, -4.5f}, {0.0f, 1.2f, 8.0f}, 0.0f}, // behind her: the giant far ahead
        {110, {-2.2f, 1.4f, -3.5f}, {0.0f, 1.0f, 6.0f}, 0.0f},
        {210, {3.0f, 1.0f, 3.2f}, {0.0f, 0.6f, -3.0f}, 0.0f}, // ahead of her, looking back at the crowd
        {330, {3.5f, 1.2f, 2.5f}, {0.0f, 0.7f, -3.0f}, 0.0f},
        {430, {5.5f, 2.0f, 0.5f}, {0.0f, 0.8f, -2.5f}, 0.0f}, // beside the running crowd
        {530, {11.0f, 4.0f, -4.0f}, {0.0f, 0.8f, 0.0f}, 0.45f}, // further out: the crowd and the giant
        {640, {16.0f, 5.0f, -2.0f}, {0.0f, 0.8f, 0.0f}, 0.55f},
        {800, {18.0f, 6.0f, 2.0f}, {0.0f, 0.8f, 0.0f}, 0.5f}, // running on under her
    };
    const int count = static_cast<int>(sizeof shots / sizeof shots[0]);
    int i = 0;
    while (i + 1 < count - 1 && t >= shots[i + 1].time)
        ++i;
    const Shot& a = shots[i];
    const Shot& b = shots[i + 1];
    const float s = Smooth((t - a.time) / (b.time - a.time));
    const Vec3 rina{0.0f, HeightAt(heights, 0.0f, RinaZ(t)), RinaZ(t)};
    const Vec3 chest{0.0f, 9.0f, 0.0f};
    auto lookOf = [&](const Shot& shot) { return Lerp(rina + shot.look, chest, shot.giant); };
    // The eye swings round her rather than through her: distance, bearing and height blend.
    auto bearing = [](Vec3 o) { return std::atan2(o.x, o.z); };
    auto flat = [](Vec3 o) { return std::sqrt(o.x * o.x + o.z * o.z); };
    float turn = bearing(b.eye) - bearing(a.eye);
    if (turn > kPi)
        turn -= 2 * kPi;
    if (turn < -kPi)
        turn += 2 * kPi;
    const float angle = bearing(a.eye) + turn * s;
    const float reach = flat(a.eye) + (flat(b.eye) - flat(a.eye)) * s;
    eye = rina + Vec3{reach * std::sin(angle), a.eye.y + (b.eye.y - a.eye.y) * s, reach * std::cos(angle)};
    target = Lerp(lookOf(a), lookOf(b), s);
    eye.y = std::max(eye.y, HeightAt(heights, eye.x, eye.z) + 0.4f);
}

Model BuildOpeningCamera(const HeightGrid& heights)
{
    Model m;
    Frame root;
    root.name = "Frame0_Root";
    Frame camera;
    camera.name = "Frame1_Camera";
    Vec3 eye, target;
    OpeningCameraAt(heights, 0.0f, eye, target);
    camera.transform = CameraPlacement(eye, target, {0, 1, 0});
    // A small marker mesh, so the file also shows where the camera is when looked at.
    CMeshBuilder b("Mesh_Camera");
    const uint32_t mat = b.AddMaterial(Matte(0.3f, 0.3f, 0.3f));
    AddLathe(b, {0, 0, -0.1f}, {0, 0, 0.1f}, {1, 0, 0}, {{0.3f, 0.06f, 0.05f}, {0.7f, 0.06f, 0.05f}}, 6, mat);
    camera.meshes.push_back(std::move(b.Get()));
    root.children.push_back(std::move(camera));
    m.roots.push_back(std::move(root));
    m.ticksPerSecond = 4800;
    AnimationSet set;
    set.name = "Opening";
    Animation anim;
    anim.frame = "Frame1_Camera";
    for (int t = 0; t <= 800; t += 4) {
        OpeningCameraAt(heights, static_cast<float>(t), eye, target);
        anim.keys.push_back({static_cast<uint32_t>(t) * 4800u, CameraPlacement(eye, target, {0, 1, 0})});
    }
    set.animations.push_back(std::move(anim));
    m.sets.push_back(std::move(set));
    return m;
}

} // namespace models
