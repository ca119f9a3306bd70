// Gathered draws of different textures take their texels from the layers of texture arrays:
// textures met in one batch and the next share an array, each shape of texture has arrays of
// its own, a full array ends a batch and a layer given up is taken again, and what cannot be a
// layer is drawn on its own. Every scene is drawn both ways and must give the same picture; the
// OpenGL draw counts show where batches ended.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d9/GlApi.h"
#include "tests/platform/d3d9/D3D9BatchFixture.h"

namespace {

using namespace batchtest;

class D3D9TextureArrays : public D3D9Batch {
protected:
    void SetUp() override
    {
        D3D9Batch::SetUp();
        const D3DMATRIX identity = Identity();
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &identity);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        ModulateAlpha();
        UseTrilinearFiltering();
        device->SetFVF(kPuffFvf);
    }

    // One quad for each texture in turn, at places the seed gives, `size` across in clip space,
    // with the texture repeated `repeat` times across it (so that it is minified to its small
    // levels when it has them).
    void Quads(const std::vector<IDirect3DTexture9*>& textures, uint32_t seed, float size = 0.3f, float repeat = 1.0f)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> place(-0.95f, 0.95f - size);
        for (IDirect3DTexture9* texture : textures) {
            const float x = place(random), y = place(random);
            const D3DCOLOR color = 0xC0000000u | 0x808080u | (random() & 0x7F7F7F);
            const PuffVertex quad[4] = {{x, y + size, 0.5f, color, 0, 0},
                                        {x + size, y + size, 0.5f, color, repeat, 0},
                                        {x, y, 0.5f, color, 0, repeat},
                                        {x + size, y, 0.5f, color, repeat, repeat}};
            device->SetTexture(0, texture);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
        }
    }
    // Ends the open batch with a state that changes nothing drawn (the alpha test is off).
    void EndBatch() { device->SetRenderState(D3DRS_ALPHAREF, ++m_breaks); }

    void Release(IDirect3DTexture9* texture)
    {
        resources.erase(std::find(resources.begin(), resources.end(), texture));
        texture->Release();
    }

    void ExpectSame(const char* what)
    {
        EXPECT_EQ(qvtest::ComparePictures(pictures[1], pictures[0], 0, std::string("arrays-") + what,
                                          "drawn draw by draw"),
                  "")
            << what;
    }

private:
    DWORD m_breaks = 0;
};

// Textures of one shape met in a later batch join the array of those met before, whether the
// new texture comes first or second. (The first batch is of two draws: both textures become
// layers at once.)
TEST_F(D3D9TextureArrays, TexturesOfALaterBatchJoinTheArrayOfThoseBefore)
{
    IDirect3DTexture9* a = MakeTexture(1, true, 16);
    IDirect3DTexture9* b = MakeTexture(2, true, 16);
    IDirect3DTexture9* c = MakeTexture(3, true, 16);
    IDirect3DTexture9* d = MakeTexture(4, true, 16);
    DrawBothWays([&] {
        Quads({a, b}, 10);
        EndBatch();
        Quads({c, a, c, a}, 11); // the new one first
        EndBatch();
        Quads({a, d, a, d}, 12); // the new one second
    });
    ExpectSame("later-batch");
    EXPECT_EQ(draws[0], 10u);
    EXPECT_EQ(draws[1], 3u);
    EXPECT_EQ(QVGL(GetError)(), static_cast<GLenum>(GL_NO_ERROR));
}

