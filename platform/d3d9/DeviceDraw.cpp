// Drawing: the device's state given to OpenGL's fixed-function pipeline the way Direct3D
// defines it (row vectors, depth 0..1, pixel centres on whole coordinates, clockwise front
// faces on the screen, D3DCOLOR bytes), then the primitives drawn from the vertex sources.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/D3D9Interop.h"
#include "platform/d3d9/Device.h"

namespace qv::d3d9 {

namespace {

float AsFloat(DWORD d)
{
    float f;
    std::memcpy(&f, &d, sizeof f);
    return f;
}

} // namespace

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b)
{
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

GLenum CompareFunction(DWORD cmp)
{
    switch (cmp) {
    case D3DCMP_NEVER:
        return GL_NEVER;
    case D3DCMP_LESS:
        return GL_LESS;
    case D3DCMP_EQUAL:
        return GL_EQUAL;
    case D3DCMP_LESSEQUAL:
        return GL_LEQUAL;
    case D3DCMP_GREATER:
        return GL_GREATER;
    case D3DCMP_NOTEQUAL:
        return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL:
        return GL_GEQUAL;
    default:
        return GL_ALWAYS;
    }
}

GLenum StencilOperation(DWORD op)
{
    switch (op) {
    case D3DSTENCILOP_ZERO:
        return GL_ZERO;
    case D3DSTENCILOP_REPLACE:
        return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT:
        return GL_INCR;
    case D3DSTENCILOP_DECRSAT:
        return GL_DECR;
    case D3DSTENCILOP_INVERT:
        return GL_INVERT;
    case D3DSTENCILOP_INCR:
        return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR:
        return GL_DECR_WRAP;
    default:
        return GL_KEEP;
    }
}

GLenum BlendFactor(DWORD blend, GLenum fallback)
{
    switch (blend) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_ONE:
        return GL_ONE;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
        return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
        return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR:
        return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR:
        return GL_ONE_MINUS_CONSTANT_COLOR;
    default:
        return fallback;
    }
}

