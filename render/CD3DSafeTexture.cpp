#include "render/CD3DSafeTexture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

extern IDirect3DDevice9* g_pDevice;

std::vector<SafeTextureEntry*>& CD3DSafeTexture::EntryList()
{
    // Never destroyed: handles in other process-wide objects (the bitmap font, the device
    // owner's stage slots) may still be let go while the program's statics are torn down.
    static std::vector<SafeTextureEntry*>* const list = new std::vector<SafeTextureEntry*>();
    return *list;
}

void CD3DSafeTexture::CreateTexture(const char* path)
{
    std::vector<SafeTextureEntry*>& list = EntryList();
    // Byte for byte: paths differing in case or separator are different entries.
    for (SafeTextureEntry* e : list) {
        if (std::strcmp(e->Path, path) == 0) {
            ++e->RefCount;
            Entry = e;
            return;
        }
    }

    auto* entry = new SafeTextureEntry();
    entry->RefCount = 1;
    Entry = entry;
    if (FAILED(D3DXCreateTextureFromFileA(g_pDevice, path, &entry->Texture))) {
        entry->Texture = nullptr;
        static char text[1024];
        std::snprintf(text, sizeof text, "Failed CD3DSafeTexture::CreateTexture D3DXCreateTextureFromFile[%s]", path);
        // The handle keeps the unlisted entry; its release frees it.
        throw text;
    }
    std::snprintf(entry->Path, sizeof entry->Path, "%s", path);
    list.push_back(entry);
}

void CD3DSafeTexture::Release()
{
    if (!Entry) return;
    SafeTextureEntry* entry = Entry;
    // The handle lets go in every case, so a second release cannot take another handle's
    // reference.
    Entry = nullptr;
    if (--entry->RefCount != 0) return;
    if (entry->Texture) {
        entry->Texture->Release();
        entry->Texture = nullptr;
    }
    std::vector<SafeTextureEntry*>& list = EntryList();
    const auto it = std::find(list.begin(), list.end(), entry);
    if (it != list.end()) list.erase(it);
    delete entry;
}
