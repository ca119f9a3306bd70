// The limits on what one model may make: a file whose hierarchy, counted with every reference
// built again, goes past one is refused with D3DX's failure for bad data before the
// allocator builds anything, or, when only the loader sees it, with all it built released;
// a file just inside loads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "platform/d3dx9/D3DX9.h"
#include "platform/d3dx9/XFileScene.h"
#include "tests/platform/xfile/XFileLoaded.h"
#include "tests/support/TestSupport.h"

using xfixture::CountingAllocator;
using xfixture::Loaded;
using xfile::XLimits;

namespace {

const std::string kHead = "xof 0303txt 0032\n";

std::string TestDir()
{
    static const std::string dir =
        qvtest::MakeTempDir(std::string("xlimits_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    return dir;
}

// The text written as a model file of the test's own.
std::string Write(const std::string& text)
{
    const std::string path = TestDir() + "/model.x";
    qvtest::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    return path;
}

// Refused before the allocator was asked for anything.
void ExpectRefusedAtOnce(const std::string& text, const char* what)
{
    SCOPED_TRACE(what);
    Loaded m(Write(text));
    EXPECT_EQ(D3DXERR_INVALIDDATA, m.hr);
    EXPECT_EQ(nullptr, m.root);
    EXPECT_EQ(nullptr, m.controller);
    EXPECT_EQ(0, m.alloc.frameCalls);
    EXPECT_EQ(0, m.alloc.containerCalls);
}

std::string SceneError(const std::string& text)
{
    xfile::XScene scene;
    std::string error;
    EXPECT_FALSE(xfile::LoadScene(text.data(), text.size(), scene, error));
    return error;
}

bool SceneLoads(const std::string& text)
{
    xfile::XScene scene;
    std::string error;
    const bool ok = xfile::LoadScene(text.data(), text.size(), scene, error);
    EXPECT_TRUE(ok) << error;
    return ok;
}

std::string References(const std::string& name, size_t count)
{
    std::string t;
    for (size_t i = 0; i < count; ++i) t += " { " + name + " }";
    return t;
}

// One triangle; `extra` goes inside the mesh.
std::string Triangle(const std::string& name, const std::string& extra = "")
{
    return "Mesh " + name + " { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; " + extra + " }\n";
}

// `triangles` triangles over three vertices, as one polygon that goes round them again and again.
std::string Fan(const std::string& name, size_t triangles)
{
    std::string t = "Mesh " + name + " { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; " + std::to_string(triangles + 2) + ";";
    for (size_t c = 0; c < triangles + 2; ++c) t += (c ? "," : "") + std::to_string(c % 3);
    return t + ";; }\n";
}

// `vertices` vertices and one triangle.
std::string Vertices(const std::string& name, size_t vertices)
{
    std::string t = "Mesh " + name + " { " + std::to_string(vertices) + ";";
    for (size_t v = 0; v < vertices; ++v) t += std::string(v ? "," : "") + " 0;0;" + std::to_string(v) + ";";
    return t + "; 1; 3;0,1,2;; }\n";
}

// A mesh of three file vertices over one polygon of `corners` corners, each with a normal of
// its own, so that the loader makes a vertex per corner; `extra` goes inside the mesh.
std::string SplitMesh(const std::string& name, size_t corners, const std::string& extra = "")
{
    std::string t = "Mesh " + name + " { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; " + std::to_string(corners) + ";";
    for (size_t c = 0; c < corners; ++c) t += (c ? "," : "") + std::to_string(c % 3);
    t += ";; MeshNormals { " + std::to_string(corners) + ";";
    for (size_t c = 0; c < corners; ++c) t += std::string(c ? "," : "") + " 0;0;" + std::to_string(c + 1) + ";";
    t += "; 1; " + std::to_string(corners) + ";";
    for (size_t c = 0; c < corners; ++c) t += (c ? "," : "") + std::to_string(c);
    return t + ";; } " + extra + " }\n";
}

} // namespace

TEST(XFileLimits, FramesAndMeshesMadeByReferencesStopAtTheLimit)
{
    // Every reference to a frame makes a frame of its own. Two frames at the top make three
    // with the root that holds them.
    const std::string leaf = kHead + "Frame Leaf { }\n";
    {
        Loaded m(Write(leaf + "Frame Root {" + References("Leaf", XLimits::kMaxFrames - 3) + " }\n"));
        ASSERT_EQ(D3D_OK, m.hr);
        EXPECT_EQ(int(XLimits::kMaxFrames), m.alloc.framesCreated);
    }
    ExpectRefusedAtOnce(leaf + "Frame Root {" + References("Leaf", XLimits::kMaxFrames - 2) + " }\n", "one frame past");

    // Levels that each refer to the one below twice double the frames at every level.
    std::string doubling = kHead + "Frame L0 { }\n";
    for (int i = 1; i <= 13; ++i)
        doubling += "Frame L" + std::to_string(i) + " {" + References("L" + std::to_string(i - 1), 2) + " }\n";
    ExpectRefusedAtOnce(doubling, "thirteen doubling levels");

    // Every reference to a mesh makes a mesh container, as the mesh at the top does.
    const std::string mesh = kHead + Triangle("M");
    {
        Loaded m(Write(mesh + "Frame Root {" + References("M", XLimits::kMaxMeshContainers - 1) + " }\n"));
        ASSERT_EQ(D3D_OK, m.hr);
        EXPECT_EQ(int(XLimits::kMaxMeshContainers), m.alloc.containersCreated);
    }
    ExpectRefusedAtOnce(mesh + "Frame Root {" + References("M", XLimits::kMaxMeshContainers) + " }\n",
                        "one mesh past");
    // References spread over frames count together.
    ExpectRefusedAtOnce(mesh + "Frame A {" + References("M", 50) + " }\nFrame B {" + References("M", 50) + " }\n",
                        "meshes of two frames");
}

TEST(XFileLimits, FacesVerticesMaterialsAndBonesCountEveryReference)
{
    // A mesh at the top and 49 references to it meet each limit exactly; one more small mesh
    // (the 51st, well inside the meshes' own limit) goes past.
    const size_t per = XLimits::kMaxFaces / 50;
    const std::string faces = kHead + Fan("F", per) + "Frame Root {" + References("F", 49);
    EXPECT_TRUE(SceneLoads(faces + " }\n"));
    EXPECT_NE(std::string::npos, SceneError(faces + Fan("G", 1) + " }\n").find("too many faces"));
    ExpectRefusedAtOnce(faces + Fan("G", 1) + " }\n", "faces");

    const std::string vertices = kHead + Vertices("V", XLimits::kMaxVertices / 50) + "Frame Root {" + References("V", 49);
    EXPECT_TRUE(SceneLoads(vertices + " }\n"));
    ExpectRefusedAtOnce(vertices + Vertices("W", 3) + " }\n", "vertices");

    std::string list = "MeshMaterialList { 20; 1; 0;;";
    for (int i = 0; i < 20; ++i) list += " Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }";
    list += " }";
    const std::string materials = kHead + Triangle("T", list) + "Frame Root {" + References("T", 49);
    EXPECT_TRUE(SceneLoads(materials + " }\n"));
    ExpectRefusedAtOnce(materials + Triangle("U", list) + " }\n", "materials");

    std::string skin;
    for (int b = 0; b < 40; ++b)
        skin += "SkinWeights { \"B" + std::to_string(b) +
                "\"; 1; 0; 1.0; 1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;; } ";
    const std::string bones = kHead + Triangle("S", skin) + "Frame Root {" + References("S", 49);
    EXPECT_TRUE(SceneLoads(bones + " }\n"));
    ExpectRefusedAtOnce(bones + Triangle("R", skin) + " }\n", "bones");
}

TEST(XFileLimits, WeightsOfSplitVerticesAreCountedAsTheLoaderBuildsThem)
{
    // Three file vertices met with a normal of their own at every corner: the loader makes a
    // vertex per corner, and each of the two bones' three weights a weight per copy. The scene
    // sees six weights; the loader sees more than a model may have, after it has built the
    // mesh of the first frame, which it then releases with everything else.
    const size_t corners = XLimits::kMaxBoneWeights / 2 + 3;
    std::string weights;
    for (int b = 0; b < 2; ++b)
        weights += " SkinWeights { \"A\"; 3; 0,1,2; 0.5,0.5,0.5; 1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,"
                   "0.0,0.0,1.0;; }";
    const std::string text = kHead + "Frame A { " + Triangle("First") + "}\nFrame B { " +
                             SplitMesh("Split", corners, weights) + "}\n";
    ASSERT_TRUE(SceneLoads(text));

    Loaded m(Write(text));
    EXPECT_EQ(D3DXERR_INVALIDDATA, m.hr);
    EXPECT_EQ(nullptr, m.root);
    EXPECT_EQ(1, m.alloc.containersCreated);
    EXPECT_GE(m.alloc.framesCreated, 2);
    EXPECT_EQ(0, m.alloc.Live());
}

TEST(XFileLimits, VerticesSplitByTheirNormalsAreCountedAsTheLoaderBuildsThem)
{
    // Forty-nine meshes of many vertices and one triangle bring the vertices near the limit;
    // a last mesh of three file vertices, given a normal of its own at each of its corners,
    // takes the loader past it. The scene counts file vertices and sees a model inside.
    const size_t many = XLimits::kMaxVertices / 50;
    const size_t corners = XLimits::kMaxVertices - 49 * many + 1;
    const std::string text =
        kHead + Vertices("V", many) + "Frame Root {" + References("V", 48) + SplitMesh("Split", corners) + "}\n";
    ASSERT_TRUE(SceneLoads(text));

    Loaded m(Write(text));
    EXPECT_EQ(D3DXERR_INVALIDDATA, m.hr);
    EXPECT_EQ(nullptr, m.root);
    EXPECT_EQ(49, m.alloc.containersCreated);
    EXPECT_EQ(0, m.alloc.Live());
}

TEST(XFileLimits, ReferencesThatReadTheSameDataAgainStop)
{
    // A mesh that names one large set of normals again and again would copy it each time.
    const size_t normals = 100000;
    std::string text = kHead + "MeshNormals N { " + std::to_string(normals) + ";";
    for (size_t n = 0; n < normals; ++n) text += n ? ", 0;0;1;" : " 0;0;1;";
    text += "; 1; 3;0,0,0;; }\n";
    const size_t once = 3 * normals;
    const std::string inside = Triangle("M", References("N", XLimits::kMaxSceneElements / once / 2));
    EXPECT_TRUE(SceneLoads(text + inside));
    const std::string past = Triangle("M", References("N", XLimits::kMaxSceneElements / once + 1));
    EXPECT_NE(std::string::npos, SceneError(text + past).find("too many references"));
}

TEST(XFileLimits, FilesLargerThanTheReaderTakesAreRefused)
{
    // A text file whose body is exactly the most the reader takes loads; a byte more is refused.
    const std::string header = kHead.substr(0, 16);
    std::string body = "\nFrame A { }\n";
    body.resize(XLimits::kMaxDecompressed, ' ');
    EXPECT_TRUE(SceneLoads(header + body));
    EXPECT_NE(std::string::npos, SceneError(header + body + " ").find("too large"));

    // On disk the loader reads no further than that.
    const std::string path = TestDir() + "/large.x";
    qvtest::WriteFileBytes(path, std::vector<uint8_t>(kHead.begin(), kHead.end()));
    ASSERT_EQ(0, truncate(path.c_str(), static_cast<off_t>(16 + XLimits::kMaxDecompressed + 4096)));
    CountingAllocator alloc;
    LPD3DXFRAME root = nullptr;
    EXPECT_EQ(D3DXERR_INVALIDDATA,
              D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root, nullptr));
    EXPECT_EQ(nullptr, root);
}

namespace {

// An allocator whose second mesh container throws, as an application's may.
struct ThrowingAllocator : CountingAllocator {
    STDMETHOD(CreateMeshContainer)(LPCSTR Name, const D3DXMESHDATA* pMeshData, const D3DXMATERIAL* pMaterials,
                                   const D3DXEFFECTINSTANCE* pEffects, DWORD NumMaterials, const DWORD* pAdjacency,
                                   LPD3DXSKININFO pSkinInfo, LPD3DXMESHCONTAINER* ppNewMeshContainer) override
    {
        if (containerCalls == 1) throw "Failed CountingAllocator::CreateMeshContainer";
        return CountingAllocator::CreateMeshContainer(Name, pMeshData, pMaterials, pEffects, NumMaterials, pAdjacency,
                                                      pSkinInfo, ppNewMeshContainer);
    }
};

} // namespace

TEST(XFileLimits, AnExceptionFromTheAllocatorLeavesNothingBuilt)
{
    const std::string text = kHead + "Frame A { " + Triangle("First") + "}\nFrame B { " + Triangle("Second") + "}\n";
    const std::string path = TestDir() + "/model.x";
    qvtest::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    ThrowingAllocator alloc;
    LPD3DXFRAME root = nullptr;
    const char* thrown = nullptr;
    try {
        D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root, nullptr);
    } catch (const char* text) {
        thrown = text;
    }
    ASSERT_NE(nullptr, thrown);
    EXPECT_STREQ("Failed CountingAllocator::CreateMeshContainer", thrown);
    EXPECT_EQ(nullptr, root);
    EXPECT_EQ(1, alloc.containersCreated);
    EXPECT_EQ(0, alloc.Live());
}

