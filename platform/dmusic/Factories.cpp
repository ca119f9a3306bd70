#include "platform/com/ComClasses.h"

// Filled in by the DirectMusic implementation.
HRESULT qv::CreateDirectMusicLoader(REFIID, void** ppv)
{
    if (ppv)
        *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT qv::CreateDirectMusicPerformance(REFIID, void** ppv)
{
    if (ppv)
        *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
