// GDI for the windows that the layer draws (dialogs, their controls, message boxes): device
// contexts on the top-level window's picture, colours, brushes, fonts and text. On a window
// that OpenGL draws (the game's), a device context draws nothing: Direct3D owns its pixels.
#include <cmath>
#include <map>
#include <memory>
#include <set>

#include "platform/win32/Canvas.h"
#include "platform/win32/Cursor.h"
#include "platform/win32/ResourceTable.h"
#include "platform/win32/Messages.h"
#include "platform/win32/Window.h"

namespace qv::win {
namespace {

struct FontObject {
    int height = 0;
    int weight = FW_NORMAL;
    bool underline = false;
};

struct BrushObject {
    COLORREF color = 0;
};

struct DeviceContext {
    HWND hwnd = nullptr;
    HWND top = nullptr;
    POINT origin = {0, 0}; // of the window's client area in the top-level picture
    RECT clip = {0, 0, 0, 0};
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    HGDIOBJ font = nullptr;
    FontObject fontValue;
};

// GDI's tables outlive every object of the program, as the system's do on Windows: global
// objects of the game release their fonts from their destructors at exit, after tables built
// later would already have been destroyed. So they are built once and never destroyed.
std::set<DeviceContext*>& Contexts()
{
    static auto* contexts = new std::set<DeviceContext*>;
    return *contexts;
}
std::map<HGDIOBJ, FontObject>& Fonts()
{
    static auto* fonts = new std::map<HGDIOBJ, FontObject>;
    return *fonts;
}
std::map<HGDIOBJ, BrushObject>& Brushes()
{
    static auto* brushes = new std::map<HGDIOBJ, BrushObject>;
    return *brushes;
}
std::map<HWND, Canvas>& Canvases()
{
    static auto* canvases = new std::map<HWND, Canvas>;
    return *canvases;
}
uintptr_t g_nextObject = 0x60010;

// The default GUI font of the layer (what a DC starts with).
const HGDIOBJ kSystemFont = reinterpret_cast<HGDIOBJ>(uintptr_t(0x60000));

DeviceContext* FindDc(HDC hdc)
{
    auto* dc = reinterpret_cast<DeviceContext*>(hdc);
    return Contexts().count(dc) ? dc : nullptr;
}

TextStyle StyleOf(const FontObject& f)
{
    TextStyle s;
    // Height 0 is the default size; a negative height is the character height, a positive one
    // the cell height (with its internal leading).
    if (f.height == 0)
        s.pixelSize = 12;
    else if (f.height < 0)
        s.pixelSize = -f.height;
    else
        s.pixelSize = std::max(6, f.height * 7 / 8);
    s.underline = f.underline;
    s.bold = f.weight >= 600;
    return s;
}

COLORREF SysColor(int index)
{
    switch (index) {
    case COLOR_SCROLLBAR:
    case COLOR_MENU:
    case COLOR_BTNFACE:
    case COLOR_3DLIGHT:
        return RGB(212, 208, 200);
    case COLOR_BACKGROUND: return RGB(58, 110, 165);
    case COLOR_ACTIVECAPTION:
    case COLOR_HIGHLIGHT: return RGB(10, 36, 106);
    case COLOR_INACTIVECAPTION:
    case COLOR_BTNSHADOW:
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_WINDOW:
    case COLOR_CAPTIONTEXT:
    case COLOR_HIGHLIGHTTEXT:
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(64, 64, 64);
    default: return RGB(0, 0, 0);
    }
}

bool BrushColor(HBRUSH brush, COLORREF* color)
{
    const uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v >= 1 && v <= 31) { // COLOR_xxx + 1, as window classes name their background
        *color = SysColor(static_cast<int>(v - 1));
        return true;
    }
    auto it = Brushes().find(reinterpret_cast<HGDIOBJ>(brush));
    if (it == Brushes().end())
        return false;
    *color = it->second.color;
    return true;
}

HDC MakeDc(HWND hWnd)
{
    auto* dc = new DeviceContext;
    dc->hwnd = hWnd;
    dc->top = TopLevelOf(hWnd);
    dc->font = kSystemFont;
    Window* w = Find(hWnd);
    if (w && Find(dc->top) && Find(dc->top)->cls->layerDrawn) {
        POINT origin = {0, 0};
        ClientToScreen(hWnd, &origin);
        POINT topOrigin = {0, 0};
        ClientToScreen(dc->top, &topOrigin);
        dc->origin = POINT{origin.x - topOrigin.x, origin.y - topOrigin.y};
        RECT client;
        GetClientRect(hWnd, &client);
        dc->clip = RECT{dc->origin.x, dc->origin.y, dc->origin.x + client.right, dc->origin.y + client.bottom};
        // A child draws only inside its parent.
        for (Window* p = Find(w->parent); p && !IsTopLevel(*p); p = Find(p->parent)) {
            POINT po = {0, 0};
            ClientToScreen(p->handle, &po);
            RECT pc;
            GetClientRect(p->handle, &pc);
            const RECT parentClip = {po.x - topOrigin.x, po.y - topOrigin.y, po.x - topOrigin.x + pc.right,
                                     po.y - topOrigin.y + pc.bottom};
            dc->clip.left = std::max(dc->clip.left, parentClip.left);
            dc->clip.top = std::max(dc->clip.top, parentClip.top);
            dc->clip.right = std::min(dc->clip.right, parentClip.right);
            dc->clip.bottom = std::min(dc->clip.bottom, parentClip.bottom);
        }
    }
    Contexts().insert(dc);
    return reinterpret_cast<HDC>(dc);
}

// The picture of the DC's window with the DC's origin and clip, or null (nothing to draw on).
Canvas* Target(DeviceContext* dc)
{
    Canvas* c = CanvasOf(dc->top);
    if (!c)
        return nullptr;
    c->SetOrigin(dc->origin.x, dc->origin.y);
    c->SetClip(dc->clip);
    return c;
}

} // namespace

