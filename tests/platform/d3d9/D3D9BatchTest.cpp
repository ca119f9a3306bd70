// Small draws gathered into one OpenGL draw give the very picture that drawing them one by one
// gives: the same pixels covered at the same depths, in the same order. Each scene below is
// drawn both ways and compared; the draw counts show that gathering happened.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/d3d9/GlApi.h"
#include "platform/platform.h"
#include "support/D3D9Fixture.h"
#include "tests/platform/d3d9/D3D9BatchFixture.h"

namespace {

using namespace batchtest;

// Falling pieces: one box mesh in buffers, drawn 300 times, each with its own world matrix,
// through depth testing and writing. The boxes glow (their light does not depend on their
// normals) through a texture of random texels, so that any pixel covered by another box, or
// by another part of one, or won at another depth, shows.
TEST_F(D3D9Batch, BoxesWithTheirOwnWorldsCoverTheSamePixelsAtTheSameDepths)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    MakeBoxBuffers(vb, ib);
    SetCamera();
    SetLight();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_AMBIENT, 0);
    device->SetTexture(0, MakeTexture(29, false));
    DrawBothWays([&] {
        std::mt19937 random(7);
        for (int i = 0; i < 300; ++i) {
            const D3DMATRIX world = RandomWorld(random);
            device->SetTransform(D3DTS_WORLD, &world);
            D3DMATERIAL9 material = {};
            material.Emissive = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
            device->SetMaterial(&material);
            device->SetFVF(kMeshFvf);
            device->SetStreamSource(0, vb, 0, sizeof(MeshVertex));
            device->SetIndices(ib);
            ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 24, 0, 12), D3D_OK);
        }
    });
    ExpectSamePictures(0);
    EXPECT_EQ(draws[0], 300u);
    EXPECT_LE(draws[1], 2u);
}

// The depths themselves: the boxes drawn gathered, then drawn again one by one in red where
// the depth test finds exactly the depth already there. Every pixel of a box turns red only if
// each gathered vertex lies where OpenGL puts it on its own, to the last bit of depth.
TEST_F(D3D9Batch, GatheredBoxesLieAtTheDepthsOfBoxesDrawnAlone)
{
    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
    MakeBox(vertices, indices);
    SetCamera();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetFVF(kMeshFvf);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    auto boxes = [&] {
        std::mt19937 random(31);
        for (int i = 0; i < 400; ++i) {
            const D3DMATRIX world = RandomWorld(random);
            device->SetTransform(D3DTS_WORLD, &world);
            ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 24, 12, indices.data(), D3DFMT_INDEX16,
                                                     vertices.data(), sizeof(MeshVertex)),
                      D3D_OK);
        }
    };
    const uint64_t before = qv::test::OpenGlDrawCount();
    boxes(); // white, gathered
    EXPECT_LE(qv::test::OpenGlDrawCount() - before, 2u);
    qv::test::SetD3D9Batching(false);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFF0000);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTexture(0, MakeTexture(37, false)); // the stage needs a texture to combine
    boxes(); // red where the depth is the same
    device->EndScene();
    const qvtest::Image picture = qvtest::ReadBackBuffer(device);
    int white = 0, red = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = picture.At(x, y);
            white += p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF;
            red += p[0] == 0xFF && p[1] == 0 && p[2] == 0;
        }
    EXPECT_EQ(white, 0);
    EXPECT_GT(red, kWidth * kHeight / 4);
}

// The same boxes lit by a directional light and textured, their materials set and put back
// around each draw as the models do: the light on gathered boxes comes from normals turned here
// rather than by OpenGL, as OpenGL turns them, to the last bit.
TEST_F(D3D9Batch, LitTexturedBoxesKeepTheirLight)
{
    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
    MakeBox(vertices, indices);
    IDirect3DTexture9* texture = MakeTexture(3, false);
    SetCamera();
    SetLight();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetTexture(0, texture);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    DrawBothWays([&] {
        std::mt19937 random(11);
        D3DMATERIAL9 kept = {};
        for (int i = 0; i < 200; ++i) {
            const D3DMATRIX world = RandomWorld(random);
            device->SetTransform(D3DTS_WORLD, &world);
            D3DMATERIAL9 material = {};
            material.Diffuse = material.Ambient = D3DCOLORVALUE{0.9f, 0.8f, 0.7f, 1.0f};
            device->SetMaterial(&material);
            device->SetFVF(kMeshFvf);
            ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 24, 12, indices.data(), D3DFMT_INDEX16,
                                                     vertices.data(), sizeof(MeshVertex)),
                      D3D_OK);
            device->SetMaterial(&kept);
        }
    });
    ExpectSamePictures(0);
    EXPECT_EQ(draws[0], 200u);
    EXPECT_LE(draws[1], 2u);
}

