// Helpers for tests that draw with the Direct3D layer: a window, a device on it, and the back
// buffer read back as a picture.
#pragma once

#include "platform/d3d9/BitCast.h"
#include "platform/platform.h"
#include "support/TestSupport.h"

namespace qvtest {

// A float render or sampler state as the DWORD the device keeps, and back.
inline DWORD Bits(float f) { return qv::d3d9::BitCast<DWORD>(f); }
inline float AsFloat(DWORD d) { return qv::d3d9::BitCast<float>(d); }

// A top-level window without menu, shown, whose OpenGL context the device uses.
HWND MakeDeviceWindow(int width = 160, int height = 120);

// Present parameters of a windowed device with a lockable back buffer.
D3DPRESENT_PARAMETERS WindowedParameters(HWND window, UINT width, UINT height,
                                         D3DFORMAT depth = D3DFMT_D24S8);

// The back buffer's pixels as an RGBA picture (alpha as stored).
Image ReadBackBuffer(IDirect3DDevice9* device);

// A Direct3D object and a windowed device of the given size, released at the end of the test.
struct DeviceFixture {
    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS params = {};

    // Creates everything; false (with the failure logged by gtest) when it could not.
    bool Create(UINT width = 160, UINT height = 120, D3DFORMAT depth = D3DFMT_D24S8);
    ~DeviceFixture();
};

} // namespace qvtest
