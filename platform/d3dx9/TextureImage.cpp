#include "platform/d3dx9/TextureImage.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace qv::d3dx {

namespace {

uint16_t Read16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Which of the two file kinds this is, and whether its pixels carry alpha; false for
// anything else.
bool Identify(const uint8_t* data, size_t size, D3DXIMAGE_FILEFORMAT& kind, bool& alpha)
{
    alpha = false;
    if (size >= 26 && data[0] == 'B' && data[1] == 'M') {
        kind = D3DXIFF_BMP;
        const uint32_t headerSize = Read32(data + 14);
        if (headerSize >= 40 && size >= 34) {
            const uint16_t bits = Read16(data + 28);
            const uint32_t compression = Read32(data + 30);
            // Only a 32-bit picture with an explicit alpha mask has alpha.
            if (bits == 32 && compression == 3 && headerSize >= 56 && size >= 70)
                alpha = Read32(data + 66) != 0;
        }
        return true;
    }
    if (size >= 18) {
        const uint8_t colorMapType = data[1];
        const uint8_t imageType = data[2];
        const uint8_t depth = data[16];
        const bool validType = imageType == 1 || imageType == 2 || imageType == 3 || imageType == 9 ||
                               imageType == 10 || imageType == 11;
        const bool validDepth = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
        if (colorMapType <= 1 && validType && validDepth) {
            kind = D3DXIFF_TGA;
            const uint8_t mapDepth = data[7];
            const bool mapped = imageType == 1 || imageType == 9;
            const uint8_t pixelBits = mapped ? mapDepth : depth;
            alpha = pixelBits == 32 || (pixelBits == 16 && (data[17] & 0x0F) != 0);
            return true;
        }
    }
    return false;
}

// Whether the file holds every byte its header announces. The decoder would read zeros past
// the end of a short file; D3DX refuses such a file, and so does this reader.
bool WholeTga(const uint8_t* data, size_t size)
{
    const size_t idLength = data[0];
    const bool colorMap = data[1] == 1;
    const uint8_t imageType = data[2];
    const size_t mapLength = Read16(data + 5);
    const size_t mapBytes = (static_cast<size_t>(data[7]) + 7) / 8;
    const size_t width = Read16(data + 12), height = Read16(data + 14);
    const size_t pixelBytes = (static_cast<size_t>(data[16]) + 7) / 8;
    size_t pos = 18 + idLength + (colorMap ? mapLength * mapBytes : 0);
    const size_t pixels = width * height;
    if (imageType < 9)
        return pos <= size && pixels * pixelBytes <= size - pos;
    // Run-length packets: a header byte, then one pixel (a run) or count pixels (raw).
    for (size_t done = 0; done < pixels;) {
        if (pos >= size)
            return false;
        const uint8_t header = data[pos++];
        const size_t count = static_cast<size_t>(header & 0x7F) + 1;
        pos += (header & 0x80) ? pixelBytes : count * pixelBytes;
        if (pos > size)
            return false;
        done += count;
    }
    return true;
}

bool WholeBmp(const uint8_t* data, size_t size)
{
    if (size < 26)
        return false;
    const size_t offset = Read32(data + 10);
    const uint32_t headerSize = Read32(data + 14);
    int64_t width, height;
    uint32_t bits, compression = 0;
    if (headerSize == 12) {
        width = Read16(data + 18);
        height = Read16(data + 20);
        bits = Read16(data + 24);
    } else {
        if (size < 34)
            return false;
        width = static_cast<int32_t>(Read32(data + 18));
        height = static_cast<int32_t>(Read32(data + 22));
        bits = Read16(data + 28);
        compression = Read32(data + 30);
    }
    if (width <= 0 || height == 0 || bits == 0 || bits > 32)
        return false;
    if (height < 0)
        height = -height;
    // Compressed pixel data has no fixed size; the decoder refuses what it cannot read.
    if (compression != 0 && compression != 3)
        return true;
    const uint64_t row = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
    return offset <= size && row * static_cast<uint64_t>(height) <= size - offset;
}

float Channel(const Image& image, UINT x, UINT y, int c)
{
    return image.pixels[(static_cast<size_t>(y) * image.width + x) * 4 + static_cast<size_t>(c)];
}

// Weights of the source samples that make up destination sample `d` along one axis.
struct Tap {
    UINT index;
    float weight;
};

std::vector<std::vector<Tap>> TriangleTaps(UINT sourceSize, UINT destSize)
{
    std::vector<std::vector<Tap>> taps(destSize);
    const double scale = static_cast<double>(sourceSize) / destSize;
    const double radius = std::max(1.0, scale);
    for (UINT d = 0; d < destSize; ++d) {
        const double centre = (d + 0.5) * scale - 0.5;
        const long first = static_cast<long>(std::ceil(centre - radius));
        const long last = static_cast<long>(std::floor(centre + radius));
        float total = 0.0f;
        for (long i = first; i <= last; ++i) {
            const float w = static_cast<float>(1.0 - std::fabs(i - centre) / radius);
            if (w <= 0.0f)
                continue;
            const UINT clamped = static_cast<UINT>(std::min<long>(std::max<long>(i, 0), static_cast<long>(sourceSize) - 1));
            taps[d].push_back(Tap{clamped, w});
            total += w;
        }
        if (taps[d].empty()) {
            taps[d].push_back(Tap{std::min<UINT>(static_cast<UINT>(std::max<long>(0, std::lround(centre))),
                                                 sourceSize - 1),
                                  1.0f});
            total = 1.0f;
        }
        for (Tap& t : taps[d])
            t.weight /= total;
    }
    return taps;
}

uint8_t ToByte(float v)
{
    return static_cast<uint8_t>(std::min(255.0f, std::max(0.0f, v + 0.5f)));
}

} // namespace

