#include "tools/datagen/Raster.h"

#include <algorithm>
#include <cmath>

namespace datagen {

namespace {
const double kPi = 3.14159265358979323846;
}

Color Rgb(uint32_t rgb, float a)
{
    return {((rgb >> 16) & 255) / 255.0f, ((rgb >> 8) & 255) / 255.0f, (rgb & 255) / 255.0f, a};
}

Color Lerp(const Color& a, const Color& b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

float Smoothstep(float e0, float e1, float x)
{
    const float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0f)); }

// ---------------------------------------------------------------- mask

float CMask::Sample(double x, double y) const
{
    x -= 0.5;
    y -= 0.5;
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    auto get = [&](int px, int py) { return (px < 0 || py < 0 || px >= m_W || py >= m_H) ? 0.0f : At(px, py); };
    return (get(x0, y0) * (1 - fx) + get(x0 + 1, y0) * fx) * (1 - fy) + (get(x0, y0 + 1) * (1 - fx) + get(x0 + 1, y0 + 1) * fx) * fy;
}

void CMask::FillPolygon(const std::vector<Contour>& contours, float value)
{
    const int kSub = 5;
    struct Edge {
        double x0, y0, x1, y1;
        int dir;
    };
    std::vector<Edge> edges;
    double ymin = 1e30, ymax = -1e30;
    for (const Contour& c : contours) {
        for (size_t i = 0; i < c.size(); ++i) {
            Vec2 a = c[i], b = c[(i + 1) % c.size()];
            if (a.y == b.y)
                continue;
            int dir = 1;
            if (a.y > b.y) {
                std::swap(a, b);
                dir = -1;
            }
            edges.push_back({a.x, a.y, b.x, b.y, dir});
            ymin = std::min(ymin, a.y);
            ymax = std::max(ymax, b.y);
        }
    }
    if (edges.empty())
        return;
    const int row0 = std::max(0, static_cast<int>(std::floor(ymin)));
    const int row1 = std::min(m_H - 1, static_cast<int>(std::ceil(ymax)));
    std::vector<float> acc(static_cast<size_t>(m_W) + 2);
    std::vector<std::pair<double, int>> hits;
    for (int row = row0; row <= row1; ++row) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        bool any = false;
        for (int s = 0; s < kSub; ++s) {
            const double ys = row + (s + 0.5) / kSub;
            hits.clear();
            for (const Edge& e : edges) {
                if (ys < e.y0 || ys >= e.y1)
                    continue;
                hits.push_back({e.x0 + (ys - e.y0) / (e.y1 - e.y0) * (e.x1 - e.x0), e.dir});
            }
            if (hits.size() < 2)
                continue;
            std::sort(hits.begin(), hits.end());
            int winding = 0;
            for (size_t i = 0; i + 1 < hits.size(); ++i) {
                winding += hits[i].second;
                if (winding == 0)
                    continue;
                double xa = std::max(0.0, hits[i].first), xb = std::min(static_cast<double>(m_W), hits[i + 1].first);
                if (xb <= xa)
                    continue;
                any = true;
                const int pa = static_cast<int>(std::floor(xa)), pb = std::min(m_W - 1, static_cast<int>(std::floor(xb)));
                for (int p = pa; p <= pb; ++p) {
                    const double cover = std::min(xb, p + 1.0) - std::max(xa, static_cast<double>(p));
                    if (cover > 0)
                        acc[p] += static_cast<float>(cover / kSub);
                }
            }
        }
        if (!any)
            continue;
        for (int x = 0; x < m_W; ++x)
            if (acc[x] > 0)
                At(x, row) = std::min(1.0f, At(x, row) + std::min(1.0f, acc[x]) * value);
    }
}

void CMask::FillEllipse(double cx, double cy, double rx, double ry, float value)
{
    // Enough sides that the polygon's area is within a fraction of a pixel of the ellipse's.
    const int seg = std::clamp(static_cast<int>(std::max(rx, ry) * 8.0), 48, 720);
    FillPolygon(EllipseContour(cx, cy, rx, ry, seg), value);
}

void CMask::FillRect(double x0, double y0, double x1, double y1, float value) { FillPolygon(RectContour(x0, y0, x1, y1), value); }

void CMask::FillRoundRect(double x0, double y0, double x1, double y1, double r, float value)
{
    FillPolygon(RoundRectContour(x0, y0, x1, y1, r), value);
}

void CMask::StrokeLine(double x0, double y0, double x1, double y1, double width, float value)
{
    const double dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
    if (len <= 0)
        return;
    const double nx = -dy / len * width * 0.5, ny = dx / len * width * 0.5;
    FillPolygon(Contour{{x0 + nx, y0 + ny}, {x1 + nx, y1 + ny}, {x1 - nx, y1 - ny}, {x0 - nx, y0 - ny}}, value);
}

