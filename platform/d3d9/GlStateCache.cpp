#include "platform/d3d9/GlStateCache.h"

#include <cstring>

namespace qv::d3d9 {

namespace {

uint32_t Bits(GLfloat f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// The capabilities the device switches, in slot order; -1 for one it never uses.
int CapabilityIndex(GLenum capability)
{
    static const GLenum kCapabilities[] = {
        GL_DEPTH_TEST,          GL_STENCIL_TEST,        GL_BLEND,     GL_ALPHA_TEST,     GL_CULL_FACE,
        GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE, GL_POLYGON_OFFSET_POINT,         GL_LIGHTING,
        GL_NORMALIZE,           GL_COLOR_MATERIAL,      GL_FOG,       GL_SCISSOR_TEST,   GL_TEXTURE_2D,
        GL_DITHER,              GL_LIGHT0,              GL_LIGHT1,    GL_LIGHT2,         GL_LIGHT3,
        GL_LIGHT4,              GL_LIGHT5,              GL_LIGHT6,    GL_LIGHT7};
    for (size_t i = 0; i < sizeof kCapabilities / sizeof kCapabilities[0]; ++i)
        if (kCapabilities[i] == capability)
            return static_cast<int>(i);
    return -1;
}

int TexEnvIndex(GLenum pname)
{
    static const GLenum kNames[] = {GL_TEXTURE_ENV_MODE, GL_COMBINE_RGB,     GL_COMBINE_ALPHA,   GL_SOURCE0_RGB,
                                    GL_SOURCE1_RGB,      GL_SOURCE2_RGB,     GL_SOURCE0_ALPHA,   GL_SOURCE1_ALPHA,
                                    GL_SOURCE2_ALPHA,    GL_OPERAND0_RGB,    GL_OPERAND1_RGB,    GL_OPERAND2_RGB,
                                    GL_OPERAND0_ALPHA,   GL_OPERAND1_ALPHA,  GL_OPERAND2_ALPHA,  GL_RGB_SCALE,
                                    GL_ALPHA_SCALE};
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
        if (kNames[i] == pname)
            return static_cast<int>(i);
    return -1;
}

int MatrixIndex(GLenum mode)
{
    return mode == GL_PROJECTION ? 0 : mode == GL_MODELVIEW ? 1 : 2;
}

} // namespace

void GlStateCache::Invalidate()
{
    m_known.reset();
    m_matricesKnown.reset();
    m_matrixMode = 0;
}

bool GlStateCache::Changed(int slot, const Value& value)
{
    if (m_known[slot] && m_values[slot] == value)
        return false;
    m_values[slot] = value;
    m_known[slot] = true;
    return true;
}

bool GlStateCache::MatrixChanged(int which, const GLfloat m[16])
{
    auto& kept = m_matrices[which];
    if (m_matricesKnown[which] && std::memcmp(kept.data(), m, sizeof kept) == 0)
        return false;
    std::memcpy(kept.data(), m, sizeof kept);
    m_matricesKnown[which] = true;
    return true;
}

void GlStateCache::Enable(GLenum capability, bool on)
{
    const int index = CapabilityIndex(capability);
    if (index >= 0 && !Changed(kEnableFirst + index, {on}))
        return;
    if (on)
        QVGL(Enable)(capability);
    else
        QVGL(Disable)(capability);
}

void GlStateCache::DepthFunc(GLenum func)
{
    if (Changed(kDepthFunc, {func}))
        QVGL(DepthFunc)(func);
}

void GlStateCache::DepthMask(bool write)
{
    if (Changed(kDepthMask, {write}))
        QVGL(DepthMask)(write ? GL_TRUE : GL_FALSE);
}

void GlStateCache::StencilMask(GLuint mask)
{
    if (Changed(kStencilMask, {mask}))
        QVGL(StencilMask)(mask);
}

template <class Send>
void GlStateCache::Sides(int frontSlot, GLenum face, const Value& value, Send send)
{
    // The back face's slot follows the front's.
    const bool frontChanged = face != GL_BACK && Changed(frontSlot, value);
    const bool backChanged = face != GL_FRONT && Changed(frontSlot + 1, value);
    if (frontChanged && backChanged)
        send(GL_FRONT_AND_BACK);
    else if (frontChanged || backChanged)
        send(frontChanged ? GL_FRONT : GL_BACK);
}

void GlStateCache::StencilFunc(GLenum face, GLenum func, GLint ref, GLuint mask)
{
    Sides(kStencilFuncFront, face, {func, static_cast<uint32_t>(ref), mask},
          [&](GLenum sides) { QVGL(StencilFuncSeparate)(sides, func, ref, mask); });
}

void GlStateCache::StencilOp(GLenum face, GLenum fail, GLenum zfail, GLenum zpass)
{
    Sides(kStencilOpFront, face, {fail, zfail, zpass},
          [&](GLenum sides) { QVGL(StencilOpSeparate)(sides, fail, zfail, zpass); });
}

void GlStateCache::BlendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha)
{
    if (Changed(kBlendFunc, {src, dst, srcAlpha, dstAlpha}))
        QVGL(BlendFuncSeparate)(src, dst, srcAlpha, dstAlpha);
}

void GlStateCache::BlendEquation(GLenum rgb, GLenum alpha)
{
    if (Changed(kBlendEquation, {rgb, alpha}))
        QVGL(BlendEquationSeparate)(rgb, alpha);
}

void GlStateCache::BlendColor(const GLfloat c[4])
{
    if (Changed(kBlendColor, {Bits(c[0]), Bits(c[1]), Bits(c[2]), Bits(c[3])}))
        QVGL(BlendColor)(c[0], c[1], c[2], c[3]);
}

void GlStateCache::AlphaFunc(GLenum func, GLfloat ref)
{
    if (Changed(kAlphaFunc, {func, Bits(ref)}))
        QVGL(AlphaFunc)(func, ref);
}

void GlStateCache::CullFace(GLenum face)
{
    if (Changed(kCullFace, {face}))
        QVGL(CullFace)(face);
}

void GlStateCache::PolygonMode(GLenum mode)
{
    if (Changed(kPolygonMode, {mode}))
        QVGL(PolygonMode)(GL_FRONT_AND_BACK, mode);
}

void GlStateCache::ShadeModel(GLenum model)
{
    if (Changed(kShadeModel, {model}))
        QVGL(ShadeModel)(model);
}

void GlStateCache::ColorMask(bool r, bool g, bool b, bool a)
{
    if (Changed(kColorMask, {r, g, b, a}))
        QVGL(ColorMask)(r, g, b, a);
}

void GlStateCache::PolygonOffset(GLfloat factor, GLfloat units)
{
    if (Changed(kPolygonOffset, {Bits(factor), Bits(units)}))
        QVGL(PolygonOffset)(factor, units);
}

void GlStateCache::PointSize(GLfloat size)
{
    if (Changed(kPointSize, {Bits(size)}))
        QVGL(PointSize)(size);
}

void GlStateCache::Viewport(GLint x, GLint y, GLsizei w, GLsizei h)
{
    if (Changed(kViewport, {static_cast<uint32_t>(x), static_cast<uint32_t>(y), static_cast<uint32_t>(w),
                            static_cast<uint32_t>(h)}))
        QVGL(Viewport)(x, y, w, h);
}

void GlStateCache::DepthRange(GLfloat nearZ, GLfloat farZ)
{
    if (Changed(kDepthRange, {Bits(nearZ), Bits(farZ)}))
        QVGL(DepthRange)(nearZ, farZ);
}

void GlStateCache::Scissor(GLint x, GLint y, GLsizei w, GLsizei h)
{
    if (Changed(kScissor, {static_cast<uint32_t>(x), static_cast<uint32_t>(y), static_cast<uint32_t>(w),
                           static_cast<uint32_t>(h)}))
        QVGL(Scissor)(x, y, w, h);
}

void GlStateCache::ClearColor(const GLfloat c[4])
{
    if (Changed(kClearColor, {Bits(c[0]), Bits(c[1]), Bits(c[2]), Bits(c[3])}))
        QVGL(ClearColor)(c[0], c[1], c[2], c[3]);
}

void GlStateCache::ClearDepth(GLfloat depth)
{
    if (Changed(kClearDepth, {Bits(depth)}))
        QVGL(ClearDepth)(depth);
}

void GlStateCache::ClearStencil(GLint stencil)
{
    if (Changed(kClearStencil, {static_cast<uint32_t>(stencil)}))
        QVGL(ClearStencil)(stencil);
}

void GlStateCache::LightModelAmbient(const GLfloat c[4])
{
    if (Changed(kLightModelAmbient, {Bits(c[0]), Bits(c[1]), Bits(c[2]), Bits(c[3])}))
        QVGL(LightModelfv)(GL_LIGHT_MODEL_AMBIENT, c);
}

void GlStateCache::LightModelLocalViewer(bool local)
{
    if (Changed(kLightModelLocalViewer, {local}))
        QVGL(LightModeli)(GL_LIGHT_MODEL_LOCAL_VIEWER, local ? GL_TRUE : GL_FALSE);
}

void GlStateCache::ColorMaterial(GLenum mode)
{
    if (Changed(kColorMaterial, {mode}))
        QVGL(ColorMaterial)(GL_FRONT_AND_BACK, mode);
}

void GlStateCache::Material(GLenum pname, const GLfloat c[4])
{
    const int slot = pname == GL_AMBIENT   ? kMaterialAmbient
                     : pname == GL_DIFFUSE ? kMaterialDiffuse
                     : pname == GL_SPECULAR ? kMaterialSpecular
                                            : kMaterialEmission;
    if (Changed(slot, {Bits(c[0]), Bits(c[1]), Bits(c[2]), Bits(c[3])}))
        QVGL(Materialfv)(GL_FRONT_AND_BACK, pname, c);
}

void GlStateCache::Shininess(GLfloat shininess)
{
    if (Changed(kShininess, {Bits(shininess)}))
        QVGL(Materialf)(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
}

void GlStateCache::ForgetMaterial()
{
    for (int slot : {kMaterialAmbient, kMaterialDiffuse, kMaterialSpecular, kMaterialEmission})
        m_known[slot] = false;
}

void GlStateCache::TexEnv(GLenum pname, GLint value)
{
    const int index = TexEnvIndex(pname);
    if (index >= 0 && !Changed(kTexEnvFirst + index, {static_cast<uint32_t>(value)}))
        return;
    QVGL(TexEnvi)(GL_TEXTURE_ENV, pname, value);
}

void GlStateCache::TexEnvColor(const GLfloat c[4])
{
    if (Changed(kTexEnvColor, {Bits(c[0]), Bits(c[1]), Bits(c[2]), Bits(c[3])}))
        QVGL(TexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
}

void GlStateCache::Fog(GLenum mode, GLfloat start, GLfloat end, GLfloat density, const GLfloat c[4])
{
    if (!Changed(kFog, {mode, Bits(start), Bits(end), Bits(density), Bits(c[0]), Bits(c[1]), Bits(c[2]), Bits(c[3])}))
        return;
    QVGL(Fogi)(GL_FOG_MODE, static_cast<GLint>(mode));
    QVGL(Fogf)(GL_FOG_START, start);
    QVGL(Fogf)(GL_FOG_END, end);
    QVGL(Fogf)(GL_FOG_DENSITY, density);
    QVGL(Fogfv)(GL_FOG_COLOR, c);
}

void GlStateCache::LoadMatrix(GLenum mode, const GLfloat m[16])
{
    if (!MatrixChanged(MatrixIndex(mode), m))
        return;
    if (m_matrixMode != mode)
        QVGL(MatrixMode)(mode);
    QVGL(LoadMatrixf)(m);
    if (mode != GL_MODELVIEW)
        QVGL(MatrixMode)(GL_MODELVIEW);
    m_matrixMode = GL_MODELVIEW;
}

void GlStateCache::ForgetModelView()
{
    m_matricesKnown[1] = false;
}

void GlStateCache::ColorArrayDefault(const GLfloat c[4])
{
    if (Changed(kColor, {Bits(c[0]), Bits(c[1]), Bits(c[2]), Bits(c[3])}))
        QVGL(Color4f)(c[0], c[1], c[2], c[3]);
}

void GlStateCache::NormalDefault(const GLfloat n[3])
{
    if (Changed(kNormal, {Bits(n[0]), Bits(n[1]), Bits(n[2])}))
        QVGL(Normal3f)(n[0], n[1], n[2]);
}

void GlStateCache::ForgetCurrentAttributes(bool color, bool normal)
{
    // OpenGL leaves the current colour and normal undefined after drawing from their arrays.
    if (color)
        m_known[kColor] = false;
    if (normal)
        m_known[kNormal] = false;
}

} // namespace qv::d3d9