// Puffs: camera-facing quads as strips, blended over each other far to near with lighting
// switched off for each and on again after it, and now and then another texture between them.
// Blending makes the order visible.
TEST_F(D3D9Batch, BlendedPuffsKeepTheirOrder)
{
    IDirect3DTexture9* smoke = MakeTexture(5, true);
    IDirect3DTexture9* other = MakeTexture(9, true);
    SetCamera();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    const D3DMATRIX identity = Identity();
    device->SetTransform(D3DTS_WORLD, &identity);
    DrawBothWays([&] {
        std::mt19937 random(13);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        for (int i = 0; i < 400; ++i) {
            const float x = 4.0f * unit(random), y = 3.0f * unit(random), z = 2.0f - i * 0.01f;
            const float size = 0.3f + 0.6f * std::fabs(unit(random));
            const D3DCOLOR color = static_cast<D3DCOLOR>((static_cast<DWORD>(255 - i / 2) << 24) | (random() & 0xFFFFFF));
            const PuffVertex quad[4] = {{x - size, y + size, z, color, 0, 0},
                                        {x + size, y + size, z, color, 1, 0},
                                        {x - size, y - size, z, color, 0, 1},
                                        {x + size, y - size, z, color, 1, 1}};
            device->SetTexture(0, i % 37 == 36 ? other : smoke);
            device->SetFVF(kPuffFvf);
            device->SetRenderState(D3DRS_LIGHTING, FALSE);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
            device->SetRenderState(D3DRS_LIGHTING, TRUE);
        }
    });
    ExpectSamePictures(0);
    EXPECT_EQ(draws[0], 400u);
    EXPECT_LE(draws[1], 25u); // a change of texture ends a batch, twice for each other puff
}

// Material and lights set while unlit draws are gathered reach the lit draw after them: a lit
// draw, then two unlit ones (gathered, with a new material or light between them), then a lit
// one again, drawn in the material and light set last.
TEST_F(D3D9Batch, AMaterialOrLightSetAmongUnlitDrawsLightsTheNextLitDraw)
{
    struct Lit {
        float x, y, z, nx, ny, nz;
    };
    const Lit left[3] = {{-1, -1, 0.5f, 0, 0, -1}, {-1, 1, 0.5f, 0, 0, -1}, {0, -1, 0.5f, 0, 0, -1}};
    const Lit right[3] = {{0, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {1, -1, 0.5f, 0, 0, -1}};
    const D3DMATRIX identity = Identity();
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    D3DLIGHT9 white = {};
    white.Type = D3DLIGHT_DIRECTIONAL;
    white.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    white.Direction = D3DVECTOR{0, 0, 1};
    D3DLIGHT9 blue = white;
    blue.Diffuse = D3DCOLORVALUE{0, 0, 1, 1};
    D3DMATERIAL9 red = {}, green = {};
    red.Diffuse = D3DCOLORVALUE{1, 0, 0, 1};
    green.Diffuse = D3DCOLORVALUE{0, 1, 0, 1};
    for (const bool light : {false, true}) {
        DrawBothWays([&] {
            device->SetLight(0, &white);
            device->LightEnable(0, TRUE);
            device->SetMaterial(&red);
            device->SetRenderState(D3DRS_LIGHTING, TRUE);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, left, sizeof left[0]), D3D_OK);
            device->SetRenderState(D3DRS_LIGHTING, FALSE);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, left, sizeof left[0]), D3D_OK);
            if (light)
                device->SetLight(0, &blue);
            else
                device->SetMaterial(&green);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, left, sizeof left[0]), D3D_OK);
            device->SetRenderState(D3DRS_LIGHTING, TRUE);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, right, sizeof right[0]), D3D_OK);
        });
        EXPECT_EQ(qvtest::ComparePictures(pictures[1], pictures[0], 0, light ? "batch-light" : "batch-material",
                                          "drawn draw by draw"),
                  "");
        EXPECT_EQ(draws[1], 3u); // the two unlit draws were one
        // Lit by white in green, or by blue in red (which is black): either way not red.
        const uint8_t* p = pictures[1].At(3 * kWidth / 4, kHeight / 4);
        EXPECT_EQ(p[0], 0) << (light ? "lit by the old light" : "lit in the old material");
        EXPECT_EQ(p[1], light ? 0 : 255);
        EXPECT_EQ(p[2], 0);
    }
}

