// Prints double results that the game computes: the random generator's real values and a
// clock advanced in frames, exactly (their bits, in hexadecimal). Built for the host and for
// Windows; on Windows a Direct3D device is created first, without D3DCREATE_FPU_PRESERVE, as the
// game creates it, which leaves the x87 unit in single precision. Both must print the same.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/CRandomMT.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <float.h>

#include <initializer_list>

namespace {

// A hidden window and a device on it; false when no device can be made.
bool CreateDevice()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QV_DOUBLE_RESULTS";
    RegisterClassA(&wc);
    HWND window = CreateWindowA("QV_DOUBLE_RESULTS", "double results", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120, nullptr,
                                nullptr, wc.hInstance, nullptr);
    IDirect3D9* direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (!window || !direct3D)
        return false;
    D3DPRESENT_PARAMETERS params = {};
    params.BackBufferWidth = 160;
    params.BackBufferHeight = 120;
    params.BackBufferFormat = D3DFMT_UNKNOWN;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.hDeviceWindow = window;
    IDirect3DDevice9* device = nullptr;
    for (D3DDEVTYPE type : {D3DDEVTYPE_HAL, D3DDEVTYPE_REF})
        if (SUCCEEDED(direct3D->CreateDevice(D3DADAPTER_DEFAULT, type, window,
                                             D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED, &params,
                                             &device)))
            break;
    // The device is kept: its x87 setting holds while the game runs.
    return device != nullptr;
}

} // namespace
#endif

namespace {

void Print(const char* name, double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::printf("%s %016" PRIx64 "\n", name, bits);
}

} // namespace

int main()
{
#ifdef _WIN32
    if (!CreateDevice()) {
        std::fprintf(stderr, "no Direct3D device could be created\n");
        return 1;
    }
    const unsigned precision = _controlfp(0, 0) & _MCW_PC;
    std::fprintf(stderr, "x87 precision after CreateDevice: %s\n",
                 precision == _PC_24 ? "24 bits" : precision == _PC_53 ? "53 bits" : "64 bits");
#endif
    CRandomMT random(5489);
    double sum = 0.0;
    for (int i = 0; i < 100000; ++i) {
        const double real = random.GetReal();
        if (i < 8)
            Print("real", real);
        sum += real * real;
    }
    Print("sum of squares", sum);
    // The animation clock: a frame's time added 100000 times.
    double time = 0.0;
    for (int i = 0; i < 100000; ++i)
        time += 1.0 / 60.0;
    Print("clock", time);
    Print("quotient", sum / time);
    return 0;
}
