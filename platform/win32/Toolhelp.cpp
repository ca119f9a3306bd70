// The process snapshot over /proc: each process with its id, parent, thread count and the file
// name of its executable (without the folder, as the system gives it).
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/KernelObjects.h"
#include "platform/win32/Window.h"

namespace {

struct ProcessInfo {
    DWORD pid = 0;
    DWORD parent = 0;
    DWORD threads = 0;
    std::string exe;
};

struct Snapshot : qv::win::KernelObject {
    std::vector<ProcessInfo> processes;
    size_t next = 0;
};

std::string ExeName(const std::string& dir)
{
    char target[4096];
    const ssize_t n = readlink((dir + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
        std::string path(target, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        const size_t slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }
    // Another user's process: its short command name is all there is.
    std::ifstream comm(dir + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

bool ReadProcess(DWORD pid, ProcessInfo& info)
{
    const std::string dir = "/proc/" + std::to_string(pid);
    std::ifstream stat(dir + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    // "pid (comm) state ppid ...": the command may hold spaces and parentheses.
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return false;
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    long parent = 0;
    rest >> state >> parent;
    for (int field = 5; field < 20; ++field) {
        std::string skip;
        rest >> skip;
    }
    long threads = 0;
    rest >> threads;
    info.pid = pid;
    info.parent = static_cast<DWORD>(parent);
    info.threads = static_cast<DWORD>(threads);
    info.exe = ExeName(dir);
    return true;
}

bool Fill(Snapshot& s, LPPROCESSENTRY32 lppe)
{
    if (!lppe || lppe->dwSize < sizeof(PROCESSENTRY32)) {
        qv::win::SetError(ERROR_BAD_LENGTH);
        return false;
    }
    if (s.next >= s.processes.size()) {
        qv::win::SetError(ERROR_NO_MORE_FILES);
        return false;
    }
    const ProcessInfo& p = s.processes[s.next++];
    const DWORD size = lppe->dwSize;
    std::memset(lppe, 0, sizeof(PROCESSENTRY32));
    lppe->dwSize = size;
    lppe->th32ProcessID = p.pid;
    lppe->th32ParentProcessID = p.parent;
    lppe->cntThreads = p.threads;
    lppe->pcPriClassBase = 8;
    std::snprintf(lppe->szExeFile, sizeof lppe->szExeFile, "%s", p.exe.c_str());
    return true;
}

} // namespace

HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD)
{
    if (!(dwFlags & TH32CS_SNAPPROCESS)) {
        qv::win::SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto snapshot = std::make_unique<Snapshot>();
    DIR* proc = opendir("/proc");
    if (!proc) {
        qv::win::SetError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
        if (!end || *end || pid == 0)
            continue;
        ProcessInfo info;
        if (ReadProcess(static_cast<DWORD>(pid), info)) // a process may end meanwhile
            snapshot->processes.push_back(info);
    }
    closedir(proc);
    return qv::win::AddKernelObject(std::move(snapshot));
}

BOOL Process32First(HANDLE hSnapshot, LPPROCESSENTRY32 lppe)
{
    auto* s = qv::win::FindKernelObjectAs<Snapshot>(hSnapshot);
    if (!s) {
        qv::win::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    s->next = 0;
    return Fill(*s, lppe) ? TRUE : FALSE;
}

BOOL Process32Next(HANDLE hSnapshot, LPPROCESSENTRY32 lppe)
{
    auto* s = qv::win::FindKernelObjectAs<Snapshot>(hSnapshot);
    if (!s) {
        qv::win::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return Fill(*s, lppe) ? TRUE : FALSE;
}
