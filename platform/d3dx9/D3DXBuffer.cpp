// ID3DXBuffer: a reference-counted block of bytes.
#include <atomic>
#include <new>
#include <vector>

#include "platform/d3dx9/D3DX9Mesh.h"

namespace {

class CD3DXBuffer final : public ID3DXBuffer {
public:
    explicit CD3DXBuffer(DWORD size) : bytes_(size) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            AddRef();
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
    STDMETHOD_(LPVOID, GetBufferPointer)() override { return bytes_.empty() ? nullptr : bytes_.data(); }
    STDMETHOD_(DWORD, GetBufferSize)() override { return static_cast<DWORD>(bytes_.size()); }

private:
    std::atomic<ULONG> refs_{1};
    std::vector<BYTE> bytes_;
};

} // namespace

HRESULT D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer)
{
    if (!ppBuffer) return D3DERR_INVALIDCALL;
    try {
        *ppBuffer = new CD3DXBuffer(NumBytes);
    } catch (const std::bad_alloc&) {
        *ppBuffer = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
