// Reading TGA and BMP pictures into 32-bit pixels, and D3DX's resampling of them: scaling to
// the texture's size and box-filtered mip levels. No device is involved, so the fuzz target
// and the tests reach it directly. Inside platform/ only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3dx9/D3DX9Tex.h"

namespace qv::d3dx {

// A decoded picture: B, G, R, A bytes per pixel (D3DCOLOR order), rows from the top.
struct Image {
    UINT width = 0;
    UINT height = 0;
    std::vector<uint8_t> pixels;
};

// Largest side accepted from a file; larger ones are taken as corrupt data.
constexpr UINT kMaxImageSide = 4096;

// The file's size, format (A8R8G8B8 when it carries alpha, else X8R8G8B8) and kind;
// D3DXERR_INVALIDDATA for anything that is not a readable TGA or BMP.
HRESULT ReadImageInfo(const uint8_t* data, size_t size, D3DXIMAGE_INFO& info);
// Decodes the picture; pixels of X8R8G8B8 pictures get alpha 0xFF.
HRESULT DecodeImage(const uint8_t* data, size_t size, D3DXIMAGE_INFO& info, Image& image);

// Scales a picture to w x h with one of D3DX's filters (D3DX_FILTER_NONE crops or pads with
// black, POINT picks the nearest pixel, the others weigh the neighbours with a triangle).
Image Resample(const Image& source, UINT width, UINT height, DWORD filter);
// The next mip level: half the size (at least 1), each pixel the mean of the 2x2 block above.
Image HalveBox(const Image& source);

// Smallest power of two not below n (n >= 1).
UINT NextPowerOfTwo(UINT n);
// Number of levels of a full mip chain down to 1x1.
UINT FullMipCount(UINT width, UINT height);

} // namespace qv::d3dx
