// Flexible vertex formats and vertex declarations: sizes and conversions.
#include "platform/d3dx9/D3DX9Mesh.h"

namespace {

// Bytes of one element of a declaration type.
UINT DeclTypeSize(BYTE type)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1: return 4;
    case D3DDECLTYPE_FLOAT2: return 8;
    case D3DDECLTYPE_FLOAT3: return 12;
    case D3DDECLTYPE_FLOAT4: return 16;
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_UBYTE4N:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N:
    case D3DDECLTYPE_FLOAT16_2: return 4;
    case D3DDECLTYPE_SHORT4:
    case D3DDECLTYPE_SHORT4N:
    case D3DDECLTYPE_USHORT4N:
    case D3DDECLTYPE_FLOAT16_4: return 8;
    default: return 0;
    }
}

// Floats of texture coordinate set i of a vertex format.
UINT TexCoordFloats(DWORD fvf, UINT i)
{
    switch ((fvf >> (16 + i * 2)) & 3) {
    case 0: return 2;
    case 1: return 3;
    case 2: return 4;
    default: return 1;
    }
}

} // namespace

UINT D3DXGetFVFVertexSize(DWORD FVF)
{
    UINT size = 0;
    switch (FVF & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: size = 16; break;
    case D3DFVF_XYZW: size = 16; break;
    case D3DFVF_XYZB1: size = 16; break;
    case D3DFVF_XYZB2: size = 20; break;
    case D3DFVF_XYZB3: size = 24; break;
    case D3DFVF_XYZB4: size = 28; break;
    case D3DFVF_XYZB5: size = 32; break;
    default: break;
    }
    if (FVF & D3DFVF_NORMAL) size += 12;
    if (FVF & D3DFVF_PSIZE) size += 4;
    if (FVF & D3DFVF_DIFFUSE) size += 4;
    if (FVF & D3DFVF_SPECULAR) size += 4;
    const UINT texCount = (FVF & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < texCount; ++i) size += TexCoordFloats(FVF, i) * 4;
    return size;
}

UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* pDecl, DWORD Stream)
{
    if (!pDecl) return 0;
    UINT size = 0;
    for (const D3DVERTEXELEMENT9* e = pDecl; e->Stream != 0xFF; ++e) {
        if (e->Stream != Stream) continue;
        const UINT end = e->Offset + DeclTypeSize(e->Type);
        if (end > size) size = end;
    }
    return size;
}

HRESULT D3DXDeclaratorFromFVF(DWORD FVF, D3DVERTEXELEMENT9 pDeclarator[MAX_FVF_DECL_SIZE])
{
    static const D3DVERTEXELEMENT9 end = D3DDECL_END();
    if (!pDeclarator) return D3DERR_INVALIDCALL;
    // Bits that name no part of a vertex.
    if (FVF & ~(DWORD)(D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                       D3DFVF_TEXCOUNT_MASK | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR | 0xFFFF0000u))
        return D3DERR_INVALIDCALL;

    UINT n = 0;
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE usageIndex) {
        pDeclarator[n++] = D3DVERTEXELEMENT9{0, offset, type, D3DDECLMETHOD_DEFAULT, usage, usageIndex};
        offset = static_cast<WORD>(offset + DeclTypeSize(type));
    };

    const DWORD position = FVF & D3DFVF_POSITION_MASK;
    int betas = 0;
    switch (position) {
    case 0: break;
    case D3DFVF_XYZ: add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0); break;
    case D3DFVF_XYZRHW: add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0); break;
    case D3DFVF_XYZW: add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0); break;
    case D3DFVF_XYZB1: betas = 1; break;
    case D3DFVF_XYZB2: betas = 2; break;
    case D3DFVF_XYZB3: betas = 3; break;
    case D3DFVF_XYZB4: betas = 4; break;
    case D3DFVF_XYZB5: betas = 5; break;
    default: return D3DERR_INVALIDCALL;
    }
    if (betas > 0) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        const bool lastIsIndices = (FVF & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR)) != 0;
        const int weights = lastIsIndices ? betas - 1 : betas;
        if (weights > 4) return D3DERR_INVALIDCALL;
        if (weights > 0) add(static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + weights - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (lastIsIndices)
            add((FVF & D3DFVF_LASTBETA_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_BLENDINDICES, 0);
    }
    if (FVF & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (FVF & D3DFVF_PSIZE) add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (FVF & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (FVF & D3DFVF_SPECULAR) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    const UINT texCount = (FVF & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < texCount; ++i)
        add(static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + TexCoordFloats(FVF, i) - 1), D3DDECLUSAGE_TEXCOORD,
            static_cast<BYTE>(i));
    pDeclarator[n] = end;
    return S_OK;
}

HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* pDeclarator, DWORD* pFVF)
{
    if (!pDeclarator || !pFVF) return D3DERR_INVALIDCALL;
    *pFVF = 0;
    // Rebuild the format from the elements and accept it only when it gives back exactly
    // the same declaration.
    DWORD fvf = 0;
    UINT texCount = 0;
    DWORD texSizes = 0;
    for (const D3DVERTEXELEMENT9* e = pDeclarator; e->Stream != 0xFF; ++e) {
        switch (e->Usage) {
        case D3DDECLUSAGE_POSITION:
            fvf |= e->Type == D3DDECLTYPE_FLOAT4 ? D3DFVF_XYZW : D3DFVF_XYZ;
            break;
        case D3DDECLUSAGE_POSITIONT: fvf |= D3DFVF_XYZRHW; break;
        case D3DDECLUSAGE_NORMAL: fvf |= D3DFVF_NORMAL; break;
        case D3DDECLUSAGE_PSIZE: fvf |= D3DFVF_PSIZE; break;
        case D3DDECLUSAGE_COLOR: fvf |= e->UsageIndex == 0 ? D3DFVF_DIFFUSE : D3DFVF_SPECULAR; break;
        case D3DDECLUSAGE_TEXCOORD: {
            static const DWORD formatOfFloats[5] = {0, 3, 0, 1, 2};
            const UINT floats = e->Type <= D3DDECLTYPE_FLOAT4 ? e->Type + 1u : 0u;
            if (floats == 0) return D3DERR_INVALIDCALL;
            texSizes |= formatOfFloats[floats] << (16 + texCount * 2);
            ++texCount;
            break;
        }
        default: return D3DERR_INVALIDCALL;
        }
    }
    fvf |= (texCount << D3DFVF_TEXCOUNT_SHIFT) | texSizes;
    D3DVERTEXELEMENT9 check[MAX_FVF_DECL_SIZE];
    if (FAILED(D3DXDeclaratorFromFVF(fvf, check))) return D3DERR_INVALIDCALL;
    for (UINT i = 0;; ++i) {
        const D3DVERTEXELEMENT9& a = check[i];
        const D3DVERTEXELEMENT9& b = pDeclarator[i];
        if (a.Stream != b.Stream || a.Offset != b.Offset || a.Type != b.Type || a.Usage != b.Usage ||
            a.UsageIndex != b.UsageIndex)
            return D3DERR_INVALIDCALL;
        if (a.Stream == 0xFF) break;
    }
    *pFVF = fvf;
    return S_OK;
}