namespace {
void BoxBlur1D(std::vector<float>& data, int w, int h, int r, bool horizontal)
{
    if (r <= 0)
        return;
    const int n = horizontal ? w : h, lines = horizontal ? h : w;
    std::vector<float> line(static_cast<size_t>(n)), out(static_cast<size_t>(n));
    for (int l = 0; l < lines; ++l) {
        for (int i = 0; i < n; ++i)
            line[i] = horizontal ? data[static_cast<size_t>(l) * w + i] : data[static_cast<size_t>(i) * w + l];
        double sum = 0;
        for (int i = -r; i <= r; ++i)
            sum += (i >= 0 && i < n) ? line[i] : 0.0f;
        for (int i = 0; i < n; ++i) {
            out[i] = static_cast<float>(sum / (2 * r + 1));
            const int add = i + r + 1, sub = i - r;
            if (add < n)
                sum += line[add];
            if (sub >= 0)
                sum -= line[sub];
        }
        for (int i = 0; i < n; ++i)
            (horizontal ? data[static_cast<size_t>(l) * w + i] : data[static_cast<size_t>(i) * w + l]) = out[i];
    }
}
} // namespace

void CMask::Blur(double radius)
{
    // Three box passes of radius r approximate a Gaussian of sigma ~ r.
    const int r = std::max(1, static_cast<int>(std::lround(radius * 0.85)));
    for (int pass = 0; pass < 3; ++pass) {
        BoxBlur1D(m_A, m_W, m_H, r, true);
        BoxBlur1D(m_A, m_W, m_H, r, false);
    }
}

void CMask::Dilate(int radius)
{
    std::vector<std::pair<int, int>> offsets;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (dx * dx + dy * dy <= radius * radius + radius)
                offsets.push_back({dx, dy});
    std::vector<float> out(m_A.size(), 0.0f);
    for (int y = 0; y < m_H; ++y)
        for (int x = 0; x < m_W; ++x) {
            const float v = At(x, y);
            if (v <= 0)
                continue;
            for (auto [dx, dy] : offsets) {
                const int px = x + dx, py = y + dy;
                if (px < 0 || py < 0 || px >= m_W || py >= m_H)
                    continue;
                float& o = out[static_cast<size_t>(py) * m_W + px];
                o = std::max(o, v);
            }
        }
    m_A.swap(out);
}

void CMask::Shift(int dx, int dy)
{
    std::vector<float> out(m_A.size(), 0.0f);
    for (int y = 0; y < m_H; ++y)
        for (int x = 0; x < m_W; ++x) {
            const int sx = x - dx, sy = y - dy;
            if (sx >= 0 && sy >= 0 && sx < m_W && sy < m_H)
                out[static_cast<size_t>(y) * m_W + x] = At(sx, sy);
        }
    m_A.swap(out);
}

void CMask::Max(const CMask& o)
{
    for (size_t i = 0; i < m_A.size(); ++i)
        m_A[i] = std::max(m_A[i], o.m_A[i]);
}

void CMask::Subtract(const CMask& o)
{
    for (size_t i = 0; i < m_A.size(); ++i)
        m_A[i] = std::max(0.0f, m_A[i] - o.m_A[i]);
}

void CMask::Multiply(const CMask& o)
{
    for (size_t i = 0; i < m_A.size(); ++i)
        m_A[i] *= o.m_A[i];
}

void CMask::Scale(float k)
{
    for (float& a : m_A)
        a = Clamp01(a * k);
}

bool CMask::Empty() const
{
    for (float a : m_A)
        if (a > 0.0f)
            return false;
    return true;
}

// ---------------------------------------------------------------- contours

Contour EllipseContour(double cx, double cy, double rx, double ry, int segments, double phase)
{
    Contour c;
    for (int i = 0; i < segments; ++i) {
        const double a = phase + 2.0 * kPi * i / segments;
        c.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
    }
    return c;
}

Contour RectContour(double x0, double y0, double x1, double y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

Contour RoundRectContour(double x0, double y0, double x1, double y1, double r)
{
    r = std::min({r, (x1 - x0) * 0.5, (y1 - y0) * 0.5});
    Contour c;
    const double cx[4] = {x1 - r, x1 - r, x0 + r, x0 + r}, cy[4] = {y0 + r, y1 - r, y1 - r, y0 + r};
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i <= 12; ++i) {
            const double a = -kPi / 2 + k * kPi / 2 + i * (kPi / 2) / 12;
            c.push_back({cx[k] + r * std::cos(a), cy[k] + r * std::sin(a)});
        }
    return c;
}

