// The generated models drawn by the Direct3D layer as the game draws them: loaded with the
// device, textures from their materials, counter-clockwise culling for the stage's sky, ground
// and roads, no culling for the people. The sky and the ground must show: a face turned the
// wrong way would be culled.
#include "tools/models/ModelFiles.h"

#include "platform/platform.h"
#include "support/D3D9Fixture.h"
#include "tests/platform/xfile/XFileTestAllocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <list>
#include <map>

namespace {

constexpr UINT kW = 160, kH = 120;

class CDeviceScene {
public:
    explicit CDeviceScene(IDirect3DDevice9* device) : m_Device(device) {}
    ~CDeviceScene()
    {
        for (auto& [path, texture] : m_Textures)
            if (texture)
                texture->Release();
        for (Loaded& m : m_Models) {
            if (m.controller)
                m.controller->Release();
            if (m.root)
                D3DXFrameDestroy(m.root, &m.alloc);
        }
    }

    LPD3DXFRAME Load(const std::string& relative)
    {
        m_Models.emplace_back();
        Loaded& m = m_Models.back();
        const std::string path = qvtest::DataDir() + "/" + relative;
        EXPECT_EQ(D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, m_Device, &m.alloc, nullptr, &m.root,
                                             &m.controller),
                  D3D_OK)
            << relative;
        return m.root;
    }

    // Draws every container with the frames' matrices times `world`, material by material, the
    // ambient colour equal to the diffuse as the game's loader sets it.
    void Draw(LPD3DXFRAME root, const D3DXMATRIX& world)
    {
        std::function<void(LPD3DXFRAME, const D3DXMATRIX&)> walk = [&](LPD3DXFRAME f, const D3DXMATRIX& parent) {
            for (; f; f = f->pFrameSibling) {
                D3DXMATRIX combined;
                D3DXMatrixMultiply(&combined, &f->TransformationMatrix, &parent);
                for (LPD3DXMESHCONTAINER c = f->pMeshContainer; c; c = c->pNextMeshContainer) {
                    m_Device->SetTransform(D3DTS_WORLD, &combined);
                    for (DWORD i = 0; i < c->NumMaterials; ++i) {
                        D3DMATERIAL9 material = c->pMaterials[i].MatD3D;
                        material.Ambient = material.Diffuse;
                        m_Device->SetMaterial(&material);
                        m_Device->SetTexture(0, Texture(c->pMaterials[i].pTextureFilename));
                        c->MeshData.pMesh->DrawSubset(i);
                    }
                }
                walk(f->pFrameFirstChild, combined);
            }
        };
        walk(root, world);
    }

private:
    struct Loaded {
        xfixture::CountingAllocator alloc;
        LPD3DXFRAME root = nullptr;
        LPD3DXANIMATIONCONTROLLER controller = nullptr;
    };

    IDirect3DTexture9* Texture(const char* name)
    {
        if (!name || !*name)
            return nullptr;
        auto it = m_Textures.find(name);
        if (it == m_Textures.end()) {
            // The game names textures from its working folder, the run folder.
            std::string path = qvtest::RunDir() + "/" + name;
            std::replace(path.begin(), path.end(), '\\', '/');
            IDirect3DTexture9* texture = nullptr;
            EXPECT_EQ(D3DXCreateTextureFromFileA(m_Device, path.c_str(), &texture), D3D_OK) << name;
            it = m_Textures.emplace(name, texture).first;
        }
        return it->second;
    }

    IDirect3DDevice9* m_Device;
    std::list<Loaded> m_Models;
    std::map<std::string, IDirect3DTexture9*> m_Textures;
};

void SetUpView(IDirect3DDevice9* device, D3DXVECTOR3 eye, D3DXVECTOR3 at, float farZ)
{
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 3.14159265f / 4, static_cast<float>(kW) / kH, 0.5f, farZ);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    D3DLIGHT9 light;
    std::memset(&light, 0, sizeof light);
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 0};
    light.Ambient = {0.5f, 0.5f, 0.5f, 0};
    light.Direction = {1, -1, 1};
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0x44444444);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
}

