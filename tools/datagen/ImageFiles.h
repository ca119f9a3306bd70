// Picture file writers: TGA (32-bit with alpha) and BMP (24-bit), as texture loaders read them.
#pragma once

#include "tools/datagen/Raster.h"

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

// Uncompressed 32-bit true-colour TGA, rows stored from the bottom (the format's default).
std::vector<uint8_t> EncodeTga(const CImage& image);
// Uncompressed 24-bit BMP (BITMAPINFOHEADER), rows from the bottom; alpha is dropped.
std::vector<uint8_t> EncodeBmp(const CImage& image);

} // namespace datagen

namespace datagen {
class CDataTree;
void WriteTga(const CDataTree& tree, const std::string& relative, const CImage& image);
void WriteBmp(const CDataTree& tree, const std::string& relative, const CImage& image);
} // namespace datagen
