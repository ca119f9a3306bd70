// The device state cache: every render, texture-stage and sampler state, transform, material
// and texture binding goes through these setters, which call the device only when the value
// changes and re-apply the whole cache after a device reset.
#include <cstdio>
#include <cstring>

#include "render/CDirectX9.h"

D3DMATERIAL9 CDirectX9::Material = {};
CD3DSafeTexture CDirectX9::StageTexture[CDirectX9::TEXTURE_STAGES];

namespace {

// Every value of D3DRENDERSTATETYPE, in ascending order.
const DWORD kRenderStates[] = {
    D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_ZWRITEENABLE, D3DRS_ALPHATESTENABLE, D3DRS_LASTPIXEL,
    D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_CULLMODE, D3DRS_ZFUNC, D3DRS_ALPHAREF, D3DRS_ALPHAFUNC,
    D3DRS_DITHERENABLE, D3DRS_ALPHABLENDENABLE, D3DRS_FOGENABLE, D3DRS_SPECULARENABLE, D3DRS_FOGCOLOR,
    D3DRS_FOGTABLEMODE, D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY, D3DRS_RANGEFOGENABLE, D3DRS_STENCILENABLE,
    D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS, D3DRS_STENCILFUNC, D3DRS_STENCILREF,
    D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK, D3DRS_TEXTUREFACTOR, D3DRS_WRAP0, D3DRS_WRAP1, D3DRS_WRAP2,
    D3DRS_WRAP3, D3DRS_WRAP4, D3DRS_WRAP5, D3DRS_WRAP6, D3DRS_WRAP7, D3DRS_CLIPPING, D3DRS_LIGHTING, D3DRS_AMBIENT,
    D3DRS_FOGVERTEXMODE, D3DRS_COLORVERTEX, D3DRS_LOCALVIEWER, D3DRS_NORMALIZENORMALS, D3DRS_DIFFUSEMATERIALSOURCE,
    D3DRS_SPECULARMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE, D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_VERTEXBLEND,
    D3DRS_CLIPPLANEENABLE, D3DRS_POINTSIZE, D3DRS_POINTSIZE_MIN, D3DRS_POINTSPRITEENABLE, D3DRS_POINTSCALEENABLE,
    D3DRS_POINTSCALE_A, D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C, D3DRS_MULTISAMPLEANTIALIAS, D3DRS_MULTISAMPLEMASK,
    D3DRS_PATCHEDGESTYLE, D3DRS_DEBUGMONITORTOKEN, D3DRS_POINTSIZE_MAX, D3DRS_INDEXEDVERTEXBLENDENABLE,
    D3DRS_COLORWRITEENABLE, D3DRS_TWEENFACTOR, D3DRS_BLENDOP, D3DRS_POSITIONDEGREE, D3DRS_NORMALDEGREE,
    D3DRS_SCISSORTESTENABLE, D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_ANTIALIASEDLINEENABLE, D3DRS_MINTESSELLATIONLEVEL,
    D3DRS_MAXTESSELLATIONLEVEL, D3DRS_ADAPTIVETESS_X, D3DRS_ADAPTIVETESS_Y, D3DRS_ADAPTIVETESS_Z,
    D3DRS_ADAPTIVETESS_W, D3DRS_ENABLEADAPTIVETESSELLATION, D3DRS_TWOSIDEDSTENCILMODE, D3DRS_CCW_STENCILFAIL,
    D3DRS_CCW_STENCILZFAIL, D3DRS_CCW_STENCILPASS, D3DRS_CCW_STENCILFUNC, D3DRS_COLORWRITEENABLE1,
    D3DRS_COLORWRITEENABLE2, D3DRS_COLORWRITEENABLE3, D3DRS_BLENDFACTOR, D3DRS_SRGBWRITEENABLE, D3DRS_DEPTHBIAS,
    D3DRS_WRAP8, D3DRS_WRAP9, D3DRS_WRAP10, D3DRS_WRAP11, D3DRS_WRAP12, D3DRS_WRAP13, D3DRS_WRAP14, D3DRS_WRAP15,
    D3DRS_SEPARATEALPHABLENDENABLE, D3DRS_SRCBLENDALPHA, D3DRS_DESTBLENDALPHA, D3DRS_BLENDOPALPHA,
};
static_assert(sizeof kRenderStates / sizeof kRenderStates[0] == 103, "every render state of Direct3D 9");

// Every value of D3DTEXTURESTAGESTATETYPE.
const DWORD kTextureStageStates[] = {
    D3DTSS_COLOROP,       D3DTSS_COLORARG1,     D3DTSS_COLORARG2,     D3DTSS_ALPHAOP,
    D3DTSS_ALPHAARG1,     D3DTSS_ALPHAARG2,     D3DTSS_BUMPENVMAT00,  D3DTSS_BUMPENVMAT01,
    D3DTSS_BUMPENVMAT10,  D3DTSS_BUMPENVMAT11,  D3DTSS_TEXCOORDINDEX, D3DTSS_BUMPENVLSCALE,
    D3DTSS_BUMPENVLOFFSET, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTSS_COLORARG0, D3DTSS_ALPHAARG0,
    D3DTSS_RESULTARG,     D3DTSS_CONSTANT,
};
static_assert(sizeof kTextureStageStates / sizeof kTextureStageStates[0] == 18, "every texture-stage state");

// Every value of D3DSAMPLERSTATETYPE.
const DWORD kSamplerStates[] = {
    D3DSAMP_ADDRESSU,      D3DSAMP_ADDRESSV,     D3DSAMP_ADDRESSW,    D3DSAMP_BORDERCOLOR, D3DSAMP_MAGFILTER,
    D3DSAMP_MINFILTER,     D3DSAMP_MIPFILTER,    D3DSAMP_MIPMAPLODBIAS, D3DSAMP_MAXMIPLEVEL, D3DSAMP_MAXANISOTROPY,
    D3DSAMP_SRGBTEXTURE,   D3DSAMP_ELEMENTINDEX, D3DSAMP_DMAPOFFSET,
};
static_assert(sizeof kSamplerStates / sizeof kSamplerStates[0] == 13, "every sampler state");

const DWORD kTransforms[] = {
    D3DTS_VIEW,     D3DTS_PROJECTION, D3DTS_TEXTURE0, D3DTS_TEXTURE1, D3DTS_TEXTURE2,
    D3DTS_TEXTURE3, D3DTS_TEXTURE4,   D3DTS_TEXTURE5, D3DTS_TEXTURE6, D3DTS_TEXTURE7,
    D3DTS_WORLDMATRIX(0), D3DTS_WORLDMATRIX(1), D3DTS_WORLDMATRIX(2), D3DTS_WORLDMATRIX(3),
};

bool g_usableRenderState[CDirectX9::MAX_RENDERSTATENUM];
DWORD g_renderState[CDirectX9::MAX_RENDERSTATENUM];
bool g_usableTextureStageState[CDirectX9::MAX_TEXTURESTAGESTATENUM];
DWORD g_textureStageState[CDirectX9::TEXTURE_STAGES][CDirectX9::MAX_TEXTURESTAGESTATENUM];
bool g_usableSamplerState[CDirectX9::MAX_SAMPLERSTATENUM];
DWORD g_samplerState[CDirectX9::SAMPLERS][CDirectX9::MAX_SAMPLERSTATENUM];
bool g_usableTransformState[CDirectX9::MAX_TRANSFORMSTATENUM];
D3DMATRIX g_transform[CDirectX9::MAX_TRANSFORMSTATENUM];

// The formatted failure texts live here while the handler shows them.
char g_failureText[1024];

[[noreturn]] void ThrowFormatted(const char* format, int a)
{
    std::snprintf(g_failureText, sizeof g_failureText, format, a);
    throw static_cast<const char*>(g_failureText);
}

[[noreturn]] void ThrowFormatted(const char* format, int a, int b)
{
    std::snprintf(g_failureText, sizeof g_failureText, format, a, b);
    throw static_cast<const char*>(g_failureText);
}

template <size_t N, size_t M>
void MarkUsable(bool (&flags)[N], const DWORD (&table)[M], const char* overText)
{
    std::memset(flags, 0, sizeof flags);
    for (DWORD number : table) {
        if (number >= N)
            throw overText;
        flags[number] = true;
    }
}

} // namespace

