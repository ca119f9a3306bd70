#include "support/D3D9CallStream.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>

#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/d3d9/EffectBridge.h"
#include "support/D3D9Fixture.h"

namespace qvtest {

namespace {

std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// ---------------------------------------------------------------------------------------------
// What the calls choose from. Value 0 of each state is the one a stream starts with (the game's
// start, StartAsTheGameDoes), so that a state put back to value 0 is back where it started.

struct StateChoice {
    DWORD state;
    const char* name;
    std::vector<DWORD> values;
};

const std::vector<StateChoice>& RenderStates()
{
    static const std::vector<StateChoice> states = {
        {D3DRS_LIGHTING, "D3DRS_LIGHTING", {TRUE, FALSE}},
        {D3DRS_ZENABLE, "D3DRS_ZENABLE", {D3DZB_TRUE, D3DZB_FALSE}},
        {D3DRS_ZWRITEENABLE, "D3DRS_ZWRITEENABLE", {TRUE, FALSE}},
        {D3DRS_ZFUNC, "D3DRS_ZFUNC", {D3DCMP_LESSEQUAL, D3DCMP_LESS, D3DCMP_GREATER, D3DCMP_ALWAYS, D3DCMP_EQUAL}},
        {D3DRS_ALPHABLENDENABLE, "D3DRS_ALPHABLENDENABLE", {TRUE, FALSE}},
        {D3DRS_SRCBLEND, "D3DRS_SRCBLEND",
         {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLEND_DESTCOLOR, D3DBLEND_BOTHSRCALPHA,
          D3DBLEND_BLENDFACTOR}},
        {D3DRS_DESTBLEND, "D3DRS_DESTBLEND", {D3DBLEND_INVSRCALPHA, D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLEND_SRCCOLOR}},
        {D3DRS_BLENDOP, "D3DRS_BLENDOP",
         {D3DBLENDOP_ADD, D3DBLENDOP_SUBTRACT, D3DBLENDOP_REVSUBTRACT, D3DBLENDOP_MIN, D3DBLENDOP_MAX}},
        {D3DRS_SEPARATEALPHABLENDENABLE, "D3DRS_SEPARATEALPHABLENDENABLE", {FALSE, TRUE}},
        {D3DRS_SRCBLENDALPHA, "D3DRS_SRCBLENDALPHA", {D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLEND_SRCALPHA}},
        {D3DRS_DESTBLENDALPHA, "D3DRS_DESTBLENDALPHA", {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLEND_INVSRCALPHA}},
        {D3DRS_BLENDOPALPHA, "D3DRS_BLENDOPALPHA", {D3DBLENDOP_ADD, D3DBLENDOP_MAX}},
        {D3DRS_BLENDFACTOR, "D3DRS_BLENDFACTOR", {0xFFFFFFFF, 0x80402010}},
        {D3DRS_ALPHATESTENABLE, "D3DRS_ALPHATESTENABLE", {TRUE, FALSE}},
        {D3DRS_ALPHAREF, "D3DRS_ALPHAREF", {0, 0x80, 0xFF, 0x1C0}},
        {D3DRS_ALPHAFUNC, "D3DRS_ALPHAFUNC",
         {D3DCMP_GREATER, D3DCMP_ALWAYS, D3DCMP_LESS, D3DCMP_EQUAL, D3DCMP_NOTEQUAL}},
        {D3DRS_CULLMODE, "D3DRS_CULLMODE", {D3DCULL_CCW, D3DCULL_NONE, D3DCULL_CW}},
        {D3DRS_FILLMODE, "D3DRS_FILLMODE", {D3DFILL_SOLID, D3DFILL_WIREFRAME, D3DFILL_POINT}},
        {D3DRS_SHADEMODE, "D3DRS_SHADEMODE", {D3DSHADE_GOURAUD, D3DSHADE_FLAT}},
        {D3DRS_COLORWRITEENABLE, "D3DRS_COLORWRITEENABLE", {0xF, 0x5, 0x8, 0x0}},
        {D3DRS_DEPTHBIAS, "D3DRS_DEPTHBIAS", {Bits(0.0f), Bits(0.01f), Bits(-0.002f)}},
        {D3DRS_SLOPESCALEDEPTHBIAS, "D3DRS_SLOPESCALEDEPTHBIAS", {Bits(0.0f), Bits(1.5f)}},
        {D3DRS_POINTSIZE, "D3DRS_POINTSIZE", {Bits(1.0f), Bits(3.0f)}},
        {D3DRS_STENCILENABLE, "D3DRS_STENCILENABLE", {FALSE, TRUE}},
        {D3DRS_STENCILFUNC, "D3DRS_STENCILFUNC", {D3DCMP_ALWAYS, D3DCMP_EQUAL, D3DCMP_LESS, D3DCMP_NOTEQUAL}},
        {D3DRS_STENCILREF, "D3DRS_STENCILREF", {0, 1, 2, 0x1FF}},
        {D3DRS_STENCILPASS, "D3DRS_STENCILPASS",
         {D3DSTENCILOP_KEEP, D3DSTENCILOP_INCR, D3DSTENCILOP_REPLACE, D3DSTENCILOP_INVERT}},
        {D3DRS_STENCILFAIL, "D3DRS_STENCILFAIL", {D3DSTENCILOP_KEEP, D3DSTENCILOP_ZERO}},
        {D3DRS_STENCILZFAIL, "D3DRS_STENCILZFAIL",
         {D3DSTENCILOP_KEEP, D3DSTENCILOP_DECRSAT, D3DSTENCILOP_INCRSAT}},
        {D3DRS_STENCILMASK, "D3DRS_STENCILMASK", {0xFFFFFFFF, 0x1}},
        {D3DRS_STENCILWRITEMASK, "D3DRS_STENCILWRITEMASK", {0xFFFFFFFF, 0x2}},
        {D3DRS_TWOSIDEDSTENCILMODE, "D3DRS_TWOSIDEDSTENCILMODE", {FALSE, TRUE}},
        {D3DRS_CCW_STENCILFUNC, "D3DRS_CCW_STENCILFUNC", {D3DCMP_ALWAYS, D3DCMP_NOTEQUAL}},
        {D3DRS_CCW_STENCILPASS, "D3DRS_CCW_STENCILPASS", {D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR}},
        {D3DRS_CCW_STENCILFAIL, "D3DRS_CCW_STENCILFAIL", {D3DSTENCILOP_KEEP, D3DSTENCILOP_INVERT}},
        {D3DRS_CCW_STENCILZFAIL, "D3DRS_CCW_STENCILZFAIL", {D3DSTENCILOP_KEEP, D3DSTENCILOP_INCR}},
        {D3DRS_AMBIENT, "D3DRS_AMBIENT", {0x44444444, 0, 0xFF202080}},
        {D3DRS_COLORVERTEX, "D3DRS_COLORVERTEX", {TRUE, FALSE}},
        {D3DRS_LOCALVIEWER, "D3DRS_LOCALVIEWER", {TRUE, FALSE}},
        {D3DRS_NORMALIZENORMALS, "D3DRS_NORMALIZENORMALS", {FALSE, TRUE}},
        {D3DRS_DIFFUSEMATERIALSOURCE, "D3DRS_DIFFUSEMATERIALSOURCE", {D3DMCS_COLOR1, D3DMCS_MATERIAL, D3DMCS_COLOR2}},
        {D3DRS_AMBIENTMATERIALSOURCE, "D3DRS_AMBIENTMATERIALSOURCE", {D3DMCS_MATERIAL, D3DMCS_COLOR1}},
        {D3DRS_EMISSIVEMATERIALSOURCE, "D3DRS_EMISSIVEMATERIALSOURCE", {D3DMCS_MATERIAL, D3DMCS_COLOR1}},
        {D3DRS_SPECULARMATERIALSOURCE, "D3DRS_SPECULARMATERIALSOURCE", {D3DMCS_COLOR2, D3DMCS_MATERIAL}},
        {D3DRS_SPECULARENABLE, "D3DRS_SPECULARENABLE", {FALSE, TRUE}},
        {D3DRS_FOGENABLE, "D3DRS_FOGENABLE", {FALSE, TRUE}},
        {D3DRS_FOGCOLOR, "D3DRS_FOGCOLOR", {0, 0xFF00FF00, 0xFF808080}},
        {D3DRS_FOGTABLEMODE, "D3DRS_FOGTABLEMODE", {D3DFOG_NONE, D3DFOG_LINEAR, D3DFOG_EXP, D3DFOG_EXP2}},
        {D3DRS_FOGVERTEXMODE, "D3DRS_FOGVERTEXMODE", {D3DFOG_NONE, D3DFOG_LINEAR, D3DFOG_EXP}},
        {D3DRS_FOGSTART, "D3DRS_FOGSTART", {Bits(0.0f), Bits(2.0f), Bits(0.5f)}},
        {D3DRS_FOGEND, "D3DRS_FOGEND", {Bits(1.0f), Bits(6.0f), Bits(10.0f)}},
        {D3DRS_FOGDENSITY, "D3DRS_FOGDENSITY", {Bits(1.0f), Bits(0.3f)}},
        {D3DRS_RANGEFOGENABLE, "D3DRS_RANGEFOGENABLE", {FALSE, TRUE}},
        {D3DRS_TEXTUREFACTOR, "D3DRS_TEXTUREFACTOR", {0xFFFFFFFF, 0x80FF0000, 0x4000FF00}},
        {D3DRS_SCISSORTESTENABLE, "D3DRS_SCISSORTESTENABLE", {FALSE, TRUE}},
        {D3DRS_DITHERENABLE, "D3DRS_DITHERENABLE", {FALSE, TRUE}},
        {D3DRS_WRAP0, "D3DRS_WRAP0", {0, 3}},
        {D3DRS_CLIPPING, "D3DRS_CLIPPING", {TRUE, FALSE}},
        {D3DRS_LASTPIXEL, "D3DRS_LASTPIXEL", {TRUE, FALSE}},
        // Not render states of Direct3D 9: refused alike both ways.
        {10, "render state 10", {1}},
        {300, "render state 300", {1}},
    };
    return states;
}

const std::vector<StateChoice>& StageStates()
{
    static const std::vector<StateChoice> states = {
        {D3DTSS_COLOROP, "D3DTSS_COLOROP",
         {D3DTOP_MODULATE, D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_ADD, D3DTOP_DISABLE, D3DTOP_MODULATE2X,
          D3DTOP_SUBTRACT, D3DTOP_BLENDTEXTUREALPHA, D3DTOP_ADDSIGNED}},
        {D3DTSS_COLORARG1, "D3DTSS_COLORARG1",
         {D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTA_CURRENT, D3DTA_TEXTURE | D3DTA_COMPLEMENT}},
        {D3DTSS_COLORARG2, "D3DTSS_COLORARG2", {D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_TFACTOR}},
        {D3DTSS_ALPHAOP, "D3DTSS_ALPHAOP",
         {D3DTOP_MODULATE, D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_DISABLE, D3DTOP_ADD}},
        {D3DTSS_ALPHAARG1, "D3DTSS_ALPHAARG1", {D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR}},
        {D3DTSS_ALPHAARG2, "D3DTSS_ALPHAARG2", {D3DTA_CURRENT, D3DTA_DIFFUSE, D3DTA_TEXTURE}},
        {D3DTSS_TEXCOORDINDEX, "D3DTSS_TEXCOORDINDEX", {0, 1, 2}},
        {D3DTSS_TEXTURETRANSFORMFLAGS, "D3DTSS_TEXTURETRANSFORMFLAGS",
         {D3DTTFF_DISABLE, D3DTTFF_COUNT2, D3DTTFF_COUNT3, D3DTTFF_COUNT2 | D3DTTFF_PROJECTED,
          D3DTTFF_COUNT4 | D3DTTFF_PROJECTED}},
        {D3DTSS_RESULTARG, "D3DTSS_RESULTARG", {D3DTA_CURRENT, D3DTA_TEMP}},
        {12, "texture-stage state 12", {1}},
    };
    return states;
}

const std::vector<StateChoice>& SamplerStates()
{
    static const std::vector<StateChoice> states = {
        {D3DSAMP_ADDRESSU, "D3DSAMP_ADDRESSU",
         {D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP, D3DTADDRESS_MIRROR, D3DTADDRESS_BORDER, D3DTADDRESS_MIRRORONCE}},
        {D3DSAMP_ADDRESSV, "D3DSAMP_ADDRESSV", {D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP, D3DTADDRESS_MIRROR}},
        {D3DSAMP_BORDERCOLOR, "D3DSAMP_BORDERCOLOR", {0, 0xFFFF00FF}},
        {D3DSAMP_MAGFILTER, "D3DSAMP_MAGFILTER", {D3DTEXF_LINEAR, D3DTEXF_POINT}},
        {D3DSAMP_MINFILTER, "D3DSAMP_MINFILTER", {D3DTEXF_LINEAR, D3DTEXF_POINT, D3DTEXF_ANISOTROPIC}},
        {D3DSAMP_MIPFILTER, "D3DSAMP_MIPFILTER", {D3DTEXF_LINEAR, D3DTEXF_NONE, D3DTEXF_POINT}},
        {D3DSAMP_MIPMAPLODBIAS, "D3DSAMP_MIPMAPLODBIAS", {Bits(0.0f), Bits(1.0f), Bits(-0.5f)}},
        {D3DSAMP_MAXMIPLEVEL, "D3DSAMP_MAXMIPLEVEL", {0, 1, 3}},
        {D3DSAMP_MAXANISOTROPY, "D3DSAMP_MAXANISOTROPY", {1, 4}},
        {14, "sampler state 14", {1}},
    };
    return states;
}

struct TransformChoice {
    D3DTRANSFORMSTATETYPE state;
    const char* name;
    int kind; // 0 world, 1 view, 2 projection, 3 texture
};

const std::vector<TransformChoice>& Transforms()
{
    static const std::vector<TransformChoice> transforms = {
        {D3DTS_WORLD, "D3DTS_WORLD", 0},           {D3DTS_VIEW, "D3DTS_VIEW", 1},
        {D3DTS_PROJECTION, "D3DTS_PROJECTION", 2}, {D3DTS_TEXTURE0, "D3DTS_TEXTURE0", 3},
        {D3DTS_TEXTURE1, "D3DTS_TEXTURE1", 3},     {D3DTS_WORLD1, "D3DTS_WORLD1", 0},
        {static_cast<D3DTRANSFORMSTATETYPE>(4), "transform 4", 0},
    };
    return transforms;
}

// Vertex formats: those the game draws with and a few more.
struct VertexFormat {
    DWORD fvf; // 0 for the second stream's colour and coordinates of a declaration
    const char* name;
    bool transformed;
    bool position;
    bool normal;
    bool diffuse;
    bool specular;
    int texSets;
    int texSize; // floats of each set
    UINT Stride() const
    {
        return (position ? (transformed ? 16u : 12u) : 0u) + (normal ? 12u : 0u) + (diffuse ? 4u : 0u) +
               (specular ? 4u : 0u) + static_cast<UINT>(texSets * texSize * 4);
    }
};

const std::vector<VertexFormat>& Formats()
{
    static const std::vector<VertexFormat> formats = {
        {D3DFVF_XYZ | D3DFVF_DIFFUSE, "XYZ|DIFFUSE", false, true, false, true, false, 0, 2},
        {D3DFVF_XYZ | D3DFVF_NORMAL, "XYZ|NORMAL", false, true, true, false, false, 0, 2},
        {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, "XYZ|NORMAL|TEX1", false, true, true, false, false, 1, 2},
        {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, "XYZ|DIFFUSE|TEX1", false, true, false, true, false, 1, 2},
        {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1, "XYZ|NORMAL|DIFFUSE|TEX1", false, true, true,
         true, false, 1, 2},
        {D3DFVF_XYZRHW | D3DFVF_DIFFUSE, "XYZRHW|DIFFUSE", true, true, false, true, false, 0, 2},
        {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, "XYZRHW|DIFFUSE|TEX1", true, true, false, true, false, 1, 2},
        {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX2, "XYZ|DIFFUSE|TEX2", false, true, false, true, false, 2, 2},
        {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1,
         "XYZ|NORMAL|DIFFUSE|SPECULAR|TEX1", false, true, true, true, true, 1, 2},
        {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0), "XYZ|DIFFUSE|TEX1|TEXCOORDSIZE3(0)",
         false, true, false, true, false, 1, 3},
        {D3DFVF_XYZ, "XYZ", false, true, false, false, false, 0, 2},
        {0, "DIFFUSE|TEX1 without position", false, false, false, true, false, 1, 2},
    };
    return formats;
}
constexpr size_t kSecondStreamFormat = 11;
constexpr size_t kPositionOnlyFormat = 10;

// Vertex declarations: one as an FVF would give it, one over two streams, one of pre-transformed
// positions, one with its elements in an order no FVF has.
struct DeclarationChoice {
    const char* name;
    std::vector<D3DVERTEXELEMENT9> elements;
    size_t format;       // the vertex format of stream 0's data
    bool secondStream;   // colour and coordinates come from stream 1
};

const std::vector<DeclarationChoice>& Declarations()
{
    static const std::vector<DeclarationChoice> declarations = {
        {"POSITION NORMAL COLOR TEXCOORD",
         {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
          {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
          {0, 24, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
          {0, 28, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
          D3DDECL_END()},
         4, false},
        {"POSITION, then COLOR TEXCOORD in stream 1",
         {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
          {1, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
          {1, 4, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
          D3DDECL_END()},
         kPositionOnlyFormat, true},
        {"POSITIONT COLOR",
         {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
          {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
          D3DDECL_END()},
         5, false},
        {"POSITION TEXCOORD COLOR",
         {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
          {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
          {0, 20, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
          D3DDECL_END()},
         3, false},
    };
    return declarations;
}

// Vertex buffers: their format and whether they are dynamic.
struct BufferChoice {
    size_t format;
    bool dynamic;
};
const BufferChoice kVertexBuffers[] = {{4, false}, {kPositionOnlyFormat, false}, {kSecondStreamFormat, false},
                                       {5, false}, {3, true}};
constexpr size_t kVertexBufferCount = sizeof kVertexBuffers / sizeof kVertexBuffers[0];
constexpr UINT kBufferVertices = 48;
constexpr UINT kBufferIndices = 96;
constexpr size_t kIndexBufferCount = 3; // 16-bit, 32-bit, 16-bit with indices past the vertices
constexpr UINT kUserVertices = 48;
constexpr UINT kUserIndices = 72;

struct TextureChoice {
    UINT width, height, levels;
    D3DFORMAT format;
};
// Two of one shape, two of another with every level, one without alpha, one not square.
const TextureChoice kTextures[] = {{8, 8, 1, D3DFMT_A8R8G8B8},   {8, 8, 1, D3DFMT_A8R8G8B8},
                                   {16, 16, 5, D3DFMT_A8R8G8B8}, {16, 16, 5, D3DFMT_A8R8G8B8},
                                   {8, 8, 1, D3DFMT_X8R8G8B8},   {16, 8, 2, D3DFMT_A8R8G8B8}};
constexpr size_t kTextureCount = sizeof kTextures / sizeof kTextures[0];

const D3DPRIMITIVETYPE kPrimitiveTypes[] = {D3DPT_TRIANGLELIST, D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN,
                                            D3DPT_LINELIST,     D3DPT_POINTLIST,     D3DPT_LINESTRIP};
const char* const kPrimitiveNames[] = {"TRIANGLELIST", "TRIANGLESTRIP", "TRIANGLEFAN",
                                       "LINELIST",     "POINTLIST",     "LINESTRIP"};
constexpr size_t kPrimitiveTypeCount = 6;

const D3DVIEWPORT9 kViewports[] = {{0, 0, 80, 60, 0.0f, 1.0f},
                                   {10, 5, 40, 30, 0.0f, 1.0f},
                                   {0, 0, 80, 60, 0.2f, 0.8f},
                                   {40, 30, 40, 30, 0.0f, 0.5f},
                                   {0, 0, 100, 60, 0.0f, 1.0f}}; // larger than the back buffer
constexpr size_t kViewportCount = sizeof kViewports / sizeof kViewports[0];
const RECT kScissors[] = {{0, 0, 80, 60}, {5, 5, 50, 40}, {30, 20, 31, 50}, {50, 0, 20, 10}};
constexpr size_t kScissorCount = sizeof kScissors / sizeof kScissors[0];
const D3DCOLOR kClearColors[] = {0xFF000000, 0xFF203040, 0x80FF8000};

UINT VerticesOf(D3DPRIMITIVETYPE type, UINT count)
{
    switch (type) {
    case D3DPT_TRIANGLELIST:
        return 3 * count;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count + 2;
    case D3DPT_LINELIST:
        return 2 * count;
    case D3DPT_LINESTRIP:
        return count + 1;
    default:
        return count;
    }
}

// ---------------------------------------------------------------------------------------------
// The values a stream's seed gives: matrices, materials, lights, the vertices of drawn from
// memory and the contents of its resources.

struct Palette {
    std::vector<D3DXMATRIX> matrices[4]; // worlds, views, projections, texture matrices
    std::vector<D3DMATERIAL9> materials;
    std::vector<D3DLIGHT9> lights;
    std::vector<std::vector<uint8_t>> userVertices; // one set for each vertex format
    std::vector<uint16_t> userIndices16;
    std::vector<uint32_t> userIndices32;
};

class Random {
public:
    explicit Random(uint32_t seed) : m_engine(seed) {}
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(m_engine); }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(m_engine() % n); }
    uint32_t Bits32() { return static_cast<uint32_t>(m_engine()); }

private:
    std::mt19937 m_engine;
};

// Vertices of a format in clusters of six, so that each primitive is a small patch of the
// picture and later ones do not cover everything drawn before them.
void WriteVertices(const VertexFormat& format, uint32_t seed, UINT first, UINT count, uint8_t* out)
{
    Random random(seed);
    const UINT stride = format.Stride();
    float cx = 0, cy = 0, cz = 0;
    for (UINT i = 0; i < count; ++i) {
        uint8_t* v = out + static_cast<size_t>(i) * stride;
        if ((first + i) % 6 == 0 || i == 0) {
            cx = format.transformed ? random.Uniform(0.0f, 80.0f) : random.Uniform(-1.0f, 1.0f);
            cy = format.transformed ? random.Uniform(0.0f, 60.0f) : random.Uniform(-1.0f, 1.0f);
            cz = format.transformed ? random.Uniform(0.0f, 1.0f) : random.Uniform(-1.0f, 1.0f);
        }
        float* f = reinterpret_cast<float*>(v);
        size_t at = 0;
        if (format.position) {
            if (format.transformed) {
                const float r = 22.0f;
                const float p[4] = {cx + random.Uniform(-r, r), cy + random.Uniform(-r, r),
                                    std::min(1.0f, std::max(0.0f, cz + random.Uniform(-0.2f, 0.2f))),
                                    random.Uniform(0.3f, 3.0f)};
                std::memcpy(f, p, sizeof p);
                at += 16;
            } else {
                const float r = 0.6f;
                const float p[3] = {cx + random.Uniform(-r, r), cy + random.Uniform(-r, r),
                                    cz + random.Uniform(-r, r)};
                std::memcpy(f, p, sizeof p);
                at += 12;
            }
        }
        if (format.normal) {
            float n[3] = {random.Uniform(-1.0f, 1.0f), random.Uniform(-1.0f, 1.0f), random.Uniform(-1.0f, 0.3f)};
            const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) + 1e-3f;
            // Most normals of unit length, some longer, as a scaled model's are.
            const float scale = random.Below(4) == 0 ? 1.7f : 1.0f;
            for (float& c : n)
                c = c / length * scale;
            std::memcpy(v + at, n, sizeof n);
            at += 12;
        }
        auto color = [&] {
            static const uint32_t alphas[] = {0xFF, 0x80, 0x30};
            const uint32_t a = random.Below(4) == 3 ? random.Below(256) : alphas[random.Below(3)];
            return static_cast<DWORD>((a << 24) | (random.Bits32() & 0xFFFFFF));
        };
        if (format.diffuse) {
            const DWORD c = color();
            std::memcpy(v + at, &c, 4);
            at += 4;
        }
        if (format.specular) {
            const DWORD c = color();
            std::memcpy(v + at, &c, 4);
            at += 4;
        }
        for (int s = 0; s < format.texSets * format.texSize; ++s) {
            const float t = random.Uniform(-0.25f, 1.25f);
            std::memcpy(v + at, &t, 4);
            at += 4;
        }
    }
}

// Indices that mostly keep each primitive within one cluster of six vertices; `past` lets some
// point past the vertices there are.
template <class Index>
void WriteIndices(uint32_t seed, UINT count, UINT vertices, bool past, Index* out)
{
    Random random(seed);
    UINT cluster = 0;
    for (UINT i = 0; i < count; ++i) {
        if (i % 3 == 0)
            cluster = random.Below(vertices / 6);
        UINT index = cluster * 6 + random.Below(6);
        if (random.Below(10) == 0)
            index = random.Below(vertices);
        if (past && random.Below(8) == 0)
            index = vertices + random.Below(20);
        out[i] = static_cast<Index>(index);
    }
}

void WriteTexels(uint32_t seed, UINT width, UINT height, INT pitch, uint8_t* bits)
{
    Random random(seed);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            static const uint32_t alphas[] = {0xFF, 0xFF, 0x80, 0x10};
            const DWORD texel = (alphas[random.Below(4)] << 24) | (random.Bits32() & 0xFFFFFF);
            std::memcpy(bits + static_cast<size_t>(y) * pitch + x * 4, &texel, 4);
        }
}

D3DXMATRIX RandomRotation(Random& random)
{
    D3DXVECTOR3 axis(random.Uniform(-1, 1), random.Uniform(-1, 1), random.Uniform(-1, 1));
    if (D3DXVec3Length(&axis) < 0.1f)
        axis = D3DXVECTOR3(0, 1, 0);
    D3DXMATRIX m;
    D3DXMatrixRotationAxis(&m, &axis, random.Uniform(-3.1f, 3.1f));
    return m;
}

Palette MakePalette(uint32_t seed)
{
    Random random(seed ^ 0x5EED5EEDu);
    Palette p;
    D3DXMATRIX m, s, t;
    // Worlds: identity, a translation, turned and moved, scaled unevenly, scaled evenly,
    // mirrored, and turned in a plane.
    auto& worlds = p.matrices[0];
    worlds.push_back(*D3DXMatrixIdentity(&m));
    worlds.push_back(*D3DXMatrixTranslation(&m, random.Uniform(-0.5f, 0.5f), random.Uniform(-0.5f, 0.5f), 0.3f));
    for (int i = 0; i < 2; ++i) {
        D3DXMatrixTranslation(&t, random.Uniform(-0.8f, 0.8f), random.Uniform(-0.6f, 0.6f), random.Uniform(-1, 1));
        worlds.push_back(RandomRotation(random) * t);
    }
    D3DXMatrixScaling(&s, random.Uniform(0.4f, 1.3f), random.Uniform(0.4f, 1.3f), random.Uniform(0.4f, 1.3f));
    worlds.push_back(s * RandomRotation(random));
    D3DXMatrixScaling(&s, 0.7f, 0.7f, 0.7f);
    D3DXMatrixRotationY(&m, random.Uniform(-3.0f, 3.0f));
    worlds.push_back(s * m);
    D3DXMatrixScaling(&s, -1.0f, 1.0f, 1.0f);
    worlds.push_back(s * RandomRotation(random));
    D3DXMatrixRotationZ(&m, random.Uniform(-1.0f, 1.0f));
    worlds.push_back(m);
    // Views: from the front, from above at a slant, and looking straight down.
    auto& views = p.matrices[1];
    const D3DXVECTOR3 at(0, 0, 0), up(0, 1, 0), north(0, 0, 1);
    const D3DXVECTOR3 front(random.Uniform(-0.5f, 0.5f), 0, -4), slant(2, 3, -3), top(0, 5, 0);
    views.push_back(*D3DXMatrixLookAtLH(&m, &front, &at, &up));
    views.push_back(*D3DXMatrixLookAtLH(&m, &slant, &at, &up));
    views.push_back(*D3DXMatrixLookAtLH(&m, &top, &at, &north));
    auto& projections = p.matrices[2];
    projections.push_back(*D3DXMatrixPerspectiveFovLH(&m, 1.05f, 80.0f / 60.0f, 0.5f, 20.0f));
    projections.push_back(*D3DXMatrixPerspectiveFovLH(&m, 0.785398185f, 80.0f / 60.0f, 1.0f, 500.0f));
    projections.push_back(*D3DXMatrixOrthoLH(&m, 4.0f, 3.0f, -5.0f, 10.0f));
    auto& textures = p.matrices[3];
    textures.push_back(*D3DXMatrixIdentity(&m));
    D3DXMatrixScaling(&s, 2.0f, -1.5f, 1.0f);
    s._31 = 0.25f;
    s._32 = 0.5f;
    textures.push_back(s);
    D3DXMatrixRotationZ(&m, random.Uniform(-1.0f, 1.0f));
    m._34 = 0.5f;
    textures.push_back(m);

    auto colour = [&](float r, float g, float b, float a) { return D3DCOLORVALUE{r, g, b, a}; };
    D3DMATERIAL9 material = {};
    material.Diffuse = material.Ambient = colour(1, 1, 1, 1);
    p.materials.push_back(material);
    material = {};
    material.Diffuse = colour(1, 0, 0, 1);
    material.Ambient = colour(0.2f, 0, 0, 1);
    p.materials.push_back(material);
    material = {};
    material.Diffuse = colour(0, 1, 0, 1);
    material.Ambient = colour(0, 0.3f, 0, 1);
    p.materials.push_back(material);
    material = {};
    material.Diffuse = colour(0.1f, 0.2f, 1, 0.5f);
    material.Specular = colour(1, 1, 1, 1);
    material.Power = 8.0f;
    p.materials.push_back(material);
    material = {};
    material.Diffuse = colour(random.Uniform(0, 1), random.Uniform(0, 1), random.Uniform(0, 1), 1);
    material.Ambient = colour(0.3f, 0.3f, 0.3f, 1);
    material.Emissive = colour(0.2f, 0.1f, 0, 1);
    p.materials.push_back(material);

    auto direction = [&] {
        return D3DVECTOR{random.Uniform(-1, 1), random.Uniform(-1, 1), random.Uniform(0.2f, 1)};
    };
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = colour(1, 1, 1, 1);
    light.Direction = direction();
    p.lights.push_back(light);
    light.Diffuse = colour(0, 1, 0, 1);
    light.Ambient = colour(0.2f, 0.2f, 0.2f, 1);
    light.Direction = direction();
    p.lights.push_back(light);
    light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = colour(0, 0, 1, 1);
    light.Specular = colour(1, 1, 1, 1);
    light.Direction = direction();
    p.lights.push_back(light);
    light = {};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = colour(1, 0.8f, 0.6f, 1);
    light.Position = D3DVECTOR{random.Uniform(-1, 1), 0.5f, -2.0f};
    light.Range = 10.0f;
    light.Attenuation0 = 1.0f;
    light.Attenuation1 = 0.2f;
    p.lights.push_back(light);
    light = {};
    light.Type = D3DLIGHT_SPOT;
    light.Diffuse = colour(1, 1, 0, 1);
    light.Position = D3DVECTOR{0, 2, -3};
    light.Direction = D3DVECTOR{0, -0.5f, 1};
    light.Range = 20.0f;
    light.Theta = 0.3f;
    light.Phi = 0.9f;
    light.Falloff = 1.0f;
    light.Attenuation0 = 1.0f;
    p.lights.push_back(light);

    for (const VertexFormat& format : Formats()) {
        // Room past the last vertex for a format read with another's stride.
        std::vector<uint8_t> bytes(static_cast<size_t>(kUserVertices) * format.Stride() + 64, 0);
        WriteVertices(format, random.Bits32(), 0, kUserVertices, bytes.data());
        p.userVertices.push_back(std::move(bytes));
    }
    p.userIndices16.resize(kUserIndices);
    WriteIndices(random.Bits32(), kUserIndices, kUserVertices, false, p.userIndices16.data());
    p.userIndices32.resize(kUserIndices);
    WriteIndices(random.Bits32(), kUserIndices, kUserVertices, false, p.userIndices32.data());
    return p;
}

// ---------------------------------------------------------------------------------------------
// The generator

class RandomChoices : public ChoiceSource {
public:
    explicit RandomChoices(uint32_t seed) : m_random(seed) {}
    bool Choose(uint32_t n, uint32_t& out) override
    {
        out = m_random.Below(n);
        return true;
    }

private:
    Random m_random;
};

class ByteChoices : public ChoiceSource {
public:
    ByteChoices(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Choose(uint32_t n, uint32_t& out) override
    {
        if (m_at >= m_size)
            return false;
        uint32_t value = m_data[m_at++];
        if (n > 256 && m_at < m_size)
            value = value << 8 | m_data[m_at++];
        out = value % n;
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Writes calls as the game makes them: states set around a draw and often put back after it,
// the world matrix set before most draws, the vertex sources set before a draw that needs them.
class Generator {
public:
    Generator(ChoiceSource& choices, std::vector<StreamCall>& out) : m_choices(choices), m_out(out) {}

    // One step: a call, or a draw with what it needs; false when the choices ran out.
    bool Step()
    {
        static const struct {
            StreamOp op;
            uint32_t weight;
        } kWeights[] = {
            {StreamOp::kDrawUser, 16},   {StreamOp::kDraw, 7},          {StreamOp::kDrawIndexed, 7},
            {StreamOp::kDrawIndexedUser, 4}, {StreamOp::kRenderState, 22}, {StreamOp::kStageState, 5},
            {StreamOp::kSamplerState, 4}, {StreamOp::kTransform, 10},   {StreamOp::kMaterial, 5},
            {StreamOp::kLight, 3},       {StreamOp::kLightEnable, 3},   {StreamOp::kTexture, 7},
            {StreamOp::kFvf, 2},         {StreamOp::kDeclaration, 1},   {StreamOp::kStreamSource, 1},
            {StreamOp::kIndices, 1},     {StreamOp::kLockVertices, 2},  {StreamOp::kLockIndices, 1},
            {StreamOp::kLockTexture, 2}, {StreamOp::kLockTwice, 1},     {StreamOp::kSetLod, 1},
            {StreamOp::kClear, 1},       {StreamOp::kViewport, 1},      {StreamOp::kScissor, 1},
            {StreamOp::kReadBack, 1},    {StreamOp::kWriteBack, 1},     {StreamOp::kSceneBreak, 1},
            {StreamOp::kPresent, 1},     {StreamOp::kReset, 1},         {StreamOp::kVertexProgram, 1},
        };
        uint32_t total = 0;
        for (const auto& w : kWeights)
            total += w.weight;
        uint32_t pick;
        if (!Choose(total, pick))
            return false;
        StreamOp op = kWeights[0].op;
        for (const auto& w : kWeights) {
            if (pick < w.weight) {
                op = w.op;
                break;
            }
            pick -= w.weight;
        }
        switch (op) {
        case StreamOp::kDrawUser:
        case StreamOp::kDraw:
        case StreamOp::kDrawIndexed:
        case StreamOp::kDrawIndexedUser: {
            uint32_t burst;
            return Choose(3, burst) && Draw(op, burst == 0);
        }
        case StreamOp::kRenderState:
            return State(op, 0, static_cast<uint32_t>(RenderStates().size()));
        case StreamOp::kStageState:
            return State(op, Small({0, 0, 0, 0, 0, 0, 1, 8}), static_cast<uint32_t>(StageStates().size()));
        case StreamOp::kSamplerState:
            return State(op, Small({0, 0, 0, 0, 0, 0, 1, 16}), static_cast<uint32_t>(SamplerStates().size()));
        case StreamOp::kTransform: {
            uint32_t which, matrix;
            if (!Choose(static_cast<uint32_t>(Transforms().size()) + 6, which) || !Choose(8, matrix))
                return false;
            // Mostly the world matrix.
            return Emit({op, which < Transforms().size() ? which : 0, matrix, 0, 0}, true);
        }
        case StreamOp::kMaterial: {
            uint32_t material;
            return Choose(5, material) && Emit({op, 0, material, 0, 0}, true);
        }
        case StreamOp::kLight: {
            uint32_t index, light;
            return Choose(4, index) && Choose(5, light) && Emit({op, index, light, 0, 0}, false);
        }
        case StreamOp::kLightEnable: {
            uint32_t index, on;
            if (!Choose(5, index) || !Choose(3, on))
                return false;
            return Emit({op, index == 4 ? 9u : index, on != 0 ? 1u : 0u, 0, 0}, true);
        }
        case StreamOp::kTexture: {
            uint32_t texture;
            return Choose(kTextureCount + 1, texture) &&
                   Emit({op, Small({0, 0, 0, 0, 0, 0, 0, 1}), texture, 0, 0}, true);
        }
        case StreamOp::kFvf: {
            uint32_t format;
            if (!Choose(static_cast<uint32_t>(Formats().size()) + 2, format))
                return false;
            return Emit({op, 0, format, 0, 0}, false);
        }
        case StreamOp::kDeclaration: {
            uint32_t declaration;
            return Choose(static_cast<uint32_t>(Declarations().size()) + 1, declaration) &&
                   Emit({op, 0, declaration, 0, 0}, false);
        }
        case StreamOp::kStreamSource: {
            uint32_t stream, buffer, first, stride;
            if (!Choose(3, stream) || !Choose(kVertexBufferCount + 1, buffer) || !Choose(8, first) ||
                !Choose(6, stride))
                return false;
            return Emit({op, stream == 2 ? 4u : stream, buffer, first, stride < 4 ? 0 : stride - 3}, false);
        }
        case StreamOp::kIndices: {
            uint32_t buffer;
            return Choose(kIndexBufferCount + 1, buffer) && Emit({op, 0, buffer, 0, 0}, false);
        }
        case StreamOp::kLockVertices: {
            uint32_t buffer, first, count;
            if (!Choose(kVertexBufferCount, buffer) || !Choose(kBufferVertices + 4, first) || !Choose(12, count))
                return false;
            return Emit({op, buffer, first, count, Seed()}, false);
        }
        case StreamOp::kLockIndices: {
            uint32_t buffer, first, count;
            if (!Choose(kIndexBufferCount, buffer) || !Choose(kBufferIndices + 4, first) || !Choose(24, count))
                return false;
            return Emit({op, buffer, first, count, Seed()}, false);
        }
        case StreamOp::kLockTexture: {
            uint32_t texture, level, part;
            if (!Choose(kTextureCount, texture) || !Choose(6, level) || !Choose(2, part))
                return false;
            return Emit({op, texture, level, part, Seed()}, false);
        }
        case StreamOp::kLockTwice: {
            uint32_t what, which;
            return Choose(3, what) && Choose(kTextureCount, which) && Emit({op, what, which, 0, 0}, false);
        }
        case StreamOp::kSetLod: {
            uint32_t texture, lod;
            return Choose(kTextureCount, texture) && Choose(4, lod) && Emit({op, texture, lod, 0, 0}, false);
        }
        case StreamOp::kClear: {
            uint32_t flags, color, depth, rects;
            if (!Choose(8, flags) || !Choose(3, color) || !Choose(9, depth) || !Choose(6, rects))
                return false;
            return Emit({op, flags, color, depth, rects < 3 ? 0 : rects - 2}, false);
        }
        case StreamOp::kViewport: {
            uint32_t viewport;
            return Choose(kViewportCount, viewport) && Emit({op, 0, viewport, 0, 0}, true);
        }
        case StreamOp::kScissor: {
            uint32_t rect;
            return Choose(kScissorCount, rect) && Emit({op, 0, rect, 0, 0}, true);
        }
        case StreamOp::kWriteBack:
            return Emit({op, 0, 0, 0, Seed()}, false);
        case StreamOp::kVertexProgram: {
            uint32_t use;
            return Choose(3, use) && Emit({op, use, 0, 0, 0}, false);
        }
        default:
            return Emit({op, 0, 0, 0, 0}, false);
        }
    }

private:
    bool Choose(uint32_t n, uint32_t& out) { return m_choices.Choose(n, out); }
    uint32_t Small(std::initializer_list<uint32_t> values)
    {
        uint32_t i = 0;
        m_choices.Choose(static_cast<uint32_t>(values.size()), i);
        return values.begin()[i];
    }
    uint32_t Seed()
    {
        uint32_t seed = 0;
        m_choices.Choose(65536, seed);
        return seed;
    }

    // A state call; `restorable` ones are put back after the next draw now and then.
    bool Emit(const StreamCall& call, bool restorable)
    {
        m_out.push_back(call);
        const uint64_t key = Key(call);
        uint32_t restore = 0;
        if (restorable && m_choices.Choose(5, restore) && restore < 2) {
            const auto it = m_current.find(key);
            StreamCall back = call;
            const uint32_t previous = it != m_current.end() ? it->second : 0;
            if (call.op == StreamOp::kStageState || call.op == StreamOp::kSamplerState)
                back.c = previous;
            else
                back.b = previous;
            m_restores.push_back(back);
        }
        m_current[key] = call.op == StreamOp::kStageState || call.op == StreamOp::kSamplerState ? call.c : call.b;
        return true;
    }
    static uint64_t Key(const StreamCall& call)
    {
        const uint64_t sub = call.op == StreamOp::kStageState || call.op == StreamOp::kSamplerState ? call.b : 0;
        return static_cast<uint64_t>(call.op) << 48 | static_cast<uint64_t>(call.a) << 24 | sub;
    }
    bool State(StreamOp op, uint32_t unit, uint32_t states)
    {
        uint32_t state, value;
        if (!Choose(states, state) || !Choose(9, value))
            return false;
        const auto& table = op == StreamOp::kRenderState  ? RenderStates()
                            : op == StreamOp::kStageState ? StageStates()
                                                          : SamplerStates();
        value %= static_cast<uint32_t>(table[state].values.size());
        if (op == StreamOp::kRenderState)
            return Emit({op, state, value, 0, 0}, true);
        return Emit({op, unit, state, value, 0}, true);
    }

    // A draw, with the vertex sources it needs set first (mostly), then what waited for it. A
    // burst repeats it several times with what the game changes between such draws (the world,
    // the material, the texture, a light, lighting itself) and nothing else, as a model's
    // subsets or a cloud of puffs are drawn.
    bool Draw(StreamOp op, bool burst)
    {
        uint32_t type, count, world;
        if (!Choose(14, type) || !Choose(8, count) || !Choose(10, world))
            return false;
        // Mostly triangles, which can be gathered.
        type = type < 6 ? 0 : type < 9 ? 1 : type < 11 ? 2 : type - 8;
        const D3DPRIMITIVETYPE primitive = kPrimitiveTypes[type];
        count += 1;
        if (world < 6)
            Emit({StreamOp::kTransform, 0, world, 0, 0}, false);
        uint32_t sources;
        Choose(10, sources);
        const bool setSources = sources != 0;
        StreamCall draw{op, type, 0, 0, 0};
        if (op == StreamOp::kDrawUser || op == StreamOp::kDrawIndexedUser) {
            uint32_t set;
            if (!Choose(static_cast<uint32_t>(Formats().size()) - 1, set))
                return false;
            if (setSources)
                m_out.push_back({StreamOp::kFvf, 0, set, 0, 0});
            const UINT limit = op == StreamOp::kDrawUser ? kUserVertices : kUserIndices;
            while (count > 1 && VerticesOf(primitive, count) > limit)
                --count;
            uint32_t wide = 0;
            if (op == StreamOp::kDrawIndexedUser)
                Choose(2, wide);
            draw = {op, type, set, count, wide};
        } else {
            // Buffers 0, 1 (with 2 as its second stream), 3 and 4.
            uint32_t buffer;
            if (!Choose(4, buffer))
                return false;
            buffer = buffer < 2 ? buffer : buffer + 1;
            if (setSources) {
                if (buffer == 1) {
                    m_out.push_back({StreamOp::kDeclaration, 0, 1, 0, 0});
                    m_out.push_back({StreamOp::kStreamSource, 1, 2, 0, 0});
                } else if (buffer == 3 && (sources & 1)) {
                    m_out.push_back({StreamOp::kDeclaration, 0, 2, 0, 0});
                } else {
                    m_out.push_back({StreamOp::kFvf, 0, static_cast<uint32_t>(kVertexBuffers[buffer].format), 0, 0});
                }
                m_out.push_back({StreamOp::kStreamSource, 0, buffer, 0, 0});
            }
            if (op == StreamOp::kDraw) {
                uint32_t first;
                if (!Choose(kBufferVertices, first))
                    return false;
                draw = {op, type, first, count, 0};
            } else {
                uint32_t indices, base, first;
                if (!Choose(kIndexBufferCount + 3, indices) || !Choose(12, base) || !Choose(kBufferIndices, first))
                    return false;
                if (setSources)
                    m_out.push_back({StreamOp::kIndices, 0, indices < kIndexBufferCount ? indices : 0, 0, 0});
                draw = {op, type, base < 8 ? 4 : base - 4, first, count};
            }
        }
        uint32_t repeats = 0;
        if (burst && !Choose(6, repeats))
            return false;
        m_out.push_back(draw);
        for (uint32_t r = 0; r < repeats + (burst ? 1 : 0); ++r) {
            uint32_t change;
            if (!Choose(20, change))
                return false;
            if (change < 8)
                Emit({StreamOp::kTransform, 0, change, 0, 0}, false);
            else if (change < 11)
                Emit({StreamOp::kMaterial, 0, change - 8 + r, 0, 0}, false);
            else if (change < 13)
                Emit({StreamOp::kTexture, 0, change - 11 + r % 6, 0, 0}, false);
            else if (change < 14)
                Emit({StreamOp::kLight, r % 3, change + r, 0, 0}, false);
            else if (change < 15)
                Emit({StreamOp::kLightEnable, 1 + r % 2, r & 1, 0, 0}, false);
            else if (change < 17)
                Emit({StreamOp::kRenderState, 0, (change + r) & 1, 0, 0}, false); // lighting on or off
            // The next draw reads the vertices after these, or the same again.
            if (draw.op == StreamOp::kDraw || draw.op == StreamOp::kDrawIndexed) {
                const UINT limit = draw.op == StreamOp::kDraw ? kBufferVertices : kBufferIndices;
                (draw.op == StreamOp::kDraw ? draw.b : draw.c) = (change * 7) % limit;
            }
            m_out.push_back(draw);
        }
        m_out.insert(m_out.end(), m_restores.begin(), m_restores.end());
        for (const StreamCall& back : m_restores)
            m_current[Key(back)] = back.op == StreamOp::kStageState || back.op == StreamOp::kSamplerState ? back.c
                                                                                                           : back.b;
        m_restores.clear();
        return true;
    }

    ChoiceSource& m_choices;
    std::vector<StreamCall>& m_out;
    std::vector<StreamCall> m_restores;
    std::map<uint64_t, uint32_t> m_current;
};

} // namespace

CallStream GenerateStream(uint32_t seed, size_t calls)
{
    CallStream stream;
    stream.seed = seed;
    RandomChoices choices(seed);
    Generator generator(choices, stream.calls);
    while (stream.calls.size() < calls && generator.Step()) {
    }
    return stream;
}

CallStream StreamFromBytes(const uint8_t* data, size_t size)
{
    CallStream stream;
    if (size < 4)
        return stream;
    stream.seed = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                  static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    ByteChoices choices(data + 4, size - 4);
    Generator generator(choices, stream.calls);
    // Long inputs are cut short: a stream of a few hundred calls finds what a longer one does.
    while (stream.calls.size() < 400 && generator.Step()) {
    }
    return stream;
}

// ---------------------------------------------------------------------------------------------
// Running a stream

namespace {

struct Resources {
    std::vector<IDirect3DTexture9*> textures;
    std::vector<IDirect3DVertexBuffer9*> vertexBuffers;
    std::vector<IDirect3DIndexBuffer9*> indexBuffers;
    std::vector<IDirect3DVertexDeclaration9*> declarations;

    void Release()
    {
        for (auto* t : textures)
            if (t)
                t->Release();
        for (auto* b : vertexBuffers)
            if (b)
                b->Release();
        for (auto* b : indexBuffers)
            if (b)
                b->Release();
        for (auto* d : declarations)
            if (d)
                d->Release();
        *this = Resources();
    }
};

Resources MakeResources(IDirect3DDevice9* device, uint32_t seed)
{
    Random random(seed ^ 0xC0FFEEu);
    Resources r;
    for (const TextureChoice& choice : kTextures) {
        IDirect3DTexture9* texture = nullptr;
        device->CreateTexture(choice.width, choice.height, choice.levels, 0, choice.format, D3DPOOL_MANAGED,
                              &texture, nullptr);
        if (texture)
            for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
                D3DSURFACE_DESC desc;
                D3DLOCKED_RECT locked;
                texture->GetLevelDesc(level, &desc);
                if (SUCCEEDED(texture->LockRect(level, &locked, nullptr, 0))) {
                    WriteTexels(random.Bits32(), desc.Width, desc.Height, locked.Pitch,
                                static_cast<uint8_t*>(locked.pBits));
                    texture->UnlockRect(level);
                }
            }
        r.textures.push_back(texture);
    }
    for (const BufferChoice& choice : kVertexBuffers) {
        const VertexFormat& format = Formats()[choice.format];
        IDirect3DVertexBuffer9* buffer = nullptr;
        device->CreateVertexBuffer(kBufferVertices * format.Stride(), choice.dynamic ? D3DUSAGE_DYNAMIC : 0,
                                   format.fvf, choice.dynamic ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED, &buffer,
                                   nullptr);
        void* data = nullptr;
        if (buffer && SUCCEEDED(buffer->Lock(0, 0, &data, 0))) {
            WriteVertices(format, random.Bits32(), 0, kBufferVertices, static_cast<uint8_t*>(data));
            buffer->Unlock();
        }
        r.vertexBuffers.push_back(buffer);
    }
    for (size_t i = 0; i < kIndexBufferCount; ++i) {
        const bool wide = i == 1;
        IDirect3DIndexBuffer9* buffer = nullptr;
        device->CreateIndexBuffer(kBufferIndices * (wide ? 4 : 2), 0, wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                  D3DPOOL_MANAGED, &buffer, nullptr);
        void* data = nullptr;
        if (buffer && SUCCEEDED(buffer->Lock(0, 0, &data, 0))) {
            if (wide)
                WriteIndices(random.Bits32(), kBufferIndices, kBufferVertices, false, static_cast<uint32_t*>(data));
            else
                WriteIndices(random.Bits32(), kBufferIndices, kBufferVertices, i == 2, static_cast<uint16_t*>(data));
            buffer->Unlock();
        }
        r.indexBuffers.push_back(buffer);
    }
    for (const DeclarationChoice& choice : Declarations()) {
        IDirect3DVertexDeclaration9* declaration = nullptr;
        device->CreateVertexDeclaration(choice.elements.data(), &declaration);
        r.declarations.push_back(declaration);
    }
    return r;
}

// The back buffer's bytes as a lock gives them; empty when it cannot be read.
HRESULT ReadBack(IDirect3DDevice9* device, std::vector<uint8_t>& out)
{
    out.clear();
    IDirect3DSurface9* surface = nullptr;
    HRESULT hr = device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface);
    if (FAILED(hr))
        return hr;
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    surface->GetDesc(&desc);
    hr = surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) {
        out.resize(static_cast<size_t>(desc.Width) * desc.Height * 4);
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(&out[static_cast<size_t>(y) * desc.Width * 4],
                        static_cast<const uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch,
                        desc.Width * 4);
        surface->UnlockRect();
    }
    surface->Release();
    return hr;
}

class Executor {
public:
    Executor(IDirect3DDevice9* device, D3DPRESENT_PARAMETERS& params, const Palette& palette, Resources& resources,
             VertexProgram& program, StreamResult& result)
        : m_device(device), m_params(params), m_palette(palette), m_resources(resources), m_program(program),
          m_result(result)
    {
    }

    void Run(const StreamCall& call)
    {
        IDirect3DDevice9* d = m_device;
        const Palette& p = m_palette;
        Resources& r = m_resources;
        switch (call.op) {
        case StreamOp::kRenderState: {
            const StateChoice& s = RenderStates()[call.a % RenderStates().size()];
            Record(d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s.state), s.values[call.b % s.values.size()]));
            break;
        }
        case StreamOp::kStageState: {
            const StateChoice& s = StageStates()[call.b % StageStates().size()];
            Record(d->SetTextureStageState(call.a, static_cast<D3DTEXTURESTAGESTATETYPE>(s.state),
                                           s.values[call.c % s.values.size()]));
            break;
        }
        case StreamOp::kSamplerState: {
            const StateChoice& s = SamplerStates()[call.b % SamplerStates().size()];
            Record(d->SetSamplerState(call.a, static_cast<D3DSAMPLERSTATETYPE>(s.state),
                                      s.values[call.c % s.values.size()]));
            break;
        }
        case StreamOp::kTransform: {
            const TransformChoice& t = Transforms()[call.a % Transforms().size()];
            const auto& matrices = p.matrices[t.kind];
            Record(d->SetTransform(t.state, &matrices[call.b % matrices.size()]));
            break;
        }
        case StreamOp::kMaterial:
            Record(d->SetMaterial(&p.materials[call.b % p.materials.size()]));
            break;
        case StreamOp::kLight:
            Record(d->SetLight(call.a, &p.lights[call.b % p.lights.size()]));
            break;
        case StreamOp::kLightEnable:
            Record(d->LightEnable(call.a, call.b ? TRUE : FALSE));
            break;
        case StreamOp::kTexture:
            Record(d->SetTexture(call.a, call.b < r.textures.size() ? r.textures[call.b] : nullptr));
            break;
        case StreamOp::kFvf: {
            const size_t n = Formats().size();
            // The second stream's format has no position: an FVF of 0 there.
            const DWORD fvf = call.b < n ? Formats()[call.b].fvf : call.b == n ? 0 : D3DFVF_TEX8 + D3DFVF_TEX1;
            Record(d->SetFVF(fvf));
            break;
        }
        case StreamOp::kDeclaration:
            Record(d->SetVertexDeclaration(call.b < r.declarations.size() ? r.declarations[call.b] : nullptr));
            break;
        case StreamOp::kStreamSource: {
            IDirect3DVertexBuffer9* buffer = call.b < r.vertexBuffers.size() ? r.vertexBuffers[call.b] : nullptr;
            const UINT stride = call.b < kVertexBufferCount ? Formats()[kVertexBuffers[call.b].format].Stride() : 16;
            const UINT strides[] = {stride, stride + 4, 0};
            Record(d->SetStreamSource(call.a, buffer, (call.c % 8) * stride, strides[call.d % 3]));
            break;
        }
        case StreamOp::kIndices:
            Record(d->SetIndices(call.b < r.indexBuffers.size() ? r.indexBuffers[call.b] : nullptr));
            break;
        case StreamOp::kDraw:
            Record(d->DrawPrimitive(kPrimitiveTypes[call.a % kPrimitiveTypeCount], call.b, call.c));
            break;
        case StreamOp::kDrawIndexed:
            Record(d->DrawIndexedPrimitive(kPrimitiveTypes[call.a % kPrimitiveTypeCount],
                                           static_cast<INT>(call.b) - 4, 0, kBufferVertices, call.c, call.d));
            break;
        case StreamOp::kDrawUser: {
            const D3DPRIMITIVETYPE type = kPrimitiveTypes[call.a % kPrimitiveTypeCount];
            const size_t set = call.b % p.userVertices.size();
            // Never more vertices than the set has: memory the caller owns is not checked.
            if (VerticesOf(type, call.c) > kUserVertices)
                break;
            Record(d->DrawPrimitiveUP(type, call.c, p.userVertices[set].data(), Formats()[set].Stride()));
            break;
        }
        case StreamOp::kDrawIndexedUser: {
            const D3DPRIMITIVETYPE type = kPrimitiveTypes[call.a % kPrimitiveTypeCount];
            const size_t set = call.b % p.userVertices.size();
            if (VerticesOf(type, call.c) > kUserIndices)
                break;
            const void* indices = call.d ? static_cast<const void*>(p.userIndices32.data())
                                         : static_cast<const void*>(p.userIndices16.data());
            Record(d->DrawIndexedPrimitiveUP(type, 0, kUserVertices, call.c, indices,
                                             call.d ? D3DFMT_INDEX32 : D3DFMT_INDEX16, p.userVertices[set].data(),
                                             Formats()[set].Stride()));
            break;
        }
        case StreamOp::kLockVertices: {
            IDirect3DVertexBuffer9* buffer = r.vertexBuffers[call.a % kVertexBufferCount];
            const VertexFormat& format = Formats()[kVertexBuffers[call.a % kVertexBufferCount].format];
            if (!buffer)
                break;
            const UINT stride = format.Stride();
            void* data = nullptr;
            const HRESULT hr = buffer->Lock(call.b * stride, call.c * stride, &data, 0);
            Record(hr);
            if (SUCCEEDED(hr)) {
                const UINT count = call.c != 0 ? call.c : kBufferVertices - std::min(call.b, kBufferVertices);
                WriteVertices(format, call.d, call.b, count, static_cast<uint8_t*>(data));
                Record(buffer->Unlock());
            }
            break;
        }
        case StreamOp::kLockIndices: {
            const size_t which = call.a % kIndexBufferCount;
            IDirect3DIndexBuffer9* buffer = r.indexBuffers[which];
            if (!buffer)
                break;
            const UINT size = which == 1 ? 4 : 2;
            void* data = nullptr;
            const HRESULT hr = buffer->Lock(call.b * size, call.c * size, &data, 0);
            Record(hr);
            if (SUCCEEDED(hr)) {
                const UINT count = call.c != 0 ? call.c : kBufferIndices - std::min(call.b, kBufferIndices);
                if (which == 1)
                    WriteIndices(call.d, count, kBufferVertices, false, static_cast<uint32_t*>(data));
                else
                    WriteIndices(call.d, count, kBufferVertices, which == 2, static_cast<uint16_t*>(data));
                Record(buffer->Unlock());
            }
            break;
        }
        case StreamOp::kLockTexture: {
            IDirect3DTexture9* texture = r.textures[call.a % kTextureCount];
            if (!texture)
                break;
            const RECT part = {1, 1, 5, 4};
            D3DLOCKED_RECT locked;
            const HRESULT hr = texture->LockRect(call.b, &locked, call.c ? &part : nullptr, 0);
            Record(hr);
            if (SUCCEEDED(hr)) {
                D3DSURFACE_DESC desc;
                texture->GetLevelDesc(call.b, &desc);
                const UINT w = call.c ? 4 : desc.Width, h = call.c ? 3 : desc.Height;
                WriteTexels(call.d, w, h, locked.Pitch, static_cast<uint8_t*>(locked.pBits));
                Record(texture->UnlockRect(call.b));
            }
            break;
        }
        case StreamOp::kLockTwice: {
            void* data = nullptr;
            if (call.a == 0) {
                IDirect3DVertexBuffer9* buffer = r.vertexBuffers[call.b % kVertexBufferCount];
                if (!buffer)
                    break;
                Record(buffer->Lock(0, 16, &data, 0));
                Record(buffer->Lock(0, 16, &data, D3DLOCK_READONLY));
                Record(buffer->Unlock());
                Record(buffer->Unlock());
                Record(buffer->Unlock());
            } else if (call.a == 1) {
                IDirect3DIndexBuffer9* buffer = r.indexBuffers[call.b % kIndexBufferCount];
                if (!buffer)
                    break;
                Record(buffer->Lock(0, 8, &data, D3DLOCK_READONLY));
                Record(buffer->Lock(0, 8, &data, D3DLOCK_READONLY));
                Record(buffer->Unlock());
                Record(buffer->Unlock());
                Record(buffer->Unlock());
            } else {
                IDirect3DTexture9* texture = r.textures[call.b % kTextureCount];
                if (!texture)
                    break;
                D3DLOCKED_RECT locked;
                Record(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
                Record(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
                Record(texture->UnlockRect(0));
                Record(texture->UnlockRect(0));
            }
            break;
        }
        case StreamOp::kSetLod:
            if (IDirect3DTexture9* texture = r.textures[call.a % kTextureCount])
                Record(static_cast<HRESULT>(texture->SetLOD(call.b)));
            break;
        case StreamOp::kClear: {
            static const float depths[] = {1.0f, 0.5f, 0.0f};
            static const D3DRECT rects[] = {{5, 5, 40, 30}, {30, 20, 90, 70}};
            const DWORD flags = (call.a & 1 ? D3DCLEAR_TARGET : 0) | (call.a & 2 ? D3DCLEAR_ZBUFFER : 0) |
                                (call.a & 4 ? D3DCLEAR_STENCIL : 0);
            const DWORD count = call.d == 3 ? 1 : call.d;
            Record(d->Clear(count, call.d == 3 ? nullptr : rects, flags, kClearColors[call.b % 3],
                            depths[call.c % 3], call.c / 3));
            break;
        }
        case StreamOp::kViewport:
            Record(d->SetViewport(&kViewports[call.b % kViewportCount]));
            break;
        case StreamOp::kScissor:
            Record(d->SetScissorRect(&kScissors[call.b % kScissorCount]));
            break;
        case StreamOp::kReadBack: {
            std::vector<uint8_t> pixels;
            Record(ReadBack(d, pixels));
            m_result.readBacks.push_back(std::move(pixels));
            break;
        }
        case StreamOp::kWriteBack: {
            IDirect3DSurface9* surface = nullptr;
            if (FAILED(d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface)))
                break;
            D3DLOCKED_RECT locked;
            const RECT part = {20, 10, 30, 18};
            const HRESULT hr = surface->LockRect(&locked, &part, 0);
            Record(hr);
            if (SUCCEEDED(hr)) {
                WriteTexels(call.d, 10, 8, locked.Pitch, static_cast<uint8_t*>(locked.pBits));
                Record(surface->UnlockRect());
            }
            surface->Release();
            break;
        }
        case StreamOp::kSceneBreak:
            Record(d->EndScene());
            Record(d->BeginScene());
            break;
        case StreamOp::kPresent:
            Record(d->Present(nullptr, nullptr, nullptr, nullptr));
            break;
        case StreamOp::kVertexProgram: {
            if (call.a == 0) {
                qv::d3d9::UseVertexProgram(d, 0, -1);
                break;
            }
            VertexProgram& program = m_program;
            if (!program.name) {
                // The fixed-function transform, with the vertex colour tinted by a uniform.
                static const char kSource[] = "#version 120\n"
                                              "uniform vec4 tint;\n"
                                              "void main()\n"
                                              "{\n"
                                              "    gl_Position = ftransform();\n"
                                              "    gl_FrontColor = gl_Color * tint;\n"
                                              "    gl_TexCoord[0] = gl_MultiTexCoord0;\n"
                                              "}\n";
                std::string log;
                program.name = qv::d3d9::CreateVertexProgram(d, kSource, log);
                program.tint = qv::d3d9::VertexProgramUniform(d, program.name, "tint");
            }
            // Each run sets the tint it draws with.
            const float white[4] = {1, 1, 1, 1}, tint[4] = {0.5f, 1.0f, 0.25f, 1.0f};
            qv::d3d9::SetVertexProgramUniform(d, program.name, program.tint, 4, call.a == 2 ? tint : white);
            qv::d3d9::UseVertexProgram(d, program.name, -1);
            Record(program.name ? D3D_OK : E_FAIL);
            break;
        }
        case StreamOp::kReset:
            qv::test::LoseD3DDevice();
            qv::test::AllowD3DDeviceReset();
            Record(d->Reset(&m_params));
            Record(d->BeginScene());
            break;
        default:
            break;
        }
    }

private:
    void Record(HRESULT hr) { m_result.results.push_back(hr); }

    IDirect3DDevice9* m_device;
    D3DPRESENT_PARAMETERS& m_params;
    const Palette& m_palette;
    Resources& m_resources;
    VertexProgram& m_program;
    StreamResult& m_result;
};

} // namespace

namespace {

// The states the game's device owner sets at start, a camera and one light: streams start
// where the game's frames do.
void StartAsTheGameDoes(IDirect3DDevice9* d, const Palette& p)
{
    d->SetFVF(0);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    d->SetRenderState(D3DRS_ALPHAREF, 0);
    d->SetRenderState(D3DRS_AMBIENT, 0x44444444);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTransform(D3DTS_VIEW, &p.matrices[1][0]);
    d->SetTransform(D3DTS_PROJECTION, &p.matrices[2][0]);
    d->SetMaterial(&p.materials[0]);
    d->SetLight(0, &p.lights[0]);
    d->LightEnable(0, TRUE);
}

} // namespace

StreamRunner::StreamRunner()
{
    m_window = MakeDeviceWindow(static_cast<int>(kWidth), static_cast<int>(kHeight));
    m_d3d = m_window ? Direct3DCreate9(D3D_SDK_VERSION) : nullptr;
    if (!m_d3d)
        return;
    m_params = WindowedParameters(m_window, kWidth, kHeight);
    if (FAILED(m_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                   &m_params, &m_device)))
        m_device = nullptr;
}

StreamRunner::~StreamRunner()
{
    qv::test::SetD3D9Batching(true);
    if (m_program.name)
        qv::d3d9::DeleteVertexProgram(m_device, m_program.name);
    if (m_device)
        m_device->Release();
    if (m_d3d)
        m_d3d->Release();
    if (m_window)
        DestroyWindow(m_window);
}

StreamResult StreamRunner::Run(const CallStream& stream, const std::vector<size_t>* keep, bool batching)
{
    StreamResult result;
    if (!m_device)
        return result;
    qv::test::SetD3D9Batching(batching);
    // Every run starts from the device's defaults and from resources made afresh.
    m_device->Reset(&m_params);
    const Palette palette = MakePalette(stream.seed);
    Resources resources = MakeResources(m_device, stream.seed);
    StartAsTheGameDoes(m_device, palette);
    m_device->BeginScene();
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF102030, 1.0f, 0);
    qv::d3d9::UseVertexProgram(m_device, 0, -1);
    Executor executor(m_device, m_params, palette, resources, m_program, result);
    const uint64_t drawsBefore = qv::test::OpenGlDrawCount();
    if (keep) {
        for (size_t i : *keep)
            if (i < stream.calls.size())
                executor.Run(stream.calls[i]);
    } else {
        for (const StreamCall& call : stream.calls)
            executor.Run(call);
    }
    m_device->EndScene();
    result.openGlDraws = qv::test::OpenGlDrawCount() - drawsBefore;
    ReadBack(m_device, result.picture);
    resources.Release();
    qv::test::SetD3D9Batching(true);
    return result;
}

namespace {

std::string PictureDifference(const std::vector<uint8_t>& gathered, const std::vector<uint8_t>& alone)
{
    if (gathered.size() != alone.size())
        return Format("%zu bytes gathered, %zu drawn alone", gathered.size(), alone.size());
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < gathered.size(); i += 4)
        if (std::memcmp(&gathered[i], &alone[i], 4) != 0 && differing++ == 0)
            first = i;
    if (differing == 0)
        return {};
    const size_t pixel = first / 4;
    return Format("%zu pixels differ, the first at (%zu, %zu): B G R A %u %u %u %u gathered, %u %u %u %u drawn alone",
                  differing, pixel % StreamRunner::kWidth, pixel / StreamRunner::kWidth, gathered[first],
                  gathered[first + 1], gathered[first + 2], gathered[first + 3], alone[first], alone[first + 1],
                  alone[first + 2], alone[first + 3]);
}

} // namespace

