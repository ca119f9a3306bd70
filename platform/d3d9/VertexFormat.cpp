// Flexible vertex formats and vertex declarations, read into the attribute sources of the
// fixed-function pipeline.
#include "platform/d3d9/D3D9Internal.h"

#include <algorithm>

namespace qv::d3d9 {

namespace {

// Number of floats of texture coordinate set i of an FVF code.
UINT TexCoordSize(DWORD fvf, UINT i)
{
    switch ((fvf >> (16 + i * 2)) & 3) {
    case D3DFVF_TEXTUREFORMAT1:
        return 1;
    case D3DFVF_TEXTUREFORMAT3:
        return 3;
    case D3DFVF_TEXTUREFORMAT4:
        return 4;
    default:
        return 2;
    }
}

// Floats of the position (and blend weights) of an FVF code; 0 when it has none it accepts.
UINT PositionFloats(DWORD fvf, UINT& betas)
{
    betas = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ:
        return 3;
    case D3DFVF_XYZRHW:
    case D3DFVF_XYZW:
        return 4;
    case D3DFVF_XYZB1:
        betas = 1;
        return 3;
    case D3DFVF_XYZB2:
        betas = 2;
        return 3;
    case D3DFVF_XYZB3:
        betas = 3;
        return 3;
    case D3DFVF_XYZB4:
        betas = 4;
        return 3;
    case D3DFVF_XYZB5:
        betas = 5;
        return 3;
    default:
        return 0;
    }
}

void Set(AttributeSource& source, UINT stream, UINT offset, GLint size, GLenum type)
{
    source.present = true;
    source.stream = static_cast<uint8_t>(stream);
    source.offset = static_cast<uint16_t>(offset);
    source.size = size;
    source.type = type;
}

} // namespace

UINT FvfVertexSize(DWORD fvf)
{
    VertexLayout layout;
    if (!LayoutFromFvf(fvf, layout))
        return 0;
    UINT betas = 0;
    UINT size = PositionFloats(fvf, betas) * 4 + betas * 4;
    if (fvf & D3DFVF_NORMAL)
        size += 12;
    if (fvf & D3DFVF_PSIZE)
        size += 4;
    if (fvf & D3DFVF_DIFFUSE)
        size += 4;
    if (fvf & D3DFVF_SPECULAR)
        size += 4;
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < texCount; ++i)
        size += TexCoordSize(fvf, i) * 4;
    return size;
}

bool LayoutFromFvf(DWORD fvf, VertexLayout& layout)
{
    layout = VertexLayout();
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8 || (fvf & D3DFVF_RESERVED0))
        return false;
    UINT betas = 0;
    const UINT positionFloats = PositionFloats(fvf, betas);
    if (positionFloats == 0 && (fvf & D3DFVF_POSITION_MASK) != 0)
        return false;
    if (positionFloats == 0)
        return true; // a format without position draws nothing, but is a valid FVF (e.g. 0)
    UINT offset = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZRHW:
        layout.position = VertexLayout::kTransformed;
        Set(layout.pos, 0, 0, 4, GL_FLOAT);
        break;
    case D3DFVF_XYZW:
        layout.position = VertexLayout::kXyzw;
        Set(layout.pos, 0, 0, 4, GL_FLOAT);
        break;
    default:
        layout.position = VertexLayout::kXyz;
        Set(layout.pos, 0, 0, 3, GL_FLOAT);
        break;
    }
    offset = positionFloats * 4 + betas * 4;
    if (fvf & D3DFVF_NORMAL) {
        Set(layout.normal, 0, offset, 3, GL_FLOAT);
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE)
        offset += 4;
    if (fvf & D3DFVF_DIFFUSE) {
        Set(layout.diffuse, 0, offset, GL_BGRA, GL_UNSIGNED_BYTE);
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        Set(layout.specular, 0, offset, GL_BGRA, GL_UNSIGNED_BYTE);
        offset += 4;
    }
    for (UINT i = 0; i < texCount; ++i) {
        const UINT n = TexCoordSize(fvf, i);
        Set(layout.tex[i], 0, offset, static_cast<GLint>(n), GL_FLOAT);
        offset += n * 4;
    }
    return true;
}

