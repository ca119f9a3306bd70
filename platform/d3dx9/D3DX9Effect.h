// D3DX effects: an effect file's parameters, techniques and passes, with render-state
// assignments in the passes and vertex shaders written in a small subset of HLSL that runs as
// GLSL on the device (EffectCompiler.cpp states the subset; Effect.cpp is the effect object).
#pragma once

#include "platform/d3d9/D3D9.h"
#include "platform/d3dx9/D3DX9Math.h"
#include "platform/d3dx9/D3DX9Mesh.h"

typedef LPCSTR D3DXHANDLE;
typedef D3DXHANDLE* LPD3DXHANDLE;

struct ID3DXEffectPool;
typedef ID3DXEffectPool* LPD3DXEFFECTPOOL;
struct ID3DXInclude;
typedef ID3DXInclude* LPD3DXINCLUDE;

typedef struct _D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
} D3DXMACRO, *LPD3DXMACRO;

// Begin flags: without them the effect saves the device states that its passes set and gives
// them back at End.
#define D3DXFX_DONOTSAVESTATE (1 << 0)
#define D3DXFX_DONOTSAVESHADERSTATE (1 << 1)
#define D3DXFX_DONOTSAVESAMPLERSTATE (1 << 2)

struct ID3DXEffect : public IUnknown {
    STDMETHOD_(D3DXHANDLE, GetParameterByName)(D3DXHANDLE hParameter, LPCSTR pName) PURE;
    STDMETHOD_(D3DXHANDLE, GetTechniqueByName)(LPCSTR pName) PURE;
    STDMETHOD(SetVector)(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) PURE;
    STDMETHOD(SetMatrix)(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) PURE;
    STDMETHOD(SetTechnique)(D3DXHANDLE hTechnique) PURE;
    STDMETHOD(Begin)(UINT* pPasses, DWORD Flags) PURE;
    STDMETHOD(BeginPass)(UINT Pass) PURE;
    STDMETHOD(CommitChanges)() PURE;
    STDMETHOD(EndPass)() PURE;
    STDMETHOD(End)() PURE;
    STDMETHOD(OnLostDevice)() PURE;
    STDMETHOD(OnResetDevice)() PURE;
};
typedef ID3DXEffect* LPD3DXEFFECT;

// Reads and compiles an effect file. Defines, include handlers and pools are not supported (a
// non-null one fails with D3DERR_INVALIDCALL). A file outside the supported language fails with
// D3DXERR_INVALIDDATA; the errors, each naming its line, go to *ppCompilationErrors when asked
// for and to the debug output.
HRESULT D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                  LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTPOOL pPool,
                                  LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors);
#define D3DXCreateEffectFromFile D3DXCreateEffectFromFileA

// The same from text in memory; `pSrcData` need not end with a NUL.
HRESULT D3DXCreateEffect(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                         LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                         LPD3DXBUFFER* ppCompilationErrors);
