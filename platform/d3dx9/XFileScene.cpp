#include "platform/d3dx9/XFileScene.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>
#include <unordered_map>

namespace xfile {

namespace {

struct SceneError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& what) { throw SceneError(what); }

// Template names are matched without regard to case: exporters differ on "TextureFileName".
bool Is(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

// Reads an object's values in order, each read checked for kind and presence.
class Values {
public:
    // `budget` counts down the values and children that building the scene may read.
    Values(const XObject& obj, size_t& budget) : m_obj(obj) { Charge(obj, budget); }

    static void Charge(const XObject& obj, size_t& budget)
    {
        const size_t cost = obj.values.size() + obj.children.size() + 1;
        if (cost > budget)
            Fail("too many references to the same objects");
        budget -= cost;
    }

    size_t Left() const { return m_obj.values.size() - m_next; }

    uint32_t Dword(const char* field)
    {
        const XValue& v = Take(field);
        if (v.kind != XValue::Integer || v.number < 0 || v.number > 4294967295.0)
            Fail(Context() + field + " is not an unsigned integer");
        return static_cast<uint32_t>(v.number);
    }

    float Float(const char* field)
    {
        const XValue& v = Take(field);
        if (v.kind == XValue::String)
            Fail(Context() + field + " is not a number");
        return static_cast<float>(v.number);
    }

    std::string_view String(const char* field)
    {
        const XValue& v = Take(field);
        if (v.kind != XValue::String)
            Fail(Context() + field + " is not a string");
        return v.text;
    }

    // A count read from the file is believed only when that many items could follow.
    void Expect(uint64_t count, uint64_t valuesEach, const char* field) const
    {
        if (valuesEach != 0 && count > Left() / valuesEach)
            Fail(Context() + field + " says more than the object holds");
    }

    std::string Context() const { return std::string(m_obj.templateName) + ": "; }

private:
    const XValue& Take(const char* field)
    {
        if (m_next >= m_obj.values.size())
            Fail(Context() + "missing " + field);
        return m_obj.values[m_next++];
    }

    const XObject& m_obj;
    size_t m_next = 0;
};

uint32_t ToByte(float f)
{
    if (!(f > 0.0f))
        return 0;
    if (f >= 1.0f)
        return 255;
    return static_cast<uint32_t>(f * 255.0f + 0.5f);
}

class SceneBuilder {
public:
    SceneBuilder(const XFileDocument& doc, XScene& scene) : m_doc(doc), m_scene(scene) {}

    void Run()
    {
        std::vector<uint32_t> rootFrames;
        std::vector<uint32_t> rootMeshes;
        for (uint32_t index : m_doc.TopLevel()) {
            const XObject& obj = m_doc.Objects()[index];
            if (Is(obj.templateName, "Frame")) {
                rootFrames.push_back(BuildFrame(index, 1));
            } else if (Is(obj.templateName, "Mesh")) {
                rootMeshes.push_back(MeshOf(index));
                CountInstance(rootMeshes.back());
            } else if (Is(obj.templateName, "AnimationSet")) {
                BuildAnimationSet(obj);
            } else if (Is(obj.templateName, "AnimTicksPerSecond")) {
                Values v(obj, m_budget);
                uint32_t ticks = v.Dword("AnimTicksPerSecond");
                if (ticks == 0)
                    Fail("AnimTicksPerSecond: zero ticks per second");
                m_scene.ticksPerSecond = ticks;
            }
            // Header, top-level materials and unknown templates: nothing to build.
        }
        m_scene.hasGeometry = !rootFrames.empty() || !rootMeshes.empty();
        if (rootFrames.size() == 1 && rootMeshes.empty()) {
            m_scene.root = rootFrames[0];
        } else {
            m_scene.root = NewFrame();
            m_scene.frames[m_scene.root].children = rootFrames;
            m_scene.frames[m_scene.root].meshes = rootMeshes;
        }
    }

private:
    uint32_t NewFrame()
    {
        if (m_scene.frames.size() >= XLimits::kMaxFrames)
            Fail("too many frames (a model may have " + std::to_string(XLimits::kMaxFrames) + ")");
        m_scene.frames.emplace_back();
        return static_cast<uint32_t>(m_scene.frames.size() - 1);
    }

    // Each time a frame holds a mesh, the loader builds all of it again.
    void CountInstance(uint32_t index)
    {
        const XMesh& mesh = m_scene.meshes[index];
        size_t triangles = 0, weights = 0;
        for (uint32_t corners : mesh.faceSizes)
            triangles += corners - 2;
        for (const XSkinWeights& s : mesh.skins)
            weights += s.vertices.size();
        Count(m_instances.containers, 1, XLimits::kMaxMeshContainers, "mesh instances");
        Count(m_instances.faces, triangles, XLimits::kMaxFaces, "faces");
        Count(m_instances.vertices, mesh.NumVertices(), XLimits::kMaxVertices, "vertices");
        Count(m_instances.materials, mesh.materials.size(), XLimits::kMaxMaterials, "materials");
        Count(m_instances.bones, mesh.skins.size(), XLimits::kMaxBones, "bones");
        Count(m_instances.weights, weights, XLimits::kMaxBoneWeights, "bone weights");
    }

    static void Count(size_t& total, size_t more, size_t limit, const char* what)
    {
        total += more;
        if (total > limit)
            Fail(std::string("too many ") + what + " (a model may have " + std::to_string(limit) + ")");
    }

    // The object a reference names; references that lead back into an object being built
    // would never end.
    uint32_t Resolve(std::string_view name, const char* within)
    {
        uint32_t target = m_doc.FindNamed(name);
        if (target == XChild::kNone)
            Fail(std::string(within) + ": reference to an unknown object '" + std::string(name) + "'");
        return target;
    }

    uint32_t BuildFrame(uint32_t objIndex, int depth)
    {
        if (depth > XLimits::kMaxDepth)
            Fail("Frame: hierarchy nested too deeply");
        if (std::find(m_building.begin(), m_building.end(), objIndex) != m_building.end())
            Fail("Frame: reference cycle through '" + std::string(m_doc.Objects()[objIndex].name) + "'");
        m_building.push_back(objIndex);

        const XObject& obj = m_doc.Objects()[objIndex];
        Values::Charge(obj, m_budget);
        uint32_t frame = NewFrame();
        m_scene.frames[frame].name = std::string(obj.name);
        for (const XChild& c : obj.children) {
            uint32_t childIndex = c.IsReference() ? Resolve(c.reference, "Frame") : c.object;
            const XObject& child = m_doc.Objects()[childIndex];
            if (Is(child.templateName, "FrameTransformMatrix")) {
                if (c.IsReference())
                    continue;
                Values v(child, m_budget);
                float* m = m_scene.frames[frame].matrix;
                for (int i = 0; i < 16; ++i)
                    m[i] = v.Float("frameMatrix");
            } else if (Is(child.templateName, "Frame")) {
                uint32_t sub = BuildFrame(childIndex, depth + 1);
                m_scene.frames[frame].children.push_back(sub);
            } else if (Is(child.templateName, "Mesh")) {
                uint32_t mesh = MeshOf(childIndex);
                CountInstance(mesh);
                m_scene.frames[frame].meshes.push_back(mesh);
            }
        }
        m_building.pop_back();
        return frame;
    }

    uint32_t MeshOf(uint32_t objIndex)
    {
        auto it = m_meshOfObject.find(objIndex);
        if (it != m_meshOfObject.end())
            return it->second;
        XMesh mesh;
        BuildMesh(m_doc.Objects()[objIndex], mesh);
        m_scene.meshes.push_back(std::move(mesh));
        uint32_t index = static_cast<uint32_t>(m_scene.meshes.size() - 1);
        m_meshOfObject.emplace(objIndex, index);
        return index;
    }

    // Polygons as in Mesh and MeshNormals: a count, then per polygon its corner count and
    // corners. Every corner index must be below `limit`.
    static void ReadPolygons(Values& v, uint32_t count, uint32_t limit, std::vector<uint32_t>& sizes,
                             std::vector<uint32_t>& indices, const char* field)
    {
        v.Expect(count, 4, field);  // a polygon has at least a count and three corners
        sizes.reserve(count);
        indices.reserve(static_cast<size_t>(count) * 3);
        for (uint32_t f = 0; f < count; ++f) {
            uint32_t n = v.Dword(field);
            if (n < 3)
                Fail(v.Context() + "a face with fewer than three corners");
            v.Expect(n, 1, field);
            sizes.push_back(n);
            for (uint32_t k = 0; k < n; ++k) {
                uint32_t idx = v.Dword(field);
                if (idx >= limit)
                    Fail(v.Context() + "index out of range in " + field);
                indices.push_back(idx);
            }
        }
    }

    void BuildMesh(const XObject& obj, XMesh& mesh)
    {
        mesh.name = std::string(obj.name);
        Values v(obj, m_budget);
        uint32_t nVertices = v.Dword("nVertices");
        v.Expect(nVertices, 3, "nVertices");
        mesh.positions.resize(static_cast<size_t>(nVertices) * 3);
        for (float& f : mesh.positions)
            f = v.Float("vertices");
        uint32_t nFaces = v.Dword("nFaces");
        ReadPolygons(v, nFaces, nVertices, mesh.faceSizes, mesh.faceIndices, "faces");

        for (const XChild& c : obj.children) {
            uint32_t childIndex = c.IsReference() ? Resolve(c.reference, "Mesh") : c.object;
            const XObject& child = m_doc.Objects()[childIndex];
            const std::string_view t = child.templateName;
            if (Is(t, "MeshNormals"))
                BuildNormals(child, mesh);
            else if (Is(t, "MeshTextureCoords"))
                BuildTexcoords(child, mesh);
            else if (Is(t, "MeshVertexColors"))
                BuildColors(child, mesh);
            else if (Is(t, "MeshMaterialList"))
                BuildMaterialList(child, mesh);
            else if (Is(t, "XSkinMeshHeader"))
                BuildSkinHeader(child, mesh);
            else if (Is(t, "SkinWeights"))
                BuildSkinWeights(child, mesh);
            else if (Is(t, "VertexDuplicationIndices"))
                CheckDuplicationIndices(child, mesh);
        }
    }

    void BuildNormals(const XObject& obj, XMesh& mesh)
    {
        Values v(obj, m_budget);
        uint32_t n = v.Dword("nNormals");
        v.Expect(n, 3, "nNormals");
        mesh.normals.assign(static_cast<size_t>(n) * 3, 0.0f);
        for (float& f : mesh.normals)
            f = v.Float("normals");
        uint32_t nFaces = v.Dword("nFaceNormals");
        if (nFaces != mesh.NumFaces())
            Fail("MeshNormals: nFaceNormals differs from the mesh's face count");
        std::vector<uint32_t> sizes;
        mesh.normalIndices.clear();
        ReadPolygons(v, nFaces, n, sizes, mesh.normalIndices, "faceNormals");
        if (sizes != mesh.faceSizes)
            Fail("MeshNormals: a face's normals do not match its corners");
    }

    void BuildTexcoords(const XObject& obj, XMesh& mesh)
    {
        Values v(obj, m_budget);
        uint32_t n = v.Dword("nTextureCoords");
        if (n != mesh.NumVertices())
            Fail("MeshTextureCoords: nTextureCoords differs from the vertex count");
        v.Expect(n, 2, "nTextureCoords");
        mesh.texcoords.resize(static_cast<size_t>(n) * 2);
        for (float& f : mesh.texcoords)
            f = v.Float("textureCoords");
    }

    void BuildColors(const XObject& obj, XMesh& mesh)
    {
        Values v(obj, m_budget);
        uint32_t n = v.Dword("nVertexColors");
        v.Expect(n, 5, "nVertexColors");
        mesh.colors.assign(mesh.NumVertices(), 0xFFFFFFFFu);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t index = v.Dword("index");
            if (index >= mesh.NumVertices())
                Fail("MeshVertexColors: index out of range");
            float r = v.Float("red"), g = v.Float("green"), b = v.Float("blue"), a = v.Float("alpha");
            mesh.colors[index] = (ToByte(a) << 24) | (ToByte(r) << 16) | (ToByte(g) << 8) | ToByte(b);
        }
    }

    void BuildMaterialList(const XObject& obj, XMesh& mesh)
    {
        Values v(obj, m_budget);
        uint32_t nMaterials = v.Dword("nMaterials");
        uint32_t nIndexes = v.Dword("nFaceIndexes");
        v.Expect(nIndexes, 1, "nFaceIndexes");
        mesh.faceMaterials.assign(mesh.NumFaces(), 0);
        // Fewer indices than faces: the rest of the faces keep the last index given.
        uint32_t last = 0;
        for (uint32_t i = 0; i < nIndexes; ++i) {
            uint32_t m = v.Dword("faceIndexes");
            if (m >= nMaterials)
                Fail("MeshMaterialList: material index out of range");
            if (i < mesh.NumFaces())
                mesh.faceMaterials[i] = m;
            last = m;
        }
        for (uint32_t i = nIndexes; i < mesh.NumFaces(); ++i)
            mesh.faceMaterials[i] = last;

        mesh.materials.clear();
        for (const XChild& c : obj.children) {
            uint32_t childIndex = c.IsReference() ? Resolve(c.reference, "MeshMaterialList") : c.object;
            const XObject& child = m_doc.Objects()[childIndex];
            if (!Is(child.templateName, "Material")) {
                if (c.IsReference())
                    Fail("MeshMaterialList: reference to '" + std::string(c.reference) + "', which is no Material");
                continue;
            }
            if (mesh.materials.size() == nMaterials)
                break;
            mesh.materials.push_back(BuildMaterial(child));
        }
        if (mesh.materials.size() != nMaterials)
            Fail("MeshMaterialList: fewer materials than nMaterials");
        if (nMaterials == 0 && mesh.NumFaces() > 0)
            Fail("MeshMaterialList: faces but no material");
    }

    XMaterial BuildMaterial(const XObject& obj)
    {
        XMaterial m;
        Values v(obj, m_budget);
        for (float& f : m.diffuse)
            f = v.Float("faceColor");
        m.power = v.Float("power");
        for (float& f : m.specular)
            f = v.Float("specularColor");
        for (float& f : m.emissive)
            f = v.Float("emissiveColor");
        for (const XChild& c : obj.children) {
            uint32_t childIndex = c.IsReference() ? Resolve(c.reference, "Material") : c.object;
            const XObject& child = m_doc.Objects()[childIndex];
            if (Is(child.templateName, "TextureFilename")) {
                Values t(child, m_budget);
                m.textureFilename = std::string(t.String("filename"));
            }
        }
        return m;
    }

    void BuildSkinHeader(const XObject& obj, XMesh& mesh)
    {
        Values v(obj, m_budget);
        mesh.maxWeightsPerVertex = v.Dword("nMaxSkinWeightsPerVertex");
        mesh.maxWeightsPerFace = v.Dword("nMaxSkinWeightsPerFace");
        v.Dword("nBones");
    }

    void BuildSkinWeights(const XObject& obj, XMesh& mesh)
    {
        XSkinWeights s;
        Values v(obj, m_budget);
        s.boneName = std::string(v.String("transformNodeName"));
        uint32_t n = v.Dword("nWeights");
        v.Expect(n, 2, "nWeights");
        s.vertices.resize(n);
        for (uint32_t& i : s.vertices) {
            i = v.Dword("vertexIndices");
            if (i >= mesh.NumVertices())
                Fail("SkinWeights: vertex index out of range");
        }
        s.weights.resize(n);
        for (float& w : s.weights)
            w = v.Float("weights");
        for (float& f : s.offset)
            f = v.Float("matrixOffset");
        mesh.skins.push_back(std::move(s));
    }

    void CheckDuplicationIndices(const XObject& obj, const XMesh& mesh)
    {
        Values v(obj, m_budget);
        uint32_t n = v.Dword("nIndices");
        uint32_t original = v.Dword("nOriginalVertices");
        v.Expect(n, 1, "nIndices");
        for (uint32_t i = 0; i < n; ++i)
            if (v.Dword("indices") >= std::max(original, mesh.NumVertices()))
                Fail("VertexDuplicationIndices: index out of range");
    }

    void BuildAnimationSet(const XObject& obj)
    {
        Values::Charge(obj, m_budget);
        XAnimationSet set;
        set.name = std::string(obj.name);
        for (const XChild& c : obj.children) {
            uint32_t childIndex = c.IsReference() ? Resolve(c.reference, "AnimationSet") : c.object;
            const XObject& child = m_doc.Objects()[childIndex];
            if (Is(child.templateName, "Animation"))
                set.animations.push_back(BuildAnimation(child));
        }
        m_scene.animationSets.push_back(std::move(set));
    }

    XAnimation BuildAnimation(const XObject& obj)
    {
        Values::Charge(obj, m_budget);
        XAnimation a;
        for (const XChild& c : obj.children) {
            if (c.IsReference()) {
                Resolve(c.reference, "Animation");
                a.frameName = std::string(c.reference);
                continue;
            }
            const XObject& child = m_doc.Objects()[c.object];
            if (Is(child.templateName, "AnimationKey")) {
                BuildKeys(child, a);
            } else if (Is(child.templateName, "AnimationOptions")) {
                Values v(child, m_budget);
                a.openClosed = v.Dword("openclosed");
                a.positionQuality = v.Dword("positionquality");
                a.openClosedGiven = true;
            } else if (Is(child.templateName, "Frame") && a.frameName.empty()) {
                // Some writers nest the animated frame instead of referring to it.
                a.frameName = std::string(child.name);
            }
        }
        return a;
    }

    template <int N>
    static void ReadKeys(Values& v, uint32_t count, std::vector<XKey<N>>& keys)
    {
        v.Expect(count, 2 + N, "nKeys");
        keys.reserve(keys.size() + count);
        for (uint32_t i = 0; i < count; ++i) {
            XKey<N> k;
            k.time = v.Dword("time");
            if (v.Dword("nValues") != N)
                Fail(v.Context() + "a key with the wrong number of values for its type");
            for (float& f : k.value)
                f = v.Float("values");
            keys.push_back(k);
        }
        // Keys are looked up by time; a file that lists them out of order still plays.
        std::stable_sort(keys.begin(), keys.end(), [](const XKey<N>& x, const XKey<N>& y) { return x.time < y.time; });
    }

    void BuildKeys(const XObject& obj, XAnimation& a)
    {
        Values v(obj, m_budget);
        uint32_t type = v.Dword("keyType");
        uint32_t count = v.Dword("nKeys");
        switch (type) {
        case 0: ReadKeys(v, count, a.rotations); break;
        case 1: ReadKeys(v, count, a.scales); break;
        case 2: ReadKeys(v, count, a.positions); break;
        case 3:  // older writers number the matrix keys 3
        case 4: ReadKeys(v, count, a.matrices); break;
        default: Fail("AnimationKey: unknown key type " + std::to_string(type));
        }
    }

    const XFileDocument& m_doc;
    XScene& m_scene;
    std::vector<uint32_t> m_building;
    std::unordered_map<uint32_t, uint32_t> m_meshOfObject;
    struct Instances {
        size_t containers = 0, faces = 0, vertices = 0, materials = 0, bones = 0, weights = 0;
    } m_instances;
    size_t m_budget = XLimits::kMaxSceneElements;
};

} // namespace

bool BuildScene(const XFileDocument& doc, XScene& scene, std::string& error)
{
    scene = XScene();
    try {
        SceneBuilder(doc, scene).Run();
        return true;
    } catch (const SceneError& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    }
    scene = XScene();
    return false;
}

bool LoadScene(const void* data, size_t size, XScene& scene, std::string& error)
{
    XFileDocument doc;
    if (!doc.Parse(data, size)) {
        error = doc.Error();
        scene = XScene();
        return false;
    }
    return BuildScene(doc, scene, error);
}

} // namespace xfile
