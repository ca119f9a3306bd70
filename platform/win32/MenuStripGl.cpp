// The menu strip on the window's OpenGL context. The Direct3D layer owns that context's state,
// so everything touched here is saved first and put back afterwards.
#include "platform/win32/MenuStrip.h"

#include <SDL_opengl.h>

#include <cstring>
#include <map>

#include "platform/win32/SdlWindow.h"

namespace qv::win {
namespace {

struct StripTextures {
    GLuint strip = 0;
    unsigned stripGeneration = 0;
    int stripWidth = 0;
    int stripHeight = 0;
    GLuint client = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    bool haveClient = false;
};

std::map<SDL_GLContext, StripTextures>& Textures()
{
    static std::map<SDL_GLContext, StripTextures> textures;
    return textures;
}

#ifndef GL_CURRENT_PROGRAM
#define GL_CURRENT_PROGRAM 0x8B8D
#endif
#ifndef GL_DRAW_FRAMEBUFFER_BINDING
#define GL_DRAW_FRAMEBUFFER_BINDING 0x8CA6
#define GL_READ_FRAMEBUFFER_BINDING 0x8CAA
#define GL_DRAW_FRAMEBUFFER 0x8CA9
#define GL_READ_FRAMEBUFFER 0x8CA8
#endif
#ifndef GL_PIXEL_UNPACK_BUFFER
#define GL_PIXEL_UNPACK_BUFFER 0x88EC
#define GL_PIXEL_UNPACK_BUFFER_BINDING 0x88EF
#define GL_PIXEL_PACK_BUFFER 0x88EB
#define GL_PIXEL_PACK_BUFFER_BINDING 0x88ED
#endif
#ifndef GL_TEXTURE0
#define GL_TEXTURE0 0x84C0
#define GL_ACTIVE_TEXTURE 0x84E0
#define GL_MAX_TEXTURE_UNITS 0x84E2
#endif
#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

typedef void(APIENTRY* UseProgramFn)(GLuint);
typedef void(APIENTRY* BindFramebufferFn)(GLenum, GLuint);
typedef void(APIENTRY* BindBufferFn)(GLenum, GLuint);
typedef void(APIENTRY* ActiveTextureFn)(GLenum);

struct GlEntryPoints {
    UseProgramFn useProgram = nullptr;
    BindFramebufferFn bindFramebuffer = nullptr;
    BindBufferFn bindBuffer = nullptr;
    ActiveTextureFn activeTexture = nullptr;
};

const GlEntryPoints& Gl()
{
    static const GlEntryPoints gl = [] {
        GlEntryPoints e;
        e.useProgram = reinterpret_cast<UseProgramFn>(SDL_GL_GetProcAddress("glUseProgram"));
        e.bindFramebuffer = reinterpret_cast<BindFramebufferFn>(SDL_GL_GetProcAddress("glBindFramebuffer"));
        e.bindBuffer = reinterpret_cast<BindBufferFn>(SDL_GL_GetProcAddress("glBindBuffer"));
        e.activeTexture = reinterpret_cast<ActiveTextureFn>(SDL_GL_GetProcAddress("glActiveTexture"));
        return e;
    }();
    return gl;
}

// Every state that drawing a textured quad depends on, saved and restored.
class SavedState {
public:
    SavedState()
    {
        const GlEntryPoints& gl = Gl();
        glGetIntegerv(GL_CURRENT_PROGRAM, &m_program);
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &m_drawFramebuffer);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &m_readFramebuffer);
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &m_unpackBuffer);
        glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &m_packBuffer);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &m_activeTexture);
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &m_units);
        glGetError(); // queries of what a context lacks must not leave an error behind
        if (gl.activeTexture)
            gl.activeTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &m_texture0);
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        glMatrixMode(GL_TEXTURE);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        if (gl.useProgram)
            gl.useProgram(0);
        if (gl.bindFramebuffer) {
            gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            gl.bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        }
        if (gl.bindBuffer) {
            gl.bindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
            gl.bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        }
        // Only unit 0 textures; every state that could tint or hide the quad is off.
        for (int unit = 1; unit < m_units && gl.activeTexture; ++unit) {
            gl.activeTexture(GL_TEXTURE0 + unit);
            glDisable(GL_TEXTURE_2D);
            glDisable(GL_TEXTURE_1D);
            glDisable(GL_TEXTURE_CUBE_MAP);
            glDisable(GL_TEXTURE_3D);
        }
        if (gl.activeTexture)
            gl.activeTexture(GL_TEXTURE0);
        glDisable(GL_LIGHTING);
        glDisable(GL_FOG);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_STENCIL_TEST);
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_COLOR_MATERIAL);
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        glDisable(GL_TEXTURE_GEN_R);
        glDisable(GL_TEXTURE_GEN_Q);
        glDisable(GL_COLOR_SUM);
        glDisable(GL_TEXTURE_CUBE_MAP);
        glEnable(GL_TEXTURE_2D);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
        glColor4f(1, 1, 1, 1);
    }

    ~SavedState()
    {
        const GlEntryPoints& gl = Gl();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_TEXTURE);
        glPopMatrix();
        glPopClientAttrib();
        glPopAttrib();
        if (gl.activeTexture)
            gl.activeTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m_texture0));
        if (gl.activeTexture)
            gl.activeTexture(static_cast<GLenum>(m_activeTexture));
        if (gl.bindBuffer) {
            gl.bindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(m_unpackBuffer));
            gl.bindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(m_packBuffer));
        }
        if (gl.bindFramebuffer) {
            gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(m_drawFramebuffer));
            gl.bindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(m_readFramebuffer));
        }
        if (gl.useProgram)
            gl.useProgram(static_cast<GLuint>(m_program));
    }

    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;

