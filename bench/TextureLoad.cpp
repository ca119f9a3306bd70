// Texture loading speed: loads per second of a 256x256 32-bit TGA through the texture cache
// (each load after the last release reads and decodes the file again, as a scene change does).
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"
#include "render/CDirectX9.h"

namespace {

bool WriteTga(const char* path, int size)
{
    std::vector<unsigned char> bytes(18, 0);
    bytes[2] = 2;
    bytes[12] = static_cast<unsigned char>(size);
    bytes[13] = static_cast<unsigned char>(size >> 8);
    bytes[14] = static_cast<unsigned char>(size);
    bytes[15] = static_cast<unsigned char>(size >> 8);
    bytes[16] = 32;
    bytes[17] = 0x28;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            bytes.push_back(static_cast<unsigned char>(x));
            bytes.push_back(static_cast<unsigned char>(y));
            bytes.push_back(static_cast<unsigned char>(x ^ y));
            bytes.push_back(static_cast<unsigned char>((x + y) / 2));
        }
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

HWND OpenWindow()
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QvTextureBench";
    RegisterClassExA(&wc);
    return CreateWindowExA(0, "QvTextureBench", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void BM_TextureLoad256(benchmark::State& state)
{
    for (auto _ : state) {
        CD3DSafeTexture texture;
        texture.CreateTexture(".\\data\\graphics\\bench.tga");
        texture.Release();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextureLoad256)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("SDL_VIDEODRIVER")) setenv("SDL_VIDEODRIVER", "offscreen", 1);
    char dir[] = "/tmp/qv_texture_bench_XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) return 1;
    mkdir("data", 0755);
    mkdir("data/graphics", 0755);
    if (!WriteTga("data/graphics/bench.tga", 256)) return 1;
    HWND window = OpenWindow();
    try {
        g_DirectX9.Init(window, 160, 120, TRUE, true);
    } catch (const char* text) {
        std::fprintf(stderr, "%s\n", text);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_DirectX9.Release();
    DestroyWindow(window);
    return 0;
}
