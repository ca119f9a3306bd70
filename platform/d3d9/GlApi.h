// The OpenGL entry points that the Direct3D device uses, loaded once from the window's context;
// a count of the calls that reach OpenGL (tests read it to see that a redundant state set costs
// nothing); and the guard that stops the program when anything but the gathered draws' own
// calls reaches OpenGL while gathered draws wait (DrawBatch.h). Inside platform/d3d9 only.
#pragma once

// Our Windows types first: GL's header then keeps our (empty) APIENTRY.
#include "platform/win32/WinTypes.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <string>

namespace qv::gl {

// name, return type, parameters: GL 1.1 functions and the later ones the device needs.
#define QV_GL_FUNCTIONS(X)                                                                              \
    X(Enable, void, (GLenum))                                                                           \
    X(Disable, void, (GLenum))                                                                          \
    X(GetError, GLenum, (void))                                                                         \
    X(GetString, const GLubyte*, (GLenum))                                                              \
    X(GetIntegerv, void, (GLenum, GLint*))                                                              \
    X(Finish, void, (void))                                                                             \
    X(Flush, void, (void))                                                                              \
    X(Hint, void, (GLenum, GLenum))                                                                     \
    X(Viewport, void, (GLint, GLint, GLsizei, GLsizei))                                                 \
    X(DepthRange, void, (GLclampd, GLclampd))                                                           \
    X(Scissor, void, (GLint, GLint, GLsizei, GLsizei))                                                  \
    X(Clear, void, (GLbitfield))                                                                        \
    X(ClearColor, void, (GLclampf, GLclampf, GLclampf, GLclampf))                                       \
    X(ClearDepth, void, (GLclampd))                                                                     \
    X(ClearStencil, void, (GLint))                                                                      \
    X(ColorMask, void, (GLboolean, GLboolean, GLboolean, GLboolean))                                    \
    X(DepthMask, void, (GLboolean))                                                                     \
    X(DepthFunc, void, (GLenum))                                                                        \
    X(StencilMask, void, (GLuint))                                                                      \
    X(StencilFunc, void, (GLenum, GLint, GLuint))                                                       \
    X(StencilOp, void, (GLenum, GLenum, GLenum))                                                        \
    X(BlendFunc, void, (GLenum, GLenum))                                                                \
    X(AlphaFunc, void, (GLenum, GLclampf))                                                              \
    X(CullFace, void, (GLenum))                                                                         \
    X(FrontFace, void, (GLenum))                                                                        \
    X(PolygonMode, void, (GLenum, GLenum))                                                              \
    X(PolygonOffset, void, (GLfloat, GLfloat))                                                          \
    X(ShadeModel, void, (GLenum))                                                                       \
    X(PointSize, void, (GLfloat))                                                                       \
    X(MatrixMode, void, (GLenum))                                                                       \
    X(LoadMatrixf, void, (const GLfloat*))                                                              \
    X(LoadIdentity, void, (void))                                                                       \
    X(Lightfv, void, (GLenum, GLenum, const GLfloat*))                                                  \
    X(Lightf, void, (GLenum, GLenum, GLfloat))                                                          \
    X(LightModelfv, void, (GLenum, const GLfloat*))                                                     \
    X(LightModeli, void, (GLenum, GLint))                                                               \
    X(Materialfv, void, (GLenum, GLenum, const GLfloat*))                                               \
    X(Materialf, void, (GLenum, GLenum, GLfloat))                                                       \
    X(ColorMaterial, void, (GLenum, GLenum))                                                            \
    X(Color4f, void, (GLfloat, GLfloat, GLfloat, GLfloat))                                              \
    X(Normal3f, void, (GLfloat, GLfloat, GLfloat))                                                      \
    X(TexCoord4f, void, (GLfloat, GLfloat, GLfloat, GLfloat))                                           \
    X(Fogi, void, (GLenum, GLint))                                                                      \
    X(Fogf, void, (GLenum, GLfloat))                                                                    \
    X(Fogfv, void, (GLenum, const GLfloat*))                                                            \
    X(TexEnvi, void, (GLenum, GLenum, GLint))                                                           \
    X(TexEnvfv, void, (GLenum, GLenum, const GLfloat*))                                                 \
    X(TexParameteri, void, (GLenum, GLenum, GLint))                                                     \
    X(TexParameterf, void, (GLenum, GLenum, GLfloat))                                                   \
    X(TexParameterfv, void, (GLenum, GLenum, const GLfloat*))                                           \
    X(GenTextures, void, (GLsizei, GLuint*))                                                            \
    X(DeleteTextures, void, (GLsizei, const GLuint*))                                                   \
    X(BindTexture, void, (GLenum, GLuint))                                                              \
    X(TexImage2D, void, (GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*))   \
    X(TexSubImage2D, void, (GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, const void*)) \
    X(TexImage3D, void, (GLenum, GLint, GLint, GLsizei, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*)) \
    X(TexSubImage3D, void, (GLenum, GLint, GLint, GLint, GLint, GLsizei, GLsizei, GLsizei, GLenum, GLenum,  \
                            const void*))                                                               \
    X(PixelStorei, void, (GLenum, GLint))                                                               \
    X(ReadPixels, void, (GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*))                        \
    X(EnableClientState, void, (GLenum))                                                                \
    X(DisableClientState, void, (GLenum))                                                               \
    X(VertexPointer, void, (GLint, GLenum, GLsizei, const void*))                                       \
    X(NormalPointer, void, (GLenum, GLsizei, const void*))                                              \
    X(ColorPointer, void, (GLint, GLenum, GLsizei, const void*))                                        \
    X(TexCoordPointer, void, (GLint, GLenum, GLsizei, const void*))                                     \
    X(DrawArrays, void, (GLenum, GLint, GLsizei))                                                       \
    X(DrawElements, void, (GLenum, GLsizei, GLenum, const void*))                                       \
    X(DrawRangeElements, void, (GLenum, GLuint, GLuint, GLsizei, GLenum, const void*))                  \
    X(GenBuffers, void, (GLsizei, GLuint*))                                                             \
    X(DeleteBuffers, void, (GLsizei, const GLuint*))                                                    \
    X(BindBuffer, void, (GLenum, GLuint))                                                               \
    X(BufferData, void, (GLenum, GLsizeiptr, const void*, GLenum))                                      \
    X(BufferSubData, void, (GLenum, GLintptr, GLsizeiptr, const void*))                                 \
    X(ActiveTexture, void, (GLenum))                                                                    \
    X(ClientActiveTexture, void, (GLenum))                                                              \
    X(BlendFuncSeparate, void, (GLenum, GLenum, GLenum, GLenum))                                        \
    X(BlendEquationSeparate, void, (GLenum, GLenum))                                                    \
    X(BlendColor, void, (GLfloat, GLfloat, GLfloat, GLfloat))                                           \
    X(StencilFuncSeparate, void, (GLenum, GLenum, GLint, GLuint))                                       \
    X(StencilOpSeparate, void, (GLenum, GLenum, GLenum, GLenum))                                        \
    X(GenFramebuffers, void, (GLsizei, GLuint*))                                                        \
    X(DeleteFramebuffers, void, (GLsizei, const GLuint*))                                               \
    X(BindFramebuffer, void, (GLenum, GLuint))                                                          \
    X(FramebufferTexture2D, void, (GLenum, GLenum, GLenum, GLuint, GLint))                              \
    X(FramebufferRenderbuffer, void, (GLenum, GLenum, GLenum, GLuint))                                  \
    X(CheckFramebufferStatus, GLenum, (GLenum))                                                         \
    X(GenRenderbuffers, void, (GLsizei, GLuint*))                                                       \
    X(DeleteRenderbuffers, void, (GLsizei, const GLuint*))                                              \
    X(BindRenderbuffer, void, (GLenum, GLuint))                                                         \
    X(RenderbufferStorage, void, (GLenum, GLenum, GLsizei, GLsizei))                                    \
    X(BlitFramebuffer, void, (GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum))

// OpenGL 2.0 shaders, for the effects' vertex programs and the texture arrays' fragment
// program: loaded when offered, and `shaders` says whether all were.
#define QV_GL_SHADER_FUNCTIONS(X)                                                                       \
    X(CreateShader, GLuint, (GLenum))                                                                   \
    X(ShaderSource, void, (GLuint, GLsizei, const GLchar* const*, const GLint*))                        \
    X(CompileShader, void, (GLuint))                                                                    \
    X(GetShaderiv, void, (GLuint, GLenum, GLint*))                                                      \
    X(GetShaderInfoLog, void, (GLuint, GLsizei, GLsizei*, GLchar*))                                     \
    X(DeleteShader, void, (GLuint))                                                                     \
    X(CreateProgram, GLuint, (void))                                                                    \
    X(AttachShader, void, (GLuint, GLuint))                                                             \
    X(LinkProgram, void, (GLuint))                                                                      \
    X(GetProgramiv, void, (GLuint, GLenum, GLint*))                                                     \
    X(GetProgramInfoLog, void, (GLuint, GLsizei, GLsizei*, GLchar*))                                    \
    X(DeleteProgram, void, (GLuint))                                                                    \
    X(UseProgram, void, (GLuint))                                                                       \
    X(GetUniformLocation, GLint, (GLuint, const GLchar*))                                               \
    X(Uniform1i, void, (GLint, GLint))                                                                  \
    X(Uniform1fv, void, (GLint, GLsizei, const GLfloat*))                                               \
    X(Uniform2fv, void, (GLint, GLsizei, const GLfloat*))                                               \
    X(Uniform3fv, void, (GLint, GLsizei, const GLfloat*))                                               \
    X(Uniform4fv, void, (GLint, GLsizei, const GLfloat*))                                               \
    X(UniformMatrix4fv, void, (GLint, GLsizei, GLboolean, const GLfloat*))

struct Api {
#define QV_GL_MEMBER(name, ret, params) ret(APIENTRYP name) params = nullptr;
    QV_GL_FUNCTIONS(QV_GL_MEMBER)
    QV_GL_SHADER_FUNCTIONS(QV_GL_MEMBER)
#undef QV_GL_MEMBER
    bool shaders = false;
    // Optional: the first vertex gives a flat-shaded triangle its colour, as in Direct3D.
    void(APIENTRYP ProvokingVertex)(GLenum) = nullptr;
    bool bgraColorArrays = false;     // glColorPointer(GL_BGRA, ...) reads D3DCOLOR as is
    bool anisotropicFiltering = false;
    bool mirrorClamp = false;
    bool textureArrays = false; // sampler2DArray in GLSL 1.20 (EXT_texture_array)
    float maxAnisotropy = 1.0f;
};

// The loaded entry points; valid after Load succeeded with a current context.
extern Api g_api;
extern uint64_t g_callCount;
extern uint64_t g_drawCount;

// Loads every entry point from the current context; false when one is missing (too old an
// OpenGL, or no context at all).
bool Load();

// A program of one GLSL shader of `stage` (GL_VERTEX_SHADER or GL_FRAGMENT_SHADER); 0 with the
// compiler's or linker's log when it fails or OpenGL has no shaders.
GLuint BuildProgram(GLenum stage, const char* source, std::string& log);

// While draws are gathered, OpenGL must hold their state and receive nothing else before they
// are drawn. `open` is the context of the batch that waits (null when none), `ownCalls` counts
// the batch's own calls in progress. When armed (builds without NDEBUG, or QV_GL_GUARD=1 in the
// environment, as the tests have it), any other call on that context stops the program.
struct BatchGuard {
    bool armed = false;
    const void* open = nullptr;
    int ownCalls = 0;
};
extern BatchGuard g_batchGuard;
void CheckCallDuringBatch(const char* name);

// The batch's own calls: those made while one of these lives.
class OwnCalls {
public:
    OwnCalls() { ++g_batchGuard.ownCalls; }
    ~OwnCalls() { --g_batchGuard.ownCalls; }
    OwnCalls(const OwnCalls&) = delete;
    OwnCalls& operator=(const OwnCalls&) = delete;
};

inline void Calling(const char* name)
{
    ++g_callCount;
    if (g_batchGuard.open && g_batchGuard.ownCalls == 0)
        CheckCallDuringBatch(name);
}

} // namespace qv::gl

// Every OpenGL call of the device goes through this, so that it is counted and guarded.
#define QVGL(name) (::qv::gl::Calling(#name), ::qv::gl::g_api.name)
