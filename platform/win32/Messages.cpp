// The message queue: posted messages and input in arrival order, then WM_QUIT, then WM_PAINT;
// WH_GETMESSAGE hooks see every message taken from it; SDL events become window messages.
#include "platform/win32/Messages.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/win32/KeyMap.h"
#include "platform/win32/KeyboardState.h"

namespace qv::win {
namespace {

struct Queue {
    std::mutex lock;
    std::deque<MSG> posted;
    bool quit = false;
    int quitCode = 0;
};

Queue& Q()
{
    static Queue queue;
    return queue;
}

struct Hook {
    HHOOK handle;
    HOOKPROC proc;
};
// Most recently installed first, as the hook chain runs.
std::vector<Hook>& Hooks()
{
    static std::vector<Hook> hooks;
    return hooks;
}
uintptr_t g_nextHook = 0x20010;

// What the last events left: the keys the layer saw and where the pointer is.
BYTE g_keys[256];
bool g_altAlone = false;
bool g_altReleasedAlone = false;
POINT g_cursor = {0, 0};
Uint32 g_buttons = 0;

// Characters of recent key-downs, taken when the key went down (the modifiers may have changed
// by the time TranslateMessage sees the message).
struct TypedKey {
    HWND hwnd;
    WPARAM vk;
    LPARAM lParam;
    DWORD time;
    int character;
    bool used;
};
TypedKey g_typed[64];
unsigned g_typedNext = 0;

DWORD Now() { return GetTickCount(); }

DWORD Post(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG m = {hWnd, message, wParam, lParam, Now(), g_cursor};
    std::lock_guard<std::mutex> guard(Q().lock);
    auto& posted = Q().posted;
    // The system keeps only the latest pointer position of a run of moves.
    if (message == WM_MOUSEMOVE && !posted.empty() && posted.back().message == WM_MOUSEMOVE && posted.back().hwnd == hWnd)
        posted.back() = m;
    else
        posted.push_back(m);
    return m.time;
}

bool Matches(const MSG& m, HWND hWnd, UINT first, UINT last)
{
    if (hWnd == reinterpret_cast<HWND>(-1)) {
        if (m.hwnd)
            return false;
    } else if (hWnd && m.hwnd != hWnd && !IsChild(hWnd, m.hwnd)) {
        return false;
    }
    if (first == 0 && last == 0)
        return true;
    return m.message >= first && m.message <= last;
}

bool Take(MSG& out, HWND hWnd, UINT first, UINT last, bool remove)
{
    {
        std::lock_guard<std::mutex> guard(Q().lock);
        auto& posted = Q().posted;
        for (auto it = posted.begin(); it != posted.end(); ++it) {
            if (Matches(*it, hWnd, first, last)) {
                out = *it;
                if (remove)
                    posted.erase(it);
                return true;
            }
        }
        if (Q().quit) {
            out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(Q().quitCode), 0, Now(), g_cursor};
            if (remove)
                Q().quit = false;
            return true;
        }
    }
    if ((first == 0 && last == 0) || (WM_PAINT >= first && WM_PAINT <= last)) {
        HWND paint = nullptr;
        ForEachWindow([&](Window& w) {
            if (w.needsPaint && w.visible && !w.destroying && (!hWnd || w.handle == hWnd || IsChild(hWnd, w.handle)) &&
                IsWindowVisible(w.handle)) {
                paint = w.handle;
                return false;
            }
            return true;
        });
        if (paint) {
            out = MSG{paint, WM_PAINT, 0, 0, Now(), g_cursor};
            return true;
        }
    }
    return false;
}

void SetKey(int vk, bool down)
{
    if (vk <= 0 || vk > 255)
        return;
    g_keys[vk] = down ? 0x80 : 0;
    qv::SetVirtualKeyState(vk, down);
}

HWND KeyTarget(Window* eventWindow)
{
    if (HWND focus = GetFocus())
        return focus;
    if (HWND active = ActiveWindow())
        return active;
    return eventWindow ? eventWindow->handle : nullptr;
}

void OnKey(const SDL_KeyboardEvent& e)
{
    const VirtualKey key = VirtualKeyFromSdl(e.keysym);
    if (!key.vk)
        return;
    const bool down = e.type == SDL_KEYDOWN;
    const bool wasDown = (g_keys[key.vk] & 0x80) != 0;
    if (key.sideVk) {
        SetKey(key.sideVk, down);
        const int other = key.sideVk ^ 1; // VK_LSHIFT <-> VK_RSHIFT and so on
        SetKey(key.vk, down || (g_keys[other] & 0x80));
    } else {
        SetKey(key.vk, down);
    }
    if (key.vk == VK_CAPITAL && down)
        g_keys[VK_CAPITAL] ^= 0x01;

    if (key.vk == VK_MENU) {
        if (down && !wasDown)
            g_altAlone = true;
        g_altReleasedAlone = !down && g_altAlone;
    } else if (down) {
        g_altAlone = false;
        g_altReleasedAlone = false;
    }

    Window* w = FindBySdlId(e.windowID);
    HWND target = KeyTarget(w);
    if (!target)
        return;
    const bool alt = (g_keys[VK_MENU] & 0x80) != 0;
    const bool control = (g_keys[VK_CONTROL] & 0x80) != 0;
    UINT message;
    if (key.vk == VK_MENU || key.vk == VK_F10 || (alt && !control))
        message = down ? WM_SYSKEYDOWN : WM_SYSKEYUP;
    else
        message = down ? WM_KEYDOWN : WM_KEYUP;
    DWORD lParam = 1u | (DWORD(key.scanCode) << 16);
    if (key.extended)
        lParam |= 1u << 24;
    if (alt && message != WM_KEYDOWN && message != WM_KEYUP)
        lParam |= 1u << 29;
    if (!down || e.repeat || wasDown)
        lParam |= 1u << 30;
    if (!down)
        lParam |= 1u << 31;
    // A release of Alt that followed its own press opens the menu bar; the message carries
    // that in a bit the system leaves unused, as later keys change the layer's state.
    if (key.vk == VK_MENU && g_altReleasedAlone)
        lParam |= kLoneAltBit;
    const DWORD time = Post(target, message, static_cast<WPARAM>(key.vk), static_cast<LPARAM>(lParam));
    if (down) {
        int ch = CharacterOfKey(key.vk, (g_keys[VK_SHIFT] & 0x80) != 0, control && !alt, (g_keys[VK_CAPITAL] & 1) != 0);
        if (e.keysym.sym == SDLK_QUESTION)
            ch = '?';
        g_typed[g_typedNext++ % 64] = TypedKey{target, static_cast<WPARAM>(key.vk), static_cast<LPARAM>(lParam), time, ch, false};
    }
}

// The deepest visible, enabled child of a top-level window under a client point.
HWND ChildAt(HWND parent, POINT& pt)
{
    HWND found = parent;
    bool descended = true;
    while (descended) {
        descended = false;
        HWND current = found;
        ForEachWindow([&](Window& c) {
            if (c.parent != current || !c.visible)
                return true;
            if (PtInRect(&c.rect, pt)) {
                const RECT cr = ClientRectOf(c);
                pt.x -= cr.left;
                pt.y -= cr.top;
                found = c.handle;
                descended = true;
                return false;
            }
            return true;
        });
    }
    return found;
}

WPARAM MouseKeys()
{
    WPARAM keys = 0;
    if (g_buttons & SDL_BUTTON_LMASK)
        keys |= MK_LBUTTON;
    if (g_buttons & SDL_BUTTON_RMASK)
        keys |= MK_RBUTTON;
    if (g_keys[VK_SHIFT] & 0x80)
        keys |= 0x0004;
    if (g_keys[VK_CONTROL] & 0x80)
        keys |= 0x0008;
    return keys;
}

void OnMouse(Uint32 windowId, int x, int y, UINT clientMessage, UINT menuMessage)
{
    Window* w = FindBySdlId(windowId);
    if (!w)
        return;
    const RECT c = ClientRectOf(*w);
    POINT pt = SdlToClient(*w, x, y);
    g_cursor = POINT{pt.x + c.left, pt.y + c.top};
    if (HasMenuStrip(*w) && pt.y < 0 && pt.y >= -kMenuBarHeight) {
        Post(w->handle, menuMessage, HTMENU, MAKELPARAM(g_cursor.x, g_cursor.y));
        return;
    }
    HWND target = ChildAt(w->handle, pt);
    Post(target, clientMessage, MouseKeys(), MAKELPARAM(pt.x, pt.y));
}

void OnWindowEvent(const SDL_WindowEvent& e)
{
    Window* w = FindBySdlId(e.windowID);
    if (!w)
        return;
    HWND h = w->handle;
    switch (e.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        if (w->enabled) {
            Activate(h, WA_ACTIVE);
        } else {
            // A disabled owner (behind a modal box) hands activation to its enabled popup.
            HWND popup = nullptr;
            ForEachWindow([&](Window& o) {
                if (o.owner == h && o.visible && o.enabled)
                    popup = o.handle;
                return true;
            });
            if (popup) {
                if (Window* p = Find(popup); p && p->sdl)
                    SDL_RaiseWindow(p->sdl);
                Activate(popup, WA_ACTIVE);
            }
        }
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        Deactivate(h);
        std::fill(std::begin(g_keys), std::end(g_keys), BYTE(0));
        g_altAlone = g_altReleasedAlone = false;
        qv::ReleaseAllKeys();
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        // The display keeps no picture of an uncovered window: like a composited desktop, the
        // layer shows the frame presented last at once, whether or not frames are running (a
        // menu, a dialog or a message box holds them up).
        RepaintFromKeptFrame(h);
        InvalidateRect(h, nullptr, FALSE);
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        // The display has resized the window: its context learns the new size when bound again.
        if (w->gl && SDL_GL_GetCurrentContext() == w->gl) {
            SDL_GL_MakeCurrent(w->sdl, nullptr);
            SDL_GL_MakeCurrent(w->sdl, w->gl);
        }
        OnSdlResized(*w, e.data1, e.data2);
        break;
    case SDL_WINDOWEVENT_MOVED:
        OnSdlMoved(*w, e.data1, e.data2);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        Post(h, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        w->minimized = true;
        break;
    case SDL_WINDOWEVENT_RESTORED:
        if (w->minimized) {
            w->minimized = false;
            InvalidateRect(h, nullptr, FALSE);
        }
        break;
    default:
        break;
    }
}

void Translate(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_WINDOWEVENT:
        OnWindowEvent(e.window);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        OnKey(e.key);
        break;
    case SDL_MOUSEMOTION:
        g_buttons = e.motion.state;
        OnMouse(e.motion.windowID, e.motion.x, e.motion.y, WM_MOUSEMOVE, WM_NCMOUSEMOVE);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const bool down = e.type == SDL_MOUSEBUTTONDOWN;
        // A click activates the window it falls in, as on Windows, also where no window
        // manager would give it the keys.
        if (Window* w = FindBySdlId(e.button.windowID);
            down && w && w->enabled && w->visible && SDL_GetKeyboardFocus() != w->sdl)
            ActivateOnDisplay(w->sdl);
        const Uint32 mask = SDL_BUTTON(e.button.button);
        g_buttons = down ? (g_buttons | mask) : (g_buttons & ~mask);
        if (e.button.button == SDL_BUTTON_LEFT)
            OnMouse(e.button.windowID, e.button.x, e.button.y, down ? WM_LBUTTONDOWN : WM_LBUTTONUP,
                    down ? WM_NCLBUTTONDOWN : WM_NCLBUTTONUP);
        else if (e.button.button == SDL_BUTTON_RIGHT)
            OnMouse(e.button.windowID, e.button.x, e.button.y, down ? WM_RBUTTONDOWN : WM_RBUTTONUP, WM_NULL);
        break;
    }
    default:
        break;
    }
}

