// GLSL vertex programs for the effects, and the device's side of running them.
#include "platform/d3d9/EffectBridge.h"

#include "platform/d3d9/Device.h"

namespace qv::d3d9 {

namespace {

// The device, when its OpenGL context is the current one and has shaders; whatever it gathered
// is drawn first, since what follows reaches OpenGL.
Device* Usable(IDirect3DDevice9* device)
{
    Device* d = static_cast<Device*>(device);
    if (!d || !d->GlUsable() || !qv::gl::g_api.shaders)
        return nullptr;
    d->SendBatch();
    return d;
}

} // namespace

unsigned CreateVertexProgram(IDirect3DDevice9* device, const std::string& source, std::string& log)
{
    log.clear();
    if (!Usable(device)) {
        log = "no OpenGL context with shaders is current";
        return 0;
    }
    return qv::gl::BuildProgram(GL_VERTEX_SHADER, source.c_str(), log);
}

void DeleteVertexProgram(IDirect3DDevice9* device, unsigned program)
{
    Device* d = Usable(device);
    if (!d || !program)
        return;
    // Unbound first, so that a later program given the same name is not taken for bound.
    d->SetVertexProgram(0, -1);
    d->BindProgramForUpload(0);
    QVGL(DeleteProgram)(program);
}

int VertexProgramUniform(IDirect3DDevice9* device, unsigned program, const char* name)
{
    if (!Usable(device) || !program)
        return -1;
    return QVGL(GetUniformLocation)(program, name);
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
        QVGL(Uniform1fv)(location, 1, values);
        break;
    case 2:
        QVGL(Uniform2fv)(location, 1, values);
        break;
    case 3:
        QVGL(Uniform3fv)(location, 1, values);
        break;
    case 4:
        QVGL(Uniform4fv)(location, 1, values);
        break;
    case 16:
        // Rows of the Direct3D matrix become OpenGL's columns: the GLSL matrix is the
        // transpose, which the translated shaders multiply from the other side.
        QVGL(UniformMatrix4fv)(location, 1, GL_FALSE, values);
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
    m_state.vertexProgram = program;
    m_state.vertexProgramClipAdjust = clipAdjust;
}

void Device::BindProgramForUpload(GLuint program)
{
    // Uniforms go to the program in use; the device binds the one it draws with again.
    SendBatch();
    m_gl.UseProgram(program);
}

} // namespace qv::d3d9
