#include "platform/d3d9/GlApi.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qv::gl {

Api g_api;
uint64_t g_callCount = 0;
uint64_t g_drawCount = 0;
BatchGuard g_batchGuard;

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

// The calls that may reach OpenGL while gathered draws wait, each with the reason why nothing
// it does can change what those draws give when they are drawn. Every other call first draws
// what was gathered.
struct SafeCall {
    const char* name;
    const char* why;
};
const SafeCall kSafeWhileGathering[] = {
    {"GenTextures", "a new name is bound to nothing that a gathered draw reads"},
    {"GenBuffers", "a new name is bound to nothing that a gathered draw reads"},
    {"GetError", "it reads the error flag and changes no state"},
    {"GetString", "it reads a description of the context"},
    {"GetIntegerv", "it reads a value and changes none"},
    {"GetUniformLocation", "it reads where a program keeps a uniform"},
};

bool ArmedAtStart()
{
#ifndef NDEBUG
    return true;
#else
    const char* armed = std::getenv("QV_GL_GUARD");
    return armed && std::strcmp(armed, "1") == 0;
#endif
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
    if (!complete)
        return false;
    QV_GL_SHADER_FUNCTIONS(QV_GL_LOAD)
#undef QV_GL_LOAD
    api.shaders = complete;
    api.ProvokingVertex = reinterpret_cast<void(APIENTRYP)(GLenum)>(Lookup("glProvokingVertex"));

    const char* version = reinterpret_cast<const char*>(api.GetString(GL_VERSION));
    const int major = version ? version[0] - '0' : 0;
    api.bgraColorArrays = major >= 4 || SDL_GL_ExtensionSupported("GL_ARB_vertex_array_bgra") ||
                          SDL_GL_ExtensionSupported("GL_EXT_vertex_array_bgra");
    api.anisotropicFiltering = SDL_GL_ExtensionSupported("GL_EXT_texture_filter_anisotropic") ||
                               SDL_GL_ExtensionSupported("GL_ARB_texture_filter_anisotropic");
    api.textureArrays = api.shaders && SDL_GL_ExtensionSupported("GL_EXT_texture_array");
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
    static const bool armed = ArmedAtStart();
    g_batchGuard.armed = g_batchGuard.armed || armed;
    return true;
}

namespace {

std::string InfoLog(GLuint object, bool program)
{
    GLint length = 0;
    (program ? g_api.GetProgramiv : g_api.GetShaderiv)(object, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> text(static_cast<size_t>(length > 0 ? length : 1) + 1, '\0');
    (program ? g_api.GetProgramInfoLog : g_api.GetShaderInfoLog)(object, static_cast<GLsizei>(text.size() - 1),
                                                                  nullptr, text.data());
    return text.data();
}

} // namespace

GLuint BuildProgram(GLenum stage, const char* source, std::string& log)
{
    log.clear();
    if (!g_api.shaders) {
        log = "OpenGL offers no shaders";
        return 0;
    }
    const GLuint shader = QVGL(CreateShader)(stage);
    if (!shader) {
        log = "glCreateShader failed";
        return 0;
    }
    QVGL(ShaderSource)(shader, 1, &source, nullptr);
    QVGL(CompileShader)(shader);
    GLint ok = GL_FALSE;
    QVGL(GetShaderiv)(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        log = InfoLog(shader, false);
        QVGL(DeleteShader)(shader);
        return 0;
    }
    const GLuint program = QVGL(CreateProgram)();
    QVGL(AttachShader)(program, shader);
    QVGL(LinkProgram)(program);
    QVGL(DeleteShader)(shader); // the program keeps it as long as it needs it
    QVGL(GetProgramiv)(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        log = InfoLog(program, true);
        QVGL(DeleteProgram)(program);
        return 0;
    }
    return program;
}

void CheckCallDuringBatch(const char* name)
{
    if (!g_batchGuard.armed || SDL_GL_GetCurrentContext() != g_batchGuard.open)
        return;
    for (const SafeCall& safe : kSafeWhileGathering)
        if (std::strcmp(safe.name, name) == 0)
            return;
    std::fprintf(stderr, "gl%s reached OpenGL while gathered draws waited to be drawn\n", name);
    std::fflush(stderr);
    std::abort();
}

} // namespace qv::gl
