// Reads back the text .x subset that WriteText produces: a generic tree of data objects, then
// the templates the game's models use. Separators (';' and ',') are not significant here.
#include "tools/datagen/models/XModel.h"

#include <cctype>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace xmodel {

namespace {

struct XObj {
    std::string type, name;
    std::vector<double> numbers;
    std::vector<std::string> strings;
    std::vector<std::unique_ptr<XObj>> children;
    std::vector<std::string> references;
};

class CParser {
public:
    explicit CParser(const std::string& t) : m_T(t) {}

    std::vector<std::unique_ptr<XObj>> Document()
    {
        if (m_T.compare(0, 11, "xof 0303txt") != 0)
            Fail("not a text .x file");
        m_P = 16;
        std::vector<std::unique_ptr<XObj>> top;
        for (;;) {
            Skip();
            if (m_P >= m_T.size())
                return top;
            if (!SkipTemplate())
                top.push_back(Object());
        }
    }

private:
    const std::string& m_T;
    size_t m_P = 0;
    int m_Depth = 0;

    [[noreturn]] void Fail(const std::string& why) const
    {
        throw std::runtime_error(".x text at byte " + std::to_string(m_P) + ": " + why);
    }

    void Skip()
    {
        while (m_P < m_T.size()) {
            const char c = m_T[m_P];
            if (std::isspace(static_cast<unsigned char>(c)) || c == ';' || c == ',')
                ++m_P;
            else if (c == '#' || (c == '/' && m_P + 1 < m_T.size() && m_T[m_P + 1] == '/')) {
                while (m_P < m_T.size() && m_T[m_P] != '\n')
                    ++m_P;
            } else
                break;
        }
    }

    static bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.'; }

    std::string Name()
    {
        const size_t s = m_P;
        while (m_P < m_T.size() && NameChar(m_T[m_P]))
            ++m_P;
        if (s == m_P)
            Fail("a name was expected");
        return m_T.substr(s, m_P - s);
    }

    // "template Name { <guid> members [restrictions] }": the reader knows the templates it reads,
    // so declarations are passed over. Their bodies hold no braces.
    bool SkipTemplate()
    {
        if (m_T.compare(m_P, 8, "template") != 0 || (m_P + 8 < m_T.size() && NameChar(m_T[m_P + 8])))
            return false;
        const size_t close = m_T.find('}', m_P);
        if (close == std::string::npos)
            Fail("a template declaration does not end");
        m_P = close + 1;
        return true;
    }

    void Expect(char c)
    {
        Skip();
        if (m_P >= m_T.size() || m_T[m_P] != c)
            Fail(std::string("'") + c + "' was expected");
        ++m_P;
    }

