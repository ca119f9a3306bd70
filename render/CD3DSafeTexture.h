// Shared textures: a process-wide cache keyed by the file path exactly as given, with one
// reference count per loaded file, so that every model, scene and the bitmap font naming the
// same file share one Direct3D texture.
#pragma once

#include <vector>

#include "platform/platform.h"

struct SafeTextureEntry {
    IDirect3DTexture9* Texture = nullptr;
    char Path[1024] = {};
    DWORD RefCount = 0;
};

// A handle on a cache entry; objects embed it by value. Copies do not count as references:
// each successful CreateTexture is paired with one Release.
class CD3DSafeTexture {
public:
    SafeTextureEntry* Entry = nullptr;
    // The texture stage this handle was last bound at by CDirectX9::SafeSetTexture, -1 never.
    LONG Stage = -1;

    // Shares the entry of a path already loaded, or loads the file. Throws the failure text.
    void CreateTexture(const char* path);
    void Release();

    // The loaded entries in the order they were loaded; the list owns them, and lives until
    // the process ends.
    static std::vector<SafeTextureEntry*>& EntryList();
};