UINT NextPowerOfTwo(UINT n)
{
    UINT p = 1;
    while (p < n && p < 0x80000000u)
        p <<= 1;
    return p;
}

UINT FullMipCount(UINT width, UINT height)
{
    UINT levels = 1;
    while (width > 1 || height > 1) {
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
        ++levels;
    }
    return levels;
}

HRESULT ReadImageInfo(const uint8_t* data, size_t size, D3DXIMAGE_INFO& info)
{
    if (!data || size == 0 || size > static_cast<size_t>(INT_MAX))
        return D3DXERR_INVALIDDATA;
    D3DXIMAGE_FILEFORMAT kind;
    bool alpha;
    if (!Identify(data, size, kind, alpha))
        return D3DXERR_INVALIDDATA;
    int w = 0, h = 0, comp = 0;
    if (!stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &comp))
        return D3DXERR_INVALIDDATA;
    if (w <= 0 || h <= 0 || static_cast<UINT>(w) > kMaxImageSide || static_cast<UINT>(h) > kMaxImageSide)
        return D3DXERR_INVALIDDATA;
    if (!(kind == D3DXIFF_TGA ? WholeTga(data, size) : WholeBmp(data, size)))
        return D3DXERR_INVALIDDATA;
    info = D3DXIMAGE_INFO{static_cast<UINT>(w), static_cast<UINT>(h), 1, 1,
                          alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8, D3DRTYPE_TEXTURE, kind};
    return D3D_OK;
}

HRESULT DecodeImage(const uint8_t* data, size_t size, D3DXIMAGE_INFO& info, Image& image)
{
    HRESULT hr = ReadImageInfo(data, size, info);
    if (FAILED(hr))
        return hr;
    int w = 0, h = 0, comp = 0;
    stbi_uc* rgba = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &comp, 4);
    if (!rgba)
        return D3DXERR_INVALIDDATA;
    if (static_cast<UINT>(w) != info.Width || static_cast<UINT>(h) != info.Height) {
        stbi_image_free(rgba);
        return D3DXERR_INVALIDDATA;
    }
    image.width = info.Width;
    image.height = info.Height;
    image.pixels.resize(static_cast<size_t>(w) * h * 4);
    const bool opaque = info.Format == D3DFMT_X8R8G8B8;
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        image.pixels[i + 0] = rgba[i + 2];
        image.pixels[i + 1] = rgba[i + 1];
        image.pixels[i + 2] = rgba[i + 0];
        image.pixels[i + 3] = opaque ? 0xFF : rgba[i + 3];
    }
    stbi_image_free(rgba);
    return D3D_OK;
}

