// Loading frame hierarchies through the application's allocator: frames, meshes as D3DX
// builds them, materials, skin information, and the release of everything on failure.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "platform/d3dx9/D3DX9.h"
#include "tests/platform/xfile/XFileFixtures.h"
#include "tests/platform/xfile/XFileLoaded.h"
#include "tests/platform/xfile/XFileTestAllocator.h"
#include "tests/support/TestSupport.h"

using xfixture::CountingAllocator;
using xfixture::Loaded;

namespace {

// Each test writes into a folder of its own: tests run in parallel processes.
std::string TestDir()
{
    static const std::string dir =
        qvtest::MakeTempDir(std::string("xfile_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    return dir;
}

std::string WriteModel(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::string path = TestDir() + "/" + name;
    qvtest::WriteFileBytes(path, bytes);
    return path;
}

std::vector<float> VertexFloats(ID3DXMesh* mesh)
{
    void* p = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &p), D3D_OK);
    const float* f = static_cast<const float*>(p);
    std::vector<float> out(f, f + mesh->GetNumVertices() * mesh->GetNumBytesPerVertex() / 4);
    mesh->UnlockVertexBuffer();
    return out;
}

std::vector<uint16_t> Indices16(ID3DXMesh* mesh)
{
    void* p = nullptr;
    EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &p), D3D_OK);
    const uint16_t* i = static_cast<const uint16_t*>(p);
    std::vector<uint16_t> out(i, i + mesh->GetNumFaces() * 3);
    mesh->UnlockIndexBuffer();
    return out;
}

} // namespace

