// The menu bar of a window: its strip, drop-down menus (popup SDL windows drawn by the layer)
// and the modal loop that tracks them by mouse and keyboard, telling the window through
// WM_ENTERMENULOOP, WM_INITMENU, WM_INITMENUPOPUP, WM_MENUSELECT (0xFFFF/0 at the close),
// WM_EXITMENULOOP and, for a chosen item, a posted WM_COMMAND.
#include <algorithm>
#include <bitset>
#include <map>

#include "platform/win32/Menu.h"
#include "platform/win32/MenuStrip.h"
#include "platform/win32/Messages.h"
#include "platform/win32/SdlWindow.h"

namespace qv::win {
namespace {

constexpr int kBarPad = 7;
constexpr int kItemHeight = 19;
constexpr int kSeparatorHeight = 9;
constexpr int kPopupBorder = 3;
constexpr int kCheckColumn = 20;
constexpr int kArrowColumn = 22;
const TextStyle kMenuText{12};

int AccessKeyOf(const std::string& text)
{
    int key = 0;
    StripAccessKey(text, nullptr, &key);
    return key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
}

bool Selectable(const MenuEntry& e) { return !(e.flags & MF_SEPARATOR); }
bool Enabled(const MenuEntry& e) { return !(e.flags & (MF_GRAYED | MF_DISABLED)); }

// Draws "text" with its access key underlined; answers the width.
void MenuText(Canvas& c, int x, int y, const std::string& text, Argb color)
{
    int underlined = -1;
    const std::string plain = StripAccessKey(text, &underlined, nullptr);
    c.Text(x, y, plain, color, kMenuText);
    if (underlined >= 0) {
        const int before = TextWidth(plain.substr(0, underlined), kMenuText);
        size_t end = underlined + 1;
        while (end < plain.size() && (static_cast<unsigned char>(plain[end]) & 0xC0) == 0x80)
            ++end;
        const int width = TextWidth(plain.substr(underlined, end - underlined), kMenuText);
        c.HLine(x + before, x + before + width, y + TextAscent(kMenuText), color);
    }
}

std::vector<RECT> BarLayout(HMENU menu)
{
    std::vector<RECT> rects;
    MenuObject* m = FindMenu(menu);
    if (!m)
        return rects;
    int x = 0;
    for (const MenuEntry& e : m->items) {
        const int w = TextWidth(StripAccessKey(e.text, nullptr, nullptr), kMenuText) + 2 * kBarPad;
        rects.push_back(RECT{x, 1, x + w, kMenuBarHeight - 1});
        x += w;
    }
    return rects;
}

} // namespace

void PaintMenuBar(Canvas& c, HMENU menu, int width, int selected)
{
    c.Resize(std::max(1, width), kMenuBarHeight, colors::kFace);
    MenuObject* m = FindMenu(menu);
    if (!m)
        return;
    const std::vector<RECT> rects = BarLayout(menu);
    const int textY = (kMenuBarHeight - TextHeight(kMenuText)) / 2;
    for (size_t i = 0; i < rects.size(); ++i) {
        const MenuEntry& e = m->items[i];
        const bool hot = static_cast<int>(i) == selected;
        if (hot)
            c.Fill(rects[i], colors::kHighlight);
        const Argb color = !Enabled(e) ? colors::kGrayText : hot ? colors::kHighlightText : colors::kText;
        MenuText(c, rects[i].left + kBarPad, textY, e.text, color);
    }
}

namespace {

struct PopupLayout {
    int width = 0;
    int height = 0;
    std::vector<RECT> items;
};

PopupLayout LayoutPopup(HMENU menu)
{
    PopupLayout layout;
    MenuObject* m = FindMenu(menu);
    if (!m)
        return layout;
    int textWidth = 0;
    for (const MenuEntry& e : m->items)
        textWidth = std::max(textWidth, TextWidth(StripAccessKey(e.text, nullptr, nullptr), kMenuText));
    layout.width = 2 * kPopupBorder + kCheckColumn + textWidth + kArrowColumn;
    int y = kPopupBorder;
    for (const MenuEntry& e : m->items) {
        const int h = (e.flags & MF_SEPARATOR) ? kSeparatorHeight : kItemHeight;
        layout.items.push_back(RECT{kPopupBorder, y, layout.width - kPopupBorder, y + h});
        y += h;
    }
    layout.height = y + kPopupBorder;
    return layout;
}

void CheckMark(Canvas& c, int x, int y, Argb color)
{
    // A small tick, 7 pixels wide and three thick.
    static const int kTick[7] = {2, 3, 4, 3, 2, 1, 0};
    for (int i = 0; i < 7; ++i)
        c.VLine(x + i, y + kTick[i], y + kTick[i] + 3, color);
}

void Arrow(Canvas& c, int x, int y, Argb color)
{
    for (int i = 0; i < 4; ++i)
        c.VLine(x + i, y + i, y + 7 - i, color);
}

} // namespace

void PaintPopupMenu(Canvas& c, HMENU menu, int selected)
{
    const PopupLayout layout = LayoutPopup(menu);
    c.Resize(layout.width, layout.height, colors::kFace);
    c.Edge3D(RECT{0, 0, layout.width, layout.height}, true);
    MenuObject* m = FindMenu(menu);
    if (!m)
        return;
    const int textDy = (kItemHeight - TextHeight(kMenuText)) / 2;
    for (size_t i = 0; i < m->items.size(); ++i) {
        const MenuEntry& e = m->items[i];
        const RECT& r = layout.items[i];
        if (e.flags & MF_SEPARATOR) {
            const int y = (r.top + r.bottom) / 2 - 1;
            c.HLine(r.left + 1, r.right - 1, y, colors::kShadow);
            c.HLine(r.left + 1, r.right - 1, y + 1, colors::kLight);
            continue;
        }
        const bool hot = static_cast<int>(i) == selected;
        if (hot)
            c.Fill(r, colors::kHighlight);
        const Argb color = !Enabled(e) ? colors::kGrayText : hot ? colors::kHighlightText : colors::kText;
        if (e.flags & MF_CHECKED)
            CheckMark(c, r.left + 6, r.top + (kItemHeight - 7) / 2, color);
        MenuText(c, r.left + kCheckColumn, r.top + textDy, e.text, color);
        if (e.flags & MF_POPUP)
            Arrow(c, r.right - 12, r.top + (kItemHeight - 7) / 2, color);
    }
}

namespace {

// The bar of each window as last drawn, kept for SwapGlWindow.
struct StripState {
    Canvas canvas;
    unsigned generation = 0;
    int selected = -1;
    unsigned revision = ~0u;
    int width = -1;
    HMENU menu = nullptr;
};
std::map<HWND, StripState>& Strips()
{
    static std::map<HWND, StripState> strips;
    return strips;
}

int StripWidth(const Window& w)
{
    return w.fullScreen ? static_cast<int>(w.rect.right - w.rect.left)
                        : static_cast<int>(ClientRectOf(w).right - ClientRectOf(w).left);
}

Canvas& StripCanvas(Window& w, int selected)
{
    StripState& s = Strips()[w.handle];
    const int width = StripWidth(w);
    if (s.selected != selected || s.revision != MenuRevision() || s.width != width || s.menu != w.menu) {
        PaintMenuBar(s.canvas, w.menu, width, selected);
        static unsigned s_generation = 0;
        s.generation = ++s_generation;
        s.selected = selected;
        s.revision = MenuRevision();
        s.width = width;
        s.menu = w.menu;
    }
    return s.canvas;
}

// ---------------------------------------------------------------------------------------------
// Tracking

class Tracker {
public:
    Tracker(HWND hWnd, bool byMouse) : m_hwnd(hWnd), m_byMouse(byMouse)
    {
        Window* w = Find(hWnd);
        m_bar = w ? w->menu : nullptr;
    }

