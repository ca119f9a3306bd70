// Stand-in effect: the file must exist and be readable; every call then succeeds and draws
// nothing. Parameters and techniques answer their own names as handles.
#include "platform/d3dx9/D3DX9Effect.h"

#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "platform/win32/HostFile.h"

namespace {

class CStubEffect final : public ID3DXEffect {
public:
    STDMETHOD(QueryInterface)(REFIID, void** ppv) override
    {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHOD_(D3DXHANDLE, GetParameterByName)(D3DXHANDLE, LPCSTR pName) override { return pName; }
    STDMETHOD_(D3DXHANDLE, GetTechniqueByName)(LPCSTR pName) override { return pName; }
    STDMETHOD(SetMatrix)(D3DXHANDLE, const D3DXMATRIX* pMatrix) override { return pMatrix ? S_OK : D3DERR_INVALIDCALL; }
    STDMETHOD(SetVector)(D3DXHANDLE, const D3DXVECTOR4* pVector) override { return pVector ? S_OK : D3DERR_INVALIDCALL; }
    STDMETHOD(SetTechnique)(D3DXHANDLE) override { return S_OK; }
    STDMETHOD(Begin)(UINT* pPasses, DWORD) override
    {
        if (pPasses) *pPasses = 1;
        return S_OK;
    }
    STDMETHOD(BeginPass)(UINT) override { return S_OK; }
    STDMETHOD(CommitChanges)() override { return S_OK; }
    STDMETHOD(EndPass)() override { return S_OK; }
    STDMETHOD(End)() override { return S_OK; }
    STDMETHOD(OnLostDevice)() override { return S_OK; }
    STDMETHOD(OnResetDevice)() override { return S_OK; }

private:
    std::atomic<ULONG> refs_{1};
};

} // namespace

HRESULT D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9, LPCSTR pSrcFile, const D3DXMACRO*, LPD3DXINCLUDE, DWORD,
                                  LPD3DXEFFECTPOOL, LPD3DXEFFECT* ppEffect, ID3DXBuffer** ppCompilationErrors)
{
    if (ppCompilationErrors) *ppCompilationErrors = nullptr;
    if (!ppEffect || !pSrcFile) return D3DERR_INVALIDCALL;
    *ppEffect = nullptr;
    FILE* file = QvFopen(pSrcFile, "rb");
    if (!file) return D3DERR_NOTFOUND;
    std::fclose(file);
    *ppEffect = new (std::nothrow) CStubEffect();
    return *ppEffect ? S_OK : E_OUTOFMEMORY;
}