// Before a removed mouse message reaches its caller the window under the pointer chooses the
// cursor, as the system does while it takes input from the queue.
void BeforeDelivery(const MSG& m)
{
    if (m.message == WM_NCMOUSEMOVE || m.message == WM_NCLBUTTONDOWN) {
        SendMessageA(m.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(m.hwnd), MAKELPARAM(HTMENU, m.message));
    } else if (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) {
        SendMessageA(m.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(m.hwnd), MAKELPARAM(HTCLIENT, m.message));
    }
}

void RunHooks(MSG& m, bool removed)
{
    auto& hooks = Hooks();
    if (hooks.empty())
        return;
    hooks.front().proc(HC_ACTION, removed ? PM_REMOVE : PM_NOREMOVE, reinterpret_cast<LPARAM>(&m));
}

std::function<bool(const SDL_Event&)> g_interceptor;

} // namespace

void SetEventInterceptor(std::function<bool(const SDL_Event&)> interceptor) { g_interceptor = std::move(interceptor); }

bool TakeWaitingInput(MSG& m)
{
    const auto input = [](const MSG& q) {
        return (q.message >= WM_KEYFIRST && q.message <= WM_KEYLAST) ||
               (q.message >= WM_MOUSEFIRST && q.message <= WM_MOUSELAST) ||
               (q.message >= WM_NCMOUSEMOVE && q.message <= WM_NCLBUTTONUP);
    };
    {
        std::lock_guard<std::mutex> guard(Q().lock);
        auto& posted = Q().posted;
        const auto it = std::find_if(posted.begin(), posted.end(), input);
        if (it == posted.end())
            return false;
        m = *it;
        posted.erase(it);
    }
    BeforeDelivery(m);
    RunHooks(m, true);
    return true;
}

