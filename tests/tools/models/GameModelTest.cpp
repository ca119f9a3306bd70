// The generated models in the game's own model class, used as the actors and the stage use
// them: time advanced by the actors' steps, the feet down at the footstep times, the bone boxes
// colliding with the stage's building boxes, the heroine's chest breaking a tall building but
// not a low one, and the opening camera read from its frame.
#include "tools/models/ModelFiles.h"

#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"
#include "render/COBBTree.h"
#include "support/D3D9Fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

// The run folder made current (the game's working folder, with ".\data\"), a device on the
// device owner; everything undone at the end.
class GameModels : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = std::filesystem::current_path().string();
        ASSERT_EQ(chdir(qvtest::RunDir().c_str()), 0);
        window = qvtest::MakeDeviceWindow(160, 120);
        ASSERT_NE(window, nullptr);
        try {
            g_DirectX9.Init(window, 160, 120, true, true);
        } catch (const char* text) {
            FAIL() << text;
        }
        ready = true;
    }
    void TearDown() override
    {
        models.clear();
        if (ready)
            CDirectX9::Release();
        if (window)
            DestroyWindow(window);
        EXPECT_EQ(chdir(previous.c_str()), 0);
    }

    CD3DXObject* Load(const char* path)
    {
        models.push_back(std::make_unique<CD3DXObject>());
        try {
            models.back()->Load(path);
        } catch (const char* text) {
            ADD_FAILURE() << text;
        }
        return models.back().get();
    }

    // A building of type 0 with the stage's box on "Mesh_building001", placed as a map record.
    CD3DXObject* Building(float sx, float sy, float sz, float x, float z)
    {
        CD3DXObject* b = Load(".\\data\\xfile\\map\\building001.x");
        COBBTree* tree = new COBBTree();
        const float e0[3] = {1, 0, 0}, e1[3] = {0, 1, 0}, e2[3] = {0, 0, 1}, c[3] = {0, 0.5f, 0};
        COBB::Set(e0, e1, e2, c, &tree->Root->Box);
        EXPECT_TRUE(b->SetBoneOBB("Mesh_building001", tree));
        D3DXMATRIX s, t;
        D3DXMatrixScaling(&s, sx, sy, sz);
        D3DXMatrixTranslation(&t, x, -0.1f, z);
        D3DXMatrixMultiply(b->GetWorldMatrix(), &s, &t);
        b->FrameMove();
        return b;
    }

    static void Place(CD3DXObject* m, float scale, float x, float z)
    {
        D3DXMATRIX s, t;
        D3DXMatrixScaling(&s, scale, scale, scale);
        D3DXMatrixTranslation(&t, x, 0, z);
        D3DXMatrixMultiply(m->GetWorldMatrix(), &s, &t);
        m->FrameMove();
    }

    std::string previous;
    HWND window = nullptr;
    bool ready = false;
    std::vector<std::unique_ptr<CD3DXObject>> models;
};

} // namespace

TEST_F(GameModels, RinasFeetComeDownWhenHerFootstepsPlay)
{
    CD3DXObject* rina = Load(".\\data\\xfile\\Rina.x");
    ASSERT_NE(rina->AnimationController, nullptr);
    // As her update runs: the animation chosen, then one time unit a frame; the footstep plays
    // when the truncated time modulo 60 (walk) or 48 (run) is 12 and 42, or 15 and 39. Her feet
    // must be at their lowest then (the track started at a time that is a whole cycle).
    for (UINT track : {2u, 3u}) {
        const int period = track == 2 ? 60 : 48;
        rina->SetTime(0.0);
        rina->ChangeAnimation(track, 0.0f);
        rina->FrameMove();
        float lowestL = 1e9f, lowestR = 1e9f;
        int atL = -1, atR = -1;
        for (int frame = 0; frame < 3 * period; ++frame) {
            rina->SetTime(rina->GetTime() + 1.0);
            rina->FrameMove();
            if (frame < period)
                continue; // the cross-fade from the first pose is over after a frame
            const float l = rina->GetFrameMatrix(rina->FrameRoot, "Frame15_FootL")._42;
            const float r = rina->GetFrameMatrix(rina->FrameRoot, "Frame17_FootR")._42;
            const int t = static_cast<int>(rina->GetTime()) % period;
            if (l < lowestL)
                lowestL = l, atL = t;
            if (r < lowestR)
                lowestR = r, atR = t;
        }
        EXPECT_EQ(atL, track == 2 ? 12 : 15) << "track " << track;
        EXPECT_EQ(atR, track == 2 ? 42 : 39) << "track " << track;
    }
}