TEST(XFileHierarchy, LoadsTheColumnAsD3DXDoes)
{
    Loaded m(WriteModel("column.x", xfixture::Bytes(xfixture::ColumnText())));
    ASSERT_EQ(m.hr, D3D_OK);
    ASSERT_NE(m.root, nullptr);
    EXPECT_STREQ(m.root->Name, "Root");
    EXPECT_EQ(m.root->pFrameSibling, nullptr);
    LPD3DXFRAME bone0 = m.root->pFrameFirstChild;
    ASSERT_NE(bone0, nullptr);
    EXPECT_STREQ(bone0->Name, "Bone0");
    ASSERT_NE(bone0->pFrameFirstChild, nullptr);
    EXPECT_STREQ(bone0->pFrameFirstChild->Name, "Bone1");
    EXPECT_EQ(bone0->pFrameFirstChild->TransformationMatrix._42, 1.0f);
    EXPECT_EQ(D3DXFrameFind(m.root, "Bone1"), bone0->pFrameFirstChild);
    EXPECT_EQ(D3DXFrameFind(m.root, "Nothing"), nullptr);
    EXPECT_EQ(m.alloc.framesCreated, 3);

    LPD3DXMESHCONTAINER c = m.root->pMeshContainer;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->pNextMeshContainer, nullptr);
    EXPECT_STREQ(c->Name, "Column");
    ASSERT_EQ(c->MeshData.Type, D3DXMESHTYPE_MESH);
    ID3DXMesh* mesh = c->MeshData.pMesh;
    EXPECT_EQ(mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_EQ(mesh->GetNumFaces(), 16u);  // eight quads as fans
    // Every corner of the column meets two sides with different normals: twelve more vertices.
    ASSERT_EQ(mesh->GetNumVertices(), 24u);

    // Each triangle's corners carry its side's normal and the file's positions and texture
    // coordinates.
    const std::vector<float> v = VertexFloats(mesh);
    const std::vector<uint16_t> idx = Indices16(mesh);
    const float sideNormals[4][3] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}};
    std::multiset<std::vector<float>> corners;
    for (size_t t = 0; t < 16; ++t) {
        const float* n0 = &v[idx[3 * t] * 8 + 3];
        int side = -1;
        for (int s = 0; s < 4; ++s)
            if (n0[0] == sideNormals[s][0] && n0[1] == sideNormals[s][1] && n0[2] == sideNormals[s][2])
                side = s;
        ASSERT_GE(side, 0);
        for (int k = 0; k < 3; ++k) {
            const float* p = &v[idx[3 * t + k] * 8];
            EXPECT_EQ(p[3], n0[0]);
            EXPECT_EQ(p[4], n0[1]);
            EXPECT_EQ(p[5], n0[2]);
            // The side faces -z, +x, +z or -x: the corner lies in that plane.
            const float plane = side == 0 ? -p[2] : side == 1 ? p[0] : side == 2 ? p[2] : -p[0];
            EXPECT_EQ(plane, 0.5f);
            // u is 0 at x = -0.5 and 1 at x = 0.5 on the file's vertices; v is y / 2.
            EXPECT_FLOAT_EQ(p[7], p[1] / 2.0f);
        }
    }

    // Faces sorted by material, with one attribute range each.
    D3DXATTRIBUTERANGE table[4];
    DWORD entries = 4;
    ASSERT_EQ(mesh->GetAttributeTable(table, &entries), D3D_OK);
    ASSERT_EQ(entries, 2u);
    EXPECT_EQ(table[0].AttribId, 0u);
    EXPECT_EQ(table[0].FaceStart, 0u);
    EXPECT_EQ(table[0].FaceCount, 8u);
    EXPECT_EQ(table[1].FaceStart, 8u);
    EXPECT_EQ(table[1].FaceCount, 8u);

    // Adjacency across split vertices: only the top and bottom rims are open edges.
    int open = 0;
    for (int i = 0; i < 48; ++i) {
        if (c->pAdjacency[i] == 0xFFFFFFFFu)
            ++open;
        else
            EXPECT_LT(c->pAdjacency[i], 16u);
    }
    EXPECT_EQ(open, 8);

    ASSERT_EQ(c->NumMaterials, 2u);
    EXPECT_STREQ(c->pMaterials[0].pTextureFilename, "column.png");
    EXPECT_EQ(c->pMaterials[1].pTextureFilename, nullptr);
    EXPECT_FLOAT_EQ(c->pMaterials[0].MatD3D.Diffuse.r, 0.8f);
    EXPECT_FLOAT_EQ(c->pMaterials[0].MatD3D.Power, 12.5f);
    EXPECT_FLOAT_EQ(c->pMaterials[0].MatD3D.Specular.b, 0.3f);
    EXPECT_FLOAT_EQ(c->pMaterials[0].MatD3D.Emissive.b, 0.05f);
    EXPECT_EQ(c->pMaterials[0].MatD3D.Ambient.r, 0.0f);
    EXPECT_FLOAT_EQ(c->pMaterials[1].MatD3D.Diffuse.a, 0.5f);

    // Skin weights follow the split vertices: every vertex's weights add up to 1 and a copy
    // has the weights of the vertex it was made from.
    ID3DXSkinInfo* skin = c->pSkinInfo;
    ASSERT_NE(skin, nullptr);
    ASSERT_EQ(skin->GetNumBones(), 2u);
    EXPECT_STREQ(skin->GetBoneName(0), "Bone0");
    EXPECT_STREQ(skin->GetBoneName(1), "Bone1");
    EXPECT_EQ(skin->GetBoneOffsetMatrix(1)->_42, -1.0f);
    EXPECT_EQ(skin->GetNumBoneInfluences(0), 16u);
    std::map<DWORD, float> sum;
    std::map<DWORD, float> bone1;
    for (DWORD b = 0; b < 2; ++b) {
        std::vector<DWORD> verts(skin->GetNumBoneInfluences(b));
        std::vector<float> weights(verts.size());
        ASSERT_EQ(skin->GetBoneInfluence(b, verts.data(), weights.data()), D3D_OK);
        for (size_t i = 0; i < verts.size(); ++i) {
            sum[verts[i]] += weights[i];
            if (b == 1)
                bone1[verts[i]] = weights[i];
        }
    }
    EXPECT_EQ(sum.size(), 24u);
    for (const auto& [vertex, total] : sum)
        EXPECT_FLOAT_EQ(total, 1.0f) << vertex;
    for (DWORD i = 0; i < 24; ++i) {
        const float y = v[i * 8 + 1];
        const float expected = y == 0.0f ? 0.0f : y == 1.0f ? 0.5f : 1.0f;
        EXPECT_FLOAT_EQ(bone1.count(i) ? bone1[i] : 0.0f, expected) << i;
    }
}

