// Where gathering stops: draws join a batch up to their size limits and the 16-bit numbering of
// the gathered vertices, and no further; what the gathered vertices cannot hold as they are
// goes alone; every attribute is copied whole and nothing past the caller's vertices is read;
// and the buffer the batches are written to is begun again once full. Each scene is drawn both
// ways and must give the same picture; the OpenGL draw counts show where batches ended.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/d3d9/EffectBridge.h"
#include "platform/d3d9/GlApi.h"
#include "tests/platform/d3d9/D3D9BatchFixture.h"
#include "tests/platform/xfile/GuardedMemory.h"

namespace {

using namespace batchtest;

class D3D9BatchLimits : public D3D9Batch {
protected:
    void SetUp() override
    {
        D3D9Batch::SetUp();
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    }
    // `count` screen-space vertices in small clusters of three about the picture.
    static std::vector<ScreenVertex> ScreenVertices(uint32_t seed, UINT count)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        std::vector<ScreenVertex> v(count);
        float cx = 0, cy = 0;
        for (UINT i = 0; i < count; ++i) {
            if (i % 3 == 0)
                cx = unit(random) * kWidth, cy = unit(random) * kHeight;
            v[i] = ScreenVertex{cx + 24.0f * (unit(random) - 0.5f), cy + 24.0f * (unit(random) - 0.5f), unit(random),
                                1.0f, static_cast<D3DCOLOR>(0xFF000000u | (random() & 0xFFFFFF)), unit(random),
                                unit(random)};
        }
        return v;
    }
    void ExpectSame(const std::string& what)
    {
        EXPECT_EQ(qvtest::ComparePictures(pictures[1], pictures[0], 0, "limits-" + what, "drawn draw by draw"), "")
            << what;
    }
};

// A draw of up to 256 vertices and 768 indices joins; one more of either and it goes alone. A
// draw larger than the batch so far joins too, and so do draws of vertices far into an array.
TEST_F(D3D9BatchLimits, DrawsOfUpTo256VerticesAnd768IndicesJoin)
{
    device->SetFVF(kScreenFvf);
    struct Case {
        const char* name;
        UINT vertices;      // of each draw
        UINT triangles;     // indexed when not 0, over all the vertices
        uint64_t gathered;  // OpenGL draws of the two draws gathered
    };
    const Case cases[] = {{"strips-of-256", 256, 0, 1}, {"strips-of-257", 257, 0, 2},
                          {"768-indices", 256, 256, 1}, {"771-indices", 256, 257, 2}};
    for (const Case& c : cases) {
        const std::vector<ScreenVertex> v = ScreenVertices(7, c.vertices);
        std::vector<uint16_t> indices(3 * c.triangles);
        for (size_t i = 0; i < indices.size(); ++i)
            indices[i] = static_cast<uint16_t>((i * 7) % c.vertices);
        DrawBothWays([&] {
            for (int k = 0; k < 2; ++k) {
                if (c.triangles)
                    ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, c.vertices, c.triangles,
                                                             indices.data(), D3DFMT_INDEX16, v.data(), sizeof v[0]),
                              D3D_OK);
                else
                    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, c.vertices - 2, v.data(), sizeof v[0]),
                              D3D_OK);
            }
        });
        ExpectSame(c.name);
        EXPECT_EQ(draws[1], c.gathered) << c.name;
    }

    const std::vector<ScreenVertex> v = ScreenVertices(8, 12);
    DrawBothWays([&] {
        for (UINT triangles : {1u, 2u, 4u, 1u})
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, v.data(), sizeof v[0]), D3D_OK);
    });
    ExpectSame("growing");
    EXPECT_EQ(draws[1], 1u);

    // Only the vertices a draw reads count: a few far into a long array join as few.
    std::vector<ScreenVertex> far = ScreenVertices(9, 40060);
    std::vector<uint16_t> indices(36);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<uint16_t>(40000 + (i * 5) % 60);
    DrawBothWays([&] {
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 40000, 60, 12, indices.data(), D3DFMT_INDEX16,
                                                     far.data(), sizeof far[0]),
                      D3D_OK);
    });
    ExpectSame("far-into-the-vertices");
    EXPECT_EQ(draws[1], 1u);
}

