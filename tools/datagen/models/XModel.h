// An in-memory DirectX .x model as the generator builds it: frames, meshes with normals,
// texture coordinates, materials and skin weights, and matrix-keyed animation sets. The writer
// turns it into a text file; the reader turns such a file back into it, so that the generator
// can check every file it writes and the tests can look at the files themselves.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace xmodel {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalize(Vec3 a)
{
    const float l = Length(a);
    return l > 1e-20f ? a * (1.0f / l) : Vec3{0, 1, 0};
}
inline Vec3 Lerp(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }

// Row-major 4x4 used with row vectors (v' = v x M), as Direct3D does: the translation is the
// fourth row.
struct Mat4 {
    std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float& operator()(int r, int c) { return m[r * 4 + c]; }
    float operator()(int r, int c) const { return m[r * 4 + c]; }
    Vec3 Translation() const { return {m[12], m[13], m[14]}; }
};
Mat4 operator*(const Mat4& a, const Mat4& b);
Mat4 Translation(Vec3 t);
Mat4 Scaling(Vec3 s);
Mat4 RotationX(float a);
Mat4 RotationY(float a);
Mat4 RotationZ(float a);
// Rotation taking the unit vector `from` onto the unit vector `to` the shortest way.
Mat4 RotationBetween(Vec3 from, Vec3 to);
// The camera placement (camera to world) of a left-handed look-at; its inverse is the view.
Mat4 CameraPlacement(Vec3 eye, Vec3 at, Vec3 up);
Mat4 InverseAffine(const Mat4& m);
Vec3 TransformPoint(Vec3 p, const Mat4& m);
Vec3 TransformNormal(Vec3 n, const Mat4& m);
Mat4 LerpMatrix(const Mat4& a, const Mat4& b, float t);

struct Color {
    float r = 1, g = 1, b = 1, a = 1;
};

struct Material {
    Color diffuse;
    float power = 0;
    Vec3 specular;
    Vec3 emissive;
    std::string texture; // path relative to the game's working folder, or empty
};

// One bone's influence on a skinned mesh: the frame it follows, the vertices and weights, and
// the offset matrix that takes model space into the bone's space.
struct SkinBone {
    std::string frame;
    std::vector<uint32_t> vertices;
    std::vector<float> weights;
    Mat4 offset;
};

struct Mesh {
    std::string name;
    std::vector<Vec3> positions;
    std::vector<Vec3> normals; // one per vertex (smooth or split by the builder)
    std::vector<std::array<float, 2>> uvs;
    std::vector<std::array<uint32_t, 3>> faces;
    std::vector<uint32_t> faceMaterials; // one per face
    std::vector<Material> materials;
    std::vector<SkinBone> bones;
};

struct Frame {
    std::string name;
    Mat4 transform;
    std::vector<Mesh> meshes;
    std::vector<Frame> children;
};

struct Key {
    uint32_t tick = 0;
    Mat4 value;
};

// One frame's track within a set: matrix keys (the frame's transformation at each tick).
struct Animation {
    std::string frame;
    std::vector<Key> keys;
};

struct AnimationSet {
    std::string name;
    std::vector<Animation> animations;
};

struct Model {
    std::vector<Frame> roots;
    uint32_t ticksPerSecond = 0;  // written only when there are animation sets
    std::vector<AnimationSet> sets; // in file order
};

// Every frame of the model, parents before children, siblings in order.
std::vector<const Frame*> AllFrames(const Model& model);
const Frame* FindFrame(const Model& model, const std::string& name);

// The frames' combined matrices (frame x parent x ... x world) for one animation set at time t
// in seconds of the controller (ticks / ticksPerSecond), keys interpolated linearly, the set
// looping over its last key. set < 0 gives the bind pose of the file. Indexed like AllFrames.
std::vector<Mat4> Pose(const Model& model, int set, double seconds, const Mat4& world = Mat4());

// The positions of a mesh's vertices in that pose: skinned when the mesh has bones, otherwise
// the vertices times the combined matrix of the frame that holds the mesh.
std::vector<Vec3> PosedPositions(const Model& model, const std::vector<Mat4>& pose, const Frame& holder,
                                 const Mesh& mesh);

// The cycle length of a set, in seconds of the controller.
double SetLength(const Model& model, int set);

// Checks what a loader relies on (indices in range, counts that agree, finite numbers, weights,
// bones and tracks that name existing frames, unique names); throws std::runtime_error naming
// the first fault.
void Validate(const Model& model, const std::string& what);

// The text encoding ("xof 0303txt 0032"). Numbers are written with fixed precision, so the same
// model gives the same bytes.
std::string WriteText(const Model& model);
// Reads a text file of the subset WriteText writes; throws std::runtime_error on bad input.
Model ReadText(const std::string& text);

} // namespace xmodel

namespace xmodel {

// Empty when every edge of the mesh (corners compared by position) is shared by exactly two
// faces and no two faces share all three corner positions; otherwise what is wrong.
std::string ClosedMeshFault(const Mesh& mesh);

} // namespace xmodel
