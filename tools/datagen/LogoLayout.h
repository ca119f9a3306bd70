// Regions of the maker's logo texture (512x256) in pixels, shared by the generator and tests.
// The logo scene addresses them in texture coordinates: band v 0-0.375, emblem u 0-0.8125 and
// v 0.375-0.75, and along v 0.75-1 the dot (u 0-0.125), scan line (u 0.1289-0.2461), caption
// (u 0.26-0.5525) and light (u 0.5625-0.6875).
#pragma once

namespace datagen {

struct PixelRect {
    int x0, y0, x1, y1; // [x0, x1) x [y0, y1)
};

const int kLogoWidth = 512, kLogoHeight = 256;
const PixelRect kLogoBand{0, 0, 512, 96};
const PixelRect kLogoEmblem{0, 96, 416, 192};
const PixelRect kLogoDot{0, 192, 64, 256};
const PixelRect kLogoScanLine{66, 192, 126, 256};
const PixelRect kLogoCaption{134, 192, 282, 256};
const PixelRect kLogoLight{288, 192, 352, 256};

} // namespace datagen