    ~Tracker()
    {
        while (!m_popups.empty())
            ClosePopup();
    }

    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    // Opens the bar item `item` (its drop-down, with the first item selected when by key); a
    // command on the bar itself is chosen at once when `choose` is set.
    void Run(int item, bool openPopup, bool choose)
    {
        if (!FindMenu(m_bar))
            return;
        SendMessageA(m_hwnd, WM_ENTERMENULOOP, FALSE, 0);
        SendMessageA(m_hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(m_bar), 0);
        // A menu entered by a click is tracked with the button down: its release chooses.
        m_buttonDown = m_byMouse;
        SelectBar(item);
        if (choose && m_barSelected >= 0 && !IsPopup(m_bar, m_barSelected)) {
            Choose(m_bar, m_barSelected);
        } else if (openPopup && m_barSelected >= 0 && IsPopup(m_bar, m_barSelected)) {
            OpenPopup(SubmenuOf(m_bar, m_barSelected), !m_byMouse);
        }
        if (!m_done) {
            // Input that the display gave before the menu took the pointer (the release of the
            // click that opened it, and what followed) goes first, in its order.
            MSG waiting;
            while (!m_done && TakeWaitingInput(waiting))
                if (!OnMessage(waiting)) {
                    TranslateMessage(&waiting);
                    DispatchMessageA(&waiting);
                }
            SetEventInterceptor([this](const SDL_Event& e) { return OnSdlEvent(e); });
            RunModalLoop(
                [this] {
                    Refresh();
                    return m_done || !IsWindow(m_hwnd);
                },
                [this](MSG& m) { return OnMessage(m); });
            SetEventInterceptor(nullptr);
        }
        while (!m_popups.empty())
            ClosePopup();
        if (!IsWindow(m_hwnd))
            return;
        m_barSelected = -1;
        DrawBar();
        SendMessageA(m_hwnd, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
        SendMessageA(m_hwnd, WM_EXITMENULOOP, FALSE, 0);
        if (m_command)
            PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(m_command, 0), 0);
    }

private:
    struct Popup {
        HMENU menu;
        int selected = -1;
        SDL_Window* window = nullptr;
        SDL_Rect rect = {}; // on the screen
        ModeView view;      // the scale of its pixels on the screen (the bar's)
        PopupLayout layout;
        Canvas canvas;
        unsigned revision = ~0u;
        int drawnSelected = -2;
    };

