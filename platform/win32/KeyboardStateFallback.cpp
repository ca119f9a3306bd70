// Until the keyboard state behind GetKeyboardState is linked in, key events have nowhere else to
// go; its own definitions take precedence over these.
#include "platform/win32/KeyboardState.h"

__attribute__((weak)) void qv::SetVirtualKeyState(int, bool) {}
__attribute__((weak)) void qv::ReleaseAllKeys() {}
