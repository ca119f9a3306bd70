#include "tools/datagen/TextArt.h"

namespace datagen {

void DrawStyledText(CImage& image, const CFont& font, const std::string& text, double x, double baseline, bool centred,
    const TextStyle& style, double tracking, double scaleX, double shear)
{
    CMask m(image.W(), image.H());
    if (centred)
        font.DrawCentred(m, text, x, baseline, tracking, scaleX, shear);
    else
        font.Draw(m, text, x, baseline, tracking, scaleX, shear);
    CMask outline = m;
    if (style.OutlineRadius > 0)
        outline.Dilate(style.OutlineRadius);
    if (style.Shadow.a > 0) {
        CMask shadow = outline;
        shadow.Shift(style.ShadowOffset, style.ShadowOffset);
        if (style.ShadowBlur > 0)
            shadow.Blur(style.ShadowBlur);
        image.Composite(shadow, style.Shadow);
    }
    if (style.OutlineRadius > 0)
        image.Composite(outline, style.Outline);
    image.Composite(m, style.Fill);
}

} // namespace datagen