// Lit boxes with their own worlds and normals longer than one: with the specular highlight off,
// a specular material of the largest power changes nothing, gathered or not (the power would
// overflow, and the overflow times the zero colour make the colour no number, in one way only).
// Normals of absurd length (as a normal read from the wrong bytes has) are drawn with their own
// world matrices, since OpenGL lights a normal that overflows otherwise than one turned here.
TEST_F(D3D9Batch, LongNormalsLightAlikeGatheredOrNot)
{
    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
    MakeBox(vertices, indices);
    SetCamera();
    SetLight();
    D3DMATERIAL9 material = {};
    material.Diffuse = material.Ambient = material.Specular = D3DCOLORVALUE{1, 1, 1, 1};
    material.Power = 128.0f;
    device->SetMaterial(&material);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetFVF(kMeshFvf);
    auto boxes = [&] {
        std::mt19937 worlds(7);
        for (int i = 0; i < 100; ++i) {
            const D3DMATRIX world = RandomWorld(worlds);
            device->SetTransform(D3DTS_WORLD, &world);
            ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 24, 12, indices.data(), D3DFMT_INDEX16,
                                                     vertices.data(), sizeof(MeshVertex)),
                      D3D_OK);
        }
    };
    for (MeshVertex& v : vertices) {
        v.nx *= 3.0f;
        v.ny *= 3.0f;
        v.nz *= 3.0f;
    }
    DrawBothWays(boxes);
    ExpectSamePictures(0);
    EXPECT_LE(draws[1], 2u);

    // One component of each normal of 1e37 to 3e38 or infinite, either sign.
    std::mt19937 random(29);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (MeshVertex& v : vertices) {
        const float huge = random() % 4 == 0 ? std::numeric_limits<float>::infinity()
                                              : std::pow(10.0f, 37.0f + 1.4f * std::fabs(unit(random)));
        (random() % 3 == 0 ? v.nx : random() % 2 ? v.ny : v.nz) = unit(random) < 0 ? -huge : huge;
    }
    DrawBothWays(boxes);
    ExpectSamePictures(0);
}

// Strips, fans and lists of screen-space vertices, with culling on: turning strips into lists
// keeps each triangle's winding, so the same ones are culled. Fans are drawn on their own.
TEST_F(D3D9Batch, StripsKeepTheirWindingAndFansGoAlone)
{
    IDirect3DTexture9* texture = MakeTexture(17, false);
    device->SetTexture(0, texture);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    DrawBothWays([&] {
        std::mt19937 random(19);
        std::uniform_real_distribution<float> place(0.0f, 1.0f);
        for (int i = 0; i < 120; ++i) {
            ScreenVertex v[6];
            const float cx = place(random) * kWidth, cy = place(random) * kHeight;
            for (int k = 0; k < 6; ++k) {
                const float angle = place(random) * 6.2831f;
                const float radius = 5.0f + 30.0f * place(random);
                v[k] = ScreenVertex{cx + radius * std::cos(angle), cy + radius * std::sin(angle), place(random),
                                    1.0f / (0.5f + place(random)), static_cast<D3DCOLOR>(0xFF000000u | (random() & 0xFFFFFF)),
                                    place(random), place(random)};
            }
            device->SetFVF(kScreenFvf);
            const D3DPRIMITIVETYPE type = i % 3 == 0   ? D3DPT_TRIANGLESTRIP
                                          : i % 3 == 1 ? D3DPT_TRIANGLEFAN
                                                       : D3DPT_TRIANGLELIST;
            ASSERT_EQ(device->DrawPrimitiveUP(type, type == D3DPT_TRIANGLELIST ? 2 : 4, v, sizeof v[0]), D3D_OK);
        }
    });
    ExpectSamePictures(0);
    EXPECT_EQ(draws[0], 120u);
    EXPECT_EQ(draws[1], 40u + 41u); // each fan, and each run of strips and lists between two
}