// The gathered vertices are numbered with 16 bits: 257 draws of 255 vertices (65535 in all)
// are one draw, and a 258th begins another. Three frames of them overfill the buffer the batches
// are written to, which is begun again, and OpenGL reports no error.
TEST_F(D3D9BatchLimits, BatchesEndAtSixteenBitsAndOverfillTheirBuffer)
{
    device->SetTexture(0, MakeTexture(3, false));
    device->SetFVF(kScreenFvf);
    std::vector<std::vector<ScreenVertex>> sets;
    for (uint32_t i = 0; i < 258; ++i)
        sets.push_back(ScreenVertices(100 + i, 255));
    for (size_t count : {257u, 258u, 258u}) {
        DrawBothWays([&] {
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 85, sets[i].data(), sizeof sets[i][0]), D3D_OK);
        });
        ExpectSame("full-" + std::to_string(count));
        EXPECT_EQ(draws[1], count == 257 ? 1u : 2u);
    }
    EXPECT_EQ(QVGL(GetError)(), static_cast<GLenum>(GL_NO_ERROR));
}

// Lit draws of their own worlds gather in clip space with a colour beside their normals, and
// with every light on that OpenGL has (a ninth is refused).
TEST_F(D3D9BatchLimits, LitDrawsGatherWithColoursAndWithEveryLight)
{
    struct ColouredVertex {
        float x, y, z, nx, ny, nz;
        D3DCOLOR color;
    };
    std::vector<MeshVertex> box;
    std::vector<uint16_t> indices;
    MakeBox(box, indices);
    std::vector<ColouredVertex> vertices;
    std::mt19937 random(5);
    for (const MeshVertex& m : box) // opaque colours: their bytes read as a float are no number
        vertices.push_back({m.x, m.y, m.z, m.nx, m.ny, m.nz, static_cast<D3DCOLOR>(0xFF000000u | (random() & 0xFFFFFF))});
    SetCamera();
    SetLight();
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    D3DMATERIAL9 material = {};
    material.Diffuse = material.Ambient = D3DCOLORVALUE{0.9f, 0.9f, 0.9f, 1.0f};
    device->SetMaterial(&material);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
    auto boxes = [&] {
        std::mt19937 worlds(17);
        for (int i = 0; i < 40; ++i) {
            const D3DMATRIX world = RandomWorld(worlds);
            device->SetTransform(D3DTS_WORLD, &world);
            ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 24, 12, indices.data(), D3DFMT_INDEX16,
                                                     vertices.data(), sizeof vertices[0]),
                      D3D_OK);
        }
    };
    DrawBothWays(boxes);
    ExpectSamePictures(0);
    EXPECT_EQ(draws[1], 1u);

    for (DWORD i = 1; i < 9; ++i) {
        D3DLIGHT9 light = {};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{0.1f * i, 0.05f, 0.02f * i, 1.0f};
        light.Direction = D3DVECTOR{std::cos(0.7f * i), std::sin(0.7f * i), 1.0f};
        device->SetLight(i, &light);
        EXPECT_EQ(device->LightEnable(i, TRUE), i < 8 ? D3D_OK : D3DERR_INVALIDCALL);
    }
    DrawBothWays(boxes);
    ExpectSamePictures(0);
    EXPECT_EQ(draws[1], 1u);
}

