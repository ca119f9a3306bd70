// Textures of the blob shadow and of the smoke and dust puffs.
#include "tools/datagen/DataTree.h"
#include "tools/datagen/ImageFiles.h"
#include "tools/datagen/Random.h"

#include <cmath>
#include <vector>

namespace datagen {

namespace {

// A soft round shadow: black, darkest in the middle, fading to nothing well inside the edge.
void MakeShadow(const CDataTree& tree)
{
    const int n = 64;
    CImage img(n, n);
    img.Fill([&](int x, int y) {
        const float dx = (x + 0.5f - n * 0.5f) / (n * 0.46f), dy = (y + 0.5f - n * 0.5f) / (n * 0.46f);
        const float d2 = dx * dx + dy * dy;
        const float a = d2 >= 1.0f ? 0.0f : (1.0f - d2) * (1.0f - d2) * 0.95f;
        return Color{0, 0, 0, a};
    });
    WriteTga(tree, "graphics/OpeningShadow.tga", img);
}

// A puff of dusty smoke: overlapping soft lumps, lit from the top, with a ragged rim.
void MakeSmoke(const CDataTree& tree)
{
    const int n = 128;
    CRandom rng("smoke");
    struct Lump {
        double x, y, r;
    };
    std::vector<Lump> lumps;
    lumps.push_back({64, 66, 34});
    for (int i = 0; i < 14; ++i) {
        const double a = i * 2.0 * 3.14159265 / 14 + rng.Range(-0.2, 0.2);
        const double d = rng.Range(18, 28);
        lumps.push_back({64 + d * std::cos(a), 66 + d * std::sin(a) * 0.9, rng.Range(14, 22)});
    }
    CImage img(n, n);
    img.Fill([&](int x, int y) {
        double density = 0, light = 0;
        for (const Lump& l : lumps) {
            const double dx = (x + 0.5 - l.x) / l.r, dy = (y + 0.5 - l.y) / l.r;
            const double d2 = dx * dx + dy * dy;
            if (d2 >= 1.0)
                continue;
            const double w = (1.0 - d2) * (1.0 - d2);
            density += w;
            light += w * (0.75 - 0.35 * dy - 0.1 * dx);
        }
        const double shade = density > 0 ? light / density : 0;
        const double wisp = 0.92 + 0.08 * std::sin(x * 0.11 + 1.3) * std::sin(y * 0.13 + 0.4);
        const float a = Clamp01(static_cast<float>((1.0 - std::exp(-density * 1.6)) * wisp));
        const float v = Clamp01(static_cast<float>(0.62 + 0.38 * shade));
        return Color{v, v * 0.96f, v * 0.9f, a * (1.0f - Smoothstep(0.44f, 0.5f, static_cast<float>(std::hypot(x + 0.5 - 64, y + 0.5 - 64) / n)))};
    });
    WriteTga(tree, "graphics/OpeningSmoke.tga", img);
}

} // namespace

DATAGEN_REGISTER("shadow", MakeShadow);
DATAGEN_REGISTER("smoke", MakeSmoke);

} // namespace datagen
