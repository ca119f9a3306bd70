// The Direct3D state a device keeps for drawing, as Direct3D defines it, and the groups in which
// it reaches OpenGL. Inside platform/d3d9 only.
#pragma once

#include <array>
#include <map>

#include "platform/d3d9/D3D9Internal.h"

namespace qv::d3d9 {

constexpr UINT kMaxRenderState = 256;
constexpr UINT kStages = 8;
constexpr UINT kStageStates = 33;
constexpr UINT kSamplers = 16;
constexpr UINT kSamplerStates = 14;
constexpr UINT kStreams = 4;
constexpr UINT kGlLights = 8;
static_assert(kSamplerStates == std::tuple_size<decltype(Texture::appliedSampler)>::value,
              "a texture keeps every sampler state it was given");

using SamplerStates = std::array<DWORD, kSamplerStates>;

// Groups of state that are given to OpenGL together when the next primitive is drawn.
enum DirtyGroup : uint32_t {
    kDirtyDepth = 1u << 0,
    kDirtyBlend = 1u << 1,
    kDirtyAlphaTest = 1u << 2,
    kDirtyRaster = 1u << 3,
    kDirtyStencil = 1u << 4,
    kDirtyLighting = 1u << 5,
    kDirtyMaterial = 1u << 6,
    kDirtyLights = 1u << 7,
    kDirtyFog = 1u << 8,
    kDirtyStage = 1u << 9,
    kDirtySampler = 1u << 10,
    kDirtyProjection = 1u << 11,
    kDirtyViewport = 1u << 12,
    kDirtyScissor = 1u << 13,
    kDirtyModelView = 1u << 14,
    kDirtyAll = 0xFFFFFFFFu,
};

// Whether a number is a render state of the Direct3D 9 enumeration, and its group (0 for
// those that are kept but change nothing drawn); each render state's default. The table sits
// with the code that applies the states (DeviceTranslation.cpp).
bool IsRenderState(DWORD state);
uint32_t RenderStateGroup(DWORD state);
// Every render state at Direct3D's default; D3DRS_ZENABLE's depends on the depth buffer.
void DefaultRenderStates(std::array<DWORD, kMaxRenderState>& states, bool depthBuffer);
bool IsStageState(DWORD state);
bool IsSamplerState(DWORD state);

struct LightSlot {
    D3DLIGHT9 light;
    bool enabled;
};

struct StreamSource {
    VertexBuffer* buffer = nullptr;
    UINT offset = 0;
    UINT stride = 0;
    UINT frequency = 1;
};

// Everything the device has been told that decides how a primitive is drawn. Resources are
// bound weakly: one that goes away is forgotten (Device::Forget).
struct DeviceState {
    std::array<DWORD, kMaxRenderState> renderStates{};
    std::array<std::array<DWORD, kStageStates>, kStages> stageStates{};
    std::array<SamplerStates, kSamplers> samplerStates{};
    std::map<DWORD, D3DMATRIX> transforms; // only those that were set
    D3DMATERIAL9 material{};
    std::map<DWORD, LightSlot> lights;
    std::array<Texture*, kStages> textures{};
    DWORD fvf = 0;
    VertexDeclaration* declaration = nullptr;
    std::array<StreamSource, kStreams> streams{};
    IndexBuffer* indices = nullptr;
    D3DVIEWPORT9 viewport{};
    RECT scissor{};
    // An effect's vertex program that runs in place of the fixed-function vertex stage for
    // untransformed vertices (EffectBridge.h), 0 for none, and its clip-adjustment uniform.
    GLuint vertexProgram = 0;
    GLint vertexProgramClipAdjust = -1;

    const D3DMATRIX& Transform(DWORD t) const; // identity when never set
    DWORD FogMode() const;                     // D3DFOG_NONE while fog is off
    // Whether the fixed-function lighting lights vertices, and whether the first stage reads
    // a texture.
    bool Lit(bool transformed) const { return !transformed && renderStates[D3DRS_LIGHTING] != FALSE; }
    bool Texturing() const { return textures[0] && stageStates[0][D3DTSS_COLOROP] != D3DTOP_DISABLE; }
    // The vertex format the draws read, from the declaration or else the FVF.
    bool Layout(VertexLayout& layout) const;
};

} // namespace qv::d3d9
