// The OpenGL state that the device last gave its context, so that a value already in place is
// not sent again: Mesa revalidates (and may pick another compiled pipeline) after any state
// call, even one that repeats the current value. It covers the fixed-function switches and
// values that change from draw to draw, the arrays, buffers, program and texture bound, and the
// current colour, normal and texture coordinate. Lights and the texture objects' own
// parameters are sent directly (each texture keeps its sampler state, Texture::appliedSampler).
// Inside platform/d3d9 only.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include "platform/d3d9/GlApi.h"

namespace qv::d3d9 {

class GlStateCache {
public:
    // Nothing is known: the next value of every state is sent (a new or reset context).
    void Invalidate();

    void Enable(GLenum capability, bool on);
    void DepthFunc(GLenum func);
    void DepthMask(bool write);
    void StencilMask(GLuint mask);
    void StencilFunc(GLenum face, GLenum func, GLint ref, GLuint mask);   // GL_FRONT, GL_BACK or both
    void StencilOp(GLenum face, GLenum fail, GLenum zfail, GLenum zpass); // as above
    void BlendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha);
    void BlendEquation(GLenum rgb, GLenum alpha);
    void BlendColor(const GLfloat color[4]);
    void AlphaFunc(GLenum func, GLfloat ref);
    void CullFace(GLenum face);
    void PolygonMode(GLenum mode);
    void ShadeModel(GLenum model);
    void ColorMask(bool r, bool g, bool b, bool a);
    void PolygonOffset(GLfloat factor, GLfloat units);
    void PointSize(GLfloat size);
    void Viewport(GLint x, GLint y, GLsizei w, GLsizei h);
    void DepthRange(GLfloat nearZ, GLfloat farZ);
    void Scissor(GLint x, GLint y, GLsizei w, GLsizei h);
    void ClearColor(const GLfloat color[4]);
    void ClearDepth(GLfloat depth);
    void ClearStencil(GLint stencil);
    void LightModelAmbient(const GLfloat color[4]);
    void LightModelLocalViewer(bool local);
    void ColorMaterial(GLenum mode);
    // GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR or GL_EMISSION of both faces; and the shininess.
    void Material(GLenum pname, const GLfloat color[4]);
    void Shininess(GLfloat shininess);
    // The colour-tracking of the material overwrote the material's colours: they are unknown.
    void ForgetMaterial();
    void TexEnv(GLenum pname, GLint value);
    void TexEnvColor(const GLfloat color[4]);
    void Fog(GLenum mode, GLfloat start, GLfloat end, GLfloat density, const GLfloat color[4]);
    // GL_PROJECTION, GL_MODELVIEW or GL_TEXTURE; leaves the matrix mode at GL_MODELVIEW.
    void LoadMatrix(GLenum mode, const GLfloat m[16]);
    void ColorArrayDefault(const GLfloat color[4]);   // glColor4f, while no colour array is on
    void NormalDefault(const GLfloat normal[3]);     // glNormal3f, while no normal array is on
    void TexCoordDefault(const GLfloat coord[4]);    // glTexCoord4f, while no coordinate array is on
    // A draw read colours or normals from arrays, after which OpenGL's current ones are unknown.
    void ForgetCurrentAttributes(bool color, bool normal);

    // Bindings: the client arrays on, the buffers bound to GL_ARRAY_BUFFER and
    // GL_ELEMENT_ARRAY_BUFFER, the program in use and the GL_TEXTURE_2D texture of unit 0.
    void Array(GLenum array, bool enabled); // GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, ...
    void BindBuffer(GLenum target, GLuint name);
    void ForgetBuffer(GLuint name); // deleted: OpenGL unbinds it itself
    void UseProgram(GLuint program);
    void BindTexture(GLuint name);
    void ForgetTexture(GLuint name); // deleted, as above

    // Mesa's llvmpipe rasterises what was drawn only once it is flushed (glFlush), on threads of
    // its own. Counts a draw of `count` vertices or indices, and flushes after enough of them.
    void Drawn(size_t count);
    void FlushedAtEndOfScene() { m_workSinceFlush = 0; }

    // How many capabilities and texture-environment parameters have slots (GlStateCache.cpp
    // lists them).
    static constexpr int kCapabilities = 23;
    static constexpr int kTexEnvNames = 17;

private:
    enum Slot {
        kDepthFunc, kDepthMask, kStencilMask, kStencilFuncFront, kStencilFuncBack, kStencilOpFront, kStencilOpBack,
        kBlendFunc, kBlendEquation, kBlendColor, kAlphaFunc, kCullFace, kPolygonMode, kShadeModel, kColorMask,
        kPolygonOffset, kPointSize, kViewport, kDepthRange, kScissor, kClearColor, kClearDepth, kClearStencil,
        kLightModelAmbient, kLightModelLocalViewer, kColorMaterial, kMaterialAmbient, kMaterialDiffuse,
        kMaterialSpecular, kMaterialEmission, kShininess, kTexEnvColor, kFog, kColor, kNormal, kTexCoord,
        kTexEnvFirst, // then one slot for each texture-environment parameter
        kEnableFirst = kTexEnvFirst + kTexEnvNames, // then one slot for each capability
        kSlots = kEnableFirst + kCapabilities
    };
    using Value = std::array<uint32_t, 8>;
    // True (and remembered) when `value` differs from what the slot holds.
    bool Changed(int slot, const Value& value);
    bool MatrixChanged(int which, const GLfloat m[16]);
    // A state of both faces: `send` gets the faces whose value changed.
    template <class Send>
    void Sides(int frontSlot, GLenum face, const Value& value, Send send);
    // True (and remembered) when `name` is not the one bound at `bound`.
    bool Rebind(GLuint& bound, GLuint name);

    std::array<Value, kSlots> m_values{};
    std::bitset<kSlots> m_known;
    std::array<std::array<GLfloat, 16>, 3> m_matrices{};
    std::bitset<3> m_matricesKnown;
    GLenum m_matrixMode = 0;
    uint32_t m_arrays = 0;
    bool m_arraysKnown = false;
    GLuint m_arrayBuffer = 0, m_elementBuffer = 0, m_program = 0, m_texture = 0;
    bool m_bindingsKnown = false;
    size_t m_workSinceFlush = 0;
};

} // namespace qv::d3d9
