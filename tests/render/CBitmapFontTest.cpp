// The bitmap font and the 2D drawing beneath it, drawn headless and read back.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "RenderTestDevice.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "render/CBitmapFont.h"
#include "render/CDirectX9.h"
#include "render/Draw2D.h"
#include "support/FontFixture.h"

namespace {

// Every cell filled with a colour that names it: red = 4 x cell, green = 255 - 4 x cell.
std::vector<uint8_t> NumberedCellsTga()
{
    std::vector<uint8_t> rgba(256 * 256 * 4);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const int cell = (y / 32) * 8 + x / 32;
            uint8_t* p = &rgba[(static_cast<size_t>(y) * 256 + x) * 4];
            p[0] = static_cast<uint8_t>(cell * 4);
            p[1] = static_cast<uint8_t>(255 - cell * 4);
            p[2] = 128;
            p[3] = 255;
        }
    return qvtest::MakeTga(256, 256, rgba);
}

class CBitmapFontTest : public ::testing::Test {
protected:
    void Open(UINT width, UINT height, const std::vector<uint8_t>& font)
    {
        ASSERT_FALSE(rendertest::EnterTempDir("CBitmapFont").empty());
        mkdir("data", 0755);
        mkdir("data/graphics", 0755);
        qvtest::WriteFileBytes("data/graphics/font.tga", font);
        std::string error;
        ASSERT_TRUE(rendertest::OpenDevice(width, height, &error)) << error;
        ASSERT_TRUE(g_BitmapFont.Create());
        opened_ = true;
    }
    void TearDown() override
    {
        if (opened_) g_BitmapFont.Release();
        rendertest::CloseDevice();
    }

    bool opened_ = false;
};

bool IsBlack(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

} // namespace

TEST_F(CBitmapFontTest, PauseUsesItsFiveCells)
{
    Open(320, 240, NumberedCellsTga());
    EXPECT_EQ(256u, g_BitmapFont.Desc.Width);
    EXPECT_EQ(256u, g_BitmapFont.Desc.Height);
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    // 64x64 glyphs 80 apart in 640x480 units: 32x32 pixels 40 apart here.
    EXPECT_TRUE(g_BitmapFont.DrawString(0, 0, 64, 64, 80, 0xFFFFFFFF, "PAUSE"));
    const qvtest::Image image = rendertest::EndFrameAndRead();
    ASSERT_EQ(320, image.width);
    const int cells[5] = {32, 17, 37, 35, 21};
    for (int i = 0; i < 5; ++i) {
        const uint8_t* p = image.At(16 + 40 * i, 16);
        EXPECT_EQ(cells[i] * 4, p[0]) << "glyph " << i;
        EXPECT_EQ(255 - cells[i] * 4, p[1]) << "glyph " << i;
    }
    // Nothing past the fifth advance.
    EXPECT_TRUE(IsBlack(image.At(16 + 40 * 5, 16)));
}