void PumpSdlEvents()
{
    if (!SDL_WasInit(SDL_INIT_VIDEO))
        return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (g_interceptor && g_interceptor(e))
            continue;
        Translate(e);
    }
}

// SDL's own blocking wait is not used: to end it, SDL sends an X event to one of the program's
// windows over a second connection, and when that window has just been destroyed (a dialog
// closed by the very key that ended the wait) the server may see the destruction first and
// answer with an error that ends the program. Looking at the queue every few milliseconds
// costs nothing that shows.
void WaitForInput(int ms)
{
    constexpr Uint32 kLookEveryMs = 2;
    const Uint32 start = SDL_GetTicks();
    for (;;) {
        if (SDL_WasInit(SDL_INIT_VIDEO)) {
            SDL_PumpEvents();
            if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT))
                return;
        }
        const Uint32 waited = SDL_GetTicks() - start;
        if (ms <= 0 || waited >= static_cast<Uint32>(ms))
            return;
        SDL_Delay(std::min(kLookEveryMs, static_cast<Uint32>(ms) - waited));
    }
}

bool QuitPosted(int* exitCode)
{
    std::lock_guard<std::mutex> guard(Q().lock);
    if (exitCode)
        *exitCode = Q().quitCode;
    return Q().quit;
}

POINT LastCursorPos() { return g_cursor; }
bool IsKeyDown(int vk) { return vk > 0 && vk < 256 && (g_keys[vk] & 0x80); }


