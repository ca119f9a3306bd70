// The text encoding of DirectX .x files, for the subset the game's models use.
#include "tools/datagen/models/XModel.h"

#include <cstdio>
#include <algorithm>
#include <cstring>

namespace xmodel {

namespace {

class CTextOut {
public:
    std::string text;

    void Line(int indent, const std::string& s)
    {
        text.append(static_cast<size_t>(indent), ' ');
        text += s;
        text += '\n';
    }
};

// Fixed precision keeps the bytes the same from run to run; a negative zero is written as zero.
std::string Num(float v)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(v));
    if (std::strcmp(buf, "-0.000000") == 0)
        return "0.000000";
    return buf;
}

std::string Matrix(const Mat4& m)
{
    std::string s;
    for (int i = 0; i < 16; ++i) {
        s += Num(m.m[i]);
        s += i == 15 ? ";;" : ",";
    }
    return s;
}

// An array of numbers, one per line in groups, "," between and ";" after the last.
template <class T, class F>
void List(CTextOut& out, int indent, const std::vector<T>& items, F&& format, const char* end = ";")
{
    for (size_t i = 0; i < items.size(); ++i)
        out.Line(indent, format(items[i]) + (i + 1 == items.size() ? end : ","));
}

void WriteMaterial(CTextOut& out, int indent, const Material& m)
{
    out.Line(indent, "Material {");
    out.Line(indent + 1, Num(m.diffuse.r) + ";" + Num(m.diffuse.g) + ";" + Num(m.diffuse.b) + ";" + Num(m.diffuse.a) + ";;");
    out.Line(indent + 1, Num(m.power) + ";");
    out.Line(indent + 1, Num(m.specular.x) + ";" + Num(m.specular.y) + ";" + Num(m.specular.z) + ";;");
    out.Line(indent + 1, Num(m.emissive.x) + ";" + Num(m.emissive.y) + ";" + Num(m.emissive.z) + ";;");
    if (!m.texture.empty()) {
        out.Line(indent + 1, "TextureFilename {");
        out.Line(indent + 2, "\"" + m.texture + "\";");
        out.Line(indent + 1, "}");
    }
    out.Line(indent, "}");
}

void WriteMesh(CTextOut& out, int indent, const Mesh& mesh)
{
    out.Line(indent, "Mesh " + mesh.name + (mesh.name.empty() ? "{" : " {"));
    const int in = indent + 1;
    auto vec = [](const Vec3& v) { return Num(v.x) + ";" + Num(v.y) + ";" + Num(v.z) + ";"; };
    auto face = [](const std::array<uint32_t, 3>& f) {
        return "3;" + std::to_string(f[0]) + "," + std::to_string(f[1]) + "," + std::to_string(f[2]) + ";";
    };
    out.Line(in, std::to_string(mesh.positions.size()) + ";");
    List(out, in, mesh.positions, vec, ";");
    out.Line(in, std::to_string(mesh.faces.size()) + ";");
    List(out, in, mesh.faces, face, ";");

    out.Line(in, "MeshNormals {");
    out.Line(in + 1, std::to_string(mesh.normals.size()) + ";");
    List(out, in + 1, mesh.normals, vec, ";");
    out.Line(in + 1, std::to_string(mesh.faces.size()) + ";");
    List(out, in + 1, mesh.faces, face, ";");
    out.Line(in, "}");

    out.Line(in, "MeshTextureCoords {");
    out.Line(in + 1, std::to_string(mesh.uvs.size()) + ";");
    List(out, in + 1, mesh.uvs, [](const std::array<float, 2>& t) { return Num(t[0]) + ";" + Num(t[1]) + ";"; }, ";");
    out.Line(in, "}");

    out.Line(in, "MeshMaterialList {");
    out.Line(in + 1, std::to_string(mesh.materials.size()) + ";");
    out.Line(in + 1, std::to_string(mesh.faceMaterials.size()) + ";");
    List(out, in + 1, mesh.faceMaterials, [](uint32_t m) { return std::to_string(m); }, ";");
    for (const Material& m : mesh.materials)
        WriteMaterial(out, in + 1, m);
    out.Line(in, "}");

    if (!mesh.bones.empty()) {
        // The most bones any vertex and any face depend on.
        std::vector<std::vector<uint32_t>> byVertex(mesh.positions.size());
        for (uint32_t b = 0; b < mesh.bones.size(); ++b)
            for (uint32_t v : mesh.bones[b].vertices)
                byVertex[v].push_back(b);
        size_t perVertex = 0, perFace = 0;
        for (const auto& l : byVertex)
            perVertex = std::max(perVertex, l.size());
        for (const auto& f : mesh.faces) {
            std::vector<uint32_t> u;
            for (uint32_t v : f)
                u.insert(u.end(), byVertex[v].begin(), byVertex[v].end());
            std::sort(u.begin(), u.end());
            perFace = std::max(perFace, static_cast<size_t>(std::unique(u.begin(), u.end()) - u.begin()));
        }
        out.Line(in, "XSkinMeshHeader {");
        out.Line(in + 1, std::to_string(perVertex) + ";");
        out.Line(in + 1, std::to_string(perFace) + ";");
        out.Line(in + 1, std::to_string(mesh.bones.size()) + ";");
        out.Line(in, "}");
        for (const SkinBone& b : mesh.bones) {
            out.Line(in, "SkinWeights {");
            out.Line(in + 1, "\"" + b.frame + "\";");
            out.Line(in + 1, std::to_string(b.vertices.size()) + ";");
            if (b.vertices.empty()) {
                out.Line(in + 1, ";");
                out.Line(in + 1, ";");
            } else {
                List(out, in + 1, b.vertices, [](uint32_t v) { return std::to_string(v); }, ";");
                List(out, in + 1, b.weights, [](float w) { return Num(w); }, ";");
            }
            out.Line(in + 1, Matrix(b.offset));
            out.Line(in, "}");
        }
    }
    out.Line(indent, "}");
}

