// The bitmap font: 32x32 glyph cells, eight to a row, cell n holding the character '0' + n.
// The game samples a cell from 2 pixels inside its top-left corner to 1 pixel into the next
// cell, so glyphs keep to pixels 3 to 30 of their cell. Characters below '0' (the space)
// fall outside the texture and wrap around: for 256 rows, row -2 is row 6, the cell of '`',
// which therefore stays empty.
#include "tools/datagen/DataTree.h"
#include "tools/datagen/FontLayout.h"
#include "tools/datagen/Fonts.h"
#include "tools/datagen/ImageFiles.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace datagen {

namespace {

struct GlyphBox {
    int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
};

GlyphBox BoundsOf(const CMask& m)
{
    GlyphBox b;
    for (int y = 0; y < m.H(); ++y)
        for (int x = 0; x < m.W(); ++x)
            if (m.At(x, y) > 0.0f) {
                b.x0 = std::min(b.x0, x);
                b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x);
                b.y1 = std::max(b.y1, y);
            }
    return b;
}

const int kScratch = 96, kScratchBaseline = 64, kScratchPen = 24;

CMask RenderGlyph(const CFont& font, char c, double scaleX = 1.0)
{
    CMask m(kScratch, kScratch);
    font.Draw(m, std::string(1, c), kScratchPen, kScratchBaseline, 0.0, scaleX);
    return m;
}

// The game steps 20 pixels for 32-pixel glyphs (15 for 24): glyphs wider than that share of
// the cell are narrowed so that neighbours do not run into each other.
CMask FittedGlyph(const CFont& font, char c)
{
    CMask g = RenderGlyph(font, c);
    GlyphBox b = BoundsOf(g);
    const int width = b.x1 - b.x0 + 1;
    if (b.x0 <= b.x1 && width > kGlyphAdvanceWidth)
        g = RenderGlyph(font, c, static_cast<double>(kGlyphAdvanceWidth) / width);
    return g;
}

void MakeFont(const CDataTree& tree)
{
    auto font = SansBold();
    const int first = kFontFirstChar, count = kFontCellCount;
    // The largest size at which every glyph fits the usable part of its cell on one baseline.
    double size = 30;
    int above = 0, below = 0;
    for (; size > 8; size -= 0.5) {
        font->SetSize(size);
        above = 0, below = 0;
        int widest = 0;
        for (int i = 0; i < count; ++i) {
            if (first + i == kFontBlankChar)
                continue;
            const GlyphBox b = BoundsOf(FittedGlyph(*font, static_cast<char>(first + i)));
            if (b.x0 > b.x1)
                continue;
            above = std::max(above, kScratchBaseline - b.y0);
            below = std::max(below, b.y1 + 1 - kScratchBaseline);
            widest = std::max(widest, b.x1 - b.x0 + 1);
        }
        if (above + below <= kGlyphMax - kGlyphMin && widest <= kGlyphMax - kGlyphMin)
            break;
    }
    const int baseline = kGlyphMin + above;

    CImage image(kFontTextureSize, kFontTextureSize, {1, 1, 1, 0});
    for (int i = 0; i < count; ++i) {
        const char c = static_cast<char>(first + i);
        if (c == kFontBlankChar)
            continue;
        const CMask g = FittedGlyph(*font, c);
        const GlyphBox b = BoundsOf(g);
        if (b.x0 > b.x1)
            throw std::runtime_error(std::string("the font has no glyph for '") + c + "'");
        // Centred across the sampled window, on the shared baseline.
        const int width = b.x1 - b.x0 + 1;
        const int left = kGlyphMin + (kGlyphMax - kGlyphMin - width + 1) / 2;
        const int cellX = (i % 8) * 32, cellY = (i / 8) * 32;
        const int dx = cellX + left - b.x0, dy = cellY + baseline - kScratchBaseline;
        for (int y = b.y0; y <= b.y1; ++y)
            for (int x = b.x0; x <= b.x1; ++x)
                image.At(x + dx, y + dy) = {1, 1, 1, g.At(x, y)};
    }
    WriteTga(tree, "graphics/font.tga", image);
}

} // namespace

DATAGEN_REGISTER("font", MakeFont);

} // namespace datagen
