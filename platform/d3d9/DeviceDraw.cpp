// Drawing: each draw's vertex sources validated, then the draw gathered with others
// (DrawBatch.h) or drawn at once through OpenGL's vertex arrays with the state ApplyState gives
// OpenGL (DeviceTranslation.cpp).
#include <algorithm>
#include <cstring>

#include "platform/d3d9/D3D9Interop.h"
#include "platform/d3d9/Device.h"
#include "platform/d3d9/Transforms.h"

namespace qv::d3d9 {

namespace {

GLenum PrimitiveMode(D3DPRIMITIVETYPE type)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

// One past the last byte that a vertex's attributes read from `stream`.
UINT AttributeEnd(const VertexLayout& layout, UINT stream)
{
    UINT end = 0;
    auto extend = [&](const AttributeSource& a) {
        if (!a.present || a.stream != stream)
            return;
        const UINT components = a.size == GL_BGRA ? 4 : static_cast<UINT>(a.size);
        const UINT bytes = a.type == GL_FLOAT ? 4 : (a.type == GL_SHORT || a.type == GL_UNSIGNED_SHORT) ? 2 : 1;
        end = std::max(end, a.offset + components * bytes);
    };
    extend(layout.pos);
    extend(layout.normal);
    extend(layout.diffuse);
    extend(layout.specular);
    for (const AttributeSource& t : layout.tex)
        extend(t);
    return end;
}

} // namespace

// Validates one draw's vertex sources and hands it to the batch or to OpenGL. The state is
// given to OpenGL here, so an error in it shows at the draw that caused it; only the draw
// itself may wait in the batch.
HRESULT Device::Draw(const DrawCall& call)
{
    VertexLayout layout;
    if (!m_state.Layout(layout))
        return D3DERR_INVALIDCALL;
    if (m_cooperation != Cooperation::kOk || !GlUsable() || layout.position == VertexLayout::kNoPosition)
        return D3D_OK; // a lost device draws nothing and says nothing
    StreamSources sources;
    if (call.userVertices) {
        sources.bases[0] = call.userVertices;
        sources.strides[0] = call.userStride;
    } else {
        for (UINT s = 0; s < kStreams; ++s) {
            const StreamSource& stream = m_state.streams[s];
            if (!stream.buffer)
                continue;
            const int64_t offset =
                static_cast<int64_t>(stream.offset) + static_cast<int64_t>(call.baseVertex) * stream.stride;
            // Every byte read, up to the last attribute of the last vertex, must lie inside the
            // buffer, whatever the stride.
            const int64_t end =
                offset + static_cast<int64_t>(call.end - 1) * stream.stride + AttributeEnd(layout, s);
            if (offset < 0 || end > static_cast<int64_t>(stream.buffer->Size()))
                return D3DERR_INVALIDCALL;
            sources.bases[s] = stream.buffer->Data() + offset;
            sources.strides[s] = stream.stride;
            sources.buffers[s] = stream.buffer;
            sources.offsets[s] = static_cast<UINT>(offset);
        }
    }
    if (!sources.Of(layout.pos))
        return D3DERR_INVALIDCALL;
    // An attribute whose stream has no source is not read: OpenGL's current value stands for it,
    // as for one the vertex format lacks.
    for (AttributeSource* a : {&layout.normal, &layout.diffuse, &layout.specular})
        a->present = sources.Of(*a) != nullptr;
    for (AttributeSource& a : layout.tex)
        a.present = sources.Of(a) != nullptr;

    CaptureDraw(call, layout, sources);
    if (m_batch.MayJoin(call, layout, sources, m_state)) {
        m_batch.Append(call, layout, sources, m_state);
        return D3D_OK;
    }
    SendBatch();
    const bool transformed = layout.position == VertexLayout::kTransformed;
    ApplyState(layout);
    ApplyVertexProgram(transformed);
    const DrawSettings settings = SettingsNow(layout);
    if (s_batching && DrawBatch::Gatherable(call, layout, m_state))
        m_batch.Open(call, layout, sources, m_state, settings, m_context);
    else
        m_drawer.Draw(m_gl, call, layout, sources, settings);
    return D3D_OK;
}

DrawSettings Device::SettingsNow(const VertexLayout& layout) const
{
    const bool transformed = layout.position == VertexLayout::kTransformed;
    DrawSettings settings;
    settings.lighting = m_state.Lit(transformed);
    settings.programmed = m_state.vertexProgram != 0 && !transformed;
    settings.texturing = m_glTexturing;
    settings.texCoordSet = m_state.stageStates[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    return settings;
}

void ArrayDrawer::Pointer(GlStateCache& gl, GLenum array, const AttributeSource& a, const StreamSources& sources)
{
    // A vertex buffer's attribute is read from its OpenGL copy, at its offset there.
    VertexBuffer* buffer = sources.buffers[a.stream];
    const GLuint name = buffer ? buffer->GlBuffer() : 0;
    gl.BindBuffer(GL_ARRAY_BUFFER, name);
    const void* where = name ? reinterpret_cast<const void*>(static_cast<uintptr_t>(sources.offsets[a.stream]) + a.offset)
                             : sources.Of(a);
    const GLsizei stride = static_cast<GLsizei>(sources.strides[a.stream]);
    switch (array) {
    case GL_VERTEX_ARRAY:
        QVGL(VertexPointer)(a.size, a.type, stride, where);
        break;
    case GL_NORMAL_ARRAY:
        QVGL(NormalPointer)(a.type, stride, where);
        break;
    case GL_COLOR_ARRAY:
        QVGL(ColorPointer)(a.size, a.type, stride, where);
        break;
    default:
        QVGL(TexCoordPointer)(a.size, a.type, stride, where);
        break;
    }
}

void ArrayDrawer::Draw(GlStateCache& gl, const DrawCall& call, const VertexLayout& layout,
                       const StreamSources& sources, const DrawSettings& settings)
{
    const bool transformed = layout.position == VertexLayout::kTransformed;
    const bool lighting = settings.lighting;
    const bool programmed = settings.programmed;

    // Position; pre-transformed vertices carry 1/w.
    gl.Array(GL_VERTEX_ARRAY, true);
    if (transformed) {
        m_transformed.resize(static_cast<size_t>(call.end) * 4);
        const uint8_t* p = sources.Of(layout.pos);
        const UINT stride = sources.strides[layout.pos.stream];
        for (UINT i = call.lowest; i < call.end; ++i) {
            float* out = &m_transformed[static_cast<size_t>(i) * 4];
            std::memcpy(out, p + static_cast<size_t>(i) * stride, 4 * sizeof(float));
            FromReciprocalW(out);
        }
        gl.BindBuffer(GL_ARRAY_BUFFER, 0);
        QVGL(VertexPointer)(4, GL_FLOAT, 0, m_transformed.data());
    } else {
        Pointer(gl, GL_VERTEX_ARRAY, layout.pos, sources);
    }

    // Normal: a vertex without one is lit with a zero normal (ambient and emissive only).
    const bool normals = (lighting || programmed) && sources.Of(layout.normal);
    gl.Array(GL_NORMAL_ARRAY, normals);
    if (normals) {
        Pointer(gl, GL_NORMAL_ARRAY, layout.normal, sources);
    } else if (lighting) {
        const GLfloat none[3] = {0.0f, 0.0f, 0.0f};
        gl.NormalDefault(none);
    }

    // Diffuse colour, 0xAARRGGBB (bytes B, G, R, A); white when the vertex has none.
    const uint8_t* colors = sources.Of(layout.diffuse);
    gl.Array(GL_COLOR_ARRAY, colors != nullptr);
    if (colors && layout.diffuse.size == GL_BGRA && !qv::gl::g_api.bgraColorArrays) {
        const UINT stride = sources.strides[layout.diffuse.stream];
        m_colors.resize(static_cast<size_t>(call.end) * 4);
        for (UINT i = call.lowest; i < call.end; ++i) {
            const uint8_t* c = colors + static_cast<size_t>(i) * stride;
            uint8_t* out = &m_colors[static_cast<size_t>(i) * 4];
            out[0] = c[2];
            out[1] = c[1];
            out[2] = c[0];
            out[3] = c[3];
        }
        gl.BindBuffer(GL_ARRAY_BUFFER, 0);
        QVGL(ColorPointer)(4, GL_UNSIGNED_BYTE, 0, m_colors.data());
    } else if (colors) {
        Pointer(gl, GL_COLOR_ARRAY, layout.diffuse, sources);
    } else {
        const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        gl.ColorArrayDefault(white);
    }

    // Texture coordinates of the set the first stage reads.
    const DWORD set = settings.texCoordSet;
    const AttributeSource* tex = set < 8 ? &layout.tex[set] : nullptr;
    const bool texCoords = settings.texturing && tex && sources.Of(*tex);
    gl.Array(GL_TEXTURE_COORD_ARRAY, texCoords);
    if (texCoords) {
        Pointer(gl, GL_TEXTURE_COORD_ARRAY, *tex, sources);
    } else if (settings.texturing) {
        // A vertex without the coordinates the stage reads has (0, 0), as in Direct3D.
        const GLfloat origin[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        gl.TexCoordDefault(origin);
    }

    const GLenum mode = PrimitiveMode(call.type);
    if (call.indices) {
        const GLenum type = call.wideIndices ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
        const GLuint name = call.indexBuffer ? call.indexBuffer->GlBuffer() : 0;
        gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, name);
        const void* where = name ? reinterpret_cast<const void*>(static_cast<uintptr_t>(call.indexOffset))
                                 : static_cast<const void*>(call.indices);
        // The range spares OpenGL a pass over the indices to find it.
        QVGL(DrawRangeElements)(mode, call.lowest, call.end - 1, static_cast<GLsizei>(call.count), type, where);
    } else {
        QVGL(DrawArrays)(mode, static_cast<GLint>(call.first), static_cast<GLsizei>(call.count));
    }
    gl.ForgetCurrentAttributes(colors != nullptr, normals);
    gl.Drawn(call.count);
}

void Triangles(const DrawCall& call, std::vector<uint32_t>& corners)
{
    corners.clear();
    auto vertex = [&](UINT k) -> uint32_t {
        if (!call.indices)
            return k + call.first;
        if (call.wideIndices) {
            uint32_t i;
            std::memcpy(&i, call.indices + 4 * static_cast<size_t>(k), sizeof i);
            return i;
        }
        uint16_t i;
        std::memcpy(&i, call.indices + 2 * static_cast<size_t>(k), sizeof i);
        return i;
    };
    switch (call.type) {
    case D3DPT_TRIANGLELIST:
        for (UINT k = 0; k + 2 < call.count; k += 3)
            corners.insert(corners.end(), {vertex(k), vertex(k + 1), vertex(k + 2)});
        break;
    case D3DPT_TRIANGLESTRIP:
        for (UINT t = 0; t + 2 < call.count; ++t) {
            const uint32_t a = vertex(t), b = vertex(t + 1), c = vertex(t + 2);
            corners.insert(corners.end(), {a, (t & 1) ? c : b, (t & 1) ? b : c});
        }
        break;
    case D3DPT_TRIANGLEFAN:
        for (UINT t = 0; t + 2 < call.count; ++t)
            corners.insert(corners.end(), {vertex(t + 1), vertex(t + 2), vertex(0)});
        break;
    default:
        break;
    }
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount)
{
    Count();
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.count = VertexCountOf(PrimitiveType, PrimitiveCount);
    if (!m_inScene || call.count == 0 || PrimitiveCount == 0 ||
        static_cast<uint64_t>(StartVertex) + call.count > 0xFFFFFFFFu)
        return D3DERR_INVALIDCALL;
    call.first = call.lowest = StartVertex;
    call.end = StartVertex + call.count;
    return Draw(call);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                     UINT NumVertices, UINT startIndex, UINT primCount)
{
    Count();
    (void)MinVertexIndex;
    (void)NumVertices;
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = primCount;
    call.count = VertexCountOf(PrimitiveType, primCount);
    if (!m_inScene || call.count == 0 || primCount == 0 || !m_state.indices)
        return D3DERR_INVALIDCALL;
    call.wideIndices = m_state.indices->Format() == D3DFMT_INDEX32;
    const UINT indexSize = call.wideIndices ? 4 : 2;
    if ((static_cast<uint64_t>(startIndex) + call.count) * indexSize > m_state.indices->Size())
        return D3DERR_INVALIDCALL;
    call.indexBuffer = m_state.indices;
    call.indexOffset = startIndex * indexSize;
    call.indices = m_state.indices->Data() + call.indexOffset;
    call.baseVertex = BaseVertexIndex;
    // The indices read bound the vertices read, whatever the caller's hints say.
    UINT highest = 0;
    m_state.indices->Range(startIndex, call.count, call.lowest, highest);
    call.end = highest + 1;
    return Draw(call);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                const void* pVertexStreamZeroData, UINT VertexStreamZeroStride)
{
    Count();
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.count = VertexCountOf(PrimitiveType, PrimitiveCount);
    if (!m_inScene || call.count == 0 || PrimitiveCount == 0 || !pVertexStreamZeroData || VertexStreamZeroStride == 0)
        return D3DERR_INVALIDCALL;
    // Drawing from user memory forgets stream 0 and the indices, as Direct3D does.
    m_state.streams[0] = StreamSource();
    m_state.indices = nullptr;
    call.end = call.count;
    call.userVertices = static_cast<const uint8_t*>(pVertexStreamZeroData);
    call.userStride = VertexStreamZeroStride;
    return Draw(call);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices,
                                       UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat,
                                       const void* pVertexStreamZeroData, UINT VertexStreamZeroStride)
{
    Count();
    (void)MinVertexIndex;
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.count = VertexCountOf(PrimitiveType, PrimitiveCount);
    if (!m_inScene || call.count == 0 || PrimitiveCount == 0 || NumVertices == 0 || !pIndexData ||
        !pVertexStreamZeroData || VertexStreamZeroStride == 0 ||
        (IndexDataFormat != D3DFMT_INDEX16 && IndexDataFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    m_state.streams[0] = StreamSource();
    m_state.indices = nullptr;
    call.wideIndices = IndexDataFormat == D3DFMT_INDEX32;
    call.indices = static_cast<const uint8_t*>(pIndexData);
    UINT highest = 0;
    IndexRange(pIndexData, call.count, call.wideIndices, call.lowest, highest);
    call.end = highest + 1;
    call.userVertices = static_cast<const uint8_t*>(pVertexStreamZeroData);
    call.userStride = VertexStreamZeroStride;
    return Draw(call);
}

} // namespace qv::d3d9

D3DMATRIX qv::D3D9ClipAdjustment(IDirect3DDevice9* device)
{
    auto* ours = qv::d3d9::Device::Live();
    if (!ours || static_cast<IDirect3DDevice9*>(ours) != device)
        return qv::d3d9::IdentityMatrix();
    return ours->ClipAdjustment();
}
