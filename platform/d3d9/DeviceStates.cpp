// The device's transforms, viewport, material and lights, its render, texture-stage and
// sampler states and textures: kept as Direct3D keeps them, with Direct3D's defaults and
// validation, and marked for OpenGL by the group they reach it in.
#include "platform/d3d9/Device.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/Transforms.h"

namespace qv::d3d9 {

namespace {

bool ValidTransform(DWORD t)
{
    return t == D3DTS_VIEW || t == D3DTS_PROJECTION || (t >= D3DTS_TEXTURE0 && t <= D3DTS_TEXTURE7) ||
           (t >= 256 && t <= 511);
}

} // namespace

bool IsStageState(DWORD state)
{
    return (state >= D3DTSS_COLOROP && state <= D3DTSS_TEXCOORDINDEX) || state == D3DTSS_BUMPENVLSCALE ||
           state == D3DTSS_BUMPENVLOFFSET || state == D3DTSS_TEXTURETRANSFORMFLAGS || state == D3DTSS_COLORARG0 ||
           state == D3DTSS_ALPHAARG0 || state == D3DTSS_RESULTARG || state == D3DTSS_CONSTANT;
}

bool IsSamplerState(DWORD state)
{
    return state >= D3DSAMP_ADDRESSU && state <= D3DSAMP_DMAPOFFSET;
}

const D3DMATRIX& DeviceState::Transform(DWORD t) const
{
    static const D3DMATRIX identity = IdentityMatrix();
    auto it = transforms.find(t);
    return it != transforms.end() ? it->second : identity;
}

DWORD DeviceState::FogMode() const
{
    if (!renderStates[D3DRS_FOGENABLE])
        return D3DFOG_NONE;
    return renderStates[D3DRS_FOGTABLEMODE] != D3DFOG_NONE ? renderStates[D3DRS_FOGTABLEMODE]
                                                           : renderStates[D3DRS_FOGVERTEXMODE];
}

bool DeviceState::Layout(VertexLayout& layout) const
{
    if (declaration) {
        layout = declaration->Layout();
        return true;
    }
    return LayoutFromFvf(fvf, layout);
}

void Device::ResetState()
{
    DeviceState fresh;
    DefaultRenderStates(fresh.renderStates, m_params.EnableAutoDepthStencil != FALSE);
    for (UINT stage = 0; stage < kStages; ++stage) {
        auto& ts = fresh.stageStates[stage];
        ts.fill(0);
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = stage;
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (auto& ss : fresh.samplerStates) {
        ss.fill(0);
        ss[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
    }
    fresh.viewport = D3DVIEWPORT9{0, 0, m_params.BackBufferWidth, m_params.BackBufferHeight, 0.0f, 1.0f};
    fresh.scissor = RECT{0, 0, static_cast<LONG>(m_params.BackBufferWidth), static_cast<LONG>(m_params.BackBufferHeight)};
    // The effect's vertex program is the effect's to set, and stays.
    fresh.vertexProgram = m_state.vertexProgram;
    fresh.vertexProgramClipAdjust = m_state.vertexProgramClipAdjust;
    m_state = std::move(fresh);
    for (auto& plane : m_clipPlanes)
        plane.fill(0.0f);
    m_inScene = false;
    m_dirty = kDirtyAll;
    m_glTransformMode = -1;
    m_glColorMaterial = -1;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix)
{
    Count();
    const DWORD t = static_cast<DWORD>(State);
    if (!pMatrix || !ValidTransform(t))
        return D3DERR_INVALIDCALL;
    m_state.transforms[t] = *pMatrix;
    // The lights are placed with the view (ApplyLights).
    if (t == D3DTS_VIEW)
        Changed(kDirtyModelView | kDirtyLights);
    else if (t == D3DTS_PROJECTION)
        Changed(kDirtyProjection);
    else if (t == D3DTS_WORLD)
        Changed(kDirtyModelView);
    else if (t == D3DTS_TEXTURE0)
        Changed(kDirtyStage);
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix)
{
    Count();
    const DWORD t = static_cast<DWORD>(State);
    if (!pMatrix || !ValidTransform(t))
        return D3DERR_INVALIDCALL;
    *pMatrix = m_state.Transform(t);
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix)
{
    Count();
    const DWORD t = static_cast<DWORD>(State);
    if (!pMatrix || !ValidTransform(t))
        return D3DERR_INVALIDCALL;
    // Direct3D multiplies the given matrix on the right: M = M x given.
    const D3DMATRIX r = Multiply(m_state.Transform(t), *pMatrix);
    --s_callCount; // one device call, not two
    return SetTransform(State, &r);
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* pViewport)
{
    Count();
    if (!pViewport || pViewport->Width == 0 || pViewport->Height == 0 ||
        static_cast<uint64_t>(pViewport->X) + pViewport->Width > BackBufferWidth() ||
        static_cast<uint64_t>(pViewport->Y) + pViewport->Height > BackBufferHeight() ||
        !(pViewport->MinZ >= 0.0f && pViewport->MinZ <= 1.0f) || !(pViewport->MaxZ >= 0.0f && pViewport->MaxZ <= 1.0f))
        return D3DERR_INVALIDCALL;
    m_state.viewport = *pViewport;
    Changed(kDirtyViewport | kDirtyProjection);
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* pViewport)
{
    Count();
    if (!pViewport)
        return D3DERR_INVALIDCALL;
    *pViewport = m_state.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* pMaterial)
{
    Count();
    if (!pMaterial)
        return D3DERR_INVALIDCALL;
    m_state.material = *pMaterial;
    Changed(kDirtyMaterial);
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* pMaterial)
{
    Count();
    if (!pMaterial)
        return D3DERR_INVALIDCALL;
    *pMaterial = m_state.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD Index, const D3DLIGHT9* pLight)
{
    Count();
    if (!pLight || pLight->Type < D3DLIGHT_POINT || pLight->Type > D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    if (pLight->Type != D3DLIGHT_DIRECTIONAL && !(pLight->Range >= 0.0f))
        return D3DERR_INVALIDCALL;
    if (pLight->Type == D3DLIGHT_SPOT && !(pLight->Theta >= 0.0f && pLight->Phi >= pLight->Theta))
        return D3DERR_INVALIDCALL;
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end())
        m_state.lights[Index] = LightSlot{*pLight, false};
    else
        it->second.light = *pLight;
    Changed(kDirtyLights);
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD Index, D3DLIGHT9* pLight)
{
    Count();
    auto it = m_state.lights.find(Index);
    if (!pLight || it == m_state.lights.end())
        return D3DERR_INVALIDCALL;
    *pLight = it->second.light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD Index, BOOL Enable)
{
    Count();
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end()) {
        // Enabling a light that was never set makes Direct3D's default: a white directional
        // light shining along +z.
        D3DLIGHT9 light;
        std::memset(&light, 0, sizeof light);
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
        it = m_state.lights.emplace(Index, LightSlot{light, false}).first;
    }
    const bool enable = Enable != FALSE;
    if (enable && !it->second.enabled) {
        UINT active = 0;
        for (const auto& entry : m_state.lights)
            active += entry.second.enabled ? 1 : 0;
        if (active >= kGlLights)
            return D3DERR_INVALIDCALL;
    }
    it->second.enabled = enable;
    Changed(kDirtyLights);
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD Index, BOOL* pEnable)
{
    Count();
    auto it = m_state.lights.find(Index);
    if (!pEnable || it == m_state.lights.end())
        return D3DERR_INVALIDCALL;
    // Direct3D answers 128 for an enabled light, not 1.
    *pEnable = it->second.enabled ? 128 : FALSE;
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD Index, const float* pPlane)
{
    Count();
    if (!pPlane || Index >= m_clipPlanes.size())
        return D3DERR_INVALIDCALL;
    std::copy(pPlane, pPlane + 4, m_clipPlanes[Index].begin());
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD Index, float* pPlane)
{
    Count();
    if (!pPlane || Index >= m_clipPlanes.size())
        return D3DERR_INVALIDCALL;
    std::copy(m_clipPlanes[Index].begin(), m_clipPlanes[Index].end(), pPlane);
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value)
{
    Count();
    const DWORD s = static_cast<DWORD>(State);
    if (!IsRenderState(s))
        return D3DERR_INVALIDCALL;
    if (m_state.renderStates[s] != Value) {
        m_state.renderStates[s] = Value;
        Changed(RenderStateGroup(s));
    }
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue)
{
    Count();
    const DWORD s = static_cast<DWORD>(State);
    if (!pValue || !IsRenderState(s))
        return D3DERR_INVALIDCALL;
    *pValue = m_state.renderStates[s];
    return D3D_OK;
}

HRESULT Device::CreateStateBlock(D3DSTATEBLOCKTYPE, IDirect3DStateBlock9** ppSB)
{
    Count();
    if (ppSB)
        *ppSB = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::BeginStateBlock()
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::EndStateBlock(IDirect3DStateBlock9** ppSB)
{
    Count();
    if (ppSB)
        *ppSB = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetClipStatus(const D3DCLIPSTATUS9* pClipStatus)
{
    Count();
    if (!pClipStatus)
        return D3DERR_INVALIDCALL;
    m_clipStatus = *pClipStatus;
    return D3D_OK;
}

HRESULT Device::GetClipStatus(D3DCLIPSTATUS9* pClipStatus)
{
    Count();
    if (!pClipStatus)
        return D3DERR_INVALIDCALL;
    *pClipStatus = m_clipStatus;
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture)
{
    Count();
    if (!ppTexture || Stage >= kStages)
        return D3DERR_INVALIDCALL;
    *ppTexture = m_state.textures[Stage];
    if (*ppTexture)
        (*ppTexture)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture)
{
    Count();
    if (Stage >= kStages)
        return D3DERR_INVALIDCALL;
    Texture* texture = nullptr;
    if (pTexture) {
        // Only textures of this device can be bound.
        if (pTexture->GetType() != D3DRTYPE_TEXTURE)
            return D3DERR_INVALIDCALL;
        texture = static_cast<Texture*>(static_cast<IDirect3DTexture9*>(pTexture));
        if (texture->OwnerDevice() != this)
            return D3DERR_INVALIDCALL;
    }
    if (m_state.textures[Stage] != texture) {
        m_state.textures[Stage] = texture;
        if (Stage == 0)
            Changed(kDirtyStage | kDirtySampler);
    }
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue)
{
    Count();
    if (!pValue || Stage >= kStages || !IsStageState(Type))
        return D3DERR_INVALIDCALL;
    *pValue = m_state.stageStates[Stage][Type];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value)
{
    Count();
    if (Stage >= kStages || !IsStageState(Type))
        return D3DERR_INVALIDCALL;
    if (m_state.stageStates[Stage][Type] != Value) {
        m_state.stageStates[Stage][Type] = Value;
        if (Stage == 0)
            Changed(kDirtyStage);
    }
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue)
{
    Count();
    if (!pValue || Sampler >= kSamplers || !IsSamplerState(Type))
        return D3DERR_INVALIDCALL;
    *pValue = m_state.samplerStates[Sampler][Type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value)
{
    Count();
    if (Sampler >= kSamplers || !IsSamplerState(Type))
        return D3DERR_INVALIDCALL;
    if (m_state.samplerStates[Sampler][Type] != Value) {
        m_state.samplerStates[Sampler][Type] = Value;
        if (Sampler == 0)
            Changed(kDirtySampler);
    }
    return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* pNumPasses)
{
    Count();
    if (pNumPasses)
        *pNumPasses = 1;
    return D3D_OK;
}

HRESULT Device::SetPaletteEntries(UINT, const PALETTEENTRY*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPaletteEntries(UINT, PALETTEENTRY*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetCurrentTexturePalette(UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetCurrentTexturePalette(UINT*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetScissorRect(const RECT* pRect)
{
    Count();
    if (!pRect || pRect->left > pRect->right || pRect->top > pRect->bottom)
        return D3DERR_INVALIDCALL;
    m_state.scissor = *pRect;
    Changed(kDirtyScissor);
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* pRect)
{
    Count();
    if (!pRect)
        return D3DERR_INVALIDCALL;
    *pRect = m_state.scissor;
    return D3D_OK;
}

HRESULT Device::SetSoftwareVertexProcessing(BOOL bSoftware)
{
    Count();
    m_softwareVertexProcessing = bSoftware;
    return D3D_OK;
}

BOOL Device::GetSoftwareVertexProcessing()
{
    Count();
    return m_softwareVertexProcessing;
}

HRESULT Device::SetNPatchMode(float nSegments)
{
    Count();
    m_nPatchMode = nSegments;
    return D3D_OK;
}

float Device::GetNPatchMode()
{
    Count();
    return m_nPatchMode;
}

} // namespace qv::d3d9
