// The generated pictures, read back as the game's texture loader reads them.
#include "tools/DataFiles.h"
#include "tools/datagen/FontLayout.h"
#include "tools/datagen/ModelTextures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

using namespace qvtest;

namespace {

int Alpha(const Image& img, int x, int y) { return img.At(x, y)[3]; }

// Alpha summed over a pixel rectangle, with wrap addressing as the device samples.
long AlphaSum(const Image& img, int x0, int y0, int x1, int y1)
{
    long sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            sum += Alpha(img, ((x % img.width) + img.width) % img.width, ((y % img.height) + img.height) % img.height);
    return sum;
}

// The texels that the bitmap font's quad for character c samples, as its drawing computes
// them: from 0.008 inside the cell's corner to 0.004 short of a cell further on.
void FontWindow(const Image& font, char c, int& x0, int& y0, int& x1, int& y1)
{
    const int g = static_cast<signed char>(c) - 48;
    const int column = g % 8, row = g / 8;
    const float w = static_cast<float>(font.width), h = static_cast<float>(font.height);
    const float left = column * 32 / w + 0.008f, top = row * 32 / h + 0.008f;
    const float right = left + 32 / w - 0.004f, bottom = top + 32 / h - 0.004f;
    x0 = static_cast<int>(std::floor(left * w));
    y0 = static_cast<int>(std::floor(top * h));
    x1 = static_cast<int>(std::ceil(right * w));
    y1 = static_cast<int>(std::ceil(bottom * h));
}

bool IsPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// A rectangle given in texture coordinates, as the logo scene addresses the logo texture.
struct UvRect {
    double u0, v0, u1, v1;
};

int OpaqueCount(const Image& img, const UvRect& r, int threshold)
{
    int n = 0;
    for (int y = static_cast<int>(r.v0 * img.height); y < static_cast<int>(r.v1 * img.height); ++y)
        for (int x = static_cast<int>(r.u0 * img.width); x < static_cast<int>(r.u1 * img.width); ++x)
            n += Alpha(img, x, y) >= threshold;
    return n;
}

std::vector<uint8_t> FileBytes(const std::string& relative) { return ReadFileBytes(DataDir() + "/" + relative); }

} // namespace

TEST(FontTexture, IsA256SquareTgaWithAlpha)
{
    const auto bytes = FileBytes("graphics/font.tga");
    ASSERT_GE(bytes.size(), 18u + 256 * 256 * 4);
    EXPECT_EQ(bytes[2], 2);   // uncompressed true colour
    EXPECT_EQ(bytes[16], 32); // bits per pixel
    EXPECT_EQ(bytes[17] & 0x0F, 8);
    Image font;
    ASSERT_TRUE(LoadTexture("graphics/font.tga", font));
    EXPECT_EQ(font.width, 256);
    EXPECT_EQ(font.height, 256);
}

TEST(FontTexture, EveryCharacterSamplesItsWholeGlyphAndNothingElse)
{
    Image font;
    ASSERT_TRUE(LoadTexture("graphics/font.tga", font));
    for (int i = 0; i < datagen::kFontCellCount; ++i) {
        const char c = static_cast<char>('0' + i);
        const int cx = (i % 8) * 32, cy = (i / 8) * 32;
        const long cell = AlphaSum(font, cx, cy, cx + 32, cy + 32);
        if (c == datagen::kFontBlankChar) {
            EXPECT_EQ(cell, 0) << "the cell of '" << c << "' must stay empty";
            continue;
        }
        EXPECT_GT(cell, 255 * 20) << "no glyph for '" << c << "'";
        int x0, y0, x1, y1;
        FontWindow(font, c, x0, y0, x1, y1);
        // Everything in the window belongs to this cell's glyph, all of which is in the window.
        EXPECT_EQ(AlphaSum(font, x0, y0, x1, y1), cell) << "'" << c << "' samples a neighbour or misses part of its glyph";
        for (int y = cy; y < cy + 32; ++y)
            for (int x = cx; x < cx + 32; ++x)
                if (Alpha(font, x, y) > 0) {
                    const uint8_t* p = font.At(x, y);
                    ASSERT_TRUE(p[0] == 255 && p[1] == 255 && p[2] == 255) << "glyphs are white, '" << c << "'";
                }
    }
}

