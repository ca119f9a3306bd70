#include "platform/win32/Canvas.h"
#include "platform/win32/Window.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

namespace qv::win {
namespace {

// One face, found once: a Gothic (sans-serif) Japanese font when installed, else any sans.
struct FontLibrary {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    FT_Face boldFace = nullptr;
    int currentSize = 0;

    FontLibrary()
    {
        // The font libraries keep their caches for the run.
        DisplayLibraryAllocations ignored;
        if (FT_Init_FreeType(&library) != 0)
            return;
        const std::string path = FindFontFile();
        if (!path.empty() && FT_New_Face(library, path.c_str(), 0, &face) != 0)
            face = nullptr;
    }

    static std::string FindFontFile()
    {
        if (!FcInit())
            return {};
        std::string found;
        for (const char* query : {"IPAGothic:lang=ja", "sans-serif:lang=ja", "sans-serif"}) {
            FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(query));
            if (!pattern)
                continue;
            FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
            FcDefaultSubstitute(pattern);
            FcResult result;
            FcPattern* match = FcFontMatch(nullptr, pattern, &result);
            FcPatternDestroy(pattern);
            if (!match)
                continue;
            FcChar8* file = nullptr;
            FcBool hasJapanese = FcFalse;
            FcCharSet* charset = nullptr;
            if (FcPatternGetCharSet(match, FC_CHARSET, 0, &charset) == FcResultMatch)
                hasJapanese = FcCharSetHasChar(charset, 0x7248); // 版
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file &&
                (hasJapanese || std::string(query) == "sans-serif"))
                found = reinterpret_cast<const char*>(file);
            FcPatternDestroy(match);
            if (!found.empty())
                break;
        }
        return found;
    }

    bool SetSize(int pixels)
    {
        if (!face)
            return false;
        if (pixels != currentSize) {
            FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels));
            currentSize = pixels;
        }
        return true;
    }
};

FontLibrary& Fonts()
{
    static FontLibrary fonts;
    return fonts;
}

std::mutex g_fontLock;

char32_t NextCodePoint(const std::string& s, size_t& i)
{
    const unsigned char b = static_cast<unsigned char>(s[i]);
    int length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
    if (i + length > s.size())
        length = 1;
    char32_t c = length == 1 ? b : b & (0x7F >> length);
    for (int k = 1; k < length; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += length;
    return c;
}

Argb Blend(Argb under, Argb over, unsigned alpha)
{
    auto mix = [&](int shift) {
        const unsigned a = (under >> shift) & 0xFF, b = (over >> shift) & 0xFF;
        return ((a * (255 - alpha) + b * alpha + 127) / 255) << shift;
    };
    return 0xFF000000u | mix(16) | mix(8) | mix(0);
}

} // namespace

Canvas::Canvas(int width, int height, Argb fill) { Resize(width, height, fill); }

void Canvas::Resize(int width, int height, Argb fill)
{
    m_width = std::max(0, width);
    m_height = std::max(0, height);
    m_pixels.assign(static_cast<size_t>(m_width) * m_height, fill);
    m_originX = m_originY = 0;
    ResetClip();
}

bool Canvas::Clipped(int x, int y) const
{
    return x < 0 || y < 0 || x >= m_width || y >= m_height || x < m_clip.left || x >= m_clip.right ||
           y < m_clip.top || y >= m_clip.bottom;
}

void Canvas::Pixel(int x, int y, Argb color)
{
    x += m_originX;
    y += m_originY;
    if (!Clipped(x, y))
        m_pixels[static_cast<size_t>(y) * m_width + x] = color;
}

void Canvas::Fill(const RECT& r, Argb color)
{
    const int x0 = std::max<int>({r.left + m_originX, 0, m_clip.left});
    const int x1 = std::min<int>({r.right + m_originX, m_width, m_clip.right});
    const int y0 = std::max<int>({r.top + m_originY, 0, m_clip.top});
    const int y1 = std::min<int>({r.bottom + m_originY, m_height, m_clip.bottom});
    if (x0 >= x1)
        return; // wholly outside (a menu bar item beyond a narrow window's edge)
    for (int y = y0; y < y1; ++y)
        std::fill(m_pixels.begin() + static_cast<ptrdiff_t>(y) * m_width + x0,
                  m_pixels.begin() + static_cast<ptrdiff_t>(y) * m_width + x1, color);
}

void Canvas::HLine(int x0, int x1, int y, Argb color) { Fill(RECT{x0, y, x1, y + 1}, color); }
void Canvas::VLine(int x, int y0, int y1, Argb color) { Fill(RECT{x, y0, x + 1, y1}, color); }

void Canvas::Edge3D(const RECT& r, bool raised)
{
    const Argb outerLight = raised ? colors::kLight : colors::kShadow;
    const Argb outerDark = raised ? colors::kDarkShadow : colors::kLight;
    const Argb innerLight = raised ? colors::kFace : colors::kDarkShadow;
    const Argb innerDark = raised ? colors::kShadow : colors::kFace;
    HLine(r.left, r.right - 1, r.top, outerLight);
    VLine(r.left, r.top, r.bottom - 1, outerLight);
    HLine(r.left, r.right, r.bottom - 1, outerDark);
    VLine(r.right - 1, r.top, r.bottom, outerDark);
    HLine(r.left + 1, r.right - 2, r.top + 1, innerLight);
    VLine(r.left + 1, r.top + 1, r.bottom - 2, innerLight);
    HLine(r.left + 1, r.right - 1, r.bottom - 2, innerDark);
    VLine(r.right - 2, r.top + 1, r.bottom - 1, innerDark);
}