    static bool IsPopup(HMENU menu, int i)
    {
        MenuObject* m = FindMenu(menu);
        return m && i >= 0 && static_cast<size_t>(i) < m->items.size() && (m->items[i].flags & MF_POPUP);
    }
    static HMENU SubmenuOf(HMENU menu, int i)
    {
        MenuObject* m = FindMenu(menu);
        return m && i >= 0 && static_cast<size_t>(i) < m->items.size() ? m->items[i].submenu : nullptr;
    }
    static int Count(HMENU menu)
    {
        MenuObject* m = FindMenu(menu);
        return m ? static_cast<int>(m->items.size()) : 0;
    }

    void NotifySelect(HMENU menu, int i)
    {
        MenuObject* m = FindMenu(menu);
        if (!m || i < 0 || static_cast<size_t>(i) >= m->items.size())
            return;
        const MenuEntry& e = m->items[i];
        UINT flags = (e.flags & (MF_POPUP | MF_CHECKED | MF_GRAYED | MF_DISABLED)) | MF_HILITE;
        if (m_byMouse)
            flags |= MF_MOUSESELECT;
        const UINT item = (e.flags & MF_POPUP) ? static_cast<UINT>(i) : e.id;
        SendMessageA(m_hwnd, WM_MENUSELECT, MAKEWPARAM(item, flags), reinterpret_cast<LPARAM>(menu));
    }

    void SelectBar(int i)
    {
        if (i == m_barSelected)
            return;
        m_barSelected = i;
        DrawBar();
        if (i >= 0)
            NotifySelect(m_bar, i);
    }

    void DrawBar()
    {
        Window* w = Find(m_hwnd);
        if (!w || !w->menu)
            return;
        StripCanvas(*w, m_barSelected);
        RepaintFromKeptFrame(m_hwnd);
    }

    // Where the strip's pixels are on the screen (the SDL windows' space): at the top of the
    // window, or in full screen over the top of the picture, scaled with it.
    ModeView BarView() const
    {
        Window* w = Find(m_hwnd);
        if (!w || !w->sdl)
            return ModeView{};
        if (w->fullScreen)
            return FullScreenView();
        ModeView view;
        SDL_GetWindowPosition(w->sdl, &view.origin.x, &view.origin.y);
        return view;
    }

    SDL_Rect BarItemOnScreen(int i) const
    {
        const std::vector<RECT> rects = BarLayout(m_bar);
        if (i < 0 || static_cast<size_t>(i) >= rects.size())
            return SDL_Rect{0, 0, 0, 0};
        const ModeView view = BarView();
        const POINT at = view.ToScreen(POINT{rects[i].left, 0});
        return SDL_Rect{at.x, at.y, view.Screen(rects[i].right) - view.Screen(rects[i].left), view.Screen(kMenuBarHeight)};
    }

    int BarItemAt(int sx, int sy)
    {
        for (int i = 0; i < Count(m_bar); ++i) {
            const SDL_Rect r = BarItemOnScreen(i);
            if (sx >= r.x && sx < r.x + r.w && sy >= r.y && sy < r.y + r.h)
                return i;
        }
        return -1;
    }