void RunModalLoop(const std::function<bool()>& done, const std::function<bool(MSG&)>& filter)
{
    MSG msg;
    while (!done()) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            WaitForInput(10);
            continue;
        }
        if (msg.message == WM_QUIT) {
            // The outer loop must still see it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (filter && filter(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

} // namespace qv::win

using namespace qv::win;

// ---------------------------------------------------------------------------------------------
// Posting, sending, taking

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (hWnd && !Find(hWnd)) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Post(hWnd, Msg, wParam, lParam);
    return TRUE;
}

void PostQuitMessage(int nExitCode)
{
    std::lock_guard<std::mutex> guard(Q().lock);
    Q().quit = true;
    Q().quitCode = nExitCode;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = Find(hWnd);
    if (!w || !w->proc) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return w->proc(hWnd, Msg, wParam, lParam);
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    if (!lpMsg)
        return FALSE;
    PumpSdlEvents();
    const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
    MSG m;
    if (!Take(m, hWnd, wMsgFilterMin, wMsgFilterMax, remove))
        return FALSE;
    if (remove)
        BeforeDelivery(m);
    RunHooks(m, remove);
    *lpMsg = m;
    return TRUE;
}

BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (!lpMsg) {
        SetError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    while (!PeekMessageA(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE))
        WaitForInput(10);
    return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG* lpMsg)
{
    if (!lpMsg || (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN))
        return FALSE;
    // The oldest matching key-down not yet translated is this one.
    int ch = -1;
    for (unsigned i = 64; i > 0; --i) {
        TypedKey& t = g_typed[(g_typedNext - i) % 64];
        if (!t.used && t.hwnd == lpMsg->hwnd && t.vk == lpMsg->wParam && t.lParam == lpMsg->lParam &&
            t.time == lpMsg->time) {
            t.used = true;
            ch = t.character;
            break;
        }
    }
    if (ch < 0)
        ch = CharacterOfKey(static_cast<int>(lpMsg->wParam), IsKeyDown(VK_SHIFT),
                            IsKeyDown(VK_CONTROL) && !IsKeyDown(VK_MENU), false);
    if (ch > 0) {
        MSG m = *lpMsg;
        m.message = lpMsg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
        m.wParam = static_cast<WPARAM>(ch);
        // The character comes before any input that followed its key.
        std::lock_guard<std::mutex> guard(Q().lock);
        Q().posted.push_front(m);
    }
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* lpMsg)
{
    if (!lpMsg)
        return 0;
    Window* w = Find(lpMsg->hwnd);
    if (!w || !w->proc)
        return 0;
    return w->proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

// ---------------------------------------------------------------------------------------------
// Default processing

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = Find(hWnd);
    if (!w)
        return 0;
    switch (Msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        if (w->cls->background) {
            RECT r;
            GetClientRect(hWnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, w->cls->background);
        }
        return 1;
    case WM_SETCURSOR: {
        if (!IsTopLevel(*w) && SendMessageA(w->parent, WM_SETCURSOR, wParam, lParam))
            return TRUE;
        if (LOWORD(lParam) == HTCLIENT && w->cls->cursor) {
            SetCursor(w->cls->cursor);
            return TRUE;
        }
        if (LOWORD(lParam) != HTCLIENT)
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        return FALSE;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam))
            SetFocus(hWnd);
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            SendMessageA(hWnd, WM_CLOSE, 0, 0);
            break;
        case SC_KEYMENU:
            if (lParam)
                TrackMenuBarByKey(hWnd, static_cast<int>(lParam));
            else
                TrackMenuBar(hWnd, 0, false);
            break;
        default:
            break;
        }
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1 << 29)))
            SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSKEYUP:
    case WM_KEYUP:
        // F10, or Alt pressed and released alone, opens the menu bar from the keyboard.
        if ((wParam == VK_F10 || (wParam == VK_MENU && (lParam & kLoneAltBit))) && IsTopLevel(*w) && w->menu)
            SendMessageA(hWnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
        return 0;
    case WM_SYSCHAR:
        if (IsTopLevel(*w) && w->menu && wParam != ' ')
            SendMessageA(hWnd, WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(wParam));
        else if (wParam != ' ')
            MessageBeep(0);
        return 0;
    case WM_NCLBUTTONDOWN:
        if (wParam == HTMENU && IsTopLevel(*w) && w->menu) {
            POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(hWnd, &pt);
            TrackMenuBar(hWnd, pt.x, true);
        }
        return 0;
    case WM_GETTEXT: {
        if (!lParam || !wParam)
            return 0;
        return GetWindowTextA(hWnd, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
    }
    case WM_GETTEXTLENGTH:
        return GetWindowTextLengthA(hWnd);
    case WM_SETTEXT:
        return SetWindowTextA(hWnd, reinterpret_cast<LPCSTR>(lParam));
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Hooks of the thread

HHOOK SetWindowsHookExA(int idHook, HOOKPROC lpfn, HINSTANCE, DWORD dwThreadId)
{
    if (idHook != WH_GETMESSAGE || !lpfn || (dwThreadId != 0 && dwThreadId != GetCurrentThreadId())) {
        SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HHOOK handle = reinterpret_cast<HHOOK>(g_nextHook);
    g_nextHook += 4;
    Hooks().insert(Hooks().begin(), Hook{handle, lpfn});
    return handle;
}

BOOL UnhookWindowsHookEx(HHOOK hhk)
{
    auto& hooks = Hooks();
    auto it = std::find_if(hooks.begin(), hooks.end(), [&](const Hook& h) { return h.handle == hhk; });
    if (it == hooks.end()) {
        SetError(ERROR_INVALID_HOOK_HANDLE);
        return FALSE;
    }
    hooks.erase(it);
    return TRUE;
}

LRESULT CallNextHookEx(HHOOK hhk, int nCode, WPARAM wParam, LPARAM lParam)
{
    auto& hooks = Hooks();
    auto it = std::find_if(hooks.begin(), hooks.end(), [&](const Hook& h) { return h.handle == hhk; });
    if (it == hooks.end() || ++it == hooks.end())
        return 0;
    return it->proc(nCode, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// The pointer

BOOL GetCursorPos(LPPOINT lpPoint)
{
    if (!lpPoint)
        return FALSE;
    *lpPoint = g_cursor;
    return TRUE;
}
