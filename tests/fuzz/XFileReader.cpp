// Any byte string given to the .x reader is either read into a scene or refused with a
// message: never a crash, a hang or a read outside the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/d3dx9/XFileScene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    xfile::XScene scene;
    std::string error;
    if (!xfile::LoadScene(data, size, scene, error) && error.empty())
        __builtin_trap();
    return 0;
}
