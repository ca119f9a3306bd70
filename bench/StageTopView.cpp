// The stage's heaviest moment, seen from the top (F8) at 640x480 with five buildings broken at
// once, falling in pieces amid their smoke: one frame drawn by the game's own code through the
// Direct3D layer, against the same triangles, lit by the same light, drawn with plain OpenGL in
// as few draws as their states allow, in the same run on the same context. The frame is held still (as while the game
// is paused), so both draw exactly the same thing; the rounds alternate and the best round of
// each counts, so that a busy moment of the machine does not decide. The ratio of the two is
// the last line; the goal is 1.3 or less.
//
// Run: SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=8 build-main/bench/bench_StageTopView [frames]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "GameDevice.h"
#include "app/CCharacterSystem.h"
#include "app/CGameConfig.h"
#include "app/CInput.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/d3d9/GlApi.h"
#include "platform/win32/SdlWindow.h"
#include "render/CMeshDrawRequest.h"

namespace {

using Clock = std::chrono::steady_clock;
using qv::test::CapturedDraw;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The frame's triangles in plain OpenGL: one buffer object with every corner, drawn in runs of
// one state each. The opaque runs (those that write depth) are drawn first, each state once;
// then the rest in the game's order (far to near), consecutive draws of one state together.
// Like the layer, it flushes after every so many corners, so that llvmpipe's threads
// rasterise one part of the frame while the next is drawn.
class PlainFrame {
public:
    PlainFrame(const std::vector<CapturedDraw>& draws, HWND window, GLint framebuffer)
        : m_window(window), m_framebuffer(framebuffer)
    {
        std::map<Key, size_t> opaque;
        std::vector<Run> translucent;
        std::vector<std::vector<const CapturedDraw*>> opaqueDraws;
        for (const CapturedDraw& d : draws) {
            if (d.depthWrite) {
                auto it = opaque.find(KeyOf(d));
                if (it == opaque.end()) {
                    it = opaque.emplace(KeyOf(d), m_runs.size()).first;
                    m_runs.push_back(Run{&d, 0, 0});
                    opaqueDraws.emplace_back();
                }
                opaqueDraws[it->second].push_back(&d);
            } else if (!translucent.empty() && KeyOf(*translucent.back().state) == KeyOf(d)) {
                translucent.back().count += static_cast<GLsizei>(d.corners.size());
                m_translucentDraws.back().push_back(&d);
            } else {
                translucent.push_back(Run{&d, 0, static_cast<GLsizei>(d.corners.size())});
                m_translucentDraws.push_back({&d});
            }
        }
        std::vector<CapturedDraw::Corner> corners;
        for (size_t r = 0; r < m_runs.size(); ++r) {
            m_runs[r].first = static_cast<GLint>(corners.size());
            for (const CapturedDraw* d : opaqueDraws[r])
                corners.insert(corners.end(), d->corners.begin(), d->corners.end());
            m_runs[r].count = static_cast<GLsizei>(corners.size()) - m_runs[r].first;
        }
        for (size_t r = 0; r < translucent.size(); ++r) {
            translucent[r].first = static_cast<GLint>(corners.size());
            for (const CapturedDraw* d : m_translucentDraws[r])
                corners.insert(corners.end(), d->corners.begin(), d->corners.end());
            m_runs.push_back(translucent[r]);
        }
        const qv::gl::Api& gl = qv::gl::g_api;
        gl.GenBuffers(1, &m_buffer);
        gl.BindBuffer(GL_ARRAY_BUFFER, m_buffer);
        gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(corners.size() * sizeof(CapturedDraw::Corner)),
                      corners.data(), GL_STATIC_DRAW);
        gl.BindBuffer(GL_ARRAY_BUFFER, 0);
    }
    ~PlainFrame() { qv::gl::g_api.DeleteBuffers(1, &m_buffer); }

    size_t Draws() const { return m_runs.size(); }