void CDirectX9::InitSafeSetState()
{
    MarkUsable(g_usableRenderState, kRenderStates, "Failed CDirectX9::InitSafeSetState Over MAX_RENDERSTATENUM");
    for (DWORD state : kRenderStates)
        if (FAILED(Device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(state), &g_renderState[state])))
            throw "Failed CDirectX9::InitSafeSetState GetRenderState";

    MarkUsable(g_usableTextureStageState, kTextureStageStates,
               "Failed CDirectX9::InitSafeSetState Over MAX_RENDERSTATENUM");
    for (DWORD stage = 0; stage < TEXTURE_STAGES; ++stage)
        for (DWORD state : kTextureStageStates)
            if (FAILED(Device->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(state),
                                                    &g_textureStageState[stage][state])))
                throw "Failed CDirectX9::InitSafeSetState GetTextureStageState";

    MarkUsable(g_usableSamplerState, kSamplerStates, "Failed CDirectX9::InitSafeSetState Over MAX_SAMPLERSTATENUM");
    for (DWORD sampler = 0; sampler < SAMPLERS; ++sampler)
        for (DWORD state : kSamplerStates)
            if (FAILED(Device->GetSamplerState(sampler, static_cast<D3DSAMPLERSTATETYPE>(state),
                                               &g_samplerState[sampler][state])))
                throw "Failed CDirectX9::InitSafeSetState GetSamplerState";

    MarkUsable(g_usableTransformState, kTransforms, "Failed CDirectX9::InitSafeSetState Over MAX_TRANSFORMSTATENUM");
    for (DWORD t : kTransforms)
        if (FAILED(Device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(t), &g_transform[t])))
            throw "Failed CDirectX9::InitSafeSetState GetTransformState";

    std::memset(&Material, 0, sizeof Material);
    Material.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    Material.Ambient = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    Material.Power = 1.0f;
    if (FAILED(Device->SetMaterial(&Material)))
        throw "Failed CDirectX9::InitSafeSetState SetMaterial";
}

