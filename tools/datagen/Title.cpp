// The title picture, laid over the turning title character: the title at the top, the prompt
// at the bottom, a soft frame at the edges and a clear middle where the 3D scene shows.
#include "tools/datagen/DataTree.h"
#include "tools/datagen/Fonts.h"
#include "tools/datagen/ImageFiles.h"
#include "tools/datagen/TextArt.h"

#include <cmath>

namespace datagen {

namespace {

const int kScreenW = 640, kScreenH = 480;

void MakeTitle(const CDataTree& tree)
{
    auto geo = Geometric();
    auto sans = SansBold();
    CImage img(kScreenW, kScreenH, Rgb(0x101030, 0.0f));

    // A frame that darkens toward the corners and leaves the middle clear.
    img.Fill([](int x, int y) {
        const float dx = (x + 0.5f - kScreenW * 0.5f) / (kScreenW * 0.5f), dy = (y + 0.5f - kScreenH * 0.5f) / (kScreenH * 0.5f);
        const float d = std::sqrt(dx * dx * 0.8f + dy * dy);
        return Color{0.05f, 0.04f, 0.16f, 0.85f * Smoothstep(0.75f, 1.35f, d)};
    });

    // Top ribbon behind the title, with a thin gold edge.
    CMask ribbon(kScreenW, kScreenH);
    ribbon.FillPolygon(Contour{{0, 28}, {640, 14}, {640, 126}, {0, 140}});
    img.Composite(ribbon, [](int, int y) { return Lerp(Rgb(0x14164A, 0.75f), Rgb(0x3A0E4A, 0.55f), (y - 14) / 126.0f); });
    CMask edges(kScreenW, kScreenH);
    edges.StrokeLine(0, 30, 640, 16, 3);
    edges.StrokeLine(0, 138, 640, 124, 3);
    img.Composite(edges, Rgb(0xFFD24A), 0.9f);

    // Little stars sprinkled over the ribbon.
    CMask stars(kScreenW, kScreenH);
    const double spots[][3] = {{40, 52, 7}, {92, 108, 4}, {560, 40, 5}, {608, 96, 8}, {520, 116, 4}, {150, 40, 3}};
    for (const auto& s : spots)
        stars.FillPolygon(StarContour(s[0], s[1], s[2], s[2] * 0.4, 5, -1.5708));
    img.Composite(stars, Rgb(0xFFF3B0));

    TextStyle the;
    the.Fill = [](int, int) { return Rgb(0xFF4A5A); };
    the.Outline = Rgb(0xFFFFFF);
    the.OutlineRadius = 2;
    sans->SetSize(30);
    DrawStyledText(img, *sans, "THE", 36, 76, false, the, 3, 1.0, 0.2);

    TextStyle title;
    title.Fill = [](int, int y) {
        const float t = Clamp01((y - 40) / 75.0f);
        return t < 0.5f ? Lerp(Rgb(0xFFF7A0), Rgb(0xFFC21E), t * 2) : Lerp(Rgb(0xFFC21E), Rgb(0xFF6A10), (t - 0.5f) * 2);
    };
    title.Outline = Rgb(0x3A1460);
    title.OutlineRadius = 4;
    title.Shadow = Rgb(0x000000, 0.6f);
    title.ShadowOffset = 5;
    title.ShadowBlur = 3;
    geo->SetSize(88);
    DrawStyledText(img, *geo, "Quorvane", 360, 118, true, title, 1.0);
    // A highlight on the upper half of the letters.
    CMask word(kScreenW, kScreenH);
    geo->DrawCentred(word, "Quorvane", 360, 118, 1.0);
    CMask upper(kScreenW, kScreenH);
    upper.FillRect(0, 0, kScreenW, 80);
    word.Multiply(upper);
    img.Composite(word, Rgb(0xFFFFFF), 0.35f);

    // The prompt on a dark band near the bottom.
    CMask band(kScreenW, kScreenH);
    band.FillRoundRect(150, 388, 490, 432, 22);
    img.Composite(band, Rgb(0x000000, 0.55f));
    CMask bandEdge = band;
    CMask inner(kScreenW, kScreenH);
    inner.FillRoundRect(152, 390, 488, 430, 20);
    bandEdge.Subtract(inner);
    img.Composite(bandEdge, Rgb(0xFFFFFF, 0.8f));
    TextStyle prompt;
    prompt.Fill = [](int, int) { return Rgb(0xFFFFFF); };
    prompt.Outline = Rgb(0x1A1040);
    prompt.OutlineRadius = 2;
    sans->SetSize(22);
    DrawStyledText(img, *sans, "HOLD  Z  KEY  TO  START", 320, 418, true, prompt, 1.5);

    TextStyle small;
    small.Fill = [](int, int) { return Rgb(0xD8DCFF); };
    small.Outline = Rgb(0x000000, 0.7f);
    small.OutlineRadius = 1;
    small.Shadow.a = 0;
    sans->SetSize(13);
    DrawStyledText(img, *sans, "\xC2\xA9 2004 Frostmart", 320, 466, true, small, 1.0);

    WriteTga(tree, "graphics/title.tga", img.Resized(512, 512));
}

} // namespace

DATAGEN_REGISTER("title", MakeTitle);

} // namespace datagen
