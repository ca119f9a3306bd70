// A file's attributes, and finding files: FindFirstFileA reads the folder of its pattern once
// and hands out the names that match the pattern's last part, one at a time; FindClose ends the
// search.
#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/HostFile.h"
#include "platform/win32/KernelObjects.h"
#include "platform/win32/Win32.h"
#include "platform/win32/Window.h"

namespace {

struct FindSearch : qv::win::KernelObject {
    std::vector<WIN32_FIND_DATAA> found;
    size_t next = 0;
};

// * matches any run of characters, ? any one; letters match either case, as the system's
// file names do.
bool Matches(const char* pattern, const char* name)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' ||
                   (*pattern && std::tolower(static_cast<unsigned char>(*pattern)) ==
                                    std::tolower(static_cast<unsigned char>(*name)))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

// Seconds since 1970 as the system's 100-nanosecond steps since 1601.
FILETIME FileTime(time_t seconds)
{
    const uint64_t steps = (static_cast<uint64_t>(seconds) + 11644473600ull) * 10000000ull;
    return FILETIME{static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)};
}

DWORD ErrorOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    default: return ERROR_PATH_NOT_FOUND;
    }
}

DWORD AttributesOf(const struct stat& st)
{
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(st.st_mode & S_IWUSR))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

} // namespace

DWORD GetFileAttributesA(LPCSTR lpFileName)
{
    if (!lpFileName || !*lpFileName) {
        qv::win::SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st;
    if (stat(QvHostPath(lpFileName).c_str(), &st) != 0) {
        qv::win::SetError(ErrorOf(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(st);
}

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    if (!lpFileName || !lpFindFileData || !*lpFileName) {
        qv::win::SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = lpFileName;
    const size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "\\" : path.substr(0, slash);
    const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string hostFolder = QvHostPath(folder.c_str());

    DIR* dir = opendir(hostFolder.c_str());
    if (!dir) {
        qv::win::SetError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorOf(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_unique<FindSearch>();
    while (const dirent* entry = readdir(dir)) {
        if (std::strlen(entry->d_name) >= MAX_PATH || !Matches(pattern.c_str(), entry->d_name))
            continue;
        struct stat st;
        if (stat((hostFolder + "/" + entry->d_name).c_str(), &st) != 0)
            continue; // gone since it was listed, or a link to nothing
        WIN32_FIND_DATAA data = {};
        data.dwFileAttributes = AttributesOf(st);
        data.ftCreationTime = FileTime(st.st_ctime);
        data.ftLastAccessTime = FileTime(st.st_atime);
        data.ftLastWriteTime = FileTime(st.st_mtime);
        const uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size);
        std::strcpy(data.cFileName, entry->d_name);
        search->found.push_back(data);
    }
    closedir(dir);
    if (search->found.empty()) {
        qv::win::SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = search->found[0];
    search->next = 1;
    return qv::win::AddKernelObject(std::move(search));
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    auto* search = qv::win::FindKernelObjectAs<FindSearch>(hFindFile);
    if (!search || !lpFindFileData) {
        qv::win::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->found.size()) {
        qv::win::SetError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = search->found[search->next++];
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile)
{
    if (!qv::win::FindKernelObjectAs<FindSearch>(hFindFile)) {
        qv::win::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(hFindFile);
}
