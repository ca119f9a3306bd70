// Fuzz target: a stream of Direct3D device calls chosen by the input (the generator of the
// unit tests', driven by the fuzzer's bytes), drawn with small draws gathered and again draw
// by draw; any difference in a result, a read-back or the picture stops the run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "support/D3D9CallStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One window and device for the whole run, drawn offscreen unless told otherwise.
    static qvtest::StreamRunner* runner = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("QV_MESSAGEBOX", "auto", 0);
        return new qvtest::StreamRunner();
    }();
    if (!runner->Ready())
        __builtin_trap();
    const qvtest::CallStream stream = qvtest::StreamFromBytes(data, size);
    if (stream.calls.empty())
        return 0;
    const std::string difference = runner->Compare(stream, nullptr);
    if (difference.empty())
        return 0;
    const std::vector<size_t> shortest = runner->Shrink(stream);
    std::fprintf(stderr, "gathered and alone differ: %s\n%s", difference.c_str(),
                 qvtest::DescribeStream(stream, shortest).c_str());
    __builtin_trap();
}