TEST_F(GameModels, RinaAndATownspersonCollideWithABuildingOnlyWhenTheyReachIt)
{
    CD3DXObject* rina = Load(".\\data\\xfile\\Rina.x");
    rina->CreateBoneOBB(2);
    rina->ChangeAnimation(0, 0.0f);
    CD3DXObject* phill = Load(".\\data\\xfile\\Phill.x");
    phill->CreateBoneOBB(0);
    CD3DXObject* building = Building(2.0f, 13.2f, 2.0f, 0.0f, 3.0f); // from z = 2 to 4
    for (CD3DXObject* actor : {rina, phill}) {
        Place(actor, 1.0f, 0.0f, 0.0f);
        EXPECT_FALSE(building->HitTest(actor));
        Place(actor, 1.0f, 0.0f, 1.5f); // her front a little short of the wall
        EXPECT_FALSE(building->HitTest(actor));
        Place(actor, 1.0f, 0.0f, 2.1f);
        EXPECT_TRUE(building->HitTest(actor));
        Place(actor, 1.0f, 1.3f, 3.0f); // beside it
        EXPECT_FALSE(building->HitTest(actor));
    }
}

TEST_F(GameModels, TheHeroinesChestBreaksTallBuildingsNotLowOnes)
{
    CD3DXObject* heroine = Load(".\\data\\xfile\\gameQuillabet.x");
    heroine->CreateBoneOBB(2);
    heroine->ChangeAnimation(0, 0.0f);
    CD3DXObject* tall = Building(8.0f, 20.0f, 8.0f, 0.0f, 0.0f);
    CD3DXObject* low = Building(8.0f, 6.0f, 8.0f, 40.0f, 0.0f);
    int tallHits = 0, lowHits = 0;
    for (float z = -30.0f; z <= 0.0f; z += 0.5f) {
        Place(heroine, 20.0f, 0.0f, z);
        tallHits += tall->HitTestBone(heroine, "Frame5_Breast");
        Place(heroine, 20.0f, 40.0f, z);
        lowHits += low->HitTestBone(heroine, "Frame5_Breast");
        if (z <= -15.0f) {
            EXPECT_FALSE(tall->HitTestBone(heroine, "Frame5_Breast")) << z;
        }
    }
    EXPECT_GT(tallHits, 0);
    EXPECT_EQ(lowHits, 0);
    // The stage's test point sits at her chest.
    const D3DXMATRIX chest = heroine->GetFrameMatrix(heroine->FrameRoot, "Frame5_Breast");
    EXPECT_NEAR(chest._42, 20.0f * 0.65f, 1.0f);
}

TEST_F(GameModels, TheOpeningCameraFrameFollowsRinaFromBehindAtTheStart)
{
    CD3DXObject* camera = Load(".\\data\\xfile\\OpeningCamera.x");
    for (double t : {0.0, 400.0, 799.0}) {
        camera->SetTime(t);
        camera->FrameMove();
        const D3DXMATRIX m = camera->GetFrameMatrix(camera->FrameRoot, "Frame1_Camera");
        xmodel::Vec3 eye, target;
        models::OpeningCameraAt(models::OpeningHeights(), static_cast<float>(t), eye, target);
        EXPECT_NEAR(m._41, eye.x, 0.05f) << t;
        EXPECT_NEAR(m._42, eye.y, 0.05f) << t;
        EXPECT_NEAR(m._43, eye.z, 0.05f) << t;
    }
}
