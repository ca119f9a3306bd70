// Layout of the bitmap font texture, shared by the generator and its tests.
#pragma once

namespace datagen {

const int kFontTextureSize = 256;
const char kFontFirstChar = '0';
const int kFontCellCount = 64;    // '0' to 'o'
const char kFontBlankChar = '`';  // where a space wraps to: row -2 of 8 is row 6, column 0
const int kGlyphMin = 3;          // glyph pixels of a cell lie in [kGlyphMin, kGlyphMax)
const int kGlyphMax = 31;
const int kGlyphAdvanceWidth = 19; // widest glyph, texels: the game advances 20 of 32

} // namespace datagen
