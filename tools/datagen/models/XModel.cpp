#include "tools/datagen/models/XModel.h"

#include <algorithm>
#include <functional>
#include <set>
#include <stdexcept>

namespace xmodel {

Mat4 operator*(const Mat4& a, const Mat4& b)
{
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a(i, k) * b(k, j);
            r(i, j) = s;
        }
    return r;
}

Mat4 Translation(Vec3 t)
{
    Mat4 r;
    r(3, 0) = t.x;
    r(3, 1) = t.y;
    r(3, 2) = t.z;
    return r;
}

Mat4 Scaling(Vec3 s)
{
    Mat4 r;
    r(0, 0) = s.x;
    r(1, 1) = s.y;
    r(2, 2) = s.z;
    return r;
}

Mat4 RotationX(float a)
{
    Mat4 r;
    const float c = std::cos(a), s = std::sin(a);
    r(1, 1) = c;
    r(1, 2) = s;
    r(2, 1) = -s;
    r(2, 2) = c;
    return r;
}

Mat4 RotationY(float a)
{
    Mat4 r;
    const float c = std::cos(a), s = std::sin(a);
    r(0, 0) = c;
    r(0, 2) = -s;
    r(2, 0) = s;
    r(2, 2) = c;
    return r;
}

Mat4 RotationZ(float a)
{
    Mat4 r;
    const float c = std::cos(a), s = std::sin(a);
    r(0, 0) = c;
    r(0, 1) = s;
    r(1, 0) = -s;
    r(1, 1) = c;
    return r;
}

Mat4 RotationBetween(Vec3 from, Vec3 to)
{
    // Rodrigues' formula written for row vectors.
    const Vec3 v = Cross(from, to);
    const float c = Dot(from, to);
    Mat4 r;
    if (c < -0.9999f) {
        // Half a turn about any axis perpendicular to `from`.
        Vec3 axis = Normalize(Cross(from, std::fabs(from.x) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0}));
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const float ai = i == 0 ? axis.x : i == 1 ? axis.y : axis.z;
                const float aj = j == 0 ? axis.x : j == 1 ? axis.y : axis.z;
                r(i, j) = 2 * ai * aj - (i == j ? 1.0f : 0.0f);
            }
        return r;
    }
    const float k = 1.0f / (1.0f + c);
    // Column-vector matrix R = I + [v]x + [v]x^2 k; the row-vector form is its transpose.
    const float col[3][3] = {
        {v.x * v.x * k + c, v.x * v.y * k - v.z, v.x * v.z * k + v.y},
        {v.y * v.x * k + v.z, v.y * v.y * k + c, v.y * v.z * k - v.x},
        {v.z * v.x * k - v.y, v.z * v.y * k + v.x, v.z * v.z * k + c},
    };
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r(i, j) = col[j][i];
    return r;
}

Mat4 CameraPlacement(Vec3 eye, Vec3 at, Vec3 up)
{
    const Vec3 z = Normalize(at - eye);
    const Vec3 x = Normalize(Cross(up, z));
    const Vec3 y = Cross(z, x);
    Mat4 r;
    r(0, 0) = x.x, r(0, 1) = x.y, r(0, 2) = x.z;
    r(1, 0) = y.x, r(1, 1) = y.y, r(1, 2) = y.z;
    r(2, 0) = z.x, r(2, 1) = z.y, r(2, 2) = z.z;
    r(3, 0) = eye.x, r(3, 1) = eye.y, r(3, 2) = eye.z;
    return r;
}

Mat4 InverseAffine(const Mat4& m)
{
    // Inverse of the upper 3x3 by cofactors, then the translation.
    const float a = m(0, 0), b = m(0, 1), c = m(0, 2);
    const float d = m(1, 0), e = m(1, 1), f = m(1, 2);
    const float g = m(2, 0), h = m(2, 1), i = m(2, 2);
    const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const float det = a * A + b * B + c * C;
    const float s = std::fabs(det) > 1e-30f ? 1.0f / det : 0.0f;
    Mat4 r;
    r(0, 0) = A * s;
    r(0, 1) = -(b * i - c * h) * s;
    r(0, 2) = (b * f - c * e) * s;
    r(1, 0) = B * s;
    r(1, 1) = (a * i - c * g) * s;
    r(1, 2) = -(a * f - c * d) * s;
    r(2, 0) = C * s;
    r(2, 1) = -(a * h - b * g) * s;
    r(2, 2) = (a * e - b * d) * s;
    const Vec3 t = m.Translation();
    for (int j = 0; j < 3; ++j)
        r(3, j) = -(t.x * r(0, j) + t.y * r(1, j) + t.z * r(2, j));
    return r;
}

Vec3 TransformPoint(Vec3 p, const Mat4& m)
{
    return {p.x * m(0, 0) + p.y * m(1, 0) + p.z * m(2, 0) + m(3, 0),
            p.x * m(0, 1) + p.y * m(1, 1) + p.z * m(2, 1) + m(3, 1),
            p.x * m(0, 2) + p.y * m(1, 2) + p.z * m(2, 2) + m(3, 2)};
}

