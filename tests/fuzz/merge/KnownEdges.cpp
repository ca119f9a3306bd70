// A fuzz target whose edges are known, for the test of the seed merge: each of the letters 'a'
// to 'h' anywhere in an input reaches a branch of its own. Built without optimisation, so that
// every branch stays an edge.
#include <cstddef>
#include <cstdint>

static volatile int g_sink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 'a') g_sink = 1;
        if (data[i] == 'b') g_sink = 2;
        if (data[i] == 'c') g_sink = 3;
        if (data[i] == 'd') g_sink = 4;
        if (data[i] == 'e') g_sink = 5;
        if (data[i] == 'f') g_sink = 6;
        if (data[i] == 'g') g_sink = 7;
        if (data[i] == 'h') g_sink = 8;
    }
    return 0;
}
