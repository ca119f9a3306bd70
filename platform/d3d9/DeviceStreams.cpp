// The device's vertex formats and declarations, vertex streams and indices, and the shader and
// patch calls, which this fixed-function device refuses.
#include "platform/d3d9/Device.h"

namespace qv::d3d9 {

HRESULT Device::ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9*, IDirect3DVertexDeclaration9*, DWORD)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                        IDirect3DVertexDeclaration9** ppDecl)
{
    Count();
    if (!ppDecl)
        return D3DERR_INVALIDCALL;
    *ppDecl = nullptr;
    VertexLayout layout;
    if (!pVertexElements || !LayoutFromDeclaration(pVertexElements, layout))
        return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> elements;
    for (UINT i = 0;; ++i) {
        elements.push_back(pVertexElements[i]);
        if (pVertexElements[i].Stream == 0xFF)
            break;
    }
    *ppDecl = new VertexDeclaration(this, std::move(elements), layout);
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl)
{
    Count();
    // Like every binding of the device, a weak one: the declaration forgets itself when freed.
    auto* declaration = static_cast<VertexDeclaration*>(pDecl);
    if (declaration != m_state.declaration)
        Changed(kDirtyStage); // the texture transform depends on the coordinates' size
    m_state.declaration = declaration;
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl)
{
    Count();
    if (!ppDecl)
        return D3DERR_INVALIDCALL;
    *ppDecl = m_state.declaration;
    if (m_state.declaration)
        m_state.declaration->AddRef();
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD FVF)
{
    Count();
    VertexLayout layout;
    if (FVF != 0 && !LayoutFromFvf(FVF, layout))
        return D3DERR_INVALIDCALL;
    // An FVF replaces the declaration, as it does in Direct3D.
    if (FVF != m_state.fvf || (FVF != 0 && m_state.declaration))
        Changed(kDirtyStage); // the texture transform depends on the coordinates' size
    m_state.fvf = FVF;
    if (FVF != 0)
        m_state.declaration = nullptr;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* pFVF)
{
    Count();
    if (!pFVF)
        return D3DERR_INVALIDCALL;
    *pFVF = m_state.declaration ? 0 : m_state.fvf;
    return D3D_OK;
}

HRESULT Device::CreateVertexShader(const DWORD*, IDirect3DVertexShader9** ppShader)
{
    Count();
    if (ppShader)
        *ppShader = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* pShader)
{
    Count();
    return pShader ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** ppShader)
{
    Count();
    if (!ppShader)
        return D3DERR_INVALIDCALL;
    *ppShader = nullptr;
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT, const float*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetVertexShaderConstantF(UINT, float*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetVertexShaderConstantI(UINT, const int*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetVertexShaderConstantI(UINT, int*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetVertexShaderConstantB(UINT, const BOOL*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetVertexShaderConstantB(UINT, BOOL*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                                UINT Stride)
{
    Count();
    if (StreamNumber >= kStreams || (pStreamData && Stride == 0) || (OffsetInBytes & 3))
        return D3DERR_INVALIDCALL;
    auto* buffer = static_cast<VertexBuffer*>(pStreamData);
    if (buffer && buffer->OwnerDevice() != this)
        return D3DERR_INVALIDCALL;
    m_state.streams[StreamNumber].buffer = buffer;
    m_state.streams[StreamNumber].offset = OffsetInBytes;
    m_state.streams[StreamNumber].stride = Stride;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                                UINT* pStride)
{
    Count();
    if (StreamNumber >= kStreams || !ppStreamData || !pOffsetInBytes || !pStride)
        return D3DERR_INVALIDCALL;
    *ppStreamData = m_state.streams[StreamNumber].buffer;
    if (*ppStreamData)
        (*ppStreamData)->AddRef();
    *pOffsetInBytes = m_state.streams[StreamNumber].offset;
    *pStride = m_state.streams[StreamNumber].stride;
    return D3D_OK;
}

HRESULT Device::SetStreamSourceFreq(UINT StreamNumber, UINT Setting)
{
    Count();
    if (StreamNumber >= kStreams || Setting != 1)
        return D3DERR_INVALIDCALL;
    m_state.streams[StreamNumber].frequency = Setting;
    return D3D_OK;
}

HRESULT Device::GetStreamSourceFreq(UINT StreamNumber, UINT* pSetting)
{
    Count();
    if (StreamNumber >= kStreams || !pSetting)
        return D3DERR_INVALIDCALL;
    *pSetting = m_state.streams[StreamNumber].frequency;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* pIndexData)
{
    Count();
    auto* buffer = static_cast<IndexBuffer*>(pIndexData);
    if (buffer && buffer->OwnerDevice() != this)
        return D3DERR_INVALIDCALL;
    m_state.indices = buffer;
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** ppIndexData)
{
    Count();
    if (!ppIndexData)
        return D3DERR_INVALIDCALL;
    *ppIndexData = m_state.indices;
    if (m_state.indices)
        m_state.indices->AddRef();
    return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD*, IDirect3DPixelShader9** ppShader)
{
    Count();
    if (ppShader)
        *ppShader = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* pShader)
{
    Count();
    return pShader ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** ppShader)
{
    Count();
    if (!ppShader)
        return D3DERR_INVALIDCALL;
    *ppShader = nullptr;
    return D3D_OK;
}

HRESULT Device::SetPixelShaderConstantF(UINT, const float*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPixelShaderConstantF(UINT, float*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetPixelShaderConstantI(UINT, const int*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPixelShaderConstantI(UINT, int*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetPixelShaderConstantB(UINT, const BOOL*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPixelShaderConstantB(UINT, BOOL*, UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::DeletePatch(UINT)
{
    Count();
    return D3DERR_INVALIDCALL;
}

HRESULT Device::CreateQuery(D3DQUERYTYPE, IDirect3DQuery9** ppQuery)
{
    Count();
    if (ppQuery)
        *ppQuery = nullptr;
    return D3DERR_NOTAVAILABLE;
}

} // namespace qv::d3d9
