// The first stage: the building list, construction and tear-down, the scene step, the draw
// queue, collisions with the buildings, breaking and the falling pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "StageFixture.h"
#include "app/CCharacterSystem.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "game/CCameraShake.h"
#include "game/COpeningSmoke.h"
#include "game/CPhill.h"
#include "game/CQuillabet.h"
#include "game/CRina.h"
#include "game/CStage01.h"
#include "game/CStage01Message.h"
#include "game/SceneSteps.h"
#include "render/CD3DLight.h"
#include "render/CDirectX9.h"
#include "render/CMeshDrawRequest.h"
#include "render/COBBTree.h"
#include "render/D3DXFrameEx.h"

namespace {

template <class T> int CountOf()
{
    int n = 0;
    for (CCharacter* c : CCharacterSystem::CharacterList)
        if (dynamic_cast<T*>(c))
            ++n;
    return n;
}

struct Parsed {
    BuildingRecord building;
    RoadRecord road;
};

Parsed Parse(const char* line, StageMapState& state)
{
    Parsed p;
    ParseStageMapLine(line, state, nullptr, p.building, p.road);
    return p;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The building list

TEST(StageMapLine, PlacesScalesAndTurnsTheBuilding)
{
    StageMapState state;
    const Parsed p = Parse("building003 lot 1.5 0 -2 1.5707964 0 0 1.5 5 2\n", state);
    EXPECT_EQ(p.building.Type, 2);
    // Scaled (3, 30, 4), turned a quarter about y, moved to (3, -0.1, -4).
    D3DXVECTOR3 corner(0.5f, 1.0f, 0.5f);
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &corner, &p.building.World);
    EXPECT_NEAR(out.x, 3.0f + 2.0f, 1e-4f);
    EXPECT_NEAR(out.y, 30.0f - 0.1f, 1e-4f);
    EXPECT_NEAR(out.z, -4.0f - 1.5f, 1e-4f);
    EXPECT_FLOAT_EQ(p.building.Radius, std::sqrt(3.0f) * 30.0f * 0.5f);
    // The road is the building's matrix on the ground.
    D3DXMATRIX expected = p.building.World;
    expected._42 = 0.01f;
    EXPECT_EQ(0, std::memcmp(&expected, &p.road.World, sizeof expected));
    EXPECT_EQ(p.road.Type, 2);
}

TEST(StageMapLine, LowBuildingsAreRaisedSoALowerFactorCanBeTaller)
{
    StageMapState state;
    EXPECT_FLOAT_EQ(Parse("building001 a 0 0 0 0 0 0 1 1 1", state).building.World._22, 3.0f * 4.4f);
    EXPECT_FLOAT_EQ(Parse("building001 a 0 0 0 0 0 0 1 5 1", state).building.World._22, 30.0f);
    EXPECT_FLOAT_EQ(Parse("building001 a 0 0 0 0 0 0 1 7 1", state).building.World._22, 21.0f);
    // Scales (2, 13.2, 2): the radius follows the tallest edge.
    const Parsed p = Parse("building001 a 0 0 0 0 0 0 1 1 1", state);
    EXPECT_FLOAT_EQ(p.building.Radius, std::sqrt(3.0f) * (3.0f * 4.4f) * 0.5f);
}

TEST(StageMapLine, UnknownKindsKeepThePreviousType)
{
    StageMapState state;
    EXPECT_EQ(Parse("Building005 a 0 0 0 0 0 0 1 1 1", state).building.Type, 0); // case matters
    EXPECT_EQ(Parse("building005 a 0 0 0 0 0 0 1 1 1", state).building.Type, 4);
    EXPECT_EQ(Parse("building009 a 0 0 0 0 0 0 1 1 1", state).building.Type, 4);
    EXPECT_EQ(Parse("building0055 a 0 0 0 0 0 0 1 1 1", state).building.Type, 4);
    EXPECT_EQ(Parse("building008 a 0 0 0 0 0 0 1 1 1", state).building.Type, 7);
}

TEST(StageMapLine, ShortAndBlankLinesKeepEarlierFields)
{
    StageMapState state;
    const Parsed full = Parse("building002 a 4 0 5 0 0 0 1 2 3", state);
    const Parsed blank = Parse("\n", state);
    EXPECT_EQ(0, std::memcmp(&full.building.World, &blank.building.World, sizeof(D3DXMATRIX)));
    EXPECT_EQ(blank.building.Type, 1);
    // Only x is given anew; an unreadable number stops the line there.
    const Parsed shortLine = Parse("building002 a 6 zero 9", state);
    EXPECT_FLOAT_EQ(shortLine.building.World._41, 12.0f);
    EXPECT_FLOAT_EQ(shortLine.building.World._43, 10.0f);
    // Before any line every field is 0: the building is flattened to nothing but stays sound.
    StageMapState fresh;
    const Parsed empty = Parse("", fresh);
    EXPECT_EQ(empty.building.Type, 0);
    EXPECT_FLOAT_EQ(empty.building.Radius, std::sqrt(3.0f) * 0.0f + std::sqrt(3.0f) * FLT_MIN * 0.5f);
}

TEST(StageMapLine, AWordAsLongAsTheLineFitsItsBuffer)
{
    StageMapState state;
    std::string line(999, 'x');
    const Parsed p = Parse(line.c_str(), state);
    EXPECT_EQ(std::strlen(state.Kind), 999u);
    EXPECT_EQ(p.building.Type, 0);
}

// ---------------------------------------------------------------------------------------------
// Construction and tear-down

class StageBuildTest : public stagetest::StageTest {
protected:
    const char* Map() const override
    {
        return "building001 near 10 0 0 0 0 0 1 1 1\n"
               "\n"
               "building004 ahead 0 0 40 0.5 0 0 2 3 2\n"
               "building007 far 80 0 -40 0.5 0 0 2 3 2\n";
    }
};

TEST_F(StageBuildTest, BuildsTheCityTheActorsAndTheLight)
{
    CStage01* stage = new CStage01();
    ASSERT_EQ(stage->Buildings.size(), 4u); // the blank line repeats the first building
    ASSERT_EQ(stage->Roads.size(), 4u);
    EXPECT_EQ(stage->Buildings[1].Type, 0);
    EXPECT_EQ(0, std::memcmp(&stage->Buildings[0].World, &stage->Buildings[1].World, sizeof(D3DXMATRIX)));
    for (const BuildingRecord& b : stage->Buildings) {
        const CD3DSafeTexture* t = b.Texture;
        EXPECT_TRUE(t >= stage->BuildingTextures && t < stage->BuildingTextures + CStage01::BUILDING_TEXTURES);
        EXPECT_NE(t->Entry, nullptr);
    }
    for (const auto& model : stage->BuildingModels)
        ASSERT_TRUE(model && model->FrameRoot);
    for (const auto& model : stage->RoadModels)
        ASSERT_TRUE(model && model->FrameRoot);
    // Every piece turns about its own centre: its mesh is centred on the root frame's origin.
    for (const auto& piece : stage->PieceModels) {
        ASSERT_TRUE(piece && piece->FrameRoot);
        const D3DXMESHCONTAINER_EX* c = static_cast<D3DXMESHCONTAINER_EX*>(piece->FrameRoot->pMeshContainer);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->BoundingSphereCenter, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        const D3DXMATRIX& m = piece->FrameRoot->TransformationMatrix;
        EXPECT_TRUE(m._41 > -0.6f && m._41 < 0.6f && m._42 > 0.0f && m._42 < 1.0f && m._43 > -0.6f && m._43 < 0.6f);
    }
    EXPECT_EQ(CountOf<CRina>(), 1);
    EXPECT_EQ(CountOf<CQuillabet>(), 1);
    EXPECT_EQ(CountOf<CQuillabetShadow>(), 1);
    EXPECT_EQ(CountOf<CPhill>(), 10);
    EXPECT_EQ(CountOf<CPhillShadow>(), 10);
    for (CPhill* p : stage->Phill) {
        EXPECT_TRUE(p->Position.x >= -2 && p->Position.x <= 2 && p->Position.z >= -2 && p->Position.z <= 2);
        EXPECT_EQ(p->Position.x, std::floor(p->Position.x));
    }
    // The stage is updated before the actors it made.
    EXPECT_EQ(CCharacterSystem::CharacterList.front(), stage);
    // With a stencil buffer it is cleared with every frame.
    EXPECT_EQ(CDirectX9::ClearParam.Flags, static_cast<DWORD>(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL));
    EXPECT_EQ(CDirectX9::ClearParam.Color, 0xFF000000u);
    ASSERT_NE(stage->Light, nullptr);
    EXPECT_TRUE(stage->Light->IsEnabled);
    EXPECT_FLOAT_EQ(stage->CameraYaw, 3.14159265f / 2.0f);
}

TEST_F(StageBuildTest, DeletingTheStageTakesEverythingItMadeAndEndsTheScene)
{
    g_nStageStep = 1;
    CStage01* stage = new CStage01();
    for (int i = 0; i < 3; ++i)
        stagetest::RunFrame(true);
    EXPECT_FALSE(stage->DrawRequests.empty());
    stage->Kill();
    stagetest::RunFrame();
    // The actors, their shadows and the draw requests go in the same deletion pass.
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
    EXPECT_EQ(g_nStageStep, 2u);
    EXPECT_FALSE(Stage01Step());
    EXPECT_EQ(g_nStageStep, 0u);
}

TEST_F(StageBuildTest, TheStepCreatesTheStageOnceAfterDeletingEveryCharacter)
{
    CStage01* old = new CStage01();
    (void)old;
    g_nStageStep = 0;
    EXPECT_TRUE(Stage01Step());
    EXPECT_EQ(g_nStageStep, 1u);
    EXPECT_EQ(CountOf<CStage01>(), 1);
    EXPECT_EQ(CountOf<CRina>(), 1);
    EXPECT_TRUE(Stage01Step());
    EXPECT_EQ(CountOf<CStage01>(), 1);
    g_nStageStep = 7;
    EXPECT_TRUE(Stage01Step());
    EXPECT_EQ(g_nStageStep, 7u);
}

namespace {

// An axis-aligned box w x h x d at (x, y, z) in the building's unit cube.
struct BoxSpec {
    float w, h, d, x, y, z;
};

// The collision boxes of each building type: the root, then the leaves in order.
std::vector<BoxSpec> ExpectedBuildingBoxes(int type)
{
    std::vector<BoxSpec> boxes = {{type == 5 ? 0.98f : 1.0f, 1, 1, 0, 0.5f, 0}};
    auto post = [&](float x, float z) { boxes.push_back({0.1f, 1, 0.1f, x, 0.5f, z}); };
    switch (type) {
    case 1:
        boxes.push_back({1, 1, 0.6f, 0, 0.5f, 0});
        boxes.push_back({0.86f, 1, 1, 0, 0.5f, 0});
        for (int i = 1; i <= 9; ++i) post(0.38f + 0.007f * i, 0.45f - 0.02f * i);
        for (int i = 1; i <= 9; ++i) post(-0.38f - 0.007f * i, 0.45f - 0.02f * i);
        for (int i = 1; i <= 9; ++i) post(-0.38f - 0.007f * i, 0.02f * i - 0.45f);
        for (int i = 1; i <= 9; ++i) post(0.38f + 0.007f * i, 0.02f * i - 0.45f);
        break;
    case 2:
        boxes.push_back({1, 0.85f, 1, 0, 0.425f, 0});
        boxes.push_back({1, 1, 0.66f, 0, 0.5f, 0.172f});
        break;
    case 3:
        boxes.push_back({1, 1, 0.5f, 0, 0.5f, 0.25f});
        boxes.push_back({0.5f, 1, 1, 0.25f, 0.5f, 0});
        break;
    case 4:
        boxes.push_back({0.79f, 1, 1, 0.105f, 0.5f, 0});
        boxes.push_back({1, 1, 0.87f, 0, 0.5f, 0.065f});
        for (int i = 1; i <= 9; ++i) post(0.021f * i - 0.45f, -0.32f - 0.013f * i);
        break;
    case 5:
        boxes.push_back({0.79f, 1, 1, -0.095f, 0.5f, 0});
        boxes.push_back({0.98f, 1, 0.2f, 0, 0.5f, 0.4f});
        boxes.push_back({0.98f, 1, 0.2f, 0, 0.5f, -0.4f});
        break;
    case 6:
        boxes.push_back({0.7f, 1, 0.89f, 0.15f, 0.5f, 0.055f});
        boxes.push_back({0.7f, 1, 0.89f, -0.15f, 0.5f, -0.055f});
        break;
    case 7:
        boxes.push_back({0.3f, 1, 1, 0.35f, 0.5f, 0});
        boxes.push_back({0.99f, 1, 0.01f, 0.005f, 0.5f, 0.495f});
        boxes.push_back({0.745f, 1, 0.365f, 0.127f, 0.5f, 0.318f});
        for (int i = 2; i <= 50; ++i) post(0.014f * i - 0.45f, 0.55f - 0.02f * i);
        break;
    default:
        break;
    }
    return boxes;
}

void ExpectBox(const COBB& box, const BoxSpec& spec, const std::string& where)
{
    EXPECT_EQ(box.Edge[0], D3DXVECTOR3(spec.w, 0, 0)) << where;
    EXPECT_EQ(box.Edge[1], D3DXVECTOR3(0, spec.h, 0)) << where;
    EXPECT_EQ(box.Edge[2], D3DXVECTOR3(0, 0, spec.d)) << where;
    EXPECT_EQ(box.Center, D3DXVECTOR3(spec.x, spec.y, spec.z)) << where;
}

} // namespace

TEST_F(StageBuildTest, EachBuildingTypeCarriesItsHandSetBoxesOnItsMesh)
{
    CStage01* stage = new CStage01();
    for (int type = 0; type < CStage01::BUILDING_TYPES; ++type) {
        const std::string name = "Mesh_building00" + std::to_string(type + 1);
        CD3DXObject* model = stage->BuildingModels[type].get();
        std::vector<D3DXFRAME_EX*> frames;
        model->GetFrames(model->FrameRoot, frames);
        const COBBTree* tree = nullptr;
        int trees = 0;
        for (D3DXFRAME_EX* frame : frames) {
            for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
                const COBBTree* t = static_cast<D3DXMESHCONTAINER_EX*>(c)->pOBBTree;
                trees += t ? 1 : 0;
                if (t && c->Name && name == c->Name) tree = t;
            }
        }
        ASSERT_NE(tree, nullptr) << name;
        EXPECT_EQ(trees, 1) << name;
        const std::vector<BoxSpec> expected = ExpectedBuildingBoxes(type);
        ExpectBox(tree->Root->Box, expected[0], name + " root");
        ASSERT_EQ(tree->Root->Children.size(), expected.size() - 1) << name;
        for (size_t i = 1; i < expected.size(); ++i) {
            const COBBTree::Node* leaf = tree->Root->Children[i - 1];
            EXPECT_TRUE(leaf->Children.empty()) << name;
            ExpectBox(leaf->Box, expected[i], name + " leaf " + std::to_string(i));
        }
    }
}

