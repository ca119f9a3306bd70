// Keyboard and joystick 1 as 21 numbered buttons, each with a pressed and a newly-pressed
// flag, read once at the start of each frame.
#pragma once

#include "platform/platform.h"

enum InputButton {
    INPUT_RIGHT = 0, // right arrow, keypad 6, joystick X high
    INPUT_LEFT,      // left arrow, keypad 4, joystick X low
    INPUT_UP,        // up arrow, keypad 8, joystick Y low
    INPUT_DOWN,      // down arrow, keypad 2, joystick Y high
    INPUT_Z,         // Z, joystick button 1
    INPUT_X,         // X, joystick button 2
    INPUT_C,         // C, joystick button 3
    INPUT_V,         // V, joystick button 4
    INPUT_F1,
    INPUT_F2,
    INPUT_F3,
    INPUT_F4,
    INPUT_F5,
    INPUT_F6,
    INPUT_F7,
    INPUT_F8,
    INPUT_F9,
    INPUT_F10,
    INPUT_F11,
    INPUT_F12,
    INPUT_ESCAPE,
    INPUT_BUTTON_NUM
};

class CInput {
public:
    // Counts the joysticks and reports those of 1 and 2 that answer on the debug stream.
    CInput();

    // Throws "Failed CInput::GetStatus GetKeyboardState" when the keyboard cannot be read.
    void GetStatus();

    bool IsPressed(int button) const;
    bool IsTriggered(int button) const;

    // Directions of g_Input's arrow buttons, clockwise from up: 0 up, 1 up-right, 2 right,
    // 3 down-right, 4 down, 5 down-left, 6 left, 7 up-left. IsDirection(8) is any arrow.
    bool IsDirection(unsigned int direction) const;
    // 9 for no arrow, or for opposite arrows held together.
    int GetDirection() const;

    JOYCAPSA JoyCaps1;
    JOYCAPSA JoyCaps2;
    bool Pressed[INPUT_BUTTON_NUM];
    bool Triggered[INPUT_BUTTON_NUM];
    // JoyCaps1 holds joystick 1's capabilities: read at construction, or when it first answers.
    bool IsJoyCaps1Read;
};

extern CInput g_Input;
extern bool g_PrevPressed[INPUT_BUTTON_NUM];