    void OpenPopup(HMENU menu, bool selectFirst)
    {
        if (!FindMenu(menu))
            return;
        const int parentItem = m_popups.empty() ? m_barSelected : m_popups.back().selected;
        SendMessageA(m_hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(parentItem, FALSE));
        Popup p;
        p.menu = menu;
        p.layout = LayoutPopup(menu);
        p.view = BarView();
        const ModeView& view = p.view;
        if (m_popups.empty()) {
            const SDL_Rect item = BarItemOnScreen(m_barSelected);
            p.rect = SDL_Rect{item.x, item.y + item.h, view.Screen(p.layout.width), view.Screen(p.layout.height)};
            // Opened by a key or a press; OnPointer says when moving onto its item opened it.
            m_dropped = true;
            m_openedByMoving = false;
        } else {
            const Popup& parent = m_popups.back();
            const RECT& r = parent.layout.items[parent.selected];
            p.rect = SDL_Rect{parent.rect.x + parent.rect.w - view.Screen(kPopupBorder),
                              parent.rect.y + view.Screen(r.top - kPopupBorder), view.Screen(p.layout.width),
                              view.Screen(p.layout.height)};
        }
        // Kept on the display where it can be (in full screen: on the picture, the mode's display).
        const SDL_Rect mode = DisplayBounds();
        const ModeView display = FullScreenView();
        const POINT corner = display.ToScreen(POINT{mode.x, mode.y});
        const SDL_Rect area = {corner.x, corner.y, display.Screen(mode.w), display.Screen(mode.h)};
        if (p.rect.x + p.rect.w > area.x + area.w)
            p.rect.x = std::max(area.x, area.x + area.w - p.rect.w);
        if (p.rect.y + p.rect.h > area.y + area.h)
            p.rect.y = std::max(area.y, area.y + area.h - p.rect.h);
        DisplayLibraryAllocations ignored;
        p.window = SDL_CreateWindow("menu", p.rect.x, p.rect.y, p.rect.w, p.rect.h,
                                    SDL_WINDOW_TOOLTIP | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR |
                                        SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_HIDDEN);
        m_popups.push_back(std::move(p));
        if (m_popups.back().window) {
            SDL_ShowWindow(m_popups.back().window);
            // The keys stay with the window: its menu loop reads them.
            if (Window* w = Find(m_hwnd))
                KeepKeyboardOn(w->sdl);
        }
        if (selectFirst)
            SelectInPopup(NextSelectable(menu, -1, +1));
        Paint(m_popups.back());
    }

    void ClosePopup()
    {
        if (m_popups.empty())
            return;
        if (m_popups.back().window) {
            SDL_DestroyWindow(m_popups.back().window);
            if (Window* w = Find(m_hwnd))
                KeepKeyboardOn(w->sdl);
            m_barDirty = true; // what the drop-down covered shows again
        }
        m_popups.pop_back();
        if (!m_popups.empty())
            m_popups.back().drawnSelected = -2; // repaint
    }

    void SelectInPopup(int i)
    {
        if (m_popups.empty())
            return;
        Popup& p = m_popups.back();
        if (p.selected == i)
            return;
        p.selected = i;
        if (i >= 0)
            NotifySelect(p.menu, i);
    }

    static int NextSelectable(HMENU menu, int from, int step)
    {
        MenuObject* m = FindMenu(menu);
        const int n = m ? static_cast<int>(m->items.size()) : 0;
        for (int k = 1; k <= n; ++k) {
            const int i = ((from + step * k) % n + n) % n;
            if (Selectable(m->items[i]))
                return i;
        }
        return -1;
    }

    void Paint(Popup& p)
    {
        if (p.revision == MenuRevision() && p.drawnSelected == p.selected)
            return;
        PaintPopupMenu(p.canvas, p.menu, p.selected);
        p.revision = MenuRevision();
        p.drawnSelected = p.selected;
        if (!p.window)
            return;
        DisplayLibraryAllocations ignored;
        if (SDL_Surface* s = SDL_GetWindowSurface(p.window)) {
            p.canvas.Present(s, p.rect.w, p.rect.h);
            SDL_UpdateWindowSurface(p.window);
        }
    }

