// Which display the windows go to when the program names no driver: a display the user can see
// or none, never an invisible one, even when the X server turns a connection away.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "WindowTestSupport.h"

using namespace wintest;

namespace {

// The X server's listening address for a display, in the abstract namespace as clients try it
// first.
sockaddr_un XAddress(int display, socklen_t& length)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    return address;
}

// Copies bytes both ways until either side closes.
void Relay(int a, int b)
{
    char buffer[65536];
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0)
            break;
        bool open = true;
        for (int i = 0; i < 2 && open; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            open = n > 0 && send(fds[1 - i].fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) == n;
        }
        if (!open)
            break;
    }
    close(a);
    close(b);
}

// A display that closes its first `refused` connections at once, as a busy server now and then
// does, and hands every later one to a real server.
class ReluctantDisplay {
public:
    ReluctantDisplay(int realDisplay, int refused) : m_real(realDisplay), m_refused(refused)
    {
        for (int number = 700; number < 1000 && m_listener < 0; ++number) {
            const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            socklen_t length;
            const sockaddr_un address = XAddress(number, length);
            if (bind(s, reinterpret_cast<const sockaddr*>(&address), length) == 0 && listen(s, 16) == 0) {
                m_listener = s;
                m_number = number;
            } else {
                close(s);
            }
        }
        if (m_listener >= 0)
            m_acceptor = std::thread([this] { Accept(); });
    }
    ~ReluctantDisplay()
    {
        if (m_listener >= 0) {
            shutdown(m_listener, SHUT_RDWR);
            m_acceptor.join();
            close(m_listener);
        }
        for (auto& relay : m_relays)
            relay.detach();
    }
    ReluctantDisplay(const ReluctantDisplay&) = delete;
    ReluctantDisplay& operator=(const ReluctantDisplay&) = delete;

    int Number() const { return m_number; }
    int Refusals() const { return m_refusals; }

private:
    void Accept()
    {
        for (;;) {
            const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                return;
            if (m_refusals < m_refused) {
                ++m_refusals;
                close(client);
                continue;
            }
            const int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            socklen_t length;
            const sockaddr_un address = XAddress(m_real, length);
            if (connect(server, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
                close(server);
                close(client);
                continue;
            }
            m_relays.emplace_back(Relay, client, server);
        }
    }

    int m_real;
    int m_refused;
    int m_listener = -1;
    int m_number = -1;
    std::atomic<int> m_refusals{0};
    std::thread m_acceptor;
    std::vector<std::thread> m_relays;
};

bool DriverIsOneThatShows()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

// The program names no driver, as a user's run does not.
void AsTheUserRunsIt(const std::string& display)
{
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("WAYLAND_DISPLAY");
    setenv("DISPLAY", display.c_str(), 1);
}

} // namespace

TEST(Display, WithNoDisplayToReachNoWindowIsMadeAndTheReasonIsWritten)
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        GTEST_SKIP() << "video already started in this process";
    AsTheUserRunsIt(":4093");
    testing::internal::CaptureStderr();
    HWND window = MakeWindow();
    const std::string said = testing::internal::GetCapturedStderr();
    if (window) {
        // A machine with a display of another kind (Wayland, a DRM device) may show it there.
        EXPECT_TRUE(DriverIsOneThatShows()) << SDL_GetCurrentVideoDriver();
        DestroyWindow(window);
    } else {
        EXPECT_NE(std::string::npos, said.find("No display")) << said;
    }
}

TEST(Display, AServerThatTurnsConnectionsAwayIsAskedAgain)
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        GTEST_SKIP() << "video already started in this process";
    if (!OnPath("Xvfb"))
        GTEST_SKIP() << "no Xvfb";
    OwnXServer server("320x240x24");
    ASSERT_GE(server.Number(), 0) << "Xvfb did not start";
    ReluctantDisplay display(server.Number(), 3);
    ASSERT_GE(display.Number(), 0) << "no free display number";
    AsTheUserRunsIt(":" + std::to_string(display.Number()));

    HWND window = MakeWindow(WS_OVERLAPPEDWINDOW, 160, 120);
    ASSERT_NE(nullptr, window);
    EXPECT_STREQ("x11", SDL_GetCurrentVideoDriver());
    EXPECT_EQ(3, display.Refusals());
    DestroyWindow(window);
    // The connections close before the server goes.
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
