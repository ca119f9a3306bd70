// D3DX's texture files: TGA (uncompressed and run-length, 24 and 32 bits) and BMP (8-bit
// palette, 24 and 32 bits) with D3DX's defaults, the refusal of bad files, and BMP saving.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/d3dx9/TextureImage.h"
#include "platform/platform.h"
#include "support/D3D9Fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// An uncompressed TGA of 24 or 32 bits; `pixels` are B, G, R(, A) rows from the top, written
// bottom-up as TGA's default origin has it.
Bytes Tga(int w, int h, int bits, const Bytes& pixels)
{
    Bytes b(18, 0);
    b[2] = 2;
    Put16(b, 12, static_cast<uint16_t>(w));
    Put16(b, 14, static_cast<uint16_t>(h));
    b[16] = static_cast<uint8_t>(bits);
    b[17] = bits == 32 ? 8 : 0;
    const size_t row = static_cast<size_t>(w) * (bits / 8);
    for (int y = h - 1; y >= 0; --y)
        b.insert(b.end(), pixels.begin() + static_cast<long>(y * row), pixels.begin() + static_cast<long>((y + 1) * row));
    return b;
}

// A run-length TGA of 32 bits, top-left origin, one run packet per row of equal pixels.
Bytes TgaRle32(int w, int h, const std::vector<uint32_t>& rowColors)
{
    Bytes b(18, 0);
    b[2] = 10;
    Put16(b, 12, static_cast<uint16_t>(w));
    Put16(b, 14, static_cast<uint16_t>(h));
    b[16] = 32;
    b[17] = 0x20 | 8;
    for (int y = 0; y < h; ++y) {
        b.push_back(static_cast<uint8_t>(0x80 | (w - 1)));
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(rowColors[static_cast<size_t>(y)] >> (8 * i)));
    }
    return b;
}

// A BMP of 8 (with the palette), 24 or 32 bits; `pixels` are indexes or B, G, R(, X) rows from
// the top.
Bytes Bmp(int w, int h, int bits, const Bytes& pixels, const std::vector<uint32_t>& palette = {})
{
    const size_t bpp = static_cast<size_t>(bits / 8);
    const size_t row = (static_cast<size_t>(w) * bpp + 3) & ~size_t(3);
    const size_t offset = 54 + palette.size() * 4;
    Bytes b(offset + row * static_cast<size_t>(h), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, static_cast<uint32_t>(offset));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(w));
    Put32(b, 22, static_cast<uint32_t>(h));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<uint16_t>(bits));
    Put32(b, 46, static_cast<uint32_t>(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i)
        Put32(b, 54 + i * 4, palette[i]);
    for (int y = 0; y < h; ++y)
        std::memcpy(&b[offset + static_cast<size_t>(h - 1 - y) * row], &pixels[static_cast<size_t>(y * w) * bpp],
                    static_cast<size_t>(w) * bpp);
    return b;
}

class TextureFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(f.Create(32, 32));
        dir = qvtest::MakeTempDir("TextureFile");
    }
    std::string Write(const std::string& name, const Bytes& bytes)
    {
        const std::string path = dir + "/" + name;
        qvtest::WriteFileBytes(path, bytes);
        return path;
    }
    // Level `level` of a texture as 0xAARRGGBB values, rows from the top.
    static std::vector<DWORD> Texels(IDirect3DTexture9* texture, UINT level)
    {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked;
        std::vector<DWORD> out;
        if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY)))
            return out;
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x) {
                DWORD v;
                std::memcpy(&v, static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
                out.push_back(v);
            }
        texture->UnlockRect(level);
        return out;
    }

    qvtest::DeviceFixture f;
    std::string dir;
};

