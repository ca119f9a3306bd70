// What the D3DX effects need of the device: GLSL vertex programs made in the device's OpenGL
// context, their uniforms, and the program that the device's draws run in place of the
// fixed-function vertex stage. Inside platform/ only.
#pragma once

#include <string>

#include "platform/d3d9/D3D9.h"

namespace qv::d3d9 {

// Compiles and links a GLSL 1.20 vertex shader. 0 with the compiler's log when it fails or when
// the device's context cannot be used now.
unsigned CreateVertexProgram(IDirect3DDevice9* device, const std::string& source, std::string& log);
void DeleteVertexProgram(IDirect3DDevice9* device, unsigned program);
// -1 when the program has no such uniform (the compiler drops unused ones).
int VertexProgramUniform(IDirect3DDevice9* device, unsigned program, const char* name);
// `components`: 1 to 4 floats, or 16 for a matrix given row by row as Direct3D stores it.
void SetVertexProgramUniform(IDirect3DDevice9* device, unsigned program, int location, unsigned components,
                             const float* values);
// The program that the next draws run (0: the fixed-function stage again). `clipAdjust` is the
// location of its vec4 uniform that takes Direct3D's clip space to OpenGL's as the device does
// for fixed-function drawing: x and y receive the half-pixel offsets of the viewport.
void UseVertexProgram(IDirect3DDevice9* device, unsigned program, int clipAdjust);

} // namespace qv::d3d9
