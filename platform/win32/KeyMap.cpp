#include "platform/win32/KeyMap.h"

#include "platform/win32/Win32.h"

namespace qv::win {

VirtualKey VirtualKeyFromSdl(const SDL_Keysym& key)
{
    VirtualKey k;
    const SDL_Scancode sc = key.scancode;
    const SDL_Keycode sym = key.sym;
    const bool numLock = (key.mod & KMOD_NUM) != 0;

    // Keypad first: its meaning follows NumLock, whatever the keycode says.
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_0) {
        const int digit = sc == SDL_SCANCODE_KP_0 ? 0 : sc - SDL_SCANCODE_KP_1 + 1;
        static const int kCursor[10] = {VK_INSERT, VK_END, VK_DOWN, VK_NEXT, VK_LEFT,
                                        VK_CLEAR, VK_RIGHT, VK_HOME, VK_UP, VK_PRIOR};
        static const BYTE kScan[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
        k.vk = numLock ? VK_NUMPAD0 + digit : kCursor[digit];
        k.scanCode = kScan[digit];
        return k;
    }
    switch (sc) {
    case SDL_SCANCODE_KP_PERIOD: k.vk = numLock ? VK_DECIMAL : VK_DELETE; k.scanCode = 0x53; return k;
    case SDL_SCANCODE_KP_ENTER: k.vk = VK_RETURN; k.extended = true; k.scanCode = 0x1C; return k;
    case SDL_SCANCODE_KP_DIVIDE: k.vk = VK_DIVIDE; k.extended = true; k.scanCode = 0x35; return k;
    case SDL_SCANCODE_KP_MULTIPLY: k.vk = VK_MULTIPLY; k.scanCode = 0x37; return k;
    case SDL_SCANCODE_KP_MINUS: k.vk = VK_SUBTRACT; k.scanCode = 0x4A; return k;
    case SDL_SCANCODE_KP_PLUS: k.vk = VK_ADD; k.scanCode = 0x4E; return k;
    case SDL_SCANCODE_LSHIFT: k.vk = VK_SHIFT; k.sideVk = VK_LSHIFT; k.scanCode = 0x2A; return k;
    case SDL_SCANCODE_RSHIFT: k.vk = VK_SHIFT; k.sideVk = VK_RSHIFT; k.scanCode = 0x36; return k;
    case SDL_SCANCODE_LCTRL: k.vk = VK_CONTROL; k.sideVk = VK_LCONTROL; k.scanCode = 0x1D; return k;
    case SDL_SCANCODE_RCTRL: k.vk = VK_CONTROL; k.sideVk = VK_RCONTROL; k.extended = true; k.scanCode = 0x1D; return k;
    case SDL_SCANCODE_LALT: k.vk = VK_MENU; k.sideVk = VK_LMENU; k.scanCode = 0x38; return k;
    case SDL_SCANCODE_RALT: k.vk = VK_MENU; k.sideVk = VK_RMENU; k.extended = true; k.scanCode = 0x38; return k;
    case SDL_SCANCODE_UP: k.vk = VK_UP; k.extended = true; k.scanCode = 0x48; return k;
    case SDL_SCANCODE_DOWN: k.vk = VK_DOWN; k.extended = true; k.scanCode = 0x50; return k;
    case SDL_SCANCODE_LEFT: k.vk = VK_LEFT; k.extended = true; k.scanCode = 0x4B; return k;
    case SDL_SCANCODE_RIGHT: k.vk = VK_RIGHT; k.extended = true; k.scanCode = 0x4D; return k;
    case SDL_SCANCODE_INSERT: k.vk = VK_INSERT; k.extended = true; k.scanCode = 0x52; return k;
    case SDL_SCANCODE_DELETE: k.vk = VK_DELETE; k.extended = true; k.scanCode = 0x53; return k;
    case SDL_SCANCODE_HOME: k.vk = VK_HOME; k.extended = true; k.scanCode = 0x47; return k;
    case SDL_SCANCODE_END: k.vk = VK_END; k.extended = true; k.scanCode = 0x4F; return k;
    case SDL_SCANCODE_PAGEUP: k.vk = VK_PRIOR; k.extended = true; k.scanCode = 0x49; return k;
    case SDL_SCANCODE_PAGEDOWN: k.vk = VK_NEXT; k.extended = true; k.scanCode = 0x51; return k;
    case SDL_SCANCODE_ESCAPE: k.vk = VK_ESCAPE; k.scanCode = 0x01; return k;
    case SDL_SCANCODE_RETURN: k.vk = VK_RETURN; k.scanCode = 0x1C; return k;
    case SDL_SCANCODE_BACKSPACE: k.vk = VK_BACK; k.scanCode = 0x0E; return k;
    case SDL_SCANCODE_TAB: k.vk = VK_TAB; k.scanCode = 0x0F; return k;
    case SDL_SCANCODE_SPACE: k.vk = VK_SPACE; k.scanCode = 0x39; return k;
    case SDL_SCANCODE_CAPSLOCK: k.vk = VK_CAPITAL; k.scanCode = 0x3A; return k;
    case SDL_SCANCODE_NUMLOCKCLEAR: k.vk = VK_NUMLOCK; k.extended = true; k.scanCode = 0x45; return k;
    case SDL_SCANCODE_SCROLLLOCK: k.vk = VK_SCROLL; k.scanCode = 0x46; return k;
    case SDL_SCANCODE_PAUSE: k.vk = VK_PAUSE; k.scanCode = 0x45; return k;
    case SDL_SCANCODE_PRINTSCREEN: k.vk = VK_SNAPSHOT; k.extended = true; k.scanCode = 0x37; return k;
    case SDL_SCANCODE_LGUI: k.vk = VK_LWIN; k.extended = true; k.scanCode = 0x5B; return k;
    case SDL_SCANCODE_RGUI: k.vk = VK_RWIN; k.extended = true; k.scanCode = 0x5C; return k;
    case SDL_SCANCODE_APPLICATION: k.vk = VK_APPS; k.extended = true; k.scanCode = 0x5D; return k;
    default: break;
    }
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) {
        const int n = sc - SDL_SCANCODE_F1;
        k.vk = VK_F1 + n;
        k.scanCode = static_cast<BYTE>(n < 10 ? 0x3B + n : 0x57 + (n - 10));
        return k;
    }
    // Letters and digits by the layout's key code; the scan code when the layout gives none.
    if (sym >= SDLK_a && sym <= SDLK_z) {
        k.vk = 'A' + (sym - SDLK_a);
    } else if (sym >= SDLK_0 && sym <= SDLK_9) {
        k.vk = '0' + (sym - SDLK_0);
    } else {
        switch (sym) {
        case SDLK_SLASH:
        case SDLK_QUESTION: k.vk = VK_OEM_2; break;
        case SDLK_SEMICOLON:
        case SDLK_COLON: k.vk = VK_OEM_1; break;
        case SDLK_EQUALS:
        case SDLK_PLUS: k.vk = VK_OEM_PLUS; break;
        case SDLK_COMMA:
        case SDLK_LESS: k.vk = VK_OEM_COMMA; break;
        case SDLK_MINUS:
        case SDLK_UNDERSCORE: k.vk = VK_OEM_MINUS; break;
        case SDLK_PERIOD:
        case SDLK_GREATER: k.vk = VK_OEM_PERIOD; break;
        case SDLK_BACKQUOTE: k.vk = VK_OEM_3; break;
        case SDLK_LEFTBRACKET: k.vk = VK_OEM_4; break;
        case SDLK_BACKSLASH: k.vk = VK_OEM_5; break;
        case SDLK_RIGHTBRACKET: k.vk = VK_OEM_6; break;
        case SDLK_QUOTE:
        case SDLK_QUOTEDBL: k.vk = VK_OEM_7; break;
        default: break;
        }
    }
    if (!k.vk) {
        if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z)
            k.vk = 'A' + (sc - SDL_SCANCODE_A);
        else if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9)
            k.vk = '1' + (sc - SDL_SCANCODE_1);
        else if (sc == SDL_SCANCODE_0)
            k.vk = '0';
        else if (sc == SDL_SCANCODE_SLASH)
            k.vk = VK_OEM_2;
    }
    // Set-1 scan codes of the main block, by position.
    static const BYTE kLetterScan[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                         0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z)
        k.scanCode = kLetterScan[sc - SDL_SCANCODE_A];
    else if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_0)
        k.scanCode = static_cast<BYTE>(0x02 + (sc - SDL_SCANCODE_1));
    else if (sc == SDL_SCANCODE_SLASH)
        k.scanCode = 0x35;
    return k;
}

