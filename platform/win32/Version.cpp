// Version resources. The blocks that GetFileVersionInfoA hands out are this layer's own layout,
// read back only by VerQueryValueA: the fixed file information, the translation pairs and the
// strings of each translation.
//
// Files with a version here: the program's own file (its version block in resources/), and in
// the system folder the libraries that this layer stands in for (d3d9.dll). A host file answers
// "no version".
#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/HostFile.h"
#include "platform/win32/Version.h"
#include "platform/win32/Window.h"

namespace qv::win {
namespace {

constexpr char kMagic[4] = {'Q', 'V', 'V', 'B'};

// Layout: magic, total size, VS_FIXEDFILEINFO, translation count, translations (DWORD each),
// string count, then per string: key length, key (with 0), value length, value (with 0).
void Put(std::vector<BYTE>& out, const void* data, size_t size)
{
    const BYTE* b = static_cast<const BYTE*>(data);
    out.insert(out.end(), b, b + size);
}

void PutDword(std::vector<BYTE>& out, DWORD v) { Put(out, &v, sizeof v); }

DWORD ReadDword(const BYTE* p)
{
    DWORD v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string WithBackslashes(std::string s)
{
    for (char& c : s)
        if (c == '/')
            c = '\\';
    return s;
}

bool IsOwnFile(const std::string& path)
{
    char own[4096];
    const DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
    return n > 0 && n < sizeof own && strcasecmp(WithBackslashes(path).c_str(), own) == 0;
}

// The libraries that this layer implements, with the versions it stands for.
bool SystemFileVersion(const std::string& path, VersionInfo& info)
{
    char dir[MAX_PATH];
    GetSystemDirectoryA(dir, sizeof dir);
    const std::string p = WithBackslashes(path);
    const std::string prefix = std::string(dir) + "\\";
    if (p.size() <= prefix.size() || strncasecmp(p.c_str(), prefix.c_str(), prefix.size()) != 0)
        return false;
    const std::string name = p.substr(prefix.size());
    if (strcasecmp(name.c_str(), "d3d9.dll") == 0) {
        // Direct3D 9.0c as it shipped with Windows XP Service Pack 2.
        info.fileVersion = (5ull << 48) | (3ull << 32) | (2600ull << 16) | 2180ull;
        info.productVersion = info.fileVersion;
        info.translations = {MAKELONG(0x0409, 1200)};
        info.strings = {{"040904b0", "FileDescription", "Direct3D 9 Runtime"},
                        {"040904b0", "FileVersion", "5.03.2600.2180"},
                        {"040904b0", "ProductName", "Microsoft\xC2\xAE Windows\xC2\xAE Operating System"}};
        return true;
    }
    return false;
}

bool FindVersion(LPCSTR file, VersionInfo& info)
{
    if (!file || !*file) {
        SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::string path = file;
    if (SystemFileVersion(path, info))
        return true;
    if (IsOwnFile(path) || IsOwnFile(QvHostPath(file))) {
        if (const VersionInfo* own = ProgramVersion()) {
            info = *own;
            return true;
        }
        SetError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return false;
    }
    struct stat st;
    SetError(stat(QvHostPath(file).c_str(), &st) == 0 ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_FILE_NOT_FOUND);
    return false;
}

} // namespace

std::vector<BYTE> BuildVersionBlock(const VersionInfo& info)
{
    std::vector<BYTE> out;
    Put(out, kMagic, sizeof kMagic);
    PutDword(out, 0); // total size, set below
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = static_cast<DWORD>(info.fileVersion >> 32);
    fixed.dwFileVersionLS = static_cast<DWORD>(info.fileVersion);
    fixed.dwProductVersionMS = static_cast<DWORD>(info.productVersion >> 32);
    fixed.dwProductVersionLS = static_cast<DWORD>(info.productVersion);
    fixed.dwFileFlagsMask = 0x3F;
    fixed.dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
    fixed.dwFileType = info.fileType;
    Put(out, &fixed, sizeof fixed);
    PutDword(out, static_cast<DWORD>(info.translations.size()));
    for (DWORD t : info.translations)
        PutDword(out, t);
    PutDword(out, static_cast<DWORD>(info.strings.size()));
    for (const VersionString& s : info.strings) {
        const std::string key = Lower(s.translation) + "\\" + Lower(s.name);
        PutDword(out, static_cast<DWORD>(key.size() + 1));
        Put(out, key.c_str(), key.size() + 1);
        PutDword(out, static_cast<DWORD>(s.value.size() + 1));
        Put(out, s.value.c_str(), s.value.size() + 1);
    }
    const DWORD total = static_cast<DWORD>(out.size());
    std::memcpy(out.data() + 4, &total, sizeof total);
    return out;
}

} // namespace qv::win

using namespace qv::win;

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle)
        *lpdwHandle = 0;
    VersionInfo info;
    if (!FindVersion(lptstrFilename, info))
        return 0;
    return static_cast<DWORD>(BuildVersionBlock(info).size());
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData)
{
    if (!lpData) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    VersionInfo info;
    if (!FindVersion(lptstrFilename, info))
        return FALSE;
    const std::vector<BYTE> block = BuildVersionBlock(info);
    if (dwLen < block.size()) {
        // What fits is copied, as the system does, but the caller cannot use a cut block.
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(lpData, block.data(), block.size());
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen)
{
    if (!pBlock || !lpSubBlock || !lplpBuffer)
        return FALSE;
    const BYTE* block = static_cast<const BYTE*>(pBlock);
    if (std::memcmp(block, kMagic, sizeof kMagic) != 0)
        return FALSE;
    const DWORD total = ReadDword(block + 4);
    const BYTE* end = block + total;
    const BYTE* p = block + 8;
    const std::string query = Lower(lpSubBlock);

    if (query == "\\" || query.empty()) {
        *lplpBuffer = const_cast<BYTE*>(p);
        if (puLen)
            *puLen = sizeof(VS_FIXEDFILEINFO);
        return TRUE;
    }
    p += sizeof(VS_FIXEDFILEINFO);
    if (p + 4 > end)
        return FALSE;
    const DWORD translations = ReadDword(p);
    p += 4;
    if (query == "\\varfileinfo\\translation") {
        if (translations == 0)
            return FALSE;
        *lplpBuffer = const_cast<BYTE*>(p);
        if (puLen)
            *puLen = translations * 4;
        return TRUE;
    }
    p += translations * 4;
    const std::string prefix = "\\stringfileinfo\\";
    if (query.compare(0, prefix.size(), prefix) != 0 || p + 4 > end)
        return FALSE;
    const std::string key = query.substr(prefix.size());
    const DWORD strings = ReadDword(p);
    p += 4;
    for (DWORD i = 0; i < strings && p + 4 <= end; ++i) {
        const DWORD keyLength = ReadDword(p);
        const char* k = reinterpret_cast<const char*>(p + 4);
        p += 4 + keyLength;
        if (p + 4 > end)
            return FALSE;
        const DWORD valueLength = ReadDword(p);
        const char* v = reinterpret_cast<const char*>(p + 4);
        p += 4 + valueLength;
        if (p > end)
            return FALSE;
        if (key == k) {
            *lplpBuffer = const_cast<char*>(v);
            if (puLen)
                *puLen = valueLength;
            return TRUE;
        }
    }
    return FALSE;
}
