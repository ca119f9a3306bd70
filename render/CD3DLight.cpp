#include "render/CD3DLight.h"

#include <algorithm>

extern IDirect3DDevice9* g_pDevice;

std::vector<CD3DLight*> CD3DLight::LightList;

CD3DLight::CD3DLight()
{
    LightList.push_back(this);
}

CD3DLight::~CD3DLight()
{
    // A destructor must not throw: a light whose device refuses the switch-off is forgotten
    // all the same.
    try {
        Off();
    } catch (...) {
    }
    const auto it = std::find(LightList.begin(), LightList.end(), this);
    if (it != LightList.end()) LightList.erase(it);
}

void CD3DLight::Create(D3DLIGHT9 light)
{
    if (Index != NO_INDEX) throw "Failed CD3DLight::Create CD3DLight must be Released!!";

    // Lights without an index sort last, so the first gap in 0, 1, 2... is the lowest free index.
    std::stable_sort(LightList.begin(), LightList.end(),
                     [](const CD3DLight* a, const CD3DLight* b) { return a->Index < b->Index; });
    LONG index = 0;
    while (static_cast<size_t>(index) < LightList.size() && LightList[index]->Index == index) ++index;

    Light = light;
    Index = index;
    if (!g_pDevice || FAILED(g_pDevice->SetLight(static_cast<DWORD>(Index), &Light)))
        throw "Failed CD3DLight::Create SetLight";
    On();
}

void CD3DLight::On()
{
    if (Index == NO_INDEX) return;
    IsEnabled = true;
    if (!g_pDevice || FAILED(g_pDevice->LightEnable(static_cast<DWORD>(Index), TRUE)))
        throw "Failed CD3DLight::On LightEnable";
}

void CD3DLight::Off()
{
    if (Index == NO_INDEX) return;
    const DWORD index = static_cast<DWORD>(Index);
    IsEnabled = false;
    Index = NO_INDEX;
    if (!g_pDevice || FAILED(g_pDevice->LightEnable(index, FALSE))) throw "Failed CD3DLight::Off LightEnable";
}

void CD3DLight::RestoreAll()
{
    for (CD3DLight* light : LightList) {
        if (light->Index == NO_INDEX) continue;
        const DWORD index = static_cast<DWORD>(light->Index);
        if (!g_pDevice || FAILED(g_pDevice->SetLight(index, &light->Light))) throw "Failed CD3DLight::RestoreAll SetLight";
        if (FAILED(g_pDevice->LightEnable(index, light->IsEnabled ? TRUE : FALSE)))
            throw "Failed CD3DLight::Off LightEnable";
    }
}
