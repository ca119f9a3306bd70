// Loading, frames, materials, the frustum test and drawing of models.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CD3DXObjectTestFixtures.h"
#include "tests/platform/xfile/XFileFixtures.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"
#include "render/CMeshHierarchyAllocator.h"
#include "support/D3D9Fixture.h"

namespace {

using modelfixture::Surroundings;
using modelfixture::TestName;
using modelfixture::Write;

class Model : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(env.Ready()); }
    Surroundings env{TestName()};
};

std::string LoadFailure(CD3DXObject& model, const std::string& path)
{
    try {
        model.Load(path.c_str());
    } catch (const char* text) {
        return text;
    }
    return "";
}

std::vector<D3DXFRAME_EX*> Frames(CD3DXObject& model)
{
    std::vector<D3DXFRAME_EX*> frames;
    model.GetFrames(model.FrameRoot, frames);
    return frames;
}

D3DXFRAME_EX* Frame(CD3DXObject& model, const char* name)
{
    for (D3DXFRAME_EX* f : Frames(model))
        if (f->Name && std::strcmp(f->Name, name) == 0) return f;
    return nullptr;
}

D3DXMATRIX Translation(float x, float y, float z)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

bool SameMatrix(const D3DXMATRIX& a, const D3DXMATRIX& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Looks down +z from the origin.
void LookAlongZ()
{
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    CDirectX9::SafeSetTransform(D3DTS_VIEW, identity);
}

// ---------------------------------------------------------------------------------------------
// Loading

TEST_F(Model, LoadsTheSkinnedColumnWithItsBonesSkinAndAnimation)
{
    CD3DXObject model;
    model.Load(Write("column.x", modelfixture::ColumnText()).c_str());
    ASSERT_NE(model.FrameRoot, nullptr);
    EXPECT_STREQ(model.FrameRoot->Name, "Root");
    ASSERT_NE(model.AnimationController, nullptr);
    EXPECT_EQ(model.AnimationController->GetNumAnimationSets(), 2u);
    ASSERT_EQ(model.BlendList.size(), 1u);
    EXPECT_EQ(model.BlendList[0].Track, 0u);
    EXPECT_EQ(model.BlendList[0].Duration, 1.0f);
    EXPECT_GE(model.BlendList.capacity(), 16u);

    // Track 1 holds set 1, low priority, weight 1, speed 1, at 0, disabled.
    D3DXTRACK_DESC desc;
    ASSERT_EQ(model.AnimationController->GetTrackDesc(1, &desc), D3D_OK);
    EXPECT_EQ(desc.Priority, D3DXPRIORITY_LOW);
    EXPECT_EQ(desc.Weight, 1.0f);
    EXPECT_EQ(desc.Speed, 1.0f);
    EXPECT_EQ(desc.Position, 0.0);
    EXPECT_FALSE(desc.Enable);

    // The bone buffer is 16-byte aligned, its distance byte points back into its block.
    ASSERT_NE(model.BoneMatrices, nullptr);
    EXPECT_EQ(model.BoneMatrixCapacity, 2u);
    const auto address = reinterpret_cast<std::uintptr_t>(model.BoneMatrices);
    EXPECT_EQ(address % 16, 0u);
    const unsigned distance = reinterpret_cast<unsigned char*>(model.BoneMatrices)[-1];
    EXPECT_GE(distance, 1u);
    EXPECT_LE(distance, 16u);

    D3DXMESHCONTAINER_EX* column = static_cast<D3DXMESHCONTAINER_EX*>(model.FrameRoot->pMeshContainer);
    ASSERT_NE(column, nullptr);
    EXPECT_STREQ(column->Name, "Column");
    ASSERT_NE(column->pSkinInfo, nullptr);
    ASSERT_NE(column->pOrigMesh, nullptr);
    EXPECT_NE(column->pOrigMesh, column->MeshData.pMesh);
    EXPECT_EQ(column->NumMaterials, 2u);
    EXPECT_EQ(column->NumAttributeGroups, 2u);
    EXPECT_EQ(column->SrcBlend, static_cast<DWORD>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(column->DestBlend, static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
    // Ambient follows diffuse, and the copies keep the loaded colours.
    EXPECT_EQ(column->pMaterials[0].MatD3D.Ambient.r, 0.9f);
    EXPECT_EQ(column->pOrigMaterials[1].Diffuse.b, 0.9f);
    // Bone pointers name the bones' frames.
    ASSERT_NE(column->ppBoneMatrixPtrs, nullptr);
    EXPECT_EQ(column->ppBoneMatrixPtrs[0], &Frame(model, "Bone0")->CombinedTransformationMatrix);
    EXPECT_EQ(column->ppBoneMatrixPtrs[1], &Frame(model, "Bone1")->CombinedTransformationMatrix);
    EXPECT_EQ(column->pBoneOffsetMatrices[1]._42, -1.0f);
    // The sphere holds the column: centre halfway up.
    EXPECT_NEAR(column->BoundingSphereCenter.y, 1.0f, 1e-5f);
    EXPECT_GE(column->BoundingSphereRadius, 1.0f);
}

TEST_F(Model, UnnamedFramesAndMeshesAreDummiesAndMaterialLessMeshesAreGrey)
{
    CD3DXObject model;
    model.Load(Write("plain.x", modelfixture::PlainText(0, 0, 5, 2, 0, 5)).c_str());
    EXPECT_EQ(model.AnimationController, nullptr);
    EXPECT_TRUE(model.BlendList.empty());
    EXPECT_EQ(model.BoneMatrices, nullptr);
    const std::vector<D3DXFRAME_EX*> frames = Frames(model);
    ASSERT_EQ(frames.size(), 3u); // the unnamed root holds both frames
    int containers = 0;
    for (D3DXFRAME_EX* f : frames) {
        EXPECT_STREQ(f->Name, "DUMMY_0");
        for (D3DXMESHCONTAINER* c = f->pMeshContainer; c; c = c->pNextMeshContainer) {
            ++containers;
            D3DXMESHCONTAINER_EX* ex = static_cast<D3DXMESHCONTAINER_EX*>(c);
            EXPECT_STREQ(ex->Name, "DUMMY_0");
            // Normals were added for lighting.
            EXPECT_TRUE(ex->MeshData.pMesh->GetFVF() & D3DFVF_NORMAL);
            ASSERT_EQ(ex->NumMaterials, 1u);
            const D3DMATERIAL9& m = ex->pMaterials[0].MatD3D;
            EXPECT_EQ(m.Diffuse.r, 0.5f);
            EXPECT_EQ(m.Diffuse.g, 0.5f);
            EXPECT_EQ(m.Diffuse.b, 0.5f);
            EXPECT_EQ(m.Diffuse.a, 0.0f);
            EXPECT_EQ(m.Ambient.r, 0.5f);
            EXPECT_EQ(m.Specular.g, 0.5f);
            EXPECT_EQ(m.Emissive.r, 0.0f);
            EXPECT_EQ(ex->ppTextures[0].Entry, nullptr);
            EXPECT_EQ(std::memcmp(&ex->pOrigMaterials[0], &m, sizeof m), 0);
        }
    }
    EXPECT_EQ(containers, 2);
}

TEST_F(Model, TheDummyCounterNumbersUnnamedThings)
{
    g_nDummyFrameNumber = 7;
    g_nDummyMeshContainerNumber = 3;
    CD3DXObject model;
    model.Load(Write("plain.x", modelfixture::PlainText(0, 0, 5, 2, 0, 5)).c_str());
    EXPECT_STREQ(model.FrameRoot->Name, "DUMMY_7");
    EXPECT_STREQ(model.FrameRoot->pFrameFirstChild->pMeshContainer->Name, "DUMMY_3");
}

TEST_F(Model, TextAndBinaryFilesGiveTheSameModel)
{
    const std::string text = modelfixture::ColumnText();
    qvtest::WriteFileBytes("column_bin.x", xfixture::TextToBinary(text));
    CD3DXObject a, b;
    a.Load(Write("column.x", text).c_str());
    b.Load("column_bin.x");
    const std::vector<D3DXFRAME_EX*> fa = Frames(a), fb = Frames(b);
    ASSERT_EQ(fa.size(), fb.size());
    for (size_t i = 0; i < fa.size(); ++i) {
        EXPECT_STREQ(fa[i]->Name, fb[i]->Name);
        EXPECT_TRUE(SameMatrix(fa[i]->TransformationMatrix, fb[i]->TransformationMatrix));
        ID3DXMesh* ma = fa[i]->pMeshContainer ? fa[i]->pMeshContainer->MeshData.pMesh : nullptr;
        ID3DXMesh* mb = fb[i]->pMeshContainer ? fb[i]->pMeshContainer->MeshData.pMesh : nullptr;
        ASSERT_EQ(ma == nullptr, mb == nullptr);
        if (!ma) continue;
        ASSERT_EQ(ma->GetNumVertices(), mb->GetNumVertices());
        ASSERT_EQ(ma->GetNumFaces(), mb->GetNumFaces());
        ASSERT_EQ(ma->GetFVF(), mb->GetFVF());
        void* va = nullptr;
        void* vb = nullptr;
        ASSERT_EQ(ma->LockVertexBuffer(D3DLOCK_READONLY, &va), D3D_OK);
        ASSERT_EQ(mb->LockVertexBuffer(D3DLOCK_READONLY, &vb), D3D_OK);
        EXPECT_EQ(std::memcmp(va, vb, static_cast<size_t>(ma->GetNumVertices()) * ma->GetNumBytesPerVertex()), 0);
        ma->UnlockVertexBuffer();
        mb->UnlockVertexBuffer();
    }
    EXPECT_EQ(a.AnimationController->GetNumAnimationSets(), b.AnimationController->GetNumAnimationSets());
}

TEST_F(Model, BadFilesThrowTheLoadFailureAndKeepNothing)
{
    const std::string column = modelfixture::ColumnText();
    const std::vector<uint8_t> binary = xfixture::TextToBinary(column);
    qvtest::WriteFileBytes("empty.x", {});
    Write("truncated.x", column.substr(0, column.size() / 2));
    Write("malformed.x", "xof 0303txt 0032\nFrame Root { FrameTransformMatrix { 1.0; } Mesh { 3; ;;; } }\n");
    Write("notx.x", "this is not a model\n");
    qvtest::WriteFileBytes("truncated_bin.x", std::vector<uint8_t>(binary.begin(), binary.begin() + binary.size() / 2));
    for (const char* path : {"missing.x", "empty.x", "truncated.x", "malformed.x", "notx.x", "truncated_bin.x"}) {
        CD3DXObject model;
        EXPECT_EQ(LoadFailure(model, path), std::string("Failed CD3DXObject::Load D3DXLoadMeshHierarchyFromX[") + path + "]");
        EXPECT_EQ(model.FrameRoot, nullptr) << path;
        EXPECT_EQ(model.AnimationController, nullptr) << path;
        EXPECT_EQ(model.BoneMatrices, nullptr) << path;
        EXPECT_TRUE(model.BlendList.empty()) << path;
    }
}

TEST_F(Model, AMissingTextureThrowsTheCacheFailureAndReleasesTheOthers)
{
    // The column's lower material names a file that exists, so its texture is loaded before the
    // second model's missing one stops the load.
    // A 2x2 white picture, uncompressed 32-bit TGA.
    std::vector<uint8_t> tga(18 + 16, 0xFF);
    std::fill(tga.begin(), tga.begin() + 18, 0);
    tga[2] = 2;
    tga[12] = tga[14] = 2;
    tga[16] = 32;
    tga[17] = 8;
    qvtest::WriteFileBytes("stone.tga", tga);
    {
        CD3DXObject model;
        ASSERT_EQ(LoadFailure(model, Write("textured.x", modelfixture::TexturedColumnText("stone.tga"))), "");
        D3DXMESHCONTAINER_EX* column = static_cast<D3DXMESHCONTAINER_EX*>(model.FrameRoot->pMeshContainer);
        ASSERT_NE(column->ppTextures[0].Entry, nullptr);
        EXPECT_EQ(column->ppTextures[1].Entry, nullptr);
        EXPECT_EQ(column->pMaterials[0].pTextureFilename, nullptr);
        EXPECT_EQ(CD3DSafeTexture::EntryList().size(), 1u);

        CD3DXObject broken;
        const std::string text = modelfixture::TexturedColumnText("nowhere.png");
        EXPECT_EQ(LoadFailure(broken, Write("broken.x", text)),
                  "Failed CD3DSafeTexture::CreateTexture D3DXCreateTextureFromFile[nowhere.png]");
        EXPECT_EQ(broken.FrameRoot, nullptr);
        // The first model's texture is still shared once.
        ASSERT_EQ(CD3DSafeTexture::EntryList().size(), 1u);
        EXPECT_EQ(CD3DSafeTexture::EntryList()[0]->RefCount, 1u);
    }
    EXPECT_TRUE(CD3DSafeTexture::EntryList().empty());
}

TEST_F(Model, ABoneWithoutAFrameRefusesTheModel)
{
    CD3DXObject model;
    EXPECT_EQ(LoadFailure(model, Write("missing_bone.x", modelfixture::MissingBoneText())),
              "Failed CD3DXObject::Load SetupBoneMatrixPointers[missing_bone.x]");
    EXPECT_EQ(model.FrameRoot, nullptr);
    EXPECT_EQ(model.AnimationController, nullptr);
    EXPECT_EQ(model.BoneMatrices, nullptr);
}

TEST_F(Model, SkinnedMeshesGetBonePointersWithoutAnimationAndBesideEachOther)
{
    CD3DXObject still;
    still.Load(Write("still.x", modelfixture::StillColumnText()).c_str());
    EXPECT_EQ(still.AnimationController, nullptr);
    D3DXMatrixTranslation(still.GetWorldMatrix(), 3.0f, 0.0f, 0.0f);
    still.FrameMove();
    // Bone1's matrix: its offset (down one) times its frame (up one, then the world).
    ASSERT_NE(still.BoneMatrices, nullptr);
    EXPECT_EQ(still.BoneMatrices[1]._41, 3.0f);
    EXPECT_EQ(still.BoneMatrices[1]._42, 0.0f);
    still.Render();

    CD3DXObject twice;
    twice.Load(Write("twice.x", modelfixture::TwoSkinnedMeshesText()).c_str());
    int skinned = 0;
    for (D3DXMESHCONTAINER* c = twice.FrameRoot->pMeshContainer; c; c = c->pNextMeshContainer) {
        D3DXMESHCONTAINER_EX* ex = static_cast<D3DXMESHCONTAINER_EX*>(c);
        ASSERT_NE(ex->pSkinInfo, nullptr);
        ++skinned;
        ASSERT_NE(ex->ppBoneMatrixPtrs, nullptr);
        EXPECT_EQ(ex->ppBoneMatrixPtrs[1], &Frame(twice, "BoneB")->CombinedTransformationMatrix);
    }
    EXPECT_EQ(skinned, 2);
}

TEST_F(Model, ReleaseTwiceAndLoadAgain)
{
    CD3DXObject model;
    const std::string path = Write("column.x", modelfixture::ColumnText());
    model.Load(path.c_str());
    model.Release();
    model.Release();
    EXPECT_EQ(model.FrameRoot, nullptr);
    EXPECT_EQ(model.BoneMatrixCapacity, 0u);
    model.Load(path.c_str());
    model.Load(path.c_str());
    ASSERT_NE(model.BoneMatrices, nullptr);
    EXPECT_EQ(model.BlendList.size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Class-wide state

TEST_F(Model, TheEffectIsLoadedByTheFirstObjectAndAgainAfterTheLast)
{
    EXPECT_EQ(CD3DXObject::InstanceCount, 0u);
    {
        CD3DXObject a;
        ASSERT_NE(CD3DXObject::ShadowEffect, nullptr);
        ASSERT_NE(CD3DXObject::SphereMesh, nullptr);
        CD3DXObject b;
        EXPECT_EQ(CD3DXObject::InstanceCount, 2u);
    }
    EXPECT_EQ(CD3DXObject::ShadowEffect, nullptr);
    EXPECT_EQ(CD3DXObject::SphereMesh, nullptr);

    // Without the effect file no object can be made, and the count stays.
    std::remove("data/shader/shadowvolume.fx");
    try {
        CD3DXObject c;
        ADD_FAILURE() << "constructed without the effect";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Failed CD3DXObject::CD3DXObject D3DXCreateEffectFromFile [.\\data\\shader\\shadowvolume.fx]");
    }
    EXPECT_EQ(CD3DXObject::InstanceCount, 0u);
    EXPECT_EQ(CD3DXObject::SphereMesh, nullptr);
    qvtest::WriteFileText("data/shader/shadowvolume.fx", "technique TShader { pass P0 { } }\n");
    CD3DXObject d;
    EXPECT_NE(CD3DXObject::ShadowEffect, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Frames, alpha

TEST_F(Model, FrameMatricesFollowTheWorldMatrixAndUnknownNamesAnswerThePreviousResult)
{
    CD3DXObject model;
    model.Load(Write("column.x", modelfixture::ColumnText()).c_str());
    // No match answers the previous result: zeros while nothing has matched in the process.
    const D3DXMATRIX before = CD3DXObject::FrameMatrixResult;
    EXPECT_TRUE(SameMatrix(model.GetFrameMatrix(model.FrameRoot, "Nobody"), before));

    *model.GetWorldMatrix() = Translation(5.0f, 0.0f, 0.0f);
    model.FrameMove();
    const D3DXMATRIX bone1 = model.GetFrameMatrix(model.FrameRoot, "Bone1");
    EXPECT_EQ(bone1._41, 5.0f);
    EXPECT_EQ(bone1._42, 1.0f);
    EXPECT_TRUE(SameMatrix(model.GetFrameMatrix(model.FrameRoot, "Nobody"), bone1));
    EXPECT_TRUE(SameMatrix(model.GetFrameMatrix(model.FrameRoot, "bone1"), bone1)); // case counts
    // FrameMove set the world transform through the cache.
    EXPECT_TRUE(SameMatrix(D3DXMATRIX(CDirectX9::SafeGetTransform(D3DTS_WORLD)), Translation(5.0f, 0.0f, 0.0f)));
    // Bone matrices: offset x combined.
    EXPECT_EQ(model.BoneMatrices[1]._41, 5.0f);
    EXPECT_EQ(model.BoneMatrices[1]._42, 0.0f);
}

TEST_F(Model, SetAlphaChangesEveryMaterialColourButNotTheCopies)
{
    CD3DXObject model;
    model.Load(Write("column.x", modelfixture::ColumnText()).c_str());
    model.SetAlpha(model.FrameRoot, 0.25f);
    D3DXMESHCONTAINER_EX* column = static_cast<D3DXMESHCONTAINER_EX*>(model.FrameRoot->pMeshContainer);
    for (DWORD i = 0; i < column->NumMaterials; ++i) {
        const D3DMATERIAL9& m = column->pMaterials[i].MatD3D;
        EXPECT_EQ(m.Diffuse.a, 0.25f);
        EXPECT_EQ(m.Ambient.a, 0.25f);
        EXPECT_EQ(m.Specular.a, 0.25f);
        EXPECT_EQ(m.Emissive.a, 0.25f);
        EXPECT_EQ(column->pOrigMaterials[i].Diffuse.a, 1.0f);
    }
}

// ---------------------------------------------------------------------------------------------
// The frustum test

TEST_F(Model, AnObjectIsVisibleWhenAnyContainerMeetsTheFrustum)
{
    LookAlongZ();
    struct Case {
        float ax, ay, az, bx, by, bz;
        bool visible;
    } cases[] = {
        {0, 0, 10, 0, 0, 20, true},     // both in front
        {0, 0, -10, 0, 0, -20, false},  // both behind
        {0, 0, 600, 0, 0, 900, false},  // both beyond the far plane
        {0, 0, -10, 0, 0, 10, true},    // one behind, one in front
        {0, 0, -0.1f, 0, 0, -3, false}, // centre in front, but nearer than the near plane
        {-100, 0, 10, 100, 0, 10, false}, // beyond the left and the right side
        {0, 100, 10, 0, -100, 10, false}, // above and below
    };
    for (const Case& c : cases) {
        CD3DXObject model;
        model.Load(Write("plain.x", modelfixture::PlainText(c.ax, c.ay, c.az, c.bx, c.by, c.bz)).c_str());
        model.FrameMove();
        EXPECT_EQ(model.IsVisible(model.FrameRoot), c.visible) << c.ax << "," << c.az << " / " << c.bx << "," << c.bz;
        // The world matrix moves the object as a whole.
        *model.GetWorldMatrix() = Translation(0.0f, 0.0f, 1000.0f);
        model.FrameMove();
        EXPECT_FALSE(model.IsVisible(model.FrameRoot));
    }
}

TEST_F(Model, TheSidePlanesUseAFourToThreePictureWhateverTheBackBuffer)
{
    LookAlongZ();
    CDirectX9::ProjectionRecord projection;
    g_DirectX9.GetProjection(projection);
    const float z = 20.0f;
    const float slope = projection.TanHalfFieldOfView * (4.0f / 3.0f);
    const float normalLength = std::sqrt(1.0f + slope * slope);
    CD3DXObject probe;
    probe.Load(Write("probe.x", modelfixture::PlainText(0, 0, z, 0, 0, z)).c_str());
    const D3DXMESHCONTAINER_EX* sphere =
        static_cast<D3DXMESHCONTAINER_EX*>(probe.FrameRoot->pFrameFirstChild->pMeshContainer);
    // Where the sphere just touches the right side plane; then a little inside and outside.
    const float edge = (z + sphere->BoundingSphereCenter.z) * slope + sphere->BoundingSphereRadius * normalLength -
                       sphere->BoundingSphereCenter.x;
    for (float x : {edge - 0.05f, edge + 0.05f}) {
        CD3DXObject model;
        model.Load(Write("side.x", modelfixture::PlainText(x, 0, z, x, 0, z)).c_str());
        model.FrameMove();
        EXPECT_EQ(model.IsVisible(model.FrameRoot), x < edge) << x;
    }
    // A scaled frame scales its sphere.
    CD3DXObject scaled;
    scaled.Load(Write("side.x", modelfixture::PlainText(edge + 0.05f, 0, z, edge + 0.05f, 0, z)).c_str());
    D3DXMatrixScaling(scaled.GetWorldMatrix(), 1.0f, 2.0f, 1.0f); // longest row: 2
    scaled.FrameMove();
    EXPECT_TRUE(scaled.IsVisible(scaled.FrameRoot));
}

TEST_F(Model, AnInvisibleObjectDrawsNothingAndRenderKeepsTheMaterial)
{
    LookAlongZ();
    D3DMATERIAL9 before = {};
    before.Diffuse = D3DCOLORVALUE{0.1f, 0.2f, 0.3f, 0.4f};
    CDirectX9::SafeSetMaterial(before);

    CD3DXObject model;
    model.Load(Write("plain.x", modelfixture::PlainText(0, 0, -10, 0, 0, -20)).c_str());
    model.FrameMove(); // world transform = identity
    g_pDevice->BeginScene();
    model.Render();
    // Nothing was drawn: the frames' transforms never reached the cache.
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_TRUE(SameMatrix(D3DXMATRIX(CDirectX9::SafeGetTransform(D3DTS_WORLD)), identity));
    EXPECT_EQ(std::memcmp(&CDirectX9::Material, &before, sizeof before), 0);

    model.Load(Write("plain.x", modelfixture::PlainText(0, 0, 10, 0, 0, -20)).c_str());
    model.FrameMove();
    model.Render();
    g_pDevice->EndScene();
    // Both containers were drawn, the one behind the camera last.
    EXPECT_TRUE(SameMatrix(D3DXMATRIX(CDirectX9::SafeGetTransform(D3DTS_WORLD)), Translation(0.0f, 0.0f, -20.0f)));
    EXPECT_EQ(std::memcmp(&CDirectX9::Material, &before, sizeof before), 0);
}


// ---------------------------------------------------------------------------------------------
// Walk order

// Three quads skinned to one bone each, in containers of the frames X (red), its child Y
// (green) and its sibling Z (blue); the bones sit one, two and three units along x. Each quad
// lies two units left of the origin at depth 5, so its bone of two units brings it to the
// middle of the picture.
std::string ThreeSkinnedQuadsText(bool normals)
{
    const std::string normalBlock = normals ? "  MeshNormals { 1; 0.0;0.0;-1.0;; 2; 3;0,0,0;, 3;0,0,0;; }\n" : "";
    auto quad = [&](const char* name, const char* emissive, const char* bone) {
        return std::string(" Mesh ") + name + R"( {
  4;
  -3.0;-1.0;5.0;, -3.0;1.0;5.0;, -1.0;1.0;5.0;, -1.0;-1.0;5.0;;
  2;
  3;0,1,2;, 3;0,2,3;;
)" + normalBlock + R"(  MeshMaterialList { 1; 2; 0,0;; Material { 0.0;0.0;0.0;1.0;; 0.0; 0.0;0.0;0.0;; )" +
               emissive + R"(;; } }
  SkinWeights { ")" + bone + R"("; 4; 0,1,2,3; 1.0,1.0,1.0,1.0; 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }
 }
)";
    };
    auto bone = [](const char* name, float x) {
        char text[200];
        std::snprintf(text, sizeof text,
                      " Frame %s { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, %.1f,0,0,1;; } }\n", name, x);
        return std::string(text);
    };
    return "xof 0303txt 0032\nFrame Root {\n" + bone("BoneX", 1.0f) + bone("BoneY", 2.0f) + bone("BoneZ", 3.0f) +
           "Frame X {\n" + quad("MX", "1.0;0.0;0.0", "BoneX") + "Frame Y {\n" +
           quad("MY", "0.0;1.0;0.0", "BoneY") + "}\n}\nFrame Z {\n" + quad("MZ", "0.0;0.0;1.0", "BoneZ") + "}\n}\n";
}

TEST_F(Model, ContainersAreSkinnedAndDrawnFrameThenSiblingThenChild)
{
    LookAlongZ();
    CDirectX9::SafeSetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // Meshes without normals in the file are given them, and skinned all the same.
    for (bool normals : {true, false}) {
        SCOPED_TRACE(normals ? "with normals" : "without normals");
        CD3DXObject model;
        model.Load(Write("three.x", ThreeSkinnedQuadsText(normals)).c_str());
        model.FrameMove();
        // X, then its sibling Z, then its child Y: Y's bone is written last into the shared buffer.
        ASSERT_NE(model.BoneMatrices, nullptr);
        EXPECT_EQ(model.BoneMatrices[0]._41, 2.0f);

        // Drawn in the same order, without a depth test: Y's green is on top.
        g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        g_pDevice->BeginScene();
        model.Render();
        g_pDevice->EndScene();
        const qvtest::Image image = qvtest::ReadBackBuffer(g_pDevice);
        ASSERT_EQ(image.width, 160);
        const uint8_t* middle = image.At(80, 60);
        EXPECT_LT(middle[0], 16);
        EXPECT_GT(middle[1], 240);
        EXPECT_LT(middle[2], 16);
    }
}

} // namespace
