// The .x reader and the scene built from it: every encoding gives the same scene, and bad
// input is refused with a message instead of a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "platform/d3dx9/XFileScene.h"
#include "tests/platform/xfile/GuardedMemory.h"
#include "tests/platform/xfile/XFileFixtures.h"

using namespace xfile;
using xfixture::Bytes;

namespace {

XScene MustLoad(const std::vector<uint8_t>& image)
{
    XScene scene;
    std::string error;
    EXPECT_TRUE(LoadScene(image.data(), image.size(), scene, error)) << error;
    return scene;
}

std::string LoadError(const std::string& text)
{
    XScene scene;
    std::string error;
    EXPECT_FALSE(LoadScene(text.data(), text.size(), scene, error)) << "accepted:\n" << text;
    EXPECT_FALSE(error.empty());
    return error;
}

const XFrame* FindFrame(const XScene& s, const std::string& name)
{
    for (const XFrame& f : s.frames)
        if (f.name == name)
            return &f;
    return nullptr;
}

void ExpectSameScene(const XScene& a, const XScene& b)
{
    ASSERT_EQ(a.frames.size(), b.frames.size());
    EXPECT_EQ(a.root, b.root);
    for (size_t i = 0; i < a.frames.size(); ++i) {
        EXPECT_EQ(a.frames[i].name, b.frames[i].name);
        EXPECT_EQ(0, std::memcmp(a.frames[i].matrix, b.frames[i].matrix, sizeof a.frames[i].matrix));
        EXPECT_EQ(a.frames[i].meshes, b.frames[i].meshes);
        EXPECT_EQ(a.frames[i].children, b.frames[i].children);
    }
    ASSERT_EQ(a.meshes.size(), b.meshes.size());
    for (size_t i = 0; i < a.meshes.size(); ++i) {
        const XMesh& x = a.meshes[i];
        const XMesh& y = b.meshes[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.positions, y.positions);
        EXPECT_EQ(x.faceSizes, y.faceSizes);
        EXPECT_EQ(x.faceIndices, y.faceIndices);
        EXPECT_EQ(x.normals, y.normals);
        EXPECT_EQ(x.normalIndices, y.normalIndices);
        EXPECT_EQ(x.texcoords, y.texcoords);
        EXPECT_EQ(x.faceMaterials, y.faceMaterials);
        ASSERT_EQ(x.materials.size(), y.materials.size());
        for (size_t m = 0; m < x.materials.size(); ++m) {
            EXPECT_EQ(x.materials[m].textureFilename, y.materials[m].textureFilename);
            EXPECT_EQ(0, std::memcmp(x.materials[m].diffuse, y.materials[m].diffuse, sizeof(float) * 4));
            EXPECT_EQ(x.materials[m].power, y.materials[m].power);
        }
        ASSERT_EQ(x.skins.size(), y.skins.size());
        for (size_t s = 0; s < x.skins.size(); ++s) {
            EXPECT_EQ(x.skins[s].boneName, y.skins[s].boneName);
            EXPECT_EQ(x.skins[s].vertices, y.skins[s].vertices);
            EXPECT_EQ(x.skins[s].weights, y.skins[s].weights);
            EXPECT_EQ(0, std::memcmp(x.skins[s].offset, y.skins[s].offset, sizeof x.skins[s].offset));
        }
    }
    ASSERT_EQ(a.animationSets.size(), b.animationSets.size());
    for (size_t i = 0; i < a.animationSets.size(); ++i) {
        const XAnimationSet& x = a.animationSets[i];
        const XAnimationSet& y = b.animationSets[i];
        EXPECT_EQ(x.name, y.name);
        ASSERT_EQ(x.animations.size(), y.animations.size());
        for (size_t k = 0; k < x.animations.size(); ++k) {
            EXPECT_EQ(x.animations[k].frameName, y.animations[k].frameName);
            EXPECT_EQ(x.animations[k].rotations.size(), y.animations[k].rotations.size());
            EXPECT_EQ(x.animations[k].positions.size(), y.animations[k].positions.size());
            EXPECT_EQ(x.animations[k].scales.size(), y.animations[k].scales.size());
            EXPECT_EQ(x.animations[k].matrices.size(), y.animations[k].matrices.size());
        }
    }
    EXPECT_EQ(a.ticksPerSecond, b.ticksPerSecond);
}

const size_t kRefused = ~size_t(0);

// Where each top-level block of a text .x ends (one past its closing brace), and whether it
// is a data object rather than a template declaration.
struct BlockEnd {
    size_t end;
    bool object;
};

std::vector<BlockEnd> TopLevelEnds(const std::string& text)
{
    std::vector<BlockEnd> ends;
    int depth = 0;
    bool isTemplate = false;
    for (size_t i = 16; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '#' || text.compare(i, 2, "//") == 0) {
            i = std::min(text.find('\n', i), text.size());
        } else if (c == '"') {
            i = std::min(text.find('"', i + 1), text.size());
        } else if (depth == 0 && text.compare(i, 8, "template") == 0) {
            isTemplate = true;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            ends.push_back(BlockEnd{i + 1, !isTemplate});
            isTemplate = false;
        }
    }
    return ends;
}