Vec3 TransformNormal(Vec3 n, const Mat4& m)
{
    return {n.x * m(0, 0) + n.y * m(1, 0) + n.z * m(2, 0), n.x * m(0, 1) + n.y * m(1, 1) + n.z * m(2, 1),
            n.x * m(0, 2) + n.y * m(1, 2) + n.z * m(2, 2)};
}

Mat4 LerpMatrix(const Mat4& a, const Mat4& b, float t)
{
    Mat4 r;
    for (int i = 0; i < 16; ++i)
        r.m[i] = a.m[i] + (b.m[i] - a.m[i]) * t;
    return r;
}

namespace {

void Collect(const Frame& f, std::vector<const Frame*>& out)
{
    out.push_back(&f);
    for (const Frame& c : f.children)
        Collect(c, out);
}

} // namespace

std::vector<const Frame*> AllFrames(const Model& model)
{
    std::vector<const Frame*> out;
    for (const Frame& f : model.roots)
        Collect(f, out);
    return out;
}

const Frame* FindFrame(const Model& model, const std::string& name)
{
    for (const Frame* f : AllFrames(model))
        if (f->name == name)
            return f;
    return nullptr;
}

double SetLength(const Model& model, int set)
{
    uint32_t last = 0;
    for (const Animation& a : model.sets.at(set).animations)
        for (const Key& k : a.keys)
            last = std::max(last, k.tick);
    return model.ticksPerSecond ? static_cast<double>(last) / model.ticksPerSecond : 0.0;
}

std::vector<Mat4> Pose(const Model& model, int set, double seconds, const Mat4& world)
{
    const std::vector<const Frame*> frames = AllFrames(model);
    std::vector<Mat4> local(frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
        local[i] = frames[i]->transform;
    if (set >= 0) {
        const double length = SetLength(model, set);
        double t = seconds;
        if (length > 0) {
            t = std::fmod(t, length);
            if (t < 0)
                t += length;
        }
        const double tick = t * model.ticksPerSecond;
        for (const Animation& a : model.sets.at(set).animations) {
            if (a.keys.empty())
                continue;
            size_t k = 0;
            while (k + 1 < a.keys.size() && a.keys[k + 1].tick <= tick)
                ++k;
            Mat4 value = a.keys[k].value;
            if (k + 1 < a.keys.size() && tick > a.keys[k].tick) {
                const double span = a.keys[k + 1].tick - a.keys[k].tick;
                value = LerpMatrix(a.keys[k].value, a.keys[k + 1].value, static_cast<float>((tick - a.keys[k].tick) / span));
            }
            for (size_t i = 0; i < frames.size(); ++i)
                if (frames[i]->name == a.frame)
                    local[i] = value;
        }
    }
    std::vector<Mat4> combined(frames.size());
    std::function<void(const Frame&, const Mat4&, size_t&)> walk = [&](const Frame& f, const Mat4& parent, size_t& index) {
        const size_t me = index++;
        combined[me] = local[me] * parent;
        for (const Frame& c : f.children)
            walk(c, combined[me], index);
    };
    size_t index = 0;
    for (const Frame& r : model.roots)
        walk(r, world, index);
    return combined;
}

std::vector<Vec3> PosedPositions(const Model& model, const std::vector<Mat4>& pose, const Frame& holder, const Mesh& mesh)
{
    const std::vector<const Frame*> frames = AllFrames(model);
    auto indexOf = [&](const Frame* f) {
        return static_cast<size_t>(std::find(frames.begin(), frames.end(), f) - frames.begin());
    };
    std::vector<Vec3> out(mesh.positions.size());
    if (mesh.bones.empty()) {
        const Mat4& m = pose.at(indexOf(&holder));
        for (size_t v = 0; v < out.size(); ++v)
            out[v] = TransformPoint(mesh.positions[v], m);
        return out;
    }
    for (const SkinBone& b : mesh.bones) {
        const Frame* f = FindFrame(model, b.frame);
        if (!f)
            continue;
        const Mat4 m = b.offset * pose.at(indexOf(f));
        for (size_t i = 0; i < b.vertices.size(); ++i) {
            const uint32_t v = b.vertices[i];
            out.at(v) = out[v] + TransformPoint(mesh.positions[v], m) * b.weights[i];
        }
    }
    return out;
}

namespace {

bool Finite(const Mat4& m)
{
    for (float v : m.m)
        if (!std::isfinite(v))
            return false;
    return true;
}

[[noreturn]] void Fail(const std::string& what, const std::string& why)
{
    throw std::runtime_error(what + ": " + why);
}

void ValidateMesh(const Model& model, const Mesh& mesh, const std::string& what)
{
    const std::string where = what + " mesh " + (mesh.name.empty() ? "(unnamed)" : mesh.name);
    const size_t n = mesh.positions.size();
    if (n == 0 || mesh.faces.empty())
        Fail(where, "no vertices or no faces");
    if (mesh.normals.size() != n || mesh.uvs.size() != n)
        Fail(where, "normals or texture coordinates do not match the vertices");
    for (size_t i = 0; i < n; ++i) {
        const Vec3 p = mesh.positions[i], q = mesh.normals[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) || !std::isfinite(q.x) ||
            !std::isfinite(q.y) || !std::isfinite(q.z) || !std::isfinite(mesh.uvs[i][0]) || !std::isfinite(mesh.uvs[i][1]))
            Fail(where, "a vertex that is not a number");
    }
    for (const auto& f : mesh.faces)
        for (uint32_t i : f)
            if (i >= n)
                Fail(where, "a face index past the vertices");
    if (mesh.materials.empty() || mesh.faceMaterials.size() != mesh.faces.size())
        Fail(where, "materials do not match the faces");
    for (uint32_t m : mesh.faceMaterials)
        if (m >= mesh.materials.size())
            Fail(where, "a face names a material that does not exist");
    std::vector<float> total(n, 0.0f);
    std::set<std::string> seen;
    for (const SkinBone& b : mesh.bones) {
        if (!FindFrame(model, b.frame))
            Fail(where, "bone " + b.frame + " has no frame");
        if (!seen.insert(b.frame).second)
            Fail(where, "bone " + b.frame + " given twice");
        if (b.vertices.size() != b.weights.size() || !Finite(b.offset))
            Fail(where, "bone " + b.frame + " is malformed");
        for (size_t i = 0; i < b.vertices.size(); ++i) {
            if (b.vertices[i] >= n || !(b.weights[i] >= 0.0f && b.weights[i] <= 1.0f))
                Fail(where, "bone " + b.frame + " has a bad influence");
            total[b.vertices[i]] += b.weights[i];
        }
    }
    if (!mesh.bones.empty())
        for (size_t i = 0; i < n; ++i)
            if (std::fabs(total[i] - 1.0f) > 1e-3f)
                Fail(where, "vertex " + std::to_string(i) + " has weights that do not add up to 1");
}

} // namespace