private:
    GLint m_program = 0, m_drawFramebuffer = 0, m_readFramebuffer = 0, m_unpackBuffer = 0, m_packBuffer = 0;
    GLint m_activeTexture = GL_TEXTURE0, m_units = 1, m_texture0 = 0;
};

void Quad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1)
{
    glBegin(GL_QUADS);
    glTexCoord2f(u0, v0);
    glVertex2f(x0, y0);
    glTexCoord2f(u1, v0);
    glVertex2f(x1, y0);
    glTexCoord2f(u1, v1);
    glVertex2f(x1, y1);
    glTexCoord2f(u0, v1);
    glVertex2f(x0, y1);
    glEnd();
}

bool Current(Window& w)
{
    if (!w.sdl || !w.gl)
        return false;
    if (SDL_GL_GetCurrentContext() != w.gl || SDL_GL_GetCurrentWindow() != w.sdl)
        return SDL_GL_MakeCurrent(w.sdl, w.gl) == 0;
    return true;
}

// A drawing of the layer's own over a window's whole drawable, in window pixels (y down), with
// the Direct3D layer's OpenGL state given back at the end.
struct WindowPass {
    DisplayLibraryAllocations ignored;
    SavedState saved;
    int width = 0, height = 0;

    explicit WindowPass(Window& w)
    {
        SDL_GL_GetDrawableSize(w.sdl, &width, &height);
        glViewport(0, 0, width, height);
    }
    void PixelProjection() const
    {
        glMatrixMode(GL_PROJECTION);
        glOrtho(0, width, height, 0, -1, 1);
    }
};

} // namespace

SDL_Rect StripRectInWindow(const Window& w)
{
    if (w.fullScreen) {
        int vx = 0, vy = 0, vw = 0, vh = 0;
        qv::ClientViewport(w.handle, &vx, &vy, &vw, &vh);
        const int modeHeight = std::max(1, static_cast<int>(w.rect.bottom - w.rect.top));
        return SDL_Rect{vx, vy, vw, kMenuBarHeight * vh / modeHeight};
    }
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(w.sdl, &width, &height);
    return SDL_Rect{0, 0, width, kMenuBarHeight};
}

