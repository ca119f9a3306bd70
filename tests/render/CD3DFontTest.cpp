// The GDI font pair sized from the screen.
#include <gtest/gtest.h>

#include "render/CD3DFont.h"

TEST(CFontPair, SizesFollowTheScreen)
{
    FontDesc desc = CFontPair::Description(320, 240);
    EXPECT_EQ(-12, desc.Height);
    EXPECT_EQ(6, desc.Width);
    EXPECT_EQ(SHIFTJIS_CHARSET, desc.CharSet);
    EXPECT_STREQ("ＭＳ ゴシック", desc.FaceName);
    EXPECT_EQ(0, desc.Weight);
    desc = CFontPair::Description(640, 480);
    EXPECT_EQ(-24, desc.Height);
    EXPECT_EQ(12, desc.Width);
    // Integer divisions: 479 / 40 = 11, 52 / 53 = 0.
    desc = CFontPair::Description(52, 479);
    EXPECT_EQ(-22, desc.Height);
    EXPECT_EQ(0, desc.Width);
}

TEST(CFontPair, CreateMakesAWhiteAndABlackFontAndReleaseEmptiesThePair)
{
    CFontPair pair;
    pair.Create(320, 240);
    ASSERT_NE(nullptr, pair.White);
    ASSERT_NE(nullptr, pair.Black);
    EXPECT_NE(nullptr, pair.White->Font);
    EXPECT_NE(nullptr, pair.Black->Font);
    EXPECT_EQ(0xFFFFFFu, pair.White->Color);
    EXPECT_EQ(0u, pair.Black->Color);
    EXPECT_EQ(320, pair.Width);
    EXPECT_EQ(240, pair.Height);

    // As the message hook does after every command: release, then create again.
    pair.Release();
    EXPECT_EQ(nullptr, pair.White);
    EXPECT_EQ(nullptr, pair.Black);
    pair.Release();
    pair.Create(640, 480);
    EXPECT_EQ(640, pair.Width);
    pair.Release();
}

TEST(CD3DFont, CreatingAgainReplacesTheFont)
{
    CD3DFont font;
    EXPECT_EQ(nullptr, font.Font);
    EXPECT_EQ(0xFFFFFFu, font.Color);
    FontDesc desc = CFontPair::Description(640, 480);
    desc.Color = 0x123456;
    font.CreateFont(desc);
    EXPECT_NE(nullptr, font.Font);
    EXPECT_EQ(0x123456u, font.Color);
    desc.Color = 0;
    font.CreateFont(desc);
    EXPECT_NE(nullptr, font.Font);
    EXPECT_EQ(0u, font.Color);
    font.DeleteFont();
    EXPECT_EQ(nullptr, font.Font);
    font.DeleteFont();
    // No surface or device context was ever taken.
    font.EndFont();
    EXPECT_EQ(nullptr, font.Surface);
    EXPECT_EQ(nullptr, font.DC);
}
