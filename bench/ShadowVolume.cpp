// Making shadow volumes: closed tori of 500, 1000 and 2000 faces (the edge search compares
// every pair of faces, so the time grows with the square of the count), and the game's own
// shadow model ".\data\xfile\RinaShadow.x", which must be ready well within a second.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/platform.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"

namespace {

LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// The device owner on a small window, in the run folder so that the effect file is found.
bool OpenDevice()
{
    static bool open = false;
    if (open)
        return true;
    if (chdir(QV_RUN_DIR) != 0)
        return false;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ShadowVolumeBench";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "ShadowVolumeBench", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    if (!window)
        return false;
    try {
        g_DirectX9.Init(window, 160, 120, true, true);
    } catch (const char*) {
        return false;
    }
    open = true;
    return true;
}

// A torus of rings x segments quads (two faces each) with shared corners: a closed mesh.
void AttachTorus(CD3DXObject& object, int rings, int segments)
{
    struct Vertex {
        float x, y, z, nx, ny, nz;
    };
    const DWORD faces = static_cast<DWORD>(rings * segments * 2);
    const DWORD vertices = static_cast<DWORD>(rings * segments);
    ID3DXMesh* mesh = nullptr;
    if (FAILED(D3DXCreateMeshFVF(faces, vertices, D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_NORMAL, g_pDevice, &mesh)))
        std::abort();
    void* data = nullptr;
    mesh->LockVertexBuffer(0, &data);
    auto* v = static_cast<Vertex*>(data);
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const float a = 6.2831853f * static_cast<float>(r) / static_cast<float>(rings);
            const float b = 6.2831853f * static_cast<float>(s) / static_cast<float>(segments);
            const float radius = 2.0f + 0.5f * std::cos(b);
            v[r * segments + s] = Vertex{radius * std::cos(a), 0.5f * std::sin(b), radius * std::sin(a),
                                         std::cos(b) * std::cos(a), std::sin(b), std::cos(b) * std::sin(a)};
        }
    }
    mesh->UnlockVertexBuffer();
    mesh->LockIndexBuffer(0, &data);
    auto* index = static_cast<WORD*>(data);
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const WORD i00 = static_cast<WORD>(r * segments + s);
            const WORD i01 = static_cast<WORD>(r * segments + (s + 1) % segments);
            const WORD i10 = static_cast<WORD>(((r + 1) % rings) * segments + s);
            const WORD i11 = static_cast<WORD>(((r + 1) % rings) * segments + (s + 1) % segments);
            const WORD quad[6] = {i00, i01, i11, i00, i11, i10};
            for (WORD k : quad)
                *index++ = k;
        }
    }
    mesh->UnlockIndexBuffer();
    auto* frame = new D3DXFRAME_EX();
    frame->Name = DuplicateName("Torus");
    auto* container = new D3DXMESHCONTAINER_EX();
    container->Name = DuplicateName("Torus");
    container->MeshData.Type = D3DXMESHTYPE_MESH;
    container->MeshData.pMesh = mesh;
    frame->pMeshContainer = container;
    object.FrameRoot = frame;
}

void BM_GenerateTorus(benchmark::State& state)
{
    if (!OpenDevice()) {
        state.SkipWithError("no device");
        return;
    }
    const int faces = static_cast<int>(state.range(0));
    CD3DXObject object;
    AttachTorus(object, faces / 50, 25);
    for (auto _ : state)
        if (!object.GenerateShadowVolume())
            state.SkipWithError("no volume");
    state.counters["faces"] = faces;
    state.SetComplexityN(faces);
}
BENCHMARK(BM_GenerateTorus)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_GenerateRinaShadow(benchmark::State& state)
{
    if (!OpenDevice()) {
        state.SkipWithError("no device");
        return;
    }
    CD3DXObject object;
    try {
        object.Load(".\\data\\xfile\\RinaShadow.x");
    } catch (const char* text) {
        state.SkipWithError(text);
        return;
    }
    DWORD faces = 0;
    std::vector<D3DXFRAME_EX*> frames;
    object.GetFrames(object.FrameRoot, frames);
    for (D3DXFRAME_EX* frame : frames)
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer)
            if (c->MeshData.pMesh)
                faces += c->MeshData.pMesh->GetNumFaces();
    for (auto _ : state)
        if (!object.GenerateShadowVolume())
            state.SkipWithError("no volume");
    state.counters["faces"] = faces;
}
BENCHMARK(BM_GenerateRinaShadow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("QV_MESSAGEBOX", "auto", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    CDirectX9::Release();
    return 0;
}