void CDirectX9::SafeSetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    const DWORD s = static_cast<DWORD>(state);
    if (s >= MAX_RENDERSTATENUM || !g_usableRenderState[s])
        throw "Failed CDirectX9::SafeSetRenderState not UsableRenderState";
    if (g_renderState[s] == value)
        return;
    if (FAILED(Device->SetRenderState(state, value)))
        ThrowFormatted("Failed CDirectX9::SafeSetRenderState SetRenderState[%d]", static_cast<int>(s));
    g_renderState[s] = value;
}

void CDirectX9::SafeSetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value)
{
    const DWORD s = static_cast<DWORD>(state);
    // Stages beyond the cache are refused like unknown states.
    if (s >= MAX_TEXTURESTAGESTATENUM || !g_usableTextureStageState[s] || stage >= TEXTURE_STAGES)
        throw "Failed CDirectX9::SafeSetTextureStageState not UsableTextureStageState";
    if (g_textureStageState[stage][s] == value)
        return;
    if (FAILED(Device->SetTextureStageState(stage, state, value)))
        ThrowFormatted("Failed CDirectX9::SafeSetTextureStageState SetTextureStageState[%d][%d]",
                       static_cast<int>(stage), static_cast<int>(s));
    g_textureStageState[stage][s] = value;
}

void CDirectX9::SafeSetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE state, DWORD value)
{
    const DWORD s = static_cast<DWORD>(state);
    if (s >= MAX_SAMPLERSTATENUM || !g_usableSamplerState[s] || sampler >= SAMPLERS)
        throw "Failed CDirectX9::SafeSetSamplerState not UsableSamplerState";
    if (g_samplerState[sampler][s] == value)
        return;
    if (FAILED(Device->SetSamplerState(sampler, state, value)))
        ThrowFormatted("Failed CDirectX9::SafeSetSamplerState SetSamplerState[%d][%d]", static_cast<int>(sampler),
                       static_cast<int>(s));
    g_samplerState[sampler][s] = value;
}

void CDirectX9::SafeSetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix)
{
    const DWORD t = static_cast<DWORD>(state);
    if (t >= MAX_TRANSFORMSTATENUM || !g_usableTransformState[t])
        throw "Failed CDirectX9::SafeSetTransform not UsableTransformState";
    // Bit for bit: a zero of the other sign is a change.
    if (std::memcmp(&g_transform[t], &matrix, sizeof(D3DMATRIX)) == 0)
        return;
    if (FAILED(Device->SetTransform(state, &matrix)))
        ThrowFormatted("Failed CDirectX9::SafeSetTransform SetTransform[%d]", static_cast<int>(t));
    g_transform[t] = matrix;
}

const D3DMATRIX& CDirectX9::SafeGetTransform(D3DTRANSFORMSTATETYPE state)
{
    const DWORD t = static_cast<DWORD>(state);
    if (t >= MAX_TRANSFORMSTATENUM || !g_usableTransformState[t])
        throw "Failed CDirectX9::SafeSetTransform not UsableTransformState";
    return g_transform[t];
}

