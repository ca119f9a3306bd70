#include "platform/d3d9/GlStateCache.h"

#include <cstring>

#include "platform/d3d9/BitCast.h"

namespace qv::d3d9 {

namespace {

// The capabilities the device switches, in slot order.
constexpr GLenum kCapabilityList[] = {
    GL_DEPTH_TEST,          GL_STENCIL_TEST,        GL_BLEND,     GL_ALPHA_TEST,     GL_CULL_FACE,
    GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE, GL_POLYGON_OFFSET_POINT,         GL_LIGHTING,
    GL_NORMALIZE,           GL_COLOR_MATERIAL,      GL_FOG,       GL_SCISSOR_TEST,   GL_TEXTURE_2D,
    GL_DITHER,              GL_LIGHT0,              GL_LIGHT1,    GL_LIGHT2,         GL_LIGHT3,
    GL_LIGHT4,              GL_LIGHT5,              GL_LIGHT6,    GL_LIGHT7};
static_assert(sizeof kCapabilityList / sizeof kCapabilityList[0] == GlStateCache::kCapabilities,
              "one slot for each capability");

constexpr GLenum kTexEnvList[] = {GL_TEXTURE_ENV_MODE, GL_COMBINE_RGB,    GL_COMBINE_ALPHA,  GL_SOURCE0_RGB,
                                  GL_SOURCE1_RGB,      GL_SOURCE2_RGB,    GL_SOURCE0_ALPHA,  GL_SOURCE1_ALPHA,
                                  GL_SOURCE2_ALPHA,    GL_OPERAND0_RGB,   GL_OPERAND1_RGB,   GL_OPERAND2_RGB,
                                  GL_OPERAND0_ALPHA,   GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA, GL_RGB_SCALE,
                                  GL_ALPHA_SCALE};
static_assert(sizeof kTexEnvList / sizeof kTexEnvList[0] == GlStateCache::kTexEnvNames,
              "one slot for each texture-environment parameter");

// The slot of a capability; -1 for one the device never switches.
int CapabilityIndex(GLenum capability)
{
    for (size_t i = 0; i < sizeof kCapabilityList / sizeof kCapabilityList[0]; ++i)
        if (kCapabilityList[i] == capability)
            return static_cast<int>(i);
    return -1;
}

int TexEnvIndex(GLenum pname)
{
    for (size_t i = 0; i < sizeof kTexEnvList / sizeof kTexEnvList[0]; ++i)
        if (kTexEnvList[i] == pname)
            return static_cast<int>(i);
    return -1;
}

// Mesa's llvmpipe rasterises what was drawn only once it is flushed, on threads of its own,
// while the thread that draws keeps transforming and sorting the next triangles into tiles. A
// flush after about this much work (vertices or indices, and a share for each draw) lets the
// two overlap instead of the rasteriser waiting for Present; much sooner, and starting and
// ending so many small scenes costs more than it saves.
constexpr size_t kFlushWork = 8192;
constexpr size_t kWorkPerDraw = 64;

constexpr uint32_t ArrayBit(GLenum array)
{
    return array == GL_VERTEX_ARRAY ? 1u : array == GL_NORMAL_ARRAY ? 2u : array == GL_COLOR_ARRAY ? 4u : 8u;
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
    m_arraysKnown = false;
    m_bindingsKnown = false;
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
    if (Changed(kBlendColor, {BitCast<uint32_t>(c[0]), BitCast<uint32_t>(c[1]), BitCast<uint32_t>(c[2]), BitCast<uint32_t>(c[3])}))
        QVGL(BlendColor)(c[0], c[1], c[2], c[3]);
}

void GlStateCache::AlphaFunc(GLenum func, GLfloat ref)
{
    if (Changed(kAlphaFunc, {func, BitCast<uint32_t>(ref)}))
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
    if (Changed(kPolygonOffset, {BitCast<uint32_t>(factor), BitCast<uint32_t>(units)}))
        QVGL(PolygonOffset)(factor, units);
}

void GlStateCache::PointSize(GLfloat size)
{
    if (Changed(kPointSize, {BitCast<uint32_t>(size)}))
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
    if (Changed(kDepthRange, {BitCast<uint32_t>(nearZ), BitCast<uint32_t>(farZ)}))
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
    if (Changed(kClearColor, {BitCast<uint32_t>(c[0]), BitCast<uint32_t>(c[1]), BitCast<uint32_t>(c[2]), BitCast<uint32_t>(c[3])}))
        QVGL(ClearColor)(c[0], c[1], c[2], c[3]);
}

void GlStateCache::ClearDepth(GLfloat depth)
{
    if (Changed(kClearDepth, {BitCast<uint32_t>(depth)}))
        QVGL(ClearDepth)(depth);
}

void GlStateCache::ClearStencil(GLint stencil)
{
    if (Changed(kClearStencil, {static_cast<uint32_t>(stencil)}))
        QVGL(ClearStencil)(stencil);
}

void GlStateCache::LightModelAmbient(const GLfloat c[4])
{
    if (Changed(kLightModelAmbient, {BitCast<uint32_t>(c[0]), BitCast<uint32_t>(c[1]), BitCast<uint32_t>(c[2]), BitCast<uint32_t>(c[3])}))
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
    if (Changed(slot, {BitCast<uint32_t>(c[0]), BitCast<uint32_t>(c[1]), BitCast<uint32_t>(c[2]), BitCast<uint32_t>(c[3])}))
        QVGL(Materialfv)(GL_FRONT_AND_BACK, pname, c);
}

void GlStateCache::Shininess(GLfloat shininess)
{
    if (Changed(kShininess, {BitCast<uint32_t>(shininess)}))
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
    if (Changed(kTexEnvColor, {BitCast<uint32_t>(c[0]), BitCast<uint32_t>(c[1]), BitCast<uint32_t>(c[2]), BitCast<uint32_t>(c[3])}))
        QVGL(TexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
}

void GlStateCache::Fog(GLenum mode, GLfloat start, GLfloat end, GLfloat density, const GLfloat c[4])
{
    if (!Changed(kFog, {mode, BitCast<uint32_t>(start), BitCast<uint32_t>(end), BitCast<uint32_t>(density), BitCast<uint32_t>(c[0]), BitCast<uint32_t>(c[1]), BitCast<uint32_t>(c[2]), BitCast<uint32_t>(c[3])}))
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

void GlStateCache::ColorArrayDefault(const GLfloat c[4])
{
    if (Changed(kColor, {BitCast<uint32_t>(c[0]), BitCast<uint32_t>(c[1]), BitCast<uint32_t>(c[2]), BitCast<uint32_t>(c[3])}))
        QVGL(Color4f)(c[0], c[1], c[2], c[3]);
}

void GlStateCache::NormalDefault(const GLfloat n[3])
{
    if (Changed(kNormal, {BitCast<uint32_t>(n[0]), BitCast<uint32_t>(n[1]), BitCast<uint32_t>(n[2])}))
        QVGL(Normal3f)(n[0], n[1], n[2]);
}

void GlStateCache::TexCoordDefault(const GLfloat t[4])
{
    if (Changed(kTexCoord, {BitCast<uint32_t>(t[0]), BitCast<uint32_t>(t[1]), BitCast<uint32_t>(t[2]),
                            BitCast<uint32_t>(t[3])}))
        QVGL(TexCoord4f)(t[0], t[1], t[2], t[3]);
}

void GlStateCache::ForgetCurrentAttributes(bool color, bool normal)
{
    // OpenGL leaves the current colour and normal undefined after drawing from their arrays.
    if (color)
        m_known[kColor] = false;
    if (normal)
        m_known[kNormal] = false;
}

void GlStateCache::Array(GLenum array, bool enabled)
{
    if (!m_arraysKnown) {
        for (GLenum a : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_TEXTURE_COORD_ARRAY})
            QVGL(DisableClientState)(a);
        m_arrays = 0;
        m_arraysKnown = true;
    }
    const uint32_t bit = ArrayBit(array);
    if (((m_arrays & bit) != 0) == enabled)
        return;
    if (enabled)
        QVGL(EnableClientState)(array);
    else
        QVGL(DisableClientState)(array);
    m_arrays ^= bit;
}

bool GlStateCache::Rebind(GLuint& bound, GLuint name)
{
    // Unknown bindings hold a name no object has, so that the next binding is sent.
    if (!m_bindingsKnown) {
        m_arrayBuffer = m_elementBuffer = m_program = m_texture = ~0u;
        m_bindingsKnown = true;
    }
    if (bound == name)
        return false;
    bound = name;
    return true;
}

void GlStateCache::BindBuffer(GLenum target, GLuint name)
{
    if (Rebind(target == GL_ELEMENT_ARRAY_BUFFER ? m_elementBuffer : m_arrayBuffer, name))
        QVGL(BindBuffer)(target, name);
}

void GlStateCache::ForgetBuffer(GLuint name)
{
    if (m_arrayBuffer == name)
        m_arrayBuffer = 0;
    if (m_elementBuffer == name)
        m_elementBuffer = 0;
}

void GlStateCache::UseProgram(GLuint program)
{
    if (Rebind(m_program, program) && qv::gl::g_api.shaders)
        QVGL(UseProgram)(program);
}

void GlStateCache::BindTexture(GLuint name)
{
    if (Rebind(m_texture, name))
        QVGL(BindTexture)(GL_TEXTURE_2D, name);
}

void GlStateCache::ForgetTexture(GLuint name)
{
    if (m_texture == name)
        m_texture = 0;
}

void GlStateCache::Drawn(size_t count)
{
    ++qv::gl::g_drawCount;
    m_workSinceFlush += count + kWorkPerDraw;
    if (m_workSinceFlush >= kFlushWork) {
        QVGL(Flush)();
        m_workSinceFlush = 0;
    }
}

} // namespace qv::d3d9
