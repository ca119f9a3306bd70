// 20,000 lit, coloured triangles a frame at 640x480, drawn through the Direct3D layer with
// DrawPrimitiveUP in 20 batches (each with its own world matrix), against the same geometry
// drawn with plain OpenGL calls on the same context in the same run. The layer's time per
// frame should stay within 1.3 times that of plain OpenGL.
//
// Run: SDL_VIDEODRIVER=offscreen build/bench/bench_D3D9Draw [frames]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/d3d9/GlApi.h"
#include "platform/d3d9/Transforms.h"

namespace {

constexpr UINT kWidth = 640;
constexpr UINT kHeight = 480;
constexpr int kBatches = 20;
constexpr int kTrianglesPerBatch = 1000;

struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
};

// One batch: a strip of small triangles across a unit square, facing the camera, each corner
// with its own colour and a slightly tilted normal.
std::vector<Vertex> MakeBatch()
{
    std::vector<Vertex> v;
    const int columns = 25, rows = kTrianglesPerBatch / (columns * 2);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const float x0 = c / float(columns), x1 = (c + 1) / float(columns);
            const float y0 = r / float(rows), y1 = (r + 1) / float(rows);
            const D3DCOLOR colour = D3DCOLOR_ARGB(255, (c * 10) & 255, (r * 12) & 255, 200);
            const float tilt = 0.2f * std::sin(c * 0.7f + r);
            auto at = [&](float x, float y) { return Vertex{x, y, 0.0f, tilt, 0.0f, -1.0f, colour}; };
            v.push_back(at(x0, y0));
            v.push_back(at(x0, y1));
            v.push_back(at(x1, y1));
            v.push_back(at(x0, y0));
            v.push_back(at(x1, y1));
            v.push_back(at(x1, y0));
        }
    return v;
}

D3DMATRIX WorldOf(int batch)
{
    D3DMATRIX w = qv::d3d9::IdentityMatrix();
    w._41 = -2.5f + (batch % 5) * 1.0f;
    w._42 = -2.0f + (batch / 5) * 1.0f;
    w._43 = 0.01f * batch;
    return w;
}

D3DMATRIX Projection()
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    const float yScale = 1.0f / std::tan(0.785398185f / 2);
    m._11 = yScale / (float(kWidth) / kHeight);
    m._22 = yScale;
    m._33 = 100.0f / 99.0f;
    m._34 = 1.0f;
    m._43 = -100.0f / 99.0f;
    return m;
}

D3DMATRIX View()
{
    D3DMATRIX v = qv::d3d9::IdentityMatrix();
    v._43 = 6.0f; // the camera 6 units in front of the batches
    return v;
}

double DeviceFrames(IDirect3DDevice9* device, const std::vector<Vertex>& batch, int frames)
{
    const D3DMATRIX view = View(), projection = Projection();
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    D3DMATERIAL9 material = {};
    material.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    material.Ambient = D3DCOLORVALUE{1, 1, 1, 1};
    device->SetMaterial(&material);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{0.8f, 0.8f, 0.8f, 1};
    light.Direction = D3DVECTOR{0.3f, -0.2f, 1.0f};
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0x00303030);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
    const auto start = std::chrono::steady_clock::now();
    for (int f = 0; f < frames; ++f) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        for (int b = 0; b < kBatches; ++b) {
            const D3DMATRIX world = WorldOf(b);
            device->SetTransform(D3DTS_WORLD, &world);
            device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, kTrianglesPerBatch, batch.data(), sizeof(Vertex));
        }
        device->EndScene();
        qv::gl::g_api.Finish();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / frames;
}