TEST(FontTexture, GlyphsAreNoWiderThanTheStepOfTheText)
{
    // "PAUSE" steps 20 pixels with 32-pixel glyphs and the FPS line 15 with 24: a glyph wider
    // than about 19 of its 32 texels would touch its neighbours.
    Image font;
    ASSERT_TRUE(LoadTexture("graphics/font.tga", font));
    for (int i = 0; i < datagen::kFontCellCount; ++i) {
        const int cx = (i % 8) * 32, cy = (i / 8) * 32;
        int left = 32, right = -1;
        for (int y = cy; y < cy + 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (Alpha(font, cx + x, y) > 0) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        if (right >= 0) {
            EXPECT_LE(right - left + 1, 20) << "'" << static_cast<char>('0' + i) << "'";
        }
    }
}

TEST(FontTexture, TheFpsLineShowsNoStrayGlyph)
{
    Image font;
    ASSERT_TRUE(LoadTexture("graphics/font.tga", font));
    for (char c : std::string("FPS: 60:60 CPU: 12 PAUSE")) {
        int x0, y0, x1, y1;
        FontWindow(font, c, x0, y0, x1, y1);
        if (c == ' ')
            EXPECT_EQ(AlphaSum(font, x0, y0, x1, y1), 0) << "a space shows part of a glyph";
        else
            EXPECT_GT(AlphaSum(font, x0, y0, x1, y1), 0) << c;
    }
}

TEST(LogoTexture, EveryRegionThatTheLogoDrawsHoldsItsPicture)
{
    Image logo;
    ASSERT_TRUE(LoadTexture("graphics/vannet.tga", logo));
    EXPECT_TRUE(IsPowerOfTwo(logo.width) && IsPowerOfTwo(logo.height));
    const UvRect band{0, 0, 1, 0.375}, emblem{0, 0.375, 0.8125, 0.75}, dot{0, 0.75, 0.125, 1},
        scan{0.12890625, 0.75, 0.24609375, 1}, caption{0.26, 0.75, 0.5525, 1}, light{0.5625, 0.75, 0.6875, 1};
    EXPECT_GT(OpaqueCount(logo, band, 200), 5000);
    EXPECT_GT(OpaqueCount(logo, emblem, 200), 5000);
    EXPECT_GT(OpaqueCount(logo, caption, 200), 500);
    // The band and emblem are cut out: their pictures have transparent surroundings.
    EXPECT_LT(OpaqueCount(logo, band, 1), 512 * 96);
    EXPECT_LT(OpaqueCount(logo, emblem, 1), 416 * 96);

    // The dot is added onto the picture: black around a bright middle.
    const uint8_t* centre = logo.At(32, 224);
    EXPECT_GT(centre[0], 200);
    EXPECT_LT(logo.At(1, 193)[0], 8);
    EXPECT_LT(logo.At(62, 254)[0], 8);

    // Scan lines: the same across, dark rows between clear ones down the region.
    std::set<int> rows;
    for (int y = 192; y < 256; ++y) {
        const int a = Alpha(logo, 80, y);
        for (int x = 70; x < 122; ++x)
            ASSERT_EQ(Alpha(logo, x, y), a) << x << "," << y;
        rows.insert(a > 60 ? 1 : 0);
    }
    EXPECT_EQ(rows.size(), 2u);

    // The light is brightest in its middle and fades out before its edges.
    EXPECT_GT(Alpha(logo, 320, 224), 200);
    EXPECT_EQ(Alpha(logo, 289, 193), 0);
    EXPECT_EQ(Alpha(logo, 350, 254), 0);
    EXPECT_GT(OpaqueCount(logo, light, 60), 200);
    (void)scan;
    (void)dot;
}

TEST(TitleTexture, FramesTheSceneAndLeavesTheMiddleClear)
{
    Image title;
    ASSERT_TRUE(LoadTexture("graphics/title.tga", title));
    EXPECT_TRUE(IsPowerOfTwo(title.width) && IsPowerOfTwo(title.height));
    // The middle of the screen shows the turning character.
    const UvRect middle{0.3, 0.4, 0.7, 0.7};
    EXPECT_EQ(OpaqueCount(title, middle, 40), 0);
    // The title at the top and the prompt near the bottom are solid.
    EXPECT_GT(OpaqueCount(title, UvRect{0.1, 0.05, 0.9, 0.3}, 250), 5000);
    EXPECT_GT(OpaqueCount(title, UvRect{0.2, 0.8, 0.8, 0.92}, 250), 1000);
}

TEST(StageMessages, AreSmallPanelsWithText)
{
    for (int i = 0; i < 3; ++i) {
        Image msg;
        const std::string path = "graphics/Stage01Message0" + std::to_string(i) + ".tga";
        ASSERT_TRUE(LoadTexture(path, msg)) << path;
        EXPECT_EQ(msg.width, 512);
        EXPECT_EQ(msg.height, 128);
        EXPECT_EQ(Alpha(msg, 0, 0), 0) << path;
        EXPECT_EQ(Alpha(msg, 511, 127), 0) << path;
        // Bright text on the panel: both lines have light pixels.
        int upper = 0, lower = 0;
        for (int y = 30; y < 100; ++y)
            for (int x = 120; x < 500; ++x) {
                const uint8_t* p = msg.At(x, y);
                if (p[3] > 200 && p[0] + p[1] + p[2] > 450)
                    (y < 66 ? upper : lower)++;
            }
        EXPECT_GT(upper, 300) << path;
        EXPECT_GT(lower, 300) << path;
    }
}

TEST(SpriteTextures, ShadowAndSmokeAreSoftAndRound)
{
    Image shadow, smoke;
    ASSERT_TRUE(LoadTexture("graphics/OpeningShadow.tga", shadow));
    ASSERT_TRUE(LoadTexture("graphics/OpeningSmoke.tga", smoke));
    for (const Image* img : {&shadow, &smoke}) {
        EXPECT_TRUE(IsPowerOfTwo(img->width) && img->width == img->height);
        const int n = img->width;
        EXPECT_GT(Alpha(*img, n / 2, n / 2), 150);
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(Alpha(*img, k, 0), 0);
            EXPECT_EQ(Alpha(*img, 0, k), 0);
            EXPECT_EQ(Alpha(*img, k, n - 1), 0);
            EXPECT_EQ(Alpha(*img, n - 1, k), 0);
        }
        // The edge is soft: alpha falls gradually from the middle.
        const int half = Alpha(*img, n / 2, n / 2 - n / 5);
        EXPECT_GT(half, 5);
        EXPECT_LT(half, Alpha(*img, n / 2, n / 2));
    }
    EXPECT_EQ(shadow.At(32, 32)[0], 0); // a shadow is black
}