GLenum BlendEquation(DWORD op)
{
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

// Resolves BOTHSRCALPHA and BOTHINVSRCALPHA, which set both factors from the source one.
void BlendPair(DWORD src, DWORD dst, GLenum& glSrc, GLenum& glDst)
{
    if (src == D3DBLEND_BOTHSRCALPHA) {
        glSrc = GL_SRC_ALPHA;
        glDst = GL_ONE_MINUS_SRC_ALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
        glSrc = GL_ONE_MINUS_SRC_ALPHA;
        glDst = GL_SRC_ALPHA;
    } else {
        glSrc = BlendFactor(src, GL_ONE);
        glDst = BlendFactor(dst, GL_ZERO);
    }
}

namespace {

void ColorOf(D3DCOLOR c, GLfloat out[4])
{
    out[0] = ((c >> 16) & 0xFF) / 255.0f;
    out[1] = ((c >> 8) & 0xFF) / 255.0f;
    out[2] = (c & 0xFF) / 255.0f;
    out[3] = ((c >> 24) & 0xFF) / 255.0f;
}

void ColorOf(const D3DCOLORVALUE& c, GLfloat out[4])
{
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

// A texture-stage argument as a combiner source and operand.
void StageArgument(DWORD arg, bool alpha, GLint& source, GLint& operand)
{
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_TEXTURE:
        source = GL_TEXTURE;
        break;
    case D3DTA_TFACTOR:
    case D3DTA_CONSTANT:
        source = GL_CONSTANT;
        break;
    case D3DTA_CURRENT:
    case D3DTA_TEMP:
        source = GL_PREVIOUS;
        break;
    default: // diffuse, and specular, which the first stage sees as the vertex colour
        source = GL_PRIMARY_COLOR;
        break;
    }
    const bool complement = (arg & D3DTA_COMPLEMENT) != 0;
    if (alpha || (arg & D3DTA_ALPHAREPLICATE))
        operand = complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    else
        operand = complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR;
}

// One texture-stage operation (colour or alpha) as an OpenGL combiner.
void ApplyCombiner(GlStateCache& gl, DWORD op, DWORD arg1, DWORD arg2, bool alpha)
{
    const GLenum combine = alpha ? GL_COMBINE_ALPHA : GL_COMBINE_RGB;
    const GLenum sources[3] = {alpha ? GLenum(GL_SOURCE0_ALPHA) : GLenum(GL_SOURCE0_RGB),
                               alpha ? GLenum(GL_SOURCE1_ALPHA) : GLenum(GL_SOURCE1_RGB),
                               alpha ? GLenum(GL_SOURCE2_ALPHA) : GLenum(GL_SOURCE2_RGB)};
    const GLenum operands[3] = {alpha ? GLenum(GL_OPERAND0_ALPHA) : GLenum(GL_OPERAND0_RGB),
                                alpha ? GLenum(GL_OPERAND1_ALPHA) : GLenum(GL_OPERAND1_RGB),
                                alpha ? GLenum(GL_OPERAND2_ALPHA) : GLenum(GL_OPERAND2_RGB)};
    const GLenum scaleName = alpha ? GL_ALPHA_SCALE : GL_RGB_SCALE;
    GLint mode = GL_MODULATE;
    GLint s[3] = {GL_PREVIOUS, GL_PREVIOUS, GL_PREVIOUS};
    GLint o[3] = {alpha ? GL_SRC_ALPHA : GL_SRC_COLOR, alpha ? GL_SRC_ALPHA : GL_SRC_COLOR, GL_SRC_ALPHA};
    GLint scale = 1;
    StageArgument(arg1, alpha, s[0], o[0]);
    StageArgument(arg2, alpha, s[1], o[1]);
    switch (op) {
    case D3DTOP_DISABLE: // alpha only: the alpha of the stage before (the vertex's)
        mode = GL_REPLACE;
        s[0] = GL_PREVIOUS;
        o[0] = GL_SRC_ALPHA;
        break;
    case D3DTOP_SELECTARG1:
        mode = GL_REPLACE;
        break;
    case D3DTOP_SELECTARG2:
        mode = GL_REPLACE;
        s[0] = s[1];
        o[0] = o[1];
        break;
    case D3DTOP_MODULATE2X:
        scale = 2;
        break;
    case D3DTOP_MODULATE4X:
        scale = 4;
        break;
    case D3DTOP_ADD:
        mode = GL_ADD;
        break;
    case D3DTOP_ADDSIGNED:
        mode = GL_ADD_SIGNED;
        break;
    case D3DTOP_ADDSIGNED2X:
        mode = GL_ADD_SIGNED;
        scale = 2;
        break;
    case D3DTOP_SUBTRACT:
        mode = GL_SUBTRACT;
        break;
    case D3DTOP_BLENDDIFFUSEALPHA:
    case D3DTOP_BLENDTEXTUREALPHA:
    case D3DTOP_BLENDFACTORALPHA:
    case D3DTOP_BLENDCURRENTALPHA:
        mode = GL_INTERPOLATE;
        s[2] = op == D3DTOP_BLENDDIFFUSEALPHA   ? GL_PRIMARY_COLOR
               : op == D3DTOP_BLENDTEXTUREALPHA ? GL_TEXTURE
               : op == D3DTOP_BLENDFACTORALPHA  ? GL_CONSTANT
                                                : GL_PREVIOUS;
        o[2] = GL_SRC_ALPHA;
        break;
    case D3DTOP_DOTPRODUCT3:
        mode = alpha ? GL_MODULATE : GL_DOT3_RGBA;
        break;
    default:
        break; // MODULATE, and the operations without an OpenGL counterpart
    }
    gl.TexEnv(combine, mode);
    for (int i = 0; i < 3; ++i) {
        gl.TexEnv(sources[i], s[i]);
        gl.TexEnv(operands[i], o[i]);
    }
    gl.TexEnv(scaleName, scale);
}

// An edge through a row of pixel centres belongs, in Direct3D, to the triangle below it (the
// top-left rule); OpenGL's rasteriser, seeing the picture upside down, would give it to the
// one above. Moving everything up by this fraction of a pixel settles such ties as Direct3D
// does; columns already agree.
constexpr float kTieBias = 1.0f / 64.0f;

// Mesa's llvmpipe rasterises what was drawn only once it is flushed, on threads of its own,
// while the thread that draws keeps transforming and sorting the next triangles into tiles. A
// flush after about this much work (vertices or indices, and a share for each draw) lets the
// two overlap instead of the rasteriser waiting for Present; much sooner, and starting and
// ending so many small scenes costs more than it saves.
constexpr size_t kFlushWork = 8192;
constexpr size_t kWorkPerDraw = 64;

enum ArrayBit : uint32_t {
    kArrayVertex = 1,
    kArrayNormal = 2,
    kArrayColor = 4,
    kArrayTexCoord = 8,
};

} // namespace

void Device::SetArray(GLenum array, bool enabled)
{
    const uint32_t bit = array == GL_VERTEX_ARRAY   ? kArrayVertex
                         : array == GL_NORMAL_ARRAY ? kArrayNormal
                         : array == GL_COLOR_ARRAY  ? kArrayColor
                                                    : kArrayTexCoord;
    if (((m_glArrays & bit) != 0) == enabled)
        return;
    if (enabled) {
        QVGL(EnableClientState)(array);
        m_glArrays |= bit;
    } else {
        QVGL(DisableClientState)(array);
        m_glArrays &= ~bit;
    }
}

void Device::Drawn(size_t count)
{
    ++qv::gl::g_drawCount;
    m_workSinceFlush += count + kWorkPerDraw;
    if (m_workSinceFlush >= kFlushWork) {
        QVGL(Flush)();
        m_workSinceFlush = 0;
    }
}

bool Device::CurrentLayout(VertexLayout& layout) const
{
    if (m_declaration) {
        layout = m_declaration->Layout();
        return true;
    }
    return LayoutFromFvf(m_fvf, layout);
}

// ---------------------------------------------------------------------------------------------
// State

void Device::ApplyViewport(bool transformed)
{
    const GLint bbH = static_cast<GLint>(BackBufferHeight());
    if (transformed) {
        // Pre-transformed vertices are in back-buffer pixels whatever the viewport.
        m_gl.Viewport(0, 0, static_cast<GLsizei>(BackBufferWidth()), bbH);
        m_gl.DepthRange(0.0f, 1.0f);
    } else {
        m_gl.Viewport(static_cast<GLint>(m_viewport.X), bbH - static_cast<GLint>(m_viewport.Y + m_viewport.Height),
                      static_cast<GLsizei>(m_viewport.Width), static_cast<GLsizei>(m_viewport.Height));
        m_gl.DepthRange(m_viewport.MinZ, m_viewport.MaxZ);
    }
}

const D3DMATRIX& Device::Transform(DWORD t) const
{
    static const D3DMATRIX identity = IdentityMatrix();
    auto it = m_transforms.find(t);
    return it != m_transforms.end() ? it->second : identity;
}

// Direct3D's camera looks along +z, OpenGL's eye along -z: OpenGL's eye space is taken with z
// mirrored (undone in the projection), so that its distant viewer (0, 0, 1) is Direct3D's, the
// eye looking at the surface. Lighting sees only dot products and lengths, which the mirror
// keeps. Row vectors: a Direct3D matrix read column by column by OpenGL is the same transform.
D3DMATRIX Device::GlProjection() const
{
    D3DMATRIX projection = Multiply(Transform(D3DTS_PROJECTION), ClipAdjustment());
    for (int i = 0; i < 4; ++i)
        projection.m[2][i] = -projection.m[2][i];
    return projection;
}

D3DMATRIX Device::GlModelView(const D3DMATRIX& world) const
{
    D3DMATRIX worldView = Multiply(world, Transform(D3DTS_VIEW));
    for (int i = 0; i < 4; ++i)
        worldView.m[i][2] = -worldView.m[i][2];
    return worldView;
}

D3DMATRIX Device::PixelProjection() const
{
    // Back-buffer pixels (x right, y down, centres on whole numbers) and depth 0..1 to
    // OpenGL's clip space; positions come as (x, y, z, 1) / rhw.
    const float w = static_cast<float>(BackBufferWidth());
    const float h = static_cast<float>(BackBufferHeight());
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = 2.0f / w;
    m._22 = -2.0f / h;
    m._33 = 2.0f;
    m._41 = 1.0f / w - 1.0f;
    m._42 = 1.0f - (1.0f - 2.0f * kTieBias) / h;
    m._43 = -1.0f;
    m._44 = 1.0f;
    return m;
}

void Device::ApplyProjection(bool transformed)
{
    const D3DMATRIX projection = transformed ? PixelProjection() : GlProjection();
    m_gl.LoadMatrix(GL_PROJECTION, &projection.m[0][0]);
}

void Device::ApplyModelView(bool transformed, const D3DMATRIX& world)
{
    const D3DMATRIX modelView = transformed ? IdentityMatrix() : GlModelView(world);
    m_gl.LoadMatrix(GL_MODELVIEW, &modelView.m[0][0]);
}

D3DMATRIX Device::ClipAdjustment() const
{
    // Clip-space depth 0..w becomes -w..w, and the picture moves half a pixel so that pixel
    // centres fall on whole viewport coordinates, as in Direct3D 9.
    D3DMATRIX adjust = IdentityMatrix();
    adjust._33 = 2.0f;
    adjust._43 = -1.0f;
    adjust._41 = 1.0f / static_cast<float>(m_viewport.Width);
    adjust._42 = -(1.0f - 2.0f * kTieBias) / static_cast<float>(m_viewport.Height);
    return adjust;
}

void Device::ApplyLights()
{
    // Lights are given in world space; OpenGL takes their positions through the modelview
    // matrix at the time they are set, so the view alone is loaded for them.
    D3DMATRIX view = Transform(D3DTS_VIEW);
    for (int i = 0; i < 4; ++i)
        view.m[i][2] = -view.m[i][2]; // the mirrored eye space of ApplyModelView
    m_gl.LoadMatrix(GL_MODELVIEW, &view.m[0][0]);
    const bool specular = m_renderStates[D3DRS_SPECULARENABLE] != FALSE;
    GLint n = 0;
    for (const auto& entry : m_lights) {
        if (!entry.second.enabled || n >= static_cast<GLint>(kGlLights))
            continue;
        const D3DLIGHT9& l = entry.second.light;
        const GLenum id = GL_LIGHT0 + static_cast<GLenum>(n++);
        GLfloat c[4];
        ColorOf(l.Ambient, c);
        QVGL(Lightfv)(id, GL_AMBIENT, c);
        ColorOf(l.Diffuse, c);
        QVGL(Lightfv)(id, GL_DIFFUSE, c);
        ColorOf(l.Specular, c);
        if (!specular)
            c[0] = c[1] = c[2] = c[3] = 0.0f;
        QVGL(Lightfv)(id, GL_SPECULAR, c);
        if (l.Type == D3DLIGHT_DIRECTIONAL) {
            // Direct3D gives where the light travels; OpenGL where it comes from.
            const GLfloat position[4] = {-l.Direction.x, -l.Direction.y, -l.Direction.z, 0.0f};
            QVGL(Lightfv)(id, GL_POSITION, position);
            QVGL(Lightf)(id, GL_SPOT_CUTOFF, 180.0f);
        } else {
            const GLfloat position[4] = {l.Position.x, l.Position.y, l.Position.z, 1.0f};
            QVGL(Lightfv)(id, GL_POSITION, position);
            const bool none = l.Attenuation0 == 0.0f && l.Attenuation1 == 0.0f && l.Attenuation2 == 0.0f;
            QVGL(Lightf)(id, GL_CONSTANT_ATTENUATION, none ? 1.0f : l.Attenuation0);
            QVGL(Lightf)(id, GL_LINEAR_ATTENUATION, l.Attenuation1);
            QVGL(Lightf)(id, GL_QUADRATIC_ATTENUATION, l.Attenuation2);
            if (l.Type == D3DLIGHT_SPOT) {
                const GLfloat direction[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
                QVGL(Lightfv)(id, GL_SPOT_DIRECTION, direction);
                // OpenGL has one cone with a cos^e fall-off; Direct3D lights fully inside Theta
                // and fades to nothing at Phi. The outer cone is kept, and e is chosen so that
                // both give the same light halfway between the two cones.
                const float halfOuter = std::min(1.5707963f, std::max(0.0f, l.Phi * 0.5f));
                const float halfInner = std::min(halfOuter, std::max(0.0f, l.Theta * 0.5f));
                const float cosOuter = std::cos(halfOuter), cosInner = std::cos(halfInner);
                const float cosMiddle = std::cos((halfOuter + halfInner) * 0.5f);
                float exponent = 0.0f;
                if (cosInner - cosOuter > 1e-6f && cosMiddle < 1.0f) {
                    const float d3d = std::pow((cosMiddle - cosOuter) / (cosInner - cosOuter),
                                               std::max(0.0f, l.Falloff));
                    if (d3d > 0.0f)
                        exponent = std::log(d3d) / std::log(cosMiddle);
                }
                QVGL(Lightf)(id, GL_SPOT_CUTOFF, halfOuter * 57.29577951f);
                QVGL(Lightf)(id, GL_SPOT_EXPONENT, std::isfinite(exponent) ? std::min(128.0f, std::max(0.0f, exponent)) : 0.0f);
            } else {
                QVGL(Lightf)(id, GL_SPOT_CUTOFF, 180.0f);
            }
        }
        m_gl.Enable(id, true);
    }
    for (GLint i = n; i < m_glLightCount; ++i)
        m_gl.Enable(GL_LIGHT0 + static_cast<GLenum>(i), false);
    m_glLightCount = n;
    m_dirty |= kDirtyModelView;
}

void Device::ApplyLighting(const VertexLayout& layout, bool transformed)
{
    const bool lighting = !transformed && m_renderStates[D3DRS_LIGHTING] != FALSE;
    if (m_dirty & kDirtyLighting) {
        m_gl.Enable(GL_LIGHTING, lighting);
        if (lighting) {
            GLfloat ambient[4];
            ColorOf(m_renderStates[D3DRS_AMBIENT], ambient);
            m_gl.LightModelAmbient(ambient);
            m_gl.LightModelLocalViewer(m_renderStates[D3DRS_LOCALVIEWER] != FALSE);
            m_gl.Enable(GL_NORMALIZE, m_renderStates[D3DRS_NORMALIZENORMALS] != FALSE);
        }
    }
    // With COLORVERTEX, a vertex colour stands for the material colours whose source is
    // D3DMCS_COLOR1; without a vertex colour the material's own are used.
    int colorMaterial = 0;
    if (lighting && layout.diffuse.present && m_renderStates[D3DRS_COLORVERTEX]) {
        const bool diffuse = m_renderStates[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
        const bool ambient = m_renderStates[D3DRS_AMBIENTMATERIALSOURCE] == D3DMCS_COLOR1;
        const bool emissive = m_renderStates[D3DRS_EMISSIVEMATERIALSOURCE] == D3DMCS_COLOR1;
        colorMaterial = diffuse && ambient ? GL_AMBIENT_AND_DIFFUSE
                        : diffuse          ? GL_DIFFUSE
                        : ambient          ? GL_AMBIENT
                        : emissive         ? GL_EMISSION
                                           : 0;
    }
    if (colorMaterial != m_glColorMaterial) {
        if (colorMaterial)
            m_gl.ColorMaterial(static_cast<GLenum>(colorMaterial));
        m_gl.Enable(GL_COLOR_MATERIAL, colorMaterial != 0);
        // Tracking the colour overwrote the material's colours in OpenGL.
        if (m_glColorMaterial > 0 || colorMaterial) {
            m_dirty |= kDirtyMaterial;
            m_gl.ForgetMaterial();
        }
        m_glColorMaterial = colorMaterial;
    }
}

void Device::ApplyMaterial()
{
    GLfloat c[4];
    ColorOf(m_material.Ambient, c);
    m_gl.Material(GL_AMBIENT, c);
    ColorOf(m_material.Diffuse, c);
    m_gl.Material(GL_DIFFUSE, c);
    ColorOf(m_material.Specular, c);
    if (!m_renderStates[D3DRS_SPECULARENABLE])
        c[0] = c[1] = c[2] = c[3] = 0.0f;
    m_gl.Material(GL_SPECULAR, c);
    ColorOf(m_material.Emissive, c);
    m_gl.Material(GL_EMISSION, c);
    const float power = std::isfinite(m_material.Power) ? m_material.Power : 0.0f;
    m_gl.Shininess(std::min(128.0f, std::max(0.0f, power)));
}

void Device::ApplySampler(Texture* texture)
{
    ApplySamplerTo(GL_TEXTURE_2D, m_samplerStates[0], texture->appliedSampler, texture->samplerApplied,
                   texture->LevelCount(), texture->GetLOD());
}

void Device::ApplySamplerTo(GLenum target, const std::array<DWORD, kSamplerStates>& ss,
                            std::array<DWORD, kSamplerStates>& applied, bool& appliedOnce, DWORD levels, DWORD lod)
{
    const bool all = !appliedOnce;
    auto changed = [&](DWORD s) { return all || applied[s] != ss[s]; };
    auto address = [](DWORD mode) -> GLint {
        switch (mode) {
        case D3DTADDRESS_MIRROR:
            return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP:
            return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER:
            return GL_CLAMP_TO_BORDER;
        case D3DTADDRESS_MIRRORONCE:
            return qv::gl::g_api.mirrorClamp ? GL_MIRROR_CLAMP_TO_EDGE : GL_CLAMP_TO_EDGE;
        default:
            return GL_REPEAT;
        }
    };
    if (changed(D3DSAMP_ADDRESSU))
        QVGL(TexParameteri)(target, GL_TEXTURE_WRAP_S, address(ss[D3DSAMP_ADDRESSU]));
    if (changed(D3DSAMP_ADDRESSV))
        QVGL(TexParameteri)(target, GL_TEXTURE_WRAP_T, address(ss[D3DSAMP_ADDRESSV]));
    if (changed(D3DSAMP_BORDERCOLOR)) {
        GLfloat border[4];
        ColorOf(ss[D3DSAMP_BORDERCOLOR], border);
        QVGL(TexParameterfv)(target, GL_TEXTURE_BORDER_COLOR, border);
    }
    if (changed(D3DSAMP_MAGFILTER))
        QVGL(TexParameteri)(target, GL_TEXTURE_MAG_FILTER,
                            ss[D3DSAMP_MAGFILTER] == D3DTEXF_POINT || ss[D3DSAMP_MAGFILTER] == D3DTEXF_NONE
                                ? GL_NEAREST
                                : GL_LINEAR);
    if (changed(D3DSAMP_MINFILTER) || changed(D3DSAMP_MIPFILTER)) {
        const bool linear = ss[D3DSAMP_MINFILTER] != D3DTEXF_POINT && ss[D3DSAMP_MINFILTER] != D3DTEXF_NONE;
        GLint filter;
        switch (ss[D3DSAMP_MIPFILTER]) {
        case D3DTEXF_NONE:
            filter = linear ? GL_LINEAR : GL_NEAREST;
            break;
        case D3DTEXF_POINT:
            filter = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
            break;
        default:
            filter = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
            break;
        }
        QVGL(TexParameteri)(target, GL_TEXTURE_MIN_FILTER, filter);
    }
    if (changed(D3DSAMP_MIPMAPLODBIAS))
        QVGL(TexParameterf)(target, GL_TEXTURE_LOD_BIAS, AsFloat(ss[D3DSAMP_MIPMAPLODBIAS]));
    if (changed(D3DSAMP_MAXMIPLEVEL)) {
        // The most detailed level drawn: the sampler's limit or the texture's own LOD.
        const DWORD top = levels - 1;
        const DWORD first = std::max(ss[D3DSAMP_MAXMIPLEVEL], lod);
        QVGL(TexParameteri)(target, GL_TEXTURE_BASE_LEVEL, static_cast<GLint>(std::min(first, top)));
    }
    if (qv::gl::g_api.anisotropicFiltering &&
        (changed(D3DSAMP_MAXANISOTROPY) || changed(D3DSAMP_MINFILTER) || changed(D3DSAMP_MAGFILTER))) {
        const bool anisotropic =
            ss[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC || ss[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
        const float amount = anisotropic ? static_cast<float>(std::max<DWORD>(1, ss[D3DSAMP_MAXANISOTROPY])) : 1.0f;
        QVGL(TexParameterf)(target, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                            std::min(amount, qv::gl::g_api.maxAnisotropy));
    }
    std::copy(ss.begin(), ss.end(), applied.begin());
    appliedOnce = true;
}

void Device::ApplyStage()
{
    const auto& ts = m_stageStates[0];
    Texture* texture = m_textures[0];
    // Without a texture, or with the stage disabled, the vertex colour passes unchanged.
    const bool texturing = texture && ts[D3DTSS_COLOROP] != D3DTOP_DISABLE;
    m_gl.Enable(GL_TEXTURE_2D, texturing);
    m_glTexturing = texturing;
    if (!texturing)
        return;
    if (m_glBoundTexture != texture->GlName()) {
        QVGL(BindTexture)(GL_TEXTURE_2D, texture->GlName());
        m_glBoundTexture = texture->GlName();
    }
    m_gl.TexEnv(GL_TEXTURE_ENV_MODE, GL_COMBINE);
    ApplyCombiner(m_gl, ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2], false);
    ApplyCombiner(m_gl, ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2], true);
    GLfloat factor[4];
    ColorOf(m_renderStates[D3DRS_TEXTUREFACTOR], factor);
    m_gl.TexEnvColor(factor);

    // Texture transform: Direct3D extends two coordinates to (u, v, 1, 0) and three to
    // (u, v, w, 1); OpenGL extends them with (0, 1) and (1), so the rows are moved to match.
    const DWORD flags = ts[D3DTSS_TEXTURETRANSFORMFLAGS];
    const DWORD count = flags & 0xFF;
    if (count == 0 || count > 4) {
        const D3DMATRIX identity = IdentityMatrix();
        m_gl.LoadMatrix(GL_TEXTURE, &identity.m[0][0]);
    } else {
        const D3DMATRIX& m = Transform(D3DTS_TEXTURE0);
        VertexLayout layout;
        CurrentLayout(layout);
        const DWORD index = ts[D3DTSS_TEXCOORDINDEX] & 0xFFFF;
        const GLint inputs = index < 8 && layout.tex[index].present ? layout.tex[index].size : 2;
        D3DMATRIX g;
        std::memset(&g, 0, sizeof g);
        auto row = [&](int to, int from) {
            for (int j = 0; j < 4; ++j)
                g.m[to][j] = m.m[from][j];
        };
        row(0, 0);
        if (inputs == 1) {
            row(3, 1);
        } else if (inputs == 2) {
            row(1, 1);
            row(3, 2);
        } else {
            row(1, 1);
            row(2, 2);
            row(3, 3);
        }
        // q: the divisor of a projected transform, else one.
        for (int i = 0; i < 4; ++i)
            g.m[i][3] = (flags & D3DTTFF_PROJECTED) ? g.m[i][count - 1] : (i == 3 ? 1.0f : 0.0f);
        if (!(flags & D3DTTFF_PROJECTED) && inputs != 1 && inputs != 2)
            g.m[3][3] = 1.0f;
        m_gl.LoadMatrix(GL_TEXTURE, &g.m[0][0]);
    }
}

void Device::ApplyDepth()
{
    const bool test = m_hasDepth && m_renderStates[D3DRS_ZENABLE] != D3DZB_FALSE;
    m_gl.Enable(GL_DEPTH_TEST, test);
    if (test) {
        m_gl.DepthFunc(CompareFunction(m_renderStates[D3DRS_ZFUNC]));
        m_gl.DepthMask(m_renderStates[D3DRS_ZWRITEENABLE] != FALSE);
    }
}

void Device::ApplyStencil()
{
    const auto& rs = m_renderStates;
    const bool test = m_hasStencil && rs[D3DRS_STENCILENABLE];
    m_gl.Enable(GL_STENCIL_TEST, test);
    if (!test)
        return;
    const GLint ref = static_cast<GLint>(std::min<DWORD>(rs[D3DRS_STENCILREF], 0xFF));
    const GLuint mask = rs[D3DRS_STENCILMASK];
    // Front faces are the clockwise ones; with two-sided stencil the counter-clockwise ones
    // (OpenGL's back faces) take the CCW_ states.
    const bool twoSided = rs[D3DRS_TWOSIDEDSTENCILMODE] != FALSE;
    const GLenum front = twoSided ? GL_FRONT : GL_FRONT_AND_BACK;
    m_gl.StencilFunc(front, CompareFunction(rs[D3DRS_STENCILFUNC]), ref, mask);
    m_gl.StencilOp(front, StencilOperation(rs[D3DRS_STENCILFAIL]), StencilOperation(rs[D3DRS_STENCILZFAIL]),
                   StencilOperation(rs[D3DRS_STENCILPASS]));
    if (twoSided) {
        m_gl.StencilFunc(GL_BACK, CompareFunction(rs[D3DRS_CCW_STENCILFUNC]), ref, mask);
        m_gl.StencilOp(GL_BACK, StencilOperation(rs[D3DRS_CCW_STENCILFAIL]),
                       StencilOperation(rs[D3DRS_CCW_STENCILZFAIL]), StencilOperation(rs[D3DRS_CCW_STENCILPASS]));
    }
    m_gl.StencilMask(rs[D3DRS_STENCILWRITEMASK]);
}

void Device::ApplyBlend()
{
    const auto& rs = m_renderStates;
    m_gl.Enable(GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != FALSE);
    if (!rs[D3DRS_ALPHABLENDENABLE])
        return;
    GLenum src, dst, srcAlpha, dstAlpha;
    BlendPair(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], src, dst);
    GLenum equation = BlendEquation(rs[D3DRS_BLENDOP]);
    GLenum equationAlpha = equation;
    if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
        BlendPair(rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA], srcAlpha, dstAlpha);
        equationAlpha = BlendEquation(rs[D3DRS_BLENDOPALPHA]);
    } else {
        srcAlpha = src;
        dstAlpha = dst;
    }
    m_gl.BlendFunc(src, dst, srcAlpha, dstAlpha);
    m_gl.BlendEquation(equation, equationAlpha);
    GLfloat factor[4];
    ColorOf(rs[D3DRS_BLENDFACTOR], factor);
    m_gl.BlendColor(factor);
}