// Textures that differ in width, in level count or in having alpha, and textures whose levels
// run down to one texel across in one direction before the other, each get arrays of their
// own shape, keep every level, and are drawn from their own array again after another was
// written.
TEST_F(D3D9TextureArrays, EachShapeOfTextureHasArraysOfItsOwn)
{
    struct Shape {
        const char* name;
        UINT width, height, levels;
        D3DFORMAT format;
    };
    const Shape shapes[] = {{"16x16", 16, 16, 1, D3DFMT_A8R8G8B8},    {"32x16", 32, 16, 1, D3DFMT_A8R8G8B8},
                            {"16x16 mipmapped", 16, 16, 0, D3DFMT_A8R8G8B8}, {"16x16 X8R8G8B8", 16, 16, 1, D3DFMT_X8R8G8B8},
                            {"16x4 mipmapped", 16, 4, 0, D3DFMT_A8R8G8B8},  {"4x16 mipmapped", 4, 16, 0, D3DFMT_A8R8G8B8}};
    std::vector<std::vector<IDirect3DTexture9*>> pairs;
    uint32_t seed = 20;
    for (const Shape& s : shapes) {
        IDirect3DTexture9* first = MakeTextureOf(seed++, s.width, s.height, s.levels, s.format);
        IDirect3DTexture9* second = MakeTextureOf(seed++, s.width, s.height, s.levels, s.format);
        pairs.push_back({first, second, first, second});
    }
    DrawBothWays([&] {
        uint32_t place = 30;
        for (const auto& pair : pairs)
            Quads(pair, place++, 0.3f, 40.0f); // minified down to the smallest levels
        Quads(pairs[0], place, 0.3f, 40.0f);   // its array bound again, nothing written to it
    });
    ExpectSame("shapes");
    EXPECT_EQ(draws[0], 4u * (pairs.size() + 1));
    EXPECT_EQ(draws[1], pairs.size() + 1);
}

// An array has room for 32 textures: 32 are drawn in one draw, the 33rd ends the batch, and a
// texture made after one of the 32 went takes the layer it left, whether it comes first or
// second in its batch. Once an array is full a second one of the shape is begun; a new texture
// goes to the first with room, and textures of two arrays are not drawn together.
TEST_F(D3D9TextureArrays, AFullArrayEndsABatchAndAFreedLayerIsTakenAgain)
{
    std::vector<IDirect3DTexture9*> t;
    for (uint32_t i = 0; i < 38; ++i)
        t.push_back(MakeTexture(100 + i, true));
    auto range = [&](size_t first, size_t end) {
        return std::vector<IDirect3DTexture9*>(t.begin() + static_cast<std::ptrdiff_t>(first),
                                               t.begin() + static_cast<std::ptrdiff_t>(end));
    };
    struct Step {
        const char* name;
        std::vector<IDirect3DTexture9*> textures;
        uint64_t gathered;
    };
    auto draw = [&](const Step& step) {
        DrawBothWays([&] { Quads(step.textures, static_cast<uint32_t>(step.textures.size()), 0.15f); });
        ExpectSame(step.name);
        EXPECT_EQ(draws[1], step.gathered) << step.name;
    };
    std::vector<IDirect3DTexture9*> twice = range(0, 32);
    twice.insert(twice.end(), t.begin(), t.begin() + 32);
    draw({"32-layers", twice, 1});      // t0 to t31 in layers 0 to 31
    draw({"33-textures", range(0, 33), 2});
    Release(t[0]);
    std::vector<IDirect3DTexture9*> second = {t[1], t[33]};
    second.insert(second.end(), t.begin() + 2, t.begin() + 32);
    draw({"freed-layer-second", second, 1}); // t33 in layer 0
    draw({"second-array", {t[32], t[34], t[35]}, 1});
    draw({"second-array-found", {t[36], t[34]}, 1});
    Release(t[33]);
    draw({"freed-layer-first", {t[37], t[5]}, 1}); // the first array has room again
    draw({"two-arrays", {t[5], t[32]}, 2});
}

// A texture whose level of detail leaves out its largest levels cannot be a layer (an array
// has one level of detail for all): draws of it alternating with another texture go alone,
// whichever comes first. Without texture arrays in OpenGL, so do all draws of different
// textures.
TEST_F(D3D9TextureArrays, TexturesThatCannotBeLayersAreDrawnAlone)
{
    IDirect3DTexture9* detailed = MakeTexture(50, true, 16, 0);
    IDirect3DTexture9* coarse = MakeTexture(51, true, 16, 0);
    coarse->SetLOD(2);
    DrawBothWays([&] { Quads({coarse, detailed, coarse, detailed}, 60); });
    ExpectSame("lod-first");
    EXPECT_EQ(draws[1], 4u);
    DrawBothWays([&] { Quads({detailed, coarse, detailed, coarse}, 61); });
    ExpectSame("lod-second");
    EXPECT_EQ(draws[1], 4u);
}

