#include "app/DXVersion.h"

#include <cctype>
#include <memory>
#include <new>
#include <string>

#include "app/ReleaseInterface.h"

// WCHAR is wchar_t on Windows and a 16-bit char16_t elsewhere, so wide literals differ.
#ifdef _WIN32
#define DXV_WIDE(s) L##s
#else
#define DXV_WIDE(s) u##s
#endif

namespace {

ULONGLONG MakeVersion(ULONGLONG a, ULONGLONG b, ULONGLONG c, ULONGLONG d)
{
    return (a << 48) | (b << 32) | (c << 16) | d;
}

DWORD FirstPart(ULONGLONG version) { return static_cast<DWORD>(version >> 48); }

bool AtLeast(ULONGLONG version, ULONGLONG minimum) { return CompareFileVersions(version, minimum) >= 0; }

void SetOutputs(DWORD* pMajor, DWORD* pMinor, CHAR* pLetter, DWORD major, DWORD minor, CHAR letter)
{
    if (pMajor)
        *pMajor = major;
    if (pMinor)
        *pMinor = minor;
    if (pLetter)
        *pLetter = letter;
}

} // namespace

HRESULT QueryDXVersionFromDxDiag(DWORD* pdwDirectXVersionMajor, DWORD* pdwDirectXVersionMinor,
                                 CHAR* pcDirectXVersionLetter)
{
    const bool bCoInitialized = SUCCEEDED(CoInitialize(nullptr));
    IDxDiagProvider* pProvider = nullptr;
    IDxDiagContainer* pRoot = nullptr;
    IDxDiagContainer* pSystemInfo = nullptr;
    bool bGotMajor = false;
    bool bGotMinor = false;
    bool bGotLetter = false;
    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    CHAR cLetter = ' ';

    HRESULT hr = CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                  reinterpret_cast<LPVOID*>(&pProvider));
    if (SUCCEEDED(hr) && pProvider) {
        DXDIAG_INIT_PARAMS params;
        ZeroMemory(&params, sizeof(params));
        params.dwSize = sizeof(DXDIAG_INIT_PARAMS);
        params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
        params.bAllowWHQLChecks = FALSE;
        params.pReserved = nullptr;
        hr = pProvider->Initialize(&params);
        if (SUCCEEDED(hr))
            hr = pProvider->GetRootContainer(&pRoot);
        if (SUCCEEDED(hr) && pRoot)
            hr = pRoot->GetChildContainer(DXV_WIDE("DxDiag_SystemInfo"), &pSystemInfo);
        if (SUCCEEDED(hr) && pSystemInfo) {
            VARIANT var;
            VariantInit(&var);
            if (SUCCEEDED(pSystemInfo->GetProp(DXV_WIDE("dwDirectXVersionMajor"), &var)) && var.vt == VT_UI4) {
                dwMajor = var.ulVal;
                bGotMajor = true;
            }
            VariantClear(&var);
            if (SUCCEEDED(pSystemInfo->GetProp(DXV_WIDE("dwDirectXVersionMinor"), &var)) && var.vt == VT_UI4) {
                dwMinor = var.ulVal;
                bGotMinor = true;
            }
            VariantClear(&var);
            if (SUCCEEDED(pSystemInfo->GetProp(DXV_WIDE("szDirectXVersionLetter"), &var)) && var.vt == VT_BSTR &&
                var.bstrVal != nullptr) {
                CHAR strLetter[10] = {};
                WideCharToMultiByte(CP_ACP, 0, var.bstrVal, -1, strLetter, sizeof(strLetter), nullptr, nullptr);
                cLetter = strLetter[0];
                bGotLetter = true;
            }
            VariantClear(&var);
        }
    }
    ReleaseInterface(pSystemInfo);
    ReleaseInterface(pRoot);
    ReleaseInterface(pProvider);
    if (bCoInitialized)
        CoUninitialize();

    if (!(bGotMajor && bGotMinor && bGotLetter))
        return E_FAIL;
    SetOutputs(pdwDirectXVersionMajor, pdwDirectXVersionMinor, pcDirectXVersionLetter, dwMajor, dwMinor, cLetter);
    return S_OK;
}

