// The thread's keyboard state: 256 bytes indexed by virtual key, bit 7 for a key that is down
// and bit 0 toggled by each press, as GetKeyboardState reports it on Windows. The window layer
// feeds it from its key events; tests feed it through the hooks.
#include <cstring>

#include "platform/win32/KeyboardState.h"
#include "platform/win32/TestHooks.h"
#include "platform/win32/Win32.h"

namespace {

const BYTE kDown = 0x80;
const BYTE kToggled = 0x01;

// Zero-initialised storage: read during static initialisation by the input object.
BYTE g_keys[256];
bool g_keyboardFails = false;

bool IsDown(int virtualKey) { return (g_keys[virtualKey] & kDown) != 0; }

void SetKey(int virtualKey, bool down)
{
    BYTE& key = g_keys[virtualKey];
    if (down && !(key & kDown))
        key ^= kToggled;
    key = static_cast<BYTE>(down ? (key | kDown) : (key & ~kDown));
}

// The side-neutral keys are down while either of their two sides is.
void UpdateNeutral(int neutral, int left, int right)
{
    SetKey(neutral, IsDown(left) || IsDown(right));
}

} // namespace

namespace qv {

void SetVirtualKeyState(int virtualKey, bool down)
{
    if (virtualKey <= 0 || virtualKey > 0xFF)
        return;
    SetKey(virtualKey, down);
    switch (virtualKey) {
    case VK_LSHIFT:
    case VK_RSHIFT:
        UpdateNeutral(VK_SHIFT, VK_LSHIFT, VK_RSHIFT);
        break;
    case VK_LCONTROL:
    case VK_RCONTROL:
        UpdateNeutral(VK_CONTROL, VK_LCONTROL, VK_RCONTROL);
        break;
    case VK_LMENU:
    case VK_RMENU:
        UpdateNeutral(VK_MENU, VK_LMENU, VK_RMENU);
        break;
    default:
        break;
    }
}

void ReleaseAllKeys()
{
    for (BYTE& key : g_keys)
        key = static_cast<BYTE>(key & ~kDown);
}

} // namespace qv

BOOL GetKeyboardState(PBYTE lpKeyState)
{
    if (!lpKeyState || g_keyboardFails)
        return FALSE;
    std::memcpy(lpKeyState, g_keys, sizeof g_keys);
    return TRUE;
}

SHORT GetKeyState(int nVirtKey)
{
    if (nVirtKey <= 0 || nVirtKey > 0xFF)
        return 0;
    const BYTE key = g_keys[nVirtKey];
    return static_cast<SHORT>(((key & kDown) ? 0x8000 : 0) | (key & kToggled));
}

SHORT GetAsyncKeyState(int vKey)
{
    if (vKey <= 0 || vKey > 0xFF)
        return 0;
    return static_cast<SHORT>(IsDown(vKey) ? 0x8000 : 0);
}

namespace qv::test {

void SetKeyDown(int virtualKey, bool down) { qv::SetVirtualKeyState(virtualKey, down); }

void ClearKeys() { std::memset(g_keys, 0, sizeof g_keys); }

void SetKeyboardStateFails(bool fails) { g_keyboardFails = fails; }

} // namespace qv::test
