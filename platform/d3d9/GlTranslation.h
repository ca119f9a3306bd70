// Direct3D values as OpenGL's, for the parts of the layer that translate state outside the
// device's own ApplyState (the texture arrays of gathered draws, the benchmark's capture).
// Inside platform/d3d9 only.
#pragma once

#include "platform/d3d9/DeviceState.h"

namespace qv::d3d9 {

// Direct3D's comparisons, blend factors (both resolved from the source one where Direct3D
// says so) and blend operations as OpenGL's.
GLenum CompareFunction(DWORD cmp);
GLenum BlendFactor(DWORD blend, GLenum fallback);
GLenum BlendEquation(DWORD op);
void BlendPair(DWORD src, DWORD dst, GLenum& glSrc, GLenum& glDst);

// A D3DCOLOR (0xAARRGGBB) or a D3DCOLORVALUE as OpenGL's R, G, B, A.
void ColorOf(D3DCOLOR c, GLfloat out[4]);
void ColorOf(const D3DCOLORVALUE& c, GLfloat out[4]);

// Sampler state `ss` on the texture bound at `target`, sending what differs from what the
// texture object last got (`applied`, all of it before `appliedOnce`); `levels` and `lod` are
// the texture's.
void ApplySampler(GLenum target, const SamplerStates& ss, SamplerStates& applied, bool& appliedOnce, DWORD levels,
                  DWORD lod);

} // namespace qv::d3d9
