// The text writer, the reader and the checks that keep a broken model out of the data tree;
// and generation that gives the same bytes every time.
#include "tools/models/ModelFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>

using namespace xmodel;

namespace {

Model Triangle()
{
    Model m;
    Frame f;
    f.name = "Frame_A";
    Mesh mesh;
    mesh.name = "Mesh_A";
    mesh.positions = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
    mesh.normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
    mesh.uvs = {{0, 0}, {0, 1}, {1, 0}};
    mesh.faces = {{0, 1, 2}};
    mesh.faceMaterials = {0};
    Material mat;
    mat.texture = "data/xfile/a.tga";
    mesh.materials = {mat};
    f.meshes.push_back(mesh);
    m.roots.push_back(f);
    return m;
}

std::string Fault(const Model& m)
{
    try {
        Validate(m, "m");
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return std::string();
}

// What a reader that knows no template beforehand needs of a text file: each data object's
// template, and each type that a template's members or restrictions name, declared before it is
// used; and, as exporters write them, no declaration that the file does not use. Answers the
// first fault, or "" when there is none.
std::string TemplateFault(const std::string& text)
{
    static const std::set<std::string> primitive = {"WORD", "DWORD", "FLOAT", "DOUBLE", "CHAR", "UCHAR",
                                                    "BYTE", "STRING", "CSTRING", "UNICODE", "SWORD", "SDWORD"};
    auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.'; };
    std::vector<std::string> order;         // declared templates, in file order
    std::map<std::string, std::set<std::string>> needs; // template -> the templates it names
    std::set<std::string> used;
    // Words, braces and brackets; numbers, strings and <identifiers> are passed over.
    std::vector<std::string> tokens;
    for (size_t p = 16; p < text.size();) {
        const char c = text[p];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            const size_t s = p;
            while (p < text.size() && wordChar(text[p]))
                ++p;
            tokens.push_back(text.substr(s, p - s));
        } else if (c == '"' || c == '<') {
            const size_t e = text.find(c == '"' ? '"' : '>', p + 1);
            if (e == std::string::npos)
                return "unterminated string or identifier";
            p = e + 1;
        } else {
            if (c == '{' || c == '}' || c == '[' || c == ']' || c == ';')
                tokens.push_back(std::string(1, c));
            ++p;
        }
    }
    auto isWord = [](const std::string& t) { return std::isalpha(static_cast<unsigned char>(t[0])) || t[0] == '_'; };
    auto declared = [&](const std::string& name) { return std::find(order.begin(), order.end(), name) != order.end(); };
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == "template") {
            if (i + 2 >= tokens.size() || tokens[i + 2] != "{")
                return "malformed template declaration";
            const std::string name = tokens[i + 1];
            // Members are "[array] TYPE name[...];", restrictions "[A, B]" or "[...]".
            bool memberStart = true, inRestriction = false, inDimension = false;
            for (i += 3; i < tokens.size() && tokens[i] != "}"; ++i) {
                const std::string& t = tokens[i];
                if (t == "[")
                    (memberStart ? inRestriction : inDimension) = true;
                else if (t == "]")
                    inRestriction = inDimension = false;
                else if (t == ";")
                    memberStart = true;
                else if (isWord(t) && t != "array" && !inDimension && (memberStart || inRestriction)) {
                    memberStart = false;
                    if (primitive.count(t))
                        continue;
                    if (!declared(t))
                        return name + " names " + t + " before it is declared";
                    needs[name].insert(t);
                }
            }
            order.push_back(name);
        } else if (tokens[i] == "{" && i > 0 && isWord(tokens[i - 1])) {
            // "Template {" or "Template name {"; a reference "{ name }" is not an object.
            const std::string& t = (i > 1 && isWord(tokens[i - 2])) ? tokens[i - 2] : tokens[i - 1];
            if (!declared(t))
                return "data object of the undeclared template " + t;
            used.insert(t);
        }
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (used.count(*it))
            used.insert(needs[*it].begin(), needs[*it].end());
    for (const std::string& t : order)
        if (!used.count(t))
            return "template " + t + " is declared but not used";
    return "";
}

} // namespace

