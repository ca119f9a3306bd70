// Gathering small draws into one OpenGL draw: frames of the stage's two kinds of small draws,
// drawn gathered and draw by draw, and what a gathered draw costs the calling thread.
//   - falling pieces: 600 lit boxes (12 triangles each, from memory), each with its own world
//     matrix, its material set before it and the default put back after it, as the models draw;
//   - puffs: 600 unlit textured quads (strips), lighting switched off and on around each, the
//     texture alternating between two of one size (layers of one texture array).
// A frame's time includes OpenGL's rasterising it (glFinish); the counters give the OpenGL draws
// of a frame. A frame gathered should take well under the time of one drawn draw by draw.
//
// Run: SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=8 build-main/bench/bench_D3D9Batch
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "GameDevice.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/d3d9/GlApi.h"
#include "platform/platform.h"

namespace {

constexpr UINT kWidth = 640, kHeight = 480;
constexpr int kDraws = 600;

struct PieceVertex {
    float x, y, z, nx, ny, nz;
};
struct PuffVertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};

// One device for every benchmark of the run, with the scenes' geometry and textures.
class Scene {
public:
    static Scene& Get()
    {
        static Scene scene;
        return scene;
    }
    IDirect3DDevice9* device = nullptr;
    std::vector<PieceVertex> box;
    std::vector<uint16_t> boxIndices;
    std::vector<D3DXMATRIX> worlds;
    IDirect3DTexture9* textures[2] = {};

private:
    Scene()
    {
        if (!bench::OpenGameDevice("batch", kWidth, kHeight))
            return;
        device = CDirectX9::Device;
        std::mt19937 random(5);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        const float n[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
        for (int f = 0; f < 6; ++f) {
            const int a = (f / 2 + 1) % 3, b = (f / 2 + 2) % 3;
            const uint16_t first = static_cast<uint16_t>(box.size());
            for (int k = 0; k < 4; ++k) {
                float q[3] = {n[f][0] * 0.2f, n[f][1] * 0.2f, n[f][2] * 0.2f};
                q[a] = (k & 1) ? 0.2f : -0.2f;
                q[b] = (k & 2) ? 0.2f : -0.2f;
                box.push_back(PieceVertex{q[0], q[1], q[2], n[f][0], n[f][1], n[f][2]});
            }
            for (uint16_t i : {0, 1, 2, 2, 1, 3})
                boxIndices.push_back(static_cast<uint16_t>(first + i));
        }
        for (int i = 0; i < kDraws; ++i) {
            D3DXMATRIX rotation, translation;
            D3DXVECTOR3 axis(unit(random), unit(random), unit(random) + 0.01f);
            D3DXMatrixRotationAxis(&rotation, &axis, 3.0f * unit(random));
            D3DXMatrixTranslation(&translation, 4.0f * unit(random), 3.0f * unit(random), 2.0f * unit(random));
            worlds.push_back(rotation * translation);
        }
        for (IDirect3DTexture9*& texture : textures) {
            device->CreateTexture(32, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
            for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
                D3DLOCKED_RECT locked;
                D3DSURFACE_DESC desc;
                texture->GetLevelDesc(level, &desc);
                texture->LockRect(level, &locked, nullptr, 0);
                for (UINT y = 0; y < desc.Height; ++y)
                    for (UINT x = 0; x < desc.Width; ++x)
                        static_cast<DWORD*>(locked.pBits)[y * locked.Pitch / 4 + x] =
                            0x80000000u | (static_cast<DWORD>(random()) & 0xFFFFFF);
                texture->UnlockRect(level);
            }
        }
        // The device owner's start (blending and the alpha test on) and the states drawn with.
        device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        D3DXMATRIX view, projection;
        const D3DXVECTOR3 eye(0, 0, -9), at(0, 0, 0), up(0, 1, 0);
        device->SetTransform(D3DTS_VIEW, D3DXMatrixLookAtLH(&view, &eye, &at, &up));
        device->SetTransform(D3DTS_PROJECTION,
                             D3DXMatrixPerspectiveFovLH(&projection, 0.785398185f, 4.0f / 3.0f, 1.0f, 500.0f));
        D3DLIGHT9 light = {};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1, 0.9f, 0.8f, 1};
        light.Direction = D3DVECTOR{0.5f, -1, 1};
        device->SetLight(0, &light);
        device->LightEnable(0, TRUE);
        device->SetRenderState(D3DRS_AMBIENT, 0x44444444);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }
};