class StageNoMapTest : public stagetest::StageTest {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(stagetest::EnterStageDir(nullptr, false).empty());
        std::string error;
        ASSERT_TRUE(stagetest::OpenDevice(160, 120, true, &error)) << error;
    }
};

TEST_F(StageNoMapTest, AMissingListFailsWithItsTextAndLeavesNoCharacter)
{
    g_nStageStep = 0;
    try {
        Stage01Step();
        FAIL() << "no failure";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Failed CStage01::CStage01 fopen");
    }
    EXPECT_EQ(g_nStageStep, 0u);
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
    // The next frame tries again.
    EXPECT_THROW(Stage01Step(), const char*);
}

class StageEmptyMapTest : public stagetest::StageTest {
protected:
    const char* Map() const override { return ""; }
};

TEST_F(StageEmptyMapTest, AnEmptyListGivesAStageWithoutBuildings)
{
    CStage01* stage = new CStage01();
    EXPECT_TRUE(stage->Buildings.empty());
    EXPECT_TRUE(stage->Roads.empty());
    EXPECT_TRUE(stage->BuildingModels[7] && stage->PieceModels[511] && stage->RoadModels[0]);
    for (int i = 0; i < 5; ++i)
        stagetest::RunFrame(true);
    EXPECT_TRUE(stage->DrawRequests.empty());
}