Contour StarContour(double cx, double cy, double outer, double inner, int points, double phase)
{
    Contour c;
    for (int i = 0; i < points * 2; ++i) {
        const double a = phase + kPi * i / points, r = (i % 2) ? inner : outer;
        c.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return c;
}

Contour Reversed(Contour c)
{
    std::reverse(c.begin(), c.end());
    return c;
}

// ---------------------------------------------------------------- image

CImage::CImage(int w, int h, Color fill) : m_W(w), m_H(h), m_P(static_cast<size_t>(w) * h, fill) {}

Color CImage::Sample(double x, double y, bool wrap) const
{
    x -= 0.5;
    y -= 0.5;
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    auto get = [&](int px, int py) {
        if (wrap) {
            px = ((px % m_W) + m_W) % m_W;
            py = ((py % m_H) + m_H) % m_H;
        } else {
            px = std::clamp(px, 0, m_W - 1);
            py = std::clamp(py, 0, m_H - 1);
        }
        return At(px, py);
    };
    return Lerp(Lerp(get(x0, y0), get(x0 + 1, y0), fx), Lerp(get(x0, y0 + 1), get(x0 + 1, y0 + 1), fx), fy);
}

void CImage::Over(int x, int y, Color c)
{
    if (x < 0 || y < 0 || x >= m_W || y >= m_H || c.a <= 0.0f)
        return;
    Color& d = At(x, y);
    const float a = c.a + d.a * (1.0f - c.a);
    if (a <= 0.0f) {
        d = {c.r, c.g, c.b, 0.0f};
        return;
    }
    const float k = d.a * (1.0f - c.a);
    d = {(c.r * c.a + d.r * k) / a, (c.g * c.a + d.g * k) / a, (c.b * c.a + d.b * k) / a, a};
}

void CImage::Composite(const CMask& mask, const std::function<Color(int, int)>& paint, float opacity, int ox, int oy)
{
    for (int y = 0; y < mask.H(); ++y)
        for (int x = 0; x < mask.W(); ++x) {
            const float m = mask.At(x, y) * opacity;
            if (m <= 0.0f)
                continue;
            Color c = paint(x + ox, y + oy);
            c.a *= m;
            Over(x + ox, y + oy, c);
        }
}

void CImage::Composite(const CMask& mask, Color c, float opacity, int ox, int oy)
{
    Composite(mask, [c](int, int) { return c; }, opacity, ox, oy);
}

void CImage::DrawImage(const CImage& src, int ox, int oy, float opacity)
{
    for (int y = 0; y < src.H(); ++y)
        for (int x = 0; x < src.W(); ++x) {
            Color c = src.At(x, y);
            c.a *= opacity;
            Over(x + ox, y + oy, c);
        }
}

void CImage::Fill(const std::function<Color(int, int)>& paint)
{
    for (int y = 0; y < m_H; ++y)
        for (int x = 0; x < m_W; ++x)
            At(x, y) = paint(x, y);
}

namespace {
// Weights of a separable resampling from n source samples to m, premultiplied by alpha later.
struct Tap {
    int index;
    float weight;
};
std::vector<std::vector<Tap>> ResampleTaps(int n, int m)
{
    std::vector<std::vector<Tap>> taps(static_cast<size_t>(m));
    const double scale = static_cast<double>(n) / m;
    const double support = std::max(1.0, scale);
    for (int i = 0; i < m; ++i) {
        const double centre = (i + 0.5) * scale;
        double total = 0;
        const int lo = static_cast<int>(std::floor(centre - support)), hi = static_cast<int>(std::ceil(centre + support));
        for (int j = lo; j <= hi; ++j) {
            const double d = std::fabs((j + 0.5) - centre) / support;
            if (d >= 1.0)
                continue;
            const double w = 1.0 - d;
            taps[i].push_back({std::clamp(j, 0, n - 1), static_cast<float>(w)});
            total += w;
        }
        for (Tap& t : taps[i])
            t.weight = static_cast<float>(t.weight / total);
    }
    return taps;
}
} // namespace

CImage CImage::Resized(int w, int h) const
{
    // Premultiplied while filtering, so transparent pixels lend no colour to their neighbours.
    const auto tx = ResampleTaps(m_W, w), ty = ResampleTaps(m_H, h);
    std::vector<Color> mid(static_cast<size_t>(w) * m_H);
    for (int y = 0; y < m_H; ++y)
        for (int x = 0; x < w; ++x) {
            Color s{0, 0, 0, 0};
            for (const Tap& t : tx[x]) {
                const Color& c = At(t.index, y);
                s.r += c.r * c.a * t.weight;
                s.g += c.g * c.a * t.weight;
                s.b += c.b * c.a * t.weight;
                s.a += c.a * t.weight;
            }
            mid[static_cast<size_t>(y) * w + x] = s;
        }
    CImage out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Color s{0, 0, 0, 0};
            for (const Tap& t : ty[y]) {
                const Color& c = mid[static_cast<size_t>(t.index) * w + x];
                s.r += c.r * t.weight;
                s.g += c.g * t.weight;
                s.b += c.b * t.weight;
                s.a += c.a * t.weight;
            }
            if (s.a > 1e-6f)
                out.At(x, y) = {s.r / s.a, s.g / s.a, s.b / s.a, s.a};
            else
                out.At(x, y) = {0, 0, 0, 0};
        }
    return out;
}

std::vector<uint8_t> CImage::ToRgba8() const
{
    std::vector<uint8_t> out(static_cast<size_t>(m_W) * m_H * 4);
    for (size_t i = 0; i < m_P.size(); ++i) {
        out[i * 4 + 0] = ToByte(m_P[i].r);
        out[i * 4 + 1] = ToByte(m_P[i].g);
        out[i * 4 + 2] = ToByte(m_P[i].b);
        out[i * 4 + 3] = ToByte(m_P[i].a);
    }
    return out;
}

} // namespace datagen
