// The process-wide settings: screen size and mode, pause, sound, draw divisor and VSYNC wait,
// with the program's instance and main window. Read from "Config.dat" at start, written back
// at exit.
#pragma once

#include "platform/platform.h"

class CGameConfig {
public:
    // Built with the defaults on first use, destroyed at process exit.
    static CGameConfig& GetInstance();

    CGameConfig();
    virtual ~CGameConfig();

    // Applies the settings file field by field; a missing file, or a field that cannot be
    // read, keeps the current values.
    void Load(const char* szFileName = "Config.dat");
    // Writes the settings file; writes nothing when it cannot be created.
    void Save(const char* szFileName = "Config.dat") const;

    HINSTANCE Instance;
    HWND Window;
    int Width;
    int Height;
    bool IsWindowed;
    bool IsPaused;
    bool IsSoundOn;
    int RenderDivisor;
    bool IsVsyncWait;
};
