// Vertex and index buffers in plain memory, for meshes made without a device (tools and tests
// that only read and write geometry). A device never draws from them.
#pragma once

#include "platform/d3d9/D3D9.h"

HRESULT CreateMemoryVertexBuffer(UINT length, DWORD usage, DWORD fvf, IDirect3DVertexBuffer9** out);
HRESULT CreateMemoryIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, IDirect3DIndexBuffer9** out);