bool LayoutFromDeclaration(const D3DVERTEXELEMENT9* elements, VertexLayout& layout)
{
    layout = VertexLayout();
    if (!elements)
        return false;
    for (UINT i = 0; elements[i].Stream != 0xFF; ++i) {
        if (i >= MAXD3DDECLLENGTH)
            return false;
        const D3DVERTEXELEMENT9& e = elements[i];
        if (e.Stream >= 4 || e.Type >= D3DDECLTYPE_UNUSED || e.Usage > MAXD3DDECLUSAGE ||
            e.UsageIndex > MAXD3DDECLUSAGEINDEX || e.Method > D3DDECLMETHOD_LOOKUPPRESAMPLED)
            return false;
        GLint size = 0;
        GLenum type = GL_FLOAT;
        switch (e.Type) {
        case D3DDECLTYPE_FLOAT1:
        case D3DDECLTYPE_FLOAT2:
        case D3DDECLTYPE_FLOAT3:
        case D3DDECLTYPE_FLOAT4:
            size = e.Type - D3DDECLTYPE_FLOAT1 + 1;
            break;
        case D3DDECLTYPE_D3DCOLOR:
            size = GL_BGRA;
            type = GL_UNSIGNED_BYTE;
            break;
        case D3DDECLTYPE_UBYTE4:
        case D3DDECLTYPE_UBYTE4N:
            size = 4;
            type = GL_UNSIGNED_BYTE;
            break;
        case D3DDECLTYPE_SHORT2:
        case D3DDECLTYPE_SHORT2N:
            size = 2;
            type = GL_SHORT;
            break;
        case D3DDECLTYPE_SHORT4:
        case D3DDECLTYPE_SHORT4N:
            size = 4;
            type = GL_SHORT;
            break;
        case D3DDECLTYPE_USHORT2N:
            size = 2;
            type = GL_UNSIGNED_SHORT;
            break;
        case D3DDECLTYPE_USHORT4N:
            size = 4;
            type = GL_UNSIGNED_SHORT;
            break;
        default:
            break; // packed and half-float types: accepted, not read by the fixed pipeline
        }
        if (size == 0)
            continue;
        switch (e.Usage) {
        case D3DDECLUSAGE_POSITION:
            if (e.UsageIndex == 0 && type == GL_FLOAT && size >= 3) {
                layout.position = size == 4 ? VertexLayout::kXyzw : VertexLayout::kXyz;
                Set(layout.pos, e.Stream, e.Offset, size, type);
            }
            break;
        case D3DDECLUSAGE_POSITIONT:
            if (type == GL_FLOAT && size == 4) {
                layout.position = VertexLayout::kTransformed;
                Set(layout.pos, e.Stream, e.Offset, size, type);
            }
            break;
        case D3DDECLUSAGE_NORMAL:
            if (e.UsageIndex == 0 && size == 3)
                Set(layout.normal, e.Stream, e.Offset, size, type);
            break;
        case D3DDECLUSAGE_COLOR:
            if (e.UsageIndex == 0)
                Set(layout.diffuse, e.Stream, e.Offset, size, type);
            else if (e.UsageIndex == 1)
                Set(layout.specular, e.Stream, e.Offset, size, type);
            break;
        case D3DDECLUSAGE_TEXCOORD:
            if (e.UsageIndex < 8 && size != GL_BGRA)
                Set(layout.tex[e.UsageIndex], e.Stream, e.Offset, size, type);
            break;
        default:
            break;
        }
    }
    return true;
}

UINT VertexCountOf(D3DPRIMITIVETYPE type, UINT count)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return count * 2;
    case D3DPT_LINESTRIP:
        return count + 1;
    case D3DPT_TRIANGLELIST:
        return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count + 2;
    default:
        return 0;
    }
}

namespace {

template <class Index>
void RangeOf(const void* indices, UINT count, UINT& lowest, UINT& highest)
{
    const Index* p = static_cast<const Index*>(indices);
    Index low = count ? p[0] : 0, high = low;
    for (UINT i = 1; i < count; ++i) {
        low = std::min(low, p[i]);
        high = std::max(high, p[i]);
    }
    lowest = low;
    highest = high;
}

} // namespace

void IndexRange(const void* indices, UINT count, bool wide, UINT& lowest, UINT& highest)
{
    if (wide)
        RangeOf<uint32_t>(indices, count, lowest, highest);
    else
        RangeOf<uint16_t>(indices, count, lowest, highest);
}

UINT BytesPerPixel(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        return 4;
    default:
        return 0;
    }
}

bool IsBackBufferFormat(D3DFORMAT format)
{
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
}

bool IsDepthFormat(D3DFORMAT format)
{
    return format == D3DFMT_D24S8 || format == D3DFMT_D16 || format == D3DFMT_D24X8 || format == D3DFMT_D32;
}

bool HasStencil(D3DFORMAT format)
{
    return format == D3DFMT_D24S8;
}

} // namespace qv::d3d9
