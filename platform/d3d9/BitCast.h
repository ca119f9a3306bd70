// The bits of one value read as another type of the same size (a float render state as the
// DWORD Direct3D keeps, and back). Inside platform/d3d9 only.
#pragma once

#include <cstring>

namespace qv::d3d9 {

template <class To, class From>
To BitCast(const From& from)
{
    static_assert(sizeof(To) == sizeof(From), "the same size");
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

} // namespace qv::d3d9