Canvas* CanvasOf(HWND topLevel)
{
    Window* w = Find(topLevel);
    if (!w || !IsTopLevel(*w) || !w->cls->layerDrawn)
        return nullptr;
    RECT client;
    GetClientRect(topLevel, &client);
    Canvas& c = Canvases()[topLevel];
    if (c.Width() != client.right || c.Height() != client.bottom)
        c.Resize(client.right, client.bottom, colors::kFace);
    return &c;
}

void PresentCanvas(HWND topLevel)
{
    Window* w = Find(topLevel);
    Canvas* c = CanvasOf(topLevel);
    if (!w || !c || !w->sdl)
        return;
    c->SetOrigin(0, 0);
    c->ResetClip();
    DisplayLibraryAllocations ignored;
    if (SDL_Surface* s = SDL_GetWindowSurface(w->sdl)) {
        const ModeView view = ViewOf(*w);
        c->Present(s, view.Screen(c->Width()), view.Screen(c->Height()));
        SDL_UpdateWindowSurface(w->sdl);
    }
}

void ForgetCanvas(HWND topLevel) { Canvases().erase(topLevel); }

} // namespace qv::win

using namespace qv::win;

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    Window* w = Find(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const bool erase = w->needsErase;
    w->needsPaint = false;
    w->needsErase = false;
    HDC hdc = MakeDc(hWnd);
    if (erase)
        SendMessageA(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    if (lpPaint) {
        std::memset(lpPaint, 0, sizeof *lpPaint);
        lpPaint->hdc = hdc;
        lpPaint->fErase = FALSE; // erased already
        GetClientRect(hWnd, &lpPaint->rcPaint);
    }
    return hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint)
{
    if (lpPaint)
        ReleaseDC(hWnd, lpPaint->hdc);
    return TRUE;
}

HDC GetDC(HWND hWnd)
{
    if (hWnd && !Find(hWnd)) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return MakeDc(hWnd);
}

int ReleaseDC(HWND, HDC hDC)
{
    DeviceContext* dc = FindDc(hDC);
    if (!dc)
        return 0;
    const HWND top = dc->top;
    Contexts().erase(dc);
    delete dc;
    PresentCanvas(top);
    return 1;
}

int SetBkMode(HDC hdc, int mode)
{
    DeviceContext* dc = FindDc(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    const int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

COLORREF SetTextColor(HDC hdc, COLORREF color)
{
    DeviceContext* dc = FindDc(hdc);
    if (!dc)
        return CLR_INVALID;
    const COLORREF old = dc->textColor;
    dc->textColor = color;
    return old;
}

COLORREF SetBkColor(HDC hdc, COLORREF color)
{
    DeviceContext* dc = FindDc(hdc);
    if (!dc)
        return CLR_INVALID;
    const COLORREF old = dc->bkColor;
    dc->bkColor = color;
    return old;
}

DWORD GetSysColor(int nIndex) { return SysColor(nIndex); }

HBRUSH GetSysColorBrush(int nIndex) { return reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(nIndex + 1)); }

HBRUSH CreateSolidBrush(COLORREF color)
{
    HGDIOBJ h = reinterpret_cast<HGDIOBJ>(g_nextObject);
    g_nextObject += 4;
    Brushes()[h] = BrushObject{color};
    return reinterpret_cast<HBRUSH>(h);
}

HFONT CreateFontA(int cHeight, int, int, int, int cWeight, DWORD, DWORD bUnderline, DWORD, DWORD, DWORD, DWORD, DWORD,
                  DWORD, LPCSTR)
{
    HGDIOBJ h = reinterpret_cast<HGDIOBJ>(g_nextObject);
    g_nextObject += 4;
    FontObject f;
    f.height = cHeight;
    f.weight = cWeight == FW_DONTCARE ? FW_NORMAL : cWeight;
    f.underline = bUnderline != 0;
    Fonts()[h] = f;
    return reinterpret_cast<HFONT>(h);
}

HFONT CreateFontIndirectA(const LOGFONTA* lplf)
{
    if (!lplf)
        return nullptr;
    return CreateFontA(lplf->lfHeight, lplf->lfWidth, lplf->lfEscapement, lplf->lfOrientation, lplf->lfWeight,
                       lplf->lfItalic, lplf->lfUnderline, lplf->lfStrikeOut, lplf->lfCharSet, lplf->lfOutPrecision,
                       lplf->lfClipPrecision, lplf->lfQuality, lplf->lfPitchAndFamily, lplf->lfFaceName);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h)
{
    DeviceContext* dc = FindDc(hdc);
    if (!dc || !h)
        return nullptr;
    if (h == kSystemFont) {
        const HGDIOBJ old = dc->font;
        dc->font = h;
        dc->fontValue = FontObject{};
        return old;
    }
    auto font = Fonts().find(h);
    if (font != Fonts().end()) {
        const HGDIOBJ old = dc->font;
        dc->font = h;
        dc->fontValue = font->second; // kept by value: the font may be deleted while selected
        return old;
    }
    if (Brushes().count(h))
        return h; // brushes are not used for drawing by this layer
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ ho)
{
    if (Fonts().erase(ho) || Brushes().erase(ho))
        return TRUE;
    return FALSE;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c)
{
    DeviceContext* dc = FindDc(hdc);
    if (!dc || !lpString || c < 0)
        return FALSE;
    Canvas* canvas = Target(dc);
    if (!canvas)
        return TRUE;
    const std::string text(lpString, static_cast<size_t>(c));
    const TextStyle style = StyleOf(dc->fontValue);
    if (dc->bkMode == OPAQUE)
        canvas->Fill(RECT{x, y, x + TextWidth(text, style), y + TextHeight(style)}, FromColorRef(dc->bkColor));
    canvas->Text(x, y, text, FromColorRef(dc->textColor), style);
    return TRUE;
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl)
{
    DeviceContext* dc = FindDc(hdc);
    if (!dc || !lpString || c < 0 || !psizl)
        return FALSE;
    const TextStyle style = StyleOf(dc->fontValue);
    psizl->cx = TextWidth(std::string(lpString, static_cast<size_t>(c)), style);
    psizl->cy = TextHeight(style);
    return TRUE;
}

int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr)
{
    DeviceContext* dc = FindDc(hDC);
    COLORREF color;
    if (!dc || !lprc || !BrushColor(hbr, &color))
        return 0;
    if (Canvas* canvas = Target(dc))
        canvas->Fill(*lprc, FromColorRef(color));
    return 1;
}

namespace {

void Disc(Canvas& c, int x, int y, int size, Argb fill, Argb edge)
{
    const double r = size / 2.0;
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            const double dx = px + 0.5 - r, dy = py + 0.5 - r;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d <= r)
                c.Pixel(x + px, y + py, d > r - 1.5 ? edge : fill);
        }
}

