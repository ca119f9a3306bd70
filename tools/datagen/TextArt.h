// Lettering helpers shared by the picture generators: outlined and shadowed text.
#pragma once

#include "tools/datagen/Fonts.h"
#include "tools/datagen/Raster.h"

#include <functional>
#include <string>

namespace datagen {

struct TextStyle {
    std::function<Color(int, int)> Fill = [](int, int) { return Color{1, 1, 1, 1}; };
    Color Outline{0, 0, 0, 1};
    int OutlineRadius = 2;
    Color Shadow{0, 0, 0, 0.5f};
    int ShadowOffset = 2;
    double ShadowBlur = 1.5;
};

// Draws centred text (cx = centre) or left-aligned text (cx < 0 means x = -cx) with the style.
void DrawStyledText(CImage& image, const CFont& font, const std::string& text, double x, double baseline, bool centred,
    const TextStyle& style, double tracking = 0.0, double scaleX = 1.0, double shear = 0.0);

} // namespace datagen