// Whether text[from, to) holds only what a reader passes over between blocks: white space,
// separators and comments (the last one may be cut short).
bool OnlySpaceBetween(const std::string& text, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i) {
        const char c = text[i];
        if (c == '#' || (c == '/' && i + 1 < to && text[i + 1] == '/')) {
            while (i + 1 < to && text[i + 1] != '\n')
                ++i;
        } else if (!std::isspace(static_cast<unsigned char>(c)) && c != ';' && c != ',') {
            return false;
        }
    }
    return true;
}

void ExpectSameObject(const XFileDocument& a, uint32_t ia, const XFileDocument& b, uint32_t ib)
{
    const XObject& x = a.Objects()[ia];
    const XObject& y = b.Objects()[ib];
    EXPECT_EQ(x.templateName, y.templateName);
    EXPECT_EQ(x.name, y.name);
    ASSERT_EQ(x.values.size(), y.values.size()) << x.templateName;
    for (size_t v = 0; v < x.values.size(); ++v) {
        EXPECT_EQ(x.values[v].kind, y.values[v].kind);
        EXPECT_EQ(x.values[v].number, y.values[v].number);
        EXPECT_EQ(x.values[v].text, y.values[v].text);
    }
    ASSERT_EQ(x.children.size(), y.children.size()) << x.templateName;
    for (size_t c = 0; c < x.children.size(); ++c) {
        ASSERT_EQ(x.children[c].IsReference(), y.children[c].IsReference());
        if (x.children[c].IsReference())
            EXPECT_EQ(x.children[c].reference, y.children[c].reference);
        else
            ExpectSameObject(a, x.children[c].object, b, y.children[c].object);
    }
}

// Parses the first n bytes of an image, from memory that ends at an unreadable page, with
// the allocations of `guarded` bytes (the reader's copy of the body) ending at one too; then
// expects it refused, or read as the first `objects` top-level objects of `whole`.
void ExpectCutRead(const void* image, size_t n, size_t guarded, size_t objects, const XFileDocument& whole)
{
    xfixture::GuardedCopy cut(image, n);
    XFileDocument doc;
    bool ok;
    {
        xfixture::GuardedAllocations guard(guarded);
        ok = doc.Parse(cut.data(), cut.size());
    }
    if (objects == kRefused) {
        EXPECT_FALSE(ok) << "cut at " << n << " and still read";
        EXPECT_FALSE(doc.Error().empty());
        EXPECT_TRUE(doc.Objects().empty());
        return;
    }
    ASSERT_TRUE(ok) << "cut at " << n << ": " << doc.Error();
    ASSERT_EQ(doc.TopLevel().size(), objects) << "cut at " << n;
    for (size_t i = 0; i < objects; ++i)
        ExpectSameObject(doc, doc.TopLevel()[i], whole, whole.TopLevel()[i]);
}

uint8_t ReadByte(const void* p) { return *static_cast<const volatile uint8_t*>(p); }

} // namespace

