#include "WindowTestSupport.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace wintest {

std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)> g_handler;

std::vector<Received>& Log()
{
    static std::vector<Received> log;
    return log;
}

LRESULT CALLBACK RecordingProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Log().push_back({hWnd, msg, wParam, lParam});
    LRESULT result = 0;
    if (g_handler && g_handler(hWnd, msg, wParam, lParam, result))
        return result;
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

const char* TestClass()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = "QvTestWindow";
        registered = RegisterClassExA(&wc) != 0;
    }
    return "QvTestWindow";
}

HWND MakeWindow(DWORD style, int width, int height, HMENU menu)
{
    return CreateWindowExA(0, TestClass(), "test", style, 10, 20, width, height, nullptr, menu,
                           GetModuleHandleA(nullptr), nullptr);
}

std::vector<Received> LogOf(UINT message)
{
    std::vector<Received> out;
    for (const Received& r : Log())
        if (r.message == message)
            out.push_back(r);
    return out;
}

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static Uint32 IdOf(HWND hWnd) { return SDL_GetWindowID(qv::SdlWindowOf(hWnd)); }

void PushKey(HWND hWnd, SDL_Scancode scancode, SDL_Keycode sym, bool down, Uint16 mod)
{
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = IdOf(hWnd);
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
}

void PushWindowEvent(HWND hWnd, Uint8 event, int data1, int data2)
{
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = IdOf(hWnd);
    e.window.event = event;
    e.window.data1 = data1;
    e.window.data2 = data2;
    SDL_PushEvent(&e);
}

void PushMouseMotion(HWND hWnd, int x, int y)
{
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = IdOf(hWnd);
    e.motion.x = x;
    e.motion.y = y;
    SDL_PushEvent(&e);
}

void PushMouseButton(HWND hWnd, int x, int y, bool down)
{
    SDL_Event e = {};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = IdOf(hWnd);
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    SDL_PushEvent(&e);
}

std::vector<SDL_Window*> ShownSdlWindows(const char* title)
{
    std::vector<SDL_Window*> found;
    // Window ids count up from 1 as windows are made; a test makes a few hundred at most.
    for (Uint32 id = 1; id < 4096; ++id) {
        SDL_Window* w = SDL_GetWindowFromID(id);
        if (w && std::string(SDL_GetWindowTitle(w)) == title && (SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN))
            found.push_back(w);
    }
    return found;
}

std::vector<int> SdlGeometry(SDL_Window* window)
{
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    return {x, y, w, h};
}

} // namespace wintest

bool wintest::OnPath(const std::string& program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

wintest::OwnXServer::OwnXServer(const char* screen)
{
    int numberPipe[2];
    if (pipe(numberPipe) != 0)
        return;
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // The server goes with the test, even when the test dies: left behind, it would also
        // hold the test runner's output pipe open and make it wait for the time limit.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        close(numberPipe[0]);
        const std::string fd = std::to_string(numberPipe[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(numberPipe[1]);
    // The server writes its number once it accepts clients.
    std::string number;
    char c;
    while (read(numberPipe[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(numberPipe[0]);
    if (!number.empty())
        m_number = std::atoi(number.c_str());
}

wintest::OwnXServer::~OwnXServer()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

bool wintest::RunOnOwnXServer(const std::string& filter, bool* serverStarted)
{
    OwnXServer server;
    *serverStarted = server.Number() >= 0;
    if (!*serverStarted)
        return false;
    const pid_t inner = fork();
    if (inner == 0) {
        setenv("DISPLAY", (":" + std::to_string(server.Number())).c_str(), 1);
        // No driver named: the layer then takes the X server and asks it again when, busy, it
        // turns a connection away.
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("WAYLAND_DISPLAY");
        const std::string filterArgument = "--gtest_filter=" + filter;
        execl("/proc/self/exe", "test_platform", "--gtest_also_run_disabled_tests", filterArgument.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(inner, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
