// Shadow-volume meshes made from small hand-built meshes: the faces first, then a pair of
// triangles per shared edge in the order found, nothing (a point) in the spare triangles of an
// open mesh; the skinned volume's bones; and the meshes that cannot have a volume.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CD3DXObjectTestFixtures.h"
#include "render/CD3DXObject.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "render/CDirectX9.h"
#include "support/TestSupport.h"

namespace {

using V3 = D3DXVECTOR3;

struct ShadowVertex {
    V3 position;
    V3 normal;
};

std::string TestName()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// A frame "Root" holding one mesh (XYZ | NORMAL) of the given corners and faces.
void Attach(CD3DXObject& object, const std::vector<V3>& positions, const std::vector<DWORD>& indices,
            DWORD options = D3DXMESH_MANAGED)
{
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(static_cast<DWORD>(indices.size() / 3), static_cast<DWORD>(positions.size()), options,
                                D3DFVF_XYZ | D3DFVF_NORMAL, g_pDevice, &mesh),
              D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0, &data), D3D_OK);
    auto* vertices = static_cast<ShadowVertex*>(data);
    for (size_t i = 0; i < positions.size(); ++i)
        vertices[i] = ShadowVertex{positions[i], V3(0, 1, 0)};
    mesh->UnlockVertexBuffer();
    ASSERT_EQ(mesh->LockIndexBuffer(0, &data), D3D_OK);
    for (size_t i = 0; i < indices.size(); ++i) {
        if (options & D3DXMESH_32BIT)
            static_cast<DWORD*>(data)[i] = indices[i];
        else
            static_cast<WORD*>(data)[i] = static_cast<WORD>(indices[i]);
    }
    mesh->UnlockIndexBuffer();
    auto* frame = new D3DXFRAME_EX();
    frame->Name = DuplicateName("Root");
    auto* container = new D3DXMESHCONTAINER_EX();
    container->Name = DuplicateName("Mesh");
    container->MeshData.Type = D3DXMESHTYPE_MESH;
    container->MeshData.pMesh = mesh;
    frame->pMeshContainer = container;
    object.FrameRoot = frame;
}

D3DXMESHCONTAINER_EX* Container(CD3DXObject& object)
{
    return static_cast<D3DXMESHCONTAINER_EX*>(object.FrameRoot->pMeshContainer);
}

std::vector<ShadowVertex> ShadowVertices(D3DXMESHCONTAINER_EX* container)
{
    std::vector<ShadowVertex> out;
    if (!container->pShadowMesh)
        return out;
    EXPECT_EQ(container->pShadowMesh->GetNumBytesPerVertex(), 24u);
    void* data = nullptr;
    EXPECT_EQ(container->pShadowMesh->LockVertexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    const auto* v = static_cast<const ShadowVertex*>(data);
    out.assign(v, v + container->pShadowMesh->GetNumVertices());
    container->pShadowMesh->UnlockVertexBuffer();
    return out;
}

bool Same(const V3& a, const V3& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

V3 FaceNormal(const V3& p0, const V3& p1, const V3& p2)
{
    const V3 e0 = p1 - p0, e1 = p2 - p1;
    V3 n;
    D3DXVec3Cross(&n, &e0, &e1);
    return n;
}

// Triangles from `first` on whose three corners lie at one point.
int PointTriangles(const std::vector<ShadowVertex>& v, size_t first)
{
    int count = 0;
    for (size_t t = first; t * 3 + 2 < v.size(); ++t)
        count += Same(v[t * 3].position, v[t * 3 + 1].position) && Same(v[t * 3].position, v[t * 3 + 2].position);
    return count;
}

class ShadowVolume : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(env.Ready()); }
    modelfixture::Surroundings env{TestName()};
};