// The standard templates, declared in the file's header as exporters of the format do, so that
// a reader that knows none of them beforehand still reads the file. Each comes after the
// templates its members name; a file declares only those it uses.
enum TemplateUse : unsigned { kFrames = 1, kMeshes = 2, kTextures = 4, kSkins = 8, kAnimations = 16 };

struct TemplateDecl {
    unsigned use;
    const char* text;
};

const TemplateDecl kTemplates[] = {
    {kMeshes, "template Vector { <3D82AB5E-62DA-11cf-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }"},
    {kMeshes, "template Coords2d { <F6F23F44-7686-11cf-8F52-0040333594A3> FLOAT u; FLOAT v; }"},
    {kFrames, "template Matrix4x4 { <F6F23F45-7686-11cf-8F52-0040333594A3> array FLOAT matrix[16]; }"},
    {kMeshes, "template ColorRGBA { <35FF44E0-6C7C-11cf-8F52-0040333594A3> FLOAT red; FLOAT green; FLOAT blue; "
              "FLOAT alpha; }"},
    {kMeshes, "template ColorRGB { <D3E16E81-7835-11cf-8F52-0040333594A3> FLOAT red; FLOAT green; FLOAT blue; }"},
    {kTextures, "template TextureFilename { <A42790E1-7810-11cf-8F52-0040333594A3> STRING filename; }"},
    {kMeshes, "template Material { <3D82AB4D-62DA-11cf-AB39-0020AF71E433> ColorRGBA faceColor; FLOAT power; "
              "ColorRGB specularColor; ColorRGB emissiveColor; [...] }"},
    {kMeshes, "template MeshFace { <3D82AB5F-62DA-11cf-AB39-0020AF71E433> DWORD nFaceVertexIndices; "
              "array DWORD faceVertexIndices[nFaceVertexIndices]; }"},
    {kMeshes, "template MeshTextureCoords { <F6F23F40-7686-11cf-8F52-0040333594A3> DWORD nTextureCoords; "
              "array Coords2d textureCoords[nTextureCoords]; }"},
    {kMeshes, "template MeshMaterialList { <F6F23F42-7686-11cf-8F52-0040333594A3> DWORD nMaterials; "
              "DWORD nFaceIndexes; array DWORD faceIndexes[nFaceIndexes]; [Material <3D82AB4D-62DA-11cf-AB39-0020AF71E433>] }"},
    {kMeshes, "template MeshNormals { <F6F23F43-7686-11cf-8F52-0040333594A3> DWORD nNormals; "
              "array Vector normals[nNormals]; DWORD nFaceNormals; array MeshFace faceNormals[nFaceNormals]; }"},
    {kSkins, "template XSkinMeshHeader { <3CF169CE-FF7C-44ab-93C0-F78F62D172E2> WORD nMaxSkinWeightsPerVertex; "
             "WORD nMaxSkinWeightsPerFace; WORD nBones; }"},
    {kSkins, "template SkinWeights { <6F0D123B-BAD2-4167-A0D0-80224F25FABB> STRING transformNodeName; DWORD nWeights; "
             "array DWORD vertexIndices[nWeights]; array FLOAT weights[nWeights]; Matrix4x4 matrixOffset; }"},
    {kMeshes, "template Mesh { <3D82AB44-62DA-11cf-AB39-0020AF71E433> DWORD nVertices; array Vector vertices[nVertices]; "
              "DWORD nFaces; array MeshFace faces[nFaces]; [...] }"},
    {kFrames, "template FrameTransformMatrix { <F6F23F41-7686-11cf-8F52-0040333594A3> Matrix4x4 frameMatrix; }"},
    {kFrames, "template Frame { <3D82AB46-62DA-11cf-AB39-0020AF71E433> [...] }"},
    {kAnimations, "template AnimTicksPerSecond { <9E415A43-7BA6-4a73-8743-B73D47E88476> DWORD AnimTicksPerSecond; }"},
    {kAnimations, "template FloatKeys { <10DD46A9-775B-11cf-8F52-0040333594A3> DWORD nValues; array FLOAT values[nValues]; }"},
    {kAnimations, "template TimedFloatKeys { <F406B180-7B3B-11cf-8F52-0040333594A3> DWORD time; FloatKeys tfkeys; }"},
    {kAnimations, "template AnimationKey { <10DD46A8-775B-11cf-8F52-0040333594A3> DWORD keyType; DWORD nKeys; "
                  "array TimedFloatKeys keys[nKeys]; }"},
    {kAnimations, "template Animation { <3D82AB4F-62DA-11cf-AB39-0020AF71E433> [...] }"},
    {kAnimations, "template AnimationSet { <3D82AB50-62DA-11cf-AB39-0020AF71E433> "
                  "[Animation <3D82AB4F-62DA-11cf-AB39-0020AF71E433>] }"},
};

