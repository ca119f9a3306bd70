// .x reading speed: text parsing in MB/s on a typical small skinned model (the stage loads
// 528 small models at start, so this must run at tens of MB/s).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "platform/d3dx9/XFileScene.h"

namespace {

// A chain of `bones` frames with a skinned tube around it (`rings` rings of `sides` vertices,
// per-side normals, texture coordinates, two materials) and two animation sets of `keys` keys
// per bone: about what an exporter writes for one of the game's characters.
std::string MakeModel(int bones, int rings, int sides, int keys)
{
    std::string t = "xof 0303txt 0032\nAnimTicksPerSecond { 4800; }\n";
    char buf[256];
    for (int b = 0; b < bones; ++b) {
        std::snprintf(buf, sizeof buf, "Frame Bone%d {\n FrameTransformMatrix { 1.000000,0.000000,0.000000,0.000000,"
                      "0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,%f,0.000000,1.000000;; }\n",
                      b, b == 0 ? 0.0 : 0.25);
        t += buf;
    }
    const int nv = rings * sides;
    t += "Mesh Body {\n" + std::to_string(nv) + ";\n";
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < sides; ++s) {
            double a = 6.2831853 * s / sides;
            std::snprintf(buf, sizeof buf, "%f;%f;%f;%s\n", 0.3 * std::cos(a), 0.25 * r * bones / rings, 0.3 * std::sin(a),
                          (r == rings - 1 && s == sides - 1) ? ";" : ",");
            t += buf;
        }
    const int nf = (rings - 1) * sides;
    t += std::to_string(nf) + ";\n";
    for (int r = 0; r + 1 < rings; ++r)
        for (int s = 0; s < sides; ++s) {
            int a = r * sides + s, b = r * sides + (s + 1) % sides;
            std::snprintf(buf, sizeof buf, "4;%d,%d,%d,%d;%s\n", a, a + sides, b + sides, b, (r == rings - 2 && s == sides - 1) ? ";" : ",");
            t += buf;
        }
    t += "MeshNormals {\n" + std::to_string(sides) + ";\n";
    for (int s = 0; s < sides; ++s) {
        double a = 6.2831853 * (s + 0.5) / sides;
        std::snprintf(buf, sizeof buf, "%f;0.000000;%f;%s\n", std::cos(a), std::sin(a), s == sides - 1 ? ";" : ",");
        t += buf;
    }
    t += std::to_string(nf) + ";\n";
    for (int f = 0; f < nf; ++f) {
        int s = f % sides;
        std::snprintf(buf, sizeof buf, "4;%d,%d,%d,%d;%s\n", s, s, s, s, f == nf - 1 ? ";" : ",");
        t += buf;
    }
    t += "}\nMeshTextureCoords {\n" + std::to_string(nv) + ";\n";
    for (int v = 0; v < nv; ++v) {
        std::snprintf(buf, sizeof buf, "%f;%f;%s\n", double(v % sides) / sides, double(v / sides) / rings, v == nv - 1 ? ";" : ",");
        t += buf;
    }
    t += "}\nMeshMaterialList { 2; " + std::to_string(nf) + ";\n";
    for (int f = 0; f < nf; ++f)
        t += (f < nf / 2 ? "0" : "1") + std::string(f == nf - 1 ? ";;\n" : ",");
    t += "Material { 0.800000;0.800000;0.800000;1.000000;; 5.000000; 0.000000;0.000000;0.000000;; 0.000000;0.000000;0.000000;;"
         " TextureFilename { \"body.png\"; } }\n"
         "Material { 0.500000;0.200000;0.200000;1.000000;; 5.000000; 0.000000;0.000000;0.000000;; 0.000000;0.000000;0.000000;; }\n}\n";
    std::snprintf(buf, sizeof buf, "XSkinMeshHeader { 2; 4; %d; }\n", bones);
    t += buf;
    for (int b = 0; b < bones; ++b) {
        std::string idx, w;
        int count = 0;
        for (int v = 0; v < nv; ++v) {
            double pos = double(v / sides) * bones / rings;
            double d = std::abs(pos - b);
            if (d < 1.0) {
                if (count++) { idx += ","; w += ","; }
                idx += std::to_string(v);
                std::snprintf(buf, sizeof buf, "%f", 1.0 - d);
                w += buf;
            }
        }
        std::snprintf(buf, sizeof buf, "SkinWeights { \"Bone%d\"; %d;\n", b, count);
        t += buf;
        t += idx + ";\n" + w + ";\n";
        std::snprintf(buf, sizeof buf, "1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,"
                      "0.000000,0.000000,1.000000,0.000000,0.000000,%f,0.000000,1.000000;; }\n", -0.25 * b);
        t += buf;
    }
    t += "}\n";
    for (int b = 0; b < bones; ++b)
        t += "}\n";
    for (const char* set : {"Walk", "Stand"}) {
        t += std::string("AnimationSet ") + set + " {\n";
        for (int b = 0; b < bones; ++b) {
            std::snprintf(buf, sizeof buf, "Animation { { Bone%d }\n AnimationKey { 0; %d;\n", b, keys);
            t += buf;
            for (int k = 0; k < keys; ++k) {
                double a = 0.2 * std::sin(k * 0.7 + b);
                std::snprintf(buf, sizeof buf, "%d;4;%f,%f,%f,%f;;%s\n", k * 160, std::cos(a), 0.0, 0.0, std::sin(a), k == keys - 1 ? ";" : ",");
                t += buf;
            }
            std::snprintf(buf, sizeof buf, " }\n AnimationKey { 2; 1; 0;3;0.000000,%f,0.000000;;; }\n}\n", b == 0 ? 0.0 : 0.25);
            t += buf;
        }
        t += "}\n";
    }
    return t;
}

void BM_ParseText(benchmark::State& state)
{
    const std::string text = MakeModel(30, 24, 12, 31);
    for (auto _ : state) {
        xfile::XScene scene;
        std::string error;
        if (!xfile::LoadScene(text.data(), text.size(), scene, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(scene.frames.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["file_KB"] = double(text.size()) / 1024.0;
}
BENCHMARK(BM_ParseText)->Unit(benchmark::kMicrosecond);

// The stage's building models are small, unskinned and without animation.
void BM_ParseSmallStatic(benchmark::State& state)
{
    std::string text = MakeModel(1, 4, 8, 1);
    for (auto _ : state) {
        xfile::XScene scene;
        std::string error;
        if (!xfile::LoadScene(text.data(), text.size(), scene, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(scene.frames.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseSmallStatic)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
