// Pictures that only the models use: the opening's grass and sky, the city's paving and the
// street patch round a building. Uncompressed 24-bit TGA, rows from the top.
#include "tools/datagen/models/ModelTextures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace models {

namespace {

struct Rgb {
    float r, g, b;
};

// Smooth value noise that repeats every `period` cells, so tiled pictures have no seams.
float Noise(float x, float y, int period, uint32_t seed)
{
    auto hash = [&](int i, int j) {
        i = ((i % period) + period) % period;
        j = ((j % period) + period) % period;
        uint32_t h = static_cast<uint32_t>(i) * 374761393u + static_cast<uint32_t>(j) * 668265263u + seed * 2246822519u;
        h = (h ^ (h >> 13)) * 1274126177u;
        return static_cast<float>((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
    };
    const int i = static_cast<int>(std::floor(x)), j = static_cast<int>(std::floor(y));
    float fx = x - i, fy = y - j;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const float a = hash(i, j), b = hash(i + 1, j), c = hash(i, j + 1), d = hash(i + 1, j + 1);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

float Fractal(float x, float y, int period, uint32_t seed)
{
    float sum = 0, amp = 0.5f;
    for (int o = 0; o < 4; ++o) {
        sum += amp * Noise(x, y, period, seed + o);
        x *= 2, y *= 2, period *= 2, amp *= 0.5f;
    }
    return sum;
}

Rgb Mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

std::vector<uint8_t> Picture(int w, int h, const std::function<Rgb(int, int)>& paint)
{
    std::vector<uint8_t> tga(18 + static_cast<size_t>(w) * h * 3, 0);
    tga[2] = 2; // uncompressed true colour
    tga[12] = static_cast<uint8_t>(w & 0xFF);
    tga[13] = static_cast<uint8_t>(w >> 8);
    tga[14] = static_cast<uint8_t>(h & 0xFF);
    tga[15] = static_cast<uint8_t>(h >> 8);
    tga[16] = 24;
    tga[17] = 0x20; // rows from the top
    size_t o = 18;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = paint(x, y);
            auto byte = [](float v) { return static_cast<uint8_t>(std::lround(std::min(std::max(v, 0.0f), 1.0f) * 255.0f)); };
            tga[o++] = byte(c.b);
            tga[o++] = byte(c.g);
            tga[o++] = byte(c.r);
        }
    return tga;
}

} // namespace

std::vector<TextureFile> ModelTextures()
{
    std::vector<TextureFile> out;
    out.push_back({"xfile/OpeningGround.tga", Picture(128, 128, [](int x, int y) {
                       const float n = Fractal(x / 16.0f, y / 16.0f, 8, 11);
                       const float blades = Noise(x / 1.5f, y / 4.0f, 85, 12);
                       Rgb c = Mix({0.22f, 0.42f, 0.14f}, {0.45f, 0.6f, 0.22f}, n);
                       c = Mix(c, {0.5f, 0.42f, 0.26f}, std::max(0.0f, n - 0.62f) * 2.5f);
                       return Mix(c, {0.16f, 0.3f, 0.1f}, blades * 0.35f);
                   })});
    out.push_back({"xfile/OpeningSky.tga", Picture(128, 128, [](int x, int y) {
                       // v runs from the zenith (top) past the horizon (row 105).
                       const float v = y / 127.0f;
                       Rgb c = Mix({0.18f, 0.36f, 0.78f}, {0.62f, 0.78f, 0.95f}, std::pow(std::min(v / 0.82f, 1.0f), 1.6f));
                       if (v > 0.82f)
                           c = Mix({0.85f, 0.88f, 0.92f}, {0.55f, 0.6f, 0.62f}, (v - 0.82f) / 0.18f);
                       const float cloud = Fractal(x / 16.0f, y / 8.0f, 8, 21);
                       const float amount = std::max(0.0f, cloud - 0.52f) * 3.0f * (v < 0.84f ? 1.0f : 0.0f);
                       return Mix(c, {1.0f, 1.0f, 1.0f}, std::min(amount, 0.85f));
                   })});
    out.push_back({"xfile/map/ground.tga", Picture(128, 128, [](int x, int y) {
                       // Square paving slabs with dark joints.
                       const bool joint = (x % 32) < 2 || (y % 32) < 2;
                       const float n = Fractal(x / 8.0f, y / 8.0f, 16, 31);
                       const Rgb slab = Mix({0.5f, 0.5f, 0.47f}, {0.66f, 0.65f, 0.6f}, n);
                       return joint ? Mix(slab, {0.25f, 0.25f, 0.24f}, 0.7f) : slab;
                   })});
    out.push_back({"xfile/map/road.tga", Picture(256, 256, [](int x, int y) {
                       // The patch spans 1.7 footprints: the building covers the middle, a
                       // pavement runs round it, then the carriageway with an edge line.
                       const float u = (x + 0.5f) / 256.0f * 1.7f - 0.85f, v = (y + 0.5f) / 256.0f * 1.7f - 0.85f;
                       const float d = std::max(std::fabs(u), std::fabs(v));
                       const float n = Fractal(x / 8.0f, y / 8.0f, 32, 41);
                       if (d < 0.64f) {
                           const bool joint = (static_cast<int>((u + 2.0f) * 40.0f) % 4 == 0) ||
                                              (static_cast<int>((v + 2.0f) * 40.0f) % 4 == 0);
                           const Rgb stone = Mix({0.62f, 0.6f, 0.56f}, {0.72f, 0.7f, 0.66f}, n);
                           return joint ? Mix(stone, {0.4f, 0.4f, 0.38f}, 0.5f) : stone;
                       }
                       if (d < 0.66f)
                           return Rgb{0.8f, 0.8f, 0.78f}; // kerb
                       const Rgb asphalt = Mix({0.2f, 0.2f, 0.22f}, {0.3f, 0.3f, 0.31f}, n);
                       if (d > 0.7f && d < 0.715f)
                           return Mix(asphalt, {0.9f, 0.9f, 0.85f}, 0.8f);
                       return asphalt;
                   })});
    return out;
}

} // namespace models