TEST(FacadeTextures, AreTwentyFourDifferent24BitBitmaps)
{
    std::set<std::vector<uint8_t>> seen;
    for (int i = 1; i <= 24; ++i) {
        const std::string path = "xfile/map/b_" + std::to_string(i) + ".bmp";
        const auto bytes = FileBytes(path);
        ASSERT_GT(bytes.size(), 54u) << path;
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        EXPECT_EQ(bytes[28], 24) << path;
        EXPECT_EQ(bytes[30], 0) << path; // uncompressed
        Image img;
        ASSERT_TRUE(LoadTexture(path, img)) << path;
        EXPECT_TRUE(IsPowerOfTwo(img.width) && IsPowerOfTwo(img.height)) << path;
        // Windows on a wall: many different colours, not a flat fill.
        std::set<uint32_t> colours;
        for (int y = 0; y < img.height; y += 3)
            for (int x = 0; x < img.width; x += 3) {
                const uint8_t* p = img.At(x, y);
                colours.insert((p[0] >> 4) << 8 | (p[1] >> 4) << 4 | (p[2] >> 4));
            }
        EXPECT_GT(colours.size(), 12u) << path;
        EXPECT_TRUE(seen.insert(bytes).second) << path << " repeats another facade";
    }
}

TEST(ModelTextures, LoadAsPowerOfTwoBitmaps)
{
    for (const char* gamePath : {datagen::kTexSky, datagen::kTexOpeningGround, datagen::kTexStageGround, datagen::kTexRoad,
             datagen::kTexPavement, datagen::kTexSkin, datagen::kTexHair, datagen::kTexClothRina, datagen::kTexClothQuillabet,
             datagen::kTexClothPhill}) {
        std::string path(gamePath);
        ASSERT_EQ(path.rfind("data\\", 0), 0u) << path;
        path = path.substr(5);
        for (char& c : path)
            if (c == '\\')
                c = '/';
        Image img;
        ASSERT_TRUE(LoadTexture(path, img)) << path;
        EXPECT_TRUE(IsPowerOfTwo(img.width) && IsPowerOfTwo(img.height)) << path;
    }
}
