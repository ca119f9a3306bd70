// GLSL vertex programs for the effects, and the device's side of running them.
#include "platform/d3d9/EffectBridge.h"

#include <vector>

#include "platform/d3d9/Device.h"

namespace qv::d3d9 {

namespace {

// The entry points of OpenGL 2.0 shaders, loaded from the context on first use.
struct ShaderApi {
    PFNGLCREATESHADERPROC CreateShader = nullptr;
    PFNGLSHADERSOURCEPROC ShaderSource = nullptr;
    PFNGLCOMPILESHADERPROC CompileShader = nullptr;
    PFNGLGETSHADERIVPROC GetShaderiv = nullptr;
    PFNGLGETSHADERINFOLOGPROC GetShaderInfoLog = nullptr;
    PFNGLDELETESHADERPROC DeleteShader = nullptr;
    PFNGLCREATEPROGRAMPROC CreateProgram = nullptr;
    PFNGLATTACHSHADERPROC AttachShader = nullptr;
    PFNGLLINKPROGRAMPROC LinkProgram = nullptr;
    PFNGLGETPROGRAMIVPROC GetProgramiv = nullptr;
    PFNGLGETPROGRAMINFOLOGPROC GetProgramInfoLog = nullptr;
    PFNGLDELETEPROGRAMPROC DeleteProgram = nullptr;
    PFNGLUSEPROGRAMPROC UseProgram = nullptr;
    PFNGLGETUNIFORMLOCATIONPROC GetUniformLocation = nullptr;
    PFNGLUNIFORM1FVPROC Uniform1fv = nullptr;
    PFNGLUNIFORM1IPROC Uniform1i = nullptr;
    PFNGLUNIFORM2FVPROC Uniform2fv = nullptr;
    PFNGLUNIFORM3FVPROC Uniform3fv = nullptr;
    PFNGLUNIFORM4FVPROC Uniform4fv = nullptr;
    PFNGLUNIFORMMATRIX4FVPROC UniformMatrix4fv = nullptr;
    bool loaded = false;
    bool complete = false;
};

ShaderApi g_shaders;

template <class Fn>
void LoadOne(Fn& fn, const char* name, bool& complete)
{
    fn = reinterpret_cast<Fn>(SDL_GL_GetProcAddress(name));
    complete = complete && fn != nullptr;
}

// The device, when its OpenGL context is the current one and has shaders.
Device* Usable(IDirect3DDevice9* device)
{
    Device* d = static_cast<Device*>(device);
    if (!d || !d->GlUsable())
        return nullptr;
    if (!g_shaders.loaded) {
        bool complete = true;
        LoadOne(g_shaders.CreateShader, "glCreateShader", complete);
        LoadOne(g_shaders.ShaderSource, "glShaderSource", complete);
        LoadOne(g_shaders.CompileShader, "glCompileShader", complete);
        LoadOne(g_shaders.GetShaderiv, "glGetShaderiv", complete);
        LoadOne(g_shaders.GetShaderInfoLog, "glGetShaderInfoLog", complete);
        LoadOne(g_shaders.DeleteShader, "glDeleteShader", complete);
        LoadOne(g_shaders.CreateProgram, "glCreateProgram", complete);
        LoadOne(g_shaders.AttachShader, "glAttachShader", complete);
        LoadOne(g_shaders.LinkProgram, "glLinkProgram", complete);
        LoadOne(g_shaders.GetProgramiv, "glGetProgramiv", complete);
        LoadOne(g_shaders.GetProgramInfoLog, "glGetProgramInfoLog", complete);
        LoadOne(g_shaders.DeleteProgram, "glDeleteProgram", complete);
        LoadOne(g_shaders.UseProgram, "glUseProgram", complete);
        LoadOne(g_shaders.GetUniformLocation, "glGetUniformLocation", complete);
        LoadOne(g_shaders.Uniform1fv, "glUniform1fv", complete);
        LoadOne(g_shaders.Uniform1i, "glUniform1i", complete);
        LoadOne(g_shaders.Uniform2fv, "glUniform2fv", complete);
        LoadOne(g_shaders.Uniform3fv, "glUniform3fv", complete);
        LoadOne(g_shaders.Uniform4fv, "glUniform4fv", complete);
        LoadOne(g_shaders.UniformMatrix4fv, "glUniformMatrix4fv", complete);
        g_shaders.loaded = true;
        g_shaders.complete = complete;
    }
    return g_shaders.complete ? d : nullptr;
}

std::string ShaderLog(GLuint shader)
{
    GLint length = 0;
    g_shaders.GetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> text(static_cast<size_t>(length > 0 ? length : 1) + 1, '\0');
    g_shaders.GetShaderInfoLog(shader, static_cast<GLsizei>(text.size() - 1), nullptr, text.data());
    return text.data();
}

std::string ProgramLog(GLuint program)
{
    GLint length = 0;
    g_shaders.GetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> text(static_cast<size_t>(length > 0 ? length : 1) + 1, '\0');
    g_shaders.GetProgramInfoLog(program, static_cast<GLsizei>(text.size() - 1), nullptr, text.data());
    return text.data();
}

// As the fixed-function path: pixel centres on whole viewport coordinates, with the same small
// bias that settles ties on shared edges.
constexpr float kTieBias = 1.0f / 64.0f;

// A program of one shader of the given stage; 0 with the compiler's log when it fails.
GLuint BuildProgram(GLenum stage, const std::string& source, std::string& log)
{
    const GLuint shader = g_shaders.CreateShader(stage);
    if (!shader) {
        log = "glCreateShader failed";
        return 0;
    }
    const GLchar* text = source.c_str();
    g_shaders.ShaderSource(shader, 1, &text, nullptr);
    g_shaders.CompileShader(shader);
    GLint ok = GL_FALSE;
    g_shaders.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        log = ShaderLog(shader);
        g_shaders.DeleteShader(shader);
        return 0;
    }
    const GLuint program = g_shaders.CreateProgram();
    g_shaders.AttachShader(program, shader);
    g_shaders.LinkProgram(program);
    g_shaders.DeleteShader(shader); // the program keeps it as long as it needs it
    g_shaders.GetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        log = ProgramLog(program);
        g_shaders.DeleteProgram(program);
        return 0;
    }
    return program;
}

} // namespace