    // Each pass of the loop: what the window changed (check marks set on WM_MENUSELECT) shows.
    void Refresh()
    {
        for (Popup& p : m_popups)
            Paint(p);
        Window* w = Find(m_hwnd);
        if (w && w->menu) {
            StripState& s = Strips()[m_hwnd];
            if (m_barDirty || s.revision != MenuRevision() || s.selected != m_barSelected) {
                m_barDirty = false;
                DrawBar();
            }
        }
    }

    void Choose(HMENU menu, int i)
    {
        MenuObject* m = FindMenu(menu);
        if (!m || i < 0 || static_cast<size_t>(i) >= m->items.size())
            return;
        const MenuEntry& e = m->items[i];
        if (!Enabled(e) || !Selectable(e))
            return;
        if (e.flags & MF_POPUP) {
            if (menu == m_bar) {
                SelectBar(i);
                if (m_popups.empty())
                    OpenPopup(e.submenu, true);
            } else {
                OpenPopup(e.submenu, true);
            }
            return;
        }
        m_command = e.id;
        m_done = true;
    }

    // The deepest open menu, or the bar.
    HMENU Current() const { return m_popups.empty() ? m_bar : m_popups.back().menu; }

    // Left and Right on the bar, or in a drop-down: the neighbouring item of the bar, with its
    // drop-down open when one was (a command of the bar on the way keeps the menus dropped).
    void MoveOnBar(int step)
    {
        while (!m_popups.empty())
            ClosePopup();
        const int n = Count(m_bar);
        if (n == 0)
            return;
        SelectBar(((std::max(m_barSelected, 0) + step) % n + n) % n);
        if (m_dropped && IsPopup(m_bar, m_barSelected))
            OpenPopup(SubmenuOf(m_bar, m_barSelected), true);
    }

    void OnKey(WPARAM vk)
    {
        m_byMouse = false;
        switch (vk) {
        case VK_LEFT:
            if (m_popups.size() > 1)
                ClosePopup();
            else
                MoveOnBar(-1);
            break;
        case VK_RIGHT:
            if (!m_popups.empty() && IsPopup(m_popups.back().menu, m_popups.back().selected))
                OpenPopup(SubmenuOf(m_popups.back().menu, m_popups.back().selected), true);
            else if (m_popups.size() > 1 && m_popups.back().selected < 0)
                SelectInPopup(NextSelectable(m_popups.back().menu, -1, +1)); // into a submenu the pointer opened
            else
                MoveOnBar(+1);
            break;
        case VK_UP:
        case VK_DOWN:
            if (m_popups.empty()) {
                if (IsPopup(m_bar, m_barSelected))
                    OpenPopup(SubmenuOf(m_bar, m_barSelected), true);
            } else {
                Popup& p = m_popups.back();
                SelectInPopup(NextSelectable(p.menu, p.selected < 0 && vk == VK_UP ? 0 : p.selected, vk == VK_UP ? -1 : +1));
            }
            break;
        case VK_RETURN:
            if (m_popups.empty())
                Choose(m_bar, m_barSelected);
            else
                Choose(m_popups.back().menu, m_popups.back().selected);
            break;
        case VK_ESCAPE:
            if (m_popups.empty()) {
                m_done = true;
            } else {
                ClosePopup();
                m_dropped = !m_popups.empty(); // back on the bar, its item selected
            }
            break;
        default:
            break;
        }
    }

    static bool IsMenuKey(WPARAM vk)
    {
        return vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN || vk == VK_RETURN || vk == VK_ESCAPE;
    }

    void OnCharacter(WPARAM ch)
    {
        m_byMouse = false;
        int key = static_cast<int>(ch);
        if (key >= 'a' && key <= 'z')
            key = key - 'a' + 'A';
        HMENU menu = Current();
        MenuObject* m = FindMenu(menu);
        if (!m)
            return;
        for (size_t i = 0; i < m->items.size(); ++i) {
            if (Selectable(m->items[i]) && AccessKeyOf(m->items[i].text) == key) {
                if (menu != m_bar)
                    SelectInPopup(static_cast<int>(i));
                Choose(menu, static_cast<int>(i));
                return;
            }
        }
        MessageBeep(0);
    }

