#include "CD3DXObjectTestFixtures.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "render/CDirectX9.h"
#include "support/TestSupport.h"

namespace modelfixture {

namespace {

const char* const kIdentity =
    "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;;";

std::string Column(const std::string& texture, const std::string& secondBone)
{
    std::string text = R"(xof 0303txt 0032
AnimTicksPerSecond { 100; }
Frame Root {
 FrameTransformMatrix { )" + std::string(kIdentity) + R"( }
 Frame Bone0 {
  FrameTransformMatrix { )" + kIdentity + R"( }
  Frame Bone1 {
   FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,1.0,0.0,1.0;; }
  }
 }
 Mesh Column {
  12;
  -0.3;0.0;-0.3;, 0.3;0.0;-0.3;, 0.3;0.0;0.3;, -0.3;0.0;0.3;,
  -0.3;1.0;-0.3;, 0.3;1.0;-0.3;, 0.3;1.0;0.3;, -0.3;1.0;0.3;,
  -0.3;2.0;-0.3;, 0.3;2.0;-0.3;, 0.3;2.0;0.3;, -0.3;2.0;0.3;;
  8;
  4;0,4,5,1;, 4;1,5,6,2;, 4;2,6,7,3;, 4;3,7,4,0;,
  4;4,8,9,5;, 4;5,9,10,6;, 4;6,10,11,7;, 4;7,11,8,4;;
  MeshNormals {
   4;
   0.0;0.0;-1.0;, 1.0;0.0;0.0;, 0.0;0.0;1.0;, -1.0;0.0;0.0;;
   8;
   4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;,
   4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;;
  }
  MeshMaterialList {
   2;
   8;
   0,0,0,0,1,1,1,1;
   Material {
    0.9; 0.2; 0.2; 1.0;;
    0.0;
    0.0; 0.0; 0.0;;
    0.0; 0.0; 0.0;;
)";
    if (!texture.empty()) text += "    TextureFilename { \"" + texture + "\"; }\n";
    text += R"(   }
   Material {
    0.2; 0.3; 0.9; 1.0;;
    0.0;
    0.0; 0.0; 0.0;;
    0.0; 0.0; 0.0;;
   }
  }
  XSkinMeshHeader { 2; 4; 2; }
  SkinWeights {
   "Bone0";
   8;
   0,1,2,3,4,5,6,7;
   1.0,1.0,1.0,1.0,0.5,0.5,0.5,0.5;
   )" + std::string(kIdentity) + R"(
  }
  SkinWeights {
   ")" + secondBone + R"(";
   8;
   4,5,6,7,8,9,10,11;
   0.5,0.5,0.5,0.5,1.0,1.0,1.0,1.0;
   1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,-1.0,0.0,1.0;;
  }
 }
}
AnimationSet Sway {
 Animation {
  { Bone0 }
  AnimationKey {
   2;
   2;
   0;3;0.0,0.0,0.0;;,
   100;3;0.5,0.0,0.0;;;
  }
 }
 Animation {
  { Bone1 }
  AnimationKey {
   2;
   1;
   0;3;0.0,1.0,0.0;;;
  }
 }
}
AnimationSet Bend {
 Animation {
  { Bone1 }
  AnimationKey {
   0;
   2;
   0;4;1.0,0.0,0.0,0.0;;,
   100;4;0.70710678,0.0,0.0,0.70710678;;;
  }
  AnimationKey {
   2;
   1;
   0;3;0.0,1.0,0.0;;;
  }
 }
}
)";
    return text;
}

std::string Translation(float x, float y, float z)
{
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, %.3f,%.3f,%.3f,1.0;;",
                  x, y, z);
    return buffer;
}

std::string PlainFrame(float x, float y, float z)
{
    return R"(Frame {
 FrameTransformMatrix { )" + Translation(x, y, z) + R"( }
 Mesh {
  4;
  -0.5;-0.5;0.0;, -0.5;0.5;0.5;, 0.5;0.5;0.0;, 0.5;-0.5;0.5;;
  2;
  3;0,1,2;, 3;0,2,3;;
 }
}
)";
}

} // namespace

std::string ColumnText()
{
    return Column("", "Bone1");
}

std::string TexturedColumnText(const std::string& textureFile)
{
    return Column(textureFile, "Bone1");
}

std::string MissingBoneText()
{
    return Column("", "NoSuchBone");
}

std::string PlainText(float ax, float ay, float az, float bx, float by, float bz)
{
    return "xof 0303txt 0032\n" + PlainFrame(ax, ay, az) + PlainFrame(bx, by, bz);
}

std::string TiedTriangleText()
{
    return R"(xof 0303txt 0032
Frame Root {
 FrameTransformMatrix { )" + std::string(kIdentity) + R"( }
 Frame BoneA { FrameTransformMatrix { )" + kIdentity + R"( } }
 Frame BoneB { FrameTransformMatrix { )" + kIdentity + R"( } }
 Frame BoneC { FrameTransformMatrix { )" + kIdentity + R"( } }
 Mesh Tri {
  3;
  0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;;
  1;
  3;0,1,2;;
  XSkinMeshHeader { 2; 2; 3; }
  SkinWeights { "BoneA"; 3; 0,1,2; 0.5,0.5,0.5; )" + kIdentity + R"( }
  SkinWeights { "BoneB"; 3; 0,1,2; 0.5,0.5,0.5; )" + kIdentity + R"( }
  SkinWeights { "BoneC"; 1; 0; 0.0; )" + kIdentity + R"( }
 }
}
)";
}

std::string StillColumnText()
{
    const std::string text = ColumnText();
    return text.substr(0, text.find("AnimationSet"));
}

std::string TwoSkinnedMeshesText()
{
    std::string text = TiedTriangleText();
    const size_t mesh = text.find(" Mesh Tri {");
    const size_t end = text.rfind("}\n}");
    std::string copy = text.substr(mesh, end + 2 - mesh);
    copy.replace(copy.find("Tri"), 3, "Tri2");
    return text.insert(mesh, copy);
}

std::string TestName()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string Write(const std::string& name, const std::string& text)
{
    qvtest::WriteFileText(name, text);
    return name;
}

Surroundings::Surroundings(const std::string& testName)
{
    previous_ = std::filesystem::current_path().string();
    // The suite's name too: tests of several suites may share a name.
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string suite = info ? std::string(info->test_suite_name()) + "." : std::string();
    const std::string dir = qvtest::MakeTempDir("model_" + suite + testName);
    if (chdir(dir.c_str()) != 0) {
        ADD_FAILURE() << "cannot enter " << dir;
        return;
    }
    std::filesystem::create_directories("data/shader");
    qvtest::WriteFileText("data/shader/shadowvolume.fx", "technique TShader { pass P0 { } }\n");
    window_ = qvtest::MakeDeviceWindow(160, 120);
    if (!window_) {
        ADD_FAILURE() << "no window";
        return;
    }
    try {
        g_DirectX9.Init(window_, 160, 120, true, true);
    } catch (const char* text) {
        ADD_FAILURE() << text;
        return;
    }
    ready_ = true;
}

Surroundings::~Surroundings()
{
    CDirectX9::Release();
    if (window_) DestroyWindow(window_);
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << previous_;
}

} // namespace modelfixture
