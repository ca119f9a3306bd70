// Box trees: builds of depth 0, 1 and 2 from meshes with 16- and 32-bit indices, hand-made
// trees, and the tree-against-tree test under transforms.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/d3dx9/MeshBuffers.h"
#include "render/COBBTree.h"

namespace {

struct Vertex {
    float x, y, z, nx, ny, nz;
};

// A mesh without a device (system memory), from positions and corner indices.
ID3DXMesh* MakeMesh(const std::vector<D3DXVECTOR3>& positions, const std::vector<DWORD>& indices, bool wide)
{
    ID3DXMesh* mesh = nullptr;
    const DWORD faces = static_cast<DWORD>(indices.size() / 3);
    EXPECT_EQ(S_OK, D3DXCreateMeshFVF(faces, static_cast<DWORD>(positions.size()),
                                      D3DXMESH_SYSTEMMEM | (wide ? D3DXMESH_32BIT : 0), D3DFVF_XYZ | D3DFVF_NORMAL,
                                      nullptr, &mesh));
    if (!mesh) return nullptr;
    void* data = nullptr;
    EXPECT_EQ(S_OK, mesh->LockVertexBuffer(0, &data));
    for (size_t i = 0; i < positions.size(); ++i)
        static_cast<Vertex*>(data)[i] = {positions[i].x, positions[i].y, positions[i].z, 0, 1, 0};
    mesh->UnlockVertexBuffer();
    EXPECT_EQ(S_OK, mesh->LockIndexBuffer(0, &data));
    for (size_t i = 0; i < indices.size(); ++i) {
        if (wide) static_cast<DWORD*>(data)[i] = indices[i];
        else static_cast<WORD*>(data)[i] = static_cast<WORD>(indices[i]);
    }
    mesh->UnlockIndexBuffer();
    return mesh;
}

// Two separate blocks of triangles side by side along x, the right one wider.
void TwoBlocks(std::vector<D3DXVECTOR3>& positions, std::vector<DWORD>& indices)
{
    const float blocks[2][2] = {{0, 2}, {6, 10}};
    for (const auto& b : blocks) {
        const DWORD base = static_cast<DWORD>(positions.size());
        for (int i = 0; i < 8; ++i)
            positions.push_back(D3DXVECTOR3((i & 1) ? b[1] : b[0], (i & 2) ? 1.0f : 0.0f, (i & 4) ? 1.0f : 0.0f));
        const DWORD quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
        for (const auto& q : quads) {
            indices.insert(indices.end(), {base + q[0], base + q[1], base + q[2]});
            indices.insert(indices.end(), {base + q[0], base + q[2], base + q[3]});
        }
    }
}

int CountNodes(const COBBTree::Node* node, int* leaves = nullptr)
{
    if (node->Children.empty() && leaves) ++*leaves;
    int n = 1;
    for (const COBBTree::Node* c : node->Children) n += CountNodes(c, leaves);
    return n;
}

int Depth(const COBBTree::Node* node)
{
    int d = 0;
    for (const COBBTree::Node* c : node->Children) d = std::max(d, 1 + Depth(c));
    return d;
}

bool SameBoxes(const COBBTree::Node* a, const COBBTree::Node* b)
{
    if (std::memcmp(&a->Box, &b->Box, sizeof(COBB)) != 0 || a->Children.size() != b->Children.size()) return false;
    for (size_t i = 0; i < a->Children.size(); ++i)
        if (!SameBoxes(a->Children[i], b->Children[i])) return false;
    return true;
}

// A mesh that answers like a real one, except that its index buffer is of another format.
class OtherIndexFormatMesh final : public ID3DXMesh {
public:
    explicit OtherIndexFormatMesh(ID3DXMesh* real) : real_(real)
    {
        CreateMemoryIndexBuffer(real->GetNumFaces() * 6, 0, D3DFMT_UNKNOWN, &ib_);
    }
    ~OtherIndexFormatMesh() { ib_->Release(); }
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(DrawSubset)(DWORD a) override { return real_->DrawSubset(a); }
    STDMETHOD_(DWORD, GetNumFaces)() override { return real_->GetNumFaces(); }
    STDMETHOD_(DWORD, GetNumVertices)() override { return real_->GetNumVertices(); }
    STDMETHOD_(DWORD, GetFVF)() override { return real_->GetFVF(); }
    STDMETHOD(GetDeclaration)(D3DVERTEXELEMENT9 d[MAX_FVF_DECL_SIZE]) override { return real_->GetDeclaration(d); }
    STDMETHOD_(DWORD, GetNumBytesPerVertex)() override { return real_->GetNumBytesPerVertex(); }
    STDMETHOD_(DWORD, GetOptions)() override { return real_->GetOptions(); }
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9* d) override { return real_->GetDevice(d); }
    STDMETHOD(CloneMeshFVF)(DWORD o, DWORD f, LPDIRECT3DDEVICE9 d, LPD3DXMESH* m) override
    {
        return real_->CloneMeshFVF(o, f, d, m);
    }
    STDMETHOD(CloneMesh)(DWORD o, const D3DVERTEXELEMENT9* e, LPDIRECT3DDEVICE9 d, LPD3DXMESH* m) override
    {
        return real_->CloneMesh(o, e, d, m);
    }
    STDMETHOD(GetVertexBuffer)(LPDIRECT3DVERTEXBUFFER9* vb) override { return real_->GetVertexBuffer(vb); }
    STDMETHOD(GetIndexBuffer)(LPDIRECT3DINDEXBUFFER9* ib) override
    {
        ib_->AddRef();
        *ib = ib_;
        return S_OK;
    }
    STDMETHOD(LockVertexBuffer)(DWORD f, LPVOID* p) override { return real_->LockVertexBuffer(f, p); }
    STDMETHOD(UnlockVertexBuffer)() override { return real_->UnlockVertexBuffer(); }
    STDMETHOD(LockIndexBuffer)(DWORD f, LPVOID* p) override { return ib_->Lock(0, 0, p, f); }
    STDMETHOD(UnlockIndexBuffer)() override { return ib_->Unlock(); }
    STDMETHOD(GetAttributeTable)(D3DXATTRIBUTERANGE* t, DWORD* n) override { return real_->GetAttributeTable(t, n); }
    STDMETHOD(GenerateAdjacency)(FLOAT e, DWORD* a) override { return real_->GenerateAdjacency(e, a); }
    STDMETHOD(LockAttributeBuffer)(DWORD f, DWORD** p) override { return real_->LockAttributeBuffer(f, p); }
    STDMETHOD(UnlockAttributeBuffer)() override { return real_->UnlockAttributeBuffer(); }
    STDMETHOD(Optimize)(DWORD, const DWORD*, DWORD*, DWORD*, LPD3DXBUFFER*, LPD3DXMESH*) override { return E_FAIL; }
    STDMETHOD(OptimizeInplace)(DWORD, const DWORD*, DWORD*, DWORD*, LPD3DXBUFFER*) override { return E_FAIL; }
    STDMETHOD(SetAttributeTable)(const D3DXATTRIBUTERANGE* t, DWORD n) override { return real_->SetAttributeTable(t, n); }

private:
    ID3DXMesh* real_;
    IDirect3DIndexBuffer9* ib_ = nullptr;
};

