// Textures for the models: sky, grass, asphalt, road, paving, skin, hair and clothes.
#include "tools/datagen/ModelTextures.h"

#include "tools/datagen/DataTree.h"
#include "tools/datagen/ImageFiles.h"
#include "tools/datagen/Noise.h"
#include "tools/datagen/Random.h"

#include <cmath>
#include <string>

namespace datagen {

namespace {

// "data\xfile\sky.bmp" -> "xfile/sky.bmp", the place inside the data tree.
std::string TreePath(const char* gamePath)
{
    std::string s(gamePath + 5);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

Color Shade(Color c, float k) { return {Clamp01(c.r * k), Clamp01(c.g * k), Clamp01(c.b * k), c.a}; }

void MakeSky(const CDataTree& tree)
{
    const int w = 512, h = 256;
    CNoise noise("sky");
    CImage img(w, h);
    img.Fill([&](int x, int y) {
        const float v = (y + 0.5f) / h; // 0 zenith, 1 horizon
        Color sky = Lerp(Rgb(0x2F6FD8), Rgb(0x9CCBF4), std::pow(v, 1.4f));
        sky = Lerp(sky, Rgb(0xE8F2FA), Smoothstep(0.8f, 1.0f, v));
        // Fair-weather clouds, denser toward the horizon and flattened by perspective.
        const float n = noise.Fbm(x / double(w), y / double(h), 5, 4);
        const float cover = Smoothstep(0.52f - 0.1f * v, 0.72f - 0.05f * v, n) * Smoothstep(0.12f, 0.45f, v);
        const float lit = 0.88f + 0.12f * noise.Fbm(x / double(w), (y - 3) / double(h), 3, 8);
        return Lerp(sky, Shade(Rgb(0xFFFFFF), lit), cover);
    });
    WriteBmp(tree, TreePath(kTexSky), img);
}

void MakeGrass(const CDataTree& tree)
{
    const int n = 256;
    CNoise noise("grass");
    CImage img(n, n);
    img.Fill([&](int x, int y) {
        const float big = noise.Fbm(x / double(n), y / double(n), 4, 4);
        const float blades = noise.At(x * 0.9, y * 0.3, static_cast<int>(n * 0.3), 7);
        Color c = Lerp(Rgb(0x4E9A34), Rgb(0x86C04A), big);
        c = Shade(c, 0.85f + 0.3f * blades);
        const float dirt = Smoothstep(0.68f, 0.76f, noise.Fbm(x / double(n), y / double(n), 3, 2));
        c = Lerp(c, Rgb(0xA8865A), dirt * 0.7f);
        const float flower = noise.At(x * 0.5, y * 0.5, n / 2, 11);
        if (flower > 0.93f)
            c = Lerp(c, (x + y) % 3 ? Rgb(0xFFF6A0) : Rgb(0xFFFFFF), 0.8f);
        return c;
    });
    WriteBmp(tree, TreePath(kTexOpeningGround), img);
}

Color Asphalt(const CNoise& noise, int x, int y, int n)
{
    const float g = noise.Fbm(x / double(n), y / double(n), 5, 8);
    const float grit = noise.At(x * 1.0, y * 1.0, n, 13);
    return Shade(Rgb(0x5A5C60), 0.8f + 0.3f * g + 0.15f * (grit - 0.5f));
}

void MakeAsphalt(const CDataTree& tree)
{
    const int n = 256;
    CNoise noise("asphalt");
    CImage img(n, n);
    img.Fill([&](int x, int y) { return Asphalt(noise, x, y, n); });
    WriteBmp(tree, TreePath(kTexStageGround), img);
}

void MakeRoad(const CDataTree& tree)
{
    const int n = 256;
    CNoise noise("road");
    CImage img(n, n);
    img.Fill([&](int x, int y) {
        Color c = Asphalt(noise, x, y, n);
        // White edge lines near both sides and a dashed yellow centre line.
        if ((x >= 14 && x < 20) || (x >= n - 20 && x < n - 14))
            c = Lerp(c, Rgb(0xF4F4F0), 0.9f);
        if (x >= n / 2 - 3 && x < n / 2 + 3 && (y % 64) < 36)
            c = Lerp(c, Rgb(0xF2C230), 0.9f);
        return c;
    });
    WriteBmp(tree, TreePath(kTexRoad), img);
}

void MakePavement(const CDataTree& tree)
{
    const int n = 256, slab = 32;
    CNoise noise("pavement");
    CRandom rng("pavement");
    CImage img(n, n);
    img.Fill([&](int x, int y) {
        const int sx = x / slab, sy = y / slab;
        const bool joint = (x % slab) < 2 || (y % slab) < 2;
        const float tone = 0.5f + 0.5f * static_cast<float>(((sx * 7 + sy * 13) % 5) / 4.0);
        Color c = Lerp(Rgb(0xC8C0B0), Rgb(0xDCD6CA), tone);
        if ((sx + sy) % 4 == 0)
            c = Lerp(c, Rgb(0xC89880), 0.5f); // a few terracotta slabs
        c = Shade(c, 0.92f + 0.12f * noise.Fbm(x / double(n), y / double(n), 4, 8));
        return joint ? Shade(c, 0.68f) : c;
    });
    WriteBmp(tree, TreePath(kTexPavement), img);
}

void MakeSkinAndHair(const CDataTree& tree)
{
    const int n = 128;
    CNoise noise("skin");
    CImage skin(n, n);
    skin.Fill([&](int x, int y) {
        const float v = noise.Fbm(x / double(n), y / double(n), 3, 4);
        return Shade(Rgb(0xFFDCC0), 0.95f + 0.08f * v);
    });
    WriteBmp(tree, TreePath(kTexSkin), skin);
    CImage hair(n, n);
    hair.Fill([&](int x, int y) {
        // Strands run down the picture, with a band of sheen.
        const float strand = noise.At(x * 0.6, y * 0.03, static_cast<int>(n * 0.6), 3);
        const float sheen = std::exp(-std::pow((y - n * 0.3f) / (n * 0.12f), 2.0f));
        Color c = Shade(Rgb(0x5A3420), 0.75f + 0.45f * strand);
        return Lerp(c, Rgb(0xB07850), sheen * 0.45f * strand);
    });
    WriteBmp(tree, TreePath(kTexHair), hair);
}

// Woven cloth with a pattern: 0 plain with a trim stripe, 1 sailor collar stripes, 2 gingham.
void MakeCloth(const CDataTree& tree, const char* path, uint32_t main, uint32_t second, int pattern)
{
    const int n = 128;
    CNoise noise(path);
    CImage img(n, n);
    img.Fill([&](int x, int y) {
        const float weave = ((x + y) % 2 ? 0.97f : 1.03f) * (0.95f + 0.1f * noise.At(x * 0.5, y * 0.5, n / 2, 1));
        Color c = Rgb(main);
        if (pattern == 0 && (y % 64) >= 52 && (y % 64) < 60)
            c = Rgb(second);
        if (pattern == 1 && ((y % 32) == 4 || (y % 32) == 5 || (y % 32) == 9 || (y % 32) == 10))
            c = Rgb(second);
        if (pattern == 2) {
            const bool a = (x % 16) < 8, b = (y % 16) < 8;
            c = a && b ? Rgb(second) : (a || b ? Lerp(Rgb(main), Rgb(second), 0.5f) : Rgb(main));
        }
        return Shade(c, weave);
    });
    WriteBmp(tree, TreePath(path), img);
}

void MakeModelTextures(const CDataTree& tree)
{
    MakeSky(tree);
    MakeGrass(tree);
    MakeAsphalt(tree);
    MakeRoad(tree);
    MakePavement(tree);
    MakeSkinAndHair(tree);
    MakeCloth(tree, kTexClothRina, 0xE8404A, 0xFFFFFF, 0);
    MakeCloth(tree, kTexClothQuillabet, 0x2A3C8C, 0xFFFFFF, 1);
    MakeCloth(tree, kTexClothPhill, 0x3C8A5A, 0xF4F0E0, 2);
}

} // namespace

DATAGEN_REGISTER("model textures", MakeModelTextures);

} // namespace datagen
