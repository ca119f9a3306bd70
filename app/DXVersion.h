// The DirectX version check: asks the DxDiag provider for the installed version and, when
// that fails, infers it from the file versions of system libraries.
#pragma once

#include "platform/platform.h"

// Packs the version as (major << 16) | (minor << 8) | letter number (a = 1 ... z = 26, else 0)
// and prints it as "9.0c" ("9.0" without a letter) into a text of `capacity` bytes. Either
// output may be null. E_FAIL when neither way finds the version.
HRESULT GetDXVersion(DWORD* pdwDirectXVersion, CHAR* strDirectXVersion, int cchDirectXVersion);

// The packing and text of GetDXVersion for a version found either way; the letter is lowered.
void FormatDXVersion(DWORD dwMajor, DWORD dwMinor, CHAR cLetter, DWORD* pdwDirectXVersion, CHAR* strDirectXVersion,
                     int cchDirectXVersion);

HRESULT QueryDXVersionFromDxDiag(DWORD* pdwDirectXVersionMajor, DWORD* pdwDirectXVersionMinor,
                                 CHAR* pcDirectXVersionLetter);
// Always S_OK; 0.0 with letter ' ' when nothing can be read.
HRESULT QueryDXVersionFromFileVersions(DWORD* pdwDirectXVersionMajor, DWORD* pdwDirectXVersionMinor,
                                       CHAR* pcDirectXVersionLetter);

// The file version a.b.c.d of a file's version resource as (a << 48) | (b << 32) | (c << 16) | d.
HRESULT GetFileVersionNumber(const CHAR* szPath, ULONGLONG* pllFileVersion);
// 1, 0 or -1 as the first version is greater than, equal to or less than the second.
int CompareFileVersions(ULONGLONG llFileVersion1, ULONGLONG llFileVersion2);
