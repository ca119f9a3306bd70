// Smooth value noise that tiles: lattice values come from a hash of the cell taken modulo the
// period, so any period tiles exactly. Used for materials, grass and clouds.
#pragma once

#include "tools/datagen/Random.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace datagen {

class CNoise {
public:
    explicit CNoise(const std::string& seed) : m_Seed(CRandom::Hash(seed)) {}

    // Noise at (x, y) in lattice cells, repeating every `period` cells in both directions.
    float At(double x, double y, int period, uint32_t layer = 0) const
    {
        const double fx = std::floor(x), fy = std::floor(y);
        const long ix = static_cast<long>(fx), iy = static_cast<long>(fy);
        double tx = x - fx, ty = y - fy;
        tx = tx * tx * (3 - 2 * tx);
        ty = ty * ty * (3 - 2 * ty);
        const double v00 = Value(ix, iy, period, layer), v10 = Value(ix + 1, iy, period, layer);
        const double v01 = Value(ix, iy + 1, period, layer), v11 = Value(ix + 1, iy + 1, period, layer);
        const double a = v00 + (v10 - v00) * tx, b = v01 + (v11 - v01) * tx;
        return static_cast<float>(a + (b - a) * ty);
    }
    // Octaves over u, v in [0, 1): the first has baseCells cells across, each next one twice as
    // many at half the strength. Tiles on the unit square. Answers about [0, 1].
    float Fbm(double u, double v, int octaves, int baseCells) const
    {
        double sum = 0, amp = 0.5, norm = 0;
        for (int o = 0; o < octaves; ++o) {
            const int cells = baseCells << o;
            sum += amp * At(u * cells, v * cells, cells, static_cast<uint32_t>(o));
            norm += amp;
            amp *= 0.5;
        }
        return static_cast<float>(sum / norm);
    }

private:
    double Value(long x, long y, int period, uint32_t layer) const
    {
        const uint64_t px = static_cast<uint64_t>(((x % period) + period) % period);
        const uint64_t py = static_cast<uint64_t>(((y % period) + period) % period);
        uint64_t h = m_Seed ^ (px * 0x9E3779B97F4A7C15ull) ^ (py * 0xC2B2AE3D27D4EB4Full) ^ (static_cast<uint64_t>(layer) << 48);
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        h ^= h >> 33;
        return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
    }
    uint64_t m_Seed;
};

} // namespace datagen
