// Bone boxes: the box containers, which bones get trees, and model-against-model tests.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CD3DXObjectTestFixtures.h"
#include "render/COBBTree.h"
#include "render/CD3DXObject.h"

namespace {

using modelfixture::Write;

class ModelBoxes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(env.Ready()); }
    modelfixture::Surroundings env{modelfixture::TestName()};
};

std::vector<D3DXFRAME_EX*> Frames(CD3DXObject& model)
{
    std::vector<D3DXFRAME_EX*> frames;
    model.GetFrames(model.FrameRoot, frames);
    return frames;
}

D3DXFRAME_EX* Frame(CD3DXObject& model, const char* name)
{
    for (D3DXFRAME_EX* f : Frames(model))
        if (std::strcmp(f->Name, name) == 0) return f;
    return nullptr;
}

D3DXMESHCONTAINER_EX* First(D3DXFRAME_EX* frame)
{
    return static_cast<D3DXMESHCONTAINER_EX*>(frame->pMeshContainer);
}

void Place(CD3DXObject& model, float x, float y, float z)
{
    D3DXMatrixTranslation(model.GetWorldMatrix(), x, y, z);
    model.FrameMove();
}

TEST_F(ModelBoxes, EveryFrameOfASkinnedModelEndsWithItsBoxContainer)
{
    CD3DXObject model;
    model.Load(Write("column.x", modelfixture::ColumnText()).c_str());
    model.CreateBoneOBB(2);
    const std::vector<D3DXFRAME_EX*> frames = Frames(model);
    ASSERT_EQ(frames.size(), 3u);
    for (D3DXFRAME_EX* frame : frames) {
        std::vector<D3DXMESHCONTAINER_EX*> containers;
        model.GetMeshContainers(frame, containers);
        ASSERT_FALSE(containers.empty());
        D3DXMESHCONTAINER_EX* last = containers.back();
        EXPECT_EQ(std::string(last->Name), std::string("BoneOBB_") + frame->Name);
        EXPECT_EQ(last->MeshData.pMesh, nullptr);
        EXPECT_EQ(last->NumMaterials, 0u);
        EXPECT_EQ(last->pSkinInfo, nullptr);
    }
    // The bones carry the faces; Root holds the mesh, which is not a bone: it gets no tree.
    EXPECT_STREQ(First(Frame(model, "Root"))->Name, "Column");
    EXPECT_EQ(First(Frame(model, "Root"))->pOBBTree, nullptr);
    ASSERT_NE(First(Frame(model, "Bone0"))->pOBBTree, nullptr);
    ASSERT_NE(First(Frame(model, "Bone1"))->pOBBTree, nullptr);
    // Bone1's box is in its own coordinates: the upper half, moved down by its offset.
    const COBB& upper = First(Frame(model, "Bone1"))->pOBBTree->Root->Box;
    EXPECT_NEAR(upper.Center.y, 0.5f, 1e-4f);
    const COBB& lower = First(Frame(model, "Bone0"))->pOBBTree->Root->Box;
    EXPECT_NEAR(lower.Center.y, 0.5f, 1e-4f);

    EXPECT_EQ(model.FindBoneContainer("BoneOBB_Bone1"), First(Frame(model, "Bone1")));
    EXPECT_EQ(model.FindBoneContainer("Column"), First(Frame(model, "Root")));
    EXPECT_EQ(model.FindBoneContainer("BoneOBB_Nobody"), nullptr);

    // The box containers draw nothing and do not disturb the frustum test.
    model.FrameMove();
    model.Render();
}

TEST_F(ModelBoxes, AFaceSplitEquallyGoesToTheLowerBoneAndBonesWithoutFacesGetNoTree)
{
    CD3DXObject model;
    model.Load(Write("tied.x", modelfixture::TiedTriangleText()).c_str());
    model.CreateBoneOBB(0);
    ASSERT_NE(First(Frame(model, "BoneA"))->pOBBTree, nullptr);
    EXPECT_EQ(First(Frame(model, "BoneB"))->pOBBTree, nullptr);
    EXPECT_EQ(First(Frame(model, "BoneC"))->pOBBTree, nullptr);
    EXPECT_STREQ(First(Frame(model, "BoneB"))->Name, "BoneOBB_BoneB");
    EXPECT_TRUE(First(Frame(model, "BoneA"))->pOBBTree->Root->Children.empty());
}

