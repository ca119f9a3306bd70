// The generated models through the game's own loader: every file loads, the controller lists
// the animation sets in the track order the actors use, and the poses it computes put the feet
// down at the footstep times and the opening camera where the path says.
#include "tools/models/ModelFiles.h"

#include "platform/d3dx9/D3DX9.h"
#include "tests/platform/xfile/XFileTestAllocator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace xmodel;

namespace {

struct Loaded {
    xfixture::CountingAllocator alloc;
    LPD3DXFRAME root = nullptr;
    LPD3DXANIMATIONCONTROLLER controller = nullptr;
    HRESULT hr = E_FAIL;

    explicit Loaded(const std::string& relative)
    {
        const std::string path = qvtest::DataDir() + "/" + relative;
        hr = D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root, &controller);
    }
    ~Loaded()
    {
        if (controller)
            controller->Release();
        if (root)
            D3DXFrameDestroy(root, &alloc);
    }

    std::vector<std::string> SetNames() const
    {
        std::vector<std::string> names;
        for (UINT i = 0; controller && i < controller->GetNumAnimationSets(); ++i) {
            LPD3DXANIMATIONSET set = nullptr;
            if (SUCCEEDED(controller->GetAnimationSet(i, &set))) {
                names.push_back(set->GetName());
                set->Release();
            }
        }
        return names;
    }

    double Period(UINT index) const
    {
        LPD3DXANIMATIONSET set = nullptr;
        if (FAILED(controller->GetAnimationSet(index, &set)))
            return -1;
        const double p = set->GetPeriod();
        set->Release();
        return p;
    }

    // Plays set `index` alone at `position` and answers the combined matrix of a frame.
    D3DXMATRIX At(UINT index, double position, const char* frame)
    {
        LPD3DXANIMATIONSET set = nullptr;
        EXPECT_EQ(controller->GetAnimationSet(index, &set), D3D_OK);
        controller->SetTrackAnimationSet(0, set);
        set->Release();
        D3DXTRACK_DESC d{D3DXPRIORITY_LOW, 1.0f, 1.0f, position, TRUE};
        controller->SetTrackDesc(0, &d);
        for (UINT t = 1; t < controller->GetMaxNumTracks(); ++t)
            controller->SetTrackEnable(t, FALSE);
        controller->AdvanceTime(0.0, nullptr);
        D3DXMATRIX result;
        D3DXMatrixIdentity(&result);
        std::function<void(LPD3DXFRAME, const D3DXMATRIX&)> walk = [&](LPD3DXFRAME f, const D3DXMATRIX& parent) {
            for (; f; f = f->pFrameSibling) {
                D3DXMATRIX combined;
                D3DXMatrixMultiply(&combined, &f->TransformationMatrix, &parent);
                if (f->Name && std::string(f->Name) == frame)
                    result = combined;
                walk(f->pFrameFirstChild, combined);
            }
        };
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        walk(root, identity);
        return result;
    }

    float LowestTime(UINT index, const char* frame)
    {
        float best = 0, lowest = 1e30f;
        for (float t = 0; t < Period(index); t += 0.25f) {
            const float y = At(index, t, frame)._42;
            if (y < lowest)
                lowest = y, best = t;
        }
        return best;
    }
};

void CountContainers(LPD3DXFRAME f, int& containers, int& frames)
{
    for (; f; f = f->pFrameSibling) {
        ++frames;
        for (LPD3DXMESHCONTAINER c = f->pMeshContainer; c; c = c->pNextMeshContainer)
            ++containers;
        CountContainers(f->pFrameFirstChild, containers, frames);
    }
}

} // namespace

TEST(ModelsThroughTheLoader, EveryModelFileLoads)
{
    for (const models::ModelFile& file : models::AllModels(models::OpeningHeights())) {
        Loaded m(file.path);
        ASSERT_EQ(m.hr, D3D_OK) << file.path;
        int containers = 0, frames = 0;
        CountContainers(m.root, containers, frames);
        EXPECT_EQ(frames, static_cast<int>(AllFrames(file.model).size())) << file.path;
        EXPECT_GE(containers, 1) << file.path;
        EXPECT_EQ(m.controller != nullptr, !file.model.sets.empty()) << file.path;
    }
}

