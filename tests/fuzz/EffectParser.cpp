// Fuzz target: the effect-file reader and its translation of vertex shaders. Whatever the
// bytes, the answer is a compiled effect or an error naming a line, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/d3dx9/EffectCompiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    qv::d3dx9::CompiledEffect effect;
    std::string errors;
    const bool ok = qv::d3dx9::CompileEffect(reinterpret_cast<const char*>(data), size, "fuzz.fx", effect, errors);
    if (ok != errors.empty())
        __builtin_trap();
    if (!ok && errors.rfind("fuzz.fx(", 0) != 0)
        __builtin_trap();
    if (ok && effect.techniques.empty())
        __builtin_trap();
    return 0;
}
