#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/DXVersion.h"

namespace {

std::string Text(DWORD major, DWORD minor, CHAR letter, int capacity, DWORD* packed = nullptr)
{
    char text[16];
    std::memset(text, 'x', sizeof(text));
    FormatDXVersion(major, minor, letter, packed, text, capacity);
    return std::string(text, strnlen(text, sizeof(text)));
}

ULONGLONG Version(ULONGLONG a, ULONGLONG b, ULONGLONG c, ULONGLONG d)
{
    return (a << 48) | (b << 32) | (c << 16) | d;
}

} // namespace

TEST(DXVersion, PacksMajorMinorAndLetter)
{
    DWORD packed = 0;
    EXPECT_EQ(Text(9, 0, 'c', 16, &packed), "9.0c");
    EXPECT_EQ(packed, 0x00090003u);
    EXPECT_EQ(Text(9, 0, ' ', 16, &packed), "9.0");
    EXPECT_EQ(packed, 0x00090000u);
    EXPECT_EQ(Text(9, 0, 'b', 16, &packed), "9.0b");
    EXPECT_EQ(packed, 0x00090002u);
    // Letters are lowered; anything but a to z counts 0.
    EXPECT_EQ(Text(8, 1, 'A', 16, &packed), "8.1a");
    EXPECT_EQ(packed, 0x00080101u);
    EXPECT_EQ(Text(6, 1, 'z', 16, &packed), "6.1z");
    EXPECT_EQ(packed, 0x0006011Au);
    Text(9, 0, '1', 16, &packed);
    EXPECT_EQ(packed, 0x00090000u);
    Text(9, 0, static_cast<CHAR>(0xE9), 16, &packed); // a byte above 127 is no letter
    EXPECT_EQ(packed, 0x00090000u);
    Text(12, 0, 0, 16, &packed);
    EXPECT_EQ(packed, 0x000C0000u);
}

TEST(DXVersion, TextIsCutToItsCapacity)
{
    EXPECT_EQ(Text(9, 0, 'c', 4), "9.0");
    EXPECT_EQ(Text(9, 0, 'c', 5), "9.0c");
    EXPECT_EQ(Text(9, 0, 'c', 2), "9");
    EXPECT_EQ(Text(9, 0, 'c', 1), "");
    // No capacity: the text is not touched.
    char untouched[4] = {'x', 'y', 'z', 0};
    FormatDXVersion(9, 0, 'c', nullptr, untouched, 0);
    EXPECT_STREQ(untouched, "xyz");
    FormatDXVersion(9, 0, 'c', nullptr, nullptr, 16);
}

TEST(DXVersion, ThisLayerReportsDirectX90c)
{
    DWORD packed = 0;
    char text[16] = "garbage";
    ASSERT_EQ(GetDXVersion(&packed, text, sizeof(text)), S_OK);
    EXPECT_EQ(packed, 0x00090003u);
    EXPECT_STREQ(text, "9.0c");
    EXPECT_GE(packed, 0x00090000u); // the game's minimum

    char shortText[4];
    ASSERT_EQ(GetDXVersion(nullptr, shortText, sizeof(shortText)), S_OK);
    EXPECT_STREQ(shortText, "9.0");
    EXPECT_EQ(GetDXVersion(nullptr, nullptr, 0), S_OK);

    DWORD major = 0, minor = 0;
    CHAR letter = 0;
    ASSERT_EQ(QueryDXVersionFromDxDiag(&major, &minor, &letter), S_OK);
    EXPECT_EQ(major, 9u);
    EXPECT_EQ(minor, 0u);
    EXPECT_EQ(letter, 'c');
    EXPECT_EQ(QueryDXVersionFromDxDiag(nullptr, nullptr, nullptr), S_OK);

    // COM is left as it was found: uninitialised here, so the next CoInitialize is the first.
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(QueryDXVersionFromDxDiag(&major, &minor, &letter), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE); // still initialised once, now twice
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST(DXVersion, FileVersionFallbackFindsTheDirect3D9Library)
{
    // This layer stands in for the system's d3d9.dll only: the older libraries have no version.
    char systemDir[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(systemDir, MAX_PATH), 0u);
    ULONGLONG version = 0;
    ASSERT_EQ(GetFileVersionNumber((std::string(systemDir) + "\\d3d9.dll").c_str(), &version), S_OK);
    EXPECT_EQ(version, Version(5, 3, 2600, 2180));
    EXPECT_EQ(GetFileVersionNumber((std::string(systemDir) + "\\ddraw.dll").c_str(), &version), E_FAIL);

    DWORD major = 99, minor = 99;
    CHAR letter = 0;
    EXPECT_EQ(QueryDXVersionFromFileVersions(&major, &minor, &letter), S_OK);
    EXPECT_EQ(major, 9u);
    EXPECT_EQ(minor, 0u);
    EXPECT_EQ(letter, ' ');
    EXPECT_EQ(QueryDXVersionFromFileVersions(nullptr, nullptr, nullptr), S_OK);
}

TEST(DXVersion, FileVersionsCompareUnsignedHighPartFirst)
{
    EXPECT_EQ(CompareFileVersions(Version(4, 8, 1, 881), Version(4, 8, 1, 881)), 0);
    EXPECT_EQ(CompareFileVersions(Version(5, 1, 2600, 881), Version(4, 8, 1, 901)), 1);
    EXPECT_EQ(CompareFileVersions(Version(4, 8, 1, 901), Version(4, 8, 2, 0)), -1);
    EXPECT_EQ(CompareFileVersions(Version(4, 9, 0, 0), Version(4, 8, 65535, 65535)), 1);
    EXPECT_EQ(CompareFileVersions(Version(65535, 0, 0, 0), Version(1, 0, 0, 0)), 1);
    EXPECT_EQ(CompareFileVersions(Version(0, 0, 0, 1), Version(0x8000, 0, 0, 0)), -1);

    ULONGLONG version = 0;
    EXPECT_EQ(GetFileVersionNumber(nullptr, &version), E_INVALIDARG);
    EXPECT_EQ(GetFileVersionNumber("C:\\Windows\\System32\\ddraw.dll", nullptr), E_INVALIDARG);
    EXPECT_EQ(GetFileVersionNumber(".\\no such file.dll", &version), E_FAIL);
}
