// Loading the generated models through the game's loader: the whole ".\data\xfile\" tree (the
// stage alone loads 8 x 66 of them when it is built), and its largest files one by one.
#include "platform/d3dx9/D3DX9.h"
#include "tests/platform/xfile/XFileTestAllocator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ModelFiles()
{
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(QV_RUN_DIR) + "/data/xfile"))
        if (e.is_regular_file() && e.path().extension() == ".x")
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

bool Load(const std::string& path)
{
    xfixture::CountingAllocator alloc;
    LPD3DXFRAME root = nullptr;
    LPD3DXANIMATIONCONTROLLER controller = nullptr;
    const HRESULT hr = D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root, &controller);
    if (controller)
        controller->Release();
    if (root)
        D3DXFrameDestroy(root, &alloc);
    return SUCCEEDED(hr);
}

void BM_LoadWholeTree(benchmark::State& state)
{
    const std::vector<std::string> files = ModelFiles();
    if (files.empty()) {
        state.SkipWithError("no generated models: build the data tree first");
        return;
    }
    for (auto _ : state)
        for (const std::string& f : files)
            if (!Load(f)) {
                state.SkipWithError(("cannot load " + f).c_str());
                return;
            }
    state.counters["files"] = static_cast<double>(files.size());
}
BENCHMARK(BM_LoadWholeTree)->Unit(benchmark::kMillisecond);

void BM_LoadOne(benchmark::State& state, const char* name)
{
    const std::string path = std::string(QV_RUN_DIR) + "/data/xfile/" + name;
    for (auto _ : state)
        if (!Load(path)) {
            state.SkipWithError(("cannot load " + path).c_str());
            return;
        }
}
BENCHMARK_CAPTURE(BM_LoadOne, Rina, "Rina.x")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadOne, OpeningGround, "OpeningGround.x")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadOne, BuildingPiece, "map/building001Break001.x")->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