// The same frames with OpenGL alone, on the device's target, states set the plain way.
double OpenGlFrames(const std::vector<Vertex>& batch, int frames)
{
    const qv::gl::Api& gl = qv::gl::g_api;
    gl.Viewport(0, 0, kWidth, kHeight);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LEQUAL);
    gl.DepthMask(GL_TRUE);
    gl.Disable(GL_CULL_FACE);
    gl.Disable(GL_BLEND);
    gl.Disable(GL_ALPHA_TEST);
    gl.Disable(GL_TEXTURE_2D);
    gl.Enable(GL_LIGHTING);
    const GLfloat ambient[4] = {0.19f, 0.19f, 0.19f, 1};
    gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    gl.LightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    gl.ColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    gl.Enable(GL_COLOR_MATERIAL);
    const GLfloat white[4] = {1, 1, 1, 1};
    gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
    const D3DMATRIX view = View();
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadMatrixf(&view.m[0][0]);
    const GLfloat diffuse[4] = {0.8f, 0.8f, 0.8f, 1}, position[4] = {-0.3f, 0.2f, -1.0f, 0};
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    gl.Lightfv(GL_LIGHT0, GL_POSITION, position);
    gl.Enable(GL_LIGHT0);
    const D3DMATRIX projection = Projection();
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadMatrixf(&projection.m[0][0]);
    gl.MatrixMode(GL_MODELVIEW);
    gl.EnableClientState(GL_VERTEX_ARRAY);
    gl.EnableClientState(GL_NORMAL_ARRAY);
    gl.EnableClientState(GL_COLOR_ARRAY);
    gl.DisableClientState(GL_TEXTURE_COORD_ARRAY);
    const auto start = std::chrono::steady_clock::now();
    for (int f = 0; f < frames; ++f) {
        gl.ClearColor(0, 0, 0, 1);
        gl.ClearDepth(1.0);
        gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (int b = 0; b < kBatches; ++b) {
            const D3DMATRIX worldView = qv::d3d9::Multiply(WorldOf(b), view);
            gl.LoadMatrixf(&worldView.m[0][0]);
            gl.VertexPointer(3, GL_FLOAT, sizeof(Vertex), &batch[0].x);
            gl.NormalPointer(GL_FLOAT, sizeof(Vertex), &batch[0].nx);
            gl.ColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(Vertex), &batch[0].color);
            gl.DrawArrays(GL_TRIANGLES, 0, kTrianglesPerBatch * 3);
        }
        gl.Finish();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / frames;
}

LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "QvBenchWindow";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "QvBenchWindow", "bench", WS_OVERLAPPEDWINDOW, 0, 0, kWidth, kHeight, nullptr,
                                  nullptr, nullptr, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params = {};
    params.BackBufferWidth = kWidth;
    params.BackBufferHeight = kHeight;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = window;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    if (!window || !d3d ||
        FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &params, &device))) {
        std::fprintf(stderr, "no device (is there a display, or SDL_VIDEODRIVER=offscreen?)\n");
        return 2;
    }
    const std::vector<Vertex> batch = MakeBatch();
    double layer = 1e9, plain = 1e9;
    // Alternate the two a few times and keep the best of each, so that neither pays for a
    // warm-up or a busy moment of the machine.
    for (int round = 0; round < 3; ++round) {
        DeviceFrames(device, batch, 10);
        layer = std::min(layer, DeviceFrames(device, batch, frames));
        OpenGlFrames(batch, 10);
        plain = std::min(plain, OpenGlFrames(batch, frames));
        device->Reset(&params); // the layer's record of the OpenGL state starts afresh
    }
    const double ratio = layer / plain;
    std::printf("%d lit triangles a frame at %ux%u, %d frames a measure\n", kBatches * kTrianglesPerBatch, kWidth,
                kHeight, frames);
    std::printf("Direct3D layer: %8.3f ms a frame (%7.1f frames/s)\n", layer * 1e3, 1.0 / layer);
    std::printf("plain OpenGL:   %8.3f ms a frame (%7.1f frames/s)\n", plain * 1e3, 1.0 / plain);
    std::printf("ratio %.3f (target at most 1.3): %s\n", ratio, ratio <= 1.3 ? "met" : "NOT met");
    device->Release();
    d3d->Release();
    DestroyWindow(window);
    return ratio <= 1.3 ? 0 : 1;
}
