#include "support/D3D9Fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qvtest {

namespace {

LRESULT CALLBACK DeviceWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

const char* DeviceWindowClass()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DeviceWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QvDeviceTestWindow";
        registered = RegisterClassExA(&wc) != 0;
    }
    return "QvDeviceTestWindow";
}

} // namespace

HWND MakeDeviceWindow(int width, int height)
{
    RECT rect = {0, 0, width, height};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExA(0, DeviceWindowClass(), "device test", WS_OVERLAPPEDWINDOW, 0, 0,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window)
        ShowWindow(window, SW_SHOW);
    return window;
}

D3DPRESENT_PARAMETERS WindowedParameters(HWND window, UINT width, UINT height, D3DFORMAT depth)
{
    D3DPRESENT_PARAMETERS p;
    std::memset(&p, 0, sizeof p);
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = window;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = depth;
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return p;
}

Image ReadBackBuffer(IDirect3DDevice9* device)
{
    Image image;
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface)))
        return image;
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    if (SUCCEEDED(surface->GetDesc(&desc)) && SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        image.width = static_cast<int>(desc.Width);
        image.height = static_cast<int>(desc.Height);
        image.rgba.resize(static_cast<size_t>(image.width) * image.height * 4);
        for (int y = 0; y < image.height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
            for (int x = 0; x < image.width; ++x) {
                uint8_t* out = image.At(x, y);
                out[0] = row[x * 4 + 2];
                out[1] = row[x * 4 + 1];
                out[2] = row[x * 4 + 0];
                out[3] = row[x * 4 + 3];
            }
        }
        surface->UnlockRect();
    }
    surface->Release();
    return image;
}

bool DeviceFixture::Create(UINT width, UINT height, D3DFORMAT depth)
{
    window = MakeDeviceWindow(static_cast<int>(width), static_cast<int>(height));
    EXPECT_NE(window, nullptr);
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    EXPECT_NE(d3d, nullptr);
    if (!window || !d3d)
        return false;
    params = WindowedParameters(window, width, height, depth);
    const HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device);
    EXPECT_EQ(hr, D3D_OK);
    return SUCCEEDED(hr) && device;
}

DeviceFixture::~DeviceFixture()
{
    if (device)
        device->Release();
    if (d3d)
        d3d->Release();
    if (window)
        DestroyWindow(window);
}

} // namespace qvtest