// Whatever reads or changes what OpenGL draws first draws what was gathered: the back buffer
// read, and a texture that a gathered draw samples changed after the draw.
TEST_F(D3D9Batch, GatheredDrawsAreDrawnBeforeAReadOrATextureChange)
{
    IDirect3DTexture9* texture = MakeTexture(23, false);
    device->SetTexture(0, texture);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetFVF(kScreenFvf);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    auto quad = [&](float x0, float u) {
        const ScreenVertex v[4] = {{x0, 0, 0, 1, 0xFFFFFFFF, u, 0.5f},
                                   {x0 + 10, 0, 0, 1, 0xFFFFFFFF, u, 0.5f},
                                   {x0, 10, 0, 1, 0xFFFFFFFF, u, 0.5f},
                                   {x0 + 10, 10, 0, 1, 0xFFFFFFFF, u, 0.5f}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    };
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    quad(0, 0.05f);
    // Every texel white from here on: the quad drawn before keeps the old ones.
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<DWORD*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] = 0xFFFFFFFF;
    texture->UnlockRect(0);
    quad(20, 0.05f);
    const qvtest::Image picture = qvtest::ReadBackBuffer(device);
    device->EndScene();
    const uint8_t* first = picture.At(5, 5);
    const uint8_t* second = picture.At(25, 5);
    EXPECT_FALSE(first[0] == 0xFF && first[1] == 0xFF && first[2] == 0xFF) << "drawn with the changed texture";
    EXPECT_TRUE(second[0] == 0xFF && second[1] == 0xFF && second[2] == 0xFF);
}

// Road patches and facades: boxes whose textures (of one size) alternate gather all the same,
// their texels taken from the layers of a texture array; a texture of another size ends the
// batch. The picture is the one drawn box by box.
TEST_F(D3D9Batch, BoxesWithAlternatingTexturesGatherThroughATextureArray)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    MakeBoxBuffers(vb, ib);
    const std::vector<IDirect3DTexture9*> sameSize = {MakeTexture(51, false, 16, 0), MakeTexture(52, false, 16, 0),
                                                      MakeTexture(53, false, 16, 0)};
    SetCamera();
    SetLight();
    ModulateAlpha();
    UseTrilinearFiltering();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    DrawBothWays([&] { DrawTexturedBoxes(vb, ib, sameSize, 240); });
    ExpectSamePictures(0);
    EXPECT_EQ(draws[0], 240u);
    EXPECT_LE(draws[1], 2u);

    std::vector<IDirect3DTexture9*> mixed = sameSize;
    mixed.push_back(MakeTexture(54, false, 32, 0));
    DrawBothWays([&] { DrawTexturedBoxes(vb, ib, mixed, 240); });
    ExpectSamePictures(0);
    EXPECT_GE(draws[1], 120u); // every fourth box is drawn on its own, and ends a batch
    EXPECT_LT(draws[1], draws[0]);
}

// A texture written after it became a layer: the layer follows, and gathered draws show the
// new texels as drawing alone does.
TEST_F(D3D9Batch, ATextureWrittenAfterItBecameALayerIsDrawnAsWritten)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    MakeBoxBuffers(vb, ib);
    const std::vector<IDirect3DTexture9*> textures = {MakeTexture(61, false, 16, 1), MakeTexture(62, false, 16, 1)};
    SetCamera();
    SetLight();
    ModulateAlpha();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    DrawBothWays([&] { DrawTexturedBoxes(vb, ib, textures, 200); });
    D3DLOCKED_RECT locked;
    ASSERT_EQ(textures[0]->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            reinterpret_cast<DWORD*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] = 0xFF00FF00;
    textures[0]->UnlockRect(0);
    DrawBothWays([&] { DrawTexturedBoxes(vb, ib, textures, 200); });
    ExpectSamePictures(0);
    EXPECT_LE(draws[1], 2u);
    int green = 0;
    for (size_t i = 0; i < pictures[1].rgba.size(); i += 4)
        green += pictures[1].rgba[i] < 0x10 && pictures[1].rgba[i + 1] > 0x40 && pictures[1].rgba[i + 2] < 0x10;
    EXPECT_GT(green, 100);
}

