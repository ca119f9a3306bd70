// The scenes of the tests of gathered drawing: vertices, boxes and worlds of the kind the game
// draws, and a fixture that draws a scene once gathered and once draw by draw.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/platform.h"
#include "support/D3D9Fixture.h"

namespace batchtest {

struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
constexpr DWORD kMeshFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct PuffVertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kPuffFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

inline D3DXMATRIX Identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

// Scaled, turned about an axis and moved: the kind of world matrix a falling piece has.
inline D3DMATRIX RandomWorld(std::mt19937& random)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    float ax = unit(random), ay = unit(random), az = unit(random);
    const float length = std::sqrt(ax * ax + ay * ay + az * az) + 1e-3f;
    ax /= length, ay /= length, az /= length;
    const float angle = 3.14159f * unit(random), c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    D3DXMATRIX rotation = Identity();
    rotation._11 = t * ax * ax + c, rotation._12 = t * ax * ay + s * az, rotation._13 = t * ax * az - s * ay;
    rotation._21 = t * ax * ay - s * az, rotation._22 = t * ay * ay + c, rotation._23 = t * ay * az + s * ax;
    rotation._31 = t * ax * az + s * ay, rotation._32 = t * ay * az - s * ax, rotation._33 = t * az * az + c;
    D3DXMATRIX scaling = Identity();
    scaling._11 = 0.3f + 0.5f * std::fabs(unit(random));
    scaling._22 = 0.3f + 0.5f * std::fabs(unit(random));
    scaling._33 = 0.3f + 0.5f * std::fabs(unit(random));
    D3DXMATRIX world;
    D3DXMatrixMultiply(&world, &scaling, &rotation);
    world._41 = 4.0f * unit(random);
    world._42 = 3.0f * unit(random);
    world._43 = 3.0f * unit(random);
    return world;
}

