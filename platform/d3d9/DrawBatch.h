// Gathering small draws into one OpenGL draw. Mesa spends several microseconds of the calling
// thread on every draw call, however few its vertices, and the game draws hundreds of road
// patches, facades, falling pieces, puffs and glyphs of a few vertices each, one call apiece.
//
// A batch begins with a draw whose state the device has just given OpenGL, and holds that state
// from then on: until the batch is sent, nothing else reaches OpenGL (the guard of GlApi.h
// stops the program otherwise), so OpenGL still holds it when the batch is drawn. A later draw
// joins only when drawn with that state it gives exactly what it gives drawn on its own: the
// same state in everything, except the world matrix where the batch can be drawn in clip space,
// the texture where the batch's textures can be layers of one texture array, and the material
// and lights where nothing is lit. Inside platform/d3d9 only.
#pragma once

#include <vector>

#include "platform/d3d9/DrawCall.h"
#include "platform/d3d9/TextureArrays.h"

namespace qv::d3d9 {

class DrawBatch {
public:
    DrawBatch(GlStateCache& gl, ArrayDrawer& drawer) : m_gl(gl), m_drawer(drawer) {}
    DrawBatch(const DrawBatch&) = delete;
    DrawBatch& operator=(const DrawBatch&) = delete;

    // Questions: they answer and change nothing.
    bool IsOpen() const { return m_open; }
    // Whether a draw can be gathered at all, with the device's state `state`.
    static bool Gatherable(const DrawCall& call, const VertexLayout& layout, const DeviceState& state);
    // Whether it may join the open batch.
    bool MayJoin(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                 const DeviceState& state) const;

    // Begins a batch with a gatherable draw, whose state OpenGL holds now, on the OpenGL
    // context `context`.
    void Open(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources, const DeviceState& state,
              const DrawSettings& settings, const void* context);
    // Adds a draw that may join.
    void Append(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                const DeviceState& state);
    // Draws what was gathered; answers the groups of state (DeviceState.h) that drawing it left
    // otherwise in OpenGL than the device gave them.
    uint32_t Send();
    // Forgets what was gathered (a lost device's frame, or one for a back buffer that went).
    void Drop();

    // Notifications.
    // A vertex or index buffer is about to be written or freed: a draw held by reference to it
    // takes a copy of what it reads first.
    void BufferChanging(const void* buffer);
    // A level of a texture reached OpenGL; a texture goes away.
    void TextureLevelWritten(Texture* texture, UINT level) { m_arrays.LevelWritten(texture, level); }
    void TextureGone(Texture* texture) { m_arrays.Forget(texture); }
    // The device goes: its OpenGL objects are deleted when `glUsable`.
    void Free(bool glUsable);

private:
    // How the gathered vertices are laid out: four floats of position ((x, y, z, 1), or
    // (x w, y w, z w, w) of pre-transformed vertices; turned into clip space when the batch's
    // draws have different worlds), then a normal, the colour's four bytes in one float's room,
    // the coordinates of the set the first stage reads, and the texture-array layer.
    struct Format {
        static constexpr uint8_t position = 4;
        bool normal = false;
        bool color = false;
        uint8_t texture = 0; // floats of the coordinates; 0 without texturing
        bool layer = false;
        uint8_t Stride() const
        {
            return static_cast<uint8_t>(position + (normal ? 3 : 0) + (color ? 1 : 0) + texture + (layer ? 1 : 0));
        }
        bool SameVertices(const Format& o) const
        {
            return normal == o.normal && color == o.color && texture == o.texture;
        }
    };
    // What the picture of a draw depends on besides its vertices, its world and its texture:
    // compared byte for byte.
    struct Snapshot {
        std::array<DWORD, kMaxRenderState> renderStates;
        std::array<DWORD, kStageStates> stage;
        SamplerStates sampler;
        D3DMATERIAL9 material;
        std::array<D3DLIGHT9, kGlLights> lights; // the enabled ones, as OpenGL's lights take them
        UINT lightCount;
        D3DMATRIX view, projection, textureMatrix;
        D3DVIEWPORT9 viewport;
        RECT scissor;
        GLuint vertexProgram;
    };
    struct Entry {
        D3DMATRIX world;
        Texture* texture;
        uint32_t firstVertex;
        uint32_t vertexCount;
    };
    // The first draw of a batch, while it reads from vertex and index buffers: held by
    // reference, and drawn from the buffers' OpenGL copies unless another draw joins it.
    struct HeldDraw {
        DrawCall call;
        VertexLayout layout;
        StreamSources sources;
        DrawSettings settings;
    };
    // A buffer object written front to back with the batches' vertices or indices, so that
    // Mesa need not copy them from memory into buffers of its own. Once full it is given back
    // to OpenGL (orphaned) and begun again.
    struct StreamBuffer {
        GLuint name = 0;
        size_t size = 0;
        size_t used = 0;
    };

    static void Take(const DeviceState& state, Snapshot& snapshot);
    static Format FormatFor(const VertexLayout& layout, const DeviceState& state, bool lit);
    static bool ClipSpaceDrawable(const DeviceState& state, bool lit);
    static bool OrdinaryNormals(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources);
    static bool LayerDrawable(const VertexLayout& layout, const DeviceState& state);
    bool SameState(const DeviceState& state, bool lit) const;
    uint32_t VertexCount() const;
    void Close();
    // The held draw copied into the batch's own vertices.
    void CopyHeldDraw();
    void AppendVertices(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                        const D3DMATRIX& world, Texture* texture);
    void MoveToClipSpace();
    // Copies `bytes` into the stream bound at `target`; the offset where they now are.
    uintptr_t WriteStream(StreamBuffer& stream, GLenum target, const void* data, size_t bytes);
    void FreeStream(StreamBuffer& stream, bool glUsable);

    GlStateCache& m_gl;
    ArrayDrawer& m_drawer;
    TextureArrays m_arrays;
    bool m_open = false;
    bool m_transformed = false;
    bool m_lit = false;
    bool m_clipSpace = false; // draws with other world matrices may join
    bool m_layered = false;   // draws with other textures (of one shape) may join
    int m_array = -1;         // the texture array whose layers the batch's textures are
    Format m_format;
    Snapshot m_state;
    Texture* m_texture = nullptr; // the first draw's
    D3DMATRIX m_firstWorld;
    bool m_holding = false;
    HeldDraw m_held;
    std::vector<Entry> m_entries;
    std::vector<float> m_vertices;
    std::vector<uint16_t> m_indices;
    std::vector<uint32_t> m_corners;
    StreamBuffer m_vertexStream;
    StreamBuffer m_indexStream;
};

} // namespace qv::d3d9
