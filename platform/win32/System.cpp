// Errors, process and thread ids, the program's file, the system folder, directories and
// kernel handles.
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string>

#include "platform/win32/HostFile.h"
#include "platform/win32/KernelObjects.h"
#include "platform/win32/Window.h"

namespace {

thread_local DWORD t_lastError = 0;

struct HandleTable {
    std::mutex lock;
    std::map<HANDLE, std::unique_ptr<qv::win::KernelObject>> objects;
    uintptr_t next = 0x40;
};

HandleTable& Handles()
{
    static HandleTable table;
    return table;
}

// Paths handed to the program keep the Windows form: QvHostPath turns them back.
std::string WindowsForm(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Copies `text` into a caller's buffer the way the system's path functions do: the length
// without the terminator on success, the size needed with it when the buffer is too small.
UINT CopyOut(const std::string& text, LPSTR buffer, UINT size)
{
    if (!buffer || size <= text.size())
        return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

} // namespace

namespace qv::win {

void SetError(DWORD code) { t_lastError = code; }

HANDLE AddKernelObject(std::unique_ptr<KernelObject> object)
{
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    HANDLE h = reinterpret_cast<HANDLE>(t.next);
    t.next += 4;
    t.objects[h] = std::move(object);
    return h;
}

KernelObject* FindKernelObject(HANDLE handle)
{
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(handle);
    return it == t.objects.end() ? nullptr : it->second.get();
}

} // namespace qv::win

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

BOOL CloseHandle(HANDLE hObject)
{
    std::unique_ptr<qv::win::KernelObject> object;
    {
        HandleTable& t = Handles();
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = t.objects.find(hObject);
        if (it == t.objects.end()) {
            t_lastError = ERROR_INVALID_HANDLE;
            return FALSE;
        }
        object = std::move(it->second);
        t.objects.erase(it);
    }
    return TRUE; // the object goes here, outside the lock
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

DWORD GetTickCount()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

// The system folder is the layer's own: the "system files" in it are the libraries that this
// layer stands in for (see Version.cpp); nothing is read from the host there.
UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return CopyOut("C:\\WINDOWS\\system32", lpBuffer, uSize);
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    if (hModule && hModule != GetModuleHandleA(nullptr)) {
        t_lastError = ERROR_INVALID_HANDLE;
        return 0;
    }
    if (!lpFilename || nSize == 0) {
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        t_lastError = ERROR_FILE_NOT_FOUND;
        lpFilename[0] = 0;
        return 0;
    }
    path[n] = 0;
    const std::string name = WindowsForm(path);
    if (name.size() >= nSize) {
        // Cut to the buffer with its terminator, as the system does.
        std::memcpy(lpFilename, name.data(), nSize - 1);
        lpFilename[nSize - 1] = 0;
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return nSize;
    }
    std::memcpy(lpFilename, name.c_str(), name.size() + 1);
    t_lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(name.size());
}

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES)
{
    if (!lpPathName || !*lpPathName) {
        t_lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (mkdir(QvHostPath(lpPathName).c_str(), 0777) == 0)
        return TRUE;
    switch (errno) {
    case EEXIST: t_lastError = ERROR_ALREADY_EXISTS; break;
    case ENOENT:
    case ENOTDIR: t_lastError = ERROR_PATH_NOT_FOUND; break;
    case EACCES:
    case EPERM:
    case EROFS: t_lastError = ERROR_ACCESS_DENIED; break;
    default: t_lastError = ERROR_PATH_NOT_FOUND; break;
    }
    return FALSE;
}
