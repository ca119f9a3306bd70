#include "platform/com/ComClasses.h"
#include "platform/com/DxDiag.h"
#include "platform/dmusic/DMusic.h"

namespace {

struct ComClass {
    const CLSID* clsid;
    HRESULT (*create)(REFIID riid, void** ppv);
};

const ComClass kClasses[] = {
    {&CLSID_DxDiagProvider, qv::CreateDxDiagProvider},
    {&CLSID_DirectMusicLoader, qv::CreateDirectMusicLoader},
    {&CLSID_DirectMusicPerformance, qv::CreateDirectMusicPerformance},
};

} // namespace

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    for (const ComClass& c : kClasses)
        if (IsEqualGUID(*c.clsid, rclsid))
            return c.create(riid, ppv);
    return REGDB_E_CLASSNOTREG;
}