// A closed tetrahedron: 4 faces and 6 edges fill all 16 triangles.
TEST_F(ShadowVolume, AClosedMeshFillsExactlyFourTrianglesPerFace)
{
    CD3DXObject object;
    const std::vector<V3> p = {V3(0, 0, 0), V3(1, 0, 0), V3(0, 1, 0), V3(0, 0, 1)};
    Attach(object, p, {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3});
    ASSERT_TRUE(object.GenerateShadowVolume());
    D3DXMESHCONTAINER_EX* c = Container(object);
    EXPECT_EQ(c->NumShadowTriangles, 16u);
    ASSERT_NE(c->pShadowMesh, nullptr);
    EXPECT_EQ(c->pShadowMesh->GetNumFaces(), 16u);
    const std::vector<ShadowVertex> v = ShadowVertices(c);
    ASSERT_EQ(v.size(), 48u);
    // The faces in their order, corner by corner, with the unnormalised face normal.
    const DWORD faces[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
    for (int f = 0; f < 4; ++f) {
        const V3 n = FaceNormal(p[faces[f][0]], p[faces[f][1]], p[faces[f][2]]);
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(Same(v[f * 3 + k].position, p[faces[f][k]])) << f << "," << k;
            EXPECT_TRUE(Same(v[f * 3 + k].normal, n)) << f << "," << k;
        }
    }
    EXPECT_EQ(PointTriangles(v, 4), 0);
    // First edge found: faces 0 and 1 share corners 0 (position 0) and 2 of face 0 (position 1)
    // -> oriented 2 -> 0: (pos of corner 0, pos of corner 2, ...).
    EXPECT_TRUE(Same(v[12].position, p[0]));
    EXPECT_TRUE(Same(v[13].position, p[1]));
    EXPECT_TRUE(Same(v[14].position, p[1]));
    EXPECT_TRUE(Same(v[14].normal, FaceNormal(p[0], p[1], p[3])));
    // The index buffer counts the vertices one by one.
    void* data = nullptr;
    ASSERT_EQ(c->pShadowMesh->LockIndexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    for (WORD i = 0; i < 48; ++i)
        EXPECT_EQ(static_cast<const WORD*>(data)[i], i);
    c->pShadowMesh->UnlockIndexBuffer();
}

// Two triangles of a square share one edge: 2 faces, 1 quad, 4 spare triangles at one point.
TEST_F(ShadowVolume, AnOpenMeshLeavesSpareTrianglesThatDrawNothing)
{
    CD3DXObject object;
    const std::vector<V3> p = {V3(0, 0, 0), V3(0, 1, 0), V3(1, 1, 0), V3(1, 0, 0)};
    Attach(object, p, {0, 1, 2, 0, 2, 3});
    ASSERT_TRUE(object.GenerateShadowVolume());
    const std::vector<ShadowVertex> v = ShadowVertices(Container(object));
    ASSERT_EQ(v.size(), 24u);
    EXPECT_EQ(PointTriangles(v, 0), 4); // only the spares: the quad's have area 0 along a line
    EXPECT_EQ(PointTriangles(v, 4), 4);
    for (size_t i = 12; i < 24; ++i)
        EXPECT_TRUE(Same(v[i].position, V3(0, 0, 0)) && Same(v[i].normal, V3(0, 0, 0))) << i;
    // The shared edge 0 -> 2 of face 0 runs 2 -> 0 in the quad: (corner 0, corner 2, b's 2's).
    EXPECT_TRUE(Same(v[6].position, p[0]));
    EXPECT_TRUE(Same(v[7].position, p[2]));
    EXPECT_TRUE(Same(v[8].position, p[2]));
    EXPECT_TRUE(Same(v[9].position, p[0]));
    EXPECT_TRUE(Same(v[10].position, p[2]));
    EXPECT_TRUE(Same(v[11].position, p[0]));
    const V3 na = FaceNormal(p[0], p[1], p[2]);
    EXPECT_TRUE(Same(v[6].normal, na) && Same(v[7].normal, na) && Same(v[9].normal, na));
}

TEST_F(ShadowVolume, AnEdgeInWindingOrderKeepsItsOrder)
{
    // Face 0 = (A, B, C), face 1 = (B, A, D): they share corners 0 and 1 of face 0 -> A to B.
    CD3DXObject object;
    const std::vector<V3> p = {V3(0, 0, 0), V3(0, 1, 0), V3(1, 0, 0), V3(-1, 0, 0)};
    Attach(object, p, {0, 1, 2, 1, 0, 3});
    ASSERT_TRUE(object.GenerateShadowVolume());
    const std::vector<ShadowVertex> v = ShadowVertices(Container(object));
    // (pos of B_a, pos of A_a, pos of A_b), (B_a, A_b, B_b).
    EXPECT_TRUE(Same(v[6].position, p[1]));
    EXPECT_TRUE(Same(v[7].position, p[0]));
    EXPECT_TRUE(Same(v[8].position, p[0]));
    EXPECT_TRUE(Same(v[9].position, p[1]));
    EXPECT_TRUE(Same(v[10].position, p[0]));
    EXPECT_TRUE(Same(v[11].position, p[1]));
    EXPECT_TRUE(Same(v[8].normal, FaceNormal(p[1], p[0], p[3])));
}

TEST_F(ShadowVolume, FacesSharingOneCornerGiveNoQuadAndThreeFacesOnAnEdgeGiveThree)
{
    {
        CD3DXObject object;
        const std::vector<V3> p = {V3(0, 0, 0), V3(0, 1, 0), V3(1, 0, 0), V3(-1, 0, 0), V3(0, -1, 0)};
        Attach(object, p, {0, 1, 2, 0, 3, 4});
        ASSERT_TRUE(object.GenerateShadowVolume());
        const std::vector<ShadowVertex> v = ShadowVertices(Container(object));
        EXPECT_EQ(PointTriangles(v, 2), 6);
    }
    {
        // A fin: three faces on the edge (0,0,0)-(0,1,0), each with its own corners.
        CD3DXObject object;
        const std::vector<V3> p = {V3(0, 0, 0), V3(0, 1, 0), V3(1, 0, 0), V3(0, 0, 0), V3(0, 1, 0),
                                   V3(0, 0, 1), V3(0, 0, 0), V3(0, 1, 0), V3(-1, 0, 0)};
        Attach(object, p, {0, 1, 2, 3, 4, 5, 6, 7, 8});
        ASSERT_TRUE(object.GenerateShadowVolume());
        D3DXMESHCONTAINER_EX* c = Container(object);
        EXPECT_EQ(c->NumShadowTriangles, 12u);
        const std::vector<ShadowVertex> v = ShadowVertices(c);
        // Three quads (faces 0-1, 0-2, 1-2) in triangles 3..8, then three spare ones.
        for (size_t t = 3; t < 9; ++t)
            EXPECT_FALSE(Same(v[t * 3].normal, V3(0, 0, 0))) << t;
        EXPECT_EQ(PointTriangles(v, 9), 3);
        for (size_t i = 27; i < 36; ++i)
            EXPECT_TRUE(Same(v[i].normal, V3(0, 0, 0))) << i;
    }
}

TEST_F(ShadowVolume, ThreeCoincidingCornersFail)
{
    CD3DXObject object;
    const std::vector<V3> p = {V3(0, 0, 0), V3(0, 1, 0), V3(1, 0, 0), V3(0, 1, 0)};
    Attach(object, p, {0, 1, 2, 0, 1, 3}); // face 1 has two corners at one position
    try {
        object.GenerateShadowVolume();
        FAIL() << "no failure";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Failed CD3DXObject::GenerateShadowVolume It seems that there is the vertices of the "
                           "three same positions.");
    }
}

