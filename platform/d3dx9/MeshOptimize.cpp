#include "platform/d3dx9/MeshOptimize.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <unordered_map>

std::vector<D3DXATTRIBUTERANGE> BuildAttributeRanges(const std::vector<DWORD>& attributes,
                                                     const std::vector<DWORD>& indices)
{
    std::vector<D3DXATTRIBUTERANGE> ranges;
    const DWORD faces = static_cast<DWORD>(attributes.size());
    for (DWORD f = 0; f < faces;) {
        D3DXATTRIBUTERANGE r{attributes[f], f, 0, 0xFFFFFFFFu, 0};
        DWORD hi = 0;
        while (f < faces && attributes[f] == r.AttribId) {
            for (int c = 0; c < 3; ++c) {
                const DWORD v = indices[f * 3 + c];
                r.VertexStart = std::min(r.VertexStart, v);
                hi = std::max(hi, v);
            }
            ++r.FaceCount;
            ++f;
        }
        r.VertexCount = hi - r.VertexStart + 1;
        ranges.push_back(r);
    }
    return ranges;
}

namespace {

// The lowest-numbered vertex at the same point as each vertex. Vertices are visited sorted by
// x, so only those within epsilon along x need comparing.
std::vector<DWORD> PointRepresentatives(const std::vector<D3DXVECTOR3>& positions, float epsilon)
{
    const DWORD n = static_cast<DWORD>(positions.size());
    std::vector<DWORD> rep(n);
    std::iota(rep.begin(), rep.end(), 0u);
    std::vector<DWORD> byX(n);
    std::iota(byX.begin(), byX.end(), 0u);
    std::stable_sort(byX.begin(), byX.end(), [&](DWORD a, DWORD b) { return positions[a].x < positions[b].x; });
    for (DWORD i = 0; i < n; ++i) {
        const D3DXVECTOR3& p = positions[byX[i]];
        for (DWORD j = i; j-- > 0;) {
            const D3DXVECTOR3& q = positions[byX[j]];
            if (p.x - q.x > epsilon) break;
            if (std::fabs(p.y - q.y) <= epsilon && std::fabs(p.z - q.z) <= epsilon) {
                const DWORD r = rep[byX[j]];
                if (r < rep[byX[i]]) rep[byX[i]] = r;
            }
        }
    }
    // Chains of near points collapse to the lowest number reached.
    for (DWORD i = 0; i < n; ++i) rep[i] = rep[rep[i]];
    return rep;
}

} // namespace

std::vector<DWORD> ComputeAdjacency(const std::vector<D3DXVECTOR3>& positions, const std::vector<DWORD>& indices,
                                    float epsilon)
{
    const DWORD faces = static_cast<DWORD>(indices.size() / 3);
    const std::vector<DWORD> rep = PointRepresentatives(positions, epsilon);
    auto point = [&](DWORD f, int c) -> DWORD {
        const DWORD v = indices[f * 3 + c];
        return v < rep.size() ? rep[v] : v;
    };
    auto key = [](DWORD a, DWORD b) { return (static_cast<uint64_t>(a) << 32) | b; };

    // Directed edge -> first face that has it.
    std::unordered_map<uint64_t, DWORD> edges;
    edges.reserve(static_cast<size_t>(faces) * 3);
    for (DWORD f = 0; f < faces; ++f)
        for (int e = 0; e < 3; ++e) edges.emplace(key(point(f, e), point(f, (e + 1) % 3)), f);

    std::vector<DWORD> adjacency(static_cast<size_t>(faces) * 3, 0xFFFFFFFFu);
    for (DWORD f = 0; f < faces; ++f)
        for (int e = 0; e < 3; ++e) {
            const DWORD a = point(f, e), b = point(f, (e + 1) % 3);
            if (a == b) continue;
            // The neighbour runs along the same edge the other way.
            const auto it = edges.find(key(b, a));
            if (it != edges.end() && it->second != f) adjacency[f * 3 + e] = it->second;
        }
    return adjacency;
}

namespace {

// Vertex cache ordering in time linear in the faces, however many of them share a vertex: each
// step emits the face whose vertices score best, favouring vertices just used and vertices with
// few faces left. Only a bounded number of faces per cached vertex are looked at and faces leave
// a vertex's list in constant time, so a vertex shared by every face costs no more than another.
class CacheOrderer {
public:
    static constexpr int kCacheSize = 32;
    static constexpr DWORD kNone = 0xFFFFFFFFu;
    // Faces of one cached vertex that compete for the next step: more than an ordinary
    // vertex has, few enough that a vertex shared by every face costs no more.
    static constexpr DWORD kCandidatesPerVertex = 16;

