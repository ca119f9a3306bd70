// D3DX effects: the calls that the models' shadow-volume drawing makes. For now a stand-in
// that only checks that the effect file can be read (EffectStub.cpp); the compiled effect
// replaces it.
#pragma once

#include "platform/d3d9/D3D9.h"
#include "platform/d3dx9/D3DX9Math.h"

typedef LPCSTR D3DXHANDLE;
typedef D3DXHANDLE* LPD3DXHANDLE;

struct ID3DXBuffer;
struct ID3DXEffectPool;
typedef ID3DXEffectPool* LPD3DXEFFECTPOOL;
struct ID3DXInclude;
typedef ID3DXInclude* LPD3DXINCLUDE;

typedef struct _D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
} D3DXMACRO, *LPD3DXMACRO;

struct ID3DXEffect : public IUnknown {
    STDMETHOD_(D3DXHANDLE, GetParameterByName)(D3DXHANDLE hParameter, LPCSTR pName) PURE;
    STDMETHOD_(D3DXHANDLE, GetTechniqueByName)(LPCSTR pName) PURE;
    STDMETHOD(SetMatrix)(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) PURE;
    STDMETHOD(SetVector)(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) PURE;
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

HRESULT D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                  LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTPOOL pPool,
                                  LPD3DXEFFECT* ppEffect, ID3DXBuffer** ppCompilationErrors);
#define D3DXCreateEffectFromFile D3DXCreateEffectFromFileA
