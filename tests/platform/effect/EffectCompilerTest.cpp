// The effect language: what it accepts and how it translates, and that everything outside it
// fails with the line that is at fault.
#include <gtest/gtest.h>

#include <string>

#include "platform/d3dx9/EffectCompiler.h"
#include "support/TestSupport.h"

namespace {

using qv::d3dx9::CompiledEffect;
using qv::d3dx9::CompileEffect;

const char kShader[] = R"(float4x4 mWVP;
float4 vLightPos = {0, 10, 0, 1};
struct VS_OUTPUT { float4 Pos : POSITION; };
VS_OUTPUT VS(float4 Pos : POSITION, float3 Normal : NORMAL)
{
    VS_OUTPUT Out;
    float3 toLight = vLightPos.xyz - Pos.xyz;
    if (dot(Normal, toLight) < 0.0f) Pos.xyz -= normalize(toLight) * 100;
    Out.Pos = mul(Pos, mWVP);
    return Out;
}
technique T { pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = NULL;
    ColorWriteEnable = 0; ZWriteEnable = FALSE; CullMode = ccw; StencilPass = INCR;
    ColorWriteEnable = RED | ALPHA; } }
)";

std::string Compile(const std::string& text, CompiledEffect* out = nullptr)
{
    CompiledEffect effect;
    std::string errors;
    const bool ok = CompileEffect(text.data(), text.size(), "test.fx", effect, errors);
    EXPECT_EQ(ok, errors.empty());
    if (out)
        *out = effect;
    return errors;
}

TEST(EffectCompiler, ReadsParametersTechniquesPassesAndStates)
{
    CompiledEffect effect;
    ASSERT_EQ(Compile(kShader, &effect), "");
    ASSERT_EQ(effect.parameters.size(), 2u);
    EXPECT_EQ(effect.parameters[0].name, "mWVP");
    EXPECT_EQ(effect.parameters[0].components, 16u);
    EXPECT_EQ(effect.parameters[1].components, 4u);
    EXPECT_FLOAT_EQ(effect.parameters[1].value[1], 10.0f);
    EXPECT_FLOAT_EQ(effect.parameters[1].value[3], 1.0f);
    ASSERT_EQ(effect.techniques.size(), 1u);
    ASSERT_EQ(effect.techniques[0].passes.size(), 1u);
    const auto& pass = effect.techniques[0].passes[0];
    EXPECT_EQ(pass.name, "P0");
    const std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states = {
        {D3DRS_COLORWRITEENABLE, 0},
        {D3DRS_ZWRITEENABLE, FALSE},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_STENCILPASS, D3DSTENCILOP_INCR},
        {D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_ALPHA}};
    EXPECT_EQ(pass.states, states);
    EXPECT_NE(pass.vertexShader.find("#version 120"), std::string::npos);
}

