// Modal dialogs and their controls (static texts and icons, push buttons), drawn by the layer
// into software surfaces with GDI, with the keyboard of dialogs: Enter presses the default
// button, Escape cancels, Tab and the arrows move between buttons, letters press the button
// of their access key.
#include "platform/win32/Dialog.h"

#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/Canvas.h"
#include "platform/win32/Messages.h"
#include "platform/win32/ResourceTable.h"

namespace qv::win {
namespace {

// Dialog units: the dialogs name the system font, 8 pixels wide and 16 high on average.
constexpr int kBaseX = 8;
constexpr int kBaseY = 16;

int AccessKeyOf(const std::string& text)
{
    int key = 0;
    StripAccessKey(text, nullptr, &key);
    return key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
}

bool IsButton(const Window& w) { return strcasecmp(w.cls->name.c_str(), "BUTTON") == 0; }

LRESULT CALLBACK DialogWindowProc(HWND h, UINT m, WPARAM wp, LPARAM lp)
{
    Window* w = Find(h);
    if (w && w->dialogProc) {
        w->dialogMessageResult = 0;
        const INT_PTR handled = w->dialogProc(h, m, wp, lp);
        if (handled) {
            if (m == WM_INITDIALOG || (m >= WM_CTLCOLORMSGBOX && m <= WM_CTLCOLORSTATIC))
                return handled;
            w = Find(h);
            return w ? w->dialogMessageResult : 0;
        }
    }
    switch (m) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(h, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_CLOSE:
        SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(h, IDCANCEL)));
        return 0;
    case WM_INITDIALOG:
    case WM_COMMAND:
        return 0;
    default:
        return DefWindowProcA(h, m, wp, lp);
    }
}

void DrawCentredText(HDC dc, const RECT& r, const std::string& text)
{
    SIZE size;
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    TextOutA(dc, r.left + (r.right - r.left - size.cx) / 2, r.top + (r.bottom - r.top - size.cy) / 2, text.c_str(),
             static_cast<int>(text.size()));
}

HICON IconOfText(const std::string& text)
{
    if (text.size() > 1 && text[0] == '#')
        return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(std::atoi(text.c_str() + 1)));
    if (text.size() > 1 && text[0] == '!')
        return LoadIconA(nullptr, MAKEINTRESOURCEA(std::atoi(text.c_str() + 1)));
    return nullptr;
}

LRESULT CALLBACK StaticProc(HWND h, UINT m, WPARAM wp, LPARAM lp)
{
    Window* w = Find(h);
    if (!w)
        return 0;
    switch (m) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT r;
        GetClientRect(h, &r);
        if ((w->style & 0x1F) == SS_ICON) {
            DrawIcon(dc, 0, 0, IconOfText(w->title));
        } else {
            HBRUSH brush = reinterpret_cast<HBRUSH>(
                SendMessageA(w->parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h)));
            FillRect(dc, &r, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
            SetBkMode(dc, TRANSPARENT);
            const std::string text = (w->style & SS_NOPREFIX) ? w->title : StripAccessKey(w->title, nullptr, nullptr);
            if ((w->style & 0x1F) == SS_CENTER)
                DrawCentredText(dc, RECT{r.left, r.top, r.right, r.top + 14}, text);
            else
                TextOutA(dc, 0, 0, text.c_str(), static_cast<int>(text.size()));
        }
        EndPaint(h, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        if (w->style & SS_NOTIFY)
            SendMessageA(w->parent, WM_COMMAND, MAKEWPARAM(w->id, STN_CLICKED), reinterpret_cast<LPARAM>(h));
        return 0;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProcA(h, m, wp, lp);
        InvalidateRect(h, nullptr, TRUE);
        return r;
    }
    default:
        return DefWindowProcA(h, m, wp, lp);
    }
}

void ClickButton(Window& w)
{
    SendMessageA(w.parent, WM_COMMAND, MAKEWPARAM(w.id, BN_CLICKED), reinterpret_cast<LPARAM>(w.handle));
}

