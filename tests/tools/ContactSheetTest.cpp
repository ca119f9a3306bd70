// One picture of every generated texture, over a checkerboard that shows their alpha, written
// beside the build for a person to look at (tests/tools output: contact_sheet.png).
#include "tools/DataFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace qvtest;

namespace {

void Paste(Image& sheet, const Image& img, int cx, int cy, int cell)
{
    const double scale = std::min(static_cast<double>(cell) / img.width, static_cast<double>(cell) / img.height);
    const int w = std::max(1, static_cast<int>(img.width * scale)), h = std::max(1, static_cast<int>(img.height * scale));
    const int ox = cx + (cell - w) / 2, oy = cy + (cell - h) / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Box filter over the source texels that fall in this sheet pixel.
            const int x0 = static_cast<int>(x / scale), x1 = std::max(x0 + 1, static_cast<int>((x + 1) / scale));
            const int y0 = static_cast<int>(y / scale), y1 = std::max(y0 + 1, static_cast<int>((y + 1) / scale));
            double acc[4] = {0, 0, 0, 0};
            int n = 0;
            for (int sy = y0; sy < std::min(y1, img.height); ++sy)
                for (int sx = x0; sx < std::min(x1, img.width); ++sx, ++n)
                    for (int k = 0; k < 4; ++k)
                        acc[k] += img.At(sx, sy)[k];
            uint8_t* d = sheet.At(ox + x, oy + y);
            const double a = acc[3] / n / 255.0;
            for (int k = 0; k < 3; ++k)
                d[k] = static_cast<uint8_t>(acc[k] / n * a + d[k] * (1 - a));
        }
}

} // namespace

TEST(ContactSheet, ShowsEveryTexture)
{
    std::vector<std::string> files;
    for (const std::string& f : ListFiles(DataDir()))
        if (f.size() > 4 && (f.compare(f.size() - 4, 4, ".tga") == 0 || f.compare(f.size() - 4, 4, ".bmp") == 0))
            files.push_back(f);
    ASSERT_GE(files.size(), 40u);
    const int cell = 192, gap = 8, columns = 6;
    const int rows = static_cast<int>((files.size() + columns - 1) / columns);
    Image sheet;
    sheet.width = columns * (cell + gap) + gap;
    sheet.height = rows * (cell + gap) + gap;
    sheet.rgba.assign(static_cast<size_t>(sheet.width) * sheet.height * 4, 255);
    for (int y = 0; y < sheet.height; ++y)
        for (int x = 0; x < sheet.width; ++x) {
            uint8_t* p = sheet.At(x, y);
            const uint8_t v = ((x / 12 + y / 12) % 2) ? 96 : 150;
            p[0] = p[1] = v;
            p[2] = static_cast<uint8_t>(v + 20);
        }
    for (size_t i = 0; i < files.size(); ++i) {
        Image img;
        ASSERT_TRUE(LoadTexture(files[i], img)) << files[i];
        Paste(sheet, img, gap + static_cast<int>(i % columns) * (cell + gap), gap + static_cast<int>(i / columns) * (cell + gap), cell);
    }
    const std::string out = std::string(QV_TEST_OUTPUT_DIR) + "/contact_sheet.png";
    ASSERT_TRUE(SavePng(out, sheet));
    EXPECT_TRUE(std::filesystem::exists(out));
}
