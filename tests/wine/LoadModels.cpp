// Loads every model of a data tree through the system's D3DX, as the game loads its models, and
// names each file that D3DX refuses. Built for Windows only; the Wine tests run it.
#include "platform/platform.h"
#include "tests/platform/xfile/XFileTestAllocator.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void FindModels(const std::string& folder, std::vector<std::string>& found)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            FindModels(path, found);
        else if (name.size() > 2 && name.compare(name.size() - 2, 2, ".x") == 0)
            found.push_back(path);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

int CountContainers(LPD3DXFRAME f)
{
    int n = 0;
    for (; f; f = f->pFrameSibling) {
        for (LPD3DXMESHCONTAINER c = f->pMeshContainer; c; c = c->pNextMeshContainer)
            ++n;
        n += CountContainers(f->pFrameFirstChild);
    }
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <data folder>\n", argv[0]);
        return 2;
    }
    std::vector<std::string> files;
    FindModels(argv[1], files);
    if (files.empty()) {
        std::fprintf(stderr, "no .x files under %s\n", argv[1]);
        return 2;
    }

    // D3DX builds its meshes on a device, which needs a window of its own.
    HWND window = CreateWindowA("STATIC", "models", WS_OVERLAPPED, 0, 0, 64, 64, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    IDirect3DDevice9* device = nullptr;
    if (!window || !d3d ||
        FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &pp, &device))) {
        std::fprintf(stderr, "no Direct3D device\n");
        return 2;
    }

    int failed = 0;
    for (const std::string& path : files) {
        xfixture::CountingAllocator alloc;
        LPD3DXFRAME root = nullptr;
        LPD3DXANIMATIONCONTROLLER controller = nullptr;
        const HRESULT hr = D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, device, &alloc, nullptr,
                                                      &root, &controller);
        const int containers = SUCCEEDED(hr) ? CountContainers(root) : 0;
        if (FAILED(hr) || containers == 0) {
            std::printf("FAILED %s: 0x%08lX, %d mesh containers\n", path.c_str(), static_cast<unsigned long>(hr),
                        containers);
            ++failed;
        }
        if (controller)
            controller->Release();
        if (root)
            D3DXFrameDestroy(root, &alloc);
    }
    std::printf("%d of %d models loaded\n", static_cast<int>(files.size()) - failed, static_cast<int>(files.size()));
    device->Release();
    d3d->Release();
    DestroyWindow(window);
    return failed ? 1 : 0;
}