void Device::ApplyAlphaTest()
{
    const bool test = m_renderStates[D3DRS_ALPHATESTENABLE] != FALSE;
    m_gl.Enable(GL_ALPHA_TEST, test);
    // The reference is 0..255 against the 8-bit alpha.
    if (test)
        m_gl.AlphaFunc(CompareFunction(m_renderStates[D3DRS_ALPHAFUNC]), (m_renderStates[D3DRS_ALPHAREF] & 0xFF) / 255.0f);
}

void Device::ApplyRaster()
{
    const auto& rs = m_renderStates;
    const DWORD cull = rs[D3DRS_CULLMODE];
    m_gl.Enable(GL_CULL_FACE, cull == D3DCULL_CW || cull == D3DCULL_CCW);
    if (cull == D3DCULL_CW || cull == D3DCULL_CCW)
        m_gl.CullFace(cull == D3DCULL_CW ? GL_FRONT : GL_BACK);
    const DWORD fill = rs[D3DRS_FILLMODE];
    m_gl.PolygonMode(fill == D3DFILL_POINT ? GL_POINT : fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
    m_gl.ShadeModel(rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT ? GL_FLAT : GL_SMOOTH);
    const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
    m_gl.ColorMask((mask & D3DCOLORWRITEENABLE_RED) != 0, (mask & D3DCOLORWRITEENABLE_GREEN) != 0,
                   (mask & D3DCOLORWRITEENABLE_BLUE) != 0, (mask & D3DCOLORWRITEENABLE_ALPHA) != 0);
    const float bias = AsFloat(rs[D3DRS_DEPTHBIAS]);
    const float slope = AsFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
    const bool offset = bias != 0.0f || slope != 0.0f;
    for (GLenum mode : {GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE, GL_POLYGON_OFFSET_POINT})
        m_gl.Enable(mode, offset);
    if (offset) {
        // Direct3D's bias is in depth units (0..1); OpenGL's in steps of the depth buffer.
        const float steps = m_params.AutoDepthStencilFormat == D3DFMT_D16 ? 65535.0f : 16777215.0f;
        m_gl.PolygonOffset(slope, bias * steps);
    }
    const float size = AsFloat(rs[D3DRS_POINTSIZE]);
    m_gl.PointSize(std::isfinite(size) ? std::min(64.0f, std::max(1.0f, size)) : 1.0f);
}

DWORD Device::FogMode() const
{
    const auto& rs = m_renderStates;
    if (!rs[D3DRS_FOGENABLE])
        return D3DFOG_NONE;
    return rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE ? rs[D3DRS_FOGTABLEMODE] : rs[D3DRS_FOGVERTEXMODE];
}

void Device::ApplyFog(bool transformed)
{
    const auto& rs = m_renderStates;
    const DWORD mode = FogMode();
    const bool fog = !transformed && mode != D3DFOG_NONE;
    m_gl.Enable(GL_FOG, fog);
    if (!fog)
        return;
    GLfloat color[4];
    ColorOf(rs[D3DRS_FOGCOLOR], color);
    m_gl.Fog(mode == D3DFOG_EXP ? GL_EXP : mode == D3DFOG_EXP2 ? GL_EXP2 : GL_LINEAR, AsFloat(rs[D3DRS_FOGSTART]),
             AsFloat(rs[D3DRS_FOGEND]), AsFloat(rs[D3DRS_FOGDENSITY]), color);
}

void Device::ApplyScissor()
{
    const bool scissor = m_renderStates[D3DRS_SCISSORTESTENABLE] != FALSE;
    m_gl.Enable(GL_SCISSOR_TEST, scissor);
    if (!scissor)
        return;
    const LONG bbH = static_cast<LONG>(BackBufferHeight());
    m_gl.Scissor(m_scissor.left, bbH - m_scissor.bottom, m_scissor.right - m_scissor.left,
                 m_scissor.bottom - m_scissor.top);
}

void Device::ApplyState(const VertexLayout& layout)
{
    const bool transformed = layout.position == VertexLayout::kTransformed;
    if (static_cast<int>(transformed) != m_glTransformMode) {
        m_dirty |= kDirtyProjection | kDirtyModelView | kDirtyViewport | kDirtyLighting | kDirtyFog | kDirtyStage;
        m_glTransformMode = transformed ? 1 : 0;
    }
    if (m_dirty & kDirtyViewport)
        ApplyViewport(transformed);
    const bool lighting = !transformed && m_renderStates[D3DRS_LIGHTING] != FALSE;
    if (lighting && (m_dirty & kDirtyLights))
        ApplyLights();
    ApplyLighting(layout, transformed);
    if (lighting && (m_dirty & kDirtyMaterial)) {
        ApplyMaterial();
        m_dirty &= ~kDirtyMaterial;
    }
    if (m_dirty & kDirtyProjection)
        ApplyProjection(transformed);
    if (m_dirty & kDirtyModelView)
        ApplyModelView(transformed, Transform(D3DTS_WORLD));
    if (m_dirty & kDirtyDepth)
        ApplyDepth();
    if (m_dirty & kDirtyStencil)
        ApplyStencil();
    if (m_dirty & kDirtyBlend)
        ApplyBlend();
    if (m_dirty & kDirtyAlphaTest)
        ApplyAlphaTest();
    if (m_dirty & kDirtyRaster)
        ApplyRaster();
    if (m_dirty & kDirtyFog)
        ApplyFog(transformed);
    if (m_dirty & kDirtyScissor)
        ApplyScissor();
    if (m_dirty & kDirtyStage)
        ApplyStage();
    if (m_glTexturing && (m_dirty & (kDirtyStage | kDirtySampler)) && m_textures[0])
        ApplySampler(m_textures[0]);
    // The material and the lights wait until lighting is on.
    m_dirty &= (lighting ? 0u : (kDirtyMaterial | kDirtyLights));
}

// ---------------------------------------------------------------------------------------------
// Drawing

namespace {

GLenum PrimitiveMode(D3DPRIMITIVETYPE type)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

// One past the last byte that a vertex's attributes read from `stream`.
UINT AttributeEnd(const VertexLayout& layout, UINT stream)
{
    UINT end = 0;
    auto extend = [&](const AttributeSource& a) {
        if (!a.present || a.stream != stream)
            return;
        const UINT components = a.size == GL_BGRA ? 4 : static_cast<UINT>(a.size);
        const UINT bytes = a.type == GL_FLOAT ? 4 : (a.type == GL_SHORT || a.type == GL_UNSIGNED_SHORT) ? 2 : 1;
        end = std::max(end, a.offset + components * bytes);
    };
    extend(layout.pos);
    extend(layout.normal);
    extend(layout.diffuse);
    extend(layout.specular);
    for (const AttributeSource& t : layout.tex)
        extend(t);
    return end;
}

} // namespace

void Device::BindArrayBuffer(GLuint name)
{
    if (m_glArrayBuffer != name) {
        QVGL(BindBuffer)(GL_ARRAY_BUFFER, name);
        m_glArrayBuffer = name;
    }
}

void Device::BindElementBuffer(GLuint name)
{
    if (m_glElementBuffer != name) {
        QVGL(BindBuffer)(GL_ELEMENT_ARRAY_BUFFER, name);
        m_glElementBuffer = name;
    }
}

void Device::AttributePointer(GLenum array, const AttributeSource& a, const StreamSources& sources)
{
    // A vertex buffer's attribute is read from its OpenGL copy, at its offset there.
    VertexBuffer* buffer = sources.buffers[a.stream];
    const GLuint name = buffer ? buffer->GlBuffer() : 0;
    BindArrayBuffer(name);
    const void* where = name ? reinterpret_cast<const void*>(static_cast<uintptr_t>(sources.offsets[a.stream]) + a.offset)
                             : sources.Of(a);
    const GLsizei stride = static_cast<GLsizei>(sources.strides[a.stream]);
    switch (array) {
    case GL_VERTEX_ARRAY:
        QVGL(VertexPointer)(a.size, a.type, stride, where);
        break;
    case GL_NORMAL_ARRAY:
        QVGL(NormalPointer)(a.type, stride, where);
        break;
    case GL_COLOR_ARRAY:
        QVGL(ColorPointer)(a.size, a.type, stride, where);
        break;
    default:
        QVGL(TexCoordPointer)(a.size, a.type, stride, where);
        break;
    }
}

// Validates one draw's vertex sources and hands it to the batch or to OpenGL. The state is
// given to OpenGL here, so an error in it shows at the draw that caused it; only the draw
// itself may wait in the batch.
HRESULT Device::Draw(const DrawCall& call)
{
    VertexLayout layout;
    if (!CurrentLayout(layout))
        return D3DERR_INVALIDCALL;
    if (m_cooperation != Cooperation::kOk || !GlUsable() || layout.position == VertexLayout::kNoPosition)
        return D3D_OK; // a lost device draws nothing and says nothing
    StreamSources sources;
    if (call.userVertices) {
        sources.bases[0] = call.userVertices;
        sources.strides[0] = call.userStride;
    } else {
        for (UINT s = 0; s < kStreams; ++s) {
            if (!m_streams[s].buffer)
                continue;
            const int64_t offset = static_cast<int64_t>(m_streams[s].offset) +
                                   static_cast<int64_t>(call.baseVertex) * m_streams[s].stride;
            // Every byte read, up to the last attribute of the last vertex, must lie inside the
            // buffer, whatever the stride.
            const int64_t end = offset + static_cast<int64_t>(call.end - 1) * m_streams[s].stride +
                                AttributeEnd(layout, s);
            if (offset < 0 || end > static_cast<int64_t>(m_streams[s].buffer->Size()))
                return D3DERR_INVALIDCALL;
            sources.bases[s] = m_streams[s].buffer->Data() + offset;
            sources.strides[s] = m_streams[s].stride;
            sources.buffers[s] = m_streams[s].buffer;
            sources.offsets[s] = static_cast<UINT>(offset);
        }
    }
    if (!sources.Of(layout.pos))
        return D3DERR_INVALIDCALL;

    const bool transformed = layout.position == VertexLayout::kTransformed;
    CaptureDraw(call, layout, sources);
    if (Batchable(call, layout, transformed)) {
        if (JoinsBatch(call, layout, transformed)) {
            CopyHeldDraw();
            AppendToBatch(call, layout, sources, Transform(D3DTS_WORLD), m_textures[0]);
            return D3D_OK;
        }
        FlushBatch();
        ApplyState(layout);
        ApplyVertexProgram(transformed);
        OpenBatch(layout, transformed);
        if (!call.userVertices && (!call.indices || call.indexBuffer)) {
            m_batch.holding = true;
            m_batch.held = HeldDraw{call, layout, sources, SettingsNow(layout)};
        } else {
            AppendToBatch(call, layout, sources, Transform(D3DTS_WORLD), m_textures[0]);
        }
        return D3D_OK;
    }
    FlushBatch();
    ApplyState(layout);
    ApplyVertexProgram(transformed);
    DrawDirect(call, layout, sources, SettingsNow(layout));
    return D3D_OK;
}

Device::DrawSettings Device::SettingsNow(const VertexLayout& layout) const
{
    const bool transformed = layout.position == VertexLayout::kTransformed;
    DrawSettings settings;
    settings.lighting = !transformed && m_renderStates[D3DRS_LIGHTING] != FALSE;
    settings.programmed = m_vertexProgram != 0 && !transformed;
    settings.texCoordSet = m_stageStates[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    return settings;
}

void Device::DrawDirect(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources,
                        const DrawSettings& settings)
{
    const bool transformed = layout.position == VertexLayout::kTransformed;
    const bool lighting = settings.lighting;
    const bool programmed = settings.programmed;

    // Position; pre-transformed vertices carry 1/w.
    SetArray(GL_VERTEX_ARRAY, true);
    if (transformed) {
        m_transformedScratch.resize(static_cast<size_t>(call.end) * 4);
        const uint8_t* p = sources.Of(layout.pos);
        const UINT stride = sources.strides[layout.pos.stream];
        for (UINT i = call.lowest; i < call.end; ++i) {
            float* out = &m_transformedScratch[static_cast<size_t>(i) * 4];
            std::memcpy(out, p + static_cast<size_t>(i) * stride, 4 * sizeof(float));
            FromReciprocalW(out);
        }
        BindArrayBuffer(0);
        QVGL(VertexPointer)(4, GL_FLOAT, 0, m_transformedScratch.data());
    } else {
        AttributePointer(GL_VERTEX_ARRAY, layout.pos, sources);
    }

    // Normal: a vertex without one is lit with a zero normal (ambient and emissive only).
    const bool normals = (lighting || programmed) && sources.Of(layout.normal);
    SetArray(GL_NORMAL_ARRAY, normals);
    if (normals) {
        AttributePointer(GL_NORMAL_ARRAY, layout.normal, sources);
    } else if (lighting) {
        const GLfloat none[3] = {0.0f, 0.0f, 0.0f};
        m_gl.NormalDefault(none);
    }

    // Diffuse colour, 0xAARRGGBB (bytes B, G, R, A); white when the vertex has none.
    const uint8_t* colors = sources.Of(layout.diffuse);
    SetArray(GL_COLOR_ARRAY, colors != nullptr);
    if (colors && layout.diffuse.size == GL_BGRA && !qv::gl::g_api.bgraColorArrays) {
        const UINT stride = sources.strides[layout.diffuse.stream];
        m_colorScratch.resize(static_cast<size_t>(call.end) * 4);
        for (UINT i = call.lowest; i < call.end; ++i) {
            const uint8_t* c = colors + static_cast<size_t>(i) * stride;
            uint8_t* out = &m_colorScratch[static_cast<size_t>(i) * 4];
            out[0] = c[2];
            out[1] = c[1];
            out[2] = c[0];
            out[3] = c[3];
        }
        BindArrayBuffer(0);
        QVGL(ColorPointer)(4, GL_UNSIGNED_BYTE, 0, m_colorScratch.data());
    } else if (colors) {
        AttributePointer(GL_COLOR_ARRAY, layout.diffuse, sources);
    } else {
        const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        m_gl.ColorArrayDefault(white);
    }

    // Texture coordinates of the set the first stage reads.
    const DWORD set = settings.texCoordSet;
    const AttributeSource* tex = set < 8 ? &layout.tex[set] : nullptr;
    const bool texCoords = m_glTexturing && tex && sources.Of(*tex);
    SetArray(GL_TEXTURE_COORD_ARRAY, texCoords);
    if (texCoords)
        AttributePointer(GL_TEXTURE_COORD_ARRAY, *tex, sources);

    const GLenum mode = PrimitiveMode(call.type);
    if (call.indices) {
        const GLenum type = call.wideIndices ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
        const GLuint name = call.indexBuffer ? call.indexBuffer->GlBuffer() : 0;
        BindElementBuffer(name);
        const void* where = name ? reinterpret_cast<const void*>(static_cast<uintptr_t>(call.indexOffset))
                                 : static_cast<const void*>(call.indices);
        // The range spares OpenGL a pass over the indices to find it.
        QVGL(DrawRangeElements)(mode, call.lowest, call.end - 1, static_cast<GLsizei>(call.count), type, where);
    } else {
        QVGL(DrawArrays)(mode, static_cast<GLint>(call.first), static_cast<GLsizei>(call.count));
    }
    m_gl.ForgetCurrentAttributes(colors != nullptr, normals);
    Drawn(call.count);
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount)
{
    Count();
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.count = VertexCountOf(PrimitiveType, PrimitiveCount);
    if (!m_inScene || call.count == 0 || PrimitiveCount == 0 ||
        static_cast<uint64_t>(StartVertex) + call.count > 0xFFFFFFFFu)
        return D3DERR_INVALIDCALL;
    call.first = call.lowest = StartVertex;
    call.end = StartVertex + call.count;
    return Draw(call);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                     UINT NumVertices, UINT startIndex, UINT primCount)
{
    Count();
    (void)MinVertexIndex;
    (void)NumVertices;
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = primCount;
    call.count = VertexCountOf(PrimitiveType, primCount);
    if (!m_inScene || call.count == 0 || primCount == 0 || !m_indices)
        return D3DERR_INVALIDCALL;
    call.wideIndices = m_indices->Format() == D3DFMT_INDEX32;
    const UINT indexSize = call.wideIndices ? 4 : 2;
    if ((static_cast<uint64_t>(startIndex) + call.count) * indexSize > m_indices->Size())
        return D3DERR_INVALIDCALL;
    call.indexBuffer = m_indices;
    call.indexOffset = startIndex * indexSize;
    call.indices = m_indices->Data() + call.indexOffset;
    call.baseVertex = BaseVertexIndex;
    // The indices read bound the vertices read, whatever the caller's hints say.
    UINT highest = 0;
    m_indices->Range(startIndex, call.count, call.lowest, highest);
    call.end = highest + 1;
    return Draw(call);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                const void* pVertexStreamZeroData, UINT VertexStreamZeroStride)
{
    Count();
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.count = VertexCountOf(PrimitiveType, PrimitiveCount);
    if (!m_inScene || call.count == 0 || PrimitiveCount == 0 || !pVertexStreamZeroData || VertexStreamZeroStride == 0)
        return D3DERR_INVALIDCALL;
    // Drawing from user memory forgets stream 0 and the indices, as Direct3D does.
    m_streams[0] = Stream();
    m_indices = nullptr;
    call.end = call.count;
    call.userVertices = static_cast<const uint8_t*>(pVertexStreamZeroData);
    call.userStride = VertexStreamZeroStride;
    return Draw(call);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices,
                                       UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat,
                                       const void* pVertexStreamZeroData, UINT VertexStreamZeroStride)
{
    Count();
    (void)MinVertexIndex;
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.count = VertexCountOf(PrimitiveType, PrimitiveCount);
    if (!m_inScene || call.count == 0 || PrimitiveCount == 0 || NumVertices == 0 || !pIndexData ||
        !pVertexStreamZeroData || VertexStreamZeroStride == 0 ||
        (IndexDataFormat != D3DFMT_INDEX16 && IndexDataFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    m_streams[0] = Stream();
    m_indices = nullptr;
    call.wideIndices = IndexDataFormat == D3DFMT_INDEX32;
    call.indices = static_cast<const uint8_t*>(pIndexData);
    UINT highest = 0;
    IndexRange(pIndexData, call.count, call.wideIndices, call.lowest, highest);
    call.end = highest + 1;
    call.userVertices = static_cast<const uint8_t*>(pVertexStreamZeroData);
    call.userStride = VertexStreamZeroStride;
    return Draw(call);
}

} // namespace qv::d3d9

D3DMATRIX qv::D3D9ClipAdjustment(IDirect3DDevice9* device)
{
    auto* ours = qv::d3d9::Device::Live();
    if (!ours || static_cast<IDirect3DDevice9*>(ours) != device)
        return qv::d3d9::IdentityMatrix();
    return ours->ClipAdjustment();
}
