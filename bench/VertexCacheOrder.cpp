// Vertex-cache ordering, which every unskinned model gets when it loads: three models of the
// same face count loaded through the game's model class (an ordinary grid, every face on the
// same three vertices, half the faces fanned around one vertex), with the ratio of the slowest
// to the ordinary; and the cache misses per triangle that the order gives the game's own models.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bench/GameDevice.h"
#include "platform/d3dx9/MeshOptimize.h"
#include "platform/d3dx9/XFileMeshBuild.h"
#include "platform/d3dx9/XFileScene.h"
#include "render/CD3DXObject.h"
#include "tests/support/VertexCacheMisses.h"

namespace {

constexpr int kFaces = 200000;

struct Face {
    int a, b, c;
};

void WriteModel(const std::string& path, int vertices, const std::vector<Face>& faces)
{
    std::ofstream out(path, std::ios::binary);
    out << "xof 0303txt 0032\nFrame Model {\n Mesh {\n  " << vertices << ";\n";
    // Rows of 400, every other vertex a little higher: no two coincide, no three in a line.
    for (int v = 0; v < vertices; ++v)
        out << "  " << (v % 400) * 0.01f << ";" << (v / 400) * 0.01f + (v % 2) * 0.005f << ";0.0;"
            << (v + 1 < vertices ? "," : ";") << "\n";
    out << "  " << faces.size() << ";\n";
    for (size_t f = 0; f < faces.size(); ++f)
        out << "  3;" << faces[f].a << "," << faces[f].b << "," << faces[f].c << ";" << (f + 1 < faces.size() ? "," : ";")
            << "\n";
    out << " }\n}\n";
}

// A grid of quads `columns` wide, starting at vertex `first`, two faces each.
void AddGrid(std::vector<Face>& faces, int first, int columns, int rows)
{
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            const int a = first + y * (columns + 1) + x, b = a + 1, c = a + columns + 1, d = c + 1;
            faces.push_back({a, c, b});
            faces.push_back({b, c, d});
        }
}

// The three models, written once into the scratch folder.
const char* const kModels[] = {"ordinary.x", "three_vertices.x", "half_on_one.x"};

void WriteModels()
{
    std::vector<Face> faces;
    AddGrid(faces, 0, 400, kFaces / 800);
    WriteModel(kModels[0], 401 * (kFaces / 800 + 1), faces);

    faces.assign(kFaces, Face{0, 1, 2});
    WriteModel(kModels[1], 3, faces);

    // Half fanned around vertex 0 over a ring of vertices 1..half+1; the other half a grid.
    const int half = kFaces / 2;
    faces.clear();
    for (int i = 1; i <= half; ++i) faces.push_back({0, i, i + 1});
    const int first = half + 2;
    AddGrid(faces, first, 250, half / 500);
    WriteModel(kModels[2], first + 251 * (half / 500 + 1), faces);
}

bool Ready()
{
    static const bool ready = [] {
        if (!bench::OpenGameDevice("QvBenchCacheOrder", 160, 120)) return false;
        WriteModels();
        return true;
    }();
    return ready;
}

void BM_LoadModel(benchmark::State& state, int which)
{
    if (!Ready()) {
        state.SkipWithError("no device");
        return;
    }
    CD3DXObject keeper; // keeps the class-wide effect loaded, as the game's models do
    for (auto _ : state) {
        CD3DXObject model;
        try {
            model.Load(kModels[which]);
        } catch (const char* text) {
            state.SkipWithError(text);
            return;
        }
        benchmark::DoNotOptimize(model.FrameRoot);
    }
    state.counters["faces"] = kFaces;
}
BENCHMARK_CAPTURE(BM_LoadModel, ordinary, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadModel, three_vertices, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadModel, half_on_one, 2)->Unit(benchmark::kMillisecond);

// Vertices fetched per triangle through a least-recently-used cache of `size` entries.
double MissesLru(const std::vector<DWORD>& indices, size_t size)
{
    std::deque<DWORD> cache;
    size_t misses = 0;
    for (DWORD v : indices) {
        const auto it = std::find(cache.begin(), cache.end(), v);
        if (it != cache.end())
            cache.erase(it);
        else
            ++misses;
        cache.push_front(v);
        if (cache.size() > size) cache.pop_back();
    }
    return static_cast<double>(misses) / static_cast<double>(indices.size() / 3);
}

// The order the loader gives each mesh of the generated models, weighed by faces.
void PrintGameModelMisses()
{
    namespace fs = std::filesystem;
    double fifo = 0.0, lru = 0.0, faces = 0.0;
    for (const auto& e : fs::recursive_directory_iterator(fs::path(QV_RUN_DIR) / "data" / "xfile")) {
        if (!e.is_regular_file() || e.path().extension() != ".x") continue;
        std::ifstream in(e.path(), std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        xfile::XScene scene;
        std::string error;
        if (!xfile::LoadScene(bytes.data(), bytes.size(), scene, error)) continue;
        for (const xfile::XMesh& mesh : scene.meshes) {
            xfile::XMeshArrays arrays;
            xfile::BuildMeshArrays(mesh, arrays);
            if (arrays.NumFaces() == 0) continue;
            const std::vector<DWORD> attributes(arrays.attributes.begin(), arrays.attributes.end());
            const std::vector<DWORD> indices(arrays.indices.begin(), arrays.indices.end());
            const MeshOrder order = ComputeMeshOrder(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                                     attributes, indices, arrays.NumVertices());
            std::vector<DWORD> ordered;
            for (DWORD f : order.faceOrder)
                for (int c = 0; c < 3; ++c) ordered.push_back(order.oldToNewVertex[indices[f * 3 + c]]);
            fifo += qvtest::FifoMissesPerTriangle(ordered, 16) * arrays.NumFaces();
            lru += MissesLru(ordered, 32) * arrays.NumFaces();
            faces += arrays.NumFaces();
        }
    }
    if (faces == 0.0) {
        std::printf("no generated models: build the data tree first\n");
        return;
    }
    std::printf("game's models: %.0f faces, cache misses per triangle %.4f (FIFO 16), %.4f (LRU 32)\n", faces,
                fifo / faces, lru / faces);
}

// Keeps each run's time per iteration, so that the ratio can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ordinary = reporter.seconds.find("BM_LoadModel/ordinary");
    if (ordinary != reporter.seconds.end()) {
        double worst = 0.0;
        std::string name;
        for (const auto& [run, time] : reporter.seconds)
            if (time > worst) {
                worst = time;
                name = run;
            }
        std::printf("worst / ordinary at %d faces: %.2f (%s)\n", kFaces, worst / ordinary->second, name.c_str());
    }
    PrintGameModelMisses();
    benchmark::Shutdown();
    return 0;
}
