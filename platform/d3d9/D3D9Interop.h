// For other parts of the platform layer that draw through the device with OpenGL shaders of
// their own (the D3DX effects). Not used by the game itself.
//
// The device draws with OpenGL's fixed-function vertex arrays: positions as gl_Vertex, normals
// as gl_Normal, the diffuse D3DCOLOR as gl_Color (already in R, G, B, A order), texture set n
// as gl_MultiTexCoord0 for the first stage. A shader that computes Direct3D clip coordinates
// p (row vectors: p = v x WorldViewProjection) must hand OpenGL p x D3D9ClipAdjustment(), which
// turns Direct3D's depth range 0..1 into OpenGL's and puts pixel centres where Direct3D 9 has
// them. The picture is kept upright in the back buffer, so faces keep their winding.
#pragma once

#include "platform/d3d9/D3D9.h"

namespace qv {

// The adjustment for the device's current viewport (identity when the device is not ours).
D3DMATRIX D3D9ClipAdjustment(IDirect3DDevice9* device);

} // namespace qv
