#include "platform/d3dx9/MeshBuffers.h"

#include <atomic>
#include <new>
#include <vector>

namespace {

// The parts shared by both kinds: bytes, a reference count and the lock bookkeeping.
template <typename Interface, typename Desc>
class CMemoryBuffer final : public Interface {
public:
    CMemoryBuffer(UINT length, const Desc& desc) : bytes_(length), desc_(desc) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            this->AddRef();
            *ppv = static_cast<IUnknown*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) override
    {
        if (ppDevice) *ppDevice = nullptr;
        return D3DERR_INVALIDCALL;
    }
    // No private data, priority or preloading in plain memory.
    STDMETHOD(SetPrivateData)(REFGUID, const void*, DWORD, DWORD) override { return D3DERR_INVALIDCALL; }
    STDMETHOD(GetPrivateData)(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    STDMETHOD(FreePrivateData)(REFGUID) override { return D3DERR_NOTFOUND; }
    STDMETHOD_(DWORD, SetPriority)(DWORD) override { return 0; }
    STDMETHOD_(DWORD, GetPriority)() override { return 0; }
    STDMETHOD_(void, PreLoad)() override {}
    STDMETHOD_(D3DRESOURCETYPE, GetType)() override { return desc_.Type; }
    STDMETHOD(Lock)(UINT offset, UINT size, void** ppData, DWORD) override
    {
        if (!ppData) return D3DERR_INVALIDCALL;
        if (offset > bytes_.size() || (size != 0 && size > bytes_.size() - offset)) {
            *ppData = nullptr;
            return D3DERR_INVALIDCALL;
        }
        *ppData = bytes_.data() + offset;
        return S_OK;
    }
    STDMETHOD(Unlock)() override { return S_OK; }
    STDMETHOD(GetDesc)(Desc* pDesc) override
    {
        if (!pDesc) return D3DERR_INVALIDCALL;
        *pDesc = desc_;
        return S_OK;
    }

private:
    std::atomic<ULONG> refs_{1};
    std::vector<BYTE> bytes_;
    Desc desc_;
};

} // namespace

HRESULT CreateMemoryVertexBuffer(UINT length, DWORD usage, DWORD fvf, IDirect3DVertexBuffer9** out)
{
    if (!out || length == 0) return D3DERR_INVALIDCALL;
    D3DVERTEXBUFFER_DESC desc{};
    desc.Format = D3DFMT_VERTEXDATA;
    desc.Type = D3DRTYPE_VERTEXBUFFER;
    desc.Usage = usage;
    desc.Pool = D3DPOOL_SYSTEMMEM;
    desc.Size = length;
    desc.FVF = fvf;
    *out = new (std::nothrow) CMemoryBuffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>(length, desc);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateMemoryIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, IDirect3DIndexBuffer9** out)
{
    if (!out || length == 0) return D3DERR_INVALIDCALL;
    D3DINDEXBUFFER_DESC desc{};
    desc.Format = format;
    desc.Type = D3DRTYPE_INDEXBUFFER;
    desc.Usage = usage;
    desc.Pool = D3DPOOL_SYSTEMMEM;
    desc.Size = length;
    *out = new (std::nothrow) CMemoryBuffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>(length, desc);
    return *out ? S_OK : E_OUTOFMEMORY;
}