// A box of 24 vertices and 12 triangles, with normals and texture coordinates. Its corners
// are a little off (as a modelled piece's are), so that products with them round.
inline void MakeBox(std::vector<MeshVertex>& vertices, std::vector<uint16_t>& indices)
{
    const float n[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    std::mt19937 random(41);
    std::uniform_real_distribution<float> jitter(-0.05f, 0.05f);
    for (int f = 0; f < 6; ++f) {
        // Two axes across the face.
        const int a = (f / 2 + 1) % 3, b = (f / 2 + 2) % 3;
        const uint16_t first = static_cast<uint16_t>(vertices.size());
        for (int k = 0; k < 4; ++k) {
            float p[3] = {n[f][0] * 0.5f, n[f][1] * 0.5f, n[f][2] * 0.5f};
            p[a] = (k & 1) ? 0.5f : -0.5f;
            p[b] = (k & 2) ? 0.5f : -0.5f;
            for (float& c : p)
                c += jitter(random);
            vertices.push_back(MeshVertex{p[0], p[1], p[2], n[f][0], n[f][1], n[f][2], (k & 1) ? 1.0f : 0.0f,
                                          (k & 2) ? 1.0f : 0.0f});
        }
        for (uint16_t i : {0, 1, 2, 2, 1, 3})
            indices.push_back(static_cast<uint16_t>(first + i));
    }
}

class D3D9Batch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(f.Create(kWidth, kHeight));
        device = f.device;
    }
    void TearDown() override
    {
        qv::test::SetD3D9Batching(true);
        for (IUnknown* resource : resources)
            resource->Release();
    }

    // The scene drawn once with small draws gathered and once without; both pictures, and the
    // OpenGL draws each took.
    void DrawBothWays(const std::function<void()>& scene)
    {
        for (int gathered = 1; gathered >= 0; --gathered) {
            qv::test::SetD3D9Batching(gathered != 0);
            ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF203040,
                                    1.0f, 0),
                      D3D_OK);
            ASSERT_EQ(device->BeginScene(), D3D_OK);
            const uint64_t before = qv::test::OpenGlDrawCount();
            scene();
            device->EndScene();
            draws[gathered] = qv::test::OpenGlDrawCount() - before;
            pictures[gathered] = qvtest::ReadBackBuffer(device);
        }
    }
    // The gathered picture against the one drawn draw by draw; the scene must cover a good
    // part of the picture for the comparison to mean something.
    void ExpectSamePictures(int tolerance)
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        EXPECT_EQ(qvtest::ComparePictures(pictures[1], pictures[0], tolerance, "batch-" + name, "drawn draw by draw"),
                  "");
        int drawn = 0;
        for (size_t i = 0; i < pictures[1].rgba.size(); i += 4)
            drawn += pictures[1].rgba[i] != 0x20 || pictures[1].rgba[i + 1] != 0x30 || pictures[1].rgba[i + 2] != 0x40;
        EXPECT_GT(drawn, kWidth * kHeight / 10);
    }

    // A texture of random texels, `size` square, with `levels` levels (0: all of them).
    IDirect3DTexture9* MakeTexture(uint32_t seed, bool alpha, UINT size = 8, UINT levels = 1)
    {
        return MakeTextureOf(seed, size, size, levels, D3DFMT_A8R8G8B8, !alpha);
    }
    // The same of any size and of format A8R8G8B8 or X8R8G8B8; the unused byte of the latter is
    // random unless `opaque`, so that a texture taken as one with alpha shows.
    IDirect3DTexture9* MakeTextureOf(uint32_t seed, UINT width, UINT height, UINT levels, D3DFORMAT format,
                                     bool opaque = false)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        if (!texture)
            return nullptr;
        resources.push_back(texture);
        std::mt19937 random(seed);
        for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
            D3DSURFACE_DESC desc;
            texture->GetLevelDesc(level, &desc);
            D3DLOCKED_RECT locked;
            texture->LockRect(level, &locked, nullptr, 0);
            for (UINT y = 0; y < desc.Height; ++y)
                for (UINT x = 0; x < desc.Width; ++x) {
                    const DWORD a = opaque ? 0xFFu : 0x40u + random() % 0xC0u;
                    reinterpret_cast<DWORD*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                        (a << 24) | (random() & 0xFFFFFF);
                }
            texture->UnlockRect(level);
        }
        return texture;
    }

    // A box in a vertex and an index buffer, as a model's mesh is.
    void MakeBoxBuffers(IDirect3DVertexBuffer9*& vb, IDirect3DIndexBuffer9*& ib)
    {
        std::vector<MeshVertex> vertices;
        std::vector<uint16_t> indices;
        MakeBox(vertices, indices);
        ASSERT_EQ(device->CreateVertexBuffer(static_cast<UINT>(vertices.size() * sizeof(MeshVertex)), 0, kMeshFvf,
                                             D3DPOOL_MANAGED, &vb, nullptr),
                  D3D_OK);
        resources.push_back(vb);
        ASSERT_EQ(device->CreateIndexBuffer(static_cast<UINT>(indices.size() * 2), 0, D3DFMT_INDEX16,
                                            D3DPOOL_MANAGED, &ib, nullptr),
                  D3D_OK);
        resources.push_back(ib);
        void* data = nullptr;
        vb->Lock(0, 0, &data, 0);
        std::memcpy(data, vertices.data(), vertices.size() * sizeof(MeshVertex));
        vb->Unlock();
        ib->Lock(0, 0, &data, 0);
        std::memcpy(data, indices.data(), indices.size() * 2);
        ib->Unlock();
    }

    // Lit boxes with their own worlds and, in turn, the textures given, drawn from buffers
    // with trilinear filtering, so that every level of each texture shows somewhere.
    void DrawTexturedBoxes(IDirect3DVertexBuffer9* vb, IDirect3DIndexBuffer9* ib,
                           const std::vector<IDirect3DTexture9*>& textures, int count)
    {
        std::mt19937 random(43);
        for (int i = 0; i < count; ++i) {
            D3DMATRIX world = RandomWorld(random);
            const float depth = 1.0f + 3.0f * (i % 5); // farther boxes take the smaller levels
            world._43 += depth;
            device->SetTransform(D3DTS_WORLD, &world);
            D3DMATERIAL9 material = {};
            material.Diffuse = material.Ambient = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
            device->SetMaterial(&material);
            device->SetTexture(0, textures[static_cast<size_t>(i) % textures.size()]);
            device->SetFVF(kMeshFvf);
            device->SetStreamSource(0, vb, 0, sizeof(MeshVertex));
            device->SetIndices(ib);
            ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 24, 0, 12), D3D_OK);
        }
    }
    // The first stage as the game sets it: colour and alpha, texture times vertex.
    void ModulateAlpha()
    {
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }
    void UseTrilinearFiltering()
    {
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    }

    void SetCamera()
    {
        D3DMATRIX view = Identity();
        view._43 = 9.0f;
        D3DMATRIX projection;
        std::memset(&projection, 0, sizeof projection);
        const float yScale = 1.0f / std::tan(0.5f);
        projection._11 = yScale * kHeight / kWidth;
        projection._22 = yScale;
        projection._33 = 50.0f / 49.0f;
        projection._34 = 1.0f;
        projection._43 = -50.0f / 49.0f;
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &projection);
    }

    void SetLight()
    {
        D3DLIGHT9 light = {};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1.0f, 0.9f, 0.8f, 0.0f};
        light.Ambient = D3DCOLORVALUE{0.3f, 0.3f, 0.3f, 0.0f};
        light.Direction = D3DVECTOR{1.0f, -1.0f, 1.0f};
        device->SetLight(0, &light);
        device->LightEnable(0, TRUE);
        device->SetRenderState(D3DRS_AMBIENT, 0x44444444);
    }

    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;
    qvtest::DeviceFixture f;
    IDirect3DDevice9* device = nullptr;
    std::vector<IUnknown*> resources;
    qvtest::Image pictures[2];
    uint64_t draws[2] = {};
};

} // namespace batchtest