TEST(ModelFormat, EveryGeneratedFileDeclaresTheTemplatesItUses)
{
    // A reader that registers only the basic templates beforehand refuses a file that uses
    // another one undeclared.
    std::string undeclared = WriteText(Triangle());
    undeclared.erase(undeclared.find("template TextureFilename"), undeclared.find("template Material") -
                                                                      undeclared.find("template TextureFilename"));
    EXPECT_NE(TemplateFault(undeclared).find("TextureFilename"), std::string::npos);
    Model untextured = Triangle();
    untextured.roots[0].meshes[0].materials[0].texture.clear();
    EXPECT_EQ(WriteText(untextured).find("TextureFilename"), std::string::npos);

    int files = 0;
    for (const std::string& relative : qvtest::ListFiles(qvtest::DataDir() + "/xfile")) {
        if (relative.size() < 2 || relative.compare(relative.size() - 2, 2, ".x") != 0)
            continue;
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(qvtest::DataDir() + "/xfile/" + relative);
        EXPECT_EQ(TemplateFault(std::string(bytes.begin(), bytes.end())), "") << relative;
        ++files;
    }
    EXPECT_GT(files, 500);
}

TEST(ModelFormat, TextStartsWithTheHeaderAndReadsBack)
{
    Model m = Triangle();
    m.roots[0].meshes[0].bones.push_back({"Frame_A", {0, 1, 2}, {1, 1, 1}, Translation({0, -1, 0})});
    m.ticksPerSecond = 4800;
    m.sets.push_back({"Walk", {{"Frame_A", {{0, Mat4()}, {4800, RotationY(0.5f)}}}}});
    const std::string text = WriteText(m);
    EXPECT_EQ(text.rfind("xof 0303txt 0032\n", 0), 0u);
    EXPECT_NE(text.find("TextureFilename"), std::string::npos);
    EXPECT_NE(text.find("XSkinMeshHeader"), std::string::npos);
    EXPECT_NE(text.find("AnimTicksPerSecond"), std::string::npos);
    const Model back = ReadText(text);
    EXPECT_EQ(WriteText(back), text);
    EXPECT_EQ(back.sets[0].animations[0].keys[1].tick, 4800u);
    EXPECT_NEAR(back.sets[0].animations[0].keys[1].value(0, 2), RotationY(0.5f)(0, 2), 1e-6f);
    EXPECT_EQ(back.roots[0].meshes[0].materials[0].texture, "data/xfile/a.tga");
    // Halfway between the keys the pose lies between them; past the end it loops.
    EXPECT_NEAR(Pose(back, 0, 1.25)[0](3, 1), Pose(back, 0, 0.25)[0](3, 1), 1e-6f);
}

TEST(ModelFormat, NegativeZeroAndRoundingAreWrittenTheSameEveryTime)
{
    Model m = Triangle();
    m.roots[0].meshes[0].positions[0] = {-0.0f, -0.0000001f, 1.0f / 3.0f};
    const std::string text = WriteText(m);
    EXPECT_NE(text.find("0.000000;0.000000;0.333333;"), std::string::npos);
}

TEST(ModelFormat, ChecksNameTheFaultOfABrokenModel)
{
    EXPECT_EQ(Fault(Triangle()), "");
    Model m = Triangle();
    m.roots[0].meshes[0].faces[0][2] = 3;
    EXPECT_NE(Fault(m).find("face index"), std::string::npos);
    m = Triangle();
    m.roots[0].meshes[0].bones.push_back({"Frame_Missing", {0}, {1}, Mat4()});
    EXPECT_NE(Fault(m).find("Frame_Missing"), std::string::npos);
    m = Triangle();
    m.roots[0].meshes[0].bones.push_back({"Frame_A", {0, 1, 2}, {1, 0.5f, 1}, Mat4()});
    EXPECT_NE(Fault(m).find("add up"), std::string::npos);
    m = Triangle();
    m.roots[0].meshes[0].positions[1].y = std::nanf("");
    EXPECT_NE(Fault(m).find("not a number"), std::string::npos);
    m = Triangle();
    m.roots[0].children.push_back(m.roots[0]);
    m.roots[0].children[0].meshes.clear();
    EXPECT_NE(Fault(m).find("used twice"), std::string::npos);
    m = Triangle();
    m.sets.push_back({"Walk", {{"Frame_A", {{0, Mat4()}}}}});
    EXPECT_NE(Fault(m).find("ticks per second"), std::string::npos);
    m.ticksPerSecond = 4800;
    m.sets[0].animations[0].keys.push_back({0, Mat4()});
    EXPECT_NE(Fault(m).find("out of order"), std::string::npos);
    m = Triangle();
    m.roots[0].meshes[0].faceMaterials = {1};
    EXPECT_NE(Fault(m).find("material"), std::string::npos);
}