LRESULT CALLBACK ButtonProc(HWND h, UINT m, WPARAM wp, LPARAM lp)
{
    Window* w = Find(h);
    if (!w)
        return 0;
    switch (m) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT r;
        GetClientRect(h, &r);
        Canvas* canvas = CanvasOf(TopLevelOf(h));
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        // The default button has a black frame; the face is raised, or sunken while pressed.
        RECT face = r;
        POINT origin = {0, 0};
        ClientToScreen(h, &origin);
        POINT topOrigin = {0, 0};
        ClientToScreen(w->parent, &topOrigin);
        if (canvas) {
            canvas->SetOrigin(origin.x - topOrigin.x, origin.y - topOrigin.y);
            canvas->ResetClip();
            if ((w->style & 0x0F) == BS_DEFPUSHBUTTON || GetFocus() == h) {
                canvas->HLine(0, r.right, 0, colors::kText);
                canvas->HLine(0, r.right, r.bottom - 1, colors::kText);
                canvas->VLine(0, 0, r.bottom, colors::kText);
                canvas->VLine(r.right - 1, 0, r.bottom, colors::kText);
                InflateRect(&face, -1, -1);
            }
            if (w->pressed) {
                canvas->HLine(face.left, face.right, face.top, colors::kShadow);
                canvas->VLine(face.left, face.top, face.bottom, colors::kShadow);
                canvas->HLine(face.left, face.right, face.bottom - 1, colors::kShadow);
                canvas->VLine(face.right - 1, face.top, face.bottom, colors::kShadow);
            } else {
                canvas->Edge3D(face, true);
            }
            canvas->SetOrigin(0, 0);
        }
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, w->enabled ? RGB(0, 0, 0) : RGB(128, 128, 128));
        int underlined = -1;
        const std::string text = StripAccessKey(w->title, &underlined, nullptr);
        RECT textRect = face;
        if (w->pressed)
            OffsetRect(&textRect, 1, 1);
        DrawCentredText(dc, textRect, text);
        if (underlined >= 0 && canvas) {
            SIZE whole, before, letter;
            GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &whole);
            GetTextExtentPoint32A(dc, text.c_str(), underlined, &before);
            GetTextExtentPoint32A(dc, text.c_str() + underlined, 1, &letter);
            const int x = textRect.left + (textRect.right - textRect.left - whole.cx) / 2 + before.cx;
            const int y = textRect.top + (textRect.bottom - textRect.top - whole.cy) / 2 + TextAscent();
            canvas->SetOrigin(origin.x - topOrigin.x, origin.y - topOrigin.y);
            canvas->HLine(x, x + letter.cx, y, colors::kText);
            canvas->SetOrigin(0, 0);
        }
        EndPaint(h, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        w->pressed = true;
        SetFocus(h);
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case WM_LBUTTONUP: {
        if (!w->pressed)
            return 0;
        w->pressed = false;
        InvalidateRect(h, nullptr, TRUE);
        RECT r;
        GetClientRect(h, &r);
        if (PtInRect(&r, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}))
            ClickButton(*w);
        return 0;
    }
    case BM_CLICK:
        ClickButton(*w);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    default:
        return DefWindowProcA(h, m, wp, lp);
    }
}

std::vector<HWND> Buttons(HWND dialog)
{
    std::vector<HWND> out;
    ForEachWindow([&](Window& c) {
        if (c.parent == dialog && IsButton(c) && c.visible && c.enabled)
            out.push_back(c.handle);
        return true;
    });
    return out;
}

HWND DefaultButton(HWND dialog)
{
    HWND focus = GetFocus();
    if (Window* f = Find(focus); f && f->parent == dialog && IsButton(*f))
        return focus;
    HWND found = nullptr;
    ForEachWindow([&](Window& c) {
        if (c.parent == dialog && IsButton(c) && (c.style & 0x0F) == BS_DEFPUSHBUTTON) {
            found = c.handle;
            return false;
        }
        return true;
    });
    return found;
}

// The dialog's keyboard (what IsDialogMessage does); true when the message was used.
bool DialogKey(HWND dialog, MSG& m)
{
    if (m.message != WM_KEYDOWN && m.message != WM_CHAR && m.message != WM_SYSCHAR)
        return false;
    if (m.hwnd != dialog && !IsChild(dialog, m.hwnd))
        return false;
    if (m.message == WM_KEYDOWN) {
        switch (m.wParam) {
        case VK_RETURN: {
            HWND button = DefaultButton(dialog);
            const int id = button ? GetDlgCtrlID(button) : IDOK;
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
            return true;
        }
        case VK_ESCAPE:
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
            return true;
        case VK_TAB:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN: {
            const std::vector<HWND> buttons = Buttons(dialog);
            if (buttons.empty())
                return true;
            const bool back = m.wParam == VK_LEFT || m.wParam == VK_UP || (m.wParam == VK_TAB && IsKeyDown(VK_SHIFT));
            size_t at = 0;
            for (size_t i = 0; i < buttons.size(); ++i)
                if (buttons[i] == GetFocus())
                    at = i;
            SetFocus(buttons[(at + (back ? buttons.size() - 1 : 1)) % buttons.size()]);
            return true;
        }
        default:
            return false;
        }
    }
    if (m.wParam == '\r' || m.wParam == 27 || m.wParam == '\t')
        return true; // their key-down did the work
    int key = static_cast<int>(m.wParam);
    if (key >= 'a' && key <= 'z')
        key = key - 'a' + 'A';
    for (HWND b : Buttons(dialog)) {
        Window* bw = Find(b);
        if (bw && AccessKeyOf(bw->title) == key) {
            ClickButton(*bw);
            return true;
        }
    }
    return m.message == WM_SYSCHAR;
}