std::string StreamRunner::Compare(const CallStream& stream, const std::vector<size_t>* keep, uint64_t* draws)
{
    const StreamResult gathered = Run(stream, keep, true);
    const StreamResult alone = Run(stream, keep, false);
    if (draws) {
        draws[0] = gathered.openGlDraws;
        draws[1] = alone.openGlDraws;
    }
    for (size_t i = 0; i < std::min(gathered.results.size(), alone.results.size()); ++i)
        if (gathered.results[i] != alone.results[i])
            return Format("result %zu is 0x%08X gathered, 0x%08X drawn alone", i,
                          static_cast<unsigned>(gathered.results[i]), static_cast<unsigned>(alone.results[i]));
    if (gathered.results.size() != alone.results.size())
        return Format("%zu results gathered, %zu drawn alone", gathered.results.size(), alone.results.size());
    for (size_t i = 0; i < gathered.readBacks.size() && i < alone.readBacks.size(); ++i) {
        const std::string difference = PictureDifference(gathered.readBacks[i], alone.readBacks[i]);
        if (!difference.empty())
            return Format("read-back %zu: ", i) + difference;
    }
    const std::string difference = PictureDifference(gathered.picture, alone.picture);
    return difference.empty() ? difference : "the final picture: " + difference;
}

std::vector<size_t> MinimiseFailing(std::vector<size_t> items,
                                    const std::function<bool(const std::vector<size_t>&)>& fails)
{
    size_t parts = 2;
    while (items.size() >= 2) {
        const size_t chunk = (items.size() + parts - 1) / parts;
        bool reduced = false;
        for (size_t start = 0; start < items.size(); start += chunk) {
            std::vector<size_t> rest(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(start));
            rest.insert(rest.end(), items.begin() + static_cast<std::ptrdiff_t>(std::min(items.size(), start + chunk)),
                        items.end());
            if (fails(rest)) {
                items = std::move(rest);
                parts = std::max<size_t>(parts - 1, 2);
                reduced = true;
                break;
            }
        }
        if (!reduced) {
            if (parts >= items.size())
                break;
            parts = std::min(items.size(), parts * 2);
        }
    }
    return items;
}

