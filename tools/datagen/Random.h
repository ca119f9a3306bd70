// A small deterministic random generator: the same seed gives the same data on every run.
#pragma once

#include <cstdint>
#include <string>

namespace datagen {

class CRandom {
public:
    explicit CRandom(uint64_t seed) : m_State(seed ^ 0x9E3779B97F4A7C15ull) { Next(); }
    // Seeds from a name, so each generator has its own stream whatever runs before it.
    explicit CRandom(const std::string& name) : CRandom(Hash(name)) {}

    uint64_t Next()
    {
        // splitmix64: tiny, fast and well mixed.
        uint64_t z = (m_State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // [0, 1)
    double Real() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    // [lo, hi)
    double Range(double lo, double hi) { return lo + (hi - lo) * Real(); }
    // [0, n)
    int Int(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }
    bool Chance(double p) { return Real() < p; }
    // Symmetric [-1, 1)
    double Signed() { return Real() * 2.0 - 1.0; }

    static uint64_t Hash(const std::string& s)
    {
        uint64_t h = 1469598103934665603ull;
        for (unsigned char c : s) {
            h ^= c;
            h *= 1099511628211ull;
        }
        return h;
    }

private:
    uint64_t m_State;
};

} // namespace datagen