TEST(XFileHierarchy, BinaryAndCompressedFilesGiveTheSameHierarchy)
{
    Loaded text(WriteModel("column.x", xfixture::Bytes(xfixture::ColumnText())));
    Loaded bin(WriteModel("column_bin.x", xfixture::TextToBinary(xfixture::ColumnText())));
    Loaded zip(WriteModel("column_zip.x", xfixture::Compress(xfixture::TextToBinary(xfixture::ColumnText(), true), 200)));
    for (Loaded* other : {&bin, &zip}) {
        ASSERT_EQ(other->hr, D3D_OK);
        EXPECT_STREQ(other->root->Name, text.root->Name);
        EXPECT_TRUE(other->root->pFrameFirstChild->pFrameFirstChild->TransformationMatrix ==
                    text.root->pFrameFirstChild->pFrameFirstChild->TransformationMatrix);
        ID3DXMesh* a = text.root->pMeshContainer->MeshData.pMesh;
        ID3DXMesh* b = other->root->pMeshContainer->MeshData.pMesh;
        EXPECT_EQ(VertexFloats(a), VertexFloats(b));
        EXPECT_EQ(Indices16(a), Indices16(b));
        EXPECT_EQ(other->controller->GetNumAnimationSets(), text.controller->GetNumAnimationSets());
    }
}

TEST(XFileHierarchy, UnnamedFramesAModelWithoutMaterialsAndNoAnimation)
{
    Loaded m(WriteModel("plain.x", xfixture::Bytes(xfixture::PlainText())));
    ASSERT_EQ(m.hr, D3D_OK);
    EXPECT_EQ(m.root->Name, nullptr);
    EXPECT_EQ(m.alloc.frameNameWasNull, (std::vector<bool>{true, true}));
    EXPECT_EQ(m.root->TransformationMatrix._11, 2.0f);
    EXPECT_EQ(m.root->TransformationMatrix._43, 3.0f);
    LPD3DXMESHCONTAINER c = m.root->pFrameFirstChild->pMeshContainer;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Name, nullptr);
    EXPECT_EQ(c->NumMaterials, 0u);
    EXPECT_EQ(c->pMaterials, nullptr);
    EXPECT_EQ(c->pSkinInfo, nullptr);
    EXPECT_EQ(c->MeshData.pMesh->GetFVF(), DWORD(D3DFVF_XYZ));
    EXPECT_EQ(c->MeshData.pMesh->GetNumVertices(), 4u);
    EXPECT_EQ(m.controller, nullptr);
    // The two triangles of the square share their diagonal.
    EXPECT_EQ(c->pAdjacency[2], 1u);
    EXPECT_EQ(c->pAdjacency[3], 0u);
}