std::vector<size_t> StreamRunner::Shrink(const CallStream& stream)
{
    std::vector<size_t> all(stream.calls.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    return MinimiseFailing(all, [&](const std::vector<size_t>& keep) { return !Compare(stream, &keep).empty(); });
}

// ---------------------------------------------------------------------------------------------
// Describing a stream

namespace {

std::string MatrixText(const D3DMATRIX& m)
{
    std::string text = "{";
    for (int r = 0; r < 4; ++r)
        text += Format("%s%g %g %g %g", r ? "; " : "", m.m[r][0], m.m[r][1], m.m[r][2], m.m[r][3]);
    return text + "}";
}

std::string ColourText(const D3DCOLORVALUE& c)
{
    return Format("(%g %g %g %g)", c.r, c.g, c.b, c.a);
}

std::string StateText(const std::vector<StateChoice>& table, uint32_t state, uint32_t value)
{
    const StateChoice& s = table[state % table.size()];
    return Format("%s, 0x%X", s.name, s.values[value % s.values.size()]);
}

} // namespace

std::string DescribeStream(const CallStream& stream, const std::vector<size_t>& keep)
{
    const Palette p = MakePalette(stream.seed);
    std::string text = Format("seed %u, %zu calls:\n", stream.seed, keep.size());
    for (size_t i : keep) {
        if (i >= stream.calls.size())
            continue;
        const StreamCall& c = stream.calls[i];
        std::string line;
        switch (c.op) {
        case StreamOp::kRenderState:
            line = "SetRenderState(" + StateText(RenderStates(), c.a, c.b) + ")";
            break;
        case StreamOp::kStageState:
            line = Format("SetTextureStageState(%u, ", c.a) + StateText(StageStates(), c.b, c.c) + ")";
            break;
        case StreamOp::kSamplerState:
            line = Format("SetSamplerState(%u, ", c.a) + StateText(SamplerStates(), c.b, c.c) + ")";
            break;
        case StreamOp::kTransform: {
            const TransformChoice& t = Transforms()[c.a % Transforms().size()];
            const auto& matrices = p.matrices[t.kind];
            line = Format("SetTransform(%s, ", t.name) + MatrixText(matrices[c.b % matrices.size()]) + ")";
            break;
        }
        case StreamOp::kMaterial: {
            const D3DMATERIAL9& m = p.materials[c.b % p.materials.size()];
            line = "SetMaterial(diffuse " + ColourText(m.Diffuse) + " ambient " + ColourText(m.Ambient) +
                   " specular " + ColourText(m.Specular) + " emissive " + ColourText(m.Emissive) +
                   Format(" power %g)", m.Power);
            break;
        }
        case StreamOp::kLight: {
            const D3DLIGHT9& l = p.lights[c.b % p.lights.size()];
            line = Format("SetLight(%u, type %d diffuse ", c.a, static_cast<int>(l.Type)) + ColourText(l.Diffuse) +
                   " specular " + ColourText(l.Specular) + " ambient " + ColourText(l.Ambient) +
                   Format(" position (%g %g %g) direction (%g %g %g))", l.Position.x, l.Position.y, l.Position.z,
                          l.Direction.x, l.Direction.y, l.Direction.z);
            break;
        }
        case StreamOp::kLightEnable:
            line = Format("LightEnable(%u, %u)", c.a, c.b);
            break;
        case StreamOp::kTexture:
            line = c.b < kTextureCount ? Format("SetTexture(%u, texture %u: %ux%u, %u levels%s)", c.a, c.b,
                                                kTextures[c.b].width, kTextures[c.b].height, kTextures[c.b].levels,
                                                kTextures[c.b].format == D3DFMT_X8R8G8B8 ? ", no alpha" : "")
                                       : Format("SetTexture(%u, none)", c.a);
            break;
        case StreamOp::kFvf:
            line = c.b < Formats().size()    ? Format("SetFVF(%s)", Formats()[c.b].name)
                   : c.b == Formats().size() ? std::string("SetFVF(0)")
                                             : std::string("SetFVF(an FVF the device refuses)");
            break;
        case StreamOp::kDeclaration:
            line = c.b < Declarations().size() ? Format("SetVertexDeclaration(%s)", Declarations()[c.b].name)
                                               : std::string("SetVertexDeclaration(none)");
            break;
        case StreamOp::kStreamSource:
            line = c.b < kVertexBufferCount
                       ? Format("SetStreamSource(%u, vertex buffer %u of %s, from vertex %u, stride choice %u)", c.a,
                                c.b, Formats()[kVertexBuffers[c.b].format].name, c.c % 8, c.d % 3)
                       : Format("SetStreamSource(%u, none)", c.a);
            break;
        case StreamOp::kIndices:
            line = c.b < kIndexBufferCount ? Format("SetIndices(index buffer %u)", c.b) : "SetIndices(none)";
            break;
        case StreamOp::kDraw:
            line = Format("DrawPrimitive(%s, %u, %u)", kPrimitiveNames[c.a % kPrimitiveTypeCount], c.b, c.c);
            break;
        case StreamOp::kDrawIndexed:
            line = Format("DrawIndexedPrimitive(%s, base %d, 0, %u, first index %u, %u)",
                          kPrimitiveNames[c.a % kPrimitiveTypeCount], static_cast<int>(c.b) - 4, kBufferVertices, c.c,
                          c.d);
            break;
        case StreamOp::kDrawUser:
            line = Format("DrawPrimitiveUP(%s, %u, vertices of %s)", kPrimitiveNames[c.a % kPrimitiveTypeCount], c.c,
                          Formats()[c.b % Formats().size()].name);
            break;
        case StreamOp::kDrawIndexedUser:
            line = Format("DrawIndexedPrimitiveUP(%s, %u, %s indices, vertices of %s)",
                          kPrimitiveNames[c.a % kPrimitiveTypeCount], c.c, c.d ? "32-bit" : "16-bit",
                          Formats()[c.b % Formats().size()].name);
            break;
        case StreamOp::kLockVertices:
            line = Format("vertex buffer %u: Lock vertices %u + %u, write (content %u), Unlock", c.a, c.b, c.c, c.d);
            break;
        case StreamOp::kLockIndices:
            line = Format("index buffer %u: Lock indices %u + %u, write (content %u), Unlock", c.a, c.b, c.c, c.d);
            break;
        case StreamOp::kLockTexture:
            line = Format("texture %u: LockRect level %u %s, write (content %u), UnlockRect", c.a, c.b,
                          c.c ? "(1,1)-(5,4)" : "whole", c.d);
            break;
        case StreamOp::kLockTwice:
            line = Format("%s %u locked twice, unlocked until refused",
                          c.a == 0 ? "vertex buffer" : c.a == 1 ? "index buffer" : "texture", c.b);
            break;
        case StreamOp::kSetLod:
            line = Format("texture %u: SetLOD(%u)", c.a, c.b);
            break;
        case StreamOp::kClear:
            line = Format("Clear(%u rects%s, flags %u, colour 0x%08X, depth choice %u, stencil %u)",
                          c.d == 3 ? 1 : c.d, c.d == 3 ? " (none given)" : "", c.a, kClearColors[c.b % 3], c.c % 3,
                          c.c / 3);
            break;
        case StreamOp::kViewport: {
            const D3DVIEWPORT9& v = kViewports[c.b % kViewportCount];
            line = Format("SetViewport(%u %u %u %u, %g..%g)", v.X, v.Y, v.Width, v.Height, v.MinZ, v.MaxZ);
            break;
        }
        case StreamOp::kScissor: {
            const RECT& s = kScissors[c.b % kScissorCount];
            line = Format("SetScissorRect(%d %d %d %d)", s.left, s.top, s.right, s.bottom);
            break;
        }
        case StreamOp::kReadBack:
            line = "back buffer read through a lock";
            break;
        case StreamOp::kWriteBack:
            line = Format("back buffer (20,10)-(30,18) written through a lock (content %u)", c.d);
            break;
        case StreamOp::kSceneBreak:
            line = "EndScene, BeginScene";
            break;
        case StreamOp::kPresent:
            line = "Present";
            break;
        case StreamOp::kReset:
            line = "device lost, Reset, BeginScene";
            break;
        case StreamOp::kVertexProgram:
            line = c.a == 0 ? "no vertex program" : c.a == 1 ? "a vertex program" : "a vertex program, its tint set";
            break;
        default:
            line = "?";
            break;
        }
        text += Format("  %4zu: ", i) + line + "\n";
    }
    return text;
}

} // namespace qvtest
