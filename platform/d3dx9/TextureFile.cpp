// D3DX's texture-file functions: TGA and BMP pictures into textures with D3DX's defaults, image
// information, and surfaces saved as BMP files.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/d3dx9/D3DX9Tex.h"
#include "platform/d3dx9/TextureImage.h"
#include "platform/win32/HostFile.h"

namespace {

using qv::d3dx::Image;

// The bytes of a file named the Windows way (QvFopen turns the name into the host's); false when it cannot be read whole.
bool ReadWholeFile(LPCSTR path, std::vector<uint8_t>& bytes)
{
    if (!path)
        return false;
    FILE* f = QvFopen(path, "rb");
    if (!f)
        return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    // A picture of the largest accepted size is far below this.
    ok = ok && size >= 0 && size <= (256L << 20) && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = size == 0 || std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    return ok;
}

UINT ChooseSize(UINT requested, UINT fromFile)
{
    if (requested == 0 || requested == D3DX_DEFAULT)
        return qv::d3dx::NextPowerOfTwo(fromFile);
    if (requested == D3DX_DEFAULT_NONPOW2 || requested == D3DX_FROM_FILE)
        return fromFile;
    return requested;
}

// Writes a level's pixels (B, G, R, A rows from the top) into a locked texture level.
HRESULT FillLevel(IDirect3DTexture9* texture, UINT level, const Image& image)
{
    D3DLOCKED_RECT locked;
    HRESULT hr = texture->LockRect(level, &locked, nullptr, 0);
    if (FAILED(hr))
        return hr;
    for (UINT y = 0; y < image.height; ++y)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * static_cast<size_t>(locked.Pitch),
                    &image.pixels[static_cast<size_t>(y) * image.width * 4], static_cast<size_t>(image.width) * 4);
    return texture->UnlockRect(level);
}

} // namespace

HRESULT WINAPI D3DXGetImageInfoFromFileInMemory(LPCVOID pSrcData, UINT SrcDataSize, D3DXIMAGE_INFO* pSrcInfo)
{
    if (!pSrcData || SrcDataSize == 0 || !pSrcInfo)
        return D3DERR_INVALIDCALL;
    return qv::d3dx::ReadImageInfo(static_cast<const uint8_t*>(pSrcData), SrcDataSize, *pSrcInfo);
}

HRESULT WINAPI D3DXGetImageInfoFromFileA(LPCSTR pSrcFile, D3DXIMAGE_INFO* pSrcInfo)
{
    if (!pSrcFile || !pSrcInfo)
        return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(pSrcFile, bytes) || bytes.empty())
        return D3DXERR_INVALIDDATA;
    return qv::d3dx::ReadImageInfo(bytes.data(), bytes.size(), *pSrcInfo);
}

HRESULT WINAPI D3DXCreateTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                                   UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                                                   D3DFORMAT Format, D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                                   D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY*,
                                                   LPDIRECT3DTEXTURE9* ppTexture)
{
    if (!pDevice || !pSrcData || SrcDataSize == 0 || !ppTexture)
        return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    D3DXIMAGE_INFO info;
    Image image;
    HRESULT hr = qv::d3dx::DecodeImage(static_cast<const uint8_t*>(pSrcData), SrcDataSize, info, image);
    if (FAILED(hr))
        return hr;

    // The colour key (0xAARRGGBB, alpha included) becomes transparent black.
    if (ColorKey != 0) {
        for (size_t i = 0; i < image.pixels.size(); i += 4) {
            const D3DCOLOR c = D3DCOLOR_ARGB(image.pixels[i + 3], image.pixels[i + 2], image.pixels[i + 1],
                                             image.pixels[i + 0]);
            if (c == ColorKey)
                std::memset(&image.pixels[i], 0, 4);
        }
    }

    const UINT width = ChooseSize(Width, info.Width);
    const UINT height = ChooseSize(Height, info.Height);
    const UINT fullChain = qv::d3dx::FullMipCount(width, height);
    const UINT levels = (MipLevels == 0 || MipLevels == D3DX_DEFAULT) ? fullChain
                        : MipLevels == D3DX_FROM_FILE                 ? 1
                                                                      : std::min(MipLevels, fullChain);
    D3DFORMAT format = Format;
    if (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE)
        format = info.Format;
    else if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8)
        // The nearest format the device has: with alpha when the picture or the request has it.
        format = (info.Format == D3DFMT_A8R8G8B8 || ColorKey != 0) ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    if (ColorKey != 0 && format == D3DFMT_X8R8G8B8 && Format == D3DFMT_UNKNOWN)
        format = D3DFMT_A8R8G8B8;

    IDirect3DTexture9* texture = nullptr;
    hr = pDevice->CreateTexture(width, height, levels, Usage, format, Pool, &texture, nullptr);
    if (FAILED(hr))
        return hr;
    const DWORD filter = Filter == D3DX_DEFAULT ? (D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER) : Filter;
    Image level = qv::d3dx::Resample(image, width, height, filter);
    for (UINT i = 0; i < levels && SUCCEEDED(hr); ++i) {
        if (i > 0) {
            // Each level from the one above: D3DX's default is a box filter, and so is ours
            // whatever is asked (POINT keeps every other pixel).
            level = (MipFilter & 0xFF) == D3DX_FILTER_POINT
                        ? qv::d3dx::Resample(level, std::max(1u, level.width / 2), std::max(1u, level.height / 2),
                                             D3DX_FILTER_POINT)
                        : qv::d3dx::HalveBox(level);
        }
        hr = FillLevel(texture, i, level);
    }
    if (FAILED(hr)) {
        texture->Release();
        return hr;
    }
    if (pSrcInfo)
        *pSrcInfo = info;
    *ppTexture = texture;
    return D3D_OK;
}