void CDirectX9::SafeSetMaterial(const D3DMATERIAL9& material)
{
    // As floats: a zero of the other sign is no change, a NaN always is one.
    float a[17], b[17];
    static_assert(sizeof(D3DMATERIAL9) == sizeof a, "a material is 17 floats");
    std::memcpy(a, &Material, sizeof a);
    std::memcpy(b, &material, sizeof b);
    bool same = true;
    for (int i = 0; i < 17 && same; ++i)
        same = a[i] == b[i];
    if (same)
        return;
    Material = material;
    if (FAILED(Device->SetMaterial(&material)))
        throw "Failed CDirectX9::SafeSetMaterial SetMaterial";
}

void CDirectX9::SafeSetTexture(DWORD stage, CD3DSafeTexture& texture)
{
    if (!texture.Entry) {
        if (FAILED(Device->SetTexture(stage, nullptr)))
            throw "Failed CDirectX9::SafeSetTexture SetTexture";
        StageTexture[stage].Entry = nullptr;
        return;
    }
    texture.Stage = static_cast<LONG>(stage);
    if (stage < TEXTURE_STAGES && StageTexture[stage].Entry == texture.Entry)
        return;
    if (FAILED(Device->SetTexture(stage, texture.Entry->Texture)) || stage >= TEXTURE_STAGES)
        throw "Failed CDirectX9::SafeSetTexture SetTexture";
    StageTexture[stage].Entry = texture.Entry;
}

void CDirectX9::SafeCreateTexture(const char* path, CD3DSafeTexture& texture)
{
    texture.CreateTexture(path);
}

void CDirectX9::SafeReleaseTexture(CD3DSafeTexture& texture)
{
    SafeTextureEntry* entry = texture.Entry;
    if (entry && texture.Stage >= 0 && texture.Stage < static_cast<LONG>(TEXTURE_STAGES) &&
        StageTexture[texture.Stage].Entry == entry)
        StageTexture[texture.Stage].Entry = nullptr;
    // The last reference frees the entry: no slot may go on naming it, whichever handle
    // bound it there.
    if (entry && entry->RefCount <= 1)
        for (CD3DSafeTexture& slot : StageTexture)
            if (slot.Entry == entry)
                slot.Entry = nullptr;
    texture.Release();
}

void CDirectX9::SafeRestoreRenderState()
{
    for (DWORD state : kRenderStates)
        if (FAILED(Device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), g_renderState[state])))
            throw "Failed CDirectX9::SafeRestoreRenderState SetRenderState";
}

void CDirectX9::SafeRestoreTextureStageState()
{
    for (DWORD stage = 0; stage < TEXTURE_STAGES; ++stage)
        for (DWORD state : kTextureStageStates)
            if (FAILED(Device->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(state),
                                                    g_textureStageState[stage][state])))
                throw "Failed CDirectX9::SafeRestoreTextureStageState SetTextureStageState";
}

void CDirectX9::SafeRestoreSamplerState()
{
    for (DWORD sampler = 0; sampler < SAMPLERS; ++sampler)
        for (DWORD state : kSamplerStates)
            if (FAILED(Device->SetSamplerState(sampler, static_cast<D3DSAMPLERSTATETYPE>(state),
                                               g_samplerState[sampler][state])))
                throw "Failed CDirectX9::SafeRestoreSamplerState SetSamplerState";
}

void CDirectX9::SafeRestoreTransform()
{
    for (DWORD t : kTransforms)
        if (FAILED(Device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(t), &g_transform[t])))
            throw "Failed CDirectX9::SafeRestoreTransform SetTransform";
}

void CDirectX9::SafeRestoreMaterial()
{
    if (FAILED(Device->SetMaterial(&Material)))
        throw "Failed CDirectX9::SafeRestoreMaterial SetMaterial";
}

void CDirectX9::SafeRestoreTexture()
{
    for (DWORD stage = 0; stage < TEXTURE_STAGES; ++stage) {
        CD3DSafeTexture& slot = StageTexture[stage];
        if (!slot.Entry) {
            if (FAILED(Device->SetTexture(stage, nullptr)))
                throw "Failed CDirectX9::SafeSetTexture SetTexture";
            continue;
        }
        // The slot's texture is found again by its path among the cache's entries.
        for (SafeTextureEntry* entry : CD3DSafeTexture::EntryList()) {
            if (std::strcmp(entry->Path, slot.Entry->Path) == 0) {
                slot.Entry = entry;
                if (FAILED(Device->SetTexture(stage, entry->Texture)))
                    throw "Failed CDirectX9::SafeRestoreTexture SetTexture";
                break;
            }
        }
    }
}