bool IsInputMessage(UINT m)
{
    return (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
           (m >= WM_NCMOUSEMOVE && m <= WM_NCLBUTTONUP);
}

} // namespace

bool HeadlessBoxes()
{
    const char* mode = std::getenv("QV_MESSAGEBOX");
    return mode && std::strcmp(mode, "auto") == 0;
}

void RegisterDialogClasses()
{
    RegisterLayerClass("#32770", DialogWindowProc, true);
    RegisterLayerClass("STATIC", StaticProc, true);
    RegisterLayerClass("BUTTON", ButtonProc, true);
}

INT_PTR RunModalDialog(const DialogLayout& layout, HWND owner, DLGPROC proc, LPARAM param)
{
    RegisterDialogClasses();
    HWND ownerTop = TopLevelOf(owner);
    const DWORD style = (layout.style & ~(WS_VISIBLE | WS_CHILD)) | WS_POPUP;
    RECT frame = {0, 0, layout.clientWidth, layout.clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    POINT at;
    RECT ownerRect = {0, 0, 0, 0};
    const bool haveOwner = ownerTop && GetWindowRect(ownerTop, &ownerRect);
    if (layout.centred || !haveOwner) {
        RECT around = ownerRect;
        if (!haveOwner) {
            const SDL_Rect d = DisplayBounds();
            around = RECT{d.x, d.y, d.x + d.w, d.y + d.h};
        }
        at.x = around.left + (around.right - around.left - layout.clientWidth) / 2;
        at.y = around.top + (around.bottom - around.top - layout.clientHeight) / 2;
    } else {
        at = layout.offset;
        ClientToScreen(ownerTop, &at);
    }
    // Kept on the display.
    const SDL_Rect d = DisplayBounds();
    at.x = std::max<LONG>(d.x - frame.left, std::min<LONG>(at.x, d.x + d.w - frame.right));
    at.y = std::max<LONG>(d.y - frame.top, std::min<LONG>(at.y, d.y + d.h - frame.bottom));

    HWND dialog = CreateWindowExA(0, "#32770", layout.title.c_str(), style, at.x + frame.left, at.y + frame.top,
                                  frame.right - frame.left, frame.bottom - frame.top, ownerTop, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!dialog)
        return -1;
    if (Window* w = Find(dialog))
        w->dialogProc = proc;
    for (const DialogControl& c : layout.controls) {
        CreateWindowExA(0, c.className.c_str(), c.text.c_str(), WS_CHILD | WS_VISIBLE | c.style, c.rect.left, c.rect.top,
                        c.rect.right - c.rect.left, c.rect.bottom - c.rect.top, dialog,
                        reinterpret_cast<HMENU>(static_cast<intptr_t>(c.id)), GetModuleHandleA(nullptr), nullptr);
    }
    Window* ownerWindow = Find(ownerTop);
    if (ownerWindow && ownerWindow->sdl && Find(dialog)->sdl)
        SDL_SetWindowModalFor(Find(dialog)->sdl, ownerWindow->sdl);

    HWND firstButton = DefaultButton(dialog);
    if (SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstButton), param) && IsWindow(dialog)) {
        // TRUE: the layer gives the focus (to the default button) once the dialog shows.
    }
    const bool ownerWasEnabled = ownerTop && IsWindowEnabled(ownerTop);
    if (ownerWasEnabled)
        EnableWindow(ownerTop, FALSE);
    Window* w = Find(dialog);
    if (w && !w->dialogEnded) {
        ShowWindow(dialog, SW_SHOWNORMAL);
        if (HWND b = DefaultButton(dialog))
            SetFocus(b);
        if (HeadlessBoxes()) {
            // Paint as a person would see it, report it, and press the default button.
            UpdateWindow(dialog);
            ForEachWindow([&](Window& c) {
                if (c.parent == dialog)
                    UpdateWindow(c.handle);
                return true;
            });
            std::fprintf(stderr, "Dialog [%s]\n", layout.title.c_str());
            std::fflush(stderr);
            HWND button = DefaultButton(dialog);
            const int id = button ? GetDlgCtrlID(button) : IDOK;
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
            if ((w = Find(dialog)) != nullptr && !w->dialogEnded) {
                w->dialogEnded = true;
                w->dialogResult = id;
            }
        } else {
            std::bitset<256> pressedHere; // keys that went down while the dialog was up
            RunModalLoop(
                [&] {
                    Window* d = Find(dialog);
                    return !d || d->dialogEnded;
                },
                [&](MSG& m) {
                    // A key held from before the dialog (the one that closed the box before it)
                    // repeats for whoever had it: it must not answer this one.
                    if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) {
                        const size_t vk = m.wParam & 0xFF;
                        if (!(m.lParam & (LPARAM(1) << 30)))
                            pressedHere.set(vk);
                        else if (!pressedHere.test(vk))
                            return true;
                    }
                    if (DialogKey(dialog, m))
                        return true;
                    // Input for the windows that the dialog disables goes nowhere, and they
                    // cannot be closed from the window manager either.
                    const bool elsewhere = m.hwnd != dialog && !IsChild(dialog, m.hwnd);
                    if (elsewhere && (IsInputMessage(m.message) || m.message == WM_SYSCOMMAND))
                        return true;
                    return false;
                });
        }
    }
    w = Find(dialog);
    const INT_PTR result = w && w->dialogEnded ? w->dialogResult : 0;
    // The owner comes back before the dialog goes, so that it is activated again.
    if (ownerWasEnabled)
        EnableWindow(ownerTop, TRUE);
    if (w)
        DestroyWindow(dialog);
    // The display gives the keys to whom it likes once the dialog's window goes (to nobody where
    // no window manager runs): the owner takes them back, as it does on Windows.
    if (Window* o = Find(ownerTop); o && o->sdl && o->visible && o->enabled && ActiveWindow() == ownerTop)
        ActivateOnDisplay(o->sdl);
    return result;
}

} // namespace qv::win

