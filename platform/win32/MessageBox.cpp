#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/Win32.h"

namespace {

bool IsHeadless()
{
    const char* mode = std::getenv("QV_MESSAGEBOX");
    return mode && std::strcmp(mode, "auto") == 0;
}

} // namespace

// With QV_MESSAGEBOX=auto nobody is asked: the box answers its default button and its title
// and text go to standard error, one line a box, for tests to read.
int MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    const char* title = lpCaption ? lpCaption : "Error";
    const char* text = lpText ? lpText : "";
    const UINT buttons = uType & 0xF;
    const bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
    const bool secondDefault = (uType & 0xF00) == MB_DEFBUTTON2;

    if (IsHeadless()) {
        std::fprintf(stderr, "MessageBox [%s] %s\n", title, text);
        std::fflush(stderr);
        if (yesNo)
            return IDNO;
        if (buttons == MB_OKCANCEL && secondDefault)
            return IDCANCEL;
        return IDOK;
    }

    SDL_MessageBoxButtonData data[3];
    int count = 0;
    if (yesNo) {
        data[count++] = {secondDefault ? 0u : Uint32(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT), IDYES, "Yes"};
        data[count++] = {secondDefault ? Uint32(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT) : 0u, IDNO, "No"};
        if (buttons == MB_YESNOCANCEL)
            data[count++] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"};
    } else if (buttons == MB_OKCANCEL) {
        data[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDOK, "OK"};
        data[count++] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"};
    } else {
        data[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK"};
    }
    SDL_MessageBoxData box = {};
    box.flags = (uType & 0xF0) == MB_ICONHAND ? SDL_MESSAGEBOX_ERROR
              : (uType & 0xF0) == MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                                                      : SDL_MESSAGEBOX_INFORMATION;
    box.title = title;
    box.message = text;
    box.numbuttons = count;
    box.buttons = data;
    int answer = 0;
    if (SDL_ShowMessageBox(&box, &answer) != 0 || answer <= 0) {
        // No way to ask (no display): report it and take the default, as the headless mode does.
        std::fprintf(stderr, "MessageBox [%s] %s\n", title, text);
        return yesNo ? (secondDefault ? IDNO : IDYES) : IDOK;
    }
    return answer;
}
