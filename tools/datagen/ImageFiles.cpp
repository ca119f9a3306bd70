#include "tools/datagen/ImageFiles.h"

namespace datagen {

namespace {
void Put16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
} // namespace

std::vector<uint8_t> EncodeTga(const CImage& image)
{
    const std::vector<uint8_t> rgba = image.ToRgba8();
    const int w = image.W(), h = image.H();
    std::vector<uint8_t> out;
    out.reserve(18 + rgba.size());
    out.push_back(0); // no image id
    out.push_back(0); // no colour map
    out.push_back(2); // uncompressed true colour
    for (int i = 0; i < 5; ++i)
        out.push_back(0); // colour map description (none)
    Put16(out, 0);        // x origin
    Put16(out, 0);        // y origin
    Put16(out, static_cast<uint32_t>(w));
    Put16(out, static_cast<uint32_t>(h));
    out.push_back(32);   // bits per pixel
    out.push_back(0x08); // 8 alpha bits, bottom-left origin
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
            out.push_back(p[3]);
        }
    return out;
}

std::vector<uint8_t> EncodeBmp(const CImage& image)
{
    const std::vector<uint8_t> rgba = image.ToRgba8();
    const int w = image.W(), h = image.H();
    const uint32_t stride = (static_cast<uint32_t>(w) * 3 + 3) & ~3u;
    const uint32_t dataSize = stride * static_cast<uint32_t>(h);
    std::vector<uint8_t> out;
    out.reserve(54 + dataSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + dataSize);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(w));
    Put32(out, static_cast<uint32_t>(h)); // positive: bottom-up
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0); // BI_RGB
    Put32(out, dataSize);
    Put32(out, 2835); // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        for (uint32_t pad = static_cast<uint32_t>(w) * 3; pad < stride; ++pad)
            out.push_back(0);
    }
    return out;
}

} // namespace datagen

#include "tools/datagen/DataTree.h"

namespace datagen {
void WriteTga(const CDataTree& tree, const std::string& relative, const CImage& image) { tree.Write(relative, EncodeTga(image)); }
void WriteBmp(const CDataTree& tree, const std::string& relative, const CImage& image) { tree.Write(relative, EncodeBmp(image)); }
} // namespace datagen
