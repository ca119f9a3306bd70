// Inside the platform layer: the version information of a file, as version blocks carry it.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/Win32.h"

namespace qv::win {

struct VersionString {
    std::string translation; // "041103a4": language and code page, four hex digits each
    std::string name;        // "ProductName"
    std::string value;
};

struct VersionInfo {
    ULONGLONG fileVersion = 0; // a.b.c.d as (a << 48) | (b << 32) | (c << 16) | d
    ULONGLONG productVersion = 0;
    DWORD fileType = 1;        // VFT_APP
    std::vector<DWORD> translations; // MAKELONG(language, code page)
    std::vector<VersionString> strings;
};

std::vector<BYTE> BuildVersionBlock(const VersionInfo& info);
// The program's own version information (from its resources); null when it has none.
const VersionInfo* ProgramVersion();

} // namespace qv::win
