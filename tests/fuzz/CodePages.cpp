// Any bytes as narrow text: the conversion to UTF-16 never reads or writes out of bounds,
// answers the same length when only measuring, and the text comes back unchanged through
// WideCharToMultiByte when it was well formed.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 1 << 16)
        return 0;
    const char* text = reinterpret_cast<const char*>(data);
    const int length = static_cast<int>(size);
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
    Check(needed > 0 && needed <= length);
    std::vector<WCHAR> wide(static_cast<size_t>(needed));
    Check(MultiByteToWideChar(CP_UTF8, 0, text, length, wide.data(), needed) == needed);
    // One unit short is refused, not cut.
    if (needed > 1)
        Check(MultiByteToWideChar(CP_UTF8, 0, text, length, wide.data(), needed - 1) == 0);
    const bool wellFormed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0) > 0;

    const int back = WideCharToMultiByte(CP_UTF8, 0, wide.data(), needed, nullptr, 0, nullptr, nullptr);
    Check(back > 0);
    std::string narrow(static_cast<size_t>(back), '\0');
    Check(WideCharToMultiByte(CP_UTF8, 0, wide.data(), needed, narrow.data(), back, nullptr, nullptr) == back);
    if (wellFormed)
        Check(narrow == std::string(text, size));
    return 0;
}