TEST_F(CBitmapFontTest, AGlyphAt270_220IsHalvedIn320x240)
{
    Open(320, 240, NumberedCellsTga());
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    g_BitmapFont.DrawChar(270, 220, 32, 32, 0xFFFFFFFF, 'P');
    const qvtest::Image image = rendertest::EndFrameAndRead();
    // The drawn pixels form exactly the rectangle from (135, 110) to (151, 126).
    int left = image.width, top = image.height, right = -1, bottom = -1, drawn = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (!IsBlack(image.At(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
                ++drawn;
            }
    EXPECT_EQ(135, left);
    EXPECT_EQ(110, top);
    EXPECT_EQ(151, right);
    EXPECT_EQ(126, bottom);
    EXPECT_EQ(16 * 16, drawn);
}

TEST_F(CBitmapFontTest, AnEmptyTextDrawsNothing)
{
    Open(320, 240, NumberedCellsTga());
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    const uint64_t calls = qv::test::D3D9DeviceCallCount();
    EXPECT_TRUE(g_BitmapFont.DrawString(10, 10, 32, 32, 20, 0xFFFFFFFF, ""));
    EXPECT_EQ(calls, qv::test::D3D9DeviceCallCount());
    const qvtest::Image image = rendertest::EndFrameAndRead();
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) ASSERT_TRUE(IsBlack(image.At(x, y)));
}

TEST_F(CBitmapFontTest, PositionsAreScaledInPlaceByTheWidth)
{
    Open(320, 240, NumberedCellsTga());
    ASSERT_TRUE(rendertest::BeginFrame(0xFF000000));
    Vertex2DTex v[3] = {{100, 200, 0.5f, 1.0f, 0xFFFFFFFF, 0, 0},
                        {300, 200, 0.5f, 1.0f, 0xFFFFFFFF, 1, 0},
                        {100, 400, 0.5f, 1.0f, 0xFFFFFFFF, 0, 1}};
    g_pDevice->SetFVF(Vertex2DTex::FVF);
    DrawPrimitiveUP2D(D3DPT_TRIANGLELIST, 1, v, sizeof(Vertex2DTex));
    EXPECT_EQ(50.0f, v[0].x);
    EXPECT_EQ(100.0f, v[0].y);
    EXPECT_EQ(0.25f, v[0].z);
    EXPECT_EQ(1.0f, v[0].rhw);
    // Drawn twice, the same array is halved twice: callers build vertices anew each time.
    DrawPrimitiveUP2D(D3DPT_TRIANGLELIST, 1, v, sizeof(Vertex2DTex));
    EXPECT_EQ(75.0f, v[1].x);
    EXPECT_EQ(100.0f, v[2].y);

    // An unknown primitive type scales nothing but still reaches the device.
    Vertex2D d[2] = {{10, 20, 0, 1, 0xFFFFFFFF}, {30, 40, 0, 1, 0xFFFFFFFF}};
    const uint64_t calls = qv::test::D3D9DeviceCallCount();
    DrawPrimitiveUP2DDiffuse(static_cast<D3DPRIMITIVETYPE>(0), 1, d, sizeof(Vertex2D));
    EXPECT_EQ(calls + 1, qv::test::D3D9DeviceCallCount());
    EXPECT_EQ(10.0f, d[0].x);
    EXPECT_EQ(40.0f, d[1].y);
    rendertest::EndFrameAndRead();

    EXPECT_EQ(1u, VertexCountOf(D3DPT_POINTLIST, 1));
    EXPECT_EQ(6u, VertexCountOf(D3DPT_LINELIST, 3));
    EXPECT_EQ(4u, VertexCountOf(D3DPT_LINESTRIP, 3));
    EXPECT_EQ(9u, VertexCountOf(D3DPT_TRIANGLELIST, 3));
    EXPECT_EQ(5u, VertexCountOf(D3DPT_TRIANGLESTRIP, 3));
    EXPECT_EQ(4u, VertexCountOf(D3DPT_TRIANGLEFAN, 2));
}

TEST_F(CBitmapFontTest, PauseAndTheFpsLineLookRight)
{
    Open(320, 240, qvtest::MakeFontTga());
    ASSERT_TRUE(rendertest::BeginFrame(0xFF203040));
    g_BitmapFont.DrawString(270, 220, 32, 32, 20, 0xFFFFFFFF, "PAUSE");
    g_BitmapFont.DrawString(30, 450, 24, 24, 15, 0xFFFFFF00, "FPS: 60:60 CPU: 42");
    const qvtest::Image image = rendertest::EndFrameAndRead();
    const std::string diff = qvtest::CompareWithReference(image, "render/reference/BitmapFontPauseFps.png", 2);
    EXPECT_TRUE(diff.empty()) << diff;
}

TEST(CBitmapFont, AMissingFontTextureThrowsTheCacheText)
{
    ASSERT_FALSE(rendertest::EnterTempDir("CBitmapFontMissing").empty());
    std::string error;
    ASSERT_TRUE(rendertest::OpenDevice(64, 64, &error)) << error;
    std::string text;
    try {
        g_BitmapFont.Create();
    } catch (const char* t) {
        text = t;
    }
    EXPECT_EQ("Failed CD3DSafeTexture::CreateTexture D3DXCreateTextureFromFile[.\\data\\graphics\\font.tga]", text);
    g_BitmapFont.Release();
    rendertest::CloseDevice();
}
