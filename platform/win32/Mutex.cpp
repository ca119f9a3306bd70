// Mutexes. A named mutex is also a lock on a file (flock) of the user's session, so that
// another process of the same user and session sees that it exists; the kernel drops the lock when a process ends, even by a
// crash, so a mutex is never left behind. Ownership (initial owner, WaitForSingleObject,
// ReleaseMutex) is counted per thread inside the process.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/win32/KernelObjects.h"
#include "platform/win32/Window.h"

namespace {

struct MutexState {
    std::mutex lock;
    std::condition_variable released;
    DWORD owner = 0; // thread id, 0 when free
    int depth = 0;
    int fd = -1;     // the lock file of a named mutex
    std::string name;
    ~MutexState()
    {
        if (fd >= 0)
            close(fd); // drops the flock
    }
};

struct MutexHandle : qv::win::KernelObject {
    std::shared_ptr<MutexState> state;
};

// Named mutexes open in this process (by lock file), so that a second CreateMutexA of a name
// finds the first.
std::mutex g_namesLock;
std::map<std::string, std::weak_ptr<MutexState>> g_names;

std::string Hex(const std::string& bytes)
{
    std::string hex;
    char buf[3];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        hex += buf;
    }
    return hex;
}

// A name belongs to the user's session, as the system's local namespace does: the display the
// program shows on stands for the session, so that programs on other displays (another
// desktop, a test's own X server) do not see it.
std::string LockFilePath(const std::string& name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string dir = runtime && *runtime ? runtime : "/tmp";
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (!display || !*display)
        display = std::getenv("DISPLAY");
    const std::string session = display && *display ? display : "console";
    // Names may hold any bytes (Japanese, slashes): they are written in hex.
    return dir + "/qv-mutex-" + std::to_string(getuid()) + "-" + Hex(session) + "-" + Hex(name) + ".lock";
}

bool Acquire(MutexState& m, DWORD thread, bool wait, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m.lock);
    auto free = [&] { return m.owner == 0 || m.owner == thread; };
    if (!free()) {
        if (!wait)
            return false;
        if (timeoutMs == INFINITE)
            m.released.wait(guard, free);
        else if (!m.released.wait_for(guard, std::chrono::milliseconds(timeoutMs), free))
            return false;
    }
    m.owner = thread;
    ++m.depth;
    return true;
}

} // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName)
{
    const DWORD thread = GetCurrentThreadId();
    auto handle = std::make_unique<MutexHandle>();
    bool existed = false;
    if (lpName && *lpName) {
        std::lock_guard<std::mutex> guard(g_namesLock);
        const std::string path = LockFilePath(lpName);
        auto it = g_names.find(path);
        if (it != g_names.end())
            handle->state = it->second.lock();
        if (handle->state) {
            existed = true;
        } else {
            auto state = std::make_shared<MutexState>();
            state->name = lpName;
            state->fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (state->fd < 0) {
                qv::win::SetError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            if (flock(state->fd, LOCK_EX | LOCK_NB) != 0) {
                if (errno != EWOULDBLOCK) {
                    qv::win::SetError(ERROR_ACCESS_DENIED);
                    return nullptr;
                }
                // Another process holds it: this handle refers to the existing mutex. The file
                // stays open so that the lock can be taken over when the holder goes.
                existed = true;
            }
            g_names[path] = state;
            handle->state = state;
        }
    } else {
        handle->state = std::make_shared<MutexState>();
    }
    if (bInitialOwner && !existed)
        Acquire(*handle->state, thread, false, 0);
    HANDLE h = qv::win::AddKernelObject(std::move(handle));
    qv::win::SetError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL ReleaseMutex(HANDLE hMutex)
{
    auto* m = qv::win::FindKernelObjectAs<MutexHandle>(hMutex);
    if (!m) {
        qv::win::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    MutexState& s = *m->state;
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.owner != GetCurrentThreadId() || s.depth == 0) {
        qv::win::SetError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--s.depth == 0) {
        s.owner = 0;
        s.released.notify_one();
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    auto* m = qv::win::FindKernelObjectAs<MutexHandle>(hHandle);
    if (!m) {
        qv::win::SetError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::shared_ptr<MutexState> state = m->state; // the handle may be closed while waiting
    return Acquire(*state, GetCurrentThreadId(), dwMilliseconds != 0, dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