TEST_F(ModelBoxes, ModelsHitOnlyWhenTheirBoxesOverlap)
{
    CD3DXObject a, b;
    const std::string path = Write("column.x", modelfixture::ColumnText());
    a.Load(path.c_str());
    b.Load(path.c_str());
    a.CreateBoneOBB(2);
    b.CreateBoneOBB(2);
    Place(a, 0.0f, 0.0f, 0.0f);
    Place(b, 10.0f, 0.0f, 0.0f);
    EXPECT_FALSE(a.HitTest(&b));
    EXPECT_FALSE(b.HitTest(&a));
    Place(b, 0.2f, 0.0f, 0.0f);
    EXPECT_TRUE(a.HitTest(&b));
    EXPECT_TRUE(b.HitTest(&a));

    // Only the named frames of the other model take part.
    EXPECT_TRUE(a.HitTestBone(&b, "Bone1"));
    EXPECT_FALSE(a.HitTestBone(&b, "Nobody"));
    EXPECT_FALSE(a.HitTestBone(&b, "Root")); // its first container holds no tree
    // b's upper half above a's top: only Bone1 of b is high enough to touch a... no, nothing.
    Place(b, 0.0f, 1.9f, 0.0f);
    EXPECT_TRUE(a.HitTestBone(&b, "Bone0"));
    EXPECT_FALSE(a.HitTestBone(&b, "Bone1"));

    // A model without trees hits nothing.
    CD3DXObject bare;
    bare.Load(path.c_str());
    Place(bare, 0.0f, 0.0f, 0.0f);
    EXPECT_FALSE(a.HitTest(&bare));
    EXPECT_FALSE(bare.HitTest(&a));
}

TEST_F(ModelBoxes, UnskinnedModelsBoxEachMeshInItsFrame)
{
    CD3DXObject a, b;
    a.Load(Write("a.x", modelfixture::PlainText(0, 0, 0, 5, 0, 0)).c_str());
    b.Load(Write("b.x", modelfixture::PlainText(0, 0, 0, 0, 0, 0)).c_str());
    a.CreateBoneOBB(0);
    b.CreateBoneOBB(0);
    for (D3DXFRAME_EX* frame : Frames(a)) {
        std::vector<D3DXMESHCONTAINER_EX*> containers;
        a.GetMeshContainers(frame, containers);
        for (D3DXMESHCONTAINER_EX* c : containers) {
            EXPECT_NE(c->MeshData.pMesh, nullptr);
            EXPECT_NE(c->pOBBTree, nullptr);
        }
    }
    Place(a, 0.0f, 0.0f, 0.0f);
    Place(b, 5.5f, 0.5f, 0.0f);
    EXPECT_TRUE(a.HitTest(&b));
    Place(b, 2.5f, 0.0f, 0.0f);
    EXPECT_FALSE(a.HitTest(&b));
}

TEST_F(ModelBoxes, AHandMadeTreeGoesToTheContainerOfThatName)
{
    CD3DXObject model;
    model.Load(Write("column.x", modelfixture::ColumnText()).c_str());
    COBBTree* tree = new COBBTree();
    const float e0[3] = {1, 0, 0}, e1[3] = {0, 1, 0}, e2[3] = {0, 0, 1}, c[3] = {0, 0, 0};
    COBB::Set(e0, e1, e2, c, &tree->Root->Box);
    COBBTree stray;
    EXPECT_FALSE(model.SetBoneOBB("Root", &stray)); // a frame's name, not a container's
    EXPECT_FALSE(model.SetBoneOBB(nullptr, &stray));
    ASSERT_TRUE(model.SetBoneOBB("Column", tree));
    EXPECT_EQ(First(model.FrameRoot)->pOBBTree, tree);

    CD3DXObject other;
    other.Load(Write("column.x", modelfixture::ColumnText()).c_str());
    other.CreateBoneOBB(0);
    Place(model, 0.0f, 0.0f, 0.0f);
    Place(other, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(model.HitTest(&other));
    Place(model, 0.0f, 3.0f, 0.0f);
    EXPECT_FALSE(model.HitTest(&other));
}

} // namespace