unsigned CreateVertexProgram(IDirect3DDevice9* device, const std::string& source, std::string& log)
{
    log.clear();
    if (!Usable(device)) {
        log = "no OpenGL context with shaders is current";
        return 0;
    }
    return BuildProgram(GL_VERTEX_SHADER, source, log);
}

void DeleteVertexProgram(IDirect3DDevice9* device, unsigned program)
{
    Device* d = Usable(device);
    if (!d || !program)
        return;
    // Unbound first, so that a later program given the same name is not taken for bound.
    d->SetVertexProgram(0, -1);
    d->BindProgramForUpload(0);
    g_shaders.DeleteProgram(program);
}

int VertexProgramUniform(IDirect3DDevice9* device, unsigned program, const char* name)
{
    if (!Usable(device) || !program)
        return -1;
    return g_shaders.GetUniformLocation(program, name);
}

void SetVertexProgramUniform(IDirect3DDevice9* device, unsigned program, int location, unsigned components,
                             const float* values)
{
    Device* d = Usable(device);
    if (!d || !program || location < 0)
        return;
    d->BindProgramForUpload(program);
    switch (components) {
    case 1:
        g_shaders.Uniform1fv(location, 1, values);
        break;
    case 2:
        g_shaders.Uniform2fv(location, 1, values);
        break;
    case 3:
        g_shaders.Uniform3fv(location, 1, values);
        break;
    case 4:
        g_shaders.Uniform4fv(location, 1, values);
        break;
    case 16:
        // Rows of the Direct3D matrix become OpenGL's columns: the GLSL matrix is the
        // transpose, which the translated shaders multiply from the other side.
        g_shaders.UniformMatrix4fv(location, 1, GL_FALSE, values);
        break;
    default:
        break;
    }
}

void UseVertexProgram(IDirect3DDevice9* device, unsigned program, int clipAdjust)
{
    if (Device* d = static_cast<Device*>(device))
        d->SetVertexProgram(program, clipAdjust);
}

// ---------------------------------------------------------------------------------------------
// The device's side

void Device::SetVertexProgram(GLuint program, GLint clipAdjust)
{
    m_vertexProgram = program;
    m_vertexProgramClipAdjust = clipAdjust;
}

void Device::BindProgramForUpload(GLuint program)
{
    // Uniforms go to the program in use; the device binds the one it draws with again.
    FlushBatch();
    if (program != m_glProgram) {
        g_shaders.UseProgram(program);
        m_glProgram = program;
    }
}

GLuint Device::TextureArrayProgram()
{
    if (m_textureArrayProgram || m_textureArrayProgramFailed)
        return m_textureArrayProgram;
    // The fixed-function first stage's MODULATE of colour and alpha, with the texel taken from
    // a layer of a texture array; the vertex stage stays the fixed-function one, which hands
    // the layer on as the third texture coordinate.
    static const char kSource[] = "#version 120\n"
                                  "#extension GL_EXT_texture_array : require\n"
                                  "uniform sampler2DArray textures;\n"
                                  "void main()\n"
                                  "{\n"
                                  "    gl_FragColor = texture2DArray(textures, gl_TexCoord[0].xyz) * gl_Color;\n"
                                  "}\n";
    std::string log;
    if (Usable(this) && qv::gl::g_api.textureArrays)
        m_textureArrayProgram = BuildProgram(GL_FRAGMENT_SHADER, kSource, log);
    if (m_textureArrayProgram) {
        const GLuint kept = m_glProgram;
        UseProgram(m_textureArrayProgram);
        g_shaders.Uniform1i(g_shaders.GetUniformLocation(m_textureArrayProgram, "textures"), 0);
        UseProgram(kept);
    }
    m_textureArrayProgramFailed = m_textureArrayProgram == 0;
    return m_textureArrayProgram;
}

void Device::UseProgram(GLuint program)
{
    if (program != m_glProgram) {
        g_shaders.UseProgram(program);
        m_glProgram = program;
    }
}

void Device::FreeTextureArrayProgram()
{
    if (m_textureArrayProgram && Usable(this)) {
        UseProgram(0);
        g_shaders.DeleteProgram(m_textureArrayProgram);
    }
    m_textureArrayProgram = 0;
}

void Device::ApplyVertexProgram(bool transformed)
{
    const GLuint wanted = transformed ? 0 : m_vertexProgram;
    if (wanted != m_glProgram) {
        if (!Usable(this))
            return;
        g_shaders.UseProgram(wanted);
        m_glProgram = wanted;
    }
    if (wanted && m_vertexProgramClipAdjust >= 0) {
        const GLfloat adjust[4] = {1.0f / static_cast<float>(m_viewport.Width),
                                   -(1.0f - 2.0f * kTieBias) / static_cast<float>(m_viewport.Height), 0.0f, 0.0f};
        g_shaders.Uniform4fv(m_vertexProgramClipAdjust, 1, adjust);
    }
}

} // namespace qv::d3d9