TEST_F(TextureFile, A24BitTgaIsRoundedUpToPowersOfTwoWithAFullMipChain)
{
    const Bytes pixels = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 0, 0, 0, 10, 20, 30};
    const std::string path = Write("odd.tga", Tga(3, 2, 24, pixels));
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3DXGetImageInfoFromFileA(path.c_str(), &info), D3D_OK);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);

    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(f.device, path.c_str(), &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 3u); // 4x2, 2x1, 1x1
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(desc.Height, 2u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    texture->GetLevelDesc(2, &desc);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    // The scaled picture keeps red at its left end and the file's order of rows.
    const std::vector<DWORD> top = Texels(texture, 0);
    EXPECT_EQ(top[0] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(top[4] & 0xFFFFFF, 0xFFFFFFu);
    texture->Release();
}

TEST_F(TextureFile, ARunLength32BitTgaKeepsItsAlphaAndItsLevelsAreBoxFiltered)
{
    const std::string path = Write("rle.tga", TgaRle32(2, 2, {0x80FF0000, 0xFF0000FF}));
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(f.device, path.c_str(), &texture), D3D_OK);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(texture->GetLevelCount(), 2u);
    EXPECT_EQ(Texels(texture, 0), (std::vector<DWORD>{0x80FF0000, 0x80FF0000, 0xFF0000FF, 0xFF0000FF}));
    const std::vector<DWORD> mean = Texels(texture, 1);
    ASSERT_EQ(mean.size(), 1u);
    EXPECT_NEAR(static_cast<int>(mean[0] >> 24), 0xC0, 1);
    EXPECT_NEAR(static_cast<int>((mean[0] >> 16) & 0xFF), 0x80, 1);
    EXPECT_NEAR(static_cast<int>(mean[0] & 0xFF), 0x80, 1);
    texture->Release();
}

TEST_F(TextureFile, BmpsOfEightTwentyFourAndThirtyTwoBitsReadTheirPixels)
{
    const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    const std::string eight = Write("p8.bmp", Bmp(2, 2, 8, {1, 2, 3, 0}, palette));
    const std::string twentyFour = Write("rgb.bmp", Bmp(2, 2, 24, {0, 0, 255, 0, 255, 0, 255, 0, 0, 9, 8, 7}));
    const std::string thirtyTwo =
        Write("x32.bmp", Bmp(2, 2, 32, {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 1, 2, 3, 0}));
    for (const std::string& path : {eight, twentyFour, thirtyTwo}) {
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileA(f.device, path.c_str(), &texture), D3D_OK) << path;
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8) << path;
        const std::vector<DWORD> t = Texels(texture, 0);
        ASSERT_EQ(t.size(), 4u);
        EXPECT_EQ(t[0] & 0xFFFFFF, 0xFF0000u) << path;
        EXPECT_EQ(t[1] & 0xFFFFFF, 0x00FF00u) << path;
        EXPECT_EQ(t[2] & 0xFFFFFF, 0x0000FFu) << path;
        texture->Release();
    }
}

