// Message boxes drawn by the layer: a modal dialog with the symbol, the text (wrapped) and the
// buttons of the box's type, run by its own message loop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/Canvas.h"
#include "platform/win32/Dialog.h"

namespace qv::win {
namespace {

constexpr int kMargin = 14;
constexpr int kIconSize = 32;
constexpr int kLineHeight = 16;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;
constexpr int kMaxTextWidth = 420;

struct BoxData {
    std::vector<int> buttons;
};

// Lines of the text, broken at new lines and, where too wide, between words (or between
// characters, as Japanese text has no spaces).
std::vector<std::string> WrapText(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string paragraph = text.substr(start, end - start);
        if (!paragraph.empty() && paragraph.back() == '\r')
            paragraph.pop_back();
        while (TextWidth(paragraph) > kMaxTextWidth) {
            // The longest head that fits, cut at a character boundary (or after a space).
            size_t cut = 0, lastSpace = 0;
            for (size_t i = 0; i < paragraph.size();) {
                size_t next = i + 1;
                while (next < paragraph.size() && (static_cast<unsigned char>(paragraph[next]) & 0xC0) == 0x80)
                    ++next;
                if (TextWidth(paragraph.substr(0, next)) > kMaxTextWidth)
                    break;
                if (paragraph[i] == ' ')
                    lastSpace = next;
                cut = next;
                i = next;
            }
            if (cut == 0)
                cut = 1;
            if (lastSpace > 0 && lastSpace > cut / 2)
                cut = lastSpace;
            lines.push_back(paragraph.substr(0, cut));
            paragraph.erase(0, cut);
        }
        lines.push_back(paragraph);
        start = end + 1;
    }
    return lines;
}

INT_PTR CALLBACK MessageBoxProc(HWND h, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_INITDIALOG) {
        SetWindowLongPtrA(h, DWLP_USER, lp);
        return TRUE;
    }
    if (m != WM_COMMAND)
        return FALSE;
    const auto* data = reinterpret_cast<const BoxData*>(GetWindowLongPtrA(h, DWLP_USER));
    if (!data)
        return FALSE;
    int id = LOWORD(wp);
    bool present = false;
    for (int b : data->buttons)
        present |= b == id;
    // A box with only OK takes Escape and its close box as OK; Yes/No cannot be escaped.
    if (!present && id == IDCANCEL && data->buttons.size() == 1 && data->buttons[0] == IDOK) {
        id = IDOK;
        present = true;
    }
    if (present)
        EndDialog(h, id);
    return TRUE;
}

int DefaultAnswer(UINT uType)
{
    const UINT buttons = uType & 0xF;
    const bool second = (uType & 0xF00) == MB_DEFBUTTON2;
    if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL)
        return IDNO;
    if (buttons == MB_OKCANCEL && second)
        return IDCANCEL;
    return IDOK;
}

} // namespace
} // namespace qv::win

using namespace qv::win;

// With QV_MESSAGEBOX=auto nobody is asked: the box answers its default answer for tests (OK, or
// No for a question) and its title and text go to standard error, one line a box.
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    const char* title = lpCaption ? lpCaption : "Error";
    const char* text = lpText ? lpText : "";
    if (HeadlessBoxes() || !EnsureVideo()) {
        std::fprintf(stderr, "MessageBox [%s] %s\n", title, text);
        std::fflush(stderr);
        return DefaultAnswer(uType);
    }

    BoxData data;
    const UINT kind = uType & 0xF;
    std::vector<std::pair<int, const char*>> buttons;
    switch (kind) {
    case MB_OKCANCEL: buttons = {{IDOK, "OK"}, {IDCANCEL, "キャンセル"}}; break;
    case MB_YESNO: buttons = {{IDYES, "はい(&Y)"}, {IDNO, "いいえ(&N)"}}; break;
    case MB_YESNOCANCEL: buttons = {{IDYES, "はい(&Y)"}, {IDNO, "いいえ(&N)"}, {IDCANCEL, "キャンセル"}}; break;
    default: buttons = {{IDOK, "OK"}}; break;
    }
    int defaultIndex = (uType & 0xF00) == MB_DEFBUTTON2 ? 1 : (uType & 0xF00) == MB_DEFBUTTON3 ? 2 : 0;
    if (defaultIndex >= static_cast<int>(buttons.size()))
        defaultIndex = 0;

    int icon = 0;
    switch (uType & 0xF0) {
    case MB_ICONHAND: icon = 32513; break;
    case MB_ICONQUESTION: icon = 32514; break;
    case MB_ICONEXCLAMATION: icon = 32515; break;
    case MB_ICONASTERISK: icon = 32516; break;
    default: break;
    }

    const std::vector<std::string> lines = WrapText(text);
    int textWidth = 0;
    for (const std::string& line : lines)
        textWidth = std::max(textWidth, TextWidth(line));
    const int textLeft = icon ? kMargin + kIconSize + kMargin : kMargin + 4;
    const int textHeight = static_cast<int>(lines.size()) * kLineHeight;
    const int textTop = icon && textHeight < kIconSize ? kMargin + (kIconSize - textHeight) / 2 : kMargin + 4;
    const int bodyBottom = std::max(icon ? kMargin + kIconSize : 0, textTop + textHeight);
    const int buttonsWidth = static_cast<int>(buttons.size()) * (kButtonWidth + kButtonGap) - kButtonGap;

    DialogLayout layout;
    layout.title = title;
    layout.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    layout.clientWidth = std::max(textLeft + textWidth + kMargin, buttonsWidth + 2 * kMargin);
    layout.clientHeight = bodyBottom + kMargin + kButtonHeight + kMargin - 2;
    layout.centred = true;
    layout.offset = POINT{0, 0};
    if (icon)
        layout.controls.push_back({"STATIC", "!" + std::to_string(icon), -1, SS_ICON,
                                   RECT{kMargin, kMargin, kMargin + kIconSize, kMargin + kIconSize}});
    for (size_t i = 0; i < lines.size(); ++i) {
        const int y = textTop + static_cast<int>(i) * kLineHeight;
        layout.controls.push_back({"STATIC", lines[i], -1, SS_LEFT | SS_NOPREFIX,
                                   RECT{textLeft, y, textLeft + textWidth + 2, y + kLineHeight}});
    }
    int x = (layout.clientWidth - buttonsWidth) / 2;
    const int y = bodyBottom + kMargin;
    for (size_t i = 0; i < buttons.size(); ++i) {
        const DWORD style = (static_cast<int>(i) == defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP;
        layout.controls.push_back({"BUTTON", buttons[i].second, buttons[i].first, style,
                                   RECT{x, y, x + kButtonWidth, y + kButtonHeight}});
        data.buttons.push_back(buttons[i].first);
        x += kButtonWidth + kButtonGap;
    }
    const INT_PTR answer = RunModalDialog(layout, hWnd, MessageBoxProc, reinterpret_cast<LPARAM>(&data));
    if (answer <= 0)
        return DefaultAnswer(uType);
    return static_cast<int>(answer);
}