void ForgetStripTextures(Window& w)
{
    auto it = Textures().find(w.gl);
    if (it == Textures().end())
        return;
    if (Current(w)) {
        const GLuint names[2] = {it->second.strip, it->second.client};
        glDeleteTextures(2, names);
    }
    Textures().erase(it);
}

void KeepClientCopy(Window& w)
{
    if (!Current(w))
        return;
    DisplayLibraryAllocations ignored;
    int vx, vy, vw, vh, dw, dh;
    if (!qv::ClientViewport(w.handle, &vx, &vy, &vw, &vh) || vw <= 0 || vh <= 0)
        return;
    SDL_GL_GetDrawableSize(w.sdl, &dw, &dh);
    StripTextures& t = Textures()[w.gl];
    SavedState saved;
    if (!t.client)
        glGenTextures(1, &t.client);
    glBindTexture(GL_TEXTURE_2D, t.client);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    const int glY = dh - vy - vh;
    if (t.clientWidth != vw || t.clientHeight != vh) {
        glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, vx, glY, vw, vh, 0);
        t.clientWidth = vw;
        t.clientHeight = vh;
    } else {
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, vx, glY, vw, vh);
    }
    t.haveClient = glGetError() == GL_NO_ERROR;
}

void DrawKeptFrame(Window& w)
{
    if (!Current(w))
        return;
    const WindowPass pass(w);
    StripTextures& t = Textures()[w.gl];
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (t.haveClient) {
        pass.PixelProjection();
        int vx, vy, vw, vh;
        qv::ClientViewport(w.handle, &vx, &vy, &vw, &vh);
        glBindTexture(GL_TEXTURE_2D, t.client);
        // The copy's first row is the bottom of the client area.
        Quad(float(vx), float(vy), float(vx + vw), float(vy + vh), 0, 1, 1, 0);
    }
    glGetError();
}

bool ReadKeptFrame(Window& w, std::vector<uint8_t>& bgra, int& width, int& height)
{
    if (!Current(w))
        return false;
    auto it = Textures().find(w.gl);
    if (it == Textures().end() || !it->second.haveClient)
        return false;
    const StripTextures& t = it->second;
    DisplayLibraryAllocations ignored;
    const SavedState saved;
    glBindTexture(GL_TEXTURE_2D, t.client);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    const size_t pitch = static_cast<size_t>(t.clientWidth) * 4;
    std::vector<uint8_t> upsideDown(pitch * static_cast<size_t>(t.clientHeight));
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, upsideDown.data());
    if (glGetError() != GL_NO_ERROR)
        return false;
    // The copy's first row is the bottom of the client area.
    bgra.resize(upsideDown.size());
    for (int y = 0; y < t.clientHeight; ++y)
        std::memcpy(&bgra[static_cast<size_t>(y) * pitch], &upsideDown[static_cast<size_t>(t.clientHeight - 1 - y) * pitch],
                    pitch);
    width = t.clientWidth;
    height = t.clientHeight;
    return true;
}

void DrawStripWithGl(Window& w, const Canvas& strip, unsigned generation)
{
    if (!Current(w) || strip.Width() <= 0)
        return;
    const WindowPass pass(w);
    pass.PixelProjection();
    StripTextures& t = Textures()[w.gl];

    const bool fresh = !t.strip;
    if (fresh)
        glGenTextures(1, &t.strip);
    glBindTexture(GL_TEXTURE_2D, t.strip);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // The picture goes up only when it changed (generation 0: always).
    if (fresh || generation == 0 || generation != t.stripGeneration || t.stripWidth != strip.Width() ||
        t.stripHeight != strip.Height()) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, strip.Width(), strip.Height(), 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     strip.Pixels());
        t.stripGeneration = generation;
        t.stripWidth = strip.Width();
        t.stripHeight = strip.Height();
    }
    const SDL_Rect r = StripRectInWindow(w);
    Quad(float(r.x), float(r.y), float(r.x + r.w), float(r.y + r.h), 0, 0, 1, 1);
    glGetError();
}

} // namespace qv::win
