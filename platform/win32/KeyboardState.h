// Inside the platform layer: the thread's keyboard state behind GetKeyboardState, fed by the
// window layer's key events (and by tests through qv::test::SetKeyDown).
#pragma once

namespace qv {

// Records a virtual key (VK_*, or 'A'..'Z', '0'..'9') as down or up.
void SetVirtualKeyState(int virtualKey, bool down);
// Every key up, as after the window loses the keyboard.
void ReleaseAllKeys();

} // namespace qv
