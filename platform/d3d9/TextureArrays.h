// Copies of textures of one size, level count and format as the layers of OpenGL texture
// arrays, so that gathered draws that differ in their texture (the road patches alternate two,
// the buildings have two dozen facades) can be one draw, with a fragment program that takes
// the texel from the vertex's layer. A copy follows its texture when the texture is written.
// Inside platform/d3d9 only.
#pragma once

#include <vector>

#include "platform/d3d9/DeviceState.h"

namespace qv::d3d9 {

class TextureArrays {
public:
    // Whether two textures could be layers of one array.
    static bool SameShape(const Texture* a, const Texture* b);

    // Where two textures of one shape go so that both are layers of one array: `first` in
    // `array` (any array when -1) and `second` beside it. Plan answers whether they can; Place
    // does it and answers the array.
    struct Placement {
        int array = -1;
        bool make = false;   // a new array, at the end of the list
        int firstLayer = -1; // -1: already a layer there
        int secondLayer = -1;
    };
    bool Plan(const Texture* first, const Texture* second, int array, Placement& placement) const;
    int Place(Texture* first, Texture* second, const Placement& placement);

    // A level of a texture reached OpenGL: its layer follows.
    void LevelWritten(Texture* texture, UINT level);
    // A texture goes away: its layer is free again.
    void Forget(Texture* texture);
    // Everything goes (with the device): its OpenGL objects are deleted when `glUsable`.
    void Free(bool glUsable);

    // Binds array `array` on unit 0's GL_TEXTURE_2D_ARRAY with sampler state `ss`.
    void Bind(int array, const SamplerStates& ss);
    // The fragment program that reads the layers: MODULATE of colour and alpha, the texel from
    // the layer the vertex names; made on first use, 0 when OpenGL cannot.
    GLuint Program();
    bool ProgramAvailable() const { return m_program || !m_programFailed; }

private:
    struct Array {
        UINT width, height, levels;
        bool alpha;
        GLuint name = 0;
        std::vector<Texture*> layers; // null where free
        SamplerStates appliedSampler{};
        bool samplerApplied = false;
    };
    bool Fits(const Array& a, const Texture* texture) const;
    // The lowest free layer of `a` other than `taken`; -1 when none.
    static int FreeLayer(const Array& a, int taken);
    void SetLayer(int array, int layer, Texture* texture);

    std::vector<Array> m_arrays;
    GLuint m_program = 0;
    bool m_programFailed = false;
};

} // namespace qv::d3d9