HRESULT WINAPI D3DXCreateTextureFromFileInMemory(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                                 LPDIRECT3DTEXTURE9* ppTexture)
{
    return D3DXCreateTextureFromFileInMemoryEx(pDevice, pSrcData, SrcDataSize, D3DX_DEFAULT, D3DX_DEFAULT,
                                               D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                               D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, UINT Width, UINT Height,
                                            UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                            DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                            D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                            LPDIRECT3DTEXTURE9* ppTexture)
{
    if (!pDevice || !pSrcFile || !ppTexture)
        return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(pSrcFile, bytes) || bytes.empty())
        return D3DXERR_INVALIDDATA;
    return D3DXCreateTextureFromFileInMemoryEx(pDevice, bytes.data(), static_cast<UINT>(bytes.size()), Width, Height,
                                               MipLevels, Usage, Format, Pool, Filter, MipFilter, ColorKey, pSrcInfo,
                                               pPalette, ppTexture);
}

HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, LPDIRECT3DTEXTURE9* ppTexture)
{
    return D3DXCreateTextureFromFileExA(pDevice, pSrcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                        nullptr, ppTexture);
}

HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                                      LPDIRECT3DSURFACE9 pSrcSurface, const PALETTEENTRY*, const RECT* pSrcRect)
{
    if (!pDestFile || !pSrcSurface || (DestFormat != D3DXIFF_BMP && DestFormat != D3DXIFF_DIB))
        return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    HRESULT hr = pSrcSurface->GetDesc(&desc);
    if (FAILED(hr))
        return hr;
    if (desc.Format != D3DFMT_A8R8G8B8 && desc.Format != D3DFMT_X8R8G8B8)
        return D3DERR_INVALIDCALL;
    RECT area = pSrcRect ? *pSrcRect : RECT{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    D3DLOCKED_RECT locked;
    hr = pSrcSurface->LockRect(&locked, &area, D3DLOCK_READONLY);
    if (FAILED(hr))
        return hr;
    const UINT w = static_cast<UINT>(area.right - area.left);
    const UINT h = static_cast<UINT>(area.bottom - area.top);
    // A surface with alpha is kept as a 32-bit picture; X8R8G8B8 becomes a 24-bit one.
    const bool alpha = desc.Format == D3DFMT_A8R8G8B8;
    const UINT bytesPerPixel = alpha ? 4 : 3;
    const UINT rowSize = (w * bytesPerPixel + 3) & ~3u;
    const UINT imageSize = rowSize * h;
    std::vector<uint8_t> file(54 + static_cast<size_t>(imageSize), 0);
    auto put16 = [&](size_t at, uint16_t v) {
        file[at] = static_cast<uint8_t>(v);
        file[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    put16(26, 1);
    put16(28, static_cast<uint16_t>(bytesPerPixel * 8));
    put32(34, imageSize);
    put32(38, 2835); // 72 dots per inch
    put32(42, 2835);
    // Rows from the bottom, as BMP keeps them.
    for (UINT y = 0; y < h; ++y) {
        const uint8_t* src = static_cast<const uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
        uint8_t* dst = &file[54 + static_cast<size_t>(h - 1 - y) * rowSize];
        for (UINT x = 0; x < w; ++x)
            std::memcpy(dst + static_cast<size_t>(x) * bytesPerPixel, src + static_cast<size_t>(x) * 4, bytesPerPixel);
    }
    pSrcSurface->UnlockRect();
    FILE* f = QvFopen(pDestFile, "wb");
    if (!f)
        return D3DERR_INVALIDCALL;
    const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed ? D3D_OK : D3DERR_INVALIDCALL;
}