    static float VertexScore(int cachePosition, DWORD facesLeft)
    {
        if (facesLeft == 0) return -1.0f;
        return (cachePosition >= 0 ? Tables().position[cachePosition] : 0.0f) +
               (facesLeft < kValences ? Tables().valence[facesLeft]
                                      : 2.0f * std::pow(static_cast<float>(facesLeft), -0.5f));
    }

    // faces: the old numbers of the faces to order (one attribute group); appends to out.
    // localOf: one entry per vertex of the mesh, all kNone, and left so.
    static void Order(const std::vector<DWORD>& faces, const std::vector<DWORD>& indices, std::vector<DWORD>& localOf,
                      std::vector<DWORD>& out)
    {
        const size_t n = faces.size();
        if (n == 0) return;
        // Local vertex numbering for the group.
        std::vector<DWORD> global;
        std::vector<DWORD> tri(n * 3);
        for (size_t f = 0; f < n; ++f)
            for (int c = 0; c < 3; ++c) {
                const DWORD v = indices[faces[f] * 3 + c];
                if (localOf[v] == kNone) {
                    localOf[v] = static_cast<DWORD>(global.size());
                    global.push_back(v);
                }
                tri[f * 3 + c] = localOf[v];
            }
        for (DWORD v : global) localOf[v] = kNone;
        const size_t vcount = global.size();

        // Each vertex lists the corners (face * 3 + corner) that use it and are left; a corner
        // knows its place in that list, so it leaves by a swap with the list's last entry.
        std::vector<DWORD> facesLeft(vcount, 0);
        for (DWORD v : tri) ++facesLeft[v];
        std::vector<DWORD> start(vcount + 1, 0);
        for (size_t v = 0; v < vcount; ++v) start[v + 1] = start[v] + facesLeft[v];
        std::vector<DWORD> corners(start[vcount]);
        std::vector<DWORD> place(n * 3);
        {
            std::vector<DWORD> fill(start.begin(), start.end() - 1);
            for (size_t k = 0; k < n * 3; ++k) {
                place[k] = fill[tri[k]]++;
                corners[place[k]] = static_cast<DWORD>(k);
            }
        }
        auto removeCorner = [&](DWORD k) {
            const DWORD v = tri[k];
            const DWORD last = start[v] + --facesLeft[v];
            const DWORD moved = corners[last];
            corners[place[k]] = moved;
            place[moved] = place[k];
        };

        std::vector<int> cachePos(vcount, -1);
        std::vector<float> vscore(vcount);
        for (size_t v = 0; v < vcount; ++v) vscore[v] = VertexScore(-1, facesLeft[v]);
        std::vector<bool> emitted(n, false);
        auto faceScore = [&](DWORD f) { return vscore[tri[f * 3]] + vscore[tri[f * 3 + 1]] + vscore[tri[f * 3 + 2]]; };

        // When the cache touches no face left, the order goes on from the face that scores best
        // with nothing cached: a corner or an edge of a part not begun (the earliest of equals).
        // Those scores are known from the start, so one pass over the faces sorted by them serves.
        std::vector<DWORD> byStartScore(n);
        std::iota(byStartScore.begin(), byStartScore.end(), 0u);
        {
            std::vector<float> startScore(n);
            for (size_t f = 0; f < n; ++f) startScore[f] = faceScore(static_cast<DWORD>(f));
            std::stable_sort(byStartScore.begin(), byStartScore.end(),
                             [&](DWORD a, DWORD b) { return startScore[a] > startScore[b]; });
        }
        size_t nextStart = 0;

        std::vector<DWORD> cache, newCache;
        cache.reserve(kCacheSize + 3);
        newCache.reserve(kCacheSize + 3);
        long best = -1;
        for (size_t emittedCount = 0; emittedCount < n; ++emittedCount) {
            if (best < 0) {
                while (emitted[byStartScore[nextStart]]) ++nextStart;
                best = static_cast<long>(byStartScore[nextStart]);
            }
            const DWORD f = static_cast<DWORD>(best);
            emitted[f] = true;
            out.push_back(faces[f]);

            // The face's vertices go to the front of the cache; it no longer counts for them.
            const DWORD a = tri[f * 3], b = tri[f * 3 + 1], c = tri[f * 3 + 2];
            for (DWORD k = 0; k < 3; ++k) removeCorner(f * 3 + k);
            newCache.clear();
            newCache.push_back(a);
            if (b != a) newCache.push_back(b);
            if (c != a && c != b) newCache.push_back(c);
            for (DWORD v : cache)
                if (v != a && v != b && v != c) newCache.push_back(v);
            for (size_t i = kCacheSize; i < newCache.size(); ++i) {
                const DWORD v = newCache[i];
                cachePos[v] = -1;
                vscore[v] = VertexScore(-1, facesLeft[v]);
            }
            if (newCache.size() > static_cast<size_t>(kCacheSize)) newCache.resize(kCacheSize);
            cache.swap(newCache);

            // Rescore the cached vertices, and pick the best face among a bounded few of each.
            for (size_t i = 0; i < cache.size(); ++i) cachePos[cache[i]] = static_cast<int>(i);
            for (DWORD v : cache) vscore[v] = VertexScore(cachePos[v], facesLeft[v]);
            best = -1;
            float bestScore = -1e30f;
            for (DWORD v : cache) {
                const DWORD count = std::min(facesLeft[v], kCandidatesPerVertex);
                for (DWORD k = 0; k < count; ++k) {
                    const DWORD g = corners[start[v] + k] / 3;
                    const float s = faceScore(g);
                    if (s > bestScore) {
                        bestScore = s;
                        best = static_cast<long>(g);
                    }
                }
            }
        }
    }

private:
    static constexpr DWORD kValences = 64;