// Colours of another type than D3DCOLOR, and texture coordinates of another type than floats,
// are not what the gathered vertices hold: their draws go alone.
TEST_F(D3D9BatchLimits, ColoursAndCoordinatesOfOtherTypesGoAlone)
{
    struct Vertex {
        float x, y, z, rhw;
        uint8_t color[4];
        int16_t u, v;
    };
    const D3DVERTEXELEMENT9 bytes[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                       {0, 16, D3DDECLTYPE_UBYTE4N, 0, D3DDECLUSAGE_COLOR, 0},
                                       D3DDECL_END()};
    const D3DVERTEXELEMENT9 shorts[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                        {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                        {0, 20, D3DDECLTYPE_SHORT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
    device->SetTexture(0, MakeTexture(9, false));
    std::vector<Vertex> v;
    for (const ScreenVertex& s : ScreenVertices(11, 60))
        v.push_back({s.x, s.y, s.z, s.rhw, {static_cast<uint8_t>(s.color), static_cast<uint8_t>(s.color >> 8),
                                            static_cast<uint8_t>(s.color >> 16), 0xFF},
                     static_cast<int16_t>(s.u * 3), static_cast<int16_t>(s.v * 3)});
    for (const D3DVERTEXELEMENT9* elements : {bytes, shorts}) {
        IDirect3DVertexDeclaration9* declaration = nullptr;
        ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
        resources.push_back(declaration);
        device->SetVertexDeclaration(declaration);
        DrawBothWays([&] {
            for (int k = 0; k < 2; ++k)
                ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 10, &v[30 * k], sizeof v[0]), D3D_OK);
        });
        ExpectSame(elements == bytes ? "ubyte4n-colours" : "short2-coordinates");
        EXPECT_EQ(draws[1], 2u);
    }
}

// Texture coordinates of one to four floats, and none, reach the gathered vertices whole: with a
// texture matrix that mixes every coordinate into the two read, and the fourth dividing the
// others, a lost or extra float moves the texels. So does a coordinate set past the eighth.
TEST_F(D3D9BatchLimits, TextureCoordinatesOfEverySizeAreGatheredWhole)
{
    const D3DMATRIX identity = Identity();
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    device->SetTexture(0, MakeTexture(13, false));
    D3DMATRIX mix = Identity();
    mix._12 = 0.3f;
    mix._31 = 0.5f;
    mix._32 = -0.25f;
    mix._41 = 0.25f;
    mix._42 = 0.125f;
    device->SetTransform(D3DTS_TEXTURE0, &mix);
    struct Format {
        const char* name;
        DWORD fvf;
        UINT floats;
    };
    const Format formats[] = {{"none", D3DFVF_XYZ | D3DFVF_DIFFUSE, 0},
                              {"one", D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0), 1},
                              {"two", D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 2},
                              {"three", D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0), 3},
                              {"four", D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE4(0), 4}};
    for (const Format& format : formats) {
        const UINT stride = 4 * (4 + format.floats);
        std::vector<uint8_t> vertices(static_cast<size_t>(stride) * 36);
        std::mt19937 random(format.floats + 20);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        for (UINT i = 0; i < 36; ++i) {
            float f[8] = {unit(random), unit(random), 0.5f, 0, unit(random), unit(random), unit(random),
                          1.5f + unit(random)}; // the fourth coordinate from 0.5 to 2.5
            const D3DCOLOR color = 0xFF000000u | (random() & 0xFFFFFF);
            std::memcpy(&f[3], &color, 4);
            std::memcpy(&vertices[static_cast<size_t>(i) * stride], f, stride);
        }
        for (DWORD flags : {D3DTTFF_DISABLE, D3DTTFF_COUNT2}) {
            for (DWORD set : {0u, 8u}) {
                device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, flags);
                device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, set);
                device->SetFVF(format.fvf);
                DrawBothWays([&] {
                    for (UINT k = 0; k < 3; ++k)
                        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 4, &vertices[k * 12 * stride], stride),
                                  D3D_OK);
                });
                const std::string what = std::string(format.name) + (flags ? "-transformed" : "") + "-set" +
                                         std::to_string(set);
                ExpectSame(what);
                EXPECT_EQ(draws[1], 1u) << what;
            }
        }
    }
}