    bool OnMessage(MSG& m)
    {
        switch (m.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            // Only a fresh press counts: the display repeats the state of keys still held when
            // the focus moves (bit 30, the previous state, is set then). A key that went down
            // before the menu opened repeats for whoever had it, not for the menu.
            const bool repeat = (m.lParam & (LPARAM(1) << 30)) != 0;
            const size_t vk = m.wParam & 0xFF;
            if (!repeat)
                m_pressedHere.set(vk);
            else if (!m_pressedHere.test(vk))
                return true;
            if (m.wParam == VK_MENU || m.wParam == VK_F10) {
                if (!repeat)
                    m_leaveKeyDown = true;
            } else if (IsMenuKey(m.wParam)) {
                OnKey(m.wParam);
            } else {
                TranslateMessage(&m); // an access key comes back as its character
            }
            return true;
        }
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // Alt or F10 pressed again leaves the menu, on release, so that the release does not
            // open it once more; the release of the Alt that came with an access key does not.
            if ((m.wParam == VK_MENU || m.wParam == VK_F10) && m_leaveKeyDown)
                m_done = true;
            return true;
        case WM_CHAR:
        case WM_SYSCHAR:
            OnCharacter(m.wParam);
            return true;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_NCMOUSEMOVE:
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONUP: {
            // Pointer input that was queued before the menu took the pointer.
            POINT client = {GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
            if (m.message >= WM_NCMOUSEMOVE && m.message <= WM_NCLBUTTONUP)
                ScreenToClient(m.hwnd, &client);
            else if (HWND top = TopLevelOf(m.hwnd); top != m.hwnd) {
                ClientToScreen(m.hwnd, &client);
                ScreenToClient(top, &client);
            }
            Window* w = Find(TopLevelOf(m.hwnd));
            if (!w || !w->sdl) {
                if (m.message == WM_LBUTTONDOWN || m.message == WM_RBUTTONDOWN)
                    m_done = true;
                return true;
            }
            const POINT local = ClientToSdl(*w, client);
            int wx = 0, wy = 0;
            SDL_GetWindowPosition(w->sdl, &wx, &wy);
            const bool down = m.message == WM_LBUTTONDOWN || m.message == WM_RBUTTONDOWN || m.message == WM_NCLBUTTONDOWN;
            const bool up = m.message == WM_LBUTTONUP || m.message == WM_NCLBUTTONUP;
            const int button = m.message == WM_RBUTTONDOWN ? SDL_BUTTON_RIGHT : (down || up) ? SDL_BUTTON_LEFT : 0;
            OnPointer(wx + local.x, wy + local.y, button, down);
            return true;
        }
        default:
            return false;
        }
    }

    int PopupAt(int sx, int sy) const
    {
        for (int k = static_cast<int>(m_popups.size()) - 1; k >= 0; --k) {
            const SDL_Rect& r = m_popups[k].rect;
            if (sx >= r.x && sx < r.x + r.w && sy >= r.y && sy < r.y + r.h)
                return k;
        }
        return -1;
    }

    int ItemAt(const Popup& p, int sx, int sy) const
    {
        const int x = p.view.Mode(sx - p.rect.x), y = p.view.Mode(sy - p.rect.y);
        for (size_t i = 0; i < p.layout.items.size(); ++i) {
            const RECT& r = p.layout.items[i];
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                return static_cast<int>(i);
        }
        return -1;
    }