using namespace qv::win;

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    UINT id = 0;
    if (IS_INTRESOURCE(lpTemplateName))
        id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(lpTemplateName));
    else if (lpTemplateName && lpTemplateName[0] == '#')
        id = static_cast<UINT>(std::atoi(lpTemplateName + 1));
    const qv::res::Dialog* found = nullptr;
    for (const qv::res::Dialog& d : qv::res::ProgramResources().dialogs)
        if (d.id == id)
            found = &d;
    if (!found || !lpDialogFunc) {
        SetError(found ? ERROR_INVALID_PARAMETER : ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    auto px = [](int dlu) { return dlu * kBaseX / 4; };
    auto py = [](int dlu) { return dlu * kBaseY / 8; };
    DialogLayout layout;
    layout.title = found->title;
    layout.style = found->style;
    layout.clientWidth = px(found->cx);
    layout.clientHeight = py(found->cy);
    layout.centred = (found->style & DS_CENTER) != 0;
    layout.offset = POINT{px(found->x), py(found->y)};
    for (const qv::res::DialogItem& item : found->items)
        layout.controls.push_back(DialogControl{item.className, item.text, item.id, item.style,
                                                RECT{px(item.x), py(item.y), px(item.x + item.cx), py(item.y + item.cy)}});
    return RunModalDialog(layout, hWndParent, lpDialogFunc, dwInitParam);
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult)
{
    Window* w = Find(hDlg);
    if (!w || w->cls->name != "#32770") {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->dialogEnded = true;
    w->dialogResult = nResult;
    return TRUE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    HWND found = nullptr;
    ForEachWindow([&](Window& c) {
        if (c.parent == hDlg && c.id == nIDDlgItem) {
            found = c.handle;
            return false;
        }
        return true;
    });
    return found;
}

int GetDlgCtrlID(HWND hWnd)
{
    Window* w = Find(hWnd);
    return w && !IsTopLevel(*w) ? static_cast<int>(w->id) : 0;
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? static_cast<BOOL>(SendMessageA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString))) : FALSE;
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax)
{
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (!item) {
        if (lpString && cchMax > 0)
            lpString[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}

LRESULT SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SendMessageA(item, Msg, wParam, lParam) : 0;
}
