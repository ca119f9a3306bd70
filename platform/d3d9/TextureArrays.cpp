#include "platform/d3d9/TextureArrays.h"

#include <algorithm>
#include <string>

#include "platform/d3d9/GlTranslation.h"

namespace qv::d3d9 {

namespace {

// Layers of a new array: room for a city's facades, roads and pavements.
constexpr UINT kArrayLayers = 32;

} // namespace

bool TextureArrays::SameShape(const Texture* a, const Texture* b)
{
    return a && b && a->Width() == b->Width() && a->Height() == b->Height() && a->LevelCount() == b->LevelCount() &&
           a->HasAlpha() == b->HasAlpha();
}

bool TextureArrays::Fits(const Array& a, const Texture* texture) const
{
    return a.width == texture->Width() && a.height == texture->Height() && a.levels == texture->LevelCount() &&
           a.alpha == texture->HasAlpha();
}

int TextureArrays::FreeLayer(const Array& a, int taken)
{
    for (size_t i = 0; i < a.layers.size(); ++i)
        if (!a.layers[i] && static_cast<int>(i) != taken)
            return static_cast<int>(i);
    return -1;
}

bool TextureArrays::Plan(const Texture* first, const Texture* second, int array, Placement& p) const
{
    p = Placement();
    if (!qv::gl::g_api.textureArrays || !SameShape(first, second))
        return false;
    // The first texture's array: the one given, the one it is a layer of, the first of its
    // shape with room, or a new one.
    if (first->arrayIndex >= 0) {
        if (array >= 0 && first->arrayIndex != array)
            return false;
        p.array = first->arrayIndex;
    } else {
        if (array >= 0) {
            p.array = array;
        } else {
            for (size_t i = 0; i < m_arrays.size() && p.array < 0; ++i)
                if (Fits(m_arrays[i], first) && FreeLayer(m_arrays[i], -1) >= 0)
                    p.array = static_cast<int>(i);
        }
        if (p.array < 0) {
            p.make = true;
            p.firstLayer = 0;
        } else if ((p.firstLayer = FreeLayer(m_arrays[p.array], -1)) < 0) {
            return false;
        }
    }
    if (second->arrayIndex >= 0)
        return !p.make && second->arrayIndex == p.array;
    if (p.make) {
        p.secondLayer = 1;
        return true;
    }
    p.secondLayer = FreeLayer(m_arrays[p.array], p.firstLayer);
    return p.secondLayer >= 0;
}

int TextureArrays::Place(Texture* first, Texture* second, const Placement& p)
{
    if (p.make) {
        Array a;
        a.width = first->Width();
        a.height = first->Height();
        a.levels = first->LevelCount();
        a.alpha = first->HasAlpha();
        a.layers.assign(kArrayLayers, nullptr);
        QVGL(GenTextures)(1, &a.name);
        QVGL(BindTexture)(GL_TEXTURE_2D_ARRAY, a.name);
        QVGL(TexParameteri)(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(a.levels - 1));
        for (UINT level = 0; level < a.levels; ++level)
            QVGL(TexImage3D)(GL_TEXTURE_2D_ARRAY, static_cast<GLint>(level), a.alpha ? GL_RGBA8 : GL_RGB8,
                             static_cast<GLsizei>(std::max(1u, a.width >> level)),
                             static_cast<GLsizei>(std::max(1u, a.height >> level)), kArrayLayers, 0, GL_BGRA,
                             GL_UNSIGNED_BYTE, nullptr);
        m_arrays.push_back(a);
    }
    const int array = p.make ? static_cast<int>(m_arrays.size() - 1) : p.array;
    if (p.firstLayer >= 0)
        SetLayer(array, p.firstLayer, first);
    if (p.secondLayer >= 0)
        SetLayer(array, p.secondLayer, second);
    return array;
}

void TextureArrays::SetLayer(int array, int layer, Texture* texture)
{
    m_arrays[array].layers[layer] = texture;
    texture->arrayIndex = array;
    texture->arrayLayer = layer;
    for (UINT level = 0; level < texture->LevelCount(); ++level)
        LevelWritten(texture, level);
}

void TextureArrays::LevelWritten(Texture* texture, UINT level)
{
    if (texture->arrayIndex < 0)
        return;
    const Array& a = m_arrays[texture->arrayIndex];
    QVGL(BindTexture)(GL_TEXTURE_2D_ARRAY, a.name);
    QVGL(TexSubImage3D)(GL_TEXTURE_2D_ARRAY, static_cast<GLint>(level), 0, 0, texture->arrayLayer,
                        static_cast<GLsizei>(std::max(1u, a.width >> level)),
                        static_cast<GLsizei>(std::max(1u, a.height >> level)), 1, GL_BGRA, GL_UNSIGNED_BYTE,
                        texture->Pixels(level).data());
}

void TextureArrays::Forget(Texture* texture)
{
    if (texture->arrayIndex < 0)
        return;
    m_arrays[texture->arrayIndex].layers[texture->arrayLayer] = nullptr;
    texture->arrayIndex = texture->arrayLayer = -1;
}

void TextureArrays::Free(bool glUsable)
{
    for (Array& a : m_arrays) {
        for (Texture* texture : a.layers)
            if (texture)
                texture->arrayIndex = texture->arrayLayer = -1;
        if (a.name && glUsable)
            QVGL(DeleteTextures)(1, &a.name);
    }
    m_arrays.clear();
    if (m_program && glUsable)
        QVGL(DeleteProgram)(m_program);
    m_program = 0;
    m_programFailed = false;
}

void TextureArrays::Bind(int array, const SamplerStates& ss)
{
    Array& a = m_arrays[array];
    QVGL(BindTexture)(GL_TEXTURE_2D_ARRAY, a.name);
    ApplySampler(GL_TEXTURE_2D_ARRAY, ss, a.appliedSampler, a.samplerApplied, a.levels, 0);
}

GLuint TextureArrays::Program()
{
    if (m_program || m_programFailed)
        return m_program;
    // The fixed-function first stage's MODULATE of colour and alpha, with the texel taken from
    // a layer of a texture array; the vertex stage stays the fixed-function one, which hands
    // the layer on as the third texture coordinate. The sampler reads unit 0, its default.
    static const char kSource[] = "#version 120\n"
                                  "#extension GL_EXT_texture_array : require\n"
                                  "uniform sampler2DArray textures;\n"
                                  "void main()\n"
                                  "{\n"
                                  "    gl_FragColor = texture2DArray(textures, gl_TexCoord[0].xyz) * gl_Color;\n"
                                  "}\n";
    std::string log;
    if (qv::gl::g_api.textureArrays)
        m_program = qv::gl::BuildProgram(GL_FRAGMENT_SHADER, kSource, log);
    m_programFailed = m_program == 0;
    return m_program;
}

} // namespace qv::d3d9