    // One frame: cleared, drawn and shown as the layer shows its back buffer.
    void Draw(int width, int height)
    {
        const qv::gl::Api& gl = qv::gl::g_api;
        gl.BindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(m_framebuffer));
        gl.Viewport(0, 0, width, height);
        gl.DepthRange(0.0, 1.0);
        gl.Disable(GL_SCISSOR_TEST);
        gl.Disable(GL_STENCIL_TEST);
        gl.Disable(GL_FOG);
        gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        gl.DepthMask(GL_TRUE);
        gl.StencilMask(0xFF);
        gl.ClearColor(0, 0, 0, 1);
        gl.ClearDepth(1.0);
        gl.ClearStencil(0);
        gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        const GLfloat identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        gl.MatrixMode(GL_PROJECTION);
        gl.LoadMatrixf(identity);
        gl.MatrixMode(GL_MODELVIEW);
        gl.LoadMatrixf(identity);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        gl.BindBuffer(GL_ARRAY_BUFFER, m_buffer);
        gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        const GLsizei stride = sizeof(CapturedDraw::Corner);
        gl.EnableClientState(GL_VERTEX_ARRAY);
        gl.EnableClientState(GL_COLOR_ARRAY);
        gl.EnableClientState(GL_TEXTURE_COORD_ARRAY);
        gl.EnableClientState(GL_NORMAL_ARRAY);
        gl.VertexPointer(4, GL_FLOAT, stride, reinterpret_cast<const void*>(offsetof(CapturedDraw::Corner, x)));
        gl.NormalPointer(GL_FLOAT, stride, reinterpret_cast<const void*>(offsetof(CapturedDraw::Corner, nx)));
        gl.ColorPointer(4, GL_UNSIGNED_BYTE, stride, reinterpret_cast<const void*>(offsetof(CapturedDraw::Corner, rgba)));
        gl.TexCoordPointer(2, GL_FLOAT, stride, reinterpret_cast<const void*>(offsetof(CapturedDraw::Corner, u)));
        const CapturedDraw* last = nullptr;
        size_t work = 0;
        for (const Run& run : m_runs) {
            Apply(*run.state, last);
            last = run.state;
            gl.DrawArrays(GL_TRIANGLES, run.first, run.count);
            // As the layer does: llvmpipe rasterises the flushed part while the rest is drawn.
            work += static_cast<size_t>(run.count) + 64;
            if (work >= 8192) {
                gl.Flush();
                work = 0;
            }
        }
        gl.BindBuffer(GL_ARRAY_BUFFER, 0);
        int x = 0, y = 0, w = width, h = height;
        qv::ClientViewport(m_window, &x, &y, &w, &h);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(m_framebuffer));
        gl.BlitFramebuffer(0, 0, width, height, x, y, x + w, y + h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        qv::SwapGlWindow(m_window);
        gl.BindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(m_framebuffer));
    }

private:
    using Key = std::vector<double>;
    struct Run {
        const CapturedDraw* state;
        GLint first;
        GLsizei count;
    };
    static Key KeyOf(const CapturedDraw& d)
    {
        Key key = {double(d.texture), double(d.blend), double(d.srcBlend), double(d.dstBlend), double(d.alphaTest),
                   double(d.alphaFunc), d.alphaRef, double(d.depthTest), double(d.depthWrite), double(d.depthFunc),
                   double(d.cullFace), double(d.lit)};
        if (d.lit) {
            for (const float* c : {d.ambient, d.materialAmbient, d.materialDiffuse, d.materialEmissive})
                key.insert(key.end(), c, c + 4);
            for (const CapturedDraw::Light& l : d.lights)
                for (const float* c : {l.direction, l.diffuse, l.ambient})
                    key.insert(key.end(), c, c + 4);
        }
        return key;
    }
    static void Switch(GLenum capability, bool on)
    {
        if (on)
            qv::gl::g_api.Enable(capability);
        else
            qv::gl::g_api.Disable(capability);
    }
    // The state of `d`, sending only what differs from `last`'s (everything when none).
    static void Apply(const CapturedDraw& d, const CapturedDraw* last)
    {
        const qv::gl::Api& gl = qv::gl::g_api;
        if (!last || last->texture != d.texture) {
            Switch(GL_TEXTURE_2D, d.texture != 0);
            if (d.texture)
                gl.BindTexture(GL_TEXTURE_2D, d.texture);
        }
        if (!last || last->blend != d.blend || last->srcBlend != d.srcBlend || last->dstBlend != d.dstBlend) {
            Switch(GL_BLEND, d.blend);
            gl.BlendFuncSeparate(d.srcBlend, d.dstBlend, d.srcBlend, d.dstBlend);
        }
        if (!last || last->alphaTest != d.alphaTest || last->alphaFunc != d.alphaFunc || last->alphaRef != d.alphaRef) {
            Switch(GL_ALPHA_TEST, d.alphaTest);
            gl.AlphaFunc(d.alphaFunc, d.alphaRef);
        }
        if (!last || last->depthTest != d.depthTest || last->depthWrite != d.depthWrite ||
            last->depthFunc != d.depthFunc) {
            Switch(GL_DEPTH_TEST, d.depthTest);
            gl.DepthMask(d.depthWrite ? GL_TRUE : GL_FALSE);
            gl.DepthFunc(d.depthFunc);
        }
        if (!last || last->cullFace != d.cullFace) {
            Switch(GL_CULL_FACE, d.cullFace != 0);
            if (d.cullFace)
                gl.CullFace(d.cullFace);
        }
        if (!last || KeyOf(*last) != KeyOf(d)) {
            Switch(GL_LIGHTING, d.lit);
            if (d.lit) {
                // The lights' directions are in eye space, which the identity modelview keeps.
                gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, d.ambient);
                gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT, d.materialAmbient);
                gl.Materialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, d.materialDiffuse);
                gl.Materialfv(GL_FRONT_AND_BACK, GL_EMISSION, d.materialEmissive);
                for (GLenum i = 0; i < 8; ++i) {
                    Switch(GL_LIGHT0 + i, i < d.lights.size());
                    if (i < d.lights.size()) {
                        gl.Lightfv(GL_LIGHT0 + i, GL_POSITION, d.lights[i].direction);
                        gl.Lightfv(GL_LIGHT0 + i, GL_DIFFUSE, d.lights[i].diffuse);
                        gl.Lightfv(GL_LIGHT0 + i, GL_AMBIENT, d.lights[i].ambient);
                    }
                }
            }
        }
    }

    HWND m_window;
    GLint m_framebuffer;
    GLuint m_buffer = 0;
    std::vector<Run> m_runs;
    std::vector<std::vector<const CapturedDraw*>> m_translucentDraws;
};