TEST(XFileHierarchy, EveryAllocationIsReleasedWhenLoadingFails)
{
    const std::string path = WriteModel("column.x", xfixture::Bytes(xfixture::ColumnText()));
    for (int failAt = 0; failAt < 3; ++failAt) {
        CountingAllocator alloc;
        alloc.failFrameAt = failAt;
        LPD3DXFRAME root = reinterpret_cast<LPD3DXFRAME>(1);
        LPD3DXANIMATIONCONTROLLER controller = reinterpret_cast<LPD3DXANIMATIONCONTROLLER>(1);
        EXPECT_TRUE(FAILED(D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root,
                                                      &controller)));
        EXPECT_EQ(root, nullptr);
        EXPECT_EQ(controller, nullptr);
        EXPECT_EQ(alloc.framesCreated, failAt);
        EXPECT_EQ(alloc.Live(), 0) << "failing frame " << failAt;
    }
    {
        CountingAllocator alloc;
        alloc.failContainerAt = 0;
        LPD3DXFRAME root = nullptr;
        EXPECT_TRUE(FAILED(D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root,
                                                      nullptr)));
        EXPECT_EQ(root, nullptr);
        EXPECT_GT(alloc.framesCreated, 0);
        EXPECT_EQ(alloc.Live(), 0);
    }
    // A file that is missing, broken, a folder, or without any frame or mesh makes no call.
    for (const std::string& bad : {std::string("/nonexistent/none.x"), TestDir(),
                                   WriteModel("broken.x", xfixture::Bytes("xof 0303txt 0032\nFrame A { { B } }")),
                                   WriteModel("empty.x", xfixture::Bytes("xof 0303txt 0032\nHeader { 1; 0; 1; }"))}) {
        CountingAllocator alloc;
        LPD3DXFRAME root = nullptr;
        EXPECT_TRUE(FAILED(D3DXLoadMeshHierarchyFromX(bad.c_str(), 0, nullptr, &alloc, nullptr, &root, nullptr)));
        EXPECT_EQ(alloc.frameCalls + alloc.containerCalls, 0);
    }
}

TEST(XFileHierarchy, WindowsPathsAndTopLevelMeshes)
{
    const std::string dir = TestDir();
    qvtest::WriteFileText(dir + "/two.x", "xof 0303txt 0032\nMesh First { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
                                          "Frame A { } Mesh { 3; 0;0;0;, 1;0;0;, 0;0;1;; 1; 3;0,1,2;; } Frame B { }\n");
    std::string windowsPath = dir + "\\two.x";
    CountingAllocator alloc;
    LPD3DXFRAME root = nullptr;
    ASSERT_EQ(D3DXLoadMeshHierarchyFromX(windowsPath.c_str(), 0, nullptr, &alloc, nullptr, &root, nullptr), D3D_OK);
    EXPECT_EQ(root->Name, nullptr);
    ASSERT_NE(root->pMeshContainer, nullptr);
    EXPECT_STREQ(root->pMeshContainer->Name, "First");
    ASSERT_NE(root->pMeshContainer->pNextMeshContainer, nullptr);
    EXPECT_STREQ(root->pFrameFirstChild->Name, "A");
    EXPECT_STREQ(root->pFrameFirstChild->pFrameSibling->Name, "B");
    EXPECT_EQ(D3DXFrameFind(root, "B"), root->pFrameFirstChild->pFrameSibling);
    EXPECT_EQ(D3DXFrameDestroy(root, &alloc), D3D_OK);
    EXPECT_EQ(alloc.Live(), 0);
}

