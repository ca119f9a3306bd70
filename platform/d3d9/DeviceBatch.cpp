// Gathering small draws. Mesa spends several microseconds of the calling thread on every draw
// call, however few its vertices, and the game draws hundreds of road patches, facades, falling
// pieces, puffs and glyphs of a few vertices each, one call apiece. Consecutive draws whose
// state differs in nothing but the world matrix (and the texture, where their textures can be
// layers of one texture array: TextureArrays.cpp) are gathered here and reach OpenGL as one
// array of triangles. The batch is drawn before anything else reaches OpenGL, so what is
// drawn, and in which order, stays as the calls gave it.
//
// Draws with different world matrices cannot share OpenGL's modelview. Their vertices are
// taken to clip space here and drawn with identity matrices, computed exactly as Mesa's
// fixed-function vertex stage computes them (its modelview-projection product, then one
// multiply and three multiply-adds per coordinate, never fused), so that every vertex lands
// where it would have landed drawn on its own: a position one rounding step away moves the
// edge of a triangle across a pixel now and then.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/Device.h"

namespace qv::d3d9 {

namespace {

// A draw of more vertices goes on its own: copying it costs more than the call it saves.
constexpr UINT kMaxBatchedVertices = 256;
constexpr UINT kMaxBatchedIndices = 3 * kMaxBatchedVertices;
// The gathered vertices are numbered with 16 bits.
constexpr uint32_t kBatchCapacity = 0xFFFF;
// Room for several frames of batches between two orphanings.
constexpr size_t kStreamSize = 4u << 20;

bool g_batching = true;

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

float Determinant3(const D3DMATRIX& m)
{
    return m._11 * (m._22 * m._33 - m._23 * m._32) - m._12 * (m._21 * m._33 - m._23 * m._31) +
           m._13 * (m._21 * m._32 - m._22 * m._31);
}

// The inverse transpose of the upper 3x3, which carries normals as OpenGL's modelview does.
void NormalMatrix(const D3DMATRIX& m, float out[3][3])
{
    const float d = Determinant3(m);
    // Cofactors over the determinant: the inverse's transpose.
    out[0][0] = (m._22 * m._33 - m._23 * m._32) / d;
    out[0][1] = (m._23 * m._31 - m._21 * m._33) / d;
    out[0][2] = (m._21 * m._32 - m._22 * m._31) / d;
    out[1][0] = (m._13 * m._32 - m._12 * m._33) / d;
    out[1][1] = (m._11 * m._33 - m._13 * m._31) / d;
    out[1][2] = (m._12 * m._31 - m._11 * m._32) / d;
    out[2][0] = (m._12 * m._23 - m._13 * m._22) / d;
    out[2][1] = (m._13 * m._21 - m._11 * m._23) / d;
    out[2][2] = (m._11 * m._22 - m._12 * m._21) / d;
}

void Device::EnableBatching(bool enabled)
{
    g_batching = enabled;
}

bool Device::BatchingEnabled()
{
    return g_batching;
}

uint32_t Device::Batch::VertexCount() const
{
    if (!entries.empty())
        return entries.back().firstVertex + entries.back().vertexCount;
    return holding ? held.call.end - held.call.lowest : 0;
}

bool Device::Batchable(const DrawCall& call, const VertexLayout& layout, bool transformed) const
{
    if (!g_batching || (!transformed && m_vertexProgram != 0))
        return false;
    if (call.type != D3DPT_TRIANGLELIST && call.type != D3DPT_TRIANGLESTRIP && call.type != D3DPT_TRIANGLEFAN)
        return false;
    if (call.end - call.lowest > kMaxBatchedVertices || call.count > kMaxBatchedIndices)
        return false;
    // Lines and points drawn for the edges of triangles, and flat shading, depend on the order
    // of each triangle's corners, which turning strips and fans into lists changes.
    if (m_renderStates[D3DRS_FILLMODE] != D3DFILL_SOLID || m_renderStates[D3DRS_SHADEMODE] == D3DSHADE_FLAT)
        return false;
    if (layout.pos.type != GL_FLOAT || layout.pos.size != (transformed ? 4 : 3) ||
        (!transformed && layout.position != VertexLayout::kXyz))
        return false;
    const bool lighting = !transformed && m_renderStates[D3DRS_LIGHTING] != FALSE;
    if (lighting && layout.normal.present && (layout.normal.type != GL_FLOAT || layout.normal.size != 3))
        return false;
    if (layout.diffuse.present && (layout.diffuse.size != GL_BGRA || layout.diffuse.type != GL_UNSIGNED_BYTE))
        return false;
    const DWORD set = m_stageStates[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    return !(set < 8 && layout.tex[set].present && layout.tex[set].type != GL_FLOAT);
}

Device::BatchFormat Device::FormatFor(const VertexLayout& layout, bool lit, bool texturing) const
{
    BatchFormat format;
    format.normal = lit && layout.normal.present;
    format.color = layout.diffuse.present;
    const DWORD set = m_stageStates[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    if (texturing && set < 8 && layout.tex[set].present)
        format.texture = static_cast<uint8_t>(layout.tex[set].size);
    return format;
}

// Draws with different textures of one shape are drawn with the texel taken from a texture
// array by a fragment program of the first stage's most common operation, MODULATE of colour and
// alpha with the texture and the vertex colour, and nothing after it that the fixed-function
// stage would add (fog, a specular highlight).
bool Device::LayerDrawable(const VertexLayout& layout)
{
    const auto& rs = m_renderStates;
    const auto& ts = m_stageStates[0];
    Texture* texture = m_textures[0];
    if (!qv::gl::g_api.textureArrays || !m_glTexturing || !texture || texture->GetLOD() != 0)
        return false;
    auto modulates = [](DWORD op, DWORD a, DWORD b) {
        const auto vertex = [](DWORD arg) { return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT; };
        return op == D3DTOP_MODULATE && ((a == D3DTA_TEXTURE && vertex(b)) || (vertex(a) && b == D3DTA_TEXTURE));
    };
    if (!modulates(ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2]) ||
        !modulates(ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2]) ||
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] != D3DTTFF_DISABLE)
        return false;
    const DWORD set = ts[D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    if (set >= 8 || !layout.tex[set].present || layout.tex[set].size != 2)
        return false;
    if (FogMode() != D3DFOG_NONE || (rs[D3DRS_LIGHTING] && rs[D3DRS_SPECULARENABLE]))
        return false;
    return TextureArrayProgram() != 0;
}

// With identity matrices OpenGL takes clip-space positions for eye-space ones. That changes
// nothing drawn but what depends on the eye-space position: fog, and lights other than
// directional ones, and the specular highlight.
bool Device::ClipSpaceDrawable() const
{
    const auto& rs = m_renderStates;
    if (FogMode() != D3DFOG_NONE)
        return false;
    if (!rs[D3DRS_LIGHTING])
        return true;
    if (rs[D3DRS_SPECULARENABLE])
        return false;
    for (const auto& entry : m_lights)
        if (entry.second.enabled && entry.second.light.Type != D3DLIGHT_DIRECTIONAL)
            return false;
    // The normals are taken to eye space here: the modelview must have an inverse.
    const float d = Determinant3(GlModelView(Transform(D3DTS_WORLD)));
    return std::isfinite(d) && d != 0.0f;
}

void Device::CaptureBatchState(BatchState& state) const
{
    state.renderStates = m_renderStates;
    state.stage = m_stageStates[0];
    state.sampler = m_samplerStates[0];
    state.texture = m_textures[0];
    state.material = m_material;
    state.lightsVersion = m_lightsVersion;
    state.view = Transform(D3DTS_VIEW);
    state.projection = Transform(D3DTS_PROJECTION);
    state.textureMatrix = Transform(D3DTS_TEXTURE0);
    state.viewport = m_viewport;
    state.scissor = m_scissor;
}

bool Device::SameAsBatchState(const BatchState& state, bool otherTexture) const
{
    auto same = [](const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    if ((!otherTexture && m_textures[0] != state.texture) || !same(m_renderStates, state.renderStates) ||
        !same(m_stageStates[0], state.stage) || !same(m_samplerStates[0], state.sampler))
        return false;
    if (m_batch.lit && (m_lightsVersion != state.lightsVersion || !same(m_material, state.material)))
        return false;
    return SameMatrix(Transform(D3DTS_VIEW), state.view) && SameMatrix(Transform(D3DTS_PROJECTION), state.projection) &&
           SameMatrix(Transform(D3DTS_TEXTURE0), state.textureMatrix) && same(m_viewport, state.viewport) &&
           same(m_scissor, state.scissor);
}

void Device::OpenBatch(const VertexLayout& layout, bool transformed)
{
    m_batch.open = true;
    m_batch.transformed = transformed;
    m_batch.lit = !transformed && m_renderStates[D3DRS_LIGHTING] != FALSE;
    m_batch.clipSpace = !transformed && ClipSpaceDrawable();
    m_batch.layered = !transformed && LayerDrawable(layout);
    m_batch.array = -1;
    m_batch.format = FormatFor(layout, m_batch.lit, m_glTexturing);
    m_batch.format.layer = m_batch.layered;
    m_batch.residualDirty = m_dirty;
    CaptureBatchState(m_batch.state);
    m_batch.firstWorld = transformed ? IdentityMatrix() : Transform(D3DTS_WORLD);
    m_batch.holding = false;
    m_batch.entries.clear();
    m_batch.vertices.clear();
    m_batch.indices.clear();
}

bool Device::JoinsBatch(const DrawCall& call, const VertexLayout& layout, bool transformed)
{
    if (!m_batch.open || m_batch.transformed != transformed ||
        m_batch.VertexCount() + (call.end - call.lowest) > kBatchCapacity)
        return false;
    // OpenGL still holds the batch's state, texturing included: nothing was applied since.
    if (!(FormatFor(layout, m_batch.lit, m_glTexturing) == m_batch.format))
        return false;
    // Anything set since the batch began must have come back to the batch's value (the game
    // sets states around each draw and back after it). The world matrix may differ where the
    // batch can be drawn in clip space, the texture where its textures can be layers of one
    // array.
    const bool otherTexture = m_textures[0] != m_batch.state.texture;
    if (otherTexture && !(m_batch.layered && m_textures[0] && m_textures[0]->GetLOD() == 0 &&
                          SameShape(m_textures[0], m_batch.state.texture)))
        return false;
    const uint32_t changed = m_dirty & ~(m_batch.residualDirty | kDirtyModelView);
    if (changed != 0 && !SameAsBatchState(m_batch.state, otherTexture))
        return false;
    if (!transformed && !SameMatrix(Transform(D3DTS_WORLD), m_batch.firstWorld)) {
        if (!m_batch.clipSpace)
            return false;
        if (m_batch.format.normal) {
            const float d = Determinant3(GlModelView(Transform(D3DTS_WORLD)));
            if (!std::isfinite(d) || d == 0.0f)
                return false;
        }
    }
    if (otherTexture) {
        if (m_batch.array < 0) {
            if (!PlaceInArray(m_batch.state.texture, -1))
                return false;
            m_batch.array = m_batch.state.texture->arrayIndex;
        }
        if (!PlaceInArray(m_textures[0], m_batch.array))
            return false;
    }
    // OpenGL holds the batch's texture, not the device's: it is bound again for the next draw.
    m_dirty = m_batch.residualDirty | (m_dirty & kDirtyModelView) | (otherTexture ? kDirtyStage | kDirtySampler : 0u);
    return true;
}

void Device::CopyHeldDraw()
{
    if (!m_batch.holding)
        return;
    m_batch.holding = false;
    AppendToBatch(m_batch.held.call, m_batch.held.layout, m_batch.held.sources, m_batch.firstWorld,
                  m_batch.state.texture);
}

void Device::BufferChanging(const void* buffer)
{
    if (!m_batch.open || !m_batch.holding)
        return;
    bool reads = m_batch.held.call.indexBuffer == buffer;
    for (const VertexBuffer* source : m_batch.held.sources.buffers)
        reads = reads || source == buffer;
    if (reads)
        CopyHeldDraw();
}

void Device::AppendToBatch(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                           const D3DMATRIX& world, Texture* texture)
{
    const BatchFormat& format = m_batch.format;
    const uint32_t base = m_batch.VertexCount();
    const uint32_t n = call.end - call.lowest;
    const size_t stride = format.Stride();
    const size_t start = m_batch.vertices.size();
    m_batch.vertices.resize(start + n * stride);
    float* out = &m_batch.vertices[start];

    // The batch's own state: a held draw may be copied after the device's has moved on.
    const DWORD set = m_batch.state.stage[D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    const AttributeSource& tex = layout.tex[set < 8 ? set : 0];
    auto at = [&](const AttributeSource& a, UINT i) {
        return sources.Of(a) + static_cast<size_t>(i) * sources.strides[a.stream];
    };
    const bool swizzle = !qv::gl::g_api.bgraColorArrays;
    for (UINT i = call.lowest; i < call.end; ++i, out += stride) {
        float* o = out;
        float v[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        if (m_batch.transformed) {
            std::memcpy(v, at(layout.pos, i), 4 * sizeof(float));
            FromReciprocalW(v);
        } else {
            std::memcpy(v, at(layout.pos, i), 3 * sizeof(float));
        }
        std::memcpy(o, v, sizeof v);
        o += 4;
        if (format.normal) {
            std::memcpy(o, at(layout.normal, i), 3 * sizeof(float));
            o += 3;
        }
        if (format.color) {
            const uint8_t* c = at(layout.diffuse, i);
            const uint8_t rgba[4] = {c[2], c[1], c[0], c[3]};
            std::memcpy(o++, swizzle ? rgba : c, 4);
        }
        // Copies of a known size: a string move for eight bytes costs more than the vertex.
        switch (format.texture) {
        case 1:
            std::memcpy(o, at(tex, i), sizeof(float));
            break;
        case 2:
            std::memcpy(o, at(tex, i), 2 * sizeof(float));
            break;
        case 3:
            std::memcpy(o, at(tex, i), 3 * sizeof(float));
            break;
        case 4:
            std::memcpy(o, at(tex, i), 4 * sizeof(float));
            break;
        default:
            break;
        }
        if (format.layer)
            o[format.texture] = 0.0f; // the layer, known when the batch is drawn
    }

    // Triangles of the gathered vertices, numbered from the batch's.
    Triangles(call, m_cornerScratch);
    for (uint32_t v : m_cornerScratch)
        m_batch.indices.push_back(static_cast<uint16_t>(v - call.lowest + base));
    m_batch.entries.push_back(BatchEntry{world, texture, base, n});
}

void Device::Triangles(const DrawCall& call, std::vector<uint32_t>& corners)
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

void Device::MoveBatchToClipSpace()
{
    const size_t stride = m_batch.format.Stride();
    const bool normals = m_batch.format.normal;
    const D3DMATRIX projection = GlProjection();
    for (const BatchEntry& entry : m_batch.entries) {
        const D3DMATRIX modelView = GlModelView(entry.world);
        // OpenGL's modelview-projection product, element by element as Mesa forms it.
        const D3DMATRIX m = Multiply(modelView, projection);
        float normalMatrix[3][3] = {};
        if (normals)
            NormalMatrix(modelView, normalMatrix);
        float* v = &m_batch.vertices[entry.firstVertex * stride];
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
                    v[4 + c] = nx * normalMatrix[0][c] + ny * normalMatrix[1][c] + nz * normalMatrix[2][c];
            }
        }
    }
    const D3DMATRIX identity = IdentityMatrix();
    m_gl.LoadMatrix(GL_PROJECTION, &identity.m[0][0]);
    m_gl.LoadMatrix(GL_MODELVIEW, &identity.m[0][0]);
    // With no specular highlight the viewer's place changes nothing, and a position in clip
    // space is not the eye's.
    if (m_batch.lit)
        m_gl.LightModelLocalViewer(false);
    m_dirty |= kDirtyProjection | kDirtyModelView | kDirtyLighting;
}

uintptr_t Device::WriteStream(StreamBuffer& stream, GLenum target, const void* data, size_t bytes)
{
    const size_t aligned = (bytes + 15) & ~size_t(15);
    if (!stream.name)
        QVGL(GenBuffers)(1, &stream.name);
    BindBufferForUpload(target, stream.name);
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

void Device::FreeStream(StreamBuffer& stream)
{
    if (stream.name && GlUsable()) {
        ForgetGlBuffer(stream.name);
        QVGL(DeleteBuffers)(1, &stream.name);
    }
    stream = StreamBuffer();
}

void Device::DropBatch()
{
    m_batch.open = false;
    m_batch.holding = false;
    m_batch.entries.clear();
    m_batch.vertices.clear();
    m_batch.indices.clear();
}

void Device::FlushBatch()
{
    if (!m_batch.open)
        return;
    m_batch.open = false;
    if (!GlUsable()) {
        DropBatch();
        return;
    }
    if (m_batch.holding) {
        // Alone after all: drawn from its buffers, with the state and world OpenGL holds.
        const HeldDraw& held = m_batch.held;
        DrawDirect(held.call, held.layout, held.sources, held.settings);
        DropBatch();
        return;
    }
    if (m_batch.entries.empty()) {
        DropBatch();
        return;
    }
    // Draws that share the first one's world are drawn with it, as OpenGL holds it.
    bool oneWorld = true;
    for (const BatchEntry& entry : m_batch.entries)
        oneWorld = oneWorld && SameMatrix(entry.world, m_batch.entries.front().world);
    if (!oneWorld)
        MoveBatchToClipSpace();

    const BatchFormat& format = m_batch.format;
    // Draws of more than one texture take their texels from the array of their layers.
    const bool layered = m_batch.array >= 0;
    if (layered) {
        const size_t stride = format.Stride();
        const size_t slot = stride - 1;
        for (const BatchEntry& entry : m_batch.entries) {
            float* v = &m_batch.vertices[entry.firstVertex * stride + slot];
            for (uint32_t i = 0; i < entry.vertexCount; ++i, v += stride)
                *v = static_cast<float>(entry.texture->arrayLayer);
        }
        TextureArray& array = m_textureArrays[m_batch.array];
        QVGL(BindTexture)(GL_TEXTURE_2D_ARRAY, array.name);
        ApplySamplerTo(GL_TEXTURE_2D_ARRAY, m_batch.state.sampler, array.appliedSampler, array.samplerApplied,
                       array.levels, 0);
        UseProgram(m_textureArrayProgram);
    }
    const uintptr_t vertices = WriteStream(m_batchVertexStream, GL_ARRAY_BUFFER, m_batch.vertices.data(),
                                           m_batch.vertices.size() * sizeof(float));
    const uintptr_t indices = WriteStream(m_batchIndexStream, GL_ELEMENT_ARRAY_BUFFER, m_batch.indices.data(),
                                          m_batch.indices.size() * sizeof(uint16_t));
    BindArrayBuffer(m_batchVertexStream.name);
    BindElementBuffer(m_batchIndexStream.name);
    const GLsizei bytes = static_cast<GLsizei>(format.Stride() * sizeof(float));
    auto at = [&](size_t floats) { return reinterpret_cast<const void*>(vertices + floats * sizeof(float)); };
    size_t offset = 0;
    SetArray(GL_VERTEX_ARRAY, true);
    QVGL(VertexPointer)(4, GL_FLOAT, bytes, at(offset));
    offset += 4;
    SetArray(GL_NORMAL_ARRAY, format.normal);
    if (format.normal) {
        QVGL(NormalPointer)(GL_FLOAT, bytes, at(offset));
        offset += 3;
    } else if (m_batch.lit) {
        const GLfloat none[3] = {0.0f, 0.0f, 0.0f};
        m_gl.NormalDefault(none);
    }
    SetArray(GL_COLOR_ARRAY, format.color);
    if (format.color) {
        QVGL(ColorPointer)(qv::gl::g_api.bgraColorArrays ? GL_BGRA : 4, GL_UNSIGNED_BYTE, bytes, at(offset));
        offset += 1;
    } else {
        const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        m_gl.ColorArrayDefault(white);
    }
    SetArray(GL_TEXTURE_COORD_ARRAY, format.texture != 0);
    if (format.texture)
        QVGL(TexCoordPointer)(format.texture + (layered ? 1 : 0), GL_FLOAT, bytes, at(offset));
    QVGL(DrawRangeElements)(GL_TRIANGLES, 0, m_batch.VertexCount() - 1, static_cast<GLsizei>(m_batch.indices.size()),
                            GL_UNSIGNED_SHORT, reinterpret_cast<const void*>(indices));
    m_gl.ForgetCurrentAttributes(format.color, format.normal);
    if (layered)
        UseProgram(0);
    Drawn(m_batch.indices.size());
    DropBatch();
}

} // namespace qv::d3d9
