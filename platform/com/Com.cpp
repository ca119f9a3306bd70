// COM start-up per thread, the task allocator, VARIANT and BSTR.
#include "platform/com/Com.h"

#include <cstdlib>
#include <cstring>

namespace {

// Each thread counts its own initialisations, as COM does; the first decides the model.
thread_local int t_initCount = 0;
thread_local DWORD t_model = 0;

} // namespace

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit)
{
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_initCount > 0) {
        if (model != t_model)
            return RPC_E_CHANGED_MODE;
        ++t_initCount;
        return S_FALSE;
    }
    t_model = model;
    t_initCount = 1;
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved)
{
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize()
{
    if (t_initCount > 0)
        --t_initCount;
}

LPVOID CoTaskMemAlloc(SIZE_T cb)
{
    return std::malloc(cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv)
{
    std::free(pv);
}

// A BSTR is preceded by its length in bytes (32 bits) and followed by a 16-bit terminator.
BSTR SysAllocString(const OLECHAR* psz)
{
    if (!psz)
        return nullptr;
    size_t n = 0;
    while (psz[n])
        ++n;
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(DWORD) + (n + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    const DWORD bytes = static_cast<DWORD>(n * sizeof(OLECHAR));
    std::memcpy(block, &bytes, sizeof bytes);
    BSTR s = reinterpret_cast<BSTR>(block + sizeof(DWORD));
    std::memcpy(s, psz, (n + 1) * sizeof(OLECHAR));
    return s;
}

void SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(reinterpret_cast<unsigned char*>(bstrString) - sizeof(DWORD));
}

UINT SysStringLen(BSTR bstr)
{
    if (!bstr)
        return 0;
    DWORD bytes;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(bstr) - sizeof(DWORD), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

void VariantInit(VARIANT* pvarg)
{
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    pvarg->llVal = 0;
}

HRESULT VariantClear(VARIANT* pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    if (pvarg->vt == VT_BSTR)
        SysFreeString(pvarg->bstrVal);
    VariantInit(pvarg);
    return S_OK;
}
