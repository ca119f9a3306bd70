// Direct3D lights that take the lowest free light index when created and are set again after
// a device reset.
#pragma once

#include <vector>

#include "platform/platform.h"

class CD3DLight {
public:
    static constexpr LONG NO_INDEX = 2147483647;

    LONG Index = NO_INDEX;
    D3DLIGHT9 Light = {};
    bool IsEnabled = false;

    CD3DLight();  // registers the light
    ~CD3DLight(); // switches it off and unregisters it
    CD3DLight(const CD3DLight&) = delete;
    CD3DLight& operator=(const CD3DLight&) = delete;

    // Takes the lowest free index, sets the light there and switches it on.
    void Create(D3DLIGHT9 light);
    void On();
    // Switches the light off and frees its index; it can be created again.
    void Off();

    // Sets every light that has an index again, on or off as it was.
    static void RestoreAll();

    // Every constructed light, owned by its creator.
    static std::vector<CD3DLight*> LightList;
};
