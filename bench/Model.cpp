// Model speed: small models loaded per second (the stage loads 528 of them at start, which
// must take well under a second), and one frame of a skinned character: SetTime, FrameMove
// and a software-skinned Render.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string Matrix(float x, float y, float z)
{
    char buffer[200];
    std::snprintf(buffer, sizeof buffer,
                  "1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,"
                  "1.000000,0.000000,%f,%f,%f,1.000000;;",
                  x, y, z);
    return buffer;
}

// A building piece: a box of 12 triangles with per-side normals and one material.
std::string PieceText()
{
    return "xof 0303txt 0032\nFrame Piece {\n FrameTransformMatrix { " + Matrix(0, 0, 0) + " }\n" + R"( Mesh Mesh_piece {
  8;
  -1.0;0.0;-1.0;, -1.0;2.0;-1.0;, 1.0;2.0;-1.0;, 1.0;0.0;-1.0;,
  -1.0;0.0;1.0;, -1.0;2.0;1.0;, 1.0;2.0;1.0;, 1.0;0.0;1.0;;
  6;
  4;0,1,2,3;, 4;3,2,6,7;, 4;7,6,5,4;, 4;4,5,1,0;, 4;1,5,6,2;, 4;4,0,3,7;;
  MeshNormals {
   6;
   0.0;0.0;-1.0;, 1.0;0.0;0.0;, 0.0;0.0;1.0;, -1.0;0.0;0.0;, 0.0;1.0;0.0;, 0.0;-1.0;0.0;;
   6;
   4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;, 4;4,4,4,4;, 4;5,5,5,5;;
  }
  MeshMaterialList {
   1;
   6;
   0,0,0,0,0,0;
   Material { 0.7; 0.7; 0.6; 1.0;; 0.0; 0.0; 0.0; 0.0;; 0.0; 0.0; 0.0;; }
  }
 }
}
)";
}

// A character-sized skinned tube: a chain of `bones` frames, `rings` rings of `sides` corners,
// each ring weighted to its two nearest bones, and a walk-like set swinging every bone.
std::string CharacterText(int bones, int rings, int sides)
{
    std::string t = "xof 0303txt 0032\nAnimTicksPerSecond { 100; }\n";
    const float step = 2.0f / bones;
    for (int b = 0; b < bones; ++b)
        t += "Frame Bone" + std::to_string(b) + " {\n FrameTransformMatrix { " + Matrix(0, b ? step : 0, 0) + " }\n";
    for (int b = 0; b < bones; ++b) t += "}\n";
    // The mesh sits at the top level beside the bone chain.
    const int nv = rings * sides;
    char buf[256];
    t += "Mesh Body {\n" + std::to_string(nv) + ";\n";
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < sides; ++s) {
            const double a = 6.2831853 * s / sides;
            std::snprintf(buf, sizeof buf, "%f;%f;%f;%s\n", 0.3 * std::cos(a), 2.0 * r / (rings - 1), 0.3 * std::sin(a),
                          (r == rings - 1 && s == sides - 1) ? ";" : ",");
            t += buf;
        }
    const int nf = (rings - 1) * sides;
    t += std::to_string(nf) + ";\n";
    for (int r = 0; r + 1 < rings; ++r)
        for (int s = 0; s < sides; ++s) {
            const int a = r * sides + s, b = r * sides + (s + 1) % sides;
            std::snprintf(buf, sizeof buf, "4;%d,%d,%d,%d;%s\n", a, a + sides, b + sides, b,
                          (r == rings - 2 && s == sides - 1) ? ";" : ",");
            t += buf;
        }
    t += "MeshMaterialList { 1; " + std::to_string(nf) + ";\n";
    for (int f = 0; f < nf; ++f) t += f == nf - 1 ? "0;\n" : "0,";
    t += "Material { 0.8; 0.6; 0.5; 1.0;; 0.0; 0.0; 0.0; 0.0;; 0.0; 0.0; 0.0;; } }\n";
    t += "XSkinMeshHeader { 2; 4; " + std::to_string(bones) + "; }\n";
    for (int b = 0; b < bones; ++b) {
        std::string vertices, weights;
        int count = 0;
        for (int r = 0; r < rings; ++r) {
            const float y = 2.0f * r / (rings - 1);
            const float w = 1.0f - std::fabs(y / step - static_cast<float>(b));
            if (w <= 0.0f) continue;
            for (int s = 0; s < sides; ++s) {
                if (count++) {
                    vertices += ",";
                    weights += ",";
                }
                vertices += std::to_string(r * sides + s);
                std::snprintf(buf, sizeof buf, "%f", w);
                weights += buf;
            }
        }
        t += "SkinWeights { \"Bone" + std::to_string(b) + "\"; " + std::to_string(count) + "; " + vertices + "; " +
             weights + "; " + Matrix(0, -step * b, 0) + " }\n";
    }
    t += "}\n";
    t += "AnimationSet Walk {\n";
    for (int b = 0; b < bones; ++b) {
        t += " Animation { { Bone" + std::to_string(b) + " }\n  AnimationKey { 0; 3;\n";
        for (int k = 0; k < 3; ++k) {
            const double angle = (k == 1 ? 0.2 : -0.2) * 0.5;
            std::snprintf(buf, sizeof buf, "   %d;4;%f,0.000000,0.000000,%f;;%s\n", k * 50, std::cos(angle),
                          std::sin(angle), k == 2 ? ";" : ",");
            t += buf;
        }
        t += "  }\n  AnimationKey { 2; 1; 0;3;0.000000," + std::to_string(b ? step : 0.0f) + ",0.000000;;; }\n }\n";
    }
    t += "}\n";
    return t;
}

LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// A device owner on a small window, in a scratch folder with the models and the effect file.
struct Scene {
    HWND window = nullptr;
    bool ready = false;

    Scene()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("QV_MESSAGEBOX", "auto", 0);
        const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qv_bench_model";
        std::filesystem::create_directories(dir / "data" / "shader");
        if (chdir(dir.c_str()) != 0) return;
        WriteText("data/shader/shadowvolume.fx", "technique TShader { pass P0 { } }\n");
        WriteText("piece.x", PieceText());
        WriteText("character.x", CharacterText(12, 25, 12));
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QvBenchModel";
        RegisterClassExA(&wc);
        window = CreateWindowExA(0, "QvBenchModel", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        if (!window) return;
        try {
            g_DirectX9.Init(window, 160, 120, true, true);
        } catch (const char* text) {
            std::fprintf(stderr, "%s\n", text);
            return;
        }
        ready = true;
    }
};

Scene& TheScene()
{
    static Scene scene;
    return scene;
}

void BM_LoadSmallModel(benchmark::State& state)
{
    if (!TheScene().ready) {
        state.SkipWithError("no device");
        return;
    }
    CD3DXObject keeper; // keeps the class-wide effect loaded, as the stage's models do
    for (auto _ : state) {
        CD3DXObject model;
        model.Load("piece.x");
        model.CreateBoneOBB(0);
        benchmark::DoNotOptimize(model.FrameRoot);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoadSmallModel);

// The stage's start: 528 small models, all alive at once.
void BM_LoadStageModels(benchmark::State& state)
{
    if (!TheScene().ready) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state) {
        std::vector<std::unique_ptr<CD3DXObject>> models;
        models.reserve(528);
        for (int i = 0; i < 528; ++i) {
            models.emplace_back(new CD3DXObject());
            models.back()->Load("piece.x");
        }
        benchmark::DoNotOptimize(models.data());
    }
    state.SetItemsProcessed(state.iterations() * 528);
}
BENCHMARK(BM_LoadStageModels)->Unit(benchmark::kMillisecond);

void BM_LoadCharacter(benchmark::State& state)
{
    if (!TheScene().ready) {
        state.SkipWithError("no device");
        return;
    }
    CD3DXObject keeper;
    for (auto _ : state) {
        CD3DXObject model;
        model.Load("character.x");
        model.CreateBoneOBB(2);
        benchmark::DoNotOptimize(model.FrameRoot);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoadCharacter)->Unit(benchmark::kMicrosecond);

// One frame of a walking character: time step, cross-fade weights, matrices, skinned draw.
void BM_CharacterFrame(benchmark::State& state)
{
    if (!TheScene().ready) {
        state.SkipWithError("no device");
        return;
    }
    CD3DXObject model;
    model.Load("character.x");
    D3DXMATRIX view;
    const D3DXVECTOR3 eye(0.0f, 1.0f, -5.0f), at(0.0f, 1.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    CDirectX9::SafeSetTransform(D3DTS_VIEW, view);
    int frame = 0;
    for (auto _ : state) {
        if (frame % 120 == 0) model.ChangeAnimation(0, 10.0f);
        model.SetTime(model.GetTime() + 1.0 / 60.0);
        model.FrameMove();
        g_pDevice->BeginScene();
        model.Render();
        g_pDevice->EndScene();
        ++frame;
    }
    // Drawing is queued: wait for it, so the measured time includes it.
    g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CharacterFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
