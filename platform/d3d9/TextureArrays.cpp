// Texture arrays for gathered draws that differ in their texture (the road patches alternate
// two, the buildings have two dozen facades): each texture of one size, level count and format
// that such a batch uses gets a copy as one layer of an OpenGL texture array, kept up to date
// when the texture changes, so that the whole batch is one draw.
#include "platform/d3d9/Device.h"

namespace qv::d3d9 {

namespace {

// Layers of a new array: room for a city's facades, roads and pavements.
constexpr UINT kArrayLayers = 32;

} // namespace

bool Device::SameShape(const Texture* a, const Texture* b)
{
    return a && b && a->Width() == b->Width() && a->Height() == b->Height() && a->LevelCount() == b->LevelCount() &&
           a->HasAlpha() == b->HasAlpha();
}

bool Device::PlaceInArray(Texture* texture, int array)
{
    if (texture->arrayIndex >= 0)
        return array < 0 || texture->arrayIndex == array;
    if (!GlUsable())
        return false;
    auto fits = [&](const TextureArray& a) {
        return a.width == texture->Width() && a.height == texture->Height() && a.levels == texture->LevelCount() &&
               a.alpha == texture->HasAlpha();
    };
    auto freeLayer = [](const TextureArray& a) {
        for (size_t i = 0; i < a.layers.size(); ++i)
            if (!a.layers[i])
                return static_cast<int>(i);
        return -1;
    };
    int chosen = -1, layer = -1;
    if (array >= 0) {
        if (fits(m_textureArrays[array]) && (layer = freeLayer(m_textureArrays[array])) >= 0)
            chosen = array;
    } else {
        for (size_t i = 0; i < m_textureArrays.size() && chosen < 0; ++i)
            if (fits(m_textureArrays[i]) && (layer = freeLayer(m_textureArrays[i])) >= 0)
                chosen = static_cast<int>(i);
        if (chosen < 0) {
            TextureArray a;
            a.width = texture->Width();
            a.height = texture->Height();
            a.levels = texture->LevelCount();
            a.alpha = texture->HasAlpha();
            a.layers.assign(kArrayLayers, nullptr);
            QVGL(GenTextures)(1, &a.name);
            QVGL(BindTexture)(GL_TEXTURE_2D_ARRAY, a.name);
            QVGL(TexParameteri)(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(a.levels - 1));
            for (UINT level = 0; level < a.levels; ++level)
                QVGL(TexImage3D)(GL_TEXTURE_2D_ARRAY, static_cast<GLint>(level), a.alpha ? GL_RGBA8 : GL_RGB8,
                                 static_cast<GLsizei>(std::max(1u, a.width >> level)),
                                 static_cast<GLsizei>(std::max(1u, a.height >> level)), kArrayLayers, 0, GL_BGRA,
                                 GL_UNSIGNED_BYTE, nullptr);
            m_textureArrays.push_back(a);
            chosen = static_cast<int>(m_textureArrays.size() - 1);
            layer = 0;
        }
    }
    if (chosen < 0)
        return false;
    m_textureArrays[chosen].layers[layer] = texture;
    texture->arrayIndex = chosen;
    texture->arrayLayer = layer;
    for (UINT level = 0; level < texture->LevelCount(); ++level)
        TextureLevelChanged(texture, level);
    return true;
}

void Device::TextureLevelChanged(Texture* texture, UINT level)
{
    if (texture->arrayIndex < 0 || !GlUsable())
        return;
    const TextureArray& a = m_textureArrays[texture->arrayIndex];
    QVGL(BindTexture)(GL_TEXTURE_2D_ARRAY, a.name);
    QVGL(TexSubImage3D)(GL_TEXTURE_2D_ARRAY, static_cast<GLint>(level), 0, 0, texture->arrayLayer,
                        static_cast<GLsizei>(std::max(1u, a.width >> level)),
                        static_cast<GLsizei>(std::max(1u, a.height >> level)), 1, GL_BGRA, GL_UNSIGNED_BYTE,
                        texture->Pixels(level).data());
}

void Device::ForgetArrayLayer(Texture* texture)
{
    if (texture->arrayIndex < 0)
        return;
    m_textureArrays[texture->arrayIndex].layers[texture->arrayLayer] = nullptr;
    texture->arrayIndex = texture->arrayLayer = -1;
}

void Device::FreeTextureArrays()
{
    for (TextureArray& a : m_textureArrays) {
        for (Texture* texture : a.layers)
            if (texture)
                texture->arrayIndex = texture->arrayLayer = -1;
        if (a.name && GlUsable())
            QVGL(DeleteTextures)(1, &a.name);
    }
    m_textureArrays.clear();
}

} // namespace qv::d3d9