TEST(XFileSkinInfo, SkinsPositionsAndNormalsByWeightedBones)
{
    LPD3DXSKININFO skin = nullptr;
    ASSERT_EQ(D3DXCreateSkinInfoFVF(4, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 2, &skin), D3D_OK);
    const DWORD v0[] = {0, 1};
    const float w0[] = {1.0f, 0.5f};
    const DWORD v1[] = {1, 2};
    const float w1[] = {0.5f, 1.0f};
    ASSERT_EQ(skin->SetBoneInfluence(0, 2, v0, w0), D3D_OK);
    ASSERT_EQ(skin->SetBoneInfluence(1, 2, v1, w1), D3D_OK);
    const DWORD outside[] = {4};
    EXPECT_EQ(skin->SetBoneInfluence(1, 1, outside, w0), D3DERR_INVALIDCALL);
    EXPECT_EQ(skin->SetBoneInfluence(2, 2, v0, w0), D3DERR_INVALIDCALL);
    EXPECT_EQ(skin->GetNumBoneInfluences(1), 2u);
    EXPECT_EQ(skin->GetBoneName(0), nullptr);
    ASSERT_EQ(skin->SetBoneName(0, "Hip"), D3D_OK);
    EXPECT_STREQ(skin->GetBoneName(0), "Hip");
    EXPECT_EQ(skin->GetBoneOffsetMatrix(1)->_11, 1.0f);
    EXPECT_EQ(skin->GetBoneOffsetMatrix(2), nullptr);

    // Bone 0 stays; bone 1 turns a quarter turn about z (x -> y) and moves 2 along x.
    D3DXMATRIX bones[2];
    D3DXMatrixIdentity(&bones[0]);
    D3DXMatrixRotationZ(&bones[1], 3.14159265f / 2.0f);
    bones[1]._41 = 2.0f;
    // x, y, z, nx, ny, nz, u, v per vertex.
    const float src[4][8] = {{1, 0, 0, 1, 0, 0, 0.25f, 0.5f},
                             {1, 0, 0, 1, 0, 0, 0.5f, 0.5f},
                             {1, 0, 0, 1, 0, 0, 0.75f, 0.5f},
                             {1, 1, 1, 0, 1, 0, 1.0f, 1.0f}};
    float dst[4][8];
    for (auto& row : dst)
        for (float& f : row)
            f = 9.0f;
    ASSERT_EQ(skin->UpdateSkinnedMesh(bones, nullptr, src, dst), D3D_OK);
    const float expected[4][6] = {{1, 0, 0, 1, 0, 0},
                                  {1.5f, 0.5f, 0, 0.5f, 0.5f, 0},  // half of each
                                  {2, 1, 0, 0, 1, 0},
                                  {0, 0, 0, 0, 0, 0}};             // no influence: zero
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 6; ++k)
            EXPECT_NEAR(dst[i][k], expected[i][k], 1e-6f) << i << "," << k;
        EXPECT_EQ(dst[i][6], 9.0f);  // the rest of the vertex is left alone
    }
    // Normals take the inverse transposes when given.
    D3DXMATRIX normalsOnly[2];
    D3DXMatrixIdentity(&normalsOnly[0]);
    D3DXMatrixScaling(&normalsOnly[1], 0.0f, 0.0f, 0.0f);
    ASSERT_EQ(skin->UpdateSkinnedMesh(bones, normalsOnly, src, dst), D3D_OK);
    EXPECT_NEAR(dst[2][3], 0.0f, 1e-6f);
    EXPECT_NEAR(dst[2][0], 2.0f, 1e-6f);
    EXPECT_NEAR(dst[1][3], 0.5f, 1e-6f);

    EXPECT_EQ(skin->UpdateSkinnedMesh(nullptr, nullptr, src, dst), D3DERR_INVALIDCALL);
    // Changing influences after skinning is seen by the next skinning.
    const float w2[] = {0.0f, 0.0f};
    ASSERT_EQ(skin->SetBoneInfluence(1, 2, v1, w2), D3D_OK);
    ASSERT_EQ(skin->UpdateSkinnedMesh(bones, nullptr, src, dst), D3D_OK);
    EXPECT_NEAR(dst[2][0], 0.0f, 1e-6f);
    EXPECT_EQ(skin->Release(), 0u);
}

