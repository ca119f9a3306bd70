// The maker's logo texture: every picture of the logo splash in one 512x256 texture.
#include "tools/datagen/DataTree.h"
#include "tools/datagen/Fonts.h"
#include "tools/datagen/ImageFiles.h"
#include "tools/datagen/LogoLayout.h"

#include <cmath>

namespace datagen {

namespace {

const double kPi = 3.14159265358979323846;

// A six-armed snowflake centred at (cx, cy), the emblem of the maker.
CMask Snowflake(int w, int h, double cx, double cy, double r)
{
    CMask m(w, h);
    for (int arm = 0; arm < 6; ++arm) {
        const double a = arm * kPi / 3 - kPi / 2;
        const double ex = cx + r * std::cos(a), ey = cy + r * std::sin(a);
        m.StrokeLine(cx, cy, ex, ey, r * 0.16);
        for (int k = 1; k <= 2; ++k) {
            const double t = 0.38 + 0.26 * k, bx = cx + r * t * std::cos(a), by = cy + r * t * std::sin(a);
            const double len = r * (0.42 - 0.1 * k);
            for (int side = -1; side <= 1; side += 2) {
                const double b = a + side * kPi / 4;
                m.StrokeLine(bx, by, bx + len * std::cos(b), by + len * std::sin(b), r * 0.12);
            }
        }
        m.FillEllipse(ex, ey, r * 0.1, r * 0.1);
    }
    m.FillPolygon(StarContour(cx, cy, r * 0.36, r * 0.2, 6, -kPi / 2));
    return m;
}

// The sliding band: a red racing stripe with the maker's name knocked out in white.
void DrawBand(CImage& img, const CFont& geo)
{
    const PixelRect r = kLogoBand;
    const int w = r.x1 - r.x0, h = r.y1 - r.y0;
    CMask stripe(w, h);
    stripe.FillPolygon(Contour{{24, 14}, {w - 2.0, 14}, {w - 26.0, h - 14.0}, {0, h - 14.0}});
    CMask thin(w, h);
    thin.FillPolygon(Contour{{30, 4}, {w - 2.0, 4}, {w - 4.0, 9}, {28, 9}});
    thin.FillPolygon(Contour{{2, h - 9.0}, {w - 30.0, h - 9.0}, {w - 32.0, h - 4.0}, {0, h - 4.0}});
    CImage layer(w, h);
    layer.Composite(stripe, [&](int, int y) { return Lerp(Rgb(0xFF3A3A), Rgb(0xB80F1E), static_cast<float>(y) / h); });
    layer.Composite(thin, Rgb(0xFFFFFF));
    CMask text(w, h);
    geo.SetSize(62);
    geo.DrawCentred(text, "FROSTMART", w * 0.5, h * 0.5 + 22, 6, 1.0, 0.22);
    CMask shadow = text;
    shadow.Shift(3, 3);
    shadow.Blur(2);
    layer.Composite(shadow, Rgb(0x5A0008), 0.7f);
    layer.Composite(text, Rgb(0xFFFFFF));
    // Speed lines trailing to the right, thinning out.
    CMask lines(w, h);
    for (int i = 0; i < 6; ++i) {
        const double y = 22 + i * 10.5, x0 = w - 120.0 + i * 9;
        lines.StrokeLine(x0, y, w - 8.0, y, 2.2);
    }
    layer.Composite(lines, Rgb(0xFFE8E8), 0.55f);
    img.DrawImage(layer, r.x0, r.y0);
}

// The emblem: snowflake badge and wordmark, drawn by the scene twice (dark shadow, then face).
void DrawEmblem(CImage& img, const CFont& geo, const CFont& sans)
{
    const PixelRect r = kLogoEmblem;
    const int w = r.x1 - r.x0, h = r.y1 - r.y0;
    CImage layer(w, h, Rgb(0xFFFFFF, 0.0f));
    const double cx = 50, cy = h * 0.5, rad = 40;
    CMask badge(w, h);
    badge.FillEllipse(cx, cy, rad, rad);
    CMask ring(w, h);
    ring.FillEllipse(cx, cy, rad, rad);
    CMask inner(w, h);
    inner.FillEllipse(cx, cy, rad - 4, rad - 4);
    ring.Subtract(inner);
    layer.Composite(badge, [&](int x, int y) {
        const float t = Clamp01(static_cast<float>((y - (cy - rad)) / (2 * rad) * 0.8 + (x - cx) / (8 * rad)));
        return Lerp(Rgb(0x7FE3FF), Rgb(0x1B5FD6), t);
    });
    layer.Composite(ring, Rgb(0xFFFFFF));
    layer.Composite(Snowflake(w, h, cx, cy, rad * 0.72), Rgb(0xFFFFFF));
    // Wordmark with a white edge so the shadow pass reads as a clean drop shadow.
    CMask word(w, h);
    geo.SetSize(64);
    geo.Draw(word, "Frostmart", 102, cy + 17, 0.0);
    CMask edge = word;
    edge.Dilate(3);
    layer.Composite(edge, Rgb(0xFFFFFF));
    layer.Composite(word, [&](int, int y) {
        const float t = Clamp01(static_cast<float>((y - (cy - 30)) / 56.0));
        return t < 0.5f ? Lerp(Rgb(0x38C8FF), Rgb(0x1E6BE0), t * 2) : Lerp(Rgb(0x1E6BE0), Rgb(0x2A2C9C), (t - 0.5f) * 2);
    });
    // A glint across the top half of the letters.
    CMask glint(w, h);
    glint.FillRect(0, 0, w, cy - 6);
    glint.Multiply(word);
    layer.Composite(glint, Rgb(0xFFFFFF), 0.35f);
    CMask tag(w, h);
    sans.SetSize(13);
    sans.Draw(tag, "GAME  WORKS", 274, cy + 36, 2.0);
    layer.Composite(tag, Rgb(0xFF4050));
    img.DrawImage(layer, r.x0, r.y0);
}

// The dot of the ring, added onto the picture: a bright core with a soft glow on black.
void DrawDot(CImage& img)
{
    const PixelRect r = kLogoDot;
    const double cx = (r.x0 + r.x1) * 0.5, cy = (r.y0 + r.y1) * 0.5;
    for (int y = r.y0; y < r.y1; ++y)
        for (int x = r.x0; x < r.x1; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy) / ((r.x1 - r.x0) * 0.5);
            float v = static_cast<float>(std::exp(-d * d * 36.0) + 0.22 * std::exp(-d * d * 8.0));
            v *= 1.0f - Smoothstep(0.8f, 1.0f, static_cast<float>(d));
            img.At(x, y) = {v, v, v, 1.0f};
        }
    // The dot is added onto the picture, colour only, and its quad's edges sample half a texel
    // beyond the region (across the wrap too): those texels must add nothing.
    const Color none{0, 0, 0, 0};
    for (int x = r.x0; x <= r.x1; ++x) {
        img.At(x, r.y0 - 1) = none;
        img.At(x, r.y1 % kLogoHeight) = none;
    }
    for (int y = r.y0 - 1; y <= r.y1; ++y)
        img.At((r.x0 - 1 + kLogoWidth) % kLogoWidth, y % kLogoHeight) = none;
}

// Scan lines laid over the whole screen 15 times: dark rows every 8 texels, fading at the bottom.
void DrawScanLine(CImage& img)
{
    const PixelRect r = kLogoScanLine;
    for (int y = r.y0; y < r.y1; ++y) {
        const int row = y - r.y0;
        const float line = (row % 8) < 3 ? 0.45f : 0.0f;
        const float band = 0.12f * static_cast<float>(row) / (r.y1 - r.y0);
        for (int x = r.x0 - 2; x < r.x1 + 2; ++x)
            img.At(x, y) = {0.02f, 0.03f, 0.08f, line + band};
    }
}

void DrawCaption(CImage& img, const CFont& geo, const CFont& sans)
{
    const PixelRect r = kLogoCaption;
    const int w = r.x1 - r.x0, h = r.y1 - r.y0;
    CMask m(w, h);
    geo.SetSize(25);
    geo.DrawCentred(m, "FROSTMART", w * 0.5, 29, 0.5);
    sans.SetSize(13);
    sans.DrawCentred(m, "presents", w * 0.5, 52, 3.0);
    m.FillRect(14, 36, w - 14.0, 38);
    CMask edge = m;
    edge.Dilate(1);
    CImage layer(w, h, Rgb(0xFFFFFF, 0.0f));
    layer.Composite(edge, Rgb(0x1B3C8C), 0.6f);
    layer.Composite(m, Rgb(0xFFFFFF));
    img.DrawImage(layer, r.x0, r.y0);
}

// Light: twelve soft rays around a bright centre; only the middle shows on the screen.
void DrawLight(CImage& img)
{
    const PixelRect r = kLogoLight;
    const double cx = (r.x0 + r.x1) * 0.5, cy = (r.y0 + r.y1) * 0.5, half = (r.x1 - r.x0) * 0.5;
    for (int y = r.y0; y < r.y1; ++y)
        for (int x = r.x0; x < r.x1; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, d = std::hypot(dx, dy) / half;
            const double rays = 0.5 + 0.5 * std::cos(std::atan2(dy, dx) * 12.0);
            double a = std::pow(rays, 3.0) * (1.0 - d) * 1.1 + std::exp(-d * d * 9.0) * 0.9;
            a *= 1.0 - Smoothstep(0.85f, 1.0f, static_cast<float>(d));
            img.At(x, y) = {1.0f, 0.98f, 0.9f, Clamp01(static_cast<float>(a))};
        }
}

void MakeLogo(const CDataTree& tree)
{
    auto geo = Geometric();
    auto sans = SansBold();
    CImage img(kLogoWidth, kLogoHeight, Rgb(0xFFFFFF, 0.0f));
    DrawBand(img, *geo);
    DrawEmblem(img, *geo, *sans);
    DrawDot(img);
    DrawScanLine(img);
    DrawCaption(img, *geo, *sans);
    DrawLight(img);
    WriteTga(tree, "graphics/vannet.tga", img);
}

} // namespace

DATAGEN_REGISTER("logo", MakeLogo);

} // namespace datagen