TEST(XFileReader, ReadsTheColumnFromText)
{
    XScene s = MustLoad(Bytes(xfixture::ColumnText()));
    ASSERT_EQ(s.frames.size(), 3u);
    EXPECT_EQ(s.frames[s.root].name, "Root");
    const XFrame* bone1 = FindFrame(s, "Bone1");
    ASSERT_NE(bone1, nullptr);
    EXPECT_EQ(bone1->matrix[13], 1.0f);
    ASSERT_EQ(s.frames[s.root].children.size(), 1u);
    EXPECT_EQ(s.frames[s.frames[s.root].children[0]].name, "Bone0");

    ASSERT_EQ(s.frames[s.root].meshes.size(), 1u);
    const XMesh& m = s.meshes[s.frames[s.root].meshes[0]];
    EXPECT_EQ(m.name, "Column");
    EXPECT_EQ(m.NumVertices(), 12u);
    EXPECT_EQ(m.NumFaces(), 8u);
    EXPECT_EQ(m.faceIndices.size(), 32u);
    EXPECT_EQ(m.normals.size(), 12u);
    EXPECT_EQ(m.normalIndices.size(), 32u);
    EXPECT_EQ(m.texcoords.size(), 24u);
    EXPECT_EQ(m.faceMaterials, (std::vector<uint32_t>{0, 0, 0, 0, 1, 1, 1, 1}));
    ASSERT_EQ(m.materials.size(), 2u);
    EXPECT_EQ(m.materials[0].textureFilename, "column.png");  // through the reference { Stone }
    EXPECT_FLOAT_EQ(m.materials[0].diffuse[0], 0.8f);
    EXPECT_FLOAT_EQ(m.materials[0].power, 12.5f);
    EXPECT_FLOAT_EQ(m.materials[0].emissive[2], 0.05f);
    EXPECT_EQ(m.materials[1].textureFilename, "");
    EXPECT_FLOAT_EQ(m.materials[1].diffuse[3], 0.5f);
    EXPECT_EQ(m.maxWeightsPerVertex, 2u);
    ASSERT_EQ(m.skins.size(), 2u);
    EXPECT_EQ(m.skins[1].boneName, "Bone1");
    EXPECT_EQ(m.skins[1].vertices.front(), 4u);
    EXPECT_FLOAT_EQ(m.skins[1].weights.front(), 0.5f);
    EXPECT_FLOAT_EQ(m.skins[1].offset[13], -1.0f);

    EXPECT_EQ(s.ticksPerSecond, 100u);
    ASSERT_EQ(s.animationSets.size(), 2u);
    EXPECT_EQ(s.animationSets[0].name, "Bend");
    const XAnimation& bend = s.animationSets[0].animations[0];
    EXPECT_EQ(bend.frameName, "Bone1");
    ASSERT_EQ(bend.rotations.size(), 2u);
    EXPECT_EQ(bend.rotations[1].time, 100u);
    EXPECT_FLOAT_EQ(bend.rotations[1].value[3], 0.70710678f);
    EXPECT_TRUE(bend.openClosedGiven);
    EXPECT_EQ(bend.openClosed, 1u);
    ASSERT_EQ(s.animationSets[1].animations.size(), 2u);
    EXPECT_EQ(s.animationSets[1].animations[1].matrices.size(), 1u);
}

TEST(XFileReader, EveryEncodingGivesTheSameScene)
{
    XScene text = MustLoad(Bytes(xfixture::ColumnText()));
    std::vector<uint8_t> bin = xfixture::TextToBinary(xfixture::ColumnText());
    std::vector<uint8_t> bin64 = xfixture::TextToBinary(xfixture::ColumnText(), true);
    ExpectSameScene(text, MustLoad(bin));
    ExpectSameScene(text, MustLoad(bin64));
    ExpectSameScene(text, MustLoad(xfixture::Compress(bin)));
    // Small blocks make every block after the first depend on the ones before it.
    ExpectSameScene(text, MustLoad(xfixture::Compress(bin, 100)));
    ExpectSameScene(text, MustLoad(xfixture::Compress(Bytes(xfixture::ColumnText()), 257)));
}

