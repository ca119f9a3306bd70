#include <gtest/gtest.h>

#include <SDL.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "support/TestSupport.h"

TEST(System, LastErrorBelongsToEachThread)
{
    SetLastError(5);
    DWORD other = 1;
    std::thread([&] {
        other = GetLastError();
        SetLastError(9);
    }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 5u);
    EXPECT_NE(GetCurrentThreadId(), 0u);
    EXPECT_EQ(GetCurrentProcessId(), DWORD(getpid()));
}

TEST(System, CreateDirectoryReportsAnExistingFolder)
{
    const std::string dir = qvtest::MakeTempDir("CreateDirectory");
    std::string windowsPath = dir + "/ScreenCapture";
    for (char& c : windowsPath)
        if (c == '/')
            c = '\\';
    EXPECT_TRUE(CreateDirectoryA(windowsPath.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(windowsPath.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA((windowsPath + "\\no\\such").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(System, FindFileListsTheNamesOfOneFolderThatMatchAPattern)
{
    const std::string dir = qvtest::MakeTempDir("FindFile");
    for (const char* name : {"sc000000.bmp", "SC000004.BMP", "sc000001.txt", "other.bmp"})
        qvtest::WriteFileText(dir + "/" + name, "x");
    mkdir((dir + "/sc000009.bmp").c_str(), 0777);
    std::string windowsDir = dir;
    for (char& c : windowsDir)
        if (c == '/')
            c = '\\';

    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((windowsDir + "\\sc*.bmp").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::set<std::string> names;
    std::map<std::string, DWORD> attributes;
    do {
        names.insert(data.cFileName);
        attributes[data.cFileName] = data.dwFileAttributes;
    } while (FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    EXPECT_FALSE(FindClose(find)) << "closed once";
    // Letters match either case; the folder matches too and says so.
    EXPECT_EQ(names, (std::set<std::string>{"sc000000.bmp", "SC000004.BMP", "sc000009.bmp"}));
    EXPECT_TRUE(attributes["sc000009.bmp"] & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(attributes["sc000000.bmp"] & FILE_ATTRIBUTE_DIRECTORY);

    // One exact name, ? for one character, and nothing found.
    find = FindFirstFileA((windowsDir + "\\other.bmp").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "other.bmp");
    EXPECT_EQ(data.nFileSizeLow, 1u);
    EXPECT_FALSE(FindNextFileA(find, &data));
    FindClose(find);
    find = FindFirstFileA((windowsDir + "\\sc00000?.txt").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "sc000001.txt");
    FindClose(find);
    EXPECT_EQ(FindFirstFileA((windowsDir + "\\sc*.png").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    // A folder that is a file, or none at all.
    EXPECT_EQ(FindFirstFileA((windowsDir + "\\other.bmp\\*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FindFirstFileA((windowsDir + "\\none\\*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(FindNextFileA(nullptr, &data));

    // The attributes of one name.
    EXPECT_EQ(GetFileAttributesA((windowsDir + "\\other.bmp").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(GetFileAttributesA((windowsDir + "\\sc000009.bmp").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(GetFileAttributesA((windowsDir + "\\sc000002.bmp").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA((windowsDir + "\\other.bmp\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(System, ModuleFileNameIsTheProgramInWindowsForm)
{
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, DWORD(sizeof path));
    EXPECT_EQ(std::strlen(path), n);
    const char* name = std::strrchr(path, '\\');
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name + 1, "test_platform");
    // It opens through the path translation.
    FILE* f = fopen(path, "rb");
    ASSERT_NE(f, nullptr);
    fclose(f);

    char small[6];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), DWORD(sizeof small));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small[sizeof small - 1], 0) << "a cut name still ends";
}

TEST(System, TickCountIsTheHostClockInMilliseconds)
{
    // Read between two readings of the host's monotonic clock, the tick count lies between
    // them in whole milliseconds: an order, whatever a busy machine does to durations.
    auto hostMs = [] {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<DWORD>(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
    };
    for (int i = 0; i < 3; ++i) {
        const DWORD before = hostMs();
        const DWORD tick = GetTickCount();
        const DWORD after = hostMs();
        EXPECT_LE(tick - before, after - before) << "outside [" << before << ", " << after << "]: " << tick;
        Sleep(1);
    }
}

TEST(System, SystemFolderAnswersTheDirect3DVersionThisLayerProvides)
{
    char dir[MAX_PATH];
    const UINT n = GetSystemDirectoryA(dir, sizeof dir);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(GetSystemDirectoryA(dir, 3), n + 1) << "too small: the size needed";

    const std::string d3d9 = std::string(dir) + "\\d3d9.dll";
    DWORD handle = 1;
    const DWORD size = GetFileVersionInfoSizeA(d3d9.c_str(), &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(d3d9.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), 5);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), 3);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), 2600);

    // A cut buffer is refused rather than half-filled.
    EXPECT_FALSE(GetFileVersionInfoA(d3d9.c_str(), 0, size - 1, block.data()));

    // Libraries this layer does not stand in for have no version.
    EXPECT_EQ(GetFileVersionInfoSizeA((std::string(dir) + "\\ddraw.dll").c_str(), nullptr), 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA("no-such-file.dll", nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileVersionInfoSizeA(nullptr, nullptr), 0u);

    void* value = nullptr;
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\NoSuchName", &value, &len));
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\FileVersion", &value, &len));
    EXPECT_STREQ(static_cast<const char*>(value), "5.03.2600.2180");
    EXPECT_EQ(len, std::strlen("5.03.2600.2180") + 1);
    const char junk[64] = "not a version block";
    EXPECT_FALSE(VerQueryValueA(junk, "\\", &value, &len));
}

TEST(System, CloseHandleRefusesWhatIsNoHandle)
{
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(0x7777)));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(System, NamedMutexIsSeenByAnotherProcessAndNeverOutlivesItsHolder)
{
    // The lock files go to a folder of the test's own.
    const std::string runtime = qvtest::MakeTempDir("MutexRuntime");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string name = "QvTest mutex 版 " + std::to_string(getpid());
    HANDLE m = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));

    // Inside the process: the same mutex again.
    HANDLE again = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(CloseHandle(again));

    // Another process sees it.
    pid_t child = fork();
    if (child == 0) {
        HANDLE h = CreateMutexA(nullptr, TRUE, name.c_str());
        _exit(h && GetLastError() == ERROR_ALREADY_EXISTS ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m)) << "released once only";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_OWNER));
    EXPECT_TRUE(CloseHandle(m));

    // A holder that dies without closing leaves nothing behind.
    const std::string crashName = name + " crash";
    int pipeFd[2];
    ASSERT_EQ(pipe(pipeFd), 0);
    child = fork();
    if (child == 0) {
        CreateMutexA(nullptr, TRUE, crashName.c_str());
        char ready = 1;
        (void)!write(pipeFd[1], &ready, 1);
        pause();
        _exit(0);
    }
    char ready = 0;
    ASSERT_EQ(read(pipeFd[0], &ready, 1), 1);
    HANDLE whileHeld = CreateMutexA(nullptr, TRUE, crashName.c_str());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(whileHeld);
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    HANDLE after = CreateMutexA(nullptr, TRUE, crashName.c_str());
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    CloseHandle(after);
    close(pipeFd[0]);
    close(pipeFd[1]);

    // Another session (display) has names of its own.
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    HANDLE here = CreateMutexA(nullptr, TRUE, name.c_str());
    setenv("DISPLAY", ":4242", 1);
    child = fork();
    if (child == 0) {
        HANDLE h = CreateMutexA(nullptr, TRUE, name.c_str());
        _exit(h && GetLastError() == ERROR_SUCCESS ? 0 : 1);
    }
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
    CloseHandle(here);
}

TEST(System, ProcessSnapshotFindsThisProgramByItsFileName)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snap, INVALID_HANDLE_VALUE);
    PROCESSENTRY32 pe;
    pe.dwSize = 8;
    EXPECT_FALSE(Process32First(snap, &pe)) << "the size field must be set";
    pe.dwSize = sizeof pe;
    ASSERT_TRUE(Process32First(snap, &pe));
    bool found = false;
    int count = 0;
    do {
        ++count;
        if (pe.th32ProcessID == GetCurrentProcessId()) {
            found = true;
            EXPECT_STREQ(pe.szExeFile, "test_platform");
            EXPECT_EQ(pe.th32ParentProcessID, DWORD(getppid()));
        }
    } while (Process32Next(snap, &pe));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(found);
    EXPECT_GT(count, 1);
    EXPECT_TRUE(CloseHandle(snap));
    EXPECT_FALSE(Process32Next(snap, &pe));
}

TEST(System, WideAndNarrowTextsRoundTripWithJapanese)
{
    const char* narrow = "THE Quorvane 2004Frostmart版 バージョン情報 𠮷";
    for (UINT cp : {UINT(CP_ACP), UINT(CP_UTF8)}) {
        const int wideLength = MultiByteToWideChar(cp, 0, narrow, -1, nullptr, 0);
        ASSERT_GT(wideLength, 0);
        std::vector<WCHAR> wide(wideLength);
        ASSERT_EQ(MultiByteToWideChar(cp, 0, narrow, -1, wide.data(), wideLength), wideLength);
        EXPECT_EQ(wide[wideLength - 1], 0);
        EXPECT_EQ(wide[26], u'版');
        const int narrowLength = WideCharToMultiByte(cp, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
        ASSERT_EQ(narrowLength, int(std::strlen(narrow) + 1));
        std::string back(narrowLength, '\0');
        ASSERT_EQ(WideCharToMultiByte(cp, 0, wide.data(), -1, back.data(), narrowLength, nullptr, nullptr), narrowLength);
        EXPECT_STREQ(back.c_str(), narrow);
    }
    // A buffer too small converts nothing and says so.
    const WCHAR c[] = u"版";
    char tiny[2];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, c, -1, tiny, sizeof tiny, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    // Without the terminator when a length is given.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, c, 1, nullptr, 0, nullptr, nullptr), 3);
    // Broken input: replaced, or refused when asked.
    const char broken[] = "a\xE3\x81";
    WCHAR out[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, broken, 3, out, 8), 3);
    EXPECT_EQ(out[1], 0xFFFD);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, broken, 3, out, 8), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
    const WCHAR lone[] = {0xD800, u'x', 0};
    char narrowOut[16];
    BOOL usedDefault = TRUE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, narrowOut, sizeof narrowOut, nullptr, &usedDefault), 5);
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, narrowOut, sizeof narrowOut, nullptr, &usedDefault), 0);
}