TEST_F(TextureFile, BadFilesAreInvalidData)
{
    IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(0x1);
    EXPECT_EQ(D3DXCreateTextureFromFileA(f.device, (dir + "/missing.tga").c_str(), &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
    Bytes whole = Tga(8, 8, 24, Bytes(8 * 8 * 3, 0x40));
    Bytes truncated(whole.begin(), whole.begin() + 60);
    EXPECT_EQ(D3DXCreateTextureFromFileA(f.device, Write("short.tga", truncated).c_str(), &texture),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXCreateTextureFromFileA(f.device, Write("empty.bmp", {}).c_str(), &texture), D3DXERR_INVALIDDATA);
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1,
                       0,    0,   0,   1,   8,    2,    0,    0,    0};
    EXPECT_EQ(D3DXCreateTextureFromFileA(f.device, Write("picture.png", png).c_str(), &texture), D3DXERR_INVALIDDATA);
    Bytes huge = Tga(1, 1, 24, {1, 2, 3});
    Put16(huge, 12, 60000);
    Put16(huge, 14, 60000);
    EXPECT_EQ(D3DXCreateTextureFromFileA(f.device, Write("huge.tga", huge).c_str(), &texture), D3DXERR_INVALIDDATA);
    Bytes bmp = Bmp(2, 2, 24, Bytes(12, 0));
    Put32(bmp, 18, 0x7FFFFFFF);
    EXPECT_EQ(D3DXCreateTextureFromFileA(f.device, Write("wide.bmp", bmp).c_str(), &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(D3DXCreateTextureFromFileA(nullptr, "x.tga", &texture), D3DERR_INVALIDCALL);
    Bytes rle = TgaRle32(4, 4, {1, 2, 3, 4});
    rle.resize(rle.size() - 3);
    EXPECT_EQ(D3DXCreateTextureFromFileA(f.device, Write("short_rle.tga", rle).c_str(), &texture),
              D3DXERR_INVALIDDATA);
    Bytes shortBmp = Bmp(4, 4, 24, Bytes(48, 7));
    shortBmp.resize(shortBmp.size() - 1);
    EXPECT_EQ(D3DXCreateTextureFromFileA(f.device, Write("short.bmp", shortBmp).c_str(), &texture),
              D3DXERR_INVALIDDATA);
}

TEST_F(TextureFile, ASurfaceSavedAsBmpReadsBackAlike)
{
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}) {
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(f.device->CreateTexture(3, 2, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        const DWORD colours[6] = {0xFFFF0000, 0x8000FF00, 0xFF0000FF, 0xFF010203, 0x40FFFFFF, 0xFF000000};
        for (int y = 0; y < 2; ++y)
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &colours[y * 3], 12);
        texture->UnlockRect(0);
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
        const std::string path = dir + "\\saved.bmp"; // a Windows-style name
        ASSERT_EQ(D3DXSaveSurfaceToFileA(path.c_str(), D3DXIFF_BMP, surface, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(D3DXSaveSurfaceToFileA(path.c_str(), D3DXIFF_PNG, surface, nullptr, nullptr), D3DERR_INVALIDCALL);
        surface->Release();

        const Bytes file = qvtest::ReadFileBytes(dir + "/saved.bmp");
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(file[28], format == D3DFMT_A8R8G8B8 ? 32 : 24);
        IDirect3DTexture9* loaded = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileExA(f.device, (dir + "/saved.bmp").c_str(), D3DX_DEFAULT_NONPOW2,
                                               D3DX_DEFAULT_NONPOW2, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                               D3DX_FILTER_NONE, D3DX_DEFAULT, 0, nullptr, nullptr, &loaded),
                  D3D_OK);
        const std::vector<DWORD> back = Texels(loaded, 0);
        ASSERT_EQ(back.size(), 6u);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(back[static_cast<size_t>(i)] & 0xFFFFFF, colours[i] & 0xFFFFFF) << i;
        loaded->Release();
        texture->Release();
    }
}

TEST(TextureImage, SizesAndFilters)
{
    EXPECT_EQ(qv::d3dx::NextPowerOfTwo(1), 1u);
    EXPECT_EQ(qv::d3dx::NextPowerOfTwo(3), 4u);
    EXPECT_EQ(qv::d3dx::NextPowerOfTwo(64), 64u);
    EXPECT_EQ(qv::d3dx::NextPowerOfTwo(65), 128u);
    EXPECT_EQ(qv::d3dx::FullMipCount(256, 1), 9u);
    EXPECT_EQ(qv::d3dx::FullMipCount(1, 1), 1u);
    qv::d3dx::Image image;
    image.width = 3;
    image.height = 1;
    image.pixels = {0, 0, 0, 255, 90, 90, 90, 255, 200, 200, 200, 255};
    const qv::d3dx::Image half = qv::d3dx::HalveBox(image);
    ASSERT_EQ(half.width, 1u);
    EXPECT_EQ(half.pixels[0], 45);
    // A constant picture stays constant however it is scaled.
    qv::d3dx::Image flat;
    flat.width = 5;
    flat.height = 3;
    flat.pixels.assign(5 * 3 * 4, 77);
    const qv::d3dx::Image scaled = qv::d3dx::Resample(flat, 8, 4, D3DX_DEFAULT);
    for (uint8_t v : scaled.pixels)
        ASSERT_EQ(v, 77);
    const qv::d3dx::Image cropped = qv::d3dx::Resample(flat, 8, 4, D3DX_FILTER_NONE);
    EXPECT_EQ(cropped.pixels[0], 77);
    EXPECT_EQ(cropped.pixels[(3 * 8 + 7) * 4], 0);
}

} // namespace
