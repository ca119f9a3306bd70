// The OpenGL state that the device last gave its context, so that a value already in place is
// not sent again: Mesa revalidates (and may pick another compiled pipeline) after any state
// call, even one that repeats the current value. Every state call of the device's drawing,
// clearing and presenting goes through here. Inside platform/d3d9 only.
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
    // The modelview matrix was loaded without the cache (for the lights' positions).
    void ForgetModelView();
    void ColorArrayDefault(const GLfloat color[4]); // glColor4f, while no colour array is on
    void NormalDefault(const GLfloat normal[3]);   // glNormal3f, while no normal array is on
    // A draw read colours or normals from arrays, after which OpenGL's current ones are unknown.
    void ForgetCurrentAttributes(bool color, bool normal);

private:
    enum Slot {
        kDepthFunc, kDepthMask, kStencilMask, kStencilFuncFront, kStencilFuncBack, kStencilOpFront, kStencilOpBack,
        kBlendFunc, kBlendEquation, kBlendColor, kAlphaFunc, kCullFace, kPolygonMode, kShadeModel, kColorMask,
        kPolygonOffset, kPointSize, kViewport, kDepthRange, kScissor, kClearColor, kClearDepth, kClearStencil,
        kLightModelAmbient, kLightModelLocalViewer, kColorMaterial, kMaterialAmbient, kMaterialDiffuse,
        kMaterialSpecular, kMaterialEmission, kShininess, kTexEnvColor, kFog, kColor, kNormal,
        kTexEnvFirst, // then one slot for each texture-environment parameter
        kTexEnvLast = kTexEnvFirst + 17,
        kEnableFirst, // then one slot for each capability
        kEnableLast = kEnableFirst + 24,
        kSlots
    };
    using Value = std::array<uint32_t, 8>;
    // True (and remembered) when `value` differs from what the slot holds.
    bool Changed(int slot, const Value& value);
    bool MatrixChanged(int which, const GLfloat m[16]);
    // A state of both faces: `send` gets the faces whose value changed.
    template <class Send>
    void Sides(int frontSlot, GLenum face, const Value& value, Send send);

    std::array<Value, kSlots> m_values{};
    std::bitset<kSlots> m_known;
    std::array<std::array<GLfloat, 16>, 3> m_matrices{};
    std::bitset<3> m_matricesKnown;
    GLenum m_matrixMode = 0;
};

} // namespace qv::d3d9