COBBTree::Node* AddBox(COBBTree::Node* parent, const D3DXVECTOR3& size, const D3DXVECTOR3& centre)
{
    auto* node = new COBBTree::Node();
    const D3DXVECTOR3 e0(size.x, 0, 0), e1(0, size.y, 0), e2(0, 0, size.z);
    COBB::Set(e0, e1, e2, centre, &node->Box);
    parent->Children.push_back(node);
    return node;
}

void SetRoot(COBBTree& tree, const D3DXVECTOR3& size, const D3DXVECTOR3& centre)
{
    const D3DXVECTOR3 e0(size.x, 0, 0), e1(0, size.y, 0), e2(0, 0, size.z);
    COBB::Set(e0, e1, e2, centre, &tree.Root->Box);
}

D3DXMATRIX Translation(float x, float y, float z)
{
    D3DXMATRIX m;
    return *D3DXMatrixTranslation(&m, x, y, z);
}

} // namespace

TEST(COBBTree, DepthsZeroOneAndTwo)
{
    std::vector<D3DXVECTOR3> positions;
    std::vector<DWORD> indices;
    TwoBlocks(positions, indices);
    ID3DXMesh* mesh = MakeMesh(positions, indices, false);
    ASSERT_NE(nullptr, mesh);

    COBBTree flat;
    ASSERT_TRUE(flat.Build(mesh, 0));
    EXPECT_EQ(1, CountNodes(flat.Root));
    // The root encloses both blocks: about 10 long in x (corners shared by more triangles
    // weigh more, which tilts the fit a little).
    EXPECT_NEAR(10.0f, D3DXVec3Length(&flat.Root->Box.Edge[0]), 0.05f);
    EXPECT_NEAR(5.0f, flat.Root->Box.Center.x, 0.05f);

    COBBTree one;
    ASSERT_TRUE(one.Build(mesh, 1));
    EXPECT_EQ(3, CountNodes(one.Root));
    // The cut through the middle parts the two blocks: low (x < 5) first.
    ASSERT_EQ(2u, one.Root->Children.size());
    EXPECT_NEAR(1.0f, one.Root->Children[0]->Box.Center.x, 0.05f);
    EXPECT_NEAR(8.0f, one.Root->Children[1]->Box.Center.x, 0.05f);

    COBBTree two;
    ASSERT_TRUE(two.Build(mesh, 2));
    int leaves = 0;
    const int nodes = CountNodes(two.Root, &leaves);
    EXPECT_EQ(2, Depth(two.Root));
    EXPECT_LE(nodes, 7);
    EXPECT_GE(leaves, 3);
    mesh->Release();
}

