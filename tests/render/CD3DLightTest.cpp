// Lights: the lowest free index, the refusal to create twice, and the restore after a reset.
#include <gtest/gtest.h>

#include <memory>

#include "RenderTestDevice.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "render/CD3DLight.h"
#include "render/CDirectX9.h"

namespace {

D3DLIGHT9 Directional(float x, float y, float z)
{
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
    light.Direction = {x, y, z};
    return light;
}

class CD3DLightTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(rendertest::OpenDevice(64, 64, &error)) << error;
    }
    void TearDown() override { rendertest::CloseDevice(); }

    static BOOL Enabled(DWORD index)
    {
        BOOL enabled = FALSE;
        g_pDevice->GetLightEnable(index, &enabled);
        return enabled;
    }
};

} // namespace

TEST_F(CD3DLightTest, LightsTakeTheLowestFreeIndex)
{
    auto l1 = std::make_unique<CD3DLight>();
    auto l2 = std::make_unique<CD3DLight>();
    auto l3 = std::make_unique<CD3DLight>();
    EXPECT_EQ(CD3DLight::NO_INDEX, l1->Index);
    l1->Create(Directional(0, -1, 0));
    l2->Create(Directional(1, 0, 0));
    l3->Create(Directional(0, 0, 1));
    EXPECT_EQ(0, l1->Index);
    EXPECT_EQ(1, l2->Index);
    EXPECT_EQ(2, l3->Index);
    EXPECT_TRUE(Enabled(0) && Enabled(1) && Enabled(2));
    D3DLIGHT9 set = {};
    g_pDevice->GetLight(1, &set);
    EXPECT_EQ(1.0f, set.Direction.x);

    // Switched off, the first light frees index 0 for the next one.
    l1->Off();
    EXPECT_EQ(CD3DLight::NO_INDEX, l1->Index);
    EXPECT_FALSE(l1->IsEnabled);
    EXPECT_FALSE(Enabled(0));
    CD3DLight l4;
    l4.Create(Directional(0, 1, 0));
    EXPECT_EQ(0, l4.Index);

    // Destroyed, the second frees index 1 and leaves the list.
    const size_t registered = CD3DLight::LightList.size();
    l2.reset();
    EXPECT_EQ(registered - 1, CD3DLight::LightList.size());
    EXPECT_FALSE(Enabled(1));
    CD3DLight l5;
    l5.Create(Directional(0, 0, -1));
    EXPECT_EQ(1, l5.Index);
    // And the switched-off light can be created again, on the next free index.
    l1->Create(Directional(0, -1, 0));
    EXPECT_EQ(3, l1->Index);
}

TEST_F(CD3DLightTest, CreatingALightThatHasAnIndexFailsAndChangesNothing)
{
    CD3DLight light;
    light.Create(Directional(0, -1, 0));
    std::string text;
    try {
        light.Create(Directional(1, 0, 0));
    } catch (const char* t) {
        text = t;
    }
    EXPECT_EQ("Failed CD3DLight::Create CD3DLight must be Released!!", text);
    EXPECT_EQ(0, light.Index);
    EXPECT_EQ(-1.0f, light.Light.Direction.y);
    D3DLIGHT9 set = {};
    g_pDevice->GetLight(0, &set);
    EXPECT_EQ(-1.0f, set.Direction.y);
}

TEST_F(CD3DLightTest, AfterADeviceResetLightsComeBackAsTheyWere)
{
    CD3DLight on, off, never;
    on.Create(Directional(0, -1, 0));
    off.Create(Directional(1, 0, 0));
    off.Off(); // index 1 freed
    CD3DLight third;
    third.Create(Directional(0, 0, 1)); // takes 1
    third.IsEnabled = false;             // as if switched off on the device only
    g_pDevice->LightEnable(1, FALSE);

    // Lose the device; the next frame resets it and restores everything.
    qv::test::LoseD3DDevice();
    EXPECT_FALSE(g_DirectX9.BeginRender());
    qv::test::AllowD3DDeviceReset();
    EXPECT_FALSE(g_DirectX9.BeginRender()); // the frame of the reset is skipped

    EXPECT_TRUE(Enabled(0));
    EXPECT_FALSE(Enabled(1));
    D3DLIGHT9 set = {};
    ASSERT_EQ(S_OK, g_pDevice->GetLight(0, &set));
    EXPECT_EQ(-1.0f, set.Direction.y);
    EXPECT_EQ(0.5f, set.Diffuse.g);
    ASSERT_EQ(S_OK, g_pDevice->GetLight(1, &set));
    EXPECT_EQ(1.0f, set.Direction.z);
    EXPECT_EQ(CD3DLight::NO_INDEX, never.Index);
    EXPECT_EQ(CD3DLight::NO_INDEX, off.Index);
}
