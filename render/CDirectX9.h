// The device owner: the one Direct3D object and device of the process, created with its
// fallbacks, cleared and presented each drawn frame, reset after device loss and on screen-mode
// changes; the camera projection, the clear parameters and screen captures; and the cache of
// device states through which every render, texture-stage and sampler state, transform,
// material and texture binding of the system goes.
#pragma once

#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"

class CDirectX9 {
public:
    // Field of view (vertical, radians), near and far clip distances, and tan(fov / 2).
    struct ProjectionRecord {
        float FieldOfView;
        float Near;
        float Far;
        float TanHalfFieldOfView;
    };
    // The six arguments of the per-frame Clear, in its order.
    struct ClearRecord {
        DWORD Count;
        const D3DRECT* Rects;
        DWORD Flags;
        D3DCOLOR Color;
        float Z;
        DWORD Stencil;
    };

    virtual ~CDirectX9();

    // Creates the device on the window; throws the failure texts of the device owner.
    void Init(HWND hWnd, UINT width, UINT height, bool windowed, bool want24BitDepthWithStencil);
    static void Release();
    // True when the frame may be drawn: cleared and begun. False while the device is lost and
    // in the frame in which it is reset.
    static bool BeginRender();
    static bool EndRender();
    // Re-applies every cached state, transform, material, stage texture and light.
    static void RestoreDevice();
    // Resets the device in the new mode and commits it to the settings only when that works;
    // a full-screen mode must be one that the adapter lists.
    static void ChangeScreenMode(UINT width, UINT height, bool windowed, bool waitVsync);
    // Whether the adapter lists a full-screen mode of this size in the desktop's format.
    static bool IsFullScreenModeListed(UINT width, UINT height);
    // Saves the back buffer as a BMP file.
    static void SaveScreen(const char* fileName);
    // Saves the next frame drawn as a BMP file, just before it is presented, then beeps.
    static void CaptureNextFrame(const char* fileName);
    // Saves the captures still waiting for a frame from the picture on the screen (the frame
    // presented last): for a game that ends before it draws again, while its window is shown.
    static void SaveCapturesFromScreen();
    // The failure of the last capture that could not be written, once; null when none.
    static const char* TakeCaptureFailure();
    void SetProjection(const float& fieldOfView, const float& nearZ, const float& farZ);
    void GetProjection(ProjectionRecord& projection) const;
    static void SetClearParam(const ClearRecord& clear);
    static const UINT& GetWidth() { return PresentParameters.BackBufferWidth; }
    static const UINT& GetHeight() { return PresentParameters.BackBufferHeight; }

    // The state cache. Each setter calls the device only when the value differs from the
    // cached one, and throws its failure text for a number that is not a state of Direct3D 9.
    static void InitSafeSetState();
    static void SafeSetRenderState(D3DRENDERSTATETYPE state, DWORD value);
    static void SafeSetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value);
    static void SafeSetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE state, DWORD value);
    static void SafeSetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix);
    static const D3DMATRIX& SafeGetTransform(D3DTRANSFORMSTATETYPE state);
    static void SafeSetMaterial(const D3DMATERIAL9& material);
    static void SafeSetTexture(DWORD stage, CD3DSafeTexture& texture);
    static void SafeCreateTexture(const char* path, CD3DSafeTexture& texture);
    static void SafeReleaseTexture(CD3DSafeTexture& texture);
    static void SafeRestoreRenderState();
    static void SafeRestoreTextureStageState();
    static void SafeRestoreSamplerState();
    static void SafeRestoreTransform();
    static void SafeRestoreMaterial();
    static void SafeRestoreTexture();

    static constexpr UINT MAX_RENDERSTATENUM = 256;
    static constexpr UINT MAX_TEXTURESTAGESTATENUM = 256;
    static constexpr UINT MAX_SAMPLERSTATENUM = 256;
    static constexpr UINT MAX_TRANSFORMSTATENUM = 260;
    static constexpr UINT TEXTURE_STAGES = 8;
    static constexpr UINT SAMPLERS = 16;

    static IDirect3D9* Direct3D;
    static IDirect3DDevice9* Device;
    static D3DPRESENT_PARAMETERS PresentParameters;
    static ClearRecord ClearParam;
    static D3DMATERIAL9 Material;
    static CD3DSafeTexture StageTexture[TEXTURE_STAGES];

    ProjectionRecord Projection;

private:
    void InitDevice();
    // Saves the client area of the picture on the screen as a BMP file.
    static void SaveFrontBuffer(const char* fileName);
    // The window's style, size and place for the mode, as the main object gives them.
    static void ApplyWindowMode(HWND hWnd, UINT width, UINT height, bool windowed);
};

extern CDirectX9 g_DirectX9;
// The device, for every drawing class besides the device owner.
extern IDirect3DDevice9* g_pDevice;
