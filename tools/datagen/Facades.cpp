// The 24 building facades: rows of windows on plaster, brick, concrete, tile, stone or glass,
// in the bright colours of a small town. Each picture tiles in both directions, so a model can
// repeat it up a tall building.
#include "tools/datagen/DataTree.h"
#include "tools/datagen/ImageFiles.h"
#include "tools/datagen/Noise.h"
#include "tools/datagen/Random.h"

#include <cmath>
#include <string>

namespace datagen {

namespace {

enum class Wall { Plaster, Brick, Concrete, Tile, Stone, Glass };

struct FacadeStyle {
    Wall Material;
    uint32_t WallColour;
    uint32_t FrameColour;
    uint32_t GlassColour;
    int Columns, Rows;
    float WindowW, WindowH; // fractions of a cell
    bool Ribbon;            // one long window across each floor
    bool Balcony;
    bool Awning;            // coloured shade over each window
    uint32_t AwningColour;
};

const FacadeStyle kStyles[24] = {
    {Wall::Plaster, 0xF3E6C4, 0xFFFFFF, 0x5C8FC8, 4, 4, 0.52f, 0.56f, false, false, false, 0},
    {Wall::Brick, 0xA8462E, 0xF4F0E6, 0x4C7AB0, 3, 4, 0.46f, 0.58f, false, false, false, 0},
    {Wall::Concrete, 0xB8B8B0, 0x505860, 0x3E6A96, 1, 4, 0.94f, 0.42f, true, false, false, 0},
    {Wall::Glass, 0x2F6FA8, 0xD8E4EE, 0x5A9AD0, 8, 8, 0.9f, 0.8f, false, false, false, 0},
    {Wall::Plaster, 0xF2B8B8, 0x7A4A30, 0x5E88B8, 3, 3, 0.44f, 0.52f, false, true, false, 0},
    {Wall::Plaster, 0xBFE6CC, 0xFFFFFF, 0x5886B4, 4, 4, 0.48f, 0.55f, false, false, true, 0xE85050},
    {Wall::Brick, 0x7A4A34, 0x2E2A28, 0x6A90B8, 4, 4, 0.5f, 0.55f, false, false, false, 0},
    {Wall::Tile, 0xF2F2EE, 0x2E5EA8, 0x4E7EB8, 4, 4, 0.5f, 0.52f, false, false, false, 0},
    {Wall::Glass, 0x2E8A78, 0xCFE8E0, 0x58B0A0, 6, 6, 0.88f, 0.78f, false, false, false, 0},
    {Wall::Stone, 0xD8C8A8, 0x4A3A2A, 0x50789E, 2, 3, 0.4f, 0.66f, false, false, false, 0},
    {Wall::Plaster, 0xA8D4F0, 0xFFFFFF, 0x4C74A8, 3, 4, 0.5f, 0.55f, false, true, false, 0},
    {Wall::Concrete, 0x8E9498, 0x2A3036, 0x6C9CC8, 1, 5, 0.94f, 0.36f, true, false, false, 0},
    {Wall::Plaster, 0xFFD89A, 0x9A5A28, 0x5A86B6, 4, 3, 0.5f, 0.5f, false, false, true, 0x3C9A5A},
    {Wall::Brick, 0xC8704A, 0xFFFFFF, 0x5A80AC, 4, 5, 0.44f, 0.56f, false, false, false, 0},
    {Wall::Tile, 0xD8E8F4, 0x8A9AAA, 0x3E6C9A, 5, 5, 0.6f, 0.5f, false, false, false, 0},
    {Wall::Glass, 0x4A5A8A, 0xC0C8D8, 0x7C90C8, 4, 8, 0.92f, 0.7f, false, false, false, 0},
    {Wall::Plaster, 0xE0C8F0, 0xFFFFFF, 0x5A7EB0, 3, 4, 0.46f, 0.55f, false, false, true, 0x7050C0},
    {Wall::Stone, 0xB0A898, 0xF0EDE4, 0x486E98, 3, 3, 0.42f, 0.6f, false, true, false, 0},
    {Wall::Concrete, 0xD8D0C0, 0x8A3A2A, 0x507CAA, 4, 4, 0.56f, 0.5f, false, false, false, 0},
    {Wall::Plaster, 0xFFF4D8, 0x3A6AA8, 0x5884B8, 5, 4, 0.5f, 0.5f, false, false, false, 0},
    {Wall::Brick, 0x9A5A46, 0xE8E0C8, 0x3E668E, 2, 4, 0.5f, 0.6f, false, true, false, 0},
    {Wall::Tile, 0xF4D4C4, 0xFFFFFF, 0x567CA8, 4, 4, 0.46f, 0.55f, false, false, true, 0xF0A030},
    {Wall::Glass, 0x6A7E8E, 0xE0E6EA, 0x8AB4D0, 6, 8, 0.9f, 0.76f, false, false, false, 0},
    {Wall::Concrete, 0xC4C8CC, 0xFFFFFF, 0x4A7AA8, 3, 6, 0.64f, 0.46f, false, false, false, 0},
};

const int kSize = 256;

float Hash01(int a, int b, int c)
{
    uint32_t h = static_cast<uint32_t>(a) * 374761393u + static_cast<uint32_t>(b) * 668265263u + static_cast<uint32_t>(c) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xFFFFFF) / 16777215.0f;
}

Color Shade(Color c, float k) { return {Clamp01(c.r * k), Clamp01(c.g * k), Clamp01(c.b * k), c.a}; }

// The bare wall at a pixel, before windows.
Color WallAt(const FacadeStyle& s, const CNoise& noise, int index, int x, int y)
{
    const Color base = Rgb(s.WallColour);
    const float grain = noise.Fbm(x / double(kSize), y / double(kSize), 5, 8);
    const float fine = noise.At(x * 0.5, y * 0.5, kSize / 2, 9);
    switch (s.Material) {
    case Wall::Brick: {
        const int bw = 16, bh = 8, row = y / bh;
        const int shift = (row % 2) ? bw / 2 : 0, col = ((x + shift) % kSize) / bw;
        const bool mortar = (y % bh) == 0 || ((x + shift) % bw) == 0;
        if (mortar)
            return Shade(Lerp(base, Rgb(0xE8E0D0), 0.7f), 0.9f + 0.1f * fine);
        return Shade(base, 0.82f + 0.3f * Hash01(col, row, index) + 0.12f * (fine - 0.5f));
    }
    case Wall::Tile: {
        const bool grout = (x % 8) == 0 || (y % 8) == 0;
        return grout ? Shade(base, 0.78f) : Shade(base, 0.95f + 0.08f * Hash01(x / 8, y / 8, index));
    }
    case Wall::Stone: {
        const int bw = 32, bh = 16, row = y / bh;
        const int shift = (row % 2) ? bw / 2 : 0;
        const bool joint = (y % bh) == 0 || ((x + shift) % bw) == 0;
        return joint ? Shade(base, 0.7f) : Shade(base, 0.88f + 0.16f * Hash01((x + shift) / bw, row, index) + 0.14f * (grain - 0.5f));
    }
    case Wall::Concrete: {
        const bool seam = (y % (kSize / s.Rows)) == 0 || (x % 64) == 0;
        return Shade(base, (seam ? 0.8f : 1.0f) * (0.9f + 0.22f * (grain - 0.5f) + 0.06f * (fine - 0.5f)));
    }
    case Wall::Glass:
    case Wall::Plaster:
    default:
        return Shade(base, 0.95f + 0.16f * (grain - 0.5f) + 0.05f * (fine - 0.5f));
    }
}

// The glass of one window: sky reflected from the top, a diagonal glint, some windows lit or
// with curtains half drawn.
Color GlassAt(const FacadeStyle& s, int index, int wx, int wy, float u, float v)
{
    const Color glass = Rgb(s.GlassColour);
    Color c = Lerp(Shade(glass, 1.35f), Shade(glass, 0.7f), v);
    const float glint = u + v * 0.6f;
    if (std::fabs(glint - 0.55f) < 0.08f || std::fabs(glint - 0.78f) < 0.03f)
        c = Lerp(c, Rgb(0xFFFFFF), 0.35f);
    const float pick = Hash01(wx, wy, index + 100);
    if (s.Material != Wall::Glass) {
        if (pick < 0.18f)
            c = Lerp(Rgb(0xFFE6A0), Rgb(0xF0B860), v); // a lit room
        else if (pick < 0.45f && (u < 0.3f || u > 0.7f))
            c = Lerp(Rgb(pick < 0.3f ? 0xF4ECD8 : 0xE8B0B0), Rgb(0xC8B8A8), v * 0.5f); // curtains
    } else if (pick < 0.12f) {
        c = Lerp(c, Rgb(0xFFF0C0), 0.45f);
    }
    return c;
}

CImage DrawFacade(const FacadeStyle& s, int index)
{
    CNoise noise("facade" + std::to_string(index));
    const int cellW = kSize / s.Columns, cellH = kSize / s.Rows;
    const int winW = static_cast<int>(cellW * s.WindowW), winH = static_cast<int>(cellH * s.WindowH);
    const int winX = (cellW - winW) / 2, winY = static_cast<int>((cellH - winH) * 0.45f);
    const int frame = (s.Material == Wall::Glass || s.Ribbon) ? 3 : std::max(2, cellW / 24);
    CImage img(kSize, kSize);
    img.Fill([&](int x, int y) {
        const int cx = x / cellW, cy = y / cellH, lx = x % cellW, ly = y % cellH;
        Color wall = WallAt(s, noise, index, x, y);
        if (s.Material == Wall::Glass) {
            // A curtain wall: spandrel bands between the floors, mullions between the panes.
            const bool spandrel = ly >= winY + winH || ly < winY;
            if (spandrel)
                return Shade(Rgb(s.FrameColour), 0.75f + 0.1f * noise.At(x * 0.25, y * 0.25, 64, 3));
        }
        const int gx = lx - winX, gy = ly - winY;
        const bool inWindow = gx >= 0 && gx < winW && gy >= 0 && gy < winH;
        // Rain streaks under the sills.
        if (!inWindow && s.Material != Wall::Glass && gx >= 2 && gx < winW - 2 && gy >= winH && gy < winH + cellH / 3) {
            const float streak = noise.At(x * 0.7, 3.0, kSize, 5);
            wall = Shade(wall, 1.0f - 0.12f * streak * (1.0f - (gy - winH) / (cellH / 3.0f)));
        }
        if (!inWindow) {
            // Sill and balcony below the window, awning above it.
            if (s.Awning && gy >= -cellH / 7 && gy < 0 && gx >= -3 && gx < winW + 3) {
                const bool stripe = ((gx + 3) / 6) % 2 == 0;
                return Shade(stripe ? Rgb(s.AwningColour) : Rgb(0xFFFFFF), 0.85f + 0.15f * (gy + cellH / 7.0f) / (cellH / 7.0f));
            }
            if (gy >= winH && gy < winH + 3 && gx >= -3 && gx < winW + 3)
                return Shade(Rgb(s.FrameColour), 0.92f);
            if (s.Balcony && gy >= winH - cellH / 5 && gy < winH + 2 && gx >= -6 && gx < winW + 6) {
                const bool rail = gy < winH - cellH / 5 + 3 || ((gx + 6) % 6) < 2;
                if (rail)
                    return Shade(Rgb(s.FrameColour), 0.85f);
            }
            if (gy >= winH + 3 && gy < winH + 6 && gx >= -3 && gx < winW + 3)
                return Shade(wall, 0.7f); // the sill's shadow
            return wall;
        }
        const bool onFrame = gx < frame || gx >= winW - frame || gy < frame || gy >= winH - frame;
        const bool mullion = !s.Ribbon ? (std::abs(gx - winW / 2) < std::max(1, frame / 2)) : ((gx % (winW / 6 + 1)) < 2);
        const bool transom = !s.Ribbon && s.Material != Wall::Glass && std::abs(gy - winH / 3) < std::max(1, frame / 2);
        if (onFrame || mullion || transom)
            return Shade(Rgb(s.FrameColour), gy < frame ? 0.8f : 1.0f);
        Color g = GlassAt(s, index, s.Ribbon ? cx * 8 + gx / (winW / 6 + 1) : cx, cy, gx / float(winW), gy / float(winH));
        // The top of the opening is in shade.
        if (gy < frame + 4)
            g = Shade(g, 0.75f);
        return g;
    });
    return img;
}

void MakeFacades(const CDataTree& tree)
{
    for (int i = 0; i < 24; ++i)
        WriteBmp(tree, "xfile/map/b_" + std::to_string(i + 1) + ".bmp", DrawFacade(kStyles[i], i));
}

} // namespace

DATAGEN_REGISTER("facades", MakeFacades);

} // namespace datagen
