// The Direct3D structures keep the sizes and field offsets of the Windows x64 SDK, so that
// code which copies or serialises them behaves the same on both platforms.
#include <cstddef>

#include <gtest/gtest.h>

#include "platform/d3d9/D3D9.h"
#include "platform/d3dx9/D3DX9Tex.h"

static_assert(sizeof(D3DMATRIX) == 64, "D3DMATRIX");
static_assert(sizeof(D3DCAPS9) == 304, "D3DCAPS9");
static_assert(offsetof(D3DCAPS9, StencilCaps) == 136, "D3DCAPS9::StencilCaps");
static_assert(offsetof(D3DCAPS9, VertexShaderVersion) == 196, "D3DCAPS9::VertexShaderVersion");
static_assert(sizeof(D3DLIGHT9) == 104, "D3DLIGHT9");
static_assert(sizeof(D3DMATERIAL9) == 68, "D3DMATERIAL9");
static_assert(sizeof(D3DVERTEXELEMENT9) == 8, "D3DVERTEXELEMENT9");
static_assert(sizeof(D3DSURFACE_DESC) == 32, "D3DSURFACE_DESC");
static_assert(sizeof(D3DVIEWPORT9) == 24, "D3DVIEWPORT9");
static_assert(sizeof(D3DPRESENT_PARAMETERS) == 64, "D3DPRESENT_PARAMETERS");
static_assert(offsetof(D3DPRESENT_PARAMETERS, hDeviceWindow) == 32, "D3DPRESENT_PARAMETERS::hDeviceWindow");
static_assert(sizeof(D3DXIMAGE_INFO) == 28, "D3DXIMAGE_INFO");

TEST(D3D9Header, ResultCodesHaveTheirDocumentedValues)
{
    EXPECT_EQ(static_cast<uint32_t>(D3DERR_INVALIDCALL), 0x8876086Cu);
    EXPECT_EQ(static_cast<uint32_t>(D3DERR_DEVICELOST), 0x88760868u);
    EXPECT_EQ(static_cast<uint32_t>(D3DERR_DEVICENOTRESET), 0x88760869u);
    EXPECT_EQ(static_cast<uint32_t>(D3DXERR_INVALIDDATA), 0x88760B59u);
    EXPECT_EQ(D3DTS_WORLDMATRIX(3), 259);
    EXPECT_EQ(D3DVS_VERSION(1, 0), 0xFFFE0100u);
    EXPECT_EQ(D3DCOLOR_ARGB(0x12, 0x34, 0x56, 0x78), 0x12345678u);
}