int CharacterOfKey(int vk, bool shift, bool control, bool capsLock)
{
    if (vk >= 'A' && vk <= 'Z') {
        if (control)
            return vk - 'A' + 1;
        return (shift != capsLock) ? vk : vk - 'A' + 'a';
    }
    if (control)
        return vk == VK_RETURN ? '\n' : vk == VK_ESCAPE ? 27 : vk == VK_BACK ? 127 : 0;
    if (vk >= '0' && vk <= '9')
        return shift ? ")!@#$%^&*("[vk - '0'] : vk;
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9)
        return '0' + (vk - VK_NUMPAD0);
    switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_ESCAPE: return 27;
    case VK_BACK: return 8;
    case VK_TAB: return '\t';
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    case VK_OEM_1: return shift ? ':' : ';';
    case VK_OEM_PLUS: return shift ? '+' : '=';
    case VK_OEM_COMMA: return shift ? '<' : ',';
    case VK_OEM_MINUS: return shift ? '_' : '-';
    case VK_OEM_PERIOD: return shift ? '>' : '.';
    case VK_OEM_2: return shift ? '?' : '/';
    case VK_OEM_3: return shift ? '~' : '`';
    case VK_OEM_4: return shift ? '{' : '[';
    case VK_OEM_5: return shift ? '|' : '\\';
    case VK_OEM_6: return shift ? '}' : ']';
    case VK_OEM_7: return shift ? '"' : '\'';
    default: return 0;
    }
}

} // namespace qv::win