TEST(XFileReader, UnnamedFramesAndAMeshOutsideEveryFrame)
{
    XScene plain = MustLoad(Bytes(xfixture::PlainText()));
    ASSERT_EQ(plain.frames.size(), 2u);
    EXPECT_EQ(plain.frames[plain.root].name, "");
    EXPECT_EQ(plain.frames[plain.root].matrix[12], 1.0f);
    EXPECT_TRUE(plain.meshes[0].materials.empty());
    EXPECT_TRUE(plain.meshes[0].normals.empty());
    EXPECT_TRUE(plain.animationSets.empty());
    EXPECT_EQ(plain.ticksPerSecond, 4800u);

    // A lone mesh, and two top-level frames: both get an unnamed identity root above them.
    XScene lone = MustLoad(Bytes("xof 0303txt 0032\nMesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
                                 "Frame A { } Frame B { }\n"));
    const XFrame& root = lone.frames[lone.root];
    EXPECT_EQ(root.name, "");
    EXPECT_EQ(root.meshes.size(), 1u);
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(lone.frames[root.children[1]].name, "B");
    EXPECT_EQ(root.matrix[0], 1.0f);
}

TEST(XFileReader, ReferencedFramesAndMeshesAreInstanced)
{
    XScene s = MustLoad(Bytes("xof 0303txt 0032\n"
                              "Mesh Tri { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
                              "Frame Leaf { { Tri } }\n"
                              "Frame Top { { Leaf } { Leaf } { Tri } }\n"));
    EXPECT_EQ(s.meshes.size(), 1u);  // one mesh, used three times
    const XFrame* top = FindFrame(s, "Top");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->children.size(), 2u);
    EXPECT_EQ(top->meshes.size(), 1u);
}

TEST(XFileReader, PolygonsFaceIndexRunsAndKeyOrder)
{
    // A material list shorter than the face list repeats its last index; keys out of order
    // are sorted by time.
    XScene s = MustLoad(Bytes("xof 0303txt 0032\nFrame F { Mesh {\n"
                              " 5; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;2;0;;\n"
                              " 3; 4;0,1,2,3;, 3;1,4,2;, 3;0,2,3;;\n"
                              " MeshMaterialList { 2; 2; 0, 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }"
                              " Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } } } }\n"
                              "AnimationSet { Animation { { F } AnimationKey { 2; 2; 10;3;1,1,1;;, 5;3;0,0,0;;; } } }\n"));
    EXPECT_EQ(s.meshes[0].faceSizes, (std::vector<uint32_t>{4, 3, 3}));
    EXPECT_EQ(s.meshes[0].faceMaterials, (std::vector<uint32_t>{0, 1, 1}));
    const XAnimation& a = s.animationSets[0].animations[0];
    EXPECT_EQ(a.positions[0].time, 5u);
    EXPECT_EQ(a.positions[1].time, 10u);
}

TEST(XFileReader, RefusesBrokenHeadersAndEmptyFiles)
{
    for (const char* bad : {"", "xof", "xof 0303txt 003", "xof 0303xyz 0032", "xof 0303txt 0016",
                            "abc 0303txt 0032", "xof 0203txt 0032"}) {
        XScene s;
        std::string error;
        EXPECT_FALSE(LoadScene(bad, std::strlen(bad), s, error)) << bad;
    }
    // A header alone is a valid, empty file: an unnamed root and nothing else.
    XScene s = MustLoad(Bytes("xof 0303txt 0032"));
    EXPECT_EQ(s.frames.size(), 1u);
    EXPECT_TRUE(s.meshes.empty());
}

