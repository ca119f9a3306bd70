// What reaches OpenGL for each value of every render, texture-stage and sampler state the layer
// translates: after a draw, OpenGL's own state is read back and compared with the value
// Direct3D's documentation gives the state, written out here apart from the layer's code. Every
// draw must also leave OpenGL without an error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/d3d9/GlApi.h"
#include "platform/platform.h"
#include "support/D3D9Fixture.h"

namespace {

using qvtest::Bits;

struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
    float u0, v0, u1, v1;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;

// One triangle, drawn at once (nothing gathered) so that OpenGL holds its state afterwards.
class D3D9Translation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(f.Create(32, 32));
        device = f.device;
        qv::test::SetD3D9Batching(false);
        ASSERT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        device->SetTexture(0, texture);
        device->SetFVF(kFvf);
        while (glGetError() != GL_NO_ERROR) {
        }
        ASSERT_EQ(device->BeginScene(), D3D_OK);
    }
    void TearDown() override
    {
        device->EndScene();
        qv::test::SetD3D9Batching(true);
        if (texture)
            texture->Release();
    }

    void Draw(const std::string& what)
    {
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof triangle[0]), D3D_OK) << what;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << what;
    }
    void Set(D3DRENDERSTATETYPE state, DWORD value) { ASSERT_EQ(device->SetRenderState(state, value), D3D_OK); }
    void Stage(D3DTEXTURESTAGESTATETYPE state, DWORD value)
    {
        ASSERT_EQ(device->SetTextureStageState(0, state, value), D3D_OK);
    }
    void Sampler(D3DSAMPLERSTATETYPE state, DWORD value) { ASSERT_EQ(device->SetSamplerState(0, state, value), D3D_OK); }

    static GLint Int(GLenum name)
    {
        GLint v = 0;
        glGetIntegerv(name, &v);
        return v;
    }
    static std::vector<float> Floats(GLenum name, int count)
    {
        std::vector<float> v(16, 0.0f);
        glGetFloatv(name, v.data());
        v.resize(static_cast<size_t>(count));
        return v;
    }
    static bool On(GLenum capability) { return glIsEnabled(capability) == GL_TRUE; }
    static GLint Env(GLenum name)
    {
        GLint v = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, name, &v);
        return v;
    }
    static GLint Parameter(GLenum name)
    {
        GLint v = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &v);
        return v;
    }
    static std::vector<float> Colour(float r, float g, float b, float a) { return {r, g, b, a}; }

    qvtest::DeviceFixture f;
    IDirect3DDevice9* device = nullptr;
    IDirect3DTexture9* texture = nullptr;
    const Vertex triangle[3] = {{0, 0, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0, 1, 1},
                                {0, 1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 1, 1, 0},
                                {1, 0, 0.5f, 0, 0, -1, 0xFFFFFFFF, 1, 0, 0, 1}};
};

// The comparisons as OpenGL's: depth, alpha and stencil tests take the same functions.
const std::pair<DWORD, GLenum> kCompares[] = {
    {D3DCMP_NEVER, GL_NEVER},       {D3DCMP_LESS, GL_LESS},       {D3DCMP_EQUAL, GL_EQUAL},
    {D3DCMP_LESSEQUAL, GL_LEQUAL},  {D3DCMP_GREATER, GL_GREATER}, {D3DCMP_NOTEQUAL, GL_NOTEQUAL},
    {D3DCMP_GREATEREQUAL, GL_GEQUAL}, {D3DCMP_ALWAYS, GL_ALWAYS}};