TEST(ModelsThroughTheLoader, TracksComeInTheOrderTheActorsUse)
{
    Loaded rina("xfile/Rina.x");
    ASSERT_EQ(rina.hr, D3D_OK);
    EXPECT_EQ(rina.SetNames(), (std::vector<std::string>{"Idle", "Stand", "Walk", "Run"}));
    EXPECT_NEAR(rina.Period(2), 60.0, 1e-9);
    EXPECT_NEAR(rina.Period(3), 48.0, 1e-9);
    Loaded shadow("xfile/RinaShadow.x");
    EXPECT_EQ(shadow.SetNames(), rina.SetNames());
    Loaded heroine("xfile/gameQuillabet.x");
    EXPECT_EQ(heroine.SetNames(), (std::vector<std::string>{"Stand", "Walk"}));
    EXPECT_NEAR(heroine.Period(1), 60.0, 1e-9);
    Loaded phill("xfile/Phill.x");
    EXPECT_EQ(phill.SetNames(), (std::vector<std::string>{"Walk"}));
    Loaded camera("xfile/OpeningCamera.x");
    EXPECT_NEAR(camera.Period(0), 800.0, 1e-9);
}

TEST(ModelsThroughTheLoader, FeetComeDownAtTheFootstepTimes)
{
    Loaded rina("xfile/Rina.x");
    ASSERT_EQ(rina.hr, D3D_OK);
    EXPECT_NEAR(rina.LowestTime(2, "Frame15_FootL"), 12.0f, 0.26f);
    EXPECT_NEAR(rina.LowestTime(2, "Frame17_FootR"), 42.0f, 0.26f);
    EXPECT_NEAR(rina.LowestTime(3, "Frame15_FootL"), 15.0f, 0.26f);
    EXPECT_NEAR(rina.LowestTime(3, "Frame17_FootR"), 39.0f, 0.26f);
    // The cycle loops: a time past the period poses like the same time in the first cycle.
    EXPECT_NEAR(rina.At(2, 70.0, "Frame10_HandL")._43, rina.At(2, 10.0, "Frame10_HandL")._43, 1e-4f);
    Loaded heroine("xfile/gameQuillabet.x");
    EXPECT_NEAR(heroine.LowestTime(1, "Frame15_FootL"), 12.0f, 0.26f);
    EXPECT_NEAR(heroine.LowestTime(1, "Frame17_FootR"), 42.0f, 0.26f);
    EXPECT_NEAR(heroine.At(0, 0.0, "Frame5_Breast")._42, 0.65f, 0.05f);
}

TEST(ModelsThroughTheLoader, TheCameraFrameFollowsThePath)
{
    Loaded camera("xfile/OpeningCamera.x");
    ASSERT_EQ(camera.hr, D3D_OK);
    const models::HeightGrid heights = models::OpeningHeights();
    for (int t : {0, 137, 400, 655, 799}) {
        const D3DXMATRIX m = camera.At(0, t, "Frame1_Camera");
        Vec3 eye, target;
        models::OpeningCameraAt(heights, static_cast<float>(t), eye, target);
        EXPECT_NEAR(m._41, eye.x, 0.02f) << t;
        EXPECT_NEAR(m._42, eye.y, 0.02f) << t;
        EXPECT_NEAR(m._43, eye.z, 0.02f) << t;
        // The third row is the looking direction.
        const Vec3 look = Normalize(target - eye);
        EXPECT_NEAR(m._31 * look.x + m._32 * look.y + m._33 * look.z, 1.0f, 1e-3f) << t;
    }
}

TEST(ModelsThroughTheLoader, TheShadowMeshIsSkinnedWithSixteenBitIndices)
{
    Loaded shadow("xfile/RinaShadow.x");
    ASSERT_EQ(shadow.hr, D3D_OK);
    LPD3DXMESHCONTAINER c = shadow.root->pMeshContainer;
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->pSkinInfo, nullptr);
    EXPECT_EQ(c->MeshData.pMesh->GetOptions() & D3DXMESH_32BIT, 0u);
    EXPECT_LE(c->MeshData.pMesh->GetNumFaces() * 12, 0xFFFFu);
    for (DWORD b = 0; b < c->pSkinInfo->GetNumBones(); ++b)
        EXPECT_NE(D3DXFrameFind(shadow.root, c->pSkinInfo->GetBoneName(b)), nullptr) << c->pSkinInfo->GetBoneName(b);
}
