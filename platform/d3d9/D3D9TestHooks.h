// Hooks through which tests observe and steer the Direct3D layer: counts of the calls that
// reach the device and OpenGL, device loss on demand, and failures of the Direct3D object's
// queries, so that the device owner's fallbacks can be tested. Not used by the game itself.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/d3d9/D3D9.h"

namespace qv::test {

// Every call of an IDirect3DDevice9 method, and every OpenGL call the layer makes.
uint64_t D3D9DeviceCallCount();
uint64_t OpenGlCallCount();
// OpenGL draw calls (glDrawArrays, glDrawElements and their kin) the layer made.
uint64_t OpenGlDrawCount();

// Whether the layer gathers consecutive small draws into one OpenGL draw (on by default);
// pictures drawn both ways must be the same.
void SetD3D9Batching(bool enabled);
// Whether an OpenGL call other than the gathered draws' own, made while they wait, stops the
// program (GlApi.h); armed from the start in builds without NDEBUG and with QV_GL_GUARD=1.
void ArmOpenGlGuard(bool armed);

// One draw as OpenGL is to rasterise it, for a benchmark that draws the same frame with OpenGL
// alone: each triangle's corners in OpenGL's clip space with their colour, eye-space normal and
// texture coordinates, the light and material of a lit draw (directional lights only, as
// OpenGL's fixed-function stage takes them), and the state the fragments meet, in OpenGL's
// names.
struct CapturedDraw {
    struct Corner {
        float x, y, z, w;
        float nx, ny, nz;
        uint8_t rgba[4];
        float u, v;
    };
    struct Light {
        float direction[4]; // towards the light, in eye space
        float diffuse[4];
        float ambient[4];
    };
    std::vector<Corner> corners; // three for each triangle
    bool lit = false;
    float ambient[4] = {};       // the scene's
    float materialAmbient[4] = {}, materialDiffuse[4] = {}, materialEmissive[4] = {};
    std::vector<Light> lights;
    unsigned texture = 0;        // OpenGL texture name; 0 draws the colours alone
    bool blend = false;
    unsigned srcBlend = 0, dstBlend = 0;
    bool alphaTest = false;
    unsigned alphaFunc = 0;
    float alphaRef = 0.0f;
    bool depthTest = false, depthWrite = false;
    unsigned depthFunc = 0;
    unsigned cullFace = 0; // the OpenGL face culled, 0 for none
};
// Every triangle draw from now on is also copied into `draws`, except those through an
// effect's vertex program; null stops.
void CaptureD3D9Draws(std::vector<CapturedDraw>* draws);

// Device loss, as when a full-screen window loses the screen: TestCooperativeLevel answers
// D3DERR_DEVICELOST until AllowD3DDeviceReset, then D3DERR_DEVICENOTRESET until Reset.
void LoseD3DDevice();
void AllowD3DDeviceReset();

// Failures of the Direct3D object. Each field left at its default leaves the real behaviour.
struct D3D9Faults {
    bool createFails = false;           // Direct3DCreate9 answers null
    bool halCapsFail = false;           // GetDeviceCaps(D3DDEVTYPE_HAL) fails
    bool refCapsFail = false;           // GetDeviceCaps(D3DDEVTYPE_REF) fails
    bool displayModeFails = false;      // GetAdapterDisplayMode fails
    D3DFORMAT displayFormat = D3DFMT_UNKNOWN; // when set, the desktop's reported format
    DWORD vertexShaderVersion = 0;      // when set, the capabilities' VertexShaderVersion
    bool noTwoSidedStencil = false;     // the capabilities lack D3DSTENCILCAPS_TWOSIDED
    HRESULT cooperativeLevel = 0;       // when a failure, what TestCooperativeLevel answers
    // When set, the only display modes that the adapter lists (and so the only full-screen
    // sizes that CreateDevice and Reset accept).
    const std::vector<D3DDISPLAYMODE>* adapterModes = nullptr;
    // Asked before each CreateDevice with its device type, behaviour flags and depth format;
    // a failure code makes that CreateDevice fail with it.
    std::function<HRESULT(D3DDEVTYPE, DWORD, D3DFORMAT)> createDevice;
    // Asked before each Reset with its parameters; a failure code makes that Reset fail with
    // it, leaving the device as it was.
    std::function<HRESULT(const D3DPRESENT_PARAMETERS&)> reset;
};
void SetD3D9Faults(const D3D9Faults* faults); // null restores the real behaviour

} // namespace qv::test

namespace qv {

// Told by the window layer when a full-screen window loses the screen (another window took
// it, or it was minimised) and when it is back: the device is lost, then can be reset.
void D3D9FullScreenLost(HWND hWnd);
void D3D9FullScreenRegained(HWND hWnd);

} // namespace qv