TEST(XFileReader, TruncationAnywhereIsRefusedOrReadsOnlyWhatIsThere)
{
    // A file cut short is refused, unless the cut falls between two top-level blocks; then it
    // holds exactly the whole objects before the cut. Each cut file lies in memory that ends
    // at an unreadable page, and so does the reader's copy of it: a read past the end stops
    // the test in every build.
    const std::string text = xfixture::ColumnText();
    XFileDocument whole;
    ASSERT_TRUE(whole.Parse(text.data(), text.size())) << whole.Error();
    const std::vector<BlockEnd> ends = TopLevelEnds(text);
    ASSERT_EQ(ends.size(), 9u);  // two template declarations and seven objects
    ASSERT_EQ(whole.TopLevel().size(), 7u);

    for (size_t n = 0; n <= text.size() && !HasFailure(); ++n) {
        size_t lastEnd = 16, objects = 0;
        for (const BlockEnd& e : ends)
            if (e.end <= n) {
                lastEnd = e.end;
                objects += e.object;
            }
        const bool valid = n >= 16 && OnlySpaceBetween(text, lastEnd, n);
        ExpectCutRead(text.data(), n, n > 16 ? n - 16 : 0, valid ? objects : kRefused, whole);
    }

    // The binary forms: a cut is valid only right after the header or a top-level block, which
    // is where the binary form of the text up to that block ends.
    for (bool doubles : {false, true}) {
        const std::vector<uint8_t> bin = xfixture::TextToBinary(text, doubles);
        XFileDocument wholeBin;
        ASSERT_TRUE(wholeBin.Parse(bin.data(), bin.size())) << wholeBin.Error();
        std::map<size_t, size_t> validCuts{{16, 0}};
        size_t objects = 0;
        for (const BlockEnd& e : ends) {
            objects += e.object;
            const std::vector<uint8_t> head = xfixture::TextToBinary(text.substr(0, e.end), doubles);
            ASSERT_TRUE(std::equal(head.begin(), head.end(), bin.begin()));
            validCuts[head.size()] = objects;
        }
        EXPECT_EQ(validCuts.size(), 10u);
        for (size_t n = 0; n <= bin.size() && !HasFailure(); ++n) {
            auto valid = validCuts.find(n);
            ExpectCutRead(bin.data(), n, n > 16 ? n - 16 : 0, valid == validCuts.end() ? kRefused : valid->second, wholeBin);
        }
        // Compressed, any cut loses part of the stated size. The output buffer is guarded too.
        const std::vector<uint8_t> zip = xfixture::Compress(bin, 512);
        for (size_t n = 0; n <= zip.size() && !HasFailure(); ++n)
            ExpectCutRead(zip.data(), n, bin.size() - 16, n == zip.size() ? 7 : kRefused, wholeBin);
    }

    // Cut inside the Root frame: refused with the reason.
    const size_t inside = text.find("Mesh Column") + 40;
    XScene s;
    std::string error;
    EXPECT_FALSE(LoadScene(text.data(), inside, s, error));
    EXPECT_NE(error.find("not closed"), std::string::npos) << error;
}

TEST(XFileReader, GuardedMemoryStopsAReadOneBytePastTheEnd)
{
    // The memory that the test above relies on: reading its last byte is fine, the next one
    // ends the program.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::vector<uint8_t> bytes{1, 2, 3, 4, 5, 6, 7};
    xfixture::GuardedCopy copy(bytes);
    ASSERT_EQ(copy.size(), 7u);
    EXPECT_EQ(copy.data()[6], 7);
    EXPECT_DEATH({ ReadByte(copy.data() + 7); }, "");
    if (xfixture::GuardedAllocations::Available()) {
        xfixture::GuardedAllocations guard(37);
        std::vector<char> buffer(37, 'x');
        EXPECT_EQ(guard.Count(), 1);
        EXPECT_EQ(ReadByte(buffer.data() + 36), 'x');
        EXPECT_DEATH({ ReadByte(buffer.data() + 37); }, "");
        std::vector<char> other(36);
        EXPECT_EQ(guard.Count(), 1) << "only the size asked for is guarded";
    }
}