TEST(XFileLimits, EachAnimationPosesTheFirstFrameOfItsName)
{
    // A thousand frames, one animation each, and a second frame named like the first: the
    // animations find their frames by name, the first of a name in the hierarchy's order.
    const int frames = 1000;
    std::string text = kHead + "AnimTicksPerSecond { 100; }\nFrame Root {\n";
    for (int i = 0; i < frames; ++i) text += " Frame F" + std::to_string(i) + " { }\n";
    text += " Frame F0 { FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,5.0,0.0,1.0;; } }\n";
    text += " " + Triangle("M") + "}\nAnimationSet Move {\n";
    for (int i = 0; i < frames; ++i)
        text += " Animation { { F" + std::to_string(i) + " } AnimationKey { 2; 1; 0;3;" + std::to_string(i + 1) +
                ".0,0.0,0.0;;; } }\n";
    text += "}\n";
    Loaded m(Write(text));
    ASSERT_EQ(D3D_OK, m.hr);
    ASSERT_NE(nullptr, m.controller);
    EXPECT_EQ(UINT(frames), m.controller->GetMaxNumAnimationOutputs());
    ASSERT_EQ(D3D_OK, m.controller->AdvanceTime(0.0, nullptr));
    int seen = 0;
    for (LPD3DXFRAME f = m.root->pFrameFirstChild; f; f = f->pFrameSibling, ++seen) {
        const D3DXMATRIX& t = f->TransformationMatrix;
        if (seen < frames) {
            EXPECT_FLOAT_EQ(float(seen + 1), t._41) << f->Name;
            EXPECT_FLOAT_EQ(0.0f, t._42) << f->Name;
        } else {
            EXPECT_FLOAT_EQ(0.0f, t._41) << "the second " << f->Name;
            EXPECT_FLOAT_EQ(5.0f, t._42) << "the second " << f->Name;
        }
    }
    EXPECT_EQ(frames + 1, seen);
}