void DrawPieces(IDirect3DDevice9* d, const Scene& s)
{
    D3DMATERIAL9 kept = {}, piece = {};
    kept.Diffuse = kept.Ambient = D3DCOLORVALUE{1, 1, 1, 1};
    piece.Diffuse = D3DCOLORVALUE{0.8f, 0.7f, 0.5f, 1};
    piece.Ambient = D3DCOLORVALUE{0.6f, 0.6f, 0.6f, 1};
    d->SetTexture(0, nullptr);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    for (int i = 0; i < kDraws; ++i) {
        d->SetTransform(D3DTS_WORLD, &s.worlds[static_cast<size_t>(i)]);
        d->SetMaterial(&piece);
        d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 24, 12, s.boxIndices.data(), D3DFMT_INDEX16, s.box.data(),
                                  sizeof(PieceVertex));
        d->SetMaterial(&kept);
    }
}

void DrawPuffs(IDirect3DDevice9* d, const Scene& s)
{
    const D3DXMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    d->SetTransform(D3DTS_WORLD, &identity);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    for (int i = 0; i < kDraws; ++i) {
        const D3DXMATRIX& w = s.worlds[static_cast<size_t>(i)];
        const float x = w._41, y = w._42, z = w._43, r = 0.4f;
        const PuffVertex quad[4] = {{x - r, y + r, z, 0xC0FFFFFF, 0, 0},
                                    {x + r, y + r, z, 0xC0FFFFFF, 1, 0},
                                    {x - r, y - r, z, 0xC0FFFFFF, 0, 1},
                                    {x + r, y - r, z, 0xC0FFFFFF, 1, 1}};
        d->SetTexture(0, s.textures[i & 1]);
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
        d->SetRenderState(D3DRS_LIGHTING, TRUE);
    }
}

template <void (*DrawScene)(IDirect3DDevice9*, const Scene&)>
void BM_Frame(benchmark::State& state)
{
    Scene& s = Scene::Get();
    if (!s.device) {
        state.SkipWithError("no device");
        return;
    }
    qv::test::SetD3D9Batching(state.range(0) != 0);
    uint64_t draws = 0;
    for (auto _ : state) {
        s.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040, 1.0f, 0);
        s.device->BeginScene();
        const uint64_t before = qv::test::OpenGlDrawCount();
        DrawScene(s.device, s);
        s.device->EndScene();
        draws = qv::test::OpenGlDrawCount() - before;
        qv::gl::g_api.Finish();
    }
    qv::test::SetD3D9Batching(true);
    state.counters["OpenGL draws"] = static_cast<double>(draws);
}
BENCHMARK_TEMPLATE(BM_Frame, DrawPieces)->Name("FallingPieces/gathered")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Frame, DrawPuffs)->Name("Puffs/gathered")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The calling thread's cost of a draw that joins the batch (the state compared, the vertices
// taken to clip space when sent): a falling piece at a time, the scene sent every 600.
void BM_JoiningDraw(benchmark::State& state)
{
    Scene& s = Scene::Get();
    if (!s.device) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DDevice9* d = s.device;
    d->SetTexture(0, nullptr);
    d->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    d->BeginScene();
    size_t i = 0;
    for (auto _ : state) {
        d->SetTransform(D3DTS_WORLD, &s.worlds[i]);
        d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 24, 12, s.boxIndices.data(), D3DFMT_INDEX16, s.box.data(),
                                  sizeof(PieceVertex));
        if (++i == s.worlds.size()) {
            i = 0;
            d->EndScene();
            d->BeginScene();
        }
    }
    d->EndScene();
    qv::gl::g_api.Finish();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_JoiningDraw);

} // namespace

BENCHMARK_MAIN();
