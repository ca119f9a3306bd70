// The benchmark's capture of what each draw rasterises, so that the same frame can be drawn with
// OpenGL alone and the two timed against each other. Only the hook switches it on.
#include <cmath>
#include <cstring>

#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/d3d9/Device.h"
#include "platform/d3d9/GlTranslation.h"
#include "platform/d3d9/Transforms.h"

namespace qv::d3d9 {

namespace {

std::vector<qv::test::CapturedDraw>* g_capture = nullptr;

void Store(const D3DCOLORVALUE& c, float out[4])
{
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

} // namespace

void Device::CaptureDraw(const DrawCall& call, const VertexLayout& layout, const StreamSources& sources)
{
    const bool transformed = layout.position == VertexLayout::kTransformed;
    if (!g_capture || (m_state.vertexProgram != 0 && !transformed))
        return;
    std::vector<uint32_t> corners;
    Triangles(call, corners);
    if (corners.empty())
        return;
    const auto& rs = m_state.renderStates;
    qv::test::CapturedDraw draw;
    const D3DMATRIX modelView = GlModelView(m_state.Transform(D3DTS_WORLD), m_state.Transform(D3DTS_VIEW));
    const D3DMATRIX m = transformed ? PixelProjection(BackBufferWidth(), BackBufferHeight())
                                    : Multiply(modelView, GlProjection(m_state.Transform(D3DTS_PROJECTION), m_state.viewport));
    draw.lit = m_state.Lit(transformed);
    if (draw.lit) {
        const D3DCOLOR a = rs[D3DRS_AMBIENT];
        const float ambient[4] = {((a >> 16) & 0xFF) / 255.0f, ((a >> 8) & 0xFF) / 255.0f, (a & 0xFF) / 255.0f,
                                  ((a >> 24) & 0xFF) / 255.0f};
        std::memcpy(draw.ambient, ambient, sizeof ambient);
        Store(m_state.material.Ambient, draw.materialAmbient);
        Store(m_state.material.Diffuse, draw.materialDiffuse);
        Store(m_state.material.Emissive, draw.materialEmissive);
        D3DMATRIX view = m_state.Transform(D3DTS_VIEW);
        for (int i = 0; i < 4; ++i)
            view.m[i][2] = -view.m[i][2];
        for (const auto& entry : m_state.lights) {
            const D3DLIGHT9& l = entry.second.light;
            if (!entry.second.enabled || l.Type != D3DLIGHT_DIRECTIONAL)
                continue;
            qv::test::CapturedDraw::Light light = {};
            const float d[3] = {-l.Direction.x, -l.Direction.y, -l.Direction.z};
            for (int c = 0; c < 3; ++c)
                light.direction[c] = d[0] * view.m[0][c] + d[1] * view.m[1][c] + d[2] * view.m[2][c];
            Store(l.Diffuse, light.diffuse);
            Store(l.Ambient, light.ambient);
            draw.lights.push_back(light);
        }
    }
    // Close enough for a benchmark's picture where OpenGL would form it otherwise.
    float normalMatrix[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    GlNormalMatrix(modelView, normalMatrix);
    const uint8_t white[4] = {255, 255, 255, 255};
    const bool textured = m_state.Texturing();
    const DWORD set = m_state.stageStates[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    const AttributeSource* tex = textured && set < 8 && layout.tex[set].present ? &layout.tex[set] : nullptr;
    auto at = [&](const AttributeSource& a, UINT i) { return sources.At(a, i); };
    for (uint32_t i : corners) {
        float v[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        std::memcpy(v, at(layout.pos, i), (transformed ? 4 : 3) * sizeof(float));
        if (transformed)
            FromReciprocalW(v);
        qv::test::CapturedDraw::Corner corner = {};
        float* clip = &corner.x;
        for (int c = 0; c < 4; ++c)
            clip[c] = v[0] * m.m[0][c] + v[1] * m.m[1][c] + v[2] * m.m[2][c] + v[3] * m.m[3][c];
        if (draw.lit && layout.normal.present && layout.normal.type == GL_FLOAT) {
            float n[3];
            std::memcpy(n, at(layout.normal, i), sizeof n);
            float* eye = &corner.nx;
            for (int c = 0; c < 3; ++c)
                eye[c] = n[0] * normalMatrix[0][c] + n[1] * normalMatrix[1][c] + n[2] * normalMatrix[2][c];
        }
        if (layout.diffuse.present && layout.diffuse.size == GL_BGRA) {
            const uint8_t* c = at(layout.diffuse, i);
            const uint8_t rgba[4] = {c[2], c[1], c[0], c[3]};
            std::memcpy(corner.rgba, rgba, sizeof rgba);
        } else {
            std::memcpy(corner.rgba, white, sizeof white);
        }
        if (tex && tex->type == GL_FLOAT) {
            std::memcpy(&corner.u, at(*tex, i), std::min<GLint>(tex->size, 2) * sizeof(float));
        }
        draw.corners.push_back(corner);
    }
    draw.texture = textured ? m_state.textures[0]->GlName() : 0;
    draw.blend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
    GLenum src, dst;
    BlendPair(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], src, dst);
    draw.srcBlend = src;
    draw.dstBlend = dst;
    draw.alphaTest = rs[D3DRS_ALPHATESTENABLE] != FALSE;
    draw.alphaFunc = CompareFunction(rs[D3DRS_ALPHAFUNC]);
    draw.alphaRef = (rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f;
    draw.depthTest = m_hasDepth && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    draw.depthWrite = rs[D3DRS_ZWRITEENABLE] != FALSE;
    draw.depthFunc = CompareFunction(rs[D3DRS_ZFUNC]);
    draw.cullFace = rs[D3DRS_CULLMODE] == D3DCULL_CW ? GL_FRONT : rs[D3DRS_CULLMODE] == D3DCULL_CCW ? GL_BACK : 0;
    g_capture->push_back(std::move(draw));
}

} // namespace qv::d3d9

void qv::test::CaptureD3D9Draws(std::vector<CapturedDraw>* draws)
{
    qv::d3d9::g_capture = draws;
}
