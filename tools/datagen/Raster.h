// 2D drawing in floating point: coverage masks (antialiased polygons, ellipses, text) and
// RGBA pictures with straight alpha, composited "over" like a paint program.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace datagen {

struct Vec2 {
    double x = 0, y = 0;
};
using Contour = std::vector<Vec2>;

struct Color {
    float r = 0, g = 0, b = 0, a = 1;
};
Color Rgb(uint32_t rgb, float a = 1.0f);
Color Lerp(const Color& a, const Color& b, float t);

// A single-channel coverage picture, 0 (empty) to 1 (covered), rows from the top.
class CMask {
public:
    CMask() = default;
    CMask(int w, int h) : m_W(w), m_H(h), m_A(static_cast<size_t>(w) * h, 0.0f) {}
    int W() const { return m_W; }
    int H() const { return m_H; }
    float& At(int x, int y) { return m_A[static_cast<size_t>(y) * m_W + x]; }
    float At(int x, int y) const { return m_A[static_cast<size_t>(y) * m_W + x]; }
    float Sample(double x, double y) const; // bilinear, zero outside
    std::vector<float>& Data() { return m_A; }
    const std::vector<float>& Data() const { return m_A; }

    // Nonzero-winding fill of closed contours; coverage is added (clamped to 1).
    void FillPolygon(const std::vector<Contour>& contours, float value = 1.0f);
    void FillPolygon(const Contour& contour, float value = 1.0f) { FillPolygon(std::vector<Contour>{contour}, value); }
    void FillEllipse(double cx, double cy, double rx, double ry, float value = 1.0f);
    void FillRect(double x0, double y0, double x1, double y1, float value = 1.0f);
    void FillRoundRect(double x0, double y0, double x1, double y1, double r, float value = 1.0f);
    void StrokeLine(double x0, double y0, double x1, double y1, double width, float value = 1.0f);

    void Blur(double radius);  // about Gaussian (three box passes)
    void Dilate(int radius);   // round structuring element
    void Shift(int dx, int dy);
    void Max(const CMask& other);
    void Subtract(const CMask& other);
    void Multiply(const CMask& other);
    void Scale(float k);
    bool Empty() const;

private:
    int m_W = 0, m_H = 0;
    std::vector<float> m_A;
};

// Contour builders.
Contour EllipseContour(double cx, double cy, double rx, double ry, int segments = 96, double phase = 0.0);
Contour RectContour(double x0, double y0, double x1, double y1);
Contour RoundRectContour(double x0, double y0, double x1, double y1, double r);
Contour StarContour(double cx, double cy, double outer, double inner, int points, double phase);
Contour Reversed(Contour c);

// An RGBA picture with straight (not premultiplied) alpha.
class CImage {
public:
    CImage() = default;
    CImage(int w, int h, Color fill = {0, 0, 0, 0});
    int W() const { return m_W; }
    int H() const { return m_H; }
    Color& At(int x, int y) { return m_P[static_cast<size_t>(y) * m_W + x]; }
    const Color& At(int x, int y) const { return m_P[static_cast<size_t>(y) * m_W + x]; }
    Color Sample(double x, double y, bool wrap) const; // bilinear

    // Paints `paint` (colour by pixel) through the mask's coverage times `opacity`.
    void Composite(const CMask& mask, const std::function<Color(int, int)>& paint, float opacity = 1.0f, int ox = 0, int oy = 0);
    void Composite(const CMask& mask, Color c, float opacity = 1.0f, int ox = 0, int oy = 0);
    void Over(int x, int y, Color c); // one pixel, "over"
    void DrawImage(const CImage& src, int ox, int oy, float opacity = 1.0f);
    void Fill(const std::function<Color(int, int)>& paint);

    // Resized copy (area filter when shrinking, bilinear when growing).
    CImage Resized(int w, int h) const;
    // 8-bit RGBA, rows from the top; colour of fully transparent pixels kept as drawn.
    std::vector<uint8_t> ToRgba8() const;

private:
    int m_W = 0, m_H = 0;
    std::vector<Color> m_P;
};

uint8_t ToByte(float v);
float Smoothstep(float e0, float e1, float x);
float Clamp01(float v);

} // namespace datagen