// ---------------------------------------------------------------------------------------------
// Collisions

class StageWallTest : public stagetest::StageTest {
protected:
    // A wall from x = 2 to 4 across Rina's way to the right, too low for the heroine's chest.
    const char* Map() const override { return "building001 wall 1.5 0 0 0 0 0 1 0.1 3\n"; }
};

TEST_F(StageWallTest, RinaWithNoBuildingNearMovesByHerVelocity)
{
    CStage01* stage = new CStage01();
    g_Input.Pressed[INPUT_LEFT] = true;
    stagetest::RunFrame();
    stagetest::RunFrame();
    // Left of the camera that looks along +z is -x; the first frames walk at 0.02.
    EXPECT_NEAR(stage->Rina->Position.x, -0.04f, 1e-5f);
    EXPECT_NEAR(stage->Rina->Position.z, 0.0f, 1e-5f);
}

TEST_F(StageWallTest, RinaWalkingIntoAWallStopsAtTheLastFreePlace)
{
    // No footstep shakes turn the camera, so she walks straight along x.
    CGameConfig::GetInstance().IsSoundOn = false;
    CStage01* stage = new CStage01();
    g_Input.Pressed[INPUT_RIGHT] = true;
    for (int i = 0; i < 150; ++i)
        stagetest::RunFrame();
    // She stays at the wall: each move into it is undone, and a swinging limb that still
    // touches it slides her back a little.
    float least = 1e9f, most = -1e9f;
    for (int i = 0; i < 60; ++i) {
        stagetest::RunFrame();
        least = std::min(least, stage->Rina->Position.x);
        most = std::max(most, stage->Rina->Position.x);
    }
    ASSERT_EQ(stage->Buildings.size(), 1u);
    EXPECT_GT(least, 1.3f);
    EXPECT_LT(most, 2.0f);
    EXPECT_LT(most - least, 0.1f);
    EXPECT_NEAR(stage->Rina->Position.z, 0.0f, 1e-4f);
}

