// Inside the window layer: a picture in memory that menus, dialogs and message boxes are drawn
// into, with text through FreeType in a Japanese-capable font that fontconfig finds.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/WinTypes.h"

namespace qv::win {

// 0xAARRGGBB
typedef uint32_t Argb;
inline Argb FromColorRef(COLORREF c) { return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c); }

// The classic colours of the system's windows and menus.
namespace colors {
constexpr Argb kFace = 0xFFD4D0C8;      // buttons, dialogs, menus
constexpr Argb kHighlight = 0xFF0A246A; // selected menu item
constexpr Argb kHighlightText = 0xFFFFFFFF;
constexpr Argb kText = 0xFF000000;
constexpr Argb kGrayText = 0xFF808080;
constexpr Argb kShadow = 0xFF808080;
constexpr Argb kDarkShadow = 0xFF404040;
constexpr Argb kLight = 0xFFFFFFFF;
constexpr Argb kWindow = 0xFFFFFFFF;
} // namespace colors

struct TextStyle {
    int pixelSize = 12;
    bool underline = false;
    bool bold = false;
};

class Canvas {
public:
    Canvas() = default;
    Canvas(int width, int height, Argb fill = colors::kFace);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    Argb* Pixels() { return m_pixels.data(); }
    const Argb* Pixels() const { return m_pixels.data(); }
    void Resize(int width, int height, Argb fill = colors::kFace);

    // Drawing is clipped to the canvas and to the clip rectangle, and offset by the origin:
    // the device context of a child window draws through its own origin and clip.
    void SetOrigin(int x, int y) { m_originX = x, m_originY = y; }
    void SetClip(const RECT& clip) { m_clip = clip; }
    void ResetClip() { m_clip = RECT{0, 0, m_width, m_height}; }

    void Fill(const RECT& r, Argb color);
    void Pixel(int x, int y, Argb color);
    void HLine(int x0, int x1, int y, Argb color);
    void VLine(int x, int y0, int y1, Argb color);
    // The raised (or sunken) two-pixel edge of classic buttons and frames.
    void Edge3D(const RECT& r, bool raised);
    // Draws UTF-8 text with its cell's top-left at (x, y); the whole of an access-key string's
    // "&" handling is the caller's. Answers the advance in pixels.
    int Text(int x, int y, const std::string& utf8, Argb color, const TextStyle& style = {});
    // Pixel images ("cRRGGBB" palette letters, '.' transparent).
    void Image(int x, int y, const std::vector<std::string>& rows, const std::string& palette);

    // Copies the picture into the top-left corner of an SDL surface (the software surface of a
    // layer-drawn window), stretched to width x height by the nearest pixel, as the menu strip
    // is in full screen (0: the picture's own size).
    void Present(SDL_Surface* target, int width = 0, int height = 0) const;

private:
    bool Clipped(int x, int y) const;

    int m_width = 0;
    int m_height = 0;
    std::vector<Argb> m_pixels;
    int m_originX = 0;
    int m_originY = 0;
    RECT m_clip = {0, 0, 0, 0};
};

// Text measurements in the same font as Canvas::Text.
int TextWidth(const std::string& utf8, const TextStyle& style = {});
int TextAscent(const TextStyle& style = {});
int TextHeight(const TextStyle& style = {});

// "&File" -> "File" with the index (in bytes) of the underlined character, or -1; "&&" is "&".
std::string StripAccessKey(const std::string& text, int* underlined, int* key);

} // namespace qv::win
