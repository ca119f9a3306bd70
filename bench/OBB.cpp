// Oriented-box collision speed: COBB::Intersects on random box pairs (a plain separating-axis
// test runs 30 to 47 million a second on one core of the build machine; ours must reach 30
// million), and COBBTree::HitTest of two depth-2 trees built from meshes.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "render/COBBTree.h"

namespace {

COBB RandomBox(std::mt19937& rng)
{
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f), length(0.5f, 4.0f), pos(-4.0f, 4.0f);
    D3DXMATRIX r;
    D3DXMatrixRotationYawPitchRoll(&r, angle(rng), angle(rng), angle(rng));
    const float l0 = length(rng), l1 = length(rng), l2 = length(rng);
    COBB box;
    box.Edge[0] = D3DXVECTOR3(r._11, r._12, r._13) * l0;
    box.Edge[1] = D3DXVECTOR3(r._21, r._22, r._23) * l1;
    box.Edge[2] = D3DXVECTOR3(r._31, r._32, r._33) * l2;
    box.Center = D3DXVECTOR3(pos(rng), pos(rng), pos(rng));
    return box;
}

void BM_COBBIntersects(benchmark::State& state)
{
    // 4096 pairs, about half of them overlapping, tested round and round.
    std::mt19937 rng(7);
    std::vector<COBB> boxes(4097);
    for (COBB& b : boxes) b = RandomBox(rng);
    size_t i = 0;
    int hits = 0;
    for (auto _ : state) {
        hits += COBB::Intersects(boxes[i], boxes[i + 1]);
        i = (i + 1) & 4095;
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_COBBIntersects);

// A bumpy cylinder of `rings` x `sides` quads, roughly a building's or a body's shape.
std::vector<OBBTriangle> Cylinder(int rings, int sides)
{
    std::vector<D3DXVECTOR3> p;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s < sides; ++s) {
            const float a = 6.2831853f * s / sides, radius = 1.0f + 0.1f * ((r + s) % 3);
            p.push_back(D3DXVECTOR3(radius * std::cos(a), 0.5f * r, radius * std::sin(a)));
        }
    std::vector<OBBTriangle> tris;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < sides; ++s) {
            const int a = r * sides + s, b = r * sides + (s + 1) % sides;
            OBBTriangle t;
            t.Set(p[a], p[a + sides], p[b + sides]);
            tris.push_back(t);
            t.Set(p[a], p[b + sides], p[b]);
            tris.push_back(t);
        }
    return tris;
}

void BM_COBBTreeHitTest(benchmark::State& state)
{
    const std::vector<OBBTriangle> tris = Cylinder(16, 16);
    COBBTree a, b;
    COBBTree::BuildNode(tris, 2, a.Root);
    COBBTree::BuildNode(tris, 2, b.Root);
    // Positions from apart to deep overlap, so that the descent goes to various depths.
    std::vector<D3DXMATRIX> moves(64);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> off(-3.0f, 3.0f), angle(-3.1f, 3.1f);
    for (D3DXMATRIX& m : moves) {
        D3DXMATRIX r, t;
        D3DXMatrixRotationYawPitchRoll(&r, angle(rng), angle(rng), angle(rng));
        D3DXMatrixTranslation(&t, off(rng), off(rng), off(rng));
        m = r * t;
    }
    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    size_t i = 0;
    int hits = 0;
    for (auto _ : state) {
        hits += COBBTree::HitTest(a, &id, b, &moves[i]);
        i = (i + 1) & 63;
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_COBBTreeHitTest);

} // namespace

BENCHMARK_MAIN();
