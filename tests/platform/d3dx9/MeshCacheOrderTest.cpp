// The face and vertex orders of mesh optimisation on meshes whose faces share vertices in every
// way: few shared by all, fans, repeated corners, several attribute groups.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/d3dx9/MeshOptimize.h"
#include "tests/support/VertexCacheMisses.h"

namespace {

constexpr DWORD kCacheOrder = D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE;

struct Faces {
    std::string name;
    std::vector<DWORD> indices;
    std::vector<DWORD> attributes;
    DWORD vertices = 0;
};

Faces AllOnThreeVertices(DWORD faces)
{
    Faces m{"all on three vertices", {}, std::vector<DWORD>(faces, 0), 3};
    for (DWORD f = 0; f < faces; ++f) m.indices.insert(m.indices.end(), {0, 1, 2});
    return m;
}

// Half the faces fanned around vertex 0, the other half a strip of quads after the ring.
Faces HalfOnOneVertex(DWORD faces)
{
    Faces m{"half on one vertex", {}, std::vector<DWORD>(faces, 0), 0};
    const DWORD half = faces / 2;
    for (DWORD i = 1; i <= half; ++i) m.indices.insert(m.indices.end(), {0, i, i + 1});
    const DWORD first = half + 2;
    for (DWORD q = 0; 2 * q < faces - half; ++q) {
        const DWORD a = first + 2 * q, b = a + 1, c = a + 2, d = a + 3;
        m.indices.insert(m.indices.end(), {a, b, c, c, b, d});
    }
    m.indices.resize(3 * size_t(faces));
    m.vertices = *std::max_element(m.indices.begin(), m.indices.end()) + 1;
    return m;
}

// Corners drawn from a small pool (so vertices are shared by many faces and some faces repeat a
// corner), some pool vertices never used, three attribute groups in no order.
Faces RandomSharing(std::mt19937& rng, DWORD faces, DWORD pool)
{
    Faces m{"random sharing", {}, {}, pool + 5};
    std::uniform_int_distribution<DWORD> vertex(0, pool - 1), attribute(0, 2);
    for (DWORD f = 0; f < faces; ++f) {
        for (int c = 0; c < 3; ++c) m.indices.push_back(vertex(rng));
        m.attributes.push_back(attribute(rng));
    }
    return m;
}

std::vector<DWORD> Reordered(const Faces& m, const MeshOrder& order)
{
    std::vector<DWORD> out;
    for (DWORD f : order.faceOrder)
        for (int c = 0; c < 3; ++c) out.push_back(order.oldToNewVertex[m.indices[f * 3 + c]]);
    return out;
}

// Every face once, grouped by ascending attribute; compacted vertices numbered by first use.
void ExpectSoundOrder(const Faces& m, const MeshOrder& order)
{
    SCOPED_TRACE(m.name);
    const size_t faces = m.attributes.size();
    ASSERT_EQ(faces, order.faceOrder.size());
    std::vector<bool> seen(faces, false);
    for (size_t i = 0; i < faces; ++i) {
        const DWORD f = order.faceOrder[i];
        ASSERT_LT(f, faces);
        ASSERT_FALSE(seen[f]) << "face " << f << " twice";
        seen[f] = true;
        if (i > 0) {
            ASSERT_LE(m.attributes[order.faceOrder[i - 1]], m.attributes[f]) << "at " << i;
        }
    }
    DWORD next = 0;
    std::vector<bool> used(m.vertices, false);
    for (DWORD v : m.indices) used[v] = true;
    for (DWORD v : Reordered(m, order)) {
        ASSERT_LE(v, next) << "a vertex numbered before its first use";
        if (v == next) ++next;
    }
    EXPECT_EQ(size_t(std::count(used.begin(), used.end(), true)), order.vertexOrder.size());
    for (DWORD v = 0; v < m.vertices; ++v) {
        if (!used[v]) {
            EXPECT_EQ(0xFFFFFFFFu, order.oldToNewVertex[v]) << "unused vertex " << v << " kept";
            continue;
        }
        ASSERT_LT(order.oldToNewVertex[v], order.vertexOrder.size());
        EXPECT_EQ(v, order.vertexOrder[order.oldToNewVertex[v]]);
    }
}

} // namespace

TEST(MeshCacheOrder, EveryFaceOnceHoweverTheFacesShareVertices)
{
    std::mt19937 rng(22);
    std::vector<Faces> meshes = {AllOnThreeVertices(20000), HalfOnOneVertex(20000), HalfOnOneVertex(7)};
    for (int i = 0; i < 40; ++i) meshes.push_back(RandomSharing(rng, 1 + rng() % 400, 3 + rng() % 40));
    meshes.push_back(RandomSharing(rng, 20000, 4));
    for (const Faces& m : meshes) ExpectSoundOrder(m, ComputeMeshOrder(kCacheOrder, m.attributes, m.indices, m.vertices));
}

TEST(MeshCacheOrder, SharedVerticesStayInTheCache)
{
    // Three vertices serve every face: fetched once each.
    const Faces three = AllOnThreeVertices(5000);
    const std::vector<DWORD> ordered = Reordered(three, ComputeMeshOrder(kCacheOrder, three.attributes, three.indices, 3));
    EXPECT_NEAR(3.0 / 5000.0, qvtest::FifoMissesPerTriangle(ordered, 16), 1e-9);

    // Around a fan the hub stays cached and each face brings one new ring vertex; the quads
    // after it bring one each as well.
    const Faces fan = HalfOnOneVertex(4000);
    EXPECT_LT(qvtest::FifoMissesPerTriangle(
                  Reordered(fan, ComputeMeshOrder(kCacheOrder, fan.attributes, fan.indices, fan.vertices)), 16),
              1.05);
}
