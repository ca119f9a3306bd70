// The effect language that our effects read, and its translation of vertex shaders to GLSL.
// Inside platform/d3dx9 only.
//
// The language, a subset of the effect files of D3DX:
// - comments // and /* */; no preprocessor, no annotations, no strings;
// - parameters: [uniform] type name [: SEMANTIC] [= number | { numbers } | floatN(numbers)];
//   of type float, float2, float3, float4 or float4x4;
// - structures of those types whose members carry a semantic;
// - functions: type name([in] type name [: SEMANTIC], ...) [: SEMANTIC] { statements }, where
//   a statement is a block, a declaration (type name [= expression], ...;), an assignment
//   (=, +=, -=, *=, /= to a local, a parameter of the function, a swizzle or a member of one),
//   if (condition) statement [else statement], or return expression;
// - expressions: numbers, names, swizzles (xyzw or rgba), members, + - * / on floats and
//   vectors, comparisons of scalars, && || !, ?:, the constructors float2/3/4(...), and the
//   functions mul, dot, normalize, cross, length, min, max and those defined earlier;
// - techniques with passes, each pass a list of assignments: VertexShader = compile vs_N_N
//   Function() or NULL, PixelShader = NULL, and render states by their effect names
//   (ZEnable, ZWriteEnable, ColorWriteEnable, CullMode, Stencil..., AlphaBlendEnable...).
// A vertex shader reads POSITION and NORMAL (float3 or float4) and writes POSITION, in
// Direct3D's clip space (row vectors: mul(v, M) with M as SetMatrix gives it).
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d9/D3D9.h"

namespace qv::d3dx9 {

struct EffectParameter {
    std::string name;
    std::string glslName;
    UINT components = 0; // 1 to 4, or 16 for a float4x4
    float value[16] = {};
};

struct EffectPass {
    std::string name;
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states; // in the order written
    std::string vertexShader; // GLSL 1.20; empty: the fixed-function vertex stage
};

struct EffectTechnique {
    std::string name;
    std::vector<EffectPass> passes;
};

struct CompiledEffect {
    std::vector<EffectParameter> parameters;
    std::vector<EffectTechnique> techniques;
};

// The vec4 uniform of every translated shader that takes Direct3D's clip space (depth 0..w) to
// OpenGL's (-w..w) and moves the picture as the device does for fixed-function drawing.
extern const char kClipAdjustUniform[];

// Compiles the text. False with `errors` holding "name(line): error: what" lines when the text
// is not in the language above.
bool CompileEffect(const char* text, size_t size, const std::string& name, CompiledEffect& out, std::string& errors);

} // namespace qv::d3dx9