// The texels of layers are drawn by a program of one operation, the texture times the vertex
// colour in colour and alpha (either way round) with nothing after it: a stage that does
// anything else, transformed or three-float coordinates or none, fog or a specular highlight
// keep draws of different textures apart.
TEST_F(D3D9TextureArrays, OnlyTheTextureTimesTheVertexColourIsDrawnFromLayers)
{
    IDirect3DTexture9* a = MakeTexture(90, true);
    IDirect3DTexture9* b = MakeTexture(91, true);
    struct Case {
        const char* name;
        std::vector<std::pair<D3DTEXTURESTAGESTATETYPE, DWORD>> stage;
        std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> render;
        uint64_t gathered;
    };
    const Case cases[] = {
        {"modulate", {}, {}, 1},
        {"vertex-times-texture",
         {{D3DTSS_COLORARG1, D3DTA_DIFFUSE}, {D3DTSS_COLORARG2, D3DTA_TEXTURE},
          {D3DTSS_ALPHAARG1, D3DTA_CURRENT}, {D3DTSS_ALPHAARG2, D3DTA_TEXTURE}},
         {}, 1},
        {"colour-without-texture", {{D3DTSS_COLORARG1, D3DTA_DIFFUSE}, {D3DTSS_COLORARG2, D3DTA_CURRENT}}, {}, 4},
        {"alpha-without-texture", {{D3DTSS_ALPHAARG1, D3DTA_DIFFUSE}}, {}, 4},
        {"texture-times-texture", {{D3DTSS_COLORARG2, D3DTA_TEXTURE}}, {}, 4},
        {"texture-times-factor", {{D3DTSS_COLORARG2, D3DTA_TFACTOR}}, {{D3DRS_TEXTUREFACTOR, 0xFF20C040}}, 4},
        {"add", {{D3DTSS_COLOROP, D3DTOP_ADD}}, {}, 4},
        {"alpha-of-the-texture", {{D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}}, {}, 4},
        {"transformed-coordinates", {{D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2}}, {}, 4},
        {"coordinate-set-past-the-eighth", {{D3DTSS_TEXCOORDINDEX, 8}}, {}, 4},
        {"fog", {}, {{D3DRS_FOGENABLE, TRUE}, {D3DRS_FOGTABLEMODE, D3DFOG_EXP}, {D3DRS_FOGCOLOR, 0xFF00FF00}}, 4},
        {"specular", {}, {{D3DRS_LIGHTING, TRUE}, {D3DRS_SPECULARENABLE, TRUE}}, 4},
    };
    D3DMATERIAL9 material = {};
    material.Diffuse = material.Ambient = material.Specular = D3DCOLORVALUE{1, 1, 1, 1};
    material.Power = 4.0f;
    device->SetMaterial(&material);
    for (const Case& c : cases) {
        for (const auto& [state, value] : c.stage)
            device->SetTextureStageState(0, state, value);
        for (const auto& [state, value] : c.render)
            device->SetRenderState(state, value);
        DrawBothWays([&] { Quads({a, b, a, b}, 95); });
        ExpectSame(c.name);
        EXPECT_EQ(draws[1], c.gathered) << c.name;
        // Back to texture times vertex colour, unlit and without fog.
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        for (const auto& [state, value] : c.render)
            device->SetRenderState(state, state == D3DRS_FOGTABLEMODE ? D3DFOG_NONE : 0);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    // Three coordinates each: not two.
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
        float u, v, w;
    };
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
    DrawBothWays([&] {
        for (int i = 0; i < 4; ++i) {
            const float x = -0.9f + 0.45f * i;
            const Vertex quad[4] = {{x, 0.5f, 0.5f, 0xFFFFFFFF, 0, 0, 0.5f}, {x + 0.4f, 0.5f, 0.5f, 0xFFFFFFFF, 1, 0, 0.5f},
                                    {x, -0.5f, 0.5f, 0xFFFFFFFF, 0, 1, 0.5f}, {x + 0.4f, -0.5f, 0.5f, 0xFFFFFFFF, 1, 1, 0.5f}};
            device->SetTexture(0, i % 2 ? b : a);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
        }
    });
    ExpectSame("three-coordinates");
    EXPECT_EQ(draws[1], 4u);
}

TEST_F(D3D9TextureArrays, WithoutTextureArraysEachTextureIsABatchOfItsOwn)
{
    struct Restore {
        bool was = qv::gl::g_api.textureArrays;
        ~Restore() { qv::gl::g_api.textureArrays = was; }
    } restore;
    qv::gl::g_api.textureArrays = false;
    IDirect3DTexture9* a = MakeTexture(70, true);
    IDirect3DTexture9* b = MakeTexture(71, true);
    DrawBothWays([&] { Quads({a, a, b, b, a, b}, 80); });
    ExpectSame("no-arrays");
    EXPECT_EQ(draws[1], 4u);
}