void Validate(const Model& model, const std::string& what)
{
    if (model.roots.empty())
        Fail(what, "no frame");
    std::set<std::string> names;
    for (const Frame* f : AllFrames(model)) {
        if (f->name.empty() || !names.insert(f->name).second)
            Fail(what, "frame name missing or used twice: '" + f->name + "'");
        if (!Finite(f->transform))
            Fail(what, "frame " + f->name + " has a matrix that is not a number");
        for (const Mesh& m : f->meshes) {
            if (!m.name.empty() && !names.insert(m.name).second)
                Fail(what, "mesh name used twice: " + m.name);
            ValidateMesh(model, m, what);
        }
    }
    if (!model.sets.empty() && model.ticksPerSecond == 0)
        Fail(what, "animation without ticks per second");
    std::set<std::string> setNames;
    for (const AnimationSet& s : model.sets) {
        if (s.name.empty() || !setNames.insert(s.name).second)
            Fail(what, "animation set name missing or used twice");
        for (const Animation& a : s.animations) {
            if (!FindFrame(model, a.frame))
                Fail(what, "set " + s.name + " animates a missing frame " + a.frame);
            if (a.keys.empty())
                Fail(what, "set " + s.name + " has a track without keys");
            for (size_t k = 0; k < a.keys.size(); ++k) {
                if (!Finite(a.keys[k].value))
                    Fail(what, "set " + s.name + " has a key that is not a number");
                if (k > 0 && a.keys[k].tick <= a.keys[k - 1].tick)
                    Fail(what, "set " + s.name + " has keys out of order");
            }
        }
    }
}

} // namespace xmodel

#include <map>
#include <tuple>

namespace xmodel {

std::string ClosedMeshFault(const Mesh& mesh)
{
    using Key = std::tuple<float, float, float>;
    auto key = [&](uint32_t i) { return Key{mesh.positions[i].x, mesh.positions[i].y, mesh.positions[i].z}; };
    std::map<std::pair<Key, Key>, int> edges; // directed edge -> count
    std::map<std::tuple<Key, Key, Key>, int> faces;
    for (const auto& f : mesh.faces) {
        Key k[3] = {key(f[0]), key(f[1]), key(f[2])};
        if (k[0] == k[1] || k[1] == k[2] || k[0] == k[2])
            return "a face with two corners at one position";
        Key s[3] = {k[0], k[1], k[2]};
        std::sort(s, s + 3);
        if (++faces[{s[0], s[1], s[2]}] > 1)
            return "two faces on the same three positions";
        for (int e = 0; e < 3; ++e)
            ++edges[{k[e], k[(e + 1) % 3]}];
    }
    for (const auto& [e, n] : edges) {
        if (n != 1)
            return "an edge used twice in the same direction";
        if (!edges.count({e.second, e.first}))
            return "an edge with only one face";
    }
    return std::string();
}

} // namespace xmodel