TEST_F(StageWallTest, RinaWalkingSquareIntoATurnedWallStopsAtIt)
{
    // Walking square to a wall turned as she is, her boxes' edges run parallel to its own:
    // rounding must not let her through. For each heading of the camera she first walks in
    // the open, then meets a wall put across her way, turned by her own facing.
    CGameConfig::GetInstance().IsSoundOn = false;
    CStage01* stage = new CStage01();
    ASSERT_EQ(stage->Buildings.size(), 1u);
    BuildingRecord& wall = stage->Buildings[0];
    wall.Radius = std::sqrt(3.0f) * 6.0f * 0.5f;
    const float headings[] = {0.0f, 0.3f, 0.7853982f, 1.0f, 1.5707964f, 2.2f, 3.1415927f, -0.7f, 4.0f, 5.5f};
    for (int n = 0; n < 20; ++n) {
        const float heading = headings[n % 10];
        // A wall higher than she is, and a low one that her legs meet.
        const float height = n < 10 ? 1.5f : 0.4f;
        D3DXMatrixTranslation(&wall.World, 1000.0f, 0.0f, 1000.0f);
        stage->Rina->Position = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        stage->Rina->Move(0.0f, 0.0f);
        stage->CameraYaw = g_fCameraLastYaw = heading;
        g_CameraYawSpring[0] = g_CameraYawSpring[1] = 5.0f;
        g_Input.Pressed[INPUT_UP] = true;
        for (int i = 0; i < 20; ++i)
            stagetest::RunFrame();
        // She has turned to her heading and walks along her own z axis.
        const float facing = stage->Rina->Facing;
        const D3DXVECTOR3 start = stage->Rina->Position;
        const D3DXVECTOR3 forward(std::sin(facing), 0.0f, std::cos(facing));
        D3DXMATRIX scaling, rotation, translation;
        D3DXMatrixScaling(&scaling, 6.0f, height, 2.0f);
        D3DXMatrixRotationY(&rotation, facing);
        D3DXMatrixTranslation(&translation, start.x + 3.0f * forward.x, -0.1f, start.z + 3.0f * forward.z);
        wall.World = scaling * rotation * translation;
        float least = 1e9f, most = -1e9f;
        for (int i = 0; i < 210; ++i) {
            stagetest::RunFrame();
            if (i < 150)
                continue;
            const D3DXVECTOR3 walked = stage->Rina->Position - start;
            least = std::min(least, D3DXVec3Dot(&walked, &forward));
            most = std::max(most, D3DXVec3Dot(&walked, &forward));
        }
        g_Input.Pressed[INPUT_UP] = false;
        ASSERT_FLOAT_EQ(stage->Rina->Facing, facing) << "heading " << heading;
        // The wall's near face is 2 ahead; her body stops short of it.
        EXPECT_GT(least, 1.3f) << "heading " << heading;
        EXPECT_LT(most, 2.0f) << "heading " << heading;
        // Her swinging legs meet the low wall at several heights, so she rocks a little more.
        EXPECT_LT(most - least, 0.15f) << "heading " << heading;
    }
}