D3DXMATRIX Scale(float sx, float sy, float sz, float yaw, float x, float y, float z)
{
    D3DXMATRIX s, r, t, sr, out;
    D3DXMatrixScaling(&s, sx, sy, sz);
    D3DXMatrixRotationY(&r, yaw);
    D3DXMatrixTranslation(&t, x, y, z);
    D3DXMatrixMultiply(&sr, &s, &r);
    return *D3DXMatrixMultiply(&out, &sr, &t);
}

} // namespace

TEST(ModelDevicePictures, TheStageDrawsSkyGroundRoadsAndBuildingsWithCounterClockwiseCulling)
{
    qvtest::DeviceFixture f;
    ASSERT_TRUE(f.Create(kW, kH));
    IDirect3DDevice9* device = f.device;
    CDeviceScene scene(device);
    LPD3DXFRAME sky = scene.Load("xfile/OpeningSky.x");
    LPD3DXFRAME ground = scene.Load("xfile/map/ground.x");
    LPD3DXFRAME road = scene.Load("xfile/map/building003Road.x");
    LPD3DXFRAME building = scene.Load("xfile/map/building003.x");
    LPD3DXFRAME other = scene.Load("xfile/map/building006.x");
    ASSERT_TRUE(sky && ground && road && building && other);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFFFF00FF, 1.0f, 0);
    device->BeginScene();
    SetUpView(device, {-14, 9, -26}, {0, 6, 0}, 2000);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    scene.Draw(sky, Scale(10, 10, 10, 0.3f, 0, 0, 0));
    scene.Draw(ground, Scale(1, 1, 1, 0, 0, 0, 0));
    scene.Draw(road, Scale(10, 16, 9, 0.2f, 0, 0.01f, 0));
    scene.Draw(road, Scale(8, 12, 8, 0.0f, 14, 0.01f, 6));
    scene.Draw(building, Scale(10, 16, 9, 0.2f, 0, -0.1f, 0));
    scene.Draw(other, Scale(8, 12, 8, 0.0f, 14, -0.1f, 6));
    device->EndScene();
    const qvtest::Image image = qvtest::ReadBackBuffer(device);
    // No pixel keeps the clear colour: the sky covers everything above the ground.
    int clear = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            clear += p[0] > 240 && p[1] < 16 && p[2] > 240;
        }
    EXPECT_EQ(clear, 0);
    const uint8_t* top = image.At(kW / 2, 2);
    EXPECT_GT(top[2], top[0]) << "the sky is blue";
    EXPECT_EQ(qvtest::CompareWithReference(image, "tools/models/references/device_stage.png", 8), "");
}

TEST(ModelDevicePictures, PeopleInTheirRestPoseWithTheirTextures)
{
    qvtest::DeviceFixture f;
    ASSERT_TRUE(f.Create(kW, kH));
    IDirect3DDevice9* device = f.device;
    CDeviceScene scene(device);
    LPD3DXFRAME rina = scene.Load("xfile/Rina.x");
    LPD3DXFRAME phill = scene.Load("xfile/Phill.x");
    LPD3DXFRAME heroine = scene.Load("xfile/gameQuillabet.x");
    LPD3DXFRAME title = scene.Load("xfile/TitleChar.x");
    ASSERT_TRUE(rina && phill && heroine && title);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF506070, 1.0f, 0);
    device->BeginScene();
    SetUpView(device, {0, 0.8f, -3.2f}, {0, 0.6f, 0}, 100);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const float turn = 3.14159265f;
    scene.Draw(rina, Scale(1, 1, 1, turn, -1.2f, 0, 0));
    scene.Draw(phill, Scale(1, 1, 1, turn, -0.4f, 0, 0));
    scene.Draw(heroine, Scale(1.3f, 1.3f, 1.3f, turn, 0.4f, 0, 0));
    scene.Draw(title, Scale(1, 1, 1, 0, 1.2f, 0, 0));
    device->EndScene();
    EXPECT_EQ(qvtest::CompareWithReference(qvtest::ReadBackBuffer(device), "tools/models/references/device_people.png", 8), "");
}
