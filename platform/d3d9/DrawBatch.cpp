// Draws with different world matrices cannot share OpenGL's modelview. Their vertices are taken
// to clip space here and drawn with identity matrices, computed exactly as Mesa's
// fixed-function vertex stage computes them (its modelview-projection product, then one multiply
// and three multiply-adds per coordinate, never fused; normals through the inverse it forms,
// Transforms.h), so that every vertex lands, and is lit, as it would be drawn on its own: a
// position one rounding step away moves the edge of a triangle across a pixel now and then.
#include "platform/d3d9/DrawBatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/Transforms.h"

namespace qv::d3d9 {

namespace {

// A draw of more vertices goes on its own: copying it costs more than the call it saves.
constexpr UINT kMaxBatchedVertices = 256;
constexpr UINT kMaxBatchedIndices = 3 * kMaxBatchedVertices;
// The gathered vertices are numbered with 16 bits.
constexpr uint32_t kBatchCapacity = 0xFFFF;
// Room for several frames of batches between two orphanings.
constexpr size_t kStreamSize = 4u << 20;

template <class T>
bool Same(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

DWORD TexCoordSet(const DeviceState& state)
{
    return state.stageStates[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Questions

bool DrawBatch::Gatherable(const DrawCall& call, const VertexLayout& layout, const DeviceState& state)
{
    const bool transformed = layout.position == VertexLayout::kTransformed;
    if (!transformed && state.vertexProgram != 0)
        return false;
    // Lists, and strips (whose triangles Mesa draws as the lists Triangles makes of them, to the
    // last bit); Mesa's own fans interpolate a little otherwise than any list of their triangles.
    if (call.type != D3DPT_TRIANGLELIST && call.type != D3DPT_TRIANGLESTRIP)
        return false;
    if (call.end - call.lowest > kMaxBatchedVertices || call.count > kMaxBatchedIndices)
        return false;
    // Lines and points drawn for the edges of triangles, and flat shading, depend on the order
    // of each triangle's corners, which turning strips into lists changes.
    const auto& rs = state.renderStates;
    if (rs[D3DRS_FILLMODE] != D3DFILL_SOLID || rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT)
        return false;
    if (layout.pos.type != GL_FLOAT || layout.pos.size != (transformed ? 4 : 3) ||
        (!transformed && layout.position != VertexLayout::kXyz))
        return false;
    if (state.Lit(transformed) && layout.normal.present &&
        (layout.normal.type != GL_FLOAT || layout.normal.size != 3))
        return false;
    if (layout.diffuse.present && (layout.diffuse.size != GL_BGRA || layout.diffuse.type != GL_UNSIGNED_BYTE))
        return false;
    const DWORD set = TexCoordSet(state);
    return !(set < 8 && layout.tex[set].present && layout.tex[set].type != GL_FLOAT);
}

DrawBatch::Format DrawBatch::FormatFor(const VertexLayout& layout, const DeviceState& state, bool lit)
{
    Format format;
    format.normal = lit && layout.normal.present;
    format.color = layout.diffuse.present;
    const DWORD set = TexCoordSet(state);
    if (state.Texturing() && set < 8 && layout.tex[set].present)
        format.texture = static_cast<uint8_t>(layout.tex[set].size);
    return format;
}

// With identity matrices OpenGL takes clip-space positions for eye-space ones. That changes
// nothing drawn but what depends on the eye-space position: fog, and lights other than
// directional ones, and the specular highlight; and the normals are taken to eye space here,
// which needs a modelview whose inverse is formed as OpenGL forms it.
bool DrawBatch::ClipSpaceDrawable(const DeviceState& state, bool lit)
{
    if (state.FogMode() != D3DFOG_NONE)
        return false;
    if (!lit)
        return true;
    if (state.renderStates[D3DRS_SPECULARENABLE])
        return false;
    for (const auto& entry : state.lights)
        if (entry.second.enabled && entry.second.light.Type != D3DLIGHT_DIRECTIONAL)
            return false;
    float normals[3][3];
    return GlNormalMatrix(GlModelView(state.Transform(D3DTS_WORLD), state.Transform(D3DTS_VIEW)), normals);
}

// Normals turned to eye space here meet the light as OpenGL's own do only while nothing
// overflows: OpenGL lights a normal of infinite (or near infinite) length otherwise than one
// it turned itself. A normal of a length no model has (one read from the wrong bytes) keeps its
// draw out of clip space.
bool DrawBatch::OrdinaryNormals(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources)
{
    if (!layout.normal.present)
        return true;
    for (UINT i = call.lowest; i < call.end; ++i) {
        float n[3];
        std::memcpy(n, sources.At(layout.normal, i), sizeof n);
        for (float c : n)
            if (!(std::fabs(c) <= kLargestOrdinary))
                return false;
    }
    return true;
}

// Draws with different textures of one shape are drawn with the texel taken from a texture
// array by a fragment program of the first stage's most common operation, MODULATE of colour and
// alpha with the texture and the vertex colour, and nothing after it that the fixed-function
// stage would add (fog, a specular highlight).
bool DrawBatch::LayerDrawable(const VertexLayout& layout, const DeviceState& state)
{
    const auto& ts = state.stageStates[0];
    Texture* texture = state.textures[0];
    if (!qv::gl::g_api.textureArrays || !state.Texturing() || texture->GetLOD() != 0)
        return false;
    auto modulates = [](DWORD op, DWORD a, DWORD b) {
        const auto vertex = [](DWORD arg) { return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT; };
        return op == D3DTOP_MODULATE && ((a == D3DTA_TEXTURE && vertex(b)) || (vertex(a) && b == D3DTA_TEXTURE));
    };
    if (!modulates(ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2]) ||
        !modulates(ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2]) ||
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] != D3DTTFF_DISABLE)
        return false;
    const DWORD set = TexCoordSet(state);
    if (set >= 8 || !layout.tex[set].present || layout.tex[set].size != 2)
        return false;
    return state.FogMode() == D3DFOG_NONE && !(state.Lit(false) && state.renderStates[D3DRS_SPECULARENABLE]);
}

void DrawBatch::Take(const DeviceState& state, Snapshot& s)
{
    std::memset(&s, 0, sizeof s); // compared byte for byte, padding included
    s.renderStates = state.renderStates;
    s.stage = state.stageStates[0];
    s.sampler = state.samplerStates[0];
    s.material = state.material;
    for (const auto& entry : state.lights)
        if (entry.second.enabled && s.lightCount < kGlLights)
            s.lights[s.lightCount++] = entry.second.light;
    s.view = state.Transform(D3DTS_VIEW);
    s.projection = state.Transform(D3DTS_PROJECTION);
    s.textureMatrix = state.Transform(D3DTS_TEXTURE0);
    s.viewport = state.viewport;
    s.scissor = state.scissor;
    s.vertexProgram = state.vertexProgram;
}

bool DrawBatch::SameState(const DeviceState& state, bool lit) const
{
    const Snapshot& s = m_state;
    if (!Same(s.renderStates, state.renderStates) || !Same(s.stage, state.stageStates[0]) ||
        !Same(s.sampler, state.samplerStates[0]) || !Same(s.view, state.Transform(D3DTS_VIEW)) ||
        !Same(s.projection, state.Transform(D3DTS_PROJECTION)) ||
        !Same(s.textureMatrix, state.Transform(D3DTS_TEXTURE0)) || !Same(s.viewport, state.viewport) ||
        !Same(s.scissor, state.scissor) || s.vertexProgram != state.vertexProgram)
        return false;
    if (!lit)
        return true;
    if (!Same(s.material, state.material))
        return false;
    UINT n = 0;
    for (const auto& entry : state.lights) {
        if (!entry.second.enabled || n >= kGlLights)
            continue;
        if (n >= s.lightCount || !Same(s.lights[n], entry.second.light))
            return false;
        ++n;
    }
    return n == s.lightCount;
}

bool DrawBatch::MayJoin(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                        const DeviceState& state) const
{
    const bool transformed = layout.position == VertexLayout::kTransformed;
    if (!m_open || transformed != m_transformed || !Gatherable(call, layout, state) ||
        VertexCount() + (call.end - call.lowest) > kBatchCapacity)
        return false;
    if (!FormatFor(layout, state, m_lit).SameVertices(m_format) || !SameState(state, m_lit))
        return false;
    Texture* texture = state.textures[0];
    if (texture != m_texture) {
        TextureArrays::Placement placement;
        if (!m_layered || texture->GetLOD() != 0 || !m_arrays.Plan(m_texture, texture, m_array, placement))
            return false;
    }
    // A lit batch in clip space (or that may go there) turns every draw's normals.
    if (m_clipSpace && m_lit && !OrdinaryNormals(call, layout, sources))
        return false;
    const D3DMATRIX& world = state.Transform(D3DTS_WORLD);
    if (!transformed && !Same(world, m_firstWorld)) {
        if (!m_clipSpace)
            return false;
        float normals[3][3];
        if (m_lit && !GlNormalMatrix(GlModelView(world, m_state.view), normals))
            return false;
    }
    return true;
}

uint32_t DrawBatch::VertexCount() const
{
    if (!m_entries.empty())
        return m_entries.back().firstVertex + m_entries.back().vertexCount;
    return m_holding ? m_held.call.end - m_held.call.lowest : 0;
}

// ---------------------------------------------------------------------------------------------
// Actions

void DrawBatch::Open(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                     const DeviceState& state, const DrawSettings& settings, const void* context)
{
    m_open = true;
    qv::gl::g_batchGuard.open = context;
    qv::gl::OwnCalls own; // the texture arrays' program is made on first use
    m_transformed = layout.position == VertexLayout::kTransformed;
    m_lit = state.Lit(m_transformed);
    m_clipSpace = !m_transformed && ClipSpaceDrawable(state, m_lit) && (!m_lit || OrdinaryNormals(call, layout, sources));
    m_layered = !m_transformed && LayerDrawable(layout, state) && m_arrays.Program() != 0;
    m_array = -1;
    m_format = FormatFor(layout, state, m_lit);
    m_format.layer = m_layered;
    Take(state, m_state);
    m_texture = state.textures[0];
    m_firstWorld = m_transformed ? IdentityMatrix() : state.Transform(D3DTS_WORLD);
    m_entries.clear();
    m_vertices.clear();
    m_indices.clear();
    // A draw from buffers is kept by reference: drawn alone, it reads their OpenGL copies.
    m_holding = !call.userVertices && (!call.indices || call.indexBuffer);
    if (m_holding)
        m_held = HeldDraw{call, layout, sources, settings};
    else
        AppendVertices(call, layout, sources, m_firstWorld, m_texture);
}

void DrawBatch::Append(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                       const DeviceState& state)
{
    qv::gl::OwnCalls own; // textures become layers of an array
    CopyHeldDraw();
    Texture* texture = state.textures[0];
    if (texture != m_texture) {
        TextureArrays::Placement placement;
        m_arrays.Plan(m_texture, texture, m_array, placement);
        m_array = m_arrays.Place(m_texture, texture, placement);
    }
    AppendVertices(call, layout, sources, m_transformed ? IdentityMatrix() : state.Transform(D3DTS_WORLD), texture);
}

void DrawBatch::CopyHeldDraw()
{
    if (!m_holding)
        return;
    m_holding = false;
    AppendVertices(m_held.call, m_held.layout, m_held.sources, m_firstWorld, m_texture);
}

void DrawBatch::BufferChanging(const void* buffer)
{
    if (!m_open || !m_holding)
        return;
    bool reads = m_held.call.indexBuffer == buffer;
    for (const VertexBuffer* source : m_held.sources.buffers)
        reads = reads || source == buffer;
    if (reads)
        CopyHeldDraw();
}

void DrawBatch::AppendVertices(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                               const D3DMATRIX& world, Texture* texture)
{
    const Format& format = m_format;
    const uint32_t base = VertexCount();
    const uint32_t n = call.end - call.lowest;
    const size_t stride = format.Stride();
    const size_t start = m_vertices.size();
    m_vertices.resize(start + n * stride);
    float* out = &m_vertices[start];

    // The batch's own state: a held draw may be copied after the device's has moved on.
    const DWORD set = m_state.stage[D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    const AttributeSource& tex = layout.tex[set < 8 ? set : 0];
    const bool swizzle = !qv::gl::g_api.bgraColorArrays;
    for (UINT i = call.lowest; i < call.end; ++i, out += stride) {
        float* o = out;
        float v[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        if (m_transformed) {
            std::memcpy(v, sources.At(layout.pos, i), 4 * sizeof(float));
            FromReciprocalW(v);
        } else {
            std::memcpy(v, sources.At(layout.pos, i), 3 * sizeof(float));
        }
        std::memcpy(o, v, sizeof v);
        o += 4;
        if (format.normal) {
            std::memcpy(o, sources.At(layout.normal, i), 3 * sizeof(float));
            o += 3;
        }
        if (format.color) {
            const uint8_t* c = sources.At(layout.diffuse, i);
            const uint8_t rgba[4] = {c[2], c[1], c[0], c[3]};
            std::memcpy(o++, swizzle ? rgba : c, 4);
        }
        // Copies of a known size: a string move for eight bytes costs more than the vertex.
        switch (format.texture) {
        case 1:
            std::memcpy(o, sources.At(tex, i), sizeof(float));
            break;
        case 2:
            std::memcpy(o, sources.At(tex, i), 2 * sizeof(float));
            break;
        case 3:
            std::memcpy(o, sources.At(tex, i), 3 * sizeof(float));
            break;
        case 4:
            std::memcpy(o, sources.At(tex, i), 4 * sizeof(float));
            break;
        default:
            break;
        }
        if (format.layer)
            o[format.texture] = 0.0f; // the layer, known when the batch is drawn
    }

    // Triangles of the gathered vertices, numbered from the batch's.
    Triangles(call, m_corners);
    for (uint32_t v : m_corners)
        m_indices.push_back(static_cast<uint16_t>(v - call.lowest + base));
    m_entries.push_back(Entry{world, texture, base, n});
}

void DrawBatch::MoveToClipSpace()
{
    const size_t stride = m_format.Stride();
    const bool normals = m_format.normal;
    const D3DMATRIX projection = GlProjection(m_state.projection, m_state.viewport);
    for (const Entry& entry : m_entries) {
        const D3DMATRIX modelView = GlModelView(entry.world, m_state.view);
        // OpenGL's modelview-projection product, element by element as Mesa forms it.
        const D3DMATRIX m = Multiply(modelView, projection);
        float normalMatrix[3][3] = {};
        if (normals)
            GlNormalMatrix(modelView, normalMatrix); // every world of a lit batch has one (MayJoin)
        float* v = &m_vertices[entry.firstVertex * stride];
        for (uint32_t i = 0; i < entry.vertexCount; ++i, v += stride) {
            const float x = v[0], y = v[1], z = v[2], w = v[3];
            for (int c = 0; c < 4; ++c) {
                float t = x * m.m[0][c];
                t = y * m.m[1][c] + t;
                t = z * m.m[2][c] + t;
                v[c] = w * m.m[3][c] + t;
            }
            if (normals) {
                const float nx = v[4], ny = v[5], nz = v[6];
                for (int c = 0; c < 3; ++c)
                    v[4 + c] = nx * normalMatrix[0][c] + (ny * normalMatrix[1][c] + nz * normalMatrix[2][c]);
            }
        }
    }
    const D3DMATRIX identity = IdentityMatrix();
    m_gl.LoadMatrix(GL_PROJECTION, &identity.m[0][0]);
    m_gl.LoadMatrix(GL_MODELVIEW, &identity.m[0][0]);
    // With no specular highlight the viewer's place changes nothing, and a position in clip
    // space is not the eye's.
    if (m_lit)
        m_gl.LightModelLocalViewer(false);
}

uintptr_t DrawBatch::WriteStream(StreamBuffer& stream, GLenum target, const void* data, size_t bytes)
{
    const size_t aligned = (bytes + 15) & ~size_t(15);
    if (!stream.name)
        QVGL(GenBuffers)(1, &stream.name);
    m_gl.BindBuffer(target, stream.name);
    if (stream.used + aligned > stream.size) {
        stream.size = std::max(kStreamSize, aligned);
        QVGL(BufferData)(target, static_cast<GLsizeiptr>(stream.size), nullptr, GL_STREAM_DRAW);
        stream.used = 0;
    }
    const uintptr_t offset = stream.used;
    QVGL(BufferSubData)(target, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(bytes), data);
    stream.used += aligned;
    return offset;
}

void DrawBatch::FreeStream(StreamBuffer& stream, bool glUsable)
{
    if (stream.name && glUsable) {
        m_gl.ForgetBuffer(stream.name);
        QVGL(DeleteBuffers)(1, &stream.name);
    }
    stream = StreamBuffer();
}

void DrawBatch::Close()
{
    m_open = false;
    m_holding = false;
    qv::gl::g_batchGuard.open = nullptr;
    m_entries.clear();
    m_vertices.clear();
    m_indices.clear();
}

void DrawBatch::Drop()
{
    Close();
}

void DrawBatch::Free(bool glUsable)
{
    Close();
    FreeStream(m_vertexStream, glUsable);
    FreeStream(m_indexStream, glUsable);
    m_arrays.Free(glUsable);
}

uint32_t DrawBatch::Send()
{
    if (!m_open)
        return 0;
    qv::gl::OwnCalls own;
    if (m_holding) {
        // Alone after all: drawn from its buffers, with the state and world OpenGL holds.
        m_drawer.Draw(m_gl, m_held.call, m_held.layout, m_held.sources, m_held.settings);
        Close();
        return 0;
    }
    if (m_entries.empty()) {
        Close();
        return 0;
    }
    uint32_t changed = 0;
    // Draws that share the first one's world are drawn with it, as OpenGL holds it.
    bool oneWorld = true;
    for (const Entry& entry : m_entries)
        oneWorld = oneWorld && Same(entry.world, m_entries.front().world);
    if (!oneWorld) {
        MoveToClipSpace();
        changed |= kDirtyProjection | kDirtyModelView | kDirtyLighting;
    }

    const Format& format = m_format;
    const size_t stride = format.Stride();
    // Draws of more than one texture take their texels from the array of their layers.
    const bool layered = m_array >= 0;
    if (layered) {
        const size_t slot = stride - 1;
        for (const Entry& entry : m_entries) {
            float* v = &m_vertices[entry.firstVertex * stride + slot];
            for (uint32_t i = 0; i < entry.vertexCount; ++i, v += stride)
                *v = static_cast<float>(entry.texture->arrayLayer);
        }
        m_arrays.Bind(m_array, m_state.sampler);
        m_gl.UseProgram(m_arrays.Program());
    }
    const uintptr_t vertices =
        WriteStream(m_vertexStream, GL_ARRAY_BUFFER, m_vertices.data(), m_vertices.size() * sizeof(float));
    const uintptr_t indices =
        WriteStream(m_indexStream, GL_ELEMENT_ARRAY_BUFFER, m_indices.data(), m_indices.size() * sizeof(uint16_t));
    m_gl.BindBuffer(GL_ARRAY_BUFFER, m_vertexStream.name);
    m_gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexStream.name);
    const GLsizei bytes = static_cast<GLsizei>(stride * sizeof(float));
    auto at = [&](size_t floats) { return reinterpret_cast<const void*>(vertices + floats * sizeof(float)); };
    size_t offset = 0;
    m_gl.Array(GL_VERTEX_ARRAY, true);
    QVGL(VertexPointer)(4, GL_FLOAT, bytes, at(offset));
    offset += 4;
    m_gl.Array(GL_NORMAL_ARRAY, format.normal);
    if (format.normal) {
        QVGL(NormalPointer)(GL_FLOAT, bytes, at(offset));
        offset += 3;
    } else if (m_lit) {
        const GLfloat none[3] = {0.0f, 0.0f, 0.0f};
        m_gl.NormalDefault(none);
    }
    m_gl.Array(GL_COLOR_ARRAY, format.color);
    if (format.color) {
        QVGL(ColorPointer)(qv::gl::g_api.bgraColorArrays ? GL_BGRA : 4, GL_UNSIGNED_BYTE, bytes, at(offset));
        offset += 1;
    } else {
        const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        m_gl.ColorArrayDefault(white);
    }
    m_gl.Array(GL_TEXTURE_COORD_ARRAY, format.texture != 0);
    if (format.texture) {
        QVGL(TexCoordPointer)(format.texture + (layered ? 1 : 0), GL_FLOAT, bytes, at(offset));
    } else {
        const GLfloat origin[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        m_gl.TexCoordDefault(origin);
    }
    QVGL(DrawRangeElements)(GL_TRIANGLES, 0, VertexCount() - 1, static_cast<GLsizei>(m_indices.size()),
                            GL_UNSIGNED_SHORT, reinterpret_cast<const void*>(indices));
    m_gl.ForgetCurrentAttributes(format.color, format.normal);
    if (layered)
        m_gl.UseProgram(0);
    m_gl.Drawn(m_indices.size());
    Close();
    return changed;
}

} // namespace qv::d3d9