TEST_F(D3D9Translation, DepthAndStencilTests)
{
    Set(D3DRS_ZENABLE, D3DZB_FALSE);
    Draw("z off");
    EXPECT_FALSE(On(GL_DEPTH_TEST));
    Set(D3DRS_ZENABLE, D3DZB_TRUE);
    for (const auto& [d3d, gl] : kCompares) {
        Set(D3DRS_ZFUNC, d3d);
        Set(D3DRS_ZWRITEENABLE, d3d & 1);
        Draw("zfunc");
        EXPECT_TRUE(On(GL_DEPTH_TEST));
        EXPECT_EQ(Int(GL_DEPTH_FUNC), static_cast<GLint>(gl)) << d3d;
        EXPECT_EQ(Int(GL_DEPTH_WRITEMASK), static_cast<GLint>(d3d & 1)) << d3d;
    }

    const std::pair<DWORD, GLenum> operations[] = {
        {D3DSTENCILOP_KEEP, GL_KEEP},      {D3DSTENCILOP_ZERO, GL_ZERO},   {D3DSTENCILOP_REPLACE, GL_REPLACE},
        {D3DSTENCILOP_INCRSAT, GL_INCR},   {D3DSTENCILOP_DECRSAT, GL_DECR}, {D3DSTENCILOP_INVERT, GL_INVERT},
        {D3DSTENCILOP_INCR, GL_INCR_WRAP}, {D3DSTENCILOP_DECR, GL_DECR_WRAP}};
    Set(D3DRS_STENCILENABLE, TRUE);
    Set(D3DRS_STENCILREF, 0x1F3); // past the 8 bits of the stencil buffer: the most it holds
    Set(D3DRS_STENCILMASK, 0x3C);
    Set(D3DRS_STENCILWRITEMASK, 0x5A);
    for (const bool twoSided : {false, true}) {
        Set(D3DRS_TWOSIDEDSTENCILMODE, twoSided);
        for (size_t i = 0; i < 8; ++i) {
            const auto& op = operations[i];
            Set(D3DRS_STENCILFUNC, kCompares[i].first);
            Set(D3DRS_STENCILFAIL, operations[(i + 1) % 8].first);
            Set(D3DRS_STENCILZFAIL, operations[(i + 2) % 8].first);
            Set(D3DRS_STENCILPASS, op.first);
            Set(D3DRS_CCW_STENCILFUNC, kCompares[7 - i].first);
            Set(D3DRS_CCW_STENCILFAIL, operations[(i + 3) % 8].first);
            Set(D3DRS_CCW_STENCILZFAIL, operations[(i + 4) % 8].first);
            Set(D3DRS_CCW_STENCILPASS, operations[(i + 5) % 8].first);
            Draw("stencil");
            EXPECT_TRUE(On(GL_STENCIL_TEST));
            // Clockwise triangles are the front ones; the counter-clockwise take the CCW states.
            EXPECT_EQ(Int(GL_STENCIL_FUNC), static_cast<GLint>(kCompares[i].second)) << i;
            EXPECT_EQ(Int(GL_STENCIL_FAIL), static_cast<GLint>(operations[(i + 1) % 8].second)) << i;
            EXPECT_EQ(Int(GL_STENCIL_PASS_DEPTH_FAIL), static_cast<GLint>(operations[(i + 2) % 8].second)) << i;
            EXPECT_EQ(Int(GL_STENCIL_PASS_DEPTH_PASS), static_cast<GLint>(op.second)) << i;
            EXPECT_EQ(Int(GL_STENCIL_REF), 0xFF);
            EXPECT_EQ(Int(GL_STENCIL_VALUE_MASK) & 0xFF, 0x3C);
            EXPECT_EQ(Int(GL_STENCIL_WRITEMASK) & 0xFF, 0x5A);
            const bool ccw = twoSided;
            EXPECT_EQ(Int(GL_STENCIL_BACK_FUNC), static_cast<GLint>(ccw ? kCompares[7 - i].second : kCompares[i].second))
                << i;
            EXPECT_EQ(Int(GL_STENCIL_BACK_FAIL),
                      static_cast<GLint>(operations[(i + (ccw ? 3 : 1)) % 8].second))
                << i;
            EXPECT_EQ(Int(GL_STENCIL_BACK_PASS_DEPTH_FAIL),
                      static_cast<GLint>(operations[(i + (ccw ? 4 : 2)) % 8].second))
                << i;
            EXPECT_EQ(Int(GL_STENCIL_BACK_PASS_DEPTH_PASS),
                      static_cast<GLint>(operations[(i + (ccw ? 5 : 0)) % 8].second))
                << i;
            EXPECT_EQ(Int(GL_STENCIL_BACK_REF), 0xFF);
            EXPECT_EQ(Int(GL_STENCIL_BACK_VALUE_MASK) & 0xFF, 0x3C);
        }
    }
    Set(D3DRS_STENCILENABLE, FALSE);
    Draw("stencil off");
    EXPECT_FALSE(On(GL_STENCIL_TEST));
}