// OpenGL programs, and texture arrays, alive in the current context among the first few
// thousand names. (A texture array cannot be bound as a two-dimensional texture; the binding
// is undone.)
int LivePrograms()
{
    using IsName = GLboolean(APIENTRY*)(GLuint);
    const auto is = reinterpret_cast<IsName>(SDL_GL_GetProcAddress("glIsProgram"));
    int live = 0;
    for (GLuint name = 1; is && name < 4096; ++name)
        live += is(name) == GL_TRUE;
    return live;
}
int LiveTextureArrays()
{
    using IsName = GLboolean(APIENTRY*)(GLuint);
    const auto is = reinterpret_cast<IsName>(SDL_GL_GetProcAddress("glIsTexture"));
    int live = 0;
    QVGL(GetError)();
    for (GLuint name = 1; is && name < 4096; ++name) {
        if (is(name) != GL_TRUE)
            continue;
        QVGL(BindTexture)(GL_TEXTURE_2D, name);
        live += QVGL(GetError)() == GL_INVALID_OPERATION;
    }
    QVGL(BindTexture)(GL_TEXTURE_2D, 0);
    return live;
}

// A device that drew layered batches frame after frame made one program for them, and leaves
// neither it nor its texture arrays in the window's OpenGL context when it goes.
TEST(D3D9TextureArrayLifetime, ADeviceLeavesNoArrayOrProgramBehind)
{
    qvtest::DeviceFixture f;
    ASSERT_TRUE(f.Create(64, 48));
    ASSERT_TRUE(qv::gl::g_api.textureArrays);
    const int programsBefore = LivePrograms();
    std::vector<IDirect3DTexture9*> textures(4, nullptr);
    for (auto& t : textures)
        ASSERT_EQ(f.device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    const D3DMATRIX identity = Identity();
    f.device->SetTransform(D3DTS_WORLD, &identity);
    f.device->SetTransform(D3DTS_VIEW, &identity);
    f.device->SetTransform(D3DTS_PROJECTION, &identity);
    f.device->SetRenderState(D3DRS_LIGHTING, FALSE);
    f.device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    f.device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    f.device->SetFVF(kPuffFvf);
    const PuffVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFF, 0, 0}, {1, 1, 0.5f, 0xFFFFFFFF, 1, 0},
                                {-1, -1, 0.5f, 0xFFFFFFFF, 0, 1}, {1, -1, 0.5f, 0xFFFFFFFF, 1, 1}};
    const uint64_t before = qv::test::OpenGlDrawCount();
    for (int frame = 0; frame < 5; ++frame) {
        ASSERT_EQ(f.device->BeginScene(), D3D_OK);
        for (int i = 0; i < 8; ++i) {
            f.device->SetRenderState(D3DRS_ALPHAREF, static_cast<DWORD>(i)); // a batch each
            f.device->SetTexture(0, textures[static_cast<size_t>(i) % 4]);
            ASSERT_EQ(f.device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
            f.device->SetTexture(0, textures[static_cast<size_t>(i + 1) % 4]);
            ASSERT_EQ(f.device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
        }
        f.device->EndScene();
        ASSERT_EQ(f.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    EXPECT_EQ(qv::test::OpenGlDrawCount() - before, 5u * 8u); // each pair of textures in one draw
    EXPECT_EQ(LivePrograms(), programsBefore + 1);
    f.device->SetTexture(0, nullptr);
    for (IDirect3DTexture9* t : textures)
        t->Release();
    // Released in the middle of a scene, with a draw waiting to be gathered with others.
    ASSERT_EQ(f.device->BeginScene(), D3D_OK);
    ASSERT_EQ(f.device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
    EXPECT_NE(qv::gl::g_batchGuard.open, nullptr);
    f.device->Release();
    f.device = nullptr;
    EXPECT_EQ(qv::gl::g_batchGuard.open, nullptr) << "OpenGL calls would still be taken for a batch's";
    EXPECT_EQ(LiveTextureArrays(), 0);
    EXPECT_EQ(LivePrograms(), programsBefore);
}

} // namespace