    // The pointer, anywhere: over the bar, a drop-down or elsewhere.
    void OnPointer(int sx, int sy, int button, bool pressed)
    {
        const int k = PopupAt(sx, sy);
        if (k >= 0) {
            m_byMouse = true;
            const int item = ItemAt(m_popups[k], sx, sy);
            // Moving back into a parent closes what hung from another of its items.
            if (static_cast<int>(m_popups.size()) > k + 1 && item != m_popups[k].selected)
                while (static_cast<int>(m_popups.size()) > k + 1)
                    ClosePopup();
            const bool deepest = static_cast<int>(m_popups.size()) == k + 1;
            HMENU menu = m_popups[k].menu;
            if (deepest && item >= 0 && Selectable(FindMenu(menu)->items[item])) {
                SelectInPopup(item);
                if (IsPopup(menu, item))
                    OpenPopup(SubmenuOf(menu, item), false);
            }
            if (button == SDL_BUTTON_LEFT && !pressed) {
                m_buttonDown = false;
                if (item >= 0 && !IsPopup(menu, item))
                    Choose(menu, item);
            } else if (button == SDL_BUTTON_LEFT && pressed) {
                m_buttonDown = true;
            }
            return;
        }
        const int bar = BarItemAt(sx, sy);
        if (bar >= 0) {
            if (button == SDL_BUTTON_LEFT && pressed) {
                m_buttonDown = true;
                if (bar == m_barSelected && !m_popups.empty()) {
                    // A second click on an open item closes the menu; the first click on an item
                    // whose drop-down opened as the pointer came onto it keeps it.
                    if (!m_openedByMoving)
                        m_done = true;
                    m_openedByMoving = false;
                    return;
                }
                OpenFromBar(bar);
                return;
            }
            if (button == SDL_BUTTON_LEFT && !pressed) {
                // A command of the bar is chosen by the release of the button over it, when the
                // button went down in this menu (on it, or on another item and dragged here).
                if (m_buttonDown && bar == m_barSelected && !IsPopup(m_bar, bar))
                    Choose(m_bar, bar);
                m_buttonDown = false;
                return;
            }
            if (button == 0 && bar != m_barSelected && (m_byMouse || m_dropped)) {
                // Dragged over the bar with the button down, each drop-down opens in turn;
                // moved without it, one opens only while the menus are dropped.
                while (!m_popups.empty())
                    ClosePopup();
                SelectBar(bar);
                if ((m_dropped || m_buttonDown) && IsPopup(m_bar, bar)) {
                    OpenPopup(SubmenuOf(m_bar, bar), false);
                    m_openedByMoving = !m_buttonDown;
                }
            }
            return;
        }
        if (button == SDL_BUTTON_LEFT && !pressed) {
            // Released outside every item: nothing is chosen. A drop-down stays open for a
            // click; a command of the bar that was pressed and left is given up with the menu.
            if (m_buttonDown && m_popups.empty())
                m_done = true;
            m_buttonDown = false;
            return;
        }
        if (pressed && button != 0)
            m_done = true; // outside every menu
    }

    // A press on a bar item: its drop-down opens, or the command waits for the release.
    void OpenFromBar(int bar)
    {
        while (!m_popups.empty())
            ClosePopup();
        m_byMouse = true;
        SelectBar(bar);
        if (IsPopup(m_bar, bar))
            OpenPopup(SubmenuOf(m_bar, bar), false);
    }

    bool IsPopupWindow(Uint32 id) const
    {
        for (const Popup& p : m_popups)
            if (p.window && SDL_GetWindowID(p.window) == id)
                return true;
        return false;
    }

    bool OnSdlEvent(const SDL_Event& e)
    {
        auto toScreen = [](Uint32 windowId, int x, int y, int& sx, int& sy) {
            SDL_Window* w = SDL_GetWindowFromID(windowId);
            int wx = 0, wy = 0;
            if (w)
                SDL_GetWindowPosition(w, &wx, &wy);
            sx = wx + x;
            sy = wy + y;
        };
        int sx = 0, sy = 0;
        switch (e.type) {
        case SDL_MOUSEMOTION:
            toScreen(e.motion.windowID, e.motion.x, e.motion.y, sx, sy);
            OnPointer(sx, sy, 0, false);
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            toScreen(e.button.windowID, e.button.x, e.button.y, sx, sy);
            OnPointer(sx, sy, e.button.button, e.type == SDL_MOUSEBUTTONDOWN);
            return true;
        case SDL_WINDOWEVENT: {
            const bool focus =
                e.window.event == SDL_WINDOWEVENT_FOCUS_LOST || e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
            if (IsPopupWindow(e.window.windowID)) {
                if (e.window.event == SDL_WINDOWEVENT_EXPOSED)
                    for (Popup& p : m_popups)
                        p.drawnSelected = -2;
                if (focus)
                    m_focusMovedAt = SDL_GetTicks();
                return true;
            }
            Window* w = Find(m_hwnd);
            if (!w || !w->sdl || SDL_GetWindowID(w->sdl) != e.window.windowID)
                return false;
            // The window keeps its activation while its menu is open: showing a drop-down may
            // move the display's keyboard focus to it.
            if (focus) {
                m_focusMovedAt = SDL_GetTicks();
                return true;
            }
            return false;
        }
        case SDL_KEYDOWN:
            // When the focus moves, the display tells again of the keys still held; an Alt
            // told so is no new press that would leave the menu.
            if ((e.key.keysym.scancode == SDL_SCANCODE_LALT || e.key.keysym.scancode == SDL_SCANCODE_RALT) &&
                m_focusMovedAt && SDL_GetTicks() - m_focusMovedAt < 100)
                return true;
            return false;
        default:
            return false;
        }
    }

