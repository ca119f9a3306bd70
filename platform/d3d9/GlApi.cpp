#include "platform/d3d9/GlApi.h"

#include <SDL.h>

#include <string>

namespace qv::gl {

Api g_api;
uint64_t g_callCount = 0;
uint64_t g_drawCount = 0;

namespace {

void* Lookup(const char* name)
{
    // Framebuffer objects and the separate stencil and blend calls may only be offered under
    // their extension names by an old driver.
    void* p = SDL_GL_GetProcAddress(name);
    if (!p)
        p = SDL_GL_GetProcAddress((std::string(name) + "EXT").c_str());
    if (!p)
        p = SDL_GL_GetProcAddress((std::string(name) + "ARB").c_str());
    return p;
}

} // namespace

bool Load()
{
    if (!SDL_GL_GetCurrentContext())
        return false;
    Api api;
    bool complete = true;
#define QV_GL_LOAD(name, ret, params)                                                     \
    api.name = reinterpret_cast<ret(APIENTRYP) params>(Lookup("gl" #name));               \
    if (!api.name)                                                                        \
        complete = false;
    QV_GL_FUNCTIONS(QV_GL_LOAD)
#undef QV_GL_LOAD
    if (!complete)
        return false;
    api.ProvokingVertex = reinterpret_cast<void(APIENTRYP)(GLenum)>(Lookup("glProvokingVertex"));

    const char* version = reinterpret_cast<const char*>(api.GetString(GL_VERSION));
    const int major = version ? version[0] - '0' : 0;
    api.bgraColorArrays = major >= 4 || SDL_GL_ExtensionSupported("GL_ARB_vertex_array_bgra") ||
                          SDL_GL_ExtensionSupported("GL_EXT_vertex_array_bgra");
    api.anisotropicFiltering = SDL_GL_ExtensionSupported("GL_EXT_texture_filter_anisotropic") ||
                               SDL_GL_ExtensionSupported("GL_ARB_texture_filter_anisotropic");
    api.textureArrays = SDL_GL_ExtensionSupported("GL_EXT_texture_array");
    api.mirrorClamp = SDL_GL_ExtensionSupported("GL_ATI_texture_mirror_once") ||
                      SDL_GL_ExtensionSupported("GL_EXT_texture_mirror_clamp") ||
                      SDL_GL_ExtensionSupported("GL_ARB_texture_mirror_clamp_to_edge");
    if (api.anisotropicFiltering) {
        GLfloat maxAniso = 1.0f;
        using GetFloatv = void(APIENTRYP)(GLenum, GLfloat*);
        if (auto getFloat = reinterpret_cast<GetFloatv>(Lookup("glGetFloatv")))
            getFloat(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAniso);
        api.maxAnisotropy = maxAniso;
    }
    g_api = api;
    return true;
}

} // namespace qv::gl
