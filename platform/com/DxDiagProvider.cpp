#include "platform/com/ComClasses.h"

// Filled in by the DxDiag provider implementation.
HRESULT qv::CreateDxDiagProvider(REFIID, void** ppv)
{
    if (ppv)
        *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