TEST(XFileReader, CountsThatLieAreRefusedBeforeAllocating)
{
    const std::string head = "xof 0303txt 0032\n";
    LoadError(head + "Mesh { 4000000000; 0;0;0;; 0;; }");
    LoadError(head + "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2000000000; 3;0,1,2;; }");
    LoadError(head + "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 4000000;0,1,2;; }");
    LoadError(head + "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshTextureCoords { 3; 0;0;; } }");
    LoadError(head + "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 900000000; 0;0;1;; 1; 3;0,0,0;; } }");
    LoadError(head + "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; SkinWeights { \"B\"; 900000000; 0; 1.0; } }");
    LoadError(head + "AnimationSet { Animation { AnimationKey { 0; 900000000; 0;4;1,0,0,0;;; } } }");
    LoadError(head + "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 3; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }");

    // Binary lists whose counts run past the end of the file.
    std::vector<uint8_t> bin = Bytes("xof 0303bin 0032");
    const uint8_t body[] = {1, 0, 4, 0, 0, 0, 'M', 'e', 's', 'h', 10, 0, 6, 0, 0xFF, 0xFF, 0xFF, 0x7F, 3, 0, 0, 0};
    bin.insert(bin.end(), std::begin(body), std::end(body));
    XScene s;
    std::string error;
    EXPECT_FALSE(LoadScene(bin.data(), bin.size(), s, error));
    bin[12] = 7;  // the same count as a float list
    EXPECT_FALSE(LoadScene(bin.data(), bin.size(), s, error));

    // A compressed file whose stated size is absurd, or whose block lies about its size.
    std::vector<uint8_t> zip = xfixture::Compress(xfixture::TextToBinary(xfixture::ColumnText()));
    std::vector<uint8_t> huge = zip;
    huge[19] = 0x7F;
    EXPECT_FALSE(LoadScene(huge.data(), huge.size(), s, error));
    std::vector<uint8_t> lying = zip;
    lying[22] = 0xFF;  // compressed size of the first block
    lying[23] = 0xFF;
    EXPECT_FALSE(LoadScene(lying.data(), lying.size(), s, error));
    std::vector<uint8_t> corrupt = zip;
    for (size_t i = 26; i < corrupt.size(); i += 3)
        corrupt[i] ^= 0x5A;
    EXPECT_FALSE(LoadScene(corrupt.data(), corrupt.size(), s, error));
}

TEST(XFileReader, IndicesOutOfRangeAreRefused)
{
    const std::string mesh = "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,";
    LoadError(mesh + "3;; }");
    LoadError(mesh + "2;; MeshNormals { 1; 0;0;1;; 1; 3;0,0,1;; } }");
    LoadError(mesh + "2;; MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; } }");
    LoadError(mesh + "2;; MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }");
    LoadError(mesh + "2;; MeshVertexColors { 1; 3; 1;1;1;1;;; } }");
    LoadError(mesh + "2;; MeshMaterialList { 1; 1; 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }");
    LoadError(mesh + "2;; SkinWeights { \"B\"; 1; 3; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }");
    LoadError(mesh + "2;; VertexDuplicationIndices { 1; 3; 7;; } }");
    LoadError("xof 0303txt 0032\nMesh { 2; 0;0;0;, 1;0;0;; 1; 2;0,1;; }");  // a face of two corners
}

TEST(XFileReader, ReferencesToNothingAndCyclesAreRefused)
{
    const std::string head = "xof 0303txt 0032\n";
    EXPECT_NE(LoadError(head + "Frame A { { Nowhere } }").find("Nowhere"), std::string::npos);
    EXPECT_NE(LoadError(head + "Frame A { { A } }").find("cycle"), std::string::npos);
    LoadError(head + "Frame A { Frame B { { A } } }");
    LoadError(head + "Frame A { { B } } Frame B { { A } }");
    LoadError(head + "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; { M } } }");
    LoadError(head + "AnimationSet { Animation { { Ghost } } }");
    LoadError(head + "Frame { { } }");

    // References that double at each level are refused once they would make too many frames.
    std::string text = head + "Frame L0 { }\n";
    for (int i = 1; i <= 20; ++i)
        text += "Frame L" + std::to_string(i) + " { { L" + std::to_string(i - 1) + " } { L" + std::to_string(i - 1) + " } }\n";
    EXPECT_NE(LoadError(text).find("too many frames"), std::string::npos);

    // A large mesh referenced by many frames would become that many meshes.
    std::string big = head + "Mesh Big { 30000;";
    for (int i = 0; i < 30000; ++i)
        big += " 0;0;0;,";
    big.back() = ';';
    big += " 1; 3;0,1,2;; }\n";
    for (int i = 0; i < 600; ++i)
        big += "Frame F" + std::to_string(i) + " { { Big } }\n";
    EXPECT_NE(LoadError(big).find("too many mesh instances"), std::string::npos);
}