// Managed resources outlive a reset: vertex and index buffers (drawn from their OpenGL copies)
// and the texture arrays made for gathered draws draw the same picture afterwards.
TEST_F(D3D9Batch, BuffersAndTextureArraysOutliveAReset)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    MakeBoxBuffers(vb, ib);
    const std::vector<IDirect3DTexture9*> textures = {MakeTexture(71, false, 16, 0), MakeTexture(72, false, 16, 0)};
    auto scene = [&] {
        SetCamera();
        SetLight();
        ModulateAlpha();
        UseTrilinearFiltering();
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040, 1.0f, 0), D3D_OK);
        EXPECT_EQ(device->BeginScene(), D3D_OK);
        DrawTexturedBoxes(vb, ib, textures, 120);
        device->EndScene();
        return qvtest::ReadBackBuffer(device);
    };
    const qvtest::Image before = scene();
    qv::test::LoseD3DDevice();
    qv::test::AllowD3DDeviceReset();
    ASSERT_EQ(device->Reset(&f.params), D3D_OK);
    const qvtest::Image after = scene();
    EXPECT_EQ(qvtest::ComparePictures(after, before, 0, "batch-after-reset", "the picture before the reset"), "");
}

} // namespace

namespace {

// Draw by draw (nothing gathered), a change of texture or of world matrix alone costs OpenGL
// the binding or the modelview, not the whole stage and both matrices again.
TEST_F(D3D9Batch, AChangeOfTextureOrWorldAloneSendsOnlyThat)
{
    qv::test::SetD3D9Batching(false);
    IDirect3DTexture9* a = MakeTexture(81, false);
    IDirect3DTexture9* b = MakeTexture(82, false);
    SetCamera();
    SetLight();
    const PuffVertex quad[4] = {{-1, 1, 1, 0xFFFFFFFF, 0, 0}, {1, 1, 1, 0xFFFFFFFF, 1, 0},
                                {-1, -1, 1, 0xFFFFFFFF, 0, 1}, {1, -1, 1, 0xFFFFFFFF, 1, 1}};
    device->SetFVF(kPuffFvf);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    auto draw = [&] {
        const uint64_t before = qv::test::OpenGlCallCount();
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
        return qv::test::OpenGlCallCount() - before;
    };
    // Each texture once, so that both have their sampler state.
    device->SetTexture(0, a);
    draw();
    device->SetTexture(0, b);
    draw();
    device->SetTexture(0, a);
    draw();
    const uint64_t unchanged = draw();
    device->SetTexture(0, b);
    EXPECT_EQ(draw(), unchanged + 1); // glBindTexture
    D3DMATRIX world = Identity();
    world._41 = 0.5f;
    device->SetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(draw(), unchanged + 1); // glLoadMatrixf of the modelview (its mode is kept)
    device->EndScene();
}

} // namespace

namespace {

// While draws wait to be drawn together, any other call that reaches OpenGL stops the program
// and names itself; the calls listed as harmless, and those after the draws were sent, do not.
TEST(D3D9Guard, AnOpenGlCallWhileDrawsWaitStopsTheProgramWithItsName)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    qvtest::DeviceFixture f;
    ASSERT_TRUE(f.Create(32, 32));
    qv::test::ArmOpenGlGuard(true);
    const ScreenVertex v[3] = {{0, 0, 0, 1, 0xFFFFFFFF, 0, 0}, {9, 0, 0, 1, 0xFFFFFFFF, 0, 0}, {0, 9, 0, 1, 0xFFFFFFFF, 0, 0}};
    f.device->SetFVF(kScreenFvf);
    ASSERT_EQ(f.device->BeginScene(), D3D_OK);
    ASSERT_EQ(f.device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
    EXPECT_DEATH(QVGL(Enable)(GL_BLEND), "glEnable reached OpenGL while gathered draws waited");
    // A state set and put back, and a draw that joins, reach OpenGL later; a query and a new
    // name are harmless.
    f.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    f.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    ASSERT_EQ(f.device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
    QVGL(GetError)();
    GLuint name = 0;
    QVGL(GenTextures)(1, &name);
    EXPECT_DEATH(QVGL(DeleteTextures)(1, &name), "glDeleteTextures reached OpenGL");
    f.device->EndScene();
    QVGL(DeleteTextures)(1, &name);
    EXPECT_EQ(QVGL(GetError)(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
