// Vertices fetched per triangle of an index list through a first-in first-out vertex cache, as
// the benchmarks and tests of vertex-cache ordering count them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <vector>

namespace qvtest {

template <class Index>
double FifoMissesPerTriangle(const std::vector<Index>& indices, size_t cacheSize)
{
    std::deque<Index> cache;
    size_t misses = 0;
    for (Index v : indices) {
        if (std::find(cache.begin(), cache.end(), v) != cache.end()) continue;
        ++misses;
        cache.push_back(v);
        if (cache.size() > cacheSize) cache.pop_front();
    }
    return static_cast<double>(misses) / static_cast<double>(indices.size() / 3);
}

} // namespace qvtest
