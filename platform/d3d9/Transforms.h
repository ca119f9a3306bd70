// The matrices with which the device has OpenGL draw Direct3D's transforms, and the products it
// forms itself where gathered draws of different world matrices are taken to clip space: those
// are formed exactly as OpenGL (Mesa) forms them, so that a gathered vertex lands where it would
// have landed drawn on its own, to the last bit. Inside platform/d3d9 only.
#pragma once

#include "platform/d3d9/D3D9.h"

namespace qv::d3d9 {

// An edge through a row of pixel centres belongs, in Direct3D, to the triangle below it (the
// top-left rule); OpenGL's rasteriser, seeing the picture upside down, would give it to the one
// above. Moving everything up by this fraction of a pixel settles such ties as Direct3D does;
// columns already agree.
constexpr float kTieBias = 1.0f / 64.0f;

D3DMATRIX IdentityMatrix();
// a x b, each element summed from the first term to the last.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);

// Direct3D clip coordinates to OpenGL's for a viewport: depth 0..w becomes -w..w, and the
// picture moves half a pixel so that pixel centres fall on whole viewport coordinates.
D3DMATRIX ClipAdjustment(const D3DVIEWPORT9& viewport);
// OpenGL's projection and modelview for Direct3D's projection, view and world. Direct3D's
// camera looks along +z, OpenGL's eye along -z: OpenGL's eye space is taken with z mirrored
// (undone in the projection), so that its distant viewer (0, 0, 1) is Direct3D's, the eye
// looking at the surface. Lighting sees only dot products and lengths, which the mirror keeps.
// Row vectors: a Direct3D matrix read column by column by OpenGL is the same transform.
D3DMATRIX GlProjection(const D3DMATRIX& projection, const D3DVIEWPORT9& viewport);
D3DMATRIX GlModelView(const D3DMATRIX& world, const D3DMATRIX& view);
// Pre-transformed vertices: back-buffer pixels (x right, y down, centres on whole numbers) and
// depth 0..1 to OpenGL's clip space; positions come as (x, y, z, 1) / rhw.
D3DMATRIX PixelProjection(UINT width, UINT height);

// The largest normal component, and element of the matrix below, of a lit draw taken to clip
// space: their products, summed and squared, stay far from overflowing.
constexpr float kLargestOrdinary = 1e6f;

// The matrix that carries normals to eye space as OpenGL does for `modelView`: the inverse of
// its upper 3x3, formed as Mesa forms it for an affine matrix that neither keeps angles nor is
// diagonal (which, with the mirrored eye space, is every proper world and view). False for any
// other matrix, whose inverse OpenGL forms another way, or whose inverse has an element beyond
// kLargestOrdinary: such draws are not taken to clip space when lit. A normal n becomes
// n'[j] = n[0] m[0][j] + (n[1] m[1][j] + n[2] m[2][j]).
bool GlNormalMatrix(const D3DMATRIX& modelView, float out[3][3]);

} // namespace qv::d3d9
