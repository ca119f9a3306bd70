// D3DX 9: maths, textures, meshes, frame hierarchies, skinning, animation and effects.
#pragma once

#include "platform/d3d9/D3D9.h"
#include "platform/d3dx9/D3DX9Math.h"
#include "platform/d3dx9/D3DX9Mesh.h"
#include "platform/d3dx9/D3DX9Tex.h"
#include "platform/d3dx9/D3DX9Anim.h"
#include "platform/d3dx9/D3DX9Effect.h"
