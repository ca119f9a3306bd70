// Text through FreeType, with the font files found by fontconfig. Only fonts of the Debian
// packages that the build installs are used, and a missing one stops the generation with a
// message that names the package.
#pragma once

#include "tools/datagen/Raster.h"

#include <memory>
#include <string>

namespace datagen {

class CFont {
public:
    // family and style as fontconfig knows them ("DejaVu Sans", "Bold"); package to name in
    // the failure message. Throws std::runtime_error when that exact face is not installed.
    CFont(const std::string& family, const std::string& style, const std::string& package);
    ~CFont();
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    const std::string& File() const { return m_File; }
    void SetSize(double pixels) const;
    double Ascender() const;  // pixels above the baseline, positive
    double Descender() const; // pixels below the baseline, positive

    // Draws UTF-8 text with its baseline at y, starting at x; answers the advance. scaleX
    // widens or narrows the glyphs, shear slants them (0.2 is a usual italic).
    double Draw(CMask& mask, const std::string& text, double x, double y, double tracking = 0.0, double scaleX = 1.0,
        double shear = 0.0) const;
    double Measure(const std::string& text, double tracking = 0.0, double scaleX = 1.0) const;
    // Draws text centred on cx.
    double DrawCentred(CMask& mask, const std::string& text, double cx, double y, double tracking = 0.0, double scaleX = 1.0,
        double shear = 0.0) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_Impl;
    std::string m_File;
};

// Fonts of this game's look: a bold sans serif for texts, a geometric face for the maker's
// logo and the title, and a Japanese gothic.
std::unique_ptr<CFont> SansBold();
std::unique_ptr<CFont> Geometric();
std::unique_ptr<CFont> JapaneseGothic();

// Frees fontconfig's process-wide state once no generator uses fonts any more.
void ReleaseFontconfig();

} // namespace datagen
