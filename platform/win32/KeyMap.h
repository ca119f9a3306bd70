// Inside the window layer: SDL keys as Windows virtual keys and the characters they type.
#pragma once

#include <SDL.h>

#include "platform/win32/WinTypes.h"

namespace qv::win {

struct VirtualKey {
    int vk = 0;         // as WM_KEYDOWN carries it (VK_SHIFT, not VK_LSHIFT); 0: no Windows key
    int sideVk = 0;     // VK_LSHIFT / VK_RSHIFT / ... for the modifier keys, else 0
    bool extended = false;
    BYTE scanCode = 0;
};

// Numeric keypad keys follow NumLock (KMOD_NUM) as on Windows: digits with it, the cursor
// keys without it.
VirtualKey VirtualKeyFromSdl(const SDL_Keysym& key);

// The character a key types with the given modifiers on a US layout (0 when none):
// TranslateMessage's WM_CHAR.
int CharacterOfKey(int vk, bool shift, bool control, bool capsLock);

} // namespace qv::win