HRESULT QueryDXVersionFromFileVersions(DWORD* pdwDirectXVersionMajor, DWORD* pdwDirectXVersionMinor,
                                       CHAR* pcDirectXVersionLetter)
{
    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    CHAR cLetter = ' ';

    CHAR szSystemDir[MAX_PATH];
    const UINT uLength = GetSystemDirectoryA(szSystemDir, MAX_PATH);
    if (uLength == 0 || uLength >= MAX_PATH) {
        SetOutputs(pdwDirectXVersionMajor, pdwDirectXVersionMinor, pcDirectXVersionLetter, 0, 0, ' ');
        return S_OK;
    }

    // Each library that a DirectX release brought, in release order: later matches override.
    struct Check {
        const char* file;
        ULONGLONG minimum;  // alone when minimum5 is 0; else only for a version of first part 4
        ULONGLONG minimum5; // the Windows XP line of the library, versions of first part 5
        DWORD major;
        DWORD minor;
        CHAR letter;
    };
    const Check checks[] = {
        {"\\ddraw.dll", MakeVersion(4, 2, 0, 95), 0, 1, 0, ' '},
        {"\\ddraw.dll", MakeVersion(4, 3, 0, 1096), 0, 2, 0, ' '},
        {"\\ddraw.dll", MakeVersion(4, 4, 0, 68), 0, 3, 0, ' '},
        {"\\d3drg8x.dll", MakeVersion(4, 4, 0, 70), 0, 3, 0, 'a'},
        {"\\ddraw.dll", MakeVersion(4, 5, 0, 155), 0, 5, 0, ' '},
        {"\\ddraw.dll", MakeVersion(4, 6, 0, 318), 0, 6, 0, ' '},
        {"\\ddraw.dll", MakeVersion(4, 6, 0, 436), 0, 6, 1, ' '},
        {"\\dplayx.dll", MakeVersion(4, 6, 3, 518), 0, 6, 1, 'a'},
        {"\\ddraw.dll", MakeVersion(4, 7, 0, 700), 0, 7, 0, ' '},
        {"\\dinput.dll", MakeVersion(4, 7, 0, 716), 0, 7, 0, 'a'},
        {"\\ddraw.dll", MakeVersion(4, 8, 0, 400), MakeVersion(5, 1, 2258, 400), 8, 0, ' '},
        {"\\d3d8.dll", MakeVersion(4, 8, 1, 881), MakeVersion(5, 1, 2600, 881), 8, 1, ' '},
        {"\\d3d8.dll", MakeVersion(4, 8, 1, 901), MakeVersion(5, 1, 2600, 901), 8, 1, 'a'},
        {"\\mpg2splt.ax", MakeVersion(6, 3, 1, 885), 0, 8, 1, 'b'},
        {"\\dpnet.dll", MakeVersion(4, 9, 0, 134), MakeVersion(5, 2, 3677, 134), 8, 2, ' '},
    };
    const std::string systemDir(szSystemDir);
    for (const Check& check : checks) {
        ULONGLONG version = 0;
        if (FAILED(GetFileVersionNumber((systemDir + check.file).c_str(), &version)))
            continue;
        bool meets;
        if (check.minimum5 == 0)
            meets = AtLeast(version, check.minimum);
        else
            meets = (FirstPart(version) == 4 && AtLeast(version, check.minimum)) ||
                    (FirstPart(version) == 5 && AtLeast(version, check.minimum5));
        if (meets) {
            dwMajor = check.major;
            dwMinor = check.minor;
            cLetter = check.letter;
        }
    }
    // Any readable Direct3D 9 library means 9.0.
    ULONGLONG version = 0;
    if (SUCCEEDED(GetFileVersionNumber((systemDir + "\\d3d9.dll").c_str(), &version))) {
        dwMajor = 9;
        dwMinor = 0;
        cLetter = ' ';
    }

    SetOutputs(pdwDirectXVersionMajor, pdwDirectXVersionMinor, pcDirectXVersionLetter, dwMajor, dwMinor, cLetter);
    return S_OK;
}