TEST_F(ShadowVolume, AModelWithoutAHierarchyAnswersFalseAndTouchesNothing)
{
    CD3DXObject object;
    CDirectX9::SafeSetRenderState(D3DRS_STENCILENABLE, FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    const uint64_t calls = qv::test::D3D9DeviceCallCount();
    EXPECT_FALSE(object.GenerateShadowVolume());
    EXPECT_FALSE(object.RenderShadowVolume(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(qv::test::D3D9DeviceCallCount(), calls);
}

TEST_F(ShadowVolume, WithoutTheEffectNothingIsDrawn)
{
    CD3DXObject object;
    Attach(object, {V3(0, 0, 0), V3(0, 1, 0), V3(1, 0, 0)}, {0, 1, 2});
    ASSERT_TRUE(object.GenerateShadowVolume());
    ID3DXEffect* effect = CD3DXObject::ShadowEffect;
    CD3DXObject::ShadowEffect = nullptr;
    const uint64_t calls = qv::test::D3D9DeviceCallCount();
    EXPECT_FALSE(object.RenderShadowVolume(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(qv::test::D3D9DeviceCallCount(), calls);
    CD3DXObject::ShadowEffect = effect;
}

TEST_F(ShadowVolume, AnEffectFileEmptyOrOutsideTheLanguageStopsTheFirstModel)
{
    const char* const files[] = {"", "float4x4 mWVP;\nfloat4 VS(float4 p : POSITION) : POSITION\n"
                                     "{\n    return tex2D(p);\n}\ntechnique TShader { pass { VertexShader ="
                                     " compile vs_2_0 VS(); } }\n"};
    for (const char* text : files) {
        qvtest::WriteFileText("data/shader/shadowvolume.fx", text);
        try {
            CD3DXObject object;
            ADD_FAILURE() << "constructed with the effect " << text;
        } catch (const char* failure) {
            EXPECT_STREQ(failure,
                         "Failed CD3DXObject::CD3DXObject D3DXCreateEffectFromFile [.\\data\\shader\\shadowvolume.fx]");
        }
        EXPECT_EQ(CD3DXObject::InstanceCount, 0u);
        EXPECT_EQ(CD3DXObject::ShadowEffect, nullptr);
    }
}

TEST_F(ShadowVolume, MeshesThatSixteenBitIndicesCannotHoldAreRefused)
{
    {
        CD3DXObject object;
        Attach(object, {V3(0, 0, 0), V3(0, 1, 0), V3(1, 0, 0)}, {0, 1, 2}, D3DXMESH_MANAGED | D3DXMESH_32BIT);
        try {
            object.GenerateShadowVolume();
            FAIL() << "no failure";
        } catch (const char* text) {
            EXPECT_STREQ(text, "Failed CD3DXObject::GenerateShadowVolume The mesh has 32-bit indices.");
        }
        EXPECT_EQ(Container(object)->pShadowMesh, nullptr);
    }
    {
        // 5462 faces need 65544 shadow vertices.
        CD3DXObject object;
        std::vector<V3> p;
        std::vector<DWORD> indices;
        for (DWORD f = 0; f < 5462; ++f) {
            p.push_back(V3(static_cast<float>(f), 0, 0));
            p.push_back(V3(static_cast<float>(f), 1, 0));
            p.push_back(V3(static_cast<float>(f) + 0.5f, 0, 1));
            indices.insert(indices.end(), {f * 3, f * 3 + 1, f * 3 + 2});
        }
        p.resize(0xFFFF); // 16-bit indices name at most 65535 vertices
        Attach(object, p, indices);
        try {
            object.GenerateShadowVolume();
            FAIL() << "no failure";
        } catch (const char* text) {
            EXPECT_STREQ(text,
                         "Failed CD3DXObject::GenerateShadowVolume The shadow volume needs more than 65535 vertices.");
        }
        EXPECT_EQ(Container(object)->pShadowMesh, nullptr);
    }
}

// The skinned column: each shadow vertex takes the bones and weights of its model vertex.
TEST_F(ShadowVolume, ASkinnedMeshGetsASkinnedVolume)
{
    CD3DXObject object;
    object.Load(modelfixture::Write("column.x", modelfixture::ColumnText()).c_str());
    ASSERT_TRUE(object.GenerateShadowVolume());
    std::vector<D3DXMESHCONTAINER_EX*> containers;
    std::vector<D3DXFRAME_EX*> frames;
    object.GetFrames(object.FrameRoot, frames);
    for (D3DXFRAME_EX* frame : frames)
        object.GetMeshContainers(frame, containers);
    D3DXMESHCONTAINER_EX* column = nullptr;
    for (D3DXMESHCONTAINER_EX* c : containers)
        if (c->pSkinInfo)
            column = c;
    ASSERT_NE(column, nullptr);
    ASSERT_NE(column->pShadowSkinInfo, nullptr);
    ASSERT_NE(column->pSkinnedShadowMesh, nullptr);
    const DWORD faces = column->MeshData.pMesh->GetNumFaces();
    EXPECT_EQ(column->NumShadowTriangles, faces * 4);
    ID3DXSkinInfo* skin = column->pShadowSkinInfo;
    ASSERT_EQ(skin->GetNumBones(), column->pSkinInfo->GetNumBones());
    const std::vector<ShadowVertex> v = ShadowVertices(column);
    std::vector<float> total(v.size(), 0.0f);
    for (DWORD b = 0; b < skin->GetNumBones(); ++b) {
        EXPECT_STREQ(skin->GetBoneName(b), column->pSkinInfo->GetBoneName(b));
        EXPECT_EQ(std::memcmp(skin->GetBoneOffsetMatrix(b), column->pSkinInfo->GetBoneOffsetMatrix(b),
                              sizeof(D3DXMATRIX)),
                  0);
        const DWORD n = skin->GetNumBoneInfluences(b);
        EXPECT_GT(n, 0u);
        std::vector<DWORD> vertices(n);
        std::vector<float> weights(n);
        ASSERT_EQ(skin->GetBoneInfluence(b, vertices.data(), weights.data()), D3D_OK);
        for (DWORD i = 0; i < n; ++i) {
            ASSERT_LT(vertices[i], v.size());
            total[vertices[i]] += weights[i];
            // Bone0 holds the lower ring and shares the middle; Bone1 the upper and the middle.
            const float y = v[vertices[i]].position.y;
            EXPECT_TRUE(b == 0 ? y <= 1.0f : y >= 1.0f) << b << " " << y;
        }
    }
    // Every written vertex is wholly weighted; the spare ones have no bone.
    for (size_t s = 0; s < v.size(); ++s) {
        const bool written = !Same(v[s].normal, V3(0, 0, 0));
        EXPECT_NEAR(total[s], written ? 1.0f : 0.0f, 1e-5f) << s;
    }
}

// The game's own shadow model: every mesh gets a closed volume, skinned where the mesh is.
TEST_F(ShadowVolume, TheGamesShadowModelGetsItsVolume)
{
    // Its textures are named from the working folder, as the game runs.
    std::filesystem::create_directory_symlink(qvtest::RunDir() + "/data/xfile", "data/xfile");
    CD3DXObject object;
    object.Load(".\\data\\xfile\\RinaShadow.x");
    ASSERT_TRUE(object.GenerateShadowVolume());
    std::vector<D3DXFRAME_EX*> frames;
    std::vector<D3DXMESHCONTAINER_EX*> containers;
    object.GetFrames(object.FrameRoot, frames);
    for (D3DXFRAME_EX* frame : frames)
        object.GetMeshContainers(frame, containers);
    int meshes = 0, open = 0;
    for (D3DXMESHCONTAINER_EX* c : containers) {
        if (!c->MeshData.pMesh)
            continue;
        ++meshes;
        ASSERT_NE(c->pShadowMesh, nullptr);
        EXPECT_EQ(c->NumShadowTriangles, c->MeshData.pMesh->GetNumFaces() * 4);
        EXPECT_EQ(c->pShadowSkinInfo != nullptr, c->pSkinInfo != nullptr);
        open += PointTriangles(ShadowVertices(c), 0);
    }
    EXPECT_GT(meshes, 0);
    // A closed model fills its volume; spare triangles would mean holes in the shadow.
    EXPECT_EQ(open, 0);
}

} // namespace