TEST(COBBTree, ThirtyTwoBitIndicesBuildLikeSixteenBitOnes)
{
    std::vector<D3DXVECTOR3> positions;
    std::vector<DWORD> indices;
    TwoBlocks(positions, indices);
    ID3DXMesh* narrow = MakeMesh(positions, indices, false);
    ID3DXMesh* wide = MakeMesh(positions, indices, true);
    ASSERT_TRUE(narrow && wide);
    COBBTree a, b;
    ASSERT_TRUE(a.Build(narrow, 2));
    ASSERT_TRUE(b.Build(wide, 2));
    EXPECT_TRUE(SameBoxes(a.Root, b.Root));
    narrow->Release();
    wide->Release();
}

TEST(COBBTree, AnotherIndexFormatBuildsNothing)
{
    std::vector<D3DXVECTOR3> positions;
    std::vector<DWORD> indices;
    TwoBlocks(positions, indices);
    ID3DXMesh* real = MakeMesh(positions, indices, false);
    ASSERT_NE(nullptr, real);
    OtherIndexFormatMesh odd(real);
    COBBTree tree;
    COBB::Set(D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(7, 7, 7), &tree.Root->Box);
    EXPECT_FALSE(tree.Build(&odd, 2));
    // The root's box is untouched and nothing hangs below it.
    EXPECT_EQ(D3DXVECTOR3(7, 7, 7), tree.Root->Box.Center);
    EXPECT_TRUE(tree.Root->Children.empty());
    real->Release();
}

TEST(COBBTree, TrianglesOnOneSideOfEveryCutGoToASingleChild)
{
    // One triangle: every cut leaves it on one side, so each level has one child with it.
    std::vector<OBBTriangle> tris(1);
    tris[0].Set(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(4, 0, 0), D3DXVECTOR3(0, 0, 2));
    COBBTree tree;
    COBBTree::BuildNode(tris, 2, tree.Root);
    EXPECT_EQ(3, CountNodes(tree.Root));
    ASSERT_EQ(1u, tree.Root->Children.size());
    EXPECT_EQ(0, std::memcmp(&tree.Root->Box, &tree.Root->Children[0]->Box, sizeof(COBB)));
}

