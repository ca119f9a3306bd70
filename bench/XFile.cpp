// .x reading speed: text parsing in MB/s on a typical small skinned model (the stage loads
// 528 small models at start, so this must run at tens of MB/s).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/d3dx9/D3DX9.h"
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

// What an application's allocator does: frames and containers on the heap, the mesh and the
// skin information held.
class BenchAllocator : public ID3DXAllocateHierarchy {
public:
    STDMETHOD(CreateFrame)(LPCSTR name, LPD3DXFRAME* ppNewFrame) override
    {
        *ppNewFrame = new D3DXFRAME();
        if (name) {
            (*ppNewFrame)->Name = new char[std::strlen(name) + 1];
            std::strcpy((*ppNewFrame)->Name, name);
        }
        return S_OK;
    }
    STDMETHOD(CreateMeshContainer)(LPCSTR, const D3DXMESHDATA* pMeshData, const D3DXMATERIAL*, const D3DXEFFECTINSTANCE*,
                                   DWORD, const DWORD*, LPD3DXSKININFO pSkinInfo, LPD3DXMESHCONTAINER* out) override
    {
        D3DXMESHCONTAINER* c = new D3DXMESHCONTAINER();
        c->MeshData = *pMeshData;
        c->MeshData.pMesh->AddRef();
        c->pSkinInfo = pSkinInfo;
        if (pSkinInfo)
            pSkinInfo->AddRef();
        *out = c;
        return S_OK;
    }
    STDMETHOD(DestroyFrame)(LPD3DXFRAME f) override
    {
        delete[] f->Name;
        delete f;
        return S_OK;
    }
    STDMETHOD(DestroyMeshContainer)(LPD3DXMESHCONTAINER c) override
    {
        c->MeshData.pMesh->Release();
        if (c->pSkinInfo)
            c->pSkinInfo->Release();
        delete c;
        return S_OK;
    }
};

std::string WriteTemp(const std::string& name, const std::string& text)
{
    std::string path = (std::filesystem::temp_directory_path() / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Whole loads through D3DXLoadMeshHierarchyFromX: file read, parse, meshes built, allocator
// called, controller built. The stage loads 528 models like the small one at start.
void LoadModels(benchmark::State& state, const std::string& text, const char* name)
{
    const std::string path = WriteTemp(name, text);
    BenchAllocator alloc;
    for (auto _ : state) {
        LPD3DXFRAME root = nullptr;
        LPD3DXANIMATIONCONTROLLER ac = nullptr;
        if (FAILED(D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root, &ac))) {
            state.SkipWithError("load failed");
            break;
        }
        if (ac)
            ac->Release();
        D3DXFrameDestroy(root, &alloc);
    }
    state.SetItemsProcessed(state.iterations());
    std::filesystem::remove(path);
}
void BM_LoadSmallModel(benchmark::State& state) { LoadModels(state, MakeModel(1, 4, 8, 1), "qv_bench_small.x"); }
BENCHMARK(BM_LoadSmallModel)->Unit(benchmark::kMicrosecond);
void BM_LoadCharacter(benchmark::State& state) { LoadModels(state, MakeModel(30, 24, 12, 31), "qv_bench_character.x"); }
BENCHMARK(BM_LoadCharacter)->Unit(benchmark::kMicrosecond);

// Software skinning of a 30-bone mesh, four influences a vertex (XYZ | NORMAL | TEX1).
void BM_UpdateSkinnedMesh(benchmark::State& state)
{
    const DWORD vertices = 20000, bones = 30, fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    LPD3DXSKININFO skin = nullptr;
    D3DXCreateSkinInfoFVF(vertices, fvf, bones, &skin);
    for (DWORD b = 0; b < bones; ++b) {
        std::vector<DWORD> v;
        std::vector<float> w;
        for (DWORD i = 0; i < vertices; ++i)
            for (DWORD k = 0; k < 4; ++k)
                if ((i * 7 + k * 11) % bones == b) {
                    v.push_back(i);
                    w.push_back(0.25f);
                }
        skin->SetBoneInfluence(b, static_cast<DWORD>(v.size()), v.data(), w.data());
    }
    std::vector<float> src(vertices * 8), dst(vertices * 8);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<float>(i % 13) * 0.1f;
    std::vector<D3DXMATRIX> m(bones);
    for (DWORD b = 0; b < bones; ++b) {
        D3DXMatrixRotationY(&m[b], 0.1f * b);
        m[b]._41 = 0.5f * b;
    }
    for (auto _ : state) {
        skin->UpdateSkinnedMesh(m.data(), nullptr, src.data(), dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * vertices);
    skin->Release();
}
BENCHMARK(BM_UpdateSkinnedMesh)->Unit(benchmark::kMicrosecond);

// One pose of a 30-bone character from three weighted tracks, as a cross-fade runs it.
void BM_AdvanceTime30Bones3Tracks(benchmark::State& state)
{
    std::string text = MakeModel(30, 24, 12, 31);
    // A third animation set, so that three tracks play three different sets.
    const size_t walk = text.find("AnimationSet Walk");
    text += "AnimationSet Run" + text.substr(walk + std::strlen("AnimationSet Walk"), text.find("AnimationSet Stand") - walk - 17);
    const std::string path = WriteTemp("qv_bench_anim.x", text);
    BenchAllocator alloc;
    LPD3DXFRAME root = nullptr;
    LPD3DXANIMATIONCONTROLLER loaded = nullptr, ac = nullptr;
    if (FAILED(D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root, &loaded)) || !loaded) {
        state.SkipWithError("load failed");
        return;
    }
    loaded->CloneAnimationController(loaded->GetMaxNumAnimationOutputs(), loaded->GetMaxNumAnimationSets(), 3,
                                     loaded->GetMaxNumEvents(), &ac);
    loaded->Release();
    const float weights[3] = {0.46875f, 0.375f, 0.25f};
    for (UINT t = 0; t < 3; ++t) {
        LPD3DXANIMATIONSET set = nullptr;
        ac->GetAnimationSet(t, &set);
        ac->SetTrackAnimationSet(t, set);
        set->Release();
        D3DXTRACK_DESC d{D3DXPRIORITY_LOW, weights[t], 1.0f, 0.1 * t, TRUE};
        ac->SetTrackDesc(t, &d);
    }
    if (ac->GetMaxNumAnimationOutputs() != 30) {
        state.SkipWithError("the model's frames are not animated");
        return;
    }
    for (auto _ : state)
        ac->AdvanceTime(1.0 / 60.0, nullptr);
    state.SetItemsProcessed(state.iterations());
    ac->Release();
    D3DXFrameDestroy(root, &alloc);
    if (!std::getenv("QV_KEEP")) std::filesystem::remove(path);
}
BENCHMARK(BM_AdvanceTime30Bones3Tracks)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
