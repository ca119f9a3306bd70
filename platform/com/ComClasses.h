// Inside the platform layer: the COM classes that CoCreateInstance can make, each created by
// a factory of the sub-layer that implements it.
#pragma once

#include "platform/com/Com.h"

namespace qv {

HRESULT CreateDxDiagProvider(REFIID riid, void** ppv);
HRESULT CreateDirectMusicLoader(REFIID riid, void** ppv);
HRESULT CreateDirectMusicPerformance(REFIID riid, void** ppv);

} // namespace qv