unsigned FrameUses(const Frame& f)
{
    unsigned use = kFrames;
    for (const Mesh& m : f.meshes) {
        use |= kMeshes;
        for (const Material& mat : m.materials)
            if (!mat.texture.empty())
                use |= kTextures;
        if (!m.bones.empty())
            use |= kSkins;
    }
    for (const Frame& c : f.children)
        use |= FrameUses(c);
    return use;
}

void WriteTemplates(CTextOut& out, const Model& model)
{
    unsigned use = model.sets.empty() ? 0u : static_cast<unsigned>(kAnimations);
    for (const Frame& f : model.roots)
        use |= FrameUses(f);
    for (const TemplateDecl& t : kTemplates)
        if (t.use & use)
            out.Line(0, t.text);
}

void WriteFrame(CTextOut& out, int indent, const Frame& f)
{
    out.Line(indent, "Frame " + f.name + " {");
    out.Line(indent + 1, "FrameTransformMatrix {");
    out.Line(indent + 2, Matrix(f.transform));
    out.Line(indent + 1, "}");
    for (const Mesh& m : f.meshes)
        WriteMesh(out, indent + 1, m);
    for (const Frame& c : f.children)
        WriteFrame(out, indent + 1, c);
    out.Line(indent, "}");
}

} // namespace

std::string WriteText(const Model& model)
{
    CTextOut out;
    out.text = "xof 0303txt 0032\n";
    WriteTemplates(out, model);
    if (!model.sets.empty()) {
        out.Line(0, "AnimTicksPerSecond {");
        out.Line(1, std::to_string(model.ticksPerSecond) + ";");
        out.Line(0, "}");
    }
    for (const Frame& f : model.roots)
        WriteFrame(out, 0, f);
    for (const AnimationSet& s : model.sets) {
        out.Line(0, "AnimationSet " + s.name + " {");
        for (const Animation& a : s.animations) {
            out.Line(1, "Animation {");
            out.Line(2, "{ " + a.frame + " }");
            out.Line(2, "AnimationKey {");
            out.Line(3, "4;");
            out.Line(3, std::to_string(a.keys.size()) + ";");
            for (size_t k = 0; k < a.keys.size(); ++k)
                out.Line(3, std::to_string(a.keys[k].tick) + ";16;" + Matrix(a.keys[k].value) +
                                (k + 1 == a.keys.size() ? ";" : ","));
            out.Line(2, "}");
            out.Line(1, "}");
        }
        out.Line(0, "}");
    }
    return out.text;
}

} // namespace xmodel