TEST(EffectCompiler, TranslatesRowVectorsSplatsAndCuts)
{
    CompiledEffect effect;
    ASSERT_EQ(Compile(kShader, &effect), "");
    const std::string& glsl = effect.techniques[0].passes[0].vertexShader;
    // mul(v, M): OpenGL holds M's transpose, so the vector is multiplied from the right.
    EXPECT_NE(glsl.find("(u_mWVP * l_Pos)"), std::string::npos) << glsl;
    // A float3 vector from a float4 is cut, the int literal becomes a float.
    EXPECT_NE(glsl.find("(u_vLightPos.xyz - l_Pos.xyz)"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find("100.0"), std::string::npos) << glsl;
    // The inputs come from the fixed-function arrays; depth 0..w becomes OpenGL's -w..w.
    EXPECT_NE(glsl.find("f_VS(gl_Vertex, gl_Normal).m_Pos"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find("p.z * 2.0 - p.w"), std::string::npos) << glsl;

    ASSERT_EQ(Compile("float4x4 M; float4 F(float3 p : POSITION) : POSITION { float4 v = 1; v.xyz = p;"
                      " return mul(M, v) + v.x; }"
                      " technique T { pass { VertexShader = compile vs_1_1 F(); } }",
                      &effect),
              "");
    const std::string& g = effect.techniques[0].passes[0].vertexShader;
    EXPECT_NE(g.find("vec4 l_v = vec4(1.0)"), std::string::npos) << g;
    EXPECT_NE(g.find("(l_v * u_M)"), std::string::npos) << g; // mul(M, v): column vector
    EXPECT_NE(g.find("f_F(gl_Vertex.xyz)"), std::string::npos) << g;
}

TEST(EffectCompiler, TheGamesShadowEffectIsInTheLanguage)
{
    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(qvtest::RunDir() + "/data/shader/shadowvolume.fx");
    ASSERT_FALSE(bytes.empty());
    CompiledEffect effect;
    std::string errors;
    ASSERT_TRUE(CompileEffect(reinterpret_cast<const char*>(bytes.data()), bytes.size(), "shadowvolume.fx", effect,
                              errors))
        << errors;
    ASSERT_EQ(effect.techniques.size(), 1u);
    EXPECT_EQ(effect.techniques[0].name, "TShader");
    ASSERT_FALSE(effect.techniques[0].passes.empty());
    EXPECT_FALSE(effect.techniques[0].passes[0].vertexShader.empty());
    bool wvp = false, light = false;
    for (const auto& p : effect.parameters) {
        wvp = wvp || (p.name == "mWVP" && p.components == 16);
        light = light || (p.name == "vLightPos" && p.components == 4);
    }
    EXPECT_TRUE(wvp);
    EXPECT_TRUE(light);
    // Colour and depth writes stay off; the stencil is left to the drawing code.
    for (const auto& state : effect.techniques[0].passes[0].states) {
        if (state.first == D3DRS_COLORWRITEENABLE) {
            EXPECT_EQ(state.second, 0u);
        }
        if (state.first == D3DRS_ZWRITEENABLE) {
            EXPECT_EQ(state.second, static_cast<DWORD>(FALSE));
        }
        EXPECT_TRUE(state.first < D3DRS_STENCILENABLE || state.first > D3DRS_STENCILWRITEMASK);
        EXPECT_TRUE(state.first < D3DRS_TWOSIDEDSTENCILMODE || state.first > D3DRS_CCW_STENCILFUNC);
    }
}

struct Refused {
    const char* text;
    int line;
    const char* says;
};

TEST(EffectCompiler, RefusesWhatIsOutsideTheLanguageNamingTheLine)
{
    const Refused cases[] = {
        {"", 1, "empty"},
        {"// only a comment\n", 2, "no technique"},
        {"#include \"x.fx\"\n", 1, "preprocessor"},
        {"float4x4 M;\n/* open", 2, "unterminated comment"},
        {"int i;\n", 1, "'int' is not supported"},
        {"float4x4 M;\ntexture T;\n", 2, "'texture' is not supported"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n for (;;) {}\n return p; }", 3, "'for' is not supported"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n return tex2D(p); }", 3, "'tex2D' is not supported"},
        {"float4 VS(float3 p : POSITION) : POSITION\n{\n return p.xyzw; }", 3, "reads past the end"},
        {"float4x4 M;\nfloat4 VS(float4 p : POSITION) : POSITION\n{\n return p * M; }", 4, "use mul"},
        {"float4 C;\nfloat4 VS(float4 p : POSITION) : POSITION\n{\n C = p; return p; }", 4, "cannot be assigned"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n float4 q = p; q.xx = p.xy; return q; }", 3,
         "cannot be assigned"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n if (p > 0) return p; return p; }", 3, "compares only scalars"},
        {"float4 VS(float4 p : POSITION, float2 t : TEXCOORD0) : POSITION\n{\n return p; }", 1, "float3 or float4"},
        {"float4 VS(float4 p : POSITION, float4 t : TEXCOORD0) : POSITION\n{\n return p; }", 1,
         "TEXCOORD0' of 'VS' is not supported"},
        {"struct O { float4 P : POSITION; float4 C : COLOR0; };\nO VS(float4 p : POSITION)\n{ O o; o.P = p; o.C = p;"
         " return o; }",
         2, "must be a float4 with the POSITION"},
        {"float4 VS(float4 p : POSITION)\n{\n return p; }", 1, "POSITION semantic"},
        {"float4 VS(out float4 p : POSITION) : POSITION\n{\n return p; }", 1, "'out' parameters"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n return VS(p); }", 3, "recursion"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n float4 p = 0; return p; }", 3, "already defined"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n float4 a__b = p; return p; }", 3, "holds '__'"},
        {"float4 _M;\n", 1, "starts with '_'"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n return float3(p.x, p.y); }", 3, "needs 3 components"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n return p + 1e99; }", 3, "out of range"},
        {"float4 VS(float4 p : POSITION) : POSITION\n{\n return p; }\ntechnique T < int a = 1; > { pass {} }", 4,
         "annotations"},
    };
    // Entry functions are checked where a pass compiles them.
    const std::string technique = "\ntechnique T { pass { VertexShader = compile vs_2_0 VS(); } }\n";
    for (const Refused& c : cases) {
        const std::string text = c.text;
        const std::string errors = Compile(text.find("VS(") != std::string::npos ? text + technique : text);
        const std::string line = "test.fx(" + std::to_string(c.line) + "): error: ";
        EXPECT_EQ(errors.rfind(line, 0), 0u) << c.text << "\n -> " << errors;
        EXPECT_NE(errors.find(c.says), std::string::npos) << c.text << "\n -> " << errors;
    }
    const Refused passes[] = {
        {"technique T { pass { PixelShader = compile ps_2_0 VS(); } }", 2, "pixel shaders"},
        {"technique T { pass { Texture[0] = NULL; } }", 2, "indexed states"},
        {"technique T { pass { FogColor = 0; } }", 2, "'FogColor' is not supported"},
        {"technique T { pass { CullMode = SIDEWAYS; } }", 2, "not a value of 'CullMode'"},
        {"technique T { pass { VertexShader = compile vs_4_0 VS(); } }", 2, "profile"},
        {"technique T { pass { VertexShader = compile vs_2_0 Nothing(); } }", 2, "not defined"},
        {"technique T { pass { ZEnable = TRUE } }", 2, "expected ';'"},
        {"technique T { }", 2, "has no pass"},
    };
    for (const Refused& c : passes) {
        const std::string errors = Compile("float4 VS(float4 p : POSITION) : POSITION { return p; }\n" +
                                           std::string(c.text));
        const std::string line = "test.fx(" + std::to_string(c.line) + "): error: ";
        EXPECT_EQ(errors.rfind(line, 0), 0u) << c.text << "\n -> " << errors;
        EXPECT_NE(errors.find(c.says), std::string::npos) << c.text << "\n -> " << errors;
    }
}

TEST(EffectCompiler, DeepNestingFailsInsteadOfOverflowing)
{
    std::string deep = "float4 VS(float4 p : POSITION) : POSITION { return " + std::string(5000, '(') + "p" +
                       std::string(5000, ')') + "; }";
    EXPECT_NE(Compile(deep).find("nested too deeply"), std::string::npos);
    std::string blocks = "float4 VS(float4 p : POSITION) : POSITION " + std::string(5000, '{') + " return p; " +
                         std::string(5000, '}');
    EXPECT_NE(Compile(blocks).find("nested too deeply"), std::string::npos);
}

} // namespace
