#include "tools/datagen/Fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace datagen {

namespace {

std::mutex g_FontconfigLock;

std::string FindFontFile(const std::string& family, const std::string& style, const std::string& package)
{
    std::lock_guard<std::mutex> lock(g_FontconfigLock);
    if (!FcInit())
        throw std::runtime_error("fontconfig cannot be initialised");
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8*>(style.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    std::string file;
    bool exact = false;
    if (match) {
        // fontconfig always answers some font; only the face asked for keeps the data the same
        // from machine to machine.
        FcChar8* value = nullptr;
        for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i)
            if (family == reinterpret_cast<const char*>(value))
                exact = true;
        bool styleOk = false;
        for (int i = 0; FcPatternGetString(match, FC_STYLE, i, &value) == FcResultMatch; ++i)
            if (style == reinterpret_cast<const char*>(value))
                styleOk = true;
        exact = exact && styleOk;
        if (FcPatternGetString(match, FC_FILE, 0, &value) == FcResultMatch)
            file = reinterpret_cast<const char*>(value);
        FcPatternDestroy(match);
    }
    if (!exact || file.empty())
        throw std::runtime_error("font \"" + family + " " + style + "\" not found (install the Debian package " + package + ")");
    return file;
}

std::vector<uint32_t> DecodeUtf8(const std::string& s)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
        uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += n;
    }
    return out;
}

} // namespace

struct CFont::Impl {
    FT_Library Library = nullptr;
    FT_Face Face = nullptr;
};

CFont::CFont(const std::string& family, const std::string& style, const std::string& package) : m_Impl(new Impl)
{
    m_File = FindFontFile(family, style, package);
    if (FT_Init_FreeType(&m_Impl->Library))
        throw std::runtime_error("FreeType cannot be initialised");
    if (FT_New_Face(m_Impl->Library, m_File.c_str(), 0, &m_Impl->Face))
        throw std::runtime_error("FreeType cannot open " + m_File);
    SetSize(32);
}

CFont::~CFont()
{
    if (m_Impl->Face)
        FT_Done_Face(m_Impl->Face);
    if (m_Impl->Library)
        FT_Done_FreeType(m_Impl->Library);
}

void CFont::SetSize(double pixels) const { FT_Set_Char_Size(m_Impl->Face, 0, static_cast<FT_F26Dot6>(std::lround(pixels * 64.0)), 72, 72); }

double CFont::Ascender() const { return m_Impl->Face->size->metrics.ascender / 64.0; }
double CFont::Descender() const { return -m_Impl->Face->size->metrics.descender / 64.0; }

double CFont::Draw(CMask& mask, const std::string& text, double x, double y, double tracking, double scaleX, double shear) const
{
    FT_Face face = m_Impl->Face;
    double pen = x;
    for (uint32_t cp : DecodeUtf8(text)) {
        FT_Matrix m;
        m.xx = static_cast<FT_Fixed>(std::lround(scaleX * 65536.0));
        m.xy = static_cast<FT_Fixed>(std::lround(shear * 65536.0));
        m.yx = 0;
        m.yy = 0x10000;
        // The fractional part of the pen goes into the transform, so glyphs sit at exact places.
        const double px = std::floor(pen), py = std::floor(y);
        FT_Vector delta;
        delta.x = static_cast<FT_Pos>(std::lround((pen - px) * 64.0));
        delta.y = static_cast<FT_Pos>(-std::lround((y - py) * 64.0));
        FT_Set_Transform(face, &m, &delta);
        if (FT_Load_Char(face, cp, FT_LOAD_RENDER | FT_LOAD_NO_HINTING))
            continue;
        const FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& bmp = g->bitmap;
        const int ox = static_cast<int>(px) + g->bitmap_left, oy = static_cast<int>(py) - g->bitmap_top;
        for (unsigned row = 0; row < bmp.rows; ++row)
            for (unsigned col = 0; col < bmp.width; ++col) {
                const int tx = ox + static_cast<int>(col), ty = oy + static_cast<int>(row);
                if (tx < 0 || ty < 0 || tx >= mask.W() || ty >= mask.H())
                    continue;
                const float v = bmp.buffer[row * bmp.pitch + col] / 255.0f;
                float& d = mask.At(tx, ty);
                d = std::min(1.0f, d + v);
            }
        pen += g->advance.x / 64.0 + tracking;
    }
    FT_Set_Transform(face, nullptr, nullptr);
    return pen - x;
}

double CFont::Measure(const std::string& text, double tracking, double scaleX) const
{
    FT_Face face = m_Impl->Face;
    double w = 0;
    for (uint32_t cp : DecodeUtf8(text)) {
        if (FT_Load_Char(face, cp, FT_LOAD_NO_HINTING))
            continue;
        w += face->glyph->advance.x / 64.0 * scaleX + tracking;
    }
    return w - (text.empty() ? 0 : tracking);
}

double CFont::DrawCentred(CMask& mask, const std::string& text, double cx, double y, double tracking, double scaleX, double shear) const
{
    const double w = Measure(text, tracking, scaleX);
    return Draw(mask, text, cx - w * 0.5, y, tracking, scaleX, shear);
}

std::unique_ptr<CFont> SansBold() { return std::make_unique<CFont>("DejaVu Sans", "Bold", "fonts-dejavu-core"); }
std::unique_ptr<CFont> Geometric() { return std::make_unique<CFont>("URW Gothic", "Demi", "fonts-urw-base35"); }
void ReleaseFontconfig()
{
    std::lock_guard<std::mutex> lock(g_FontconfigLock);
    FcFini();
}

std::unique_ptr<CFont> JapaneseGothic() { return std::make_unique<CFont>("IPAGothic", "Regular", "fonts-ipafont-gothic"); }

} // namespace datagen
