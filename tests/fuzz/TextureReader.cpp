// Fuzz target: the TGA and BMP reader behind D3DXCreateTextureFromFile, with the resampling
// that a successful read goes on to.
#include <cstddef>
#include <cstdint>

#include "platform/d3dx9/TextureImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    D3DXIMAGE_INFO info;
    qv::d3dx::Image image;
    if (FAILED(qv::d3dx::DecodeImage(data, size, info, image)))
        return 0;
    if (image.pixels.size() != static_cast<size_t>(info.Width) * info.Height * 4)
        __builtin_trap();
    // Keep each run short: the filters are only exercised on small pictures.
    if (static_cast<size_t>(info.Width) * info.Height > 64 * 64)
        return 0;
    qv::d3dx::Image level = qv::d3dx::Resample(image, qv::d3dx::NextPowerOfTwo(info.Width),
                                               qv::d3dx::NextPowerOfTwo(info.Height), D3DX_DEFAULT);
    while (level.width > 1 || level.height > 1)
        level = qv::d3dx::HalveBox(level);
    return 0;
}