// Gathered draws copy exactly the caller's vertices: each ends where an unreadable page begins,
// whatever attribute comes last, so that a read past the last one stops the program. The second
// draw reads only the second half of its vertices.
TEST_F(D3D9BatchLimits, GatheredDrawsReadNothingPastTheCallersVertices)
{
    SetCamera();
    SetLight();
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetTexture(0, MakeTexture(15, false));
    D3DMATERIAL9 material = {};
    material.Diffuse = material.Ambient = D3DCOLORVALUE{1.0f, 0.8f, 0.6f, 1.0f};
    device->SetMaterial(&material);
    struct Format {
        const char* name;
        DWORD fvf;
        UINT floats; // after the position
        bool lit;
    };
    const Format formats[] = {{"normal", D3DFVF_XYZ | D3DFVF_NORMAL, 3, true},
                              {"colour", D3DFVF_XYZ | D3DFVF_DIFFUSE, 1, false},
                              {"one", D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0), 1, false},
                              {"two", D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 5, true},
                              {"three", D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0), 3, false},
                              {"four", D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE4(0), 4, false}};
    std::vector<MeshVertex> box;
    std::vector<uint16_t> indices;
    MakeBox(box, indices);
    for (const Format& format : formats) {
        const UINT stride = 4 * (3 + format.floats);
        std::vector<uint8_t> bytes(static_cast<size_t>(stride) * 2 * box.size());
        for (size_t i = 0; i < 2 * box.size(); ++i) {
            const MeshVertex& m = box[i % box.size()];
            const float f[8] = {m.x, m.y, m.z, m.nx, m.ny, m.nz, m.u, m.v};
            float* out = reinterpret_cast<float*>(&bytes[i * stride]);
            std::memcpy(out, f, 12);
            if (format.lit)
                std::memcpy(out + 3, f + 3, 4 * format.floats);
            else
                for (UINT k = 0; k < format.floats; ++k)
                    out[3 + k] = k == 3 ? 1.0f + m.u : f[6 + k % 2];
            if (format.fvf & D3DFVF_DIFFUSE) {
                const D3DCOLOR color = 0xFF000000u | static_cast<D3DCOLOR>(i * 0x0A0B0C);
                std::memcpy(out + 3, &color, 4);
            }
        }
        const xfixture::GuardedCopy first(bytes.data(), bytes.size() / 2), second(bytes);
        std::vector<uint16_t> later = indices;
        for (uint16_t& i : later)
            i = static_cast<uint16_t>(i + 24);
        device->SetRenderState(D3DRS_LIGHTING, format.lit);
        device->SetFVF(format.fvf);
        DrawBothWays([&] {
            std::mt19937 worlds(3);
            for (const xfixture::GuardedCopy* copy : {&first, &second}) {
                const D3DMATRIX world = RandomWorld(worlds);
                device->SetTransform(D3DTS_WORLD, &world);
                const bool half = copy == &second;
                ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, half ? 24 : 0, 24, 12,
                                                         (half ? later : indices).data(), D3DFMT_INDEX16,
                                                         copy->data(), stride),
                          D3D_OK);
            }
        });
        ExpectSame(std::string("guarded-") + format.name);
        EXPECT_EQ(draws[1], 1u) << format.name;
    }
}

// The gathered vertices are written within their store: a device's first batch takes a store of
// exactly its first draw's vertices, here of four floats each, which ends where an unreadable
// page begins (or, under AddressSanitizer, is checked by it).
TEST_F(D3D9BatchLimits, GatheredVerticesAreWrittenWithinTheirStore)
{
    std::vector<MeshVertex> box;
    std::vector<uint16_t> indices;
    MakeBox(box, indices);
    std::vector<float> positions;
    for (const MeshVertex& m : box)
        positions.insert(positions.end(), {m.x, m.y, m.z});
    SetCamera();
    device->SetFVF(D3DFVF_XYZ);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF40C080);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    auto boxes = [&] {
        std::mt19937 worlds(9);
        for (int i = 0; i < 3; ++i) {
            const D3DMATRIX world = RandomWorld(worlds);
            device->SetTransform(D3DTS_WORLD, &world);
            ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 24, 12, indices.data(), D3DFMT_INDEX16,
                                                     positions.data(), 12),
                      D3D_OK);
        }
    };
    {
        xfixture::GuardedAllocations guard(24 * 4 * sizeof(float));
        DrawBothWays(boxes);
        if (xfixture::GuardedAllocations::Available()) {
            EXPECT_GE(guard.Count(), 1);
        }
    }
    ExpectSame("store");
    EXPECT_EQ(draws[1], 1u);
}