class StageInsideTest : public stagetest::StageTest {
protected:
    // A low building over the square's centre: Rina starts inside it.
    const char* Map() const override { return "building001 box 0 0 0 0 0 0 0.3 0.1 0.3\n"; }
};

TEST_F(StageInsideTest, AnActorInsideABuildingIsPushedOutTowardTheFirstFreeSide)
{
    CStage01* stage = new CStage01();
    stagetest::RunFrame();
    const float z1 = stage->Rina->Position.z;
    stagetest::RunFrame();
    const float z2 = stage->Rina->Position.z;
    EXPECT_NEAR(z1, 0.01f, 1e-6f);
    EXPECT_NEAR(z2, 0.02f, 1e-6f);
    EXPECT_FLOAT_EQ(stage->Rina->Position.x, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Breaking and the falling pieces

class StageBreakTest : public stagetest::StageTest {
protected:
    // Two tall buildings in the heroine's way, overlapping each other, and one far off.
    const char* Map() const override
    {
        return "building003 first 0 0 9 0 0 0 2 5 2\n"
               "building005 second 0 0 9.2 0 0 0 2 5 2\n"
               "building002 away 60 0 60 0 0 0 2 5 2\n";
    }
};

TEST_F(StageBreakTest, TheHeroineBreaksOneBuildingAFrameIntoFallingPieces)
{
    CGameConfig::GetInstance().IsSoundOn = false;
    CStage01* stage = new CStage01();
    int frame = 0;
    while (stage->Buildings.size() == 3 && frame < 400) {
        stagetest::RunFrame();
        ++frame;
    }
    ASSERT_EQ(stage->Buildings.size(), 2u) << "nothing broke in 400 frames";
    // The first in list order broke; its road stays.
    EXPECT_EQ(stage->Buildings[0].Type, 4);
    EXPECT_EQ(stage->Roads.size(), 3u);
    ASSERT_EQ(stage->Debris.size(), 64u);
    for (int p = 0; p < 64; ++p) {
        const DebrisRecord& r = stage->Debris[static_cast<size_t>(p)];
        EXPECT_EQ(r.Model, stage->PieceModels[2 * 64 + p]);
        EXPECT_FLOAT_EQ(D3DXVec3Length(&r.Axis), 1.0f);
        EXPECT_TRUE(r.Velocity.x >= -0.01f && r.Velocity.x <= 0.01f);
        EXPECT_TRUE(r.PrevVelocity.y >= -0.0101f && r.PrevVelocity.y <= 0.0051f);
        EXPECT_EQ(r.Life, 479); // made and moved once in the frame of the break
    }
    // The second breaks in a later frame, not in the same one.
    stagetest::RunFrame();
    EXPECT_GE(stage->Buildings.size(), 1u);
}

TEST_F(StageBreakTest, PiecesBounceSettleAndGoAfter481Moves)
{
    CStage01* stage = new CStage01();
    DebrisRecord r;
    r.Model = stage->PieceModels[0];
    r.Texture = &stage->BuildingTextures[0];
    D3DXMatrixIdentity(&r.World);
    r.Position = D3DXVECTOR3(0.0f, 0.0045f, 0.0f);
    r.Velocity = D3DXVECTOR3(0.009f, -0.005f, 0.0f);
    r.PrevVelocity = r.Velocity;
    r.Axis = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    r.Angle = 0.0f;
    r.AngularSpeed = 0.03f;
    r.DustSize = 1.0f;
    r.Life = 480;
    stage->Debris.assign(1, r);
    CGameConfig::GetInstance().IsSoundOn = false;
    stage->MoveDebris();
    // Through the floor: the bounce halves and turns the fall, slows the slide and the turn.
    const DebrisRecord& m = stage->Debris[0];
    EXPECT_FLOAT_EQ(m.Velocity.y, -0.5f * (-0.005f - 0.0001f));
    EXPECT_FLOAT_EQ(m.Velocity.x, 0.009f * (2.0f / 3.0f));
    EXPECT_FLOAT_EQ(m.AngularSpeed, 0.03f * (-2.0f / 3.0f));
    EXPECT_LT(m.Position.y, 0.0f); // the position is not corrected
    EXPECT_EQ(m.Life, 479);
    // With sound off a bounce makes dust but no shake.
    EXPECT_EQ(CountOf<COpeningSmoke>(), 1);
    EXPECT_EQ(CountOf<CCameraShake>(), 0);
    // The top of the rise that follows makes neither.
    while (stage->Debris[0].Velocity.y > 0.0f)
        stage->MoveDebris();
    EXPECT_EQ(CountOf<COpeningSmoke>(), 1);
    // The next bounce, with sound on, shakes the camera by the distance to Rina.
    CGameConfig::GetInstance().IsSoundOn = true;
    while (stage->Debris[0].Velocity.y < 0.0f)
        stage->MoveDebris();
    EXPECT_EQ(CountOf<COpeningSmoke>(), 2);
    ASSERT_EQ(CountOf<CCameraShake>(), 1);
    const DebrisRecord& n = stage->Debris[0];
    const D3DXVECTOR3 toRina = n.Position - stage->Rina->Position; // the piece's world is the identity
    for (CCharacter* c : CCharacterSystem::CharacterList) {
        if (CCameraShake* shake = dynamic_cast<CCameraShake*>(c)) {
            EXPECT_NEAR(shake->Magnitude, 10.0f / (D3DXVec3Length(&toRina) + 20.0f), 1e-4f);
        }
    }
    const int moved = 480 - n.Life;
    for (int i = moved; i < 480; ++i)
        stage->MoveDebris();
    ASSERT_EQ(stage->Debris.size(), 1u);
    EXPECT_EQ(stage->Debris[0].Life, 0);
    stage->MoveDebris();
    EXPECT_TRUE(stage->Debris.empty());
}

TEST(StagePieces, BlinkThreeFramesOnThreeOffInTheirLastTwoSeconds)
{
    EXPECT_TRUE(CStage01::IsPieceShown(479));
    EXPECT_TRUE(CStage01::IsPieceShown(123)); // 123 mod 6 is 3, but not yet blinking
    EXPECT_TRUE(CStage01::IsPieceShown(121));
    EXPECT_TRUE(CStage01::IsPieceShown(120));
    EXPECT_FALSE(CStage01::IsPieceShown(117));
    EXPECT_FALSE(CStage01::IsPieceShown(119));
    EXPECT_TRUE(CStage01::IsPieceShown(114));
    EXPECT_TRUE(CStage01::IsPieceShown(0));
}

TEST(StageSound, VolumeFallsWithDistanceToSilenceAt1000)
{
    EXPECT_FLOAT_EQ(DistanceVolume(0.0f), 1.0f);
    EXPECT_FLOAT_EQ(DistanceVolume(1000.0f), 0.0f);
    EXPECT_FLOAT_EQ(DistanceVolume(5000.0f), 0.0f);
    EXPECT_FLOAT_EQ(DistanceVolume(750.0f), 0.5f);
}

// ---------------------------------------------------------------------------------------------
// The stage's messages

TEST_F(StageEmptyMapTest, TheThreeMessagesComeAtTheirFramesOnce)
{
    CGameConfig::GetInstance().IsSoundOn = false;
    new CStage01();
    int made[3] = {0, 0, 0};
    for (int frame = 0; frame < 800; ++frame) {
        const size_t before = CCharacterSystem::CharacterList.size();
        CCharacterSystem().UpdateAll();
        for (size_t i = before; i < CCharacterSystem::CharacterList.size(); ++i) {
            CCharacter* c = CCharacterSystem::CharacterList[i];
            const int which = dynamic_cast<CStage01Message00*>(c) ? 0
                              : dynamic_cast<CStage01Message01*>(c) ? 1
                              : dynamic_cast<CStage01Message02*>(c) ? 2
                                                                    : -1;
            if (which >= 0) {
                ++made[which];
                const int expected[3] = {180, 460, 740};
                EXPECT_EQ(frame, expected[which]);
            }
        }
        CCharacterSystem().DeleteDead();
    }
    EXPECT_EQ(made[0], 1);
    EXPECT_EQ(made[1], 1);
    EXPECT_EQ(made[2], 1);
}

// ---------------------------------------------------------------------------------------------
// A missing model

class StageMissingModelTest : public stagetest::StageTest {
protected:
    virtual const char* Missing() const = 0;
    void SetUp() override
    {
        namespace fs = std::filesystem;
        stagetest::StageTest::SetUp();
        // The model folder again, without one of the pieces.
        fs::remove("data/xfile");
        const fs::path generated = qvtest::RunDir() + "/data/xfile";
        fs::create_directories("data/xfile/map");
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(generated)) {
            if (e.is_directory() || fs::relative(e.path(), generated) == Missing())
                continue;
            const fs::path link = fs::path("data/xfile") / fs::relative(e.path(), generated);
            fs::create_directories(link.parent_path());
            fs::create_symlink(e.path(), link);
        }
    }
};

class StageMissingPieceTest : public StageMissingModelTest {
protected:
    const char* Missing() const override { return "map/building003Break010.x"; }
};

class StageMissingCameraTest : public StageMissingModelTest {
protected:
    const char* Missing() const override { return "camera.x"; }
};

TEST_F(StageMissingPieceTest, FailsWithTheModelsTextAndLeavesNothingBehind)
{
    g_nStageStep = 0;
    try {
        Stage01Step();
        FAIL() << "no failure";
    } catch (const char* text) {
        EXPECT_NE(std::strstr(text, "Failed CD3DXObject::Load"), nullptr) << text;
        EXPECT_NE(std::strstr(text, "building003Break010.x"), nullptr) << text;
    }
    EXPECT_EQ(g_nStageStep, 0u);
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
    // Nothing of the stage's own stays in the texture cache either.
    EXPECT_TRUE(CD3DSafeTexture::EntryList().empty());
}

TEST_F(StageMissingCameraTest, ALateFailureLeavesOnlyKilledActorsForTheDeletionPass)
{
    try {
        new CStage01();
        FAIL() << "no failure";
    } catch (const char* text) {
        EXPECT_NE(std::strstr(text, "camera.x"), nullptr) << text;
    }
    EXPECT_EQ(CountOf<CStage01>(), 0);
    EXPECT_EQ(CountOf<CRina>(), 1); // killed, deleted with their shadows by the next pass
    CCharacterSystem().DeleteDead();
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
    EXPECT_TRUE(CD3DSafeTexture::EntryList().empty());
}

// ---------------------------------------------------------------------------------------------
// Without a stencil buffer

class StageNoStencilTest : public stagetest::StageTest {
protected:
    const char* Map() const override { return ""; }
    bool Stencil() const override { return false; }
};

TEST_F(StageNoStencilTest, TheClearIsLeftAsItWasAndTheSkyTurnsOnlyWhenDrawn)
{
    const DWORD flags = CDirectX9::ClearParam.Flags;
    CStage01* stage = new CStage01();
    EXPECT_EQ(CDirectX9::ClearParam.Flags, flags);
    EXPECT_EQ(stage->Rina->ShadowModel, nullptr);
    const float yaw = g_fSkyYaw;
    stagetest::RunFrame(false);
    EXPECT_EQ(g_fSkyYaw, yaw);
    stagetest::RunFrame(true);
    EXPECT_FLOAT_EQ(g_fSkyYaw, yaw + 0.0003f);
}