HRESULT GetFileVersionNumber(const CHAR* szPath, ULONGLONG* pllFileVersion)
{
    if (!szPath || !pllFileVersion)
        return E_INVALIDARG;
    DWORD dwHandle = 0;
    const DWORD dwSize = GetFileVersionInfoSizeA(szPath, &dwHandle);
    if (dwSize == 0)
        return E_FAIL;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[dwSize]);
    if (!buffer)
        return E_OUTOFMEMORY;
    if (!GetFileVersionInfoA(szPath, dwHandle, dwSize, buffer.get()))
        return E_FAIL;
    LPVOID pInfo = nullptr;
    UINT uLength = 0;
    if (!VerQueryValueA(buffer.get(), "\\", &pInfo, &uLength) || !pInfo || uLength < sizeof(VS_FIXEDFILEINFO))
        return E_FAIL;
    const VS_FIXEDFILEINFO* pFixed = static_cast<const VS_FIXEDFILEINFO*>(pInfo);
    *pllFileVersion = (static_cast<ULONGLONG>(pFixed->dwFileVersionMS) << 32) | pFixed->dwFileVersionLS;
    return S_OK;
}

int CompareFileVersions(ULONGLONG llFileVersion1, ULONGLONG llFileVersion2)
{
    if (llFileVersion1 > llFileVersion2)
        return 1;
    if (llFileVersion1 < llFileVersion2)
        return -1;
    return 0;
}

void FormatDXVersion(DWORD dwMajor, DWORD dwMinor, CHAR cLetter, DWORD* pdwDirectXVersion, CHAR* strDirectXVersion,
                     int cchDirectXVersion)
{
    cLetter = static_cast<CHAR>(tolower(static_cast<unsigned char>(cLetter)));
    if (pdwDirectXVersion) {
        const DWORD dwLetter = (cLetter >= 'a' && cLetter <= 'z') ? static_cast<DWORD>(cLetter - 'a' + 1) : 0;
        *pdwDirectXVersion = (dwMajor << 16) | (dwMinor << 8) | dwLetter;
    }
    if (strDirectXVersion && cchDirectXVersion >= 1) {
        if (cLetter == ' ')
            _snprintf(strDirectXVersion, cchDirectXVersion, "%d.%d", static_cast<int>(dwMajor),
                      static_cast<int>(dwMinor));
        else
            _snprintf(strDirectXVersion, cchDirectXVersion, "%d.%d%c", static_cast<int>(dwMajor),
                      static_cast<int>(dwMinor), cLetter);
        // Windows' _snprintf leaves a cut text unterminated.
        strDirectXVersion[cchDirectXVersion - 1] = 0;
    }
}

HRESULT GetDXVersion(DWORD* pdwDirectXVersion, CHAR* strDirectXVersion, int cchDirectXVersion)
{
    if (pdwDirectXVersion)
        *pdwDirectXVersion = 0;
    if (strDirectXVersion && cchDirectXVersion >= 1)
        strDirectXVersion[0] = 0;

    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    CHAR cLetter = ' ';
    if (FAILED(QueryDXVersionFromDxDiag(&dwMajor, &dwMinor, &cLetter)) &&
        FAILED(QueryDXVersionFromFileVersions(&dwMajor, &dwMinor, &cLetter)))
        return E_FAIL;

    FormatDXVersion(dwMajor, dwMinor, cLetter, pdwDirectXVersion, strDirectXVersion, cchDirectXVersion);
    return S_OK;
}