// An effect's vertex program does not run for pre-transformed vertices: their draws gather
// beside it all the same. Draws it transforms go alone.
TEST_F(D3D9BatchLimits, PreTransformedDrawsGatherBesideAVertexProgram)
{
    static const char kSource[] = "#version 120\n"
                                  "void main()\n"
                                  "{\n"
                                  "    gl_Position = ftransform();\n"
                                  "    gl_FrontColor = gl_Color.bgra;\n"
                                  "}\n";
    std::string log;
    const unsigned program = qv::d3d9::CreateVertexProgram(device, kSource, log);
    ASSERT_NE(program, 0u) << log;
    const std::vector<ScreenVertex> v = ScreenVertices(31, 90);
    std::vector<PuffVertex> p;
    for (const ScreenVertex& s : v)
        p.push_back({s.x / kWidth * 2 - 1, 1 - s.y / kHeight * 2, s.z, s.color, s.u, s.v});
    const D3DMATRIX identity = Identity();
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    for (const bool transformed : {true, false}) {
        qv::d3d9::UseVertexProgram(device, program, -1);
        device->SetFVF(transformed ? kScreenFvf : D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        DrawBothWays([&] {
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(transformed ? device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 10, &v[30 * k], sizeof v[0])
                                      : device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 10, &p[30 * k], sizeof p[0]),
                          D3D_OK);
        });
        qv::d3d9::UseVertexProgram(device, 0, -1);
        ExpectSame(transformed ? "programmed-pretransformed" : "programmed");
        EXPECT_EQ(draws[1], transformed ? 1u : 3u);
    }
    qv::d3d9::DeleteVertexProgram(device, program);
}

// A change of the scissor rectangle or of the viewport alone ends a batch.
TEST_F(D3D9BatchLimits, AScissorOrViewportChangeAloneEndsABatch)
{
    device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    device->SetFVF(kPuffFvf);
    const D3DMATRIX identity = Identity();
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    auto quad = [&](D3DCOLOR color) {
        const PuffVertex v[4] = {{-1, 1, 0.5f, color, 0, 0}, {1, 1, 0.5f, color, 1, 0},
                                 {-1, -1, 0.5f, color, 0, 1}, {1, -1, 0.5f, color, 1, 1}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    };
    DrawBothWays([&] {
        const RECT wide = {0, 0, kWidth, kHeight}, narrow = {40, 30, 120, 90};
        device->SetScissorRect(&wide);
        quad(0xFF8040C0);
        device->SetScissorRect(&narrow);
        quad(0xFF20E020);
        device->SetScissorRect(&wide);
        D3DVIEWPORT9 viewport = {100, 60, 160, 120, 0.0f, 1.0f};
        device->SetViewport(&viewport);
        quad(0xFFE02020);
        viewport = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
        device->SetViewport(&viewport);
    });
    ExpectSame("scissor-viewport");
    EXPECT_EQ(draws[1], 3u);
}

// Where OpenGL cannot read D3DCOLOR as it is, gathered colours (alpha included) are turned round
// as those of a draw on its own are.
TEST_F(D3D9BatchLimits, ColoursAreTurnedRoundAlikeWithoutBgraArrays)
{
    struct Restore {
        bool was = qv::gl::g_api.bgraColorArrays;
        ~Restore() { qv::gl::g_api.bgraColorArrays = was; }
    } restore;
    qv::gl::g_api.bgraColorArrays = false;
    device->SetFVF(kScreenFvf);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    std::vector<ScreenVertex> v = ScreenVertices(21, 90);
    for (size_t i = 0; i < v.size(); ++i)
        v[i].color = (v[i].color & 0xFFFFFF) | static_cast<D3DCOLOR>((0x40 + 37 * i % 0xC0) << 24);
    DrawBothWays([&] {
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 10, &v[30 * k], sizeof v[0]), D3D_OK);
    });
    ExpectSame("swizzled");
    EXPECT_EQ(draws[1], 1u);
}

} // namespace