TEST(COBBTree, AMeshWithoutFacesGivesARootThatHitsEverything)
{
    // A mesh cannot be created without faces, so the build is fed an empty triangle set the
    // way a faceless mesh would.
    COBBTree empty, other;
    COBBTree::BuildNode({}, 2, empty.Root);
    EXPECT_TRUE(empty.Root->Children.empty());
    SetRoot(other, D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(0, 0, 0));
    const D3DXMATRIX far = Translation(1000, 0, 0), id = Translation(0, 0, 0);
    EXPECT_TRUE(COBBTree::HitTest(empty, &id, other, &far));
}

TEST(COBBTree, ALeafIsTestedAgainstEachChildInTurn)
{
    // A building-like tree: a root box round two separate leaf boxes.
    COBBTree building;
    SetRoot(building, D3DXVECTOR3(10, 2, 2), D3DXVECTOR3(0, 0, 0));
    AddBox(building.Root, D3DXVECTOR3(2, 2, 2), D3DXVECTOR3(-4, 0, 0));
    AddBox(building.Root, D3DXVECTOR3(2, 2, 2), D3DXVECTOR3(4, 0, 0));
    COBBTree probe;
    SetRoot(probe, D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(0, 0, 0));

    const D3DXMATRIX id = Translation(0, 0, 0);
    // In the gap: inside the root box, but touching neither leaf.
    EXPECT_FALSE(COBBTree::HitTest(probe, &id, building, &id));
    EXPECT_FALSE(COBBTree::HitTest(building, &id, probe, &id));
    // Over the second leaf only.
    const D3DXMATRIX right = Translation(4.5f, 0, 0);
    EXPECT_TRUE(COBBTree::HitTest(probe, &right, building, &id));
    EXPECT_TRUE(COBBTree::HitTest(building, &id, probe, &right));
    // Moving the building instead gives the same answers.
    const D3DXMATRIX left = Translation(-4.5f, 0, 0);
    EXPECT_TRUE(COBBTree::HitTest(probe, &id, building, &left));
    // A scale in the matrix scales the boxes: stretched 1.4 times along x, the right leaf
    // spans 4.2 to 7 and reaches a probe at 6 to 7.
    D3DXMATRIX grow;
    D3DXMatrixScaling(&grow, 1.4f, 1, 1);
    const D3DXMATRIX farRight = Translation(6.5f, 0, 0);
    EXPECT_FALSE(COBBTree::HitTest(probe, &farRight, building, &id));
    EXPECT_TRUE(COBBTree::HitTest(probe, &farRight, building, &grow));

    // Two trees with children: only overlapping leaf pairs count.
    COBBTree pair;
    SetRoot(pair, D3DXVECTOR3(10, 2, 2), D3DXVECTOR3(0, 0, 0));
    AddBox(pair.Root, D3DXVECTOR3(2, 2, 2), D3DXVECTOR3(-4, 0, 0));
    AddBox(pair.Root, D3DXVECTOR3(2, 2, 2), D3DXVECTOR3(4, 0, 0));
    const D3DXMATRIX rootsOnly = Translation(4, 0, 0); // its leaves at 0 and 8, ours at -4 and 4
    EXPECT_FALSE(COBBTree::HitTest(building, &id, pair, &rootsOnly));
    const D3DXMATRIX leaves = Translation(8, 0, 0); // its first leaf on our second
    EXPECT_TRUE(COBBTree::HitTest(building, &id, pair, &leaves));
    EXPECT_TRUE(COBBTree::HitTest(pair, &leaves, building, &id));
}

TEST(COBBTree, ReleasingTwiceIsHarmless)
{
    // Release forgets the root it deleted, so that neither a second release nor the
    // destructor deletes it again.
    auto* tree = new COBBTree();
    ASSERT_NE(tree->Root, nullptr);
    AddBox(AddBox(tree->Root, D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(0, 0, 0)), D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(0, 0, 0));
    tree->Release();
    EXPECT_EQ(tree->Root, nullptr);
    tree->Release();
    EXPECT_EQ(tree->Root, nullptr);
    delete tree;
}