    // The scores' powers, worked out once: std::pow costs more than the rest of a step.
    struct ScoreTables {
        float position[kCacheSize];
        float valence[kValences];
    };
    static const ScoreTables& Tables()
    {
        static const ScoreTables tables = [] {
            ScoreTables t{};
            const float scaler = 1.0f / (kCacheSize - 3);
            for (int i = 0; i < kCacheSize; ++i)
                t.position[i] = i < 3 ? 0.75f : std::pow(1.0f - (i - 3) * scaler, 1.5f);
            for (DWORD i = 1; i < kValences; ++i) t.valence[i] = 2.0f * std::pow(static_cast<float>(i), -0.5f);
            return t;
        }();
        return tables;
    }
};

} // namespace

MeshOrder ComputeMeshOrder(DWORD flags, const std::vector<DWORD>& attributes, const std::vector<DWORD>& indices,
                           DWORD numVertices)
{
    MeshOrder order;
    const DWORD faces = static_cast<DWORD>(attributes.size());
    order.faceOrder.resize(faces);
    std::iota(order.faceOrder.begin(), order.faceOrder.end(), 0u);

    const bool cacheOrder = (flags & (D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER)) != 0;
    order.attributeSorted = cacheOrder || (flags & D3DXMESHOPT_ATTRSORT) != 0;
    if (order.attributeSorted) {
        std::stable_sort(order.faceOrder.begin(), order.faceOrder.end(),
                         [&](DWORD a, DWORD b) { return attributes[a] < attributes[b]; });
    }
    if (cacheOrder) {
        std::vector<DWORD> reordered;
        reordered.reserve(faces);
        std::vector<DWORD> group;
        std::vector<DWORD> localOf(numVertices, CacheOrderer::kNone);
        for (DWORD i = 0; i < faces;) {
            group.clear();
            const DWORD id = attributes[order.faceOrder[i]];
            while (i < faces && attributes[order.faceOrder[i]] == id) group.push_back(order.faceOrder[i++]);
            CacheOrderer::Order(group, indices, localOf, reordered);
        }
        order.faceOrder.swap(reordered);
    }

    // Vertices follow their first use by the new faces; unused ones go last, or away when
    // compacting.
    order.oldToNewVertex.assign(numVertices, 0xFFFFFFFFu);
    const bool reorderVertices = !(flags & D3DXMESHOPT_IGNOREVERTS) &&
                                 (flags & (D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE |
                                           D3DXMESHOPT_STRIPREORDER));
    if (!reorderVertices) {
        order.vertexOrder.resize(numVertices);
        std::iota(order.vertexOrder.begin(), order.vertexOrder.end(), 0u);
        order.oldToNewVertex = order.vertexOrder;
        return order;
    }
    for (DWORD f : order.faceOrder)
        for (int c = 0; c < 3; ++c) {
            const DWORD v = indices[f * 3 + c];
            if (order.oldToNewVertex[v] == 0xFFFFFFFFu) {
                order.oldToNewVertex[v] = static_cast<DWORD>(order.vertexOrder.size());
                order.vertexOrder.push_back(v);
            }
        }
    if (!(flags & D3DXMESHOPT_COMPACT))
        for (DWORD v = 0; v < numVertices; ++v)
            if (order.oldToNewVertex[v] == 0xFFFFFFFFu) {
                order.oldToNewVertex[v] = static_cast<DWORD>(order.vertexOrder.size());
                order.vertexOrder.push_back(v);
            }
    for (DWORD v = 0; v < order.vertexOrder.size(); ++v)
        if (order.vertexOrder[v] != v) order.identityVertices = false;
    if (order.vertexOrder.size() != numVertices) order.identityVertices = false;
    return order;
}