TEST_F(D3D9Translation, BlendingAndTheAlphaTest)
{
    const std::pair<DWORD, GLenum> factors[] = {
        {D3DBLEND_ZERO, GL_ZERO},
        {D3DBLEND_ONE, GL_ONE},
        {D3DBLEND_SRCCOLOR, GL_SRC_COLOR},
        {D3DBLEND_INVSRCCOLOR, GL_ONE_MINUS_SRC_COLOR},
        {D3DBLEND_SRCALPHA, GL_SRC_ALPHA},
        {D3DBLEND_INVSRCALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {D3DBLEND_DESTALPHA, GL_DST_ALPHA},
        {D3DBLEND_INVDESTALPHA, GL_ONE_MINUS_DST_ALPHA},
        {D3DBLEND_DESTCOLOR, GL_DST_COLOR},
        {D3DBLEND_INVDESTCOLOR, GL_ONE_MINUS_DST_COLOR},
        {D3DBLEND_SRCALPHASAT, GL_SRC_ALPHA_SATURATE},
        {D3DBLEND_BLENDFACTOR, GL_CONSTANT_COLOR},
        {D3DBLEND_INVBLENDFACTOR, GL_ONE_MINUS_CONSTANT_COLOR},
    };
    const std::pair<DWORD, GLenum> equations[] = {{D3DBLENDOP_ADD, GL_FUNC_ADD},
                                                  {D3DBLENDOP_SUBTRACT, GL_FUNC_SUBTRACT},
                                                  {D3DBLENDOP_REVSUBTRACT, GL_FUNC_REVERSE_SUBTRACT},
                                                  {D3DBLENDOP_MIN, GL_MIN},
                                                  {D3DBLENDOP_MAX, GL_MAX}};
    Set(D3DRS_ALPHABLENDENABLE, TRUE);
    Set(D3DRS_BLENDFACTOR, 0x80402010);
    for (const bool separate : {false, true}) {
        Set(D3DRS_SEPARATEALPHABLENDENABLE, separate);
        for (size_t i = 0; i < 13; ++i) {
            Set(D3DRS_SRCBLEND, factors[i].first);
            Set(D3DRS_DESTBLEND, factors[(i + 5) % 13].first);
            Set(D3DRS_SRCBLENDALPHA, factors[(i + 7) % 13].first);
            Set(D3DRS_DESTBLENDALPHA, factors[(i + 11) % 13].first);
            Set(D3DRS_BLENDOP, equations[i % 5].first);
            Set(D3DRS_BLENDOPALPHA, equations[(i + 2) % 5].first);
            Draw("blend");
            EXPECT_TRUE(On(GL_BLEND));
            EXPECT_EQ(Int(GL_BLEND_SRC_RGB), static_cast<GLint>(factors[i].second)) << i;
            EXPECT_EQ(Int(GL_BLEND_DST_RGB), static_cast<GLint>(factors[(i + 5) % 13].second)) << i;
            EXPECT_EQ(Int(GL_BLEND_EQUATION_RGB), static_cast<GLint>(equations[i % 5].second)) << i;
            EXPECT_EQ(Int(GL_BLEND_SRC_ALPHA), static_cast<GLint>(factors[separate ? (i + 7) % 13 : i].second)) << i;
            EXPECT_EQ(Int(GL_BLEND_DST_ALPHA), static_cast<GLint>(factors[separate ? (i + 11) % 13 : (i + 5) % 13].second))
                << i;
            EXPECT_EQ(Int(GL_BLEND_EQUATION_ALPHA), static_cast<GLint>(equations[separate ? (i + 2) % 5 : i % 5].second))
                << i;
            EXPECT_EQ(Floats(GL_BLEND_COLOR, 4), Colour(0x40 / 255.0f, 0x20 / 255.0f, 0x10 / 255.0f, 0x80 / 255.0f));
        }
    }
    // Both factors from the source one.
    Set(D3DRS_SEPARATEALPHABLENDENABLE, FALSE);
    Set(D3DRS_SRCBLEND, D3DBLEND_BOTHSRCALPHA);
    Draw("both source alpha");
    EXPECT_EQ(Int(GL_BLEND_SRC_RGB), GL_SRC_ALPHA);
    EXPECT_EQ(Int(GL_BLEND_DST_RGB), GL_ONE_MINUS_SRC_ALPHA);
    Set(D3DRS_SRCBLEND, D3DBLEND_BOTHINVSRCALPHA);
    Draw("both inverse source alpha");
    EXPECT_EQ(Int(GL_BLEND_SRC_RGB), GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(Int(GL_BLEND_DST_RGB), GL_SRC_ALPHA);
    Set(D3DRS_ALPHABLENDENABLE, FALSE);
    Draw("blend off");
    EXPECT_FALSE(On(GL_BLEND));

    Set(D3DRS_ALPHATESTENABLE, TRUE);
    for (const auto& [d3d, gl] : kCompares) {
        Set(D3DRS_ALPHAFUNC, d3d);
        Set(D3DRS_ALPHAREF, d3d * 30);
        Draw("alpha test");
        EXPECT_TRUE(On(GL_ALPHA_TEST));
        EXPECT_EQ(Int(GL_ALPHA_TEST_FUNC), static_cast<GLint>(gl));
        EXPECT_EQ(Floats(GL_ALPHA_TEST_REF, 1)[0], (d3d * 30 & 0xFF) / 255.0f) << d3d;
    }
    Set(D3DRS_ALPHATESTENABLE, FALSE);
    Draw("alpha test off");
    EXPECT_FALSE(On(GL_ALPHA_TEST));
}

TEST_F(D3D9Translation, Rasterisation)
{
    const std::pair<DWORD, GLenum> culls[] = {{D3DCULL_NONE, 0}, {D3DCULL_CW, GL_FRONT}, {D3DCULL_CCW, GL_BACK}};
    for (const auto& [d3d, gl] : culls) {
        Set(D3DRS_CULLMODE, d3d);
        Draw("cull");
        EXPECT_EQ(On(GL_CULL_FACE), gl != 0) << d3d;
        if (gl) {
            EXPECT_EQ(Int(GL_CULL_FACE_MODE), static_cast<GLint>(gl)) << d3d;
        }
    }
    EXPECT_EQ(Int(GL_FRONT_FACE), GL_CW);
    Set(D3DRS_CULLMODE, D3DCULL_NONE);
    const std::pair<DWORD, GLenum> fills[] = {{D3DFILL_POINT, GL_POINT}, {D3DFILL_WIREFRAME, GL_LINE},
                                              {D3DFILL_SOLID, GL_FILL}};
    for (const auto& [d3d, gl] : fills) {
        Set(D3DRS_FILLMODE, d3d);
        Draw("fill");
        GLint modes[2] = {};
        glGetIntegerv(GL_POLYGON_MODE, modes);
        EXPECT_EQ(modes[0], static_cast<GLint>(gl));
        EXPECT_EQ(modes[1], static_cast<GLint>(gl));
    }
    Set(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    Draw("flat");
    EXPECT_EQ(Int(GL_SHADE_MODEL), GL_FLAT);
    Set(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    Draw("gouraud");
    EXPECT_EQ(Int(GL_SHADE_MODEL), GL_SMOOTH);
    for (DWORD mask : {0x0u, 0x5u, 0xAu, 0xFu}) {
        Set(D3DRS_COLORWRITEENABLE, mask);
        Draw("colour writes");
        GLboolean writes[4] = {};
        glGetBooleanv(GL_COLOR_WRITEMASK, writes);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(writes[c] == GL_TRUE, (mask >> c & 1) != 0) << mask << " channel " << c;
    }
    // A bias in depth units (0..1) is so many steps of the 24-bit depth buffer.
    Set(D3DRS_DEPTHBIAS, Bits(0.001f));
    Set(D3DRS_SLOPESCALEDEPTHBIAS, Bits(2.0f));
    Draw("depth bias");
    EXPECT_TRUE(On(GL_POLYGON_OFFSET_FILL));
    EXPECT_EQ(Floats(GL_POLYGON_OFFSET_UNITS, 1)[0], 0.001f * 16777215.0f);
    EXPECT_EQ(Floats(GL_POLYGON_OFFSET_FACTOR, 1)[0], 2.0f);
    Set(D3DRS_DEPTHBIAS, Bits(0.0f));
    Set(D3DRS_SLOPESCALEDEPTHBIAS, Bits(0.0f));
    Draw("no depth bias");
    EXPECT_FALSE(On(GL_POLYGON_OFFSET_FILL));
    Set(D3DRS_POINTSIZE, Bits(5.0f));
    Draw("point size");
    EXPECT_EQ(Floats(GL_POINT_SIZE, 1)[0], 5.0f);
    // Dithering is accepted and kept: the back buffer has eight bits a channel.
    Set(D3DRS_DITHERENABLE, TRUE);
    Draw("dither");
    EXPECT_FALSE(On(GL_DITHER));
}

TEST_F(D3D9Translation, LightingAndMaterialSources)
{
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = light.Specular = D3DCOLORVALUE{1, 1, 1, 1};
    light.Direction = D3DVECTOR{0, 0, 1};
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    D3DMATERIAL9 material = {};
    material.Specular = D3DCOLORVALUE{0.5f, 0.25f, 1, 1};
    material.Power = 7.0f;
    device->SetMaterial(&material);
    Set(D3DRS_LIGHTING, FALSE);
    Draw("unlit");
    EXPECT_FALSE(On(GL_LIGHTING));
    Set(D3DRS_LIGHTING, TRUE);
    Set(D3DRS_AMBIENT, 0x80FF4020);
    Draw("ambient");
    EXPECT_TRUE(On(GL_LIGHTING));
    EXPECT_EQ(Floats(GL_LIGHT_MODEL_AMBIENT, 4), Colour(1.0f, 0x40 / 255.0f, 0x20 / 255.0f, 0x80 / 255.0f));
    for (const bool on : {false, true}) {
        Set(D3DRS_LOCALVIEWER, on);
        Set(D3DRS_NORMALIZENORMALS, on);
        Set(D3DRS_SPECULARENABLE, on);
        Draw("viewer, normals, specular");
        EXPECT_EQ(Int(GL_LIGHT_MODEL_LOCAL_VIEWER), on ? 1 : 0);
        EXPECT_EQ(On(GL_NORMALIZE), on);
        // Without the specular highlight the lights and the material have no specular colour,
        // and the material no shininess.
        GLfloat specular[4] = {};
        glGetMaterialfv(GL_FRONT, GL_SPECULAR, specular);
        EXPECT_EQ(std::vector<float>(specular, specular + 4), on ? Colour(0.5f, 0.25f, 1, 1) : Colour(0, 0, 0, 0));
        glGetLightfv(GL_LIGHT0, GL_SPECULAR, specular);
        EXPECT_EQ(std::vector<float>(specular, specular + 4), on ? Colour(1, 1, 1, 1) : Colour(0, 0, 0, 0));
        GLfloat shininess = 0;
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        EXPECT_EQ(shininess, on ? 7.0f : 0.0f);
    }
    // With COLORVERTEX the vertex colour stands for the material colours whose source is
    // D3DMCS_COLOR1.
    struct Sources {
        DWORD diffuse, ambient, emissive;
        GLenum tracked; // 0: none
    };
    const Sources cases[] = {{D3DMCS_COLOR1, D3DMCS_COLOR1, D3DMCS_MATERIAL, GL_AMBIENT_AND_DIFFUSE},
                             {D3DMCS_COLOR1, D3DMCS_MATERIAL, D3DMCS_MATERIAL, GL_DIFFUSE},
                             {D3DMCS_MATERIAL, D3DMCS_COLOR1, D3DMCS_MATERIAL, GL_AMBIENT},
                             {D3DMCS_MATERIAL, D3DMCS_MATERIAL, D3DMCS_COLOR1, GL_EMISSION},
                             {D3DMCS_COLOR2, D3DMCS_MATERIAL, D3DMCS_MATERIAL, 0}};
    for (const bool colorVertex : {true, false})
        for (const Sources& c : cases) {
            Set(D3DRS_COLORVERTEX, colorVertex);
            Set(D3DRS_DIFFUSEMATERIALSOURCE, c.diffuse);
            Set(D3DRS_AMBIENTMATERIALSOURCE, c.ambient);
            Set(D3DRS_EMISSIVEMATERIALSOURCE, c.emissive);
            Draw("material sources");
            const bool tracked = colorVertex && c.tracked;
            EXPECT_EQ(On(GL_COLOR_MATERIAL), tracked) << c.diffuse << c.ambient << c.emissive;
            if (tracked) {
                EXPECT_EQ(Int(GL_COLOR_MATERIAL_PARAMETER), static_cast<GLint>(c.tracked));
            }
        }
}

TEST_F(D3D9Translation, FogTextureFactorAndScissor)
{
    const std::pair<DWORD, GLenum> modes[] = {{D3DFOG_EXP, GL_EXP}, {D3DFOG_EXP2, GL_EXP2}, {D3DFOG_LINEAR, GL_LINEAR}};
    Set(D3DRS_FOGENABLE, TRUE);
    Set(D3DRS_FOGCOLOR, 0x11223344);
    Set(D3DRS_FOGSTART, Bits(2.5f));
    Set(D3DRS_FOGEND, Bits(9.0f));
    Set(D3DRS_FOGDENSITY, Bits(0.75f));
    for (const bool table : {true, false})
        for (const auto& [d3d, gl] : modes) {
            // The table mode, when set, is the one used; the vertex mode otherwise.
            Set(D3DRS_FOGTABLEMODE, table ? d3d : DWORD(D3DFOG_NONE));
            Set(D3DRS_FOGVERTEXMODE, table ? DWORD(D3DFOG_NONE) : d3d);
            Draw("fog");
            EXPECT_TRUE(On(GL_FOG));
            EXPECT_EQ(Int(GL_FOG_MODE), static_cast<GLint>(gl));
            EXPECT_EQ(Floats(GL_FOG_START, 1)[0], 2.5f);
            EXPECT_EQ(Floats(GL_FOG_END, 1)[0], 9.0f);
            EXPECT_EQ(Floats(GL_FOG_DENSITY, 1)[0], 0.75f);
            EXPECT_EQ(Floats(GL_FOG_COLOR, 4), Colour(0x22 / 255.0f, 0x33 / 255.0f, 0x44 / 255.0f, 0x11 / 255.0f));
        }
    Set(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    Set(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    Draw("no fog mode");
    EXPECT_FALSE(On(GL_FOG));
    Set(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    Set(D3DRS_FOGENABLE, FALSE);
    Draw("fog off");
    EXPECT_FALSE(On(GL_FOG));

    Set(D3DRS_TEXTUREFACTOR, 0x40806020);
    Draw("texture factor");
    GLfloat factor[4] = {};
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, factor);
    EXPECT_EQ(std::vector<float>(factor, factor + 4),
              Colour(0x80 / 255.0f, 0x60 / 255.0f, 0x20 / 255.0f, 0x40 / 255.0f));

    // The rectangle from the top-left corner, as OpenGL's from the bottom-left.
    const RECT scissor = {3, 5, 20, 12};
    ASSERT_EQ(device->SetScissorRect(&scissor), D3D_OK);
    Set(D3DRS_SCISSORTESTENABLE, TRUE);
    Draw("scissor");
    EXPECT_TRUE(On(GL_SCISSOR_TEST));
    GLint box[4] = {};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(std::vector<GLint>(box, box + 4), (std::vector<GLint>{3, 32 - 12, 17, 7}));
    Set(D3DRS_SCISSORTESTENABLE, FALSE);
    Draw("scissor off");
    EXPECT_FALSE(On(GL_SCISSOR_TEST));
}

TEST_F(D3D9Translation, TheFirstTextureStage)
{
    // Each operation as OpenGL's combiner: mode and scale.
    struct Operation {
        DWORD op;
        GLenum rgb;
        GLint scale;
    };
    const Operation operations[] = {
        {D3DTOP_SELECTARG1, GL_REPLACE, 1},     {D3DTOP_MODULATE, GL_MODULATE, 1},
        {D3DTOP_MODULATE2X, GL_MODULATE, 2},    {D3DTOP_MODULATE4X, GL_MODULATE, 4},
        {D3DTOP_ADD, GL_ADD, 1},                {D3DTOP_ADDSIGNED, GL_ADD_SIGNED, 1},
        {D3DTOP_ADDSIGNED2X, GL_ADD_SIGNED, 2}, {D3DTOP_SUBTRACT, GL_SUBTRACT, 1},
        {D3DTOP_BLENDDIFFUSEALPHA, GL_INTERPOLATE, 1}, {D3DTOP_BLENDTEXTUREALPHA, GL_INTERPOLATE, 1},
        {D3DTOP_BLENDFACTORALPHA, GL_INTERPOLATE, 1},  {D3DTOP_BLENDCURRENTALPHA, GL_INTERPOLATE, 1},
        {D3DTOP_DOTPRODUCT3, GL_DOT3_RGBA, 1},
        // Those without an OpenGL combiner modulate.
        {D3DTOP_PREMODULATE, GL_MODULATE, 1},   {D3DTOP_MODULATEALPHA_ADDCOLOR, GL_MODULATE, 1},
        {D3DTOP_MODULATECOLOR_ADDALPHA, GL_MODULATE, 1}, {D3DTOP_MODULATEINVALPHA_ADDCOLOR, GL_MODULATE, 1},
        {D3DTOP_MODULATEINVCOLOR_ADDALPHA, GL_MODULATE, 1}, {D3DTOP_BUMPENVMAP, GL_MODULATE, 1},
        {D3DTOP_BUMPENVMAPLUMINANCE, GL_MODULATE, 1}, {D3DTOP_MULTIPLYADD, GL_MODULATE, 1},
        {D3DTOP_LERP, GL_MODULATE, 1},          {D3DTOP_BLENDTEXTUREALPHAPM, GL_MODULATE, 1}};
    for (const Operation& o : operations) {
        Stage(D3DTSS_COLOROP, o.op);
        Stage(D3DTSS_ALPHAOP, o.op);
        Draw("operation");
        EXPECT_TRUE(On(GL_TEXTURE_2D));
        EXPECT_EQ(Env(GL_TEXTURE_ENV_MODE), GL_COMBINE);
        EXPECT_EQ(Env(GL_COMBINE_RGB), static_cast<GLint>(o.rgb)) << o.op;
        EXPECT_EQ(Env(GL_COMBINE_ALPHA), static_cast<GLint>(o.rgb == GL_DOT3_RGBA ? GL_MODULATE : o.rgb)) << o.op;
        EXPECT_EQ(Env(GL_RGB_SCALE), o.scale) << o.op;
        EXPECT_EQ(Env(GL_ALPHA_SCALE), o.scale) << o.op;
        if (o.rgb == GL_INTERPOLATE) {
            const GLenum third = o.op == D3DTOP_BLENDDIFFUSEALPHA   ? GL_PRIMARY_COLOR
                                 : o.op == D3DTOP_BLENDTEXTUREALPHA ? GL_TEXTURE
                                 : o.op == D3DTOP_BLENDFACTORALPHA  ? GL_CONSTANT
                                                                    : GL_PREVIOUS;
            EXPECT_EQ(Env(GL_SOURCE2_RGB), static_cast<GLint>(third)) << o.op;
            EXPECT_EQ(Env(GL_OPERAND2_RGB), GL_SRC_ALPHA) << o.op;
        }
    }
    // SELECTARG2 takes the second argument; a disabled alpha operation the vertex's alpha.
    Stage(D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    Stage(D3DTSS_COLORARG2, D3DTA_TFACTOR);
    Stage(D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    Draw("select the second");
    EXPECT_EQ(Env(GL_COMBINE_RGB), GL_REPLACE);
    EXPECT_EQ(Env(GL_SOURCE0_RGB), GL_CONSTANT);
    EXPECT_EQ(Env(GL_COMBINE_ALPHA), GL_REPLACE);
    EXPECT_EQ(Env(GL_SOURCE0_ALPHA), GL_PREVIOUS);
    // The arguments: their sources and, with the modifiers, their operands.
    struct Argument {
        DWORD arg;
        GLenum source, operand, alphaOperand;
    };
    const Argument arguments[] = {
        {D3DTA_TEXTURE, GL_TEXTURE, GL_SRC_COLOR, GL_SRC_ALPHA},
        {D3DTA_DIFFUSE, GL_PRIMARY_COLOR, GL_SRC_COLOR, GL_SRC_ALPHA},
        {D3DTA_CURRENT, GL_PREVIOUS, GL_SRC_COLOR, GL_SRC_ALPHA},
        {D3DTA_TFACTOR, GL_CONSTANT, GL_SRC_COLOR, GL_SRC_ALPHA},
        {D3DTA_TEXTURE | D3DTA_COMPLEMENT, GL_TEXTURE, GL_ONE_MINUS_SRC_COLOR, GL_ONE_MINUS_SRC_ALPHA},
        {D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, GL_PRIMARY_COLOR, GL_SRC_ALPHA, GL_SRC_ALPHA},
        {D3DTA_TFACTOR | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE, GL_CONSTANT, GL_ONE_MINUS_SRC_ALPHA,
         GL_ONE_MINUS_SRC_ALPHA},
    };
    Stage(D3DTSS_COLOROP, D3DTOP_MODULATE);
    Stage(D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    for (size_t i = 0; i < 7; ++i) {
        const Argument& a = arguments[i];
        const Argument& b = arguments[(i + 3) % 7];
        Stage(D3DTSS_COLORARG1, a.arg);
        Stage(D3DTSS_COLORARG2, b.arg);
        Stage(D3DTSS_ALPHAARG1, b.arg);
        Stage(D3DTSS_ALPHAARG2, a.arg);
        Draw("arguments");
        EXPECT_EQ(Env(GL_SOURCE0_RGB), static_cast<GLint>(a.source)) << i;
        EXPECT_EQ(Env(GL_OPERAND0_RGB), static_cast<GLint>(a.operand)) << i;
        EXPECT_EQ(Env(GL_SOURCE1_RGB), static_cast<GLint>(b.source)) << i;
        EXPECT_EQ(Env(GL_OPERAND1_RGB), static_cast<GLint>(b.operand)) << i;
        EXPECT_EQ(Env(GL_SOURCE0_ALPHA), static_cast<GLint>(b.source)) << i;
        EXPECT_EQ(Env(GL_OPERAND0_ALPHA), static_cast<GLint>(b.alphaOperand)) << i;
        EXPECT_EQ(Env(GL_SOURCE1_ALPHA), static_cast<GLint>(a.source)) << i;
        EXPECT_EQ(Env(GL_OPERAND1_ALPHA), static_cast<GLint>(a.alphaOperand)) << i;
    }
    // The coordinate set the stage reads.
    for (DWORD set : {1u, 0u}) {
        Stage(D3DTSS_TEXCOORDINDEX, set);
        Draw("coordinate set");
        void* pointer = nullptr;
        glGetPointerv(GL_TEXTURE_COORD_ARRAY_POINTER, &pointer);
        EXPECT_EQ(pointer, set ? static_cast<const void*>(&triangle[0].u1) : static_cast<const void*>(&triangle[0].u0));
    }
    // The texture transform of two coordinates, which Direct3D extends to (u, v, 1, 0) and
    // OpenGL to (u, v, 0, 1): the outputs s and t, and the divisor q (one, or a projected
    // transform's last output), as the coefficients of u, v and the constant.
    D3DMATRIX m;
    for (int i = 0; i < 16; ++i)
        (&m._11)[i] = static_cast<float>(i + 1);
    ASSERT_EQ(device->SetTransform(D3DTS_TEXTURE0, &m), D3D_OK);
    auto outputs = [] {
        const std::vector<float> g = Floats(GL_TEXTURE_MATRIX, 16); // column by column
        std::vector<float> rows;
        for (int row : {0, 1, 3})
            for (int column : {0, 1, 3})
                rows.push_back(g[static_cast<size_t>(column * 4 + row)]);
        return rows;
    };
    Stage(D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    Draw("texture transform");
    EXPECT_EQ(outputs(), (std::vector<float>{m._11, m._21, m._31, m._12, m._22, m._32, 0, 0, 1}));
    Stage(D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
    Draw("projected texture transform");
    EXPECT_EQ(outputs(), (std::vector<float>{m._11, m._21, m._31, m._12, m._22, m._32, m._13, m._23, m._33}));
    // Three coordinates, extended to (u, v, w, 1) both ways: the transform follows the vertex
    // format when nothing else changed.
    Stage(D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    Draw("texture transform of two coordinates");
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)),
              D3D_OK);
    Draw("texture transform of three coordinates");
    const std::vector<float> g = Floats(GL_TEXTURE_MATRIX, 16);
    EXPECT_EQ((std::vector<float>{g[0], g[4], g[8], g[12]}), (std::vector<float>{m._11, m._21, m._31, m._41}));
    EXPECT_EQ((std::vector<float>{g[1], g[5], g[9], g[13]}), (std::vector<float>{m._12, m._22, m._32, m._42}));
    ASSERT_EQ(device->SetFVF(kFvf), D3D_OK);
    Stage(D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    Draw("no texture transform");
    EXPECT_EQ(outputs(), (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    // A disabled first stage draws the vertex colour alone.
    Stage(D3DTSS_COLOROP, D3DTOP_DISABLE);
    Draw("stage disabled");
    EXPECT_FALSE(On(GL_TEXTURE_2D));
}

TEST_F(D3D9Translation, TheFirstSampler)
{
    const std::pair<DWORD, GLenum> addresses[] = {
        {D3DTADDRESS_WRAP, GL_REPEAT},
        {D3DTADDRESS_MIRROR, GL_MIRRORED_REPEAT},
        {D3DTADDRESS_CLAMP, GL_CLAMP_TO_EDGE},
        {D3DTADDRESS_BORDER, GL_CLAMP_TO_BORDER},
        {D3DTADDRESS_MIRRORONCE, qv::gl::g_api.mirrorClamp ? GL_MIRROR_CLAMP_TO_EDGE : GL_CLAMP_TO_EDGE}};
    for (size_t i = 0; i < 5; ++i) {
        Sampler(D3DSAMP_ADDRESSU, addresses[i].first);
        Sampler(D3DSAMP_ADDRESSV, addresses[4 - i].first);
        Draw("addressing");
        EXPECT_EQ(Parameter(GL_TEXTURE_WRAP_S), static_cast<GLint>(addresses[i].second));
        EXPECT_EQ(Parameter(GL_TEXTURE_WRAP_T), static_cast<GLint>(addresses[4 - i].second));
    }
    Sampler(D3DSAMP_BORDERCOLOR, 0x10204080);
    Draw("border");
    GLfloat border[4] = {};
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    EXPECT_EQ(std::vector<float>(border, border + 4),
              Colour(0x20 / 255.0f, 0x40 / 255.0f, 0x80 / 255.0f, 0x10 / 255.0f));
    // Minification with each mip filter, and magnification.
    struct Filters {
        DWORD min, mip;
        GLenum gl;
    };
    const Filters filters[] = {{D3DTEXF_NONE, D3DTEXF_NONE, GL_NEAREST},
                               {D3DTEXF_POINT, D3DTEXF_NONE, GL_NEAREST},
                               {D3DTEXF_LINEAR, D3DTEXF_NONE, GL_LINEAR},
                               {D3DTEXF_POINT, D3DTEXF_POINT, GL_NEAREST_MIPMAP_NEAREST},
                               {D3DTEXF_LINEAR, D3DTEXF_POINT, GL_LINEAR_MIPMAP_NEAREST},
                               {D3DTEXF_POINT, D3DTEXF_LINEAR, GL_NEAREST_MIPMAP_LINEAR},
                               {D3DTEXF_LINEAR, D3DTEXF_LINEAR, GL_LINEAR_MIPMAP_LINEAR}};
    for (const Filters& f : filters) {
        Sampler(D3DSAMP_MINFILTER, f.min);
        Sampler(D3DSAMP_MIPFILTER, f.mip);
        Sampler(D3DSAMP_MAGFILTER, f.min);
        Draw("filters");
        EXPECT_EQ(Parameter(GL_TEXTURE_MIN_FILTER), static_cast<GLint>(f.gl)) << f.min << " " << f.mip;
        EXPECT_EQ(Parameter(GL_TEXTURE_MAG_FILTER), static_cast<GLint>(f.min == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST));
    }
    Sampler(D3DSAMP_MIPMAPLODBIAS, Bits(-1.5f));
    Draw("bias");
    GLfloat bias = 0;
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_LOD_BIAS, &bias);
    EXPECT_EQ(bias, -1.5f);
    // The most detailed level drawn; no further than the last level.
    for (DWORD level : {2u, 0u, 7u}) {
        Sampler(D3DSAMP_MAXMIPLEVEL, level);
        Draw("most detailed level");
        EXPECT_EQ(Parameter(GL_TEXTURE_BASE_LEVEL), static_cast<GLint>(std::min(level, 2u)));
    }
    if (qv::gl::g_api.anisotropicFiltering) {
        Sampler(D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);
        Sampler(D3DSAMP_MAXANISOTROPY, 4);
        Draw("anisotropy");
        GLfloat anisotropy = 0;
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
        EXPECT_EQ(anisotropy, std::min(4.0f, qv::gl::g_api.maxAnisotropy));
        Sampler(D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        Draw("no anisotropy");
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
        EXPECT_EQ(anisotropy, 1.0f);
    }
}

} // namespace
