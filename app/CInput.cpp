#include "app/CInput.h"

#include <cstring>
#include <iostream> // the stream library is ready before g_Input's constructor writes to it

#include "app/CDebugStream.h"

bool g_PrevPressed[INPUT_BUTTON_NUM];

// Built before WinMain, during static initialisation.
CInput g_Input;

namespace {

// The keyboard key of each button, by button number.
const int kButtonKeys[INPUT_BUTTON_NUM] = {
    VK_RIGHT, VK_LEFT, VK_UP, VK_DOWN, 'Z', 'X', 'C', 'V',
    VK_F1, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F10, VK_F11, VK_F12,
    VK_ESCAPE,
};

// The numeric keypad doubles the arrows.
const int kKeypadKeys[4] = {VK_NUMPAD6, VK_NUMPAD4, VK_NUMPAD8, VK_NUMPAD2};

MMRESULT QueryJoystick(UINT id, JOYINFOEX* pInfo)
{
    std::memset(pInfo, 0, sizeof(*pInfo));
    pInfo->dwSize = sizeof(JOYINFOEX);
    pInfo->dwFlags = JOY_RETURNALL;
    return joyGetPosEx(id, pInfo);
}

void ReportCaps(const char* szHeader, const JOYCAPSA& caps)
{
    CDebugStream() << szHeader << "Xmin = " << caps.wXmin << " Xmax = " << caps.wXmax << " Ymin = " << caps.wYmin
                   << " Ymax = " << caps.wYmax << " Zmin = " << caps.wZmin << " Zmax = " << caps.wZmax
                   << " NumButtons = " << caps.wNumButtons << "\n";
}

} // namespace

CInput::CInput()
    : JoyCaps1(), JoyCaps2(), Pressed(), Triggered(), IsJoyCaps1Read(false)
{
    CDebugStream() << "Supported Joystick Number:: " << static_cast<int>(joyGetNumDevs()) << "\n";

    JOYINFOEX info;
    const MMRESULT result1 = QueryJoystick(JOYSTICKID1, &info);
    const MMRESULT result2 = QueryJoystick(JOYSTICKID2, &info);
    CDebugStream() << "Connected Joystick:: No.1 = " << static_cast<int>(result1)
                   << ": No.2 = " << static_cast<int>(result2) << "\n";

    if (result1 == JOYERR_NOERROR) {
        IsJoyCaps1Read = joyGetDevCapsA(JOYSTICKID1, &JoyCaps1, sizeof(JoyCaps1)) == JOYERR_NOERROR;
        ReportCaps("Joystick No.1:: ", JoyCaps1);
    }
    if (result2 == JOYERR_NOERROR) {
        joyGetDevCapsA(JOYSTICKID2, &JoyCaps2, sizeof(JoyCaps2));
        ReportCaps("Joystick No.2:: ", JoyCaps2);
    }

    std::memset(Pressed, 0, sizeof(Pressed));
    std::memset(Triggered, 0, sizeof(Triggered));
    CDebugStream() << "### Input Initialized ###\n\n";
}

void CInput::GetStatus()
{
    BYTE keys[256];
    if (!GetKeyboardState(keys))
        throw "Failed CInput::GetStatus GetKeyboardState";

    std::memcpy(g_PrevPressed, Pressed, sizeof(Pressed));

    for (int i = 0; i < INPUT_BUTTON_NUM; ++i)
        Pressed[i] = (keys[kButtonKeys[i]] & 0x80) != 0;
    for (int i = 0; i < 4; ++i)
        if (keys[kKeypadKeys[i]] & 0x80)
            Pressed[i] = true;

    // A joystick that does not answer adds nothing this frame.
    JOYINFOEX info;
    if (QueryJoystick(JOYSTICKID1, &info) == JOYERR_NOERROR) {
        // A pad plugged in after the start is read when it first answers: without its
        // capabilities every position above 0 would count as right and down.
        if (!IsJoyCaps1Read && joyGetDevCapsA(JOYSTICKID1, &JoyCaps1, sizeof(JoyCaps1)) == JOYERR_NOERROR) {
            IsJoyCaps1Read = true;
            ReportCaps("Joystick No.1:: ", JoyCaps1);
        }
        // The thresholds are fractions of the span alone, as the game has always read them; an
        // axis without a span has no direction.
        const double spanX = static_cast<double>(static_cast<UINT>(JoyCaps1.wXmax - JoyCaps1.wXmin));
        const double spanY = static_cast<double>(static_cast<UINT>(JoyCaps1.wYmax - JoyCaps1.wYmin));
        const double x = static_cast<double>(info.dwXpos);
        const double y = static_cast<double>(info.dwYpos);
        if (spanX > 0.0 && x < 0.4 * spanX)
            Pressed[INPUT_LEFT] = true;
        if (spanX > 0.0 && x > 0.6 * spanX)
            Pressed[INPUT_RIGHT] = true;
        if (spanY > 0.0 && y < 0.4 * spanY)
            Pressed[INPUT_UP] = true;
        if (spanY > 0.0 && y > 0.6 * spanY)
            Pressed[INPUT_DOWN] = true;
        for (int i = 0; i < 4; ++i)
            if (info.dwButtons & (DWORD(1) << i))
                Pressed[INPUT_Z + i] = true;
    }

    for (int i = 0; i < INPUT_BUTTON_NUM; ++i)
        Triggered[i] = Pressed[i] && !g_PrevPressed[i];
}

bool CInput::IsPressed(int button) const
{
    return button >= 0 && button < INPUT_BUTTON_NUM && Pressed[button];
}

bool CInput::IsTriggered(int button) const
{
    return button >= 0 && button < INPUT_BUTTON_NUM && Triggered[button];
}

namespace {

// Arrow patterns of directions 0..7: up, right, down, left.
const bool kDirectionArrows[8][4] = {
    {true, false, false, false}, {true, true, false, false}, {false, true, false, false},
    {false, true, true, false},  {false, false, true, false}, {false, false, true, true},
    {false, false, false, true}, {true, false, false, true},
};

} // namespace

bool CInput::IsDirection(unsigned int direction) const
{
    const bool up = g_Input.Pressed[INPUT_UP];
    const bool right = g_Input.Pressed[INPUT_RIGHT];
    const bool down = g_Input.Pressed[INPUT_DOWN];
    const bool left = g_Input.Pressed[INPUT_LEFT];
    if (direction == 8)
        return up || right || down || left;
    if (direction > 8)
        return false;
    const bool* arrows = kDirectionArrows[direction];
    return up == arrows[0] && right == arrows[1] && down == arrows[2] && left == arrows[3];
}

int CInput::GetDirection() const
{
    for (unsigned int d = 0; d < 8; ++d)
        if (IsDirection(d))
            return static_cast<int>(d);
    return 9;
}