// The system's message-box symbols, drawn: error, question, warning, information.
void SystemIcon(Canvas& c, int x, int y, int id)
{
    TextStyle big;
    big.pixelSize = 22;
    big.bold = true;
    switch (id) {
    case 32513: // IDI_HAND
        Disc(c, x, y, 32, 0xFFE02020, 0xFF800000);
        for (int i = 0; i < 14; ++i)
            for (int t = -1; t <= 1; ++t) {
                c.Pixel(x + 9 + i + t, y + 9 + i, 0xFFFFFFFF);
                c.Pixel(x + 22 - i + t, y + 9 + i, 0xFFFFFFFF);
            }
        break;
    case 32515: // IDI_EXCLAMATION
        for (int row = 0; row < 28; ++row) {
            const int half = row / 2 + 1;
            for (int px = 16 - half; px < 16 + half; ++px)
                c.Pixel(x + px, y + 2 + row, (px == 16 - half || px == 15 + half || row == 27) ? 0xFF000000 : 0xFFF8D800);
        }
        c.Text(x + 12, y + 6, "!", 0xFF000000, big);
        break;
    default: // IDI_QUESTION, IDI_ASTERISK
        Disc(c, x, y, 32, 0xFFFFFFFF, 0xFF2040C0);
        c.Text(x + (id == 32514 ? 10 : 13), y + 3, id == 32514 ? "?" : "i", 0xFF2040C0, big);
        break;
    }
}

} // namespace

BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon)
{
    DeviceContext* dc = FindDc(hDC);
    if (!dc || !hIcon)
        return FALSE;
    Canvas* canvas = Target(dc);
    if (!canvas)
        return TRUE;
    const Icon* icon = reinterpret_cast<const Icon*>(hIcon);
    if (icon->image)
        canvas->Image(X, Y, icon->image->rows, icon->image->palette);
    else
        SystemIcon(*canvas, X, Y, icon->systemId);
    return TRUE;
}
