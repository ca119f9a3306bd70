// Conversions between UTF-16 and the narrow code page. The program's narrow texts are UTF-8 on
// this host, so the ANSI code page is UTF-8 here.
#include <string>

#include "platform/win32/Window.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool KnownCodePage(UINT cp)
{
    return cp == CP_ACP || cp == CP_OEMCP || cp == CP_UTF8;
}

// One code point from UTF-16 at `i` (advanced); lone surrogates become U+FFFD.
char32_t NextUtf16(const WCHAR* s, int n, int& i, bool& invalid)
{
    const char32_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            const char32_t low = s[i++];
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
        invalid = true;
        return kReplacement;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        invalid = true;
        return kReplacement;
    }
    return c;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One code point from UTF-8 at `i` (advanced); a malformed sequence takes one byte and gives
// U+FFFD.
char32_t NextUtf8(const unsigned char* s, int n, int& i, bool& invalid)
{
    const unsigned char b = s[i];
    int length = 0;
    char32_t c = 0, minimum = 0;
    if (b < 0x80) {
        ++i;
        return b;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2, c = b & 0x1F, minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, c = b & 0x0F, minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, c = b & 0x07, minimum = 0x10000;
    } else {
        ++i;
        invalid = true;
        return kReplacement;
    }
    if (i + length > n) {
        ++i;
        invalid = true;
        return kReplacement;
    }
    for (int k = 1; k < length; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) {
            ++i;
            invalid = true;
            return kReplacement;
        }
        c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        invalid = true;
        return kReplacement;
    }
    i += length;
    return c;
}

} // namespace

int WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar)
{
    if (!KnownCodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr)) {
        qv::win::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (CodePage == CP_UTF8 && (lpDefaultChar || lpUsedDefaultChar)) {
        qv::win::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int n = cchWideChar;
    if (n == -1) {
        n = 0;
        while (lpWideCharStr[n])
            ++n;
        ++n; // the terminator is converted too
    }
    std::string out;
    out.reserve(static_cast<size_t>(n) * 3);
    bool invalid = false;
    for (int i = 0; i < n;)
        AppendUtf8(out, NextUtf16(lpWideCharStr, n, i, invalid));
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = FALSE; // every code point has a UTF-8 form
    if (cbMultiByte == 0)
        return static_cast<int>(out.size());
    if (static_cast<int>(out.size()) > cbMultiByte) {
        qv::win::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpMultiByteStr, out.data(), out.size());
    return static_cast<int>(out.size());
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar)
{
    if (!KnownCodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr)) {
        qv::win::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int n = cbMultiByte;
    if (n == -1)
        n = static_cast<int>(std::strlen(lpMultiByteStr)) + 1;
    const auto* s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    std::u16string out;
    out.reserve(static_cast<size_t>(n));
    bool invalid = false;
    for (int i = 0; i < n;) {
        const char32_t c = NextUtf8(s, n, i, invalid);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    if (invalid && (dwFlags & MB_ERR_INVALID_CHARS)) {
        qv::win::SetError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (cchWideChar == 0)
        return static_cast<int>(out.size());
    if (static_cast<int>(out.size()) > cchWideChar) {
        qv::win::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpWideCharStr, out.data(), out.size() * sizeof(WCHAR));
    return static_cast<int>(out.size());
}