TEST(XFileHierarchy, FacesSortedByMaterialVertexColoursAndWideIndices)
{
    // Materials alternate between the two triangles of each quad; the mesh lists the faces of
    // material 0 first and keeps each face's corners.
    std::string text = "xof 0303txt 0032\nFrame F { Mesh M {\n 6; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;0;0;, 2;1;0;;\n"
                       " 4; 3;0,1,2;, 3;0,2,3;, 3;1,4,5;, 3;1,5,2;;\n"
                       " MeshMaterialList { 2; 4; 1,0,1,0;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }"
                       " Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } }\n"
                       " MeshVertexColors { 2; 0; 1.0;0.0;0.0;1.0;;, 5; 0.0;0.0;1.0;0.5;;; }\n} }\n";
    Loaded m(WriteModel("sorted.x", xfixture::Bytes(text)));
    ASSERT_EQ(m.hr, D3D_OK);
    ID3DXMesh* mesh = m.root->pMeshContainer->MeshData.pMesh;
    EXPECT_EQ(mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_DIFFUSE));
    EXPECT_EQ(Indices16(mesh), (std::vector<uint16_t>{0, 2, 3, 1, 5, 2, 0, 1, 2, 1, 4, 5}));
    DWORD* attributes = nullptr;
    ASSERT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes), D3D_OK);
    EXPECT_EQ(std::vector<DWORD>(attributes, attributes + 4), (std::vector<DWORD>{0, 0, 1, 1}));
    mesh->UnlockAttributeBuffer();
    D3DXATTRIBUTERANGE table[2];
    DWORD entries = 2;
    ASSERT_EQ(mesh->GetAttributeTable(table, &entries), D3D_OK);
    ASSERT_EQ(entries, 2u);
    EXPECT_EQ(table[0].VertexStart, 0u);
    EXPECT_EQ(table[0].VertexCount, 6u);
    EXPECT_EQ(table[1].FaceStart, 2u);
    EXPECT_EQ(table[1].VertexStart, 0u);
    EXPECT_EQ(table[1].VertexCount, 6u);
    // Adjacency in the sorted order: face 0 (0,2,3) meets face 2 (0,1,2) across 0-2.
    const DWORD* adj = m.root->pMeshContainer->pAdjacency;
    EXPECT_EQ(adj[0], 2u);
    EXPECT_EQ(adj[2 * 3 + 2], 0u);
    EXPECT_EQ(adj[2 * 3 + 1], 1u);  // edge 1-2 of face 2 meets face 1 (1,5,2)
    // Colours as ARGB; vertices without a colour are white.
    const std::vector<float> v = VertexFloats(mesh);
    DWORD colour[3];
    std::memcpy(&colour[0], &v[0 * 4 + 3], 4);
    std::memcpy(&colour[1], &v[5 * 4 + 3], 4);
    std::memcpy(&colour[2], &v[2 * 4 + 3], 4);
    EXPECT_EQ(colour[0], 0xFFFF0000u);
    EXPECT_EQ(colour[1], 0x800000FFu);
    EXPECT_EQ(colour[2], 0xFFFFFFFFu);
}

TEST(XFileHierarchy, MeshesOfMoreThan65535VerticesUseWideIndices)
{
    const int quads = 17000;  // 68000 vertices
    std::string text = "xof 0303txt 0032\nMesh Big {\n" + std::to_string(quads * 4) + ";\n";
    for (int q = 0; q < quads; ++q)
        for (int k = 0; k < 4; ++k)
            text += std::to_string(q) + ";" + std::to_string(k & 1) + ";" + std::to_string(k >> 1) + ";" +
                    (q + 1 == quads && k == 3 ? ";\n" : ",");
    text += std::to_string(quads) + ";\n";
    for (int q = 0; q < quads; ++q)
        text += "4;" + std::to_string(4 * q) + "," + std::to_string(4 * q + 1) + "," + std::to_string(4 * q + 3) + "," +
                std::to_string(4 * q + 2) + (q + 1 == quads ? ";;\n" : ";,");
    text += "}\n";
    Loaded m(WriteModel("big.x", xfixture::Bytes(text)));
    ASSERT_EQ(m.hr, D3D_OK);
    ID3DXMesh* mesh = m.root->pMeshContainer->MeshData.pMesh;
    EXPECT_EQ(mesh->GetNumVertices(), DWORD(quads * 4));
    EXPECT_TRUE(mesh->GetOptions() & D3DXMESH_32BIT);
    void* p = nullptr;
    ASSERT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &p), D3D_OK);
    const uint32_t* idx = static_cast<const uint32_t*>(p);
    const size_t last = size_t(quads) * 6 - 1;
    EXPECT_EQ(idx[last], uint32_t(4 * (quads - 1) + 2));
    mesh->UnlockIndexBuffer();
}