Image Resample(const Image& source, UINT width, UINT height, DWORD filter)
{
    Image out;
    out.width = width;
    out.height = height;
    out.pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    if (source.width == width && source.height == height) {
        out.pixels = source.pixels;
        return out;
    }
    const DWORD kind = filter & 0xFF;
    if (kind == D3DX_FILTER_NONE) {
        // No scaling: the picture at the top left, transparent black outside it.
        const UINT w = std::min(width, source.width), h = std::min(height, source.height);
        for (UINT y = 0; y < h; ++y)
            std::memcpy(&out.pixels[static_cast<size_t>(y) * width * 4],
                        &source.pixels[static_cast<size_t>(y) * source.width * 4], static_cast<size_t>(w) * 4);
        return out;
    }
    if (kind == D3DX_FILTER_POINT) {
        for (UINT y = 0; y < height; ++y) {
            const UINT sy = std::min(source.height - 1, static_cast<UINT>((y + 0.5) * source.height / height));
            for (UINT x = 0; x < width; ++x) {
                const UINT sx = std::min(source.width - 1, static_cast<UINT>((x + 0.5) * source.width / width));
                std::memcpy(&out.pixels[(static_cast<size_t>(y) * width + x) * 4],
                            &source.pixels[(static_cast<size_t>(sy) * source.width + sx) * 4], 4);
            }
        }
        return out;
    }
    // Linear, triangle, box and the default: a triangle filter, separable, edges clamped.
    const auto tapsX = TriangleTaps(source.width, width);
    const auto tapsY = TriangleTaps(source.height, height);
    std::vector<float> rows(static_cast<size_t>(width) * source.height * 4);
    for (UINT y = 0; y < source.height; ++y)
        for (UINT x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) {
                float v = 0.0f;
                for (const Tap& t : tapsX[x])
                    v += t.weight * Channel(source, t.index, y, c);
                rows[(static_cast<size_t>(y) * width + x) * 4 + static_cast<size_t>(c)] = v;
            }
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) {
                float v = 0.0f;
                for (const Tap& t : tapsY[y])
                    v += t.weight * rows[(static_cast<size_t>(t.index) * width + x) * 4 + static_cast<size_t>(c)];
                out.pixels[(static_cast<size_t>(y) * width + x) * 4 + static_cast<size_t>(c)] = ToByte(v);
            }
    return out;
}

Image HalveBox(const Image& source)
{
    Image out;
    out.width = std::max(1u, source.width / 2);
    out.height = std::max(1u, source.height / 2);
    out.pixels.resize(static_cast<size_t>(out.width) * out.height * 4);
    for (UINT y = 0; y < out.height; ++y) {
        const UINT y0 = std::min(source.height - 1, y * 2), y1 = std::min(source.height - 1, y * 2 + 1);
        for (UINT x = 0; x < out.width; ++x) {
            const UINT x0 = std::min(source.width - 1, x * 2), x1 = std::min(source.width - 1, x * 2 + 1);
            for (int c = 0; c < 4; ++c) {
                const float sum = Channel(source, x0, y0, c) + Channel(source, x1, y0, c) +
                                  Channel(source, x0, y1, c) + Channel(source, x1, y1, c);
                out.pixels[(static_cast<size_t>(y) * out.width + x) * 4 + static_cast<size_t>(c)] = ToByte(sum * 0.25f);
            }
        }
    }
    return out;
}

} // namespace qv::d3dx