struct Measure {
    double ms;
    double glCalls;
    double draws;
};

template <class DrawFrame>
Measure Time(int frames, DrawFrame drawFrame)
{
    std::vector<double> ms;
    const uint64_t calls = qv::test::OpenGlCallCount(), draws = qv::test::OpenGlDrawCount();
    for (int f = 0; f < frames; ++f) {
        const Clock::time_point start = Clock::now();
        drawFrame();
        qv::gl::g_api.Finish();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return Measure{Median(ms), double(qv::test::OpenGlCallCount() - calls) / frames,
                   double(qv::test::OpenGlDrawCount() - draws) / frames};
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 100;
    constexpr UINT kWidth = 640, kHeight = 480;
    HWND window = bench::OpenGameDevice("topview", kWidth, kHeight);
    if (!window)
        return 2;
    CGameConfig::GetInstance().IsSoundOn = false;
    CCharacterSystem system;
    auto run = [&](int count) {
        for (int i = 0; i < count; ++i) {
            system.UpdateAll();
            if (CDirectX9::BeginRender()) {
                system.DrawAll();
                CDirectX9::EndRender();
            }
            system.DeleteDead();
            std::fill(std::begin(g_Input.Triggered), std::end(g_Input.Triggered), false);
        }
    };
    CStage01* stage = nullptr;
    try {
        stage = new CStage01();
        run(60);
        g_Input.Triggered[INPUT_F8] = true;
        run(30);
        bench::BreakNearest(*stage, 5);
        run(45);
        // The moment itself: updated (which queues the buildings' draw requests), not drawn.
        system.UpdateAll();
        system.DeleteDead();
    } catch (const char* text) {
        std::fprintf(stderr, "%s\n", text);
        return 1;
    }
    // The moment held: the draw pass alone, as while paused, with the buildings' requests
    // (which a draw pass uses up) and the sky's turn put back before each.
    std::vector<CMeshDrawRequest*> requested;
    for (CMeshDrawRequest* request : stage->DrawRequests)
        if (request->IsRequested)
            requested.push_back(request);
    const float skyYaw = g_fSkyYaw;
    auto layerFrame = [&] {
        for (CMeshDrawRequest* request : requested)
            request->IsRequested = true;
        g_fSkyYaw = skyYaw;
        if (CDirectX9::BeginRender()) {
            system.DrawAll();
            CDirectX9::EndRender();
        }
    };
    std::vector<CapturedDraw> captured;
    qv::test::CaptureD3D9Draws(&captured);
    layerFrame();
    qv::test::CaptureD3D9Draws(nullptr);
    size_t triangles = 0;
    for (const CapturedDraw& d : captured)
        triangles += d.corners.size() / 3;

    Measure layer{1e9, 0, 0}, plain{1e9, 0, 0};
    for (int round = 0; round < 5; ++round) {
        layerFrame();
        const Measure l = Time(frames, layerFrame);
        if (l.ms < layer.ms)
            layer = l;
        {
            // The layer's back buffer, as the reset left it.
            GLint framebuffer = 0;
            qv::gl::g_api.GetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
            PlainFrame plainFrame(captured, window, framebuffer);
            plainFrame.Draw(kWidth, kHeight);
            const Measure p = Time(frames, [&] { plainFrame.Draw(kWidth, kHeight); });
            if (p.ms < plain.ms)
                plain = Measure{p.ms, p.glCalls, static_cast<double>(plainFrame.Draws())};
        }
        // The layer's record of OpenGL's state starts afresh after the plain frames.
        if (SUCCEEDED(CDirectX9::Device->Reset(&CDirectX9::PresentParameters)))
            CDirectX9::RestoreDevice();
    }
    std::printf("the stage from the top, five buildings broken: %zu buildings drawn, %zu pieces falling, "
                "%zu triangles\n",
                requested.size(), stage->Debris.size(), triangles);
    std::printf("through the game and the layer: %7.2f ms a frame (%4.1f %% of 16.667), %5.0f draws, %6.0f OpenGL calls\n",
                layer.ms, 100.0 * layer.ms / 16.667, layer.draws, layer.glCalls);
    std::printf("plain OpenGL, batched:          %7.2f ms a frame (%4.1f %% of 16.667), %5.0f draws, %6.0f OpenGL calls\n",
                plain.ms, 100.0 * plain.ms / 16.667, plain.draws, plain.glCalls);
    const double ratio = layer.ms / plain.ms;
    std::printf("ratio %.2f (goal at most 1.3): %s\n", ratio, ratio <= 1.3 ? "met" : "NOT met");
    system.DeleteAll();
    CDirectX9::Release();
    return 0;
}
