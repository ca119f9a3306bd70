// The translation of the device's state to OpenGL's fixed-function pipeline, the way Direct3D
// defines it (row vectors, depth 0..1, pixel centres on whole coordinates, clockwise front faces
// on the screen, D3DCOLOR bytes), given to OpenGL by group when a primitive is drawn. Each group
// of render states is listed, with Direct3D's default of each, beside the function that applies
// it: a new render state is one more row there (and its use in that function).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/BitCast.h"
#include "platform/d3d9/Device.h"
#include "platform/d3d9/GlTranslation.h"
#include "platform/d3d9/Transforms.h"

namespace qv::d3d9 {

namespace {

// A render state and Direct3D's default for it.
struct RenderStateRow {
    D3DRENDERSTATETYPE state;
    DWORD value;
};

} // namespace

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

namespace {

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

} // namespace

// ---------------------------------------------------------------------------------------------
// Transforms and the viewport

void Device::ApplyViewport(bool transformed)
{
    const GLint bbH = static_cast<GLint>(BackBufferHeight());
    if (transformed) {
        // Pre-transformed vertices are in back-buffer pixels whatever the viewport.
        m_gl.Viewport(0, 0, static_cast<GLsizei>(BackBufferWidth()), bbH);
        m_gl.DepthRange(0.0f, 1.0f);
    } else {
        m_gl.Viewport(static_cast<GLint>(m_state.viewport.X), bbH - static_cast<GLint>(m_state.viewport.Y + m_state.viewport.Height),
                      static_cast<GLsizei>(m_state.viewport.Width), static_cast<GLsizei>(m_state.viewport.Height));
        m_gl.DepthRange(m_state.viewport.MinZ, m_state.viewport.MaxZ);
    }
}

void Device::ApplyProjection(bool transformed)
{
    const D3DMATRIX projection = transformed ? PixelProjection(BackBufferWidth(), BackBufferHeight())
                                             : GlProjection(m_state.Transform(D3DTS_PROJECTION), m_state.viewport);
    m_gl.LoadMatrix(GL_PROJECTION, &projection.m[0][0]);
}

void Device::ApplyModelView(bool transformed)
{
    const D3DMATRIX modelView = transformed ? IdentityMatrix()
                                            : GlModelView(m_state.Transform(D3DTS_WORLD), m_state.Transform(D3DTS_VIEW));
    m_gl.LoadMatrix(GL_MODELVIEW, &modelView.m[0][0]);
}

// ---------------------------------------------------------------------------------------------
// Lighting

namespace {

const RenderStateRow kLightingRows[] = {
    {D3DRS_LIGHTING, TRUE},
    {D3DRS_AMBIENT, 0},
    {D3DRS_COLORVERTEX, TRUE},
    {D3DRS_LOCALVIEWER, TRUE},
    {D3DRS_NORMALIZENORMALS, FALSE},
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
    {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
    {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
};
// The specular highlight takes the lights' and the material's specular colours.
const RenderStateRow kSpecularRows[] = {{D3DRS_SPECULARENABLE, FALSE}};

} // namespace

void Device::ApplyLights()
{
    // Lights are given in world space; OpenGL takes their positions through the modelview
    // matrix at the time they are set, so the view alone is loaded for them.
    D3DMATRIX view = m_state.Transform(D3DTS_VIEW);
    for (int i = 0; i < 4; ++i)
        view.m[i][2] = -view.m[i][2]; // the mirrored eye space of ApplyModelView
    m_gl.LoadMatrix(GL_MODELVIEW, &view.m[0][0]);
    const bool specular = m_state.renderStates[D3DRS_SPECULARENABLE] != FALSE;
    GLint n = 0;
    for (const auto& entry : m_state.lights) {
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
    const bool lighting = m_state.Lit(transformed);
    if (m_dirty & kDirtyLighting) {
        m_gl.Enable(GL_LIGHTING, lighting);
        if (lighting) {
            GLfloat ambient[4];
            ColorOf(m_state.renderStates[D3DRS_AMBIENT], ambient);
            m_gl.LightModelAmbient(ambient);
            m_gl.LightModelLocalViewer(m_state.renderStates[D3DRS_LOCALVIEWER] != FALSE);
            m_gl.Enable(GL_NORMALIZE, m_state.renderStates[D3DRS_NORMALIZENORMALS] != FALSE);
        }
    }
    // With COLORVERTEX, a vertex colour stands for the material colours whose source is
    // D3DMCS_COLOR1; without a vertex colour the material's own are used.
    int colorMaterial = 0;
    if (lighting && layout.diffuse.present && m_state.renderStates[D3DRS_COLORVERTEX]) {
        const bool diffuse = m_state.renderStates[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
        const bool ambient = m_state.renderStates[D3DRS_AMBIENTMATERIALSOURCE] == D3DMCS_COLOR1;
        const bool emissive = m_state.renderStates[D3DRS_EMISSIVEMATERIALSOURCE] == D3DMCS_COLOR1;
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
    ColorOf(m_state.material.Ambient, c);
    m_gl.Material(GL_AMBIENT, c);
    ColorOf(m_state.material.Diffuse, c);
    m_gl.Material(GL_DIFFUSE, c);
    // Without the specular highlight there is none to compute: a zero shininess spares OpenGL
    // the power, whose overflow (with a normal of absurd length) times the zero colour would
    // be no number, and the picture then one that depended on where the viewer is.
    const bool specular = m_state.renderStates[D3DRS_SPECULARENABLE] != FALSE;
    ColorOf(m_state.material.Specular, c);
    if (!specular)
        c[0] = c[1] = c[2] = c[3] = 0.0f;
    m_gl.Material(GL_SPECULAR, c);
    ColorOf(m_state.material.Emissive, c);
    m_gl.Material(GL_EMISSION, c);
    const float power = std::isfinite(m_state.material.Power) ? m_state.material.Power : 0.0f;
    m_gl.Shininess(specular ? std::min(128.0f, std::max(0.0f, power)) : 0.0f);
}

// ---------------------------------------------------------------------------------------------
// The first texture stage and its sampler

namespace {

// The texture factor is the stage's constant colour.
const RenderStateRow kStageRows[] = {{D3DRS_TEXTUREFACTOR, 0xFFFFFFFF}};

} // namespace

void ApplySampler(GLenum target, const SamplerStates& ss, SamplerStates& applied, bool& appliedOnce, DWORD levels,
                  DWORD lod)
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
        QVGL(TexParameterf)(target, GL_TEXTURE_LOD_BIAS, BitCast<float>(ss[D3DSAMP_MIPMAPLODBIAS]));
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

void Device::ApplyStage(const VertexLayout& layout)
{
    const auto& ts = m_state.stageStates[0];
    Texture* texture = m_state.textures[0];
    // Without a texture, or with the stage disabled, the vertex colour passes unchanged.
    const bool texturing = texture && ts[D3DTSS_COLOROP] != D3DTOP_DISABLE;
    m_gl.Enable(GL_TEXTURE_2D, texturing);
    m_glTexturing = texturing;
    if (!texturing)
        return;
    m_gl.BindTexture(texture->GlName());
    m_gl.TexEnv(GL_TEXTURE_ENV_MODE, GL_COMBINE);
    ApplyCombiner(m_gl, ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2], false);
    ApplyCombiner(m_gl, ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2], true);
    GLfloat factor[4];
    ColorOf(m_state.renderStates[D3DRS_TEXTUREFACTOR], factor);
    m_gl.TexEnvColor(factor);

    // Texture transform: Direct3D extends two coordinates to (u, v, 1, 0) and three to
    // (u, v, w, 1); OpenGL extends them with (0, 1) and (1), so the rows are moved to match.
    const DWORD flags = ts[D3DTSS_TEXTURETRANSFORMFLAGS];
    const DWORD count = flags & 0xFF;
    if (count == 0 || count > 4) {
        const D3DMATRIX identity = IdentityMatrix();
        m_gl.LoadMatrix(GL_TEXTURE, &identity.m[0][0]);
    } else {
        const D3DMATRIX& m = m_state.Transform(D3DTS_TEXTURE0);
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

// ---------------------------------------------------------------------------------------------
// Depth, stencil, blending, alpha test, rasterisation, fog, scissor

namespace {

// D3DRS_ZENABLE's default is TRUE only with a depth buffer (DefaultRenderStates).
const RenderStateRow kDepthRows[] = {
    {D3DRS_ZENABLE, D3DZB_TRUE},
    {D3DRS_ZWRITEENABLE, TRUE},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
};

} // namespace

void Device::ApplyDepth()
{
    const bool test = m_hasDepth && m_state.renderStates[D3DRS_ZENABLE] != D3DZB_FALSE;
    m_gl.Enable(GL_DEPTH_TEST, test);
    if (test) {
        m_gl.DepthFunc(CompareFunction(m_state.renderStates[D3DRS_ZFUNC]));
        m_gl.DepthMask(m_state.renderStates[D3DRS_ZWRITEENABLE] != FALSE);
    }
}

namespace {

const RenderStateRow kStencilRows[] = {
    {D3DRS_STENCILENABLE, FALSE},       {D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP}, {D3DRS_STENCILPASS, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILFUNC, D3DCMP_ALWAYS}, {D3DRS_STENCILREF, 0},
    {D3DRS_STENCILMASK, 0xFFFFFFFF},    {D3DRS_STENCILWRITEMASK, 0xFFFFFFFF},
    {D3DRS_TWOSIDEDSTENCILMODE, FALSE}, {D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP}, {D3DRS_CCW_STENCILPASS, D3DSTENCILOP_KEEP},
    {D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS},
};

} // namespace

void Device::ApplyStencil()
{
    const auto& rs = m_state.renderStates;
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

namespace {

const RenderStateRow kBlendRows[] = {
    {D3DRS_ALPHABLENDENABLE, FALSE},
    {D3DRS_SRCBLEND, D3DBLEND_ONE},
    {D3DRS_DESTBLEND, D3DBLEND_ZERO},
    {D3DRS_BLENDOP, D3DBLENDOP_ADD},
    {D3DRS_BLENDFACTOR, 0xFFFFFFFF},
    {D3DRS_SEPARATEALPHABLENDENABLE, FALSE},
    {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE},
    {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO},
    {D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD},
};

} // namespace

void Device::ApplyBlend()
{
    const auto& rs = m_state.renderStates;
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

namespace {

const RenderStateRow kAlphaTestRows[] = {
    {D3DRS_ALPHATESTENABLE, FALSE},
    {D3DRS_ALPHAREF, 0},
    {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
};

} // namespace

void Device::ApplyAlphaTest()
{
    const bool test = m_state.renderStates[D3DRS_ALPHATESTENABLE] != FALSE;
    m_gl.Enable(GL_ALPHA_TEST, test);
    // The reference is 0..255 against the 8-bit alpha.
    if (test)
        m_gl.AlphaFunc(CompareFunction(m_state.renderStates[D3DRS_ALPHAFUNC]), (m_state.renderStates[D3DRS_ALPHAREF] & 0xFF) / 255.0f);
}

namespace {

const RenderStateRow kRasterRows[] = {
    {D3DRS_FILLMODE, D3DFILL_SOLID},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
    {D3DRS_CULLMODE, D3DCULL_CCW},
    {D3DRS_COLORWRITEENABLE, 0xF},
    {D3DRS_DEPTHBIAS, BitCast<DWORD>(0.0f)},
    {D3DRS_SLOPESCALEDEPTHBIAS, BitCast<DWORD>(0.0f)},
    {D3DRS_POINTSIZE, BitCast<DWORD>(1.0f)},
};

} // namespace

void Device::ApplyRaster()
{
    const auto& rs = m_state.renderStates;
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
    const float bias = BitCast<float>(rs[D3DRS_DEPTHBIAS]);
    const float slope = BitCast<float>(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
    const bool offset = bias != 0.0f || slope != 0.0f;
    for (GLenum mode : {GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE, GL_POLYGON_OFFSET_POINT})
        m_gl.Enable(mode, offset);
    if (offset) {
        // Direct3D's bias is in depth units (0..1); OpenGL's in steps of the depth buffer.
        const float steps = m_params.AutoDepthStencilFormat == D3DFMT_D16 ? 65535.0f : 16777215.0f;
        m_gl.PolygonOffset(slope, bias * steps);
    }
    const float size = BitCast<float>(rs[D3DRS_POINTSIZE]);
    m_gl.PointSize(std::isfinite(size) ? std::min(64.0f, std::max(1.0f, size)) : 1.0f);
}

namespace {

const RenderStateRow kFogRows[] = {
    {D3DRS_FOGENABLE, FALSE},          {D3DRS_FOGCOLOR, 0},
    {D3DRS_FOGTABLEMODE, D3DFOG_NONE}, {D3DRS_FOGVERTEXMODE, D3DFOG_NONE},
    {D3DRS_FOGSTART, BitCast<DWORD>(0.0f)},      {D3DRS_FOGEND, BitCast<DWORD>(1.0f)},
    {D3DRS_FOGDENSITY, BitCast<DWORD>(1.0f)},
};

} // namespace

void Device::ApplyFog(bool transformed)
{
    const auto& rs = m_state.renderStates;
    const DWORD mode = m_state.FogMode();
    const bool fog = !transformed && mode != D3DFOG_NONE;
    m_gl.Enable(GL_FOG, fog);
    if (!fog)
        return;
    GLfloat color[4];
    ColorOf(rs[D3DRS_FOGCOLOR], color);
    m_gl.Fog(mode == D3DFOG_EXP ? GL_EXP : mode == D3DFOG_EXP2 ? GL_EXP2 : GL_LINEAR, BitCast<float>(rs[D3DRS_FOGSTART]),
             BitCast<float>(rs[D3DRS_FOGEND]), BitCast<float>(rs[D3DRS_FOGDENSITY]), color);
}

namespace {

const RenderStateRow kScissorRows[] = {{D3DRS_SCISSORTESTENABLE, FALSE}};

} // namespace

void Device::ApplyScissor()
{
    const bool scissor = m_state.renderStates[D3DRS_SCISSORTESTENABLE] != FALSE;
    m_gl.Enable(GL_SCISSOR_TEST, scissor);
    if (!scissor)
        return;
    const LONG bbH = static_cast<LONG>(BackBufferHeight());
    m_gl.Scissor(m_state.scissor.left, bbH - m_state.scissor.bottom, m_state.scissor.right - m_state.scissor.left,
                 m_state.scissor.bottom - m_state.scissor.top);
}

// ---------------------------------------------------------------------------------------------
// Every group, when a primitive is drawn

void Device::ApplyState(const VertexLayout& layout)
{
    const bool transformed = layout.position == VertexLayout::kTransformed;
    if (static_cast<int>(transformed) != m_glTransformMode) {
        m_dirty |= kDirtyProjection | kDirtyModelView | kDirtyViewport | kDirtyLighting | kDirtyFog | kDirtyStage;
        m_glTransformMode = transformed ? 1 : 0;
    }
    if (m_dirty & kDirtyViewport)
        ApplyViewport(transformed);
    const bool lighting = m_state.Lit(transformed);
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
        ApplyModelView(transformed);
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
        ApplyStage(layout);
    if (m_glTexturing) {
        Texture* texture = m_state.textures[0];
        // An upload may have bound another texture since (BindTextureForUpload).
        m_gl.BindTexture(texture->GlName());
        if (m_dirty & (kDirtyStage | kDirtySampler))
            ApplySampler(GL_TEXTURE_2D, m_state.samplerStates[0], texture->appliedSampler, texture->samplerApplied,
                         texture->LevelCount(), texture->GetLOD());
    }
    // The material and the lights wait until lighting is on.
    m_dirty &= (lighting ? 0u : (kDirtyMaterial | kDirtyLights));
}

void Device::ApplyVertexProgram(bool transformed)
{
    const GLuint wanted = transformed ? 0 : m_state.vertexProgram;
    m_gl.UseProgram(wanted);
    if (wanted && m_state.vertexProgramClipAdjust >= 0) {
        const GLfloat adjust[4] = {1.0f / static_cast<float>(m_state.viewport.Width),
                                   -(1.0f - 2.0f * kTieBias) / static_cast<float>(m_state.viewport.Height), 0.0f,
                                   0.0f};
        QVGL(Uniform4fv)(m_state.vertexProgramClipAdjust, 1, adjust);
    }
}

// ---------------------------------------------------------------------------------------------
// The render states

namespace {

// Accepted, kept and answered back; nothing this fixed-function translation draws depends on
// them: dithering (the back buffer has eight bits a channel), the specular colour's source (a
// vertex's specular colour is not drawn), range fog (fog takes the depth), and the rest.
const RenderStateRow kKeptRows[] = {
    {D3DRS_DITHERENABLE, FALSE},
    {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
    {D3DRS_RANGEFOGENABLE, FALSE},
    {D3DRS_LASTPIXEL, TRUE},
    {D3DRS_CLIPPING, TRUE},
    {D3DRS_VERTEXBLEND, 0},
    {D3DRS_CLIPPLANEENABLE, 0},
    {D3DRS_POINTSIZE_MIN, BitCast<DWORD>(1.0f)},
    {D3DRS_POINTSPRITEENABLE, FALSE},
    {D3DRS_POINTSCALEENABLE, FALSE},
    {D3DRS_POINTSCALE_A, BitCast<DWORD>(1.0f)},
    {D3DRS_POINTSCALE_B, 0},
    {D3DRS_POINTSCALE_C, 0},
    {D3DRS_MULTISAMPLEANTIALIAS, TRUE},
    {D3DRS_MULTISAMPLEMASK, 0xFFFFFFFF},
    {D3DRS_PATCHEDGESTYLE, 0},
    {D3DRS_DEBUGMONITORTOKEN, 0},
    {D3DRS_POINTSIZE_MAX, BitCast<DWORD>(64.0f)},
    {D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE},
    {D3DRS_TWEENFACTOR, 0},
    {D3DRS_POSITIONDEGREE, D3DDEGREE_CUBIC},
    {D3DRS_NORMALDEGREE, D3DDEGREE_LINEAR},
    {D3DRS_ANTIALIASEDLINEENABLE, FALSE},
    {D3DRS_MINTESSELLATIONLEVEL, BitCast<DWORD>(1.0f)},
    {D3DRS_MAXTESSELLATIONLEVEL, BitCast<DWORD>(1.0f)},
    {D3DRS_ADAPTIVETESS_X, 0},
    {D3DRS_ADAPTIVETESS_Y, 0},
    {D3DRS_ADAPTIVETESS_Z, BitCast<DWORD>(1.0f)},
    {D3DRS_ADAPTIVETESS_W, 0},
    {D3DRS_ENABLEADAPTIVETESSELLATION, FALSE},
    {D3DRS_COLORWRITEENABLE1, 0xF},
    {D3DRS_COLORWRITEENABLE2, 0xF},
    {D3DRS_COLORWRITEENABLE3, 0xF},
    {D3DRS_SRGBWRITEENABLE, 0},
    {D3DRS_WRAP0, 0},
    {D3DRS_WRAP1, 0},
    {D3DRS_WRAP2, 0},
    {D3DRS_WRAP3, 0},
    {D3DRS_WRAP4, 0},
    {D3DRS_WRAP5, 0},
    {D3DRS_WRAP6, 0},
    {D3DRS_WRAP7, 0},
    {D3DRS_WRAP8, 0},
    {D3DRS_WRAP9, 0},
    {D3DRS_WRAP10, 0},
    {D3DRS_WRAP11, 0},
    {D3DRS_WRAP12, 0},
    {D3DRS_WRAP13, 0},
    {D3DRS_WRAP14, 0},
    {D3DRS_WRAP15, 0},
};

struct RenderStateGroup {
    uint32_t group;
    const RenderStateRow* rows;
    size_t count;
};

template <size_t N>
constexpr RenderStateGroup Group(uint32_t group, const RenderStateRow (&rows)[N])
{
    return {group, rows, N};
}

const RenderStateGroup kRenderStateGroups[] = {
    Group(kDirtyDepth, kDepthRows),
    Group(kDirtyStencil, kStencilRows),
    Group(kDirtyBlend, kBlendRows),
    Group(kDirtyAlphaTest, kAlphaTestRows),
    Group(kDirtyRaster, kRasterRows),
    Group(kDirtyLighting, kLightingRows),
    Group(kDirtyLighting | kDirtyMaterial | kDirtyLights, kSpecularRows),
    Group(kDirtyFog, kFogRows),
    Group(kDirtyStage, kStageRows),
    Group(kDirtyScissor, kScissorRows),
    Group(0, kKeptRows),
};

// Every value of Direct3D 9's D3DRENDERSTATETYPE, none missing and none added.
constexpr size_t kDirect3D9RenderStates = 103;
static_assert(sizeof kDepthRows + sizeof kStencilRows + sizeof kBlendRows + sizeof kAlphaTestRows +
                      sizeof kRasterRows + sizeof kLightingRows + sizeof kSpecularRows + sizeof kFogRows +
                      sizeof kStageRows + sizeof kScissorRows + sizeof kKeptRows ==
                  kDirect3D9RenderStates * sizeof(RenderStateRow),
              "each render state of Direct3D 9 in one row");

struct RenderStateTable {
    std::array<uint32_t, kMaxRenderState> group{};
    std::array<bool, kMaxRenderState> valid{};
    std::array<DWORD, kMaxRenderState> defaults{};
    RenderStateTable()
    {
        for (const RenderStateGroup& g : kRenderStateGroups)
            for (size_t i = 0; i < g.count; ++i) {
                const DWORD s = g.rows[i].state;
                valid[s] = true;
                group[s] = g.group;
                defaults[s] = g.rows[i].value;
            }
    }
};

const RenderStateTable& Table()
{
    static const RenderStateTable table;
    return table;
}

} // namespace

bool IsRenderState(DWORD state)
{
    return state < kMaxRenderState && Table().valid[state];
}

uint32_t RenderStateGroup(DWORD state)
{
    return state < kMaxRenderState ? Table().group[state] : 0;
}

void DefaultRenderStates(std::array<DWORD, kMaxRenderState>& states, bool depthBuffer)
{
    states = Table().defaults;
    states[D3DRS_ZENABLE] = depthBuffer ? D3DZB_TRUE : D3DZB_FALSE;
}

} // namespace qv::d3d9
