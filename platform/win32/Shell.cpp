// The shell: documents and addresses open with the desktop's own handler (xdg-open).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32/Window.h"

namespace {

bool OnPath(const char* program)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

// Answers a value above 32 on success, as the system does, or an error code at most 32.
// With QV_SHELLEXECUTE=log the request is written to standard error instead (for tests).
HINSTANCE ShellExecuteA(HWND, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR, LPCSTR, INT)
{
    if (!lpFile || !*lpFile)
        return reinterpret_cast<HINSTANCE>(uintptr_t(ERROR_FILE_NOT_FOUND));
    if (lpOperation && *lpOperation && std::strcmp(lpOperation, "open") != 0)
        return reinterpret_cast<HINSTANCE>(uintptr_t(SE_ERR_NOASSOC));
    const char* mode = std::getenv("QV_SHELLEXECUTE");
    if (mode && std::strcmp(mode, "log") == 0) {
        std::fprintf(stderr, "ShellExecute [%s] %s\n", lpOperation ? lpOperation : "", lpFile);
        std::fflush(stderr);
        return reinterpret_cast<HINSTANCE>(uintptr_t(42));
    }
    if (!OnPath("xdg-open"))
        return reinterpret_cast<HINSTANCE>(uintptr_t(SE_ERR_NOASSOC));
    // Two forks, so that the opener is nobody's child to wait for.
    const pid_t child = fork();
    if (child < 0)
        return reinterpret_cast<HINSTANCE>(uintptr_t(8)); // out of memory or resources
    if (child == 0) {
        if (fork() == 0) {
            setsid();
            execlp("xdg-open", "xdg-open", lpFile, static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return reinterpret_cast<HINSTANCE>(uintptr_t(42));
}
