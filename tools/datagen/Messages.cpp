// The three picture messages of the first stage (512x128 with alpha): a Japanese line over an
// English one on a rounded panel, with a small icon on the left.
#include "tools/datagen/DataTree.h"
#include "tools/datagen/Fonts.h"
#include "tools/datagen/ImageFiles.h"
#include "tools/datagen/TextArt.h"

#include <cmath>
#include <string>

namespace datagen {

namespace {

const int kW = 512, kH = 128;

struct MessageText {
    const char* File;
    const char* Japanese;
    const char* English;
    uint32_t Panel;  // panel colour
    uint32_t Accent; // border and icon colour
    int Icon;        // 0 arrow keys, 1 camera keys, 2 warning
};

const MessageText kMessages[] = {
    {"graphics/Stage01Message00.tga", "矢印キーで歩く　２回すばやく押すと走る", "Arrow keys: walk    Tap twice quickly: run", 0x10285A,
        0x8FD8FF, 0},
    {"graphics/Stage01Message01.tga", "Ｚキーでカメラを後ろへ　Ｆ８で真上から", "Z: camera behind you    F8: view from above", 0x123E2A,
        0xA8F0B0, 1},
    {"graphics/Stage01Message02.tga", "クイラベットがやって来る！　気をつけて！", "Quillabet is coming!  Watch your step!", 0x5A1018,
        0xFFC060, 2},
};

void KeyCap(CMask& m, double x, double y, double s)
{
    m.FillRoundRect(x, y, x + s, y + s, s * 0.2);
}

void DrawIcon(CImage& img, int icon, Color accent, const CFont& sans)
{
    CMask shape(kW, kH), cut(kW, kH);
    const double cx = 56, cy = 64;
    if (icon == 0) {
        const double s = 24, g = 3, top = cy - s - g / 2 + 2, row = cy + g / 2 + 2;
        const double left = cx - 1.5 * s - g, mid = cx - s / 2, right = cx + s / 2 + g;
        KeyCap(shape, mid, top, s);
        KeyCap(shape, left, row, s);
        KeyCap(shape, mid, row, s);
        KeyCap(shape, right, row, s);
        // Arrow heads knocked out of the caps.
        const double tm = top + s / 2, rm = row + s / 2;
        cut.FillPolygon(Contour{{cx, tm - 6}, {cx + 6, tm + 4}, {cx - 6, tm + 4}});
        cut.FillPolygon(Contour{{cx, rm + 6}, {cx - 6, rm - 4}, {cx + 6, rm - 4}});
        cut.FillPolygon(Contour{{left + s / 2 - 6, rm}, {left + s / 2 + 4, rm - 6}, {left + s / 2 + 4, rm + 6}});
        cut.FillPolygon(Contour{{right + s / 2 + 6, rm}, {right + s / 2 - 4, rm + 6}, {right + s / 2 - 4, rm - 6}});
    } else if (icon == 1) {
        KeyCap(shape, cx - 38, cy - 20, 36);
        KeyCap(shape, cx + 2, cy - 20, 36);
        sans.SetSize(24);
        sans.DrawCentred(cut, "Z", cx - 20, cy + 7);
        sans.SetSize(17);
        sans.DrawCentred(cut, "F8", cx + 20, cy + 5);
    } else {
        shape.FillPolygon(Contour{{cx, cy - 34}, {cx + 38, cy + 30}, {cx - 38, cy + 30}});
        cut.FillRoundRect(cx - 4, cy - 14, cx + 4, cy + 12, 3);
        cut.FillEllipse(cx, cy + 21, 4.5, 4.5);
    }
    shape.Subtract(cut);
    CMask shadow = shape;
    shadow.Shift(2, 2);
    shadow.Blur(1.5);
    img.Composite(shadow, Rgb(0x000000, 0.5f));
    img.Composite(shape, accent);
}

void MakeMessages(const CDataTree& tree)
{
    auto jp = JapaneseGothic();
    auto sans = SansBold();
    for (const MessageText& msg : kMessages) {
        CImage img(kW, kH, Rgb(msg.Panel, 0.0f));
        CMask panel(kW, kH);
        panel.FillRoundRect(4, 8, kW - 4.0, kH - 8.0, 20);
        CMask shadow = panel;
        shadow.Shift(3, 3);
        shadow.Blur(2.5);
        img.Composite(shadow, Rgb(0x000000, 0.45f));
        img.Composite(panel, [&](int, int y) {
            const Color base = Rgb(msg.Panel, 0.82f);
            return Lerp(Lerp(base, Rgb(0xFFFFFF, 0.85f), 0.18f), base, Clamp01((y - 8) / 60.0f));
        });
        CMask inner(kW, kH);
        inner.FillRoundRect(7, 11, kW - 7.0, kH - 11.0, 17);
        CMask border = panel;
        border.Subtract(inner);
        img.Composite(border, Rgb(msg.Accent));
        DrawIcon(img, msg.Icon, Rgb(msg.Accent), *sans);

        TextStyle jpStyle;
        jpStyle.Outline = Rgb(0x000000, 0.8f);
        jpStyle.OutlineRadius = 2;
        jpStyle.ShadowOffset = 2;
        jp->SetSize(25);
        const double textCentre = 302;
        double scale = std::min(1.0, 376.0 / jp->Measure(msg.Japanese));
        DrawStyledText(img, *jp, msg.Japanese, textCentre, 58, true, jpStyle, 0.0, scale);

        TextStyle enStyle = jpStyle;
        enStyle.Fill = [&](int, int) { return Rgb(msg.Accent); };
        sans->SetSize(17);
        scale = std::min(1.0, 376.0 / sans->Measure(msg.English));
        DrawStyledText(img, *sans, msg.English, textCentre, 92, true, enStyle, 0.0, scale);
        WriteTga(tree, msg.File, img);
    }
}

} // namespace

DATAGEN_REGISTER("messages", MakeMessages);

} // namespace datagen