int Canvas::Text(int x, int y, const std::string& utf8, Argb color, const TextStyle& style)
{
    std::lock_guard<std::mutex> guard(g_fontLock);
    FontLibrary& fonts = Fonts();
    if (!fonts.SetSize(style.pixelSize))
        return 0;
    FT_Face face = fonts.face;
    const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
    int penX = x;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, i);
        if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0)
            continue;
        const FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& bmp = g->bitmap;
        for (int passes = 0; passes < (style.bold ? 2 : 1); ++passes) {
            const int left = penX + g->bitmap_left + passes;
            const int top = y + ascent - g->bitmap_top;
            for (unsigned row = 0; row < bmp.rows; ++row) {
                for (unsigned col = 0; col < bmp.width; ++col) {
                    const unsigned alpha = bmp.buffer[row * bmp.pitch + col];
                    if (!alpha)
                        continue;
                    const int px = left + static_cast<int>(col) + m_originX;
                    const int py = top + static_cast<int>(row) + m_originY;
                    if (Clipped(px, py))
                        continue;
                    Argb& dst = m_pixels[static_cast<size_t>(py) * m_width + px];
                    dst = Blend(dst, color, alpha);
                }
            }
        }
        penX += static_cast<int>(g->advance.x >> 6);
    }
    if (style.underline)
        HLine(x, penX, y + ascent, color);
    return penX - x;
}

void Canvas::Image(int x, int y, const std::vector<std::string>& rows, const std::string& palette)
{
    std::map<char, Argb> colorsOf;
    for (size_t i = 0; i + 7 <= palette.size(); i += 9)
        colorsOf[palette[i]] = 0xFF000000u | static_cast<Argb>(std::strtoul(palette.substr(i + 2, 6).c_str(), nullptr, 16));
    for (size_t row = 0; row < rows.size(); ++row)
        for (size_t col = 0; col < rows[row].size(); ++col) {
            auto it = colorsOf.find(rows[row][col]);
            if (it != colorsOf.end())
                Pixel(x + static_cast<int>(col), y + static_cast<int>(row), it->second);
        }
}

void Canvas::Present(SDL_Surface* target, int width, int height) const
{
    if (!target || m_width == 0 || m_height == 0)
        return;
    if (width <= 0 || height <= 0) {
        width = m_width;
        height = m_height;
    }
    std::vector<Argb> stretched;
    const Argb* pixels = m_pixels.data();
    if (width != m_width || height != m_height) {
        stretched.resize(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            const Argb* row = &m_pixels[static_cast<size_t>(int64_t(y) * m_height / height) * m_width];
            for (int x = 0; x < width; ++x)
                stretched[static_cast<size_t>(y) * width + x] = row[int64_t(x) * m_width / width];
        }
        pixels = stretched.data();
    }
    SDL_Surface* source =
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<Argb*>(pixels), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!source)
        return;
    SDL_Rect at = {0, 0, width, height};
    SDL_BlitSurface(source, nullptr, target, &at);
    SDL_FreeSurface(source);
}

int TextWidth(const std::string& utf8, const TextStyle& style)
{
    std::lock_guard<std::mutex> guard(g_fontLock);
    FontLibrary& fonts = Fonts();
    if (!fonts.SetSize(style.pixelSize))
        return static_cast<int>(utf8.size()) * style.pixelSize / 2;
    int width = 0;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, i);
        if (FT_Load_Char(fonts.face, c, FT_LOAD_DEFAULT) == 0)
            width += static_cast<int>(fonts.face->glyph->advance.x >> 6);
    }
    return width + (style.bold ? 1 : 0);
}

int TextAscent(const TextStyle& style)
{
    std::lock_guard<std::mutex> guard(g_fontLock);
    FontLibrary& fonts = Fonts();
    if (!fonts.SetSize(style.pixelSize))
        return style.pixelSize;
    return static_cast<int>(fonts.face->size->metrics.ascender >> 6);
}

int TextHeight(const TextStyle& style)
{
    std::lock_guard<std::mutex> guard(g_fontLock);
    FontLibrary& fonts = Fonts();
    if (!fonts.SetSize(style.pixelSize))
        return style.pixelSize + 2;
    return static_cast<int>((fonts.face->size->metrics.ascender - fonts.face->size->metrics.descender) >> 6);
}

std::string StripAccessKey(const std::string& text, int* underlined, int* key)
{
    std::string out;
    if (underlined)
        *underlined = -1;
    if (key)
        *key = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&') {
                if (underlined && *underlined < 0)
                    *underlined = static_cast<int>(out.size());
                if (key && !*key)
                    *key = static_cast<unsigned char>(text[i]);
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace qv::win
