// Meshes drawn by the device: the sphere's winding against the default culling, subsets by
// attribute, and a mesh cloned with other options.
#include <gtest/gtest.h>

#include "platform/d3dx9/D3DX9Mesh.h"
#include "support/D3D9Fixture.h"

namespace {

class D3DX9MeshDrawTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fixture.Create(64, 64));
        device = fixture.device;
        // Camera at z = -5 looking at the origin; unlit, white.
        D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0);
        D3DXMATRIX view, proj, world;
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 4, 1.0f, 1.0f, 100.0f);
        D3DXMatrixIdentity(&world);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &proj);
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    qvtest::Image Draw(ID3DXMesh* mesh, DWORD subset)
    {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        EXPECT_EQ(S_OK, mesh->DrawSubset(subset));
        device->EndScene();
        return qvtest::ReadBackBuffer(device);
    }

    static bool Lit(const qvtest::Image& image, int x, int y)
    {
        const uint8_t* p = image.At(x, y);
        return p[0] > 0 || p[1] > 0 || p[2] > 0;
    }

    qvtest::DeviceFixture fixture;
    IDirect3DDevice9* device = nullptr;
};

} // namespace

TEST_F(D3DX9MeshDrawTest, TheSphereFacesOutwardUnderDefaultCulling)
{
    ID3DXMesh* sphere = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateSphere(device, 1.0f, 12, 6, &sphere, nullptr));
    // Counter-clockwise faces are culled: only the outside faces the camera.
    const qvtest::Image image = Draw(sphere, 0);
    EXPECT_TRUE(Lit(image, 32, 32));
    EXPECT_FALSE(Lit(image, 2, 2));
    // From inside, every face turns away and nothing is drawn.
    D3DXMATRIX big;
    D3DXMatrixScaling(&big, 10, 10, 10);
    device->SetTransform(D3DTS_WORLD, &big);
    const qvtest::Image inside = Draw(sphere, 0);
    EXPECT_FALSE(Lit(inside, 32, 32));
    sphere->Release();
}

TEST_F(D3DX9MeshDrawTest, SubsetsDrawOnlyTheirFaces)
{
    // Two squares side by side, attribute 0 left and 1 right, optimised into a table.
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateMeshFVF(4, 8, D3DXMESH_MANAGED, D3DFVF_XYZ, device, &mesh));
    D3DXVECTOR3* v = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    const float xs[2][2] = {{-1.5f, -0.5f}, {0.5f, 1.5f}};
    for (int s = 0; s < 2; ++s) {
        v[s * 4 + 0] = D3DXVECTOR3(xs[s][0], -0.5f, 0);
        v[s * 4 + 1] = D3DXVECTOR3(xs[s][0], 0.5f, 0);
        v[s * 4 + 2] = D3DXVECTOR3(xs[s][1], -0.5f, 0);
        v[s * 4 + 3] = D3DXVECTOR3(xs[s][1], 0.5f, 0);
    }
    mesh->UnlockVertexBuffer();
    WORD* idx = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    // Right square first, so that sorting has work to do.
    const WORD order[12] = {4, 5, 6, 6, 5, 7, 0, 1, 2, 2, 1, 3};
    std::copy(order, order + 12, idx);
    mesh->UnlockIndexBuffer();
    DWORD* attr = nullptr;
    mesh->LockAttributeBuffer(0, &attr);
    attr[0] = attr[1] = 1;
    attr[2] = attr[3] = 0;
    mesh->UnlockAttributeBuffer();

    // Without a table, runs of faces are drawn as they stand.
    qvtest::Image image = Draw(mesh, 1);
    EXPECT_TRUE(Lit(image, 44, 32));
    EXPECT_FALSE(Lit(image, 20, 32));

    ASSERT_EQ(S_OK, mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_COMPACT, nullptr, nullptr, nullptr, nullptr));
    image = Draw(mesh, 0);
    EXPECT_TRUE(Lit(image, 20, 32));
    EXPECT_FALSE(Lit(image, 44, 32));
    image = Draw(mesh, 1);
    EXPECT_TRUE(Lit(image, 44, 32));
    EXPECT_FALSE(Lit(image, 20, 32));
    image = Draw(mesh, 7); // no such subset: nothing
    EXPECT_FALSE(Lit(image, 20, 32) || Lit(image, 44, 32));

    // A system-memory clone with 32-bit indices draws the same.
    ID3DXMesh* clone = nullptr;
    ASSERT_EQ(S_OK, mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, D3DFVF_XYZ | D3DFVF_NORMAL, device, &clone));
    image = Draw(clone, 0);
    EXPECT_TRUE(Lit(image, 20, 32));
    EXPECT_FALSE(Lit(image, 44, 32));
    clone->Release();
    mesh->Release();
}