    std::unique_ptr<XObj> Object()
    {
        if (++m_Depth > 64)
            Fail("objects nested too deep");
        auto o = std::make_unique<XObj>();
        Skip();
        o->type = Name();
        Skip();
        if (m_P < m_T.size() && m_T[m_P] != '{')
            o->name = Name();
        Expect('{');
        for (;;) {
            Skip();
            if (m_P >= m_T.size())
                Fail("the file ends inside " + o->type);
            const char c = m_T[m_P];
            if (c == '}') {
                ++m_P;
                break;
            }
            if (c == '{') {
                ++m_P;
                Skip();
                o->references.push_back(Name());
                Expect('}');
            } else if (c == '"') {
                const size_t e = m_T.find('"', m_P + 1);
                if (e == std::string::npos)
                    Fail("a string does not end");
                o->strings.push_back(m_T.substr(m_P + 1, e - m_P - 1));
                m_P = e + 1;
            } else if (c == '-' || c == '+' || c == '.' || std::isdigit(static_cast<unsigned char>(c))) {
                const char* start = m_T.c_str() + m_P;
                char* end = nullptr;
                const double v = std::strtod(start, &end);
                if (end == start)
                    Fail("a number was expected");
                m_P += static_cast<size_t>(end - start);
                o->numbers.push_back(v);
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                o->children.push_back(Object());
            } else
                Fail(std::string("unexpected character '") + c + "'");
        }
        --m_Depth;
        return o;
    }
};

class CReader {
public:
    explicit CReader(const XObj& o, const char* what) : m_O(o), m_What(what) {}
    double Next()
    {
        if (m_I >= m_O.numbers.size())
            throw std::runtime_error(std::string(".x text: ") + m_What + " " + m_O.name + " is short");
        return m_O.numbers[m_I++];
    }
    uint32_t Count(size_t limit = 50000000)
    {
        const double v = Next();
        if (!(v >= 0 && v <= static_cast<double>(limit)))
            throw std::runtime_error(std::string(".x text: ") + m_What + " has a bad count");
        return static_cast<uint32_t>(v);
    }
    float F() { return static_cast<float>(Next()); }
    Vec3 V() { return {F(), F(), F()}; }
    Mat4 M()
    {
        Mat4 m;
        for (float& v : m.m)
            v = F();
        return m;
    }

private:
    const XObj& m_O;
    const char* m_What;
    size_t m_I = 0;
};

std::vector<std::array<uint32_t, 3>> Faces(CReader& r)
{
    const uint32_t n = r.Count();
    std::vector<std::array<uint32_t, 3>> faces(n);
    for (auto& f : faces) {
        if (r.Count() != 3)
            throw std::runtime_error(".x text: only triangles are read");
        f = {r.Count(), r.Count(), r.Count()};
    }
    return faces;
}

Mesh ReadMesh(const XObj& o)
{
    Mesh m;
    m.name = o.name;
    CReader r(o, "Mesh");
    m.positions.resize(r.Count());
    for (Vec3& p : m.positions)
        p = r.V();
    m.faces = Faces(r);
    for (const auto& c : o.children) {
        if (c->type == "MeshNormals") {
            CReader n(*c, "MeshNormals");
            std::vector<Vec3> normals(n.Count());
            for (Vec3& v : normals)
                v = n.V();
            const auto nf = Faces(n);
            if (nf.size() != m.faces.size())
                throw std::runtime_error(".x text: normal faces do not match the faces");
            // Normals by position index, as the writer pairs them.
            m.normals.assign(m.positions.size(), Vec3{0, 1, 0});
            for (size_t f = 0; f < nf.size(); ++f)
                for (int k = 0; k < 3; ++k)
                    if (m.faces[f][k] < m.normals.size() && nf[f][k] < normals.size())
                        m.normals[m.faces[f][k]] = normals[nf[f][k]];
        } else if (c->type == "MeshTextureCoords") {
            CReader t(*c, "MeshTextureCoords");
            m.uvs.resize(t.Count());
            for (auto& uv : m.uvs)
                uv = {t.F(), t.F()};
        } else if (c->type == "MeshMaterialList") {
            CReader l(*c, "MeshMaterialList");
            const uint32_t materials = l.Count();
            m.faceMaterials.resize(l.Count());
            for (uint32_t& f : m.faceMaterials)
                f = l.Count();
            for (const auto& mc : c->children) {
                if (mc->type != "Material")
                    continue;
                CReader x(*mc, "Material");
                Material mat;
                mat.diffuse = {x.F(), x.F(), x.F(), x.F()};
                mat.power = x.F();
                mat.specular = x.V();
                mat.emissive = x.V();
                for (const auto& tc : mc->children)
                    if (tc->type == "TextureFilename" && !tc->strings.empty())
                        mat.texture = tc->strings[0];
                m.materials.push_back(mat);
            }
            if (m.materials.size() != materials)
                throw std::runtime_error(".x text: material count does not match");
        } else if (c->type == "SkinWeights") {
            CReader w(*c, "SkinWeights");
            SkinBone b;
            if (c->strings.empty())
                throw std::runtime_error(".x text: a bone without a name");
            b.frame = c->strings[0];
            b.vertices.resize(w.Count());
            for (uint32_t& v : b.vertices)
                v = w.Count();
            b.weights.resize(b.vertices.size());
            for (float& v : b.weights)
                v = w.F();
            b.offset = w.M();
            m.bones.push_back(b);
        }
    }
    return m;
}

Frame ReadFrame(const XObj& o)
{
    Frame f;
    f.name = o.name;
    for (const auto& c : o.children) {
        if (c->type == "FrameTransformMatrix") {
            CReader r(*c, "FrameTransformMatrix");
            f.transform = r.M();
        } else if (c->type == "Mesh")
            f.meshes.push_back(ReadMesh(*c));
        else if (c->type == "Frame")
            f.children.push_back(ReadFrame(*c));
    }
    return f;
}

AnimationSet ReadSet(const XObj& o)
{
    AnimationSet s;
    s.name = o.name;
    for (const auto& a : o.children) {
        if (a->type != "Animation")
            continue;
        Animation anim;
        if (!a->references.empty())
            anim.frame = a->references[0];
        for (const auto& k : a->children) {
            if (k->type != "AnimationKey")
                continue;
            CReader r(*k, "AnimationKey");
            if (r.Count() != 4)
                throw std::runtime_error(".x text: only matrix keys are read");
            anim.keys.resize(r.Count());
            for (Key& key : anim.keys) {
                key.tick = r.Count(0xFFFFFFFFu);
                if (r.Count() != 16)
                    throw std::runtime_error(".x text: a matrix key without 16 values");
                key.value = r.M();
            }
        }
        s.animations.push_back(anim);
    }
    return s;
}

} // namespace

Model ReadText(const std::string& text)
{
    CParser parser(text);
    const auto top = parser.Document();
    Model model;
    for (const auto& o : top) {
        if (o->type == "AnimTicksPerSecond") {
            CReader r(*o, "AnimTicksPerSecond");
            model.ticksPerSecond = r.Count(0xFFFFFFFFu);
        } else if (o->type == "Frame")
            model.roots.push_back(ReadFrame(*o));
        else if (o->type == "AnimationSet")
            model.sets.push_back(ReadSet(*o));
    }
    return model;
}

} // namespace xmodel