TEST(ModelFormat, TheReaderRefusesMalformedText)
{
    const std::string good = WriteText(Triangle());
    EXPECT_NO_THROW(ReadText(good));
    EXPECT_THROW(ReadText("xof 0303bin 0032"), std::runtime_error);
    EXPECT_THROW(ReadText(good.substr(0, good.size() / 2)), std::runtime_error);
    std::string bad = good;
    bad.replace(bad.find("3;\n"), 2, "9;");
    EXPECT_THROW(ReadText(bad), std::runtime_error);
    EXPECT_THROW(ReadText("xof 0303txt 0032\nFrame A { \"open"), std::runtime_error);
    EXPECT_THROW(ReadText("xof 0303txt 0032\nFrame A { ? }"), std::runtime_error);
    std::string deep = "xof 0303txt 0032\n";
    for (int i = 0; i < 200; ++i)
        deep += "Frame A {";
    EXPECT_THROW(ReadText(deep), std::runtime_error);
}

TEST(ModelFormat, ClosedMeshCheckFindsHolesAndDoubledFaces)
{
    // A tetrahedron is closed; without a face it is open; a face twice is refused.
    Mesh m;
    m.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    m.faces = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
    EXPECT_EQ(ClosedMeshFault(m), "");
    Mesh open = m;
    open.faces.pop_back();
    EXPECT_NE(ClosedMeshFault(open), "");
    Mesh doubled = m;
    doubled.faces.push_back({1, 3, 2});
    EXPECT_NE(ClosedMeshFault(doubled), "");
}

TEST(ModelFormat, GenerationGivesTheSameBytesAsTheFilesInTheTree)
{
    // Built again in this process, every model writes exactly the bytes of its file.
    models::HeightGrid heights = qvtest::HeightFile();
    if (heights.empty())
        heights = models::OpeningHeights();
    const auto files = models::AllModels(heights);
    EXPECT_EQ(files.size(), 12u + 8u * 66u);
    // Independently of the tree: the bytes committed by hand, a model that passes the checks,
    // and vertices on the ground of the city, which reaches 1200 units from its centre.
    const auto committed = qvtest::CommittedTree();
    size_t pieces = 0;
    for (const models::ModelFile& f : files) {
        const std::string text = WriteText(f.model);
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(qvtest::DataDir() + "/" + f.path);
        ASSERT_EQ(std::string(bytes.begin(), bytes.end()), text) << f.path;
        auto c = committed.find(f.path);
        ASSERT_NE(c, committed.end()) << f.path;
        EXPECT_EQ(c->second.checksum, qvtest::Checksum(bytes)) << f.path;
        EXPECT_EQ(Fault(f.model), "") << f.path;
        for (const Frame* frame : AllFrames(f.model))
            for (const Mesh& m : frame->meshes)
                for (const Vec3& p : m.positions)
                    ASSERT_TRUE(std::fabs(p.x) <= 1200 && std::fabs(p.y) <= 1200 && std::fabs(p.z) <= 1200)
                        << f.path << ": " << p.x << ", " << p.y << ", " << p.z;
        pieces += f.path.find("Break") != std::string::npos;
    }
    EXPECT_EQ(pieces, 8u * 64u);
}

TEST(ModelFormat, EveryTextureAModelNamesExists)
{
    for (const models::ModelFile& f : models::AllModels(models::OpeningHeights()))
        for (const Frame* frame : AllFrames(f.model))
            for (const Mesh& m : frame->meshes)
                for (const Material& mat : m.materials)
                    if (!mat.texture.empty()) {
                        std::string file = qvtest::RunDir() + "/" + mat.texture;
                        std::replace(file.begin(), file.end(), '\\', '/');
                        EXPECT_FALSE(qvtest::ReadFileBytes(file).empty())
                            << f.path << " names " << mat.texture;
                    }
}

TEST(ModelFormat, TheGeneratorRefusesABrokenModelAndNamesIt)
{
    const std::string dir = qvtest::MakeTempDir("models_broken");
    std::vector<models::ModelFile> files{{"xfile/good.x", Triangle()}, {"xfile/bad.x", Triangle()}};
    files[1].model.roots[0].meshes[0].faces[0][1] = 7;
    try {
        models::WriteModelFiles(files, dir);
        ADD_FAILURE() << "a broken model was written";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("xfile/bad.x"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(qvtest::ReadFileBytes(dir + "/xfile/good.x").empty());
    EXPECT_TRUE(qvtest::ReadFileBytes(dir + "/xfile/bad.x").empty());
    // A shadow model that is not closed is refused as well.
    std::vector<models::ModelFile> shadow{{"xfile/RinaShadow.x", Triangle()}};
    EXPECT_THROW(models::WriteModelFiles(shadow, dir), std::runtime_error);
}