    HWND m_hwnd;
    HMENU m_bar = nullptr;
    bool m_byMouse;
    int m_barSelected = -1;
    bool m_buttonDown = false; // the left button went down in this menu and is still down
    std::vector<Popup> m_popups;
    // The selected item of the bar shows its drop-down: moving to another item opens its own.
    bool m_dropped = false;
    // The open drop-down came as the pointer moved onto its item, with no press on it yet.
    bool m_openedByMoving = false;
    bool m_done = false;
    bool m_leaveKeyDown = false;
    std::bitset<256> m_pressedHere; // keys that went down while the menu was open
    bool m_barDirty = false;
    Uint32 m_focusMovedAt = 0;
    UINT m_command = 0;
};

bool g_tracking = false;

// The bar item shown selected: the tracked one while a menu is open.
int StripSelection(HWND hWnd)
{
    auto it = Strips().find(hWnd);
    return g_tracking && it != Strips().end() ? it->second.selected : -1;
}

} // namespace

void RepaintFromKeptFrame(HWND hWnd)
{
    Window* w = Find(hWnd);
    if (!w || !w->sdl || !w->gl || !w->visible)
        return;
    DrawKeptFrame(*w);
    if (w->menu) {
        const Canvas& strip = StripCanvas(*w, StripSelection(hWnd));
        DrawStripWithGl(*w, strip, Strips()[hWnd].generation);
    }
    SDL_GL_SwapWindow(w->sdl);
}

void TrackMenuBar(HWND hWnd, int x, bool byMouse)
{
    Window* w = Find(hWnd);
    if (g_tracking || !w || !w->menu || !w->enabled)
        return;
    int item = 0;
    if (byMouse) {
        item = -1;
        const std::vector<RECT> rects = BarLayout(w->menu);
        for (size_t i = 0; i < rects.size(); ++i)
            if (x >= rects[i].left && x < rects[i].right)
                item = static_cast<int>(i);
        if (item < 0)
            return;
    }
    g_tracking = true;
    Tracker tracker(hWnd, byMouse);
    const bool popup = FindMenu(w->menu) && FindMenu(w->menu)->items.size() > static_cast<size_t>(item) &&
                       (FindMenu(w->menu)->items[item].flags & MF_POPUP);
    // A click opens the drop-down; F10 or Alt only selects the first item of the bar.
    tracker.Run(item, byMouse && popup, false);
    g_tracking = false;
}

void TrackMenuBarByKey(HWND hWnd, int character)
{
    Window* w = Find(hWnd);
    if (g_tracking || !w || !w->menu || !w->enabled)
        return;
    MenuObject* m = FindMenu(w->menu);
    int key = character >= 'a' && character <= 'z' ? character - 'a' + 'A' : character;
    int item = -1;
    for (size_t i = 0; m && i < m->items.size(); ++i)
        if (Selectable(m->items[i]) && AccessKeyOf(m->items[i].text) == key)
            item = static_cast<int>(i);
    if (item < 0) {
        MessageBeep(0);
        return;
    }
    g_tracking = true;
    Tracker tracker(hWnd, false);
    tracker.Run(item, true, true);
    g_tracking = false;
}

void DrawMenuStrip(HWND hWnd)
{
    Window* w = Find(hWnd);
    if (!w || !w->menu || !w->sdl || !w->gl)
        return;
    StripCanvas(*w, StripSelection(hWnd));
}

} // namespace qv::win

bool qv::ReadKeptFrame(HWND hWnd, std::vector<uint8_t>& bgra, int* width, int* height)
{
    qv::win::Window* w = qv::win::Find(hWnd);
    int keptWidth = 0, keptHeight = 0;
    if (!w || !w->gl || !width || !height || !qv::win::ReadKeptFrame(*w, bgra, keptWidth, keptHeight))
        return false;
    *width = keptWidth;
    *height = keptHeight;
    return true;
}

void qv::SwapGlWindow(HWND hWnd)
{
    using namespace qv::win;
    Window* w = Find(hWnd);
    if (!w || !w->sdl)
        return;
    if (w->gl) {
        // The frame presented last is the picture behind menus and boxes, and what the window
        // shows again when it is uncovered while no frame comes.
        KeepClientCopy(*w);
        if (w->menu) {
            const Canvas& strip = StripCanvas(*w, StripSelection(hWnd));
            DrawStripWithGl(*w, strip, Strips()[hWnd].generation);
        }
    }
    SDL_GL_SwapWindow(w->sdl);
}
