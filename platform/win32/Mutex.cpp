// Mutexes. A named mutex is also a per-user lock on a file (flock), so that another process of
// the same user sees that it exists; the kernel drops the lock when a process ends, even by a
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

// Named mutexes open in this process, so that a second CreateMutexA of a name finds the first.
std::mutex g_namesLock;
std::map<std::string, std::weak_ptr<MutexState>> g_names;

std::string LockFilePath(const std::string& name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && *runtime ? runtime : "/tmp";
    // The name may hold any bytes (Japanese, slashes): it is written in hex.
    std::string hex;
    char buf[3];
    for (unsigned char c : name) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        hex += buf;
    }
    return dir + "/qv-mutex-" + std::to_string(getuid()) + "-" + hex + ".lock";
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
        auto it = g_names.find(lpName);
        if (it != g_names.end())
            handle->state = it->second.lock();
        if (handle->state) {
            existed = true;
        } else {
            auto state = std::make_shared<MutexState>();
            state->name = lpName;
            const std::string path = LockFilePath(lpName);
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
            g_names[lpName] = state;
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
