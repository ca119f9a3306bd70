// Test pictures in TGA form: any RGBA picture, and a small bitmap font texture laid out like
// the game's (32x32 glyph cells, eight to a row, from '0'), so that "PAUSE" and the FPS line
// can be drawn without the generated data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

// Uncompressed 32-bit TGA, rows from the top; rgba holds width x height x 4 bytes.
std::vector<uint8_t> MakeTga(int width, int height, const std::vector<uint8_t>& rgba);

// 256x256: white glyphs with opaque alpha on a transparent ground for '0'-'9', ':' and
// 'A'-'Z'; every other cell is empty.
std::vector<uint8_t> MakeFontTga();

} // namespace qvtest