TEST(XFileReader, NestingBeyondTheLimitIsRefused)
{
    auto nested = [](int depth) {
        std::string t = "xof 0303txt 0032\n";
        for (int i = 0; i < depth; ++i) t += "Frame {\n";
        for (int i = 0; i < depth; ++i) t += "}\n";
        return t;
    };
    MustLoad(Bytes(nested(100)));
    EXPECT_NE(LoadError(nested(XLimits::kMaxDepth + 1)).find("deeply"), std::string::npos);
    LoadError(nested(100000));  // would overflow the stack of a reader without a limit
    std::vector<uint8_t> deepBin = xfixture::TextToBinary(nested(XLimits::kMaxDepth + 1));
    XScene s;
    std::string error;
    EXPECT_FALSE(LoadScene(deepBin.data(), deepBin.size(), s, error));
}

TEST(XFileReader, NumbersThatDoNotParseAndWrongKinds)
{
    const std::string head = "xof 0303txt 0032\n";
    LoadError(head + "Frame { FrameTransformMatrix { 1.#QNAN,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; } }");
    LoadError(head + "Frame { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0;; } }");
    LoadError(head + "Frame { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,\"one\";; } }");
    LoadError(head + "Mesh { 3.5; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }");
    LoadError(head + "Mesh { -3; 0;0;0;; 0;; }");
    LoadError(head + "Mesh { 3x; }");
    LoadError(head + "Mesh { - ; }");
    LoadError(head + "Mesh { 1; 0;0;0;; 1; 3;0,0,0;; @ }");
    LoadError(head + "Material { \"unterminated; }");
    LoadError(head + "AnimationSet { Animation { AnimationKey { 0; 1; 0;3;1,0,0;;; } } }");
    LoadError(head + "AnimationSet { Animation { AnimationKey { 7; 1; 0;3;1,0,0;;; } } }");
    LoadError(head + "AnimTicksPerSecond { 0; }");
    LoadError(head + "template Broken { <00000000-0000-0000-0000-000000000000> DWORD x;");
    LoadError(head + "Frame A <12345678-abcd-ef01-2345-6789abcdef01 { }");
    // Comments, exponents and signs in their usual forms are fine.
    XScene s = MustLoad(Bytes(head + "# comment\nFrame A <12345678-ABCD-EF01-2345-6789ABCDEF01> { // x\n"
                              " FrameTransformMatrix { 1e0,0,0,0, 0,+1,0,0, 0,0,1.,0, -2.5E-1,.5,0,1;; } }\n"));
    EXPECT_FLOAT_EQ(s.frames[s.root].matrix[12], -0.25f);
    EXPECT_FLOAT_EQ(s.frames[s.root].matrix[13], 0.5f);
}

TEST(XFileReader, TemplateDeclarationsAreSkippedWhateverTheirComments)
{
    const std::string head = "xof 0303txt 0032\n";
    // A comment in a declaration may hold a brace; the declaration ends at the brace after it.
    XScene s = MustLoad(Bytes(head + "template T { <3D82AB46-62DA-11cf-AB39-0020AF71E433> # not the end }\n"
                                     " DWORD x; // nor this }\n [...] }\nFrame A { }\n"));
    ASSERT_EQ(s.frames.size(), 1u);
    EXPECT_EQ(s.frames[s.root].name, "A");
    // A declaration never holds an object.
    EXPECT_NE(LoadError(head + "template T { <3D82AB46-62DA-11cf-AB39-0020AF71E433> Frame A { } }").find("template"),
              std::string::npos);
}
