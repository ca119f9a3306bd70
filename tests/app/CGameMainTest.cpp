// The main object as the message loop drives it: start-up from the settings file, the scene
// sequence, the keys of the frame function, the message hook's commands and the version box.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include "app/CCharacter.h"
#include "app/CGameConfig.h"
#include "app/CGameMain.h"
#include "app/MessageHook.h"
#include "app/WinMain.h"
#include "platform/d3d9/D3D9TestHooks.h"
#include "platform/dmusic/DMusicTestHooks.h"
#include "platform/platform.h"
#include "platform/win32/TestHooks.h"
#include "render/CD3DFont.h"
#include "render/CDirectX9.h"
#include "resources/resource.h"
#include "sound/Sound.h"
#include "support/D3D9Fixture.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A clock that only moves when the program reads or sleeps on it, so frames cost no time.
class FrameClock {
public:
    FrameClock()
    {
        m_Fake.frequency = 1000000;
        m_Fake.now = [this] { return m_Now += 50; };
        m_Fake.sleep = [this](DWORD ms) {
            ++Sleeps;
            m_Now += static_cast<int64_t>(ms) * 1000;
        };
        qv::test::SetFakeClock(&m_Fake);
    }
    ~FrameClock() { qv::test::SetFakeClock(nullptr); }
    int Sleeps = 0;

private:
    int64_t m_Now = 1000000000;
    qv::test::FakeClock m_Fake;
};

class GameMainTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_Dir = qvtest::MakeTempDir(testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directory_symlink(fs::path(qvtest::RunDir()) / "data", fs::path(m_Dir) / "data");
        ASSERT_EQ(chdir(m_Dir.c_str()), 0);
        // On the loopback device sound time moves only when a test mixes, so a sound that was
        // played stays playing however slowly the machine runs the frames: counting the
        // playing channels counts the plays.
        qv::test::UseLoopbackAudio(true);
    }
    void TearDown() override { qv::test::UseLoopbackAudio(false); }

    void WriteSettings(const char* text) { qvtest::WriteFileText(m_Dir + "/Config.dat", text); }

    // The window WinMain makes, with the class menu, and the main object built on it.
    void Start()
    {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WndProc;
        wc.hInstance = instance;
        wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
        wc.lpszClassName = "QUORVANE_TEST";
        RegisterClassExA(&wc);
        m_Window = CreateWindowExA(0, "QUORVANE_TEST", "THE Quorvane", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 640, 480,
                                   nullptr, nullptr, instance, nullptr);
        ASSERT_NE(m_Window, nullptr);
        ShowWindow(m_Window, SW_SHOWNORMAL);
        CGameConfig& config = CGameConfig::GetInstance();
        config.Instance = instance;
        config.Window = m_Window;
        CGameMain::GetInstance();
    }

    // The failure text that one frame throws; empty when it throws none.
    std::string FrameFailure()
    {
        try {
            Frame();
        } catch (const char* text) {
            return text;
        }
        return "";
    }

    // One frame with the given keys held (they are released again before the next frame).
    void Frame(std::initializer_list<int> keys = {})
    {
        for (int key : keys)
            qv::test::SetKeyDown(key, true);
        CGameMain::GetInstance().GameMain();
        for (int key : keys)
            qv::test::SetKeyDown(key, false);
    }

    static LRESULT Hook(UINT message, WPARAM wParam, LPARAM lParam = 0)
    {
        MSG msg = {};
        msg.hwnd = CGameConfig::GetInstance().Window;
        msg.message = message;
        msg.wParam = wParam;
        msg.lParam = lParam;
        return GetMessageHookProc(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&msg));
    }

    // Asks for a capture and ends the game with `message` before another frame is drawn: the
    // capture is still written, and it is the picture that the window shows.
    void CaptureThenEnd(UINT message, WPARAM wParam)
    {
        Start();
        Frame();
        Frame();
        // What the window shows: the frame presented last, still in the back buffer here.
        qvtest::Image shown = qvtest::ReadBackBuffer(CDirectX9::Device);
        Hook(WM_COMMAND, IDM_CAPTURE);
        EXPECT_FALSE(fs::exists(m_Dir + "/ScreenCapture/sc000000.bmp"));
        testing::internal::CaptureStderr();
        WndProc(m_Window, message, wParam, 0);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("MessageBox"), std::string::npos) << err;
        EXPECT_FALSE(IsWindow(m_Window));

        qvtest::Image saved;
        ASSERT_TRUE(qvtest::LoadPicture(m_Dir + "/ScreenCapture/sc000000.bmp", saved));
        ASSERT_EQ(saved.width, shown.width);
        ASSERT_EQ(saved.height, shown.height);
        for (qvtest::Image* picture : {&saved, &shown})
            for (size_t i = 3; i < picture->rgba.size(); i += 4)
                picture->rgba[i] = 0xFF; // the back buffer's alpha is not part of the picture
        EXPECT_EQ(qvtest::ComparePictures(saved, shown, 1, "CaptureThenEnd", "shown"), "");
    }

    static bool Checked(UINT id)
    {
        return (GetMenuState(GetMenu(CGameConfig::GetInstance().Window), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }

    static int PlayedEffects()
    {
        int playing = 0;
        for (CDMusicSound* channel : g_pSounds)
            if (channel && channel->IsPlaying())
                ++playing;
        return playing;
    }

    FrameClock m_Clock;
    std::string m_Dir;
    HWND m_Window = nullptr;
};

} // namespace

TEST_F(GameMainTest, StartsFromTheSettingsFileInTheScreenModeItNames)
{
    WriteSettings("1 3 0 1\n");
    Start();
    const CGameConfig& config = CGameConfig::GetInstance();
    EXPECT_EQ(config.RenderDivisor, 2);
    EXPECT_EQ(config.Width, 320);
    EXPECT_EQ(config.Height, 240);
    EXPECT_TRUE(config.IsWindowed);
    EXPECT_TRUE(config.IsVsyncWait);
    EXPECT_FALSE(config.IsSoundOn);
    RECT client;
    GetClientRect(m_Window, &client);
    EXPECT_EQ(client.right - client.left, 320);
    EXPECT_EQ(client.bottom - client.top, 240);
    EXPECT_EQ(GetWindowLongA(m_Window, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME),
              WS_CAPTION | WS_SYSMENU) << "a window has no sizing border";
    EXPECT_NE(CGameMain::GetInstance().Hook, nullptr);
    EXPECT_EQ(CGameMain::GetInstance().Menu, nullptr) << "the menu bar stays on a window";
    EXPECT_NE(GetMenu(m_Window), nullptr);
}

TEST_F(GameMainTest, FramesWalkTheSceneSequenceAndTheKeys)
{
    Start();
    CGameConfig& config = CGameConfig::GetInstance();

    Frame();
    EXPECT_EQ(g_nSceneState, unsigned(SCENE_LOGO)) << "frame 0 only moves the scene number";
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
    EXPECT_EQ(g_nFrameCount, 1u);
    Frame();
    ASSERT_EQ(CCharacterSystem::CharacterList.size(), 1u) << "the logo is made in the next frame";
    CCharacter* logo = CCharacterSystem::CharacterList.front();

    // F1 cycles the divisor 1 -> 2 -> 4 -> 1; a held key counts once.
    Frame({VK_F1});
    EXPECT_EQ(config.RenderDivisor, 2);
    Frame({VK_F1});
    EXPECT_EQ(config.RenderDivisor, 2) << "still held: not newly pressed";
    Frame();
    Frame({VK_F1});
    EXPECT_EQ(config.RenderDivisor, 4);
    Frame();
    Frame({VK_F1});
    EXPECT_EQ(config.RenderDivisor, 1);
    Frame();

    // F2 toggles the FPS line.
    Frame({VK_F2});
    EXPECT_TRUE(g_bShowFPS);
    Frame();

    // While paused, input and frames go on but no character is updated.
    const DWORD age = logo->Age;
    const int effects = PlayedEffects();
    Frame({'C'});
    EXPECT_TRUE(config.IsPaused);
    EXPECT_EQ(PlayedEffects(), effects + 1) << "the pause sound plays";
    const unsigned int frames = g_nFrameCount;
    Frame();
    Frame();
    EXPECT_EQ(logo->Age, age) << "the pause takes effect in the frame of the key";
    EXPECT_EQ(g_nFrameCount, frames + 2) << "frames are still counted while paused";
    Frame({'C'});
    EXPECT_FALSE(config.IsPaused);
    EXPECT_EQ(PlayedEffects(), effects + 1) << "unpausing plays nothing";

    // Escape: the rest of this frame runs; the next one posts WM_CLOSE and returns at once.
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i)
        DispatchMessageA(&msg);
    Frame({VK_ESCAPE});
    EXPECT_EQ(g_nSceneState, unsigned(SCENE_QUIT));
    EXPECT_FALSE(PeekMessageA(&msg, m_Window, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    const unsigned int before = g_nFrameCount;
    const int sleeps = m_Clock.Sleeps;
    Frame();
    EXPECT_TRUE(PeekMessageA(&msg, m_Window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_EQ(g_nFrameCount, before) << "the quit frame runs nothing after posting";
    EXPECT_EQ(m_Clock.Sleeps, sleeps) << "and does not wait";
}

TEST_F(GameMainTest, PausingWithSoundOffPlaysNothing)
{
    WriteSettings("0 2 1 1\n");
    Start();
    Frame();
    Frame();
    const int effects = PlayedEffects();
    Frame({'C'});
    EXPECT_TRUE(CGameConfig::GetInstance().IsPaused);
    EXPECT_EQ(PlayedEffects(), effects);
}

TEST_F(GameMainTest, TheHookCarriesOutTheSettingsCommandsAndCheckMarks)
{
    Start();
    CGameConfig& config = CGameConfig::GetInstance();

    Hook(WM_COMMAND, IDM_15FPS);
    EXPECT_EQ(config.RenderDivisor, 4);
    Hook(WM_COMMAND, IDM_30FPS);
    EXPECT_EQ(config.RenderDivisor, 2);
    Hook(WM_COMMAND, IDM_SOUND_OFF);
    EXPECT_FALSE(config.IsSoundOn);

    // The marks follow the settings only when a menu is selected.
    config.RenderDivisor = 4;
    EXPECT_FALSE(Checked(IDM_15FPS));
    Hook(WM_APP, MAKEWPARAM(0, MF_POPUP), 1);
    EXPECT_TRUE(g_bMenuOpen);
    EXPECT_TRUE(Checked(IDM_15FPS));
    EXPECT_FALSE(Checked(IDM_30FPS));
    EXPECT_FALSE(Checked(IDM_60FPS));
    EXPECT_TRUE(Checked(IDM_WINDOW_640));
    EXPECT_FALSE(Checked(IDM_FULL_640));
    EXPECT_TRUE(Checked(IDM_VSYNC_OFF));
    EXPECT_TRUE(Checked(IDM_SOUND_OFF));
    EXPECT_FALSE(Checked(IDM_SOUND_ON));
    Hook(WM_APP, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_FALSE(g_bMenuOpen) << "the close notification";

    // The VSYNC command resets the device in the current mode.
    Hook(WM_COMMAND, IDM_VSYNC_ON);
    EXPECT_TRUE(config.IsVsyncWait);
    EXPECT_EQ(config.Width, 640);
}

TEST_F(GameMainTest, TheMenuOffersOnlyTheFullScreenModesTheAdapterLists)
{
    Start();
    auto grayed = [](UINT id) {
        return (GetMenuState(GetMenu(CGameConfig::GetInstance().Window), id, MF_BYCOMMAND) & MF_GRAYED) != 0;
    };
    Hook(WM_APP, MAKEWPARAM(0, MF_POPUP), 1);
    EXPECT_FALSE(grayed(IDM_FULL_640));
    EXPECT_FALSE(grayed(IDM_FULL_320));

    const std::vector<D3DDISPLAYMODE> modes = {D3DDISPLAYMODE{640, 480, 60, D3DFMT_X8R8G8B8}};
    qv::test::D3D9Faults faults;
    faults.adapterModes = &modes;
    qv::test::SetD3D9Faults(&faults);
    Hook(WM_APP, MAKEWPARAM(0, MF_POPUP), 1);
    EXPECT_FALSE(grayed(IDM_FULL_640));
    EXPECT_TRUE(grayed(IDM_FULL_320));
    EXPECT_FALSE(grayed(IDM_WINDOW_320));
    // Chosen all the same (Alt+Enter has no menu item), it is refused and nothing changes.
    testing::internal::CaptureStderr();
    Hook(WM_COMMAND, IDM_FULL_320);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("MessageBox [Error] Failed CDirectX9::ChangeScreenMode EnumAdapterModes"), std::string::npos)
        << err;
    EXPECT_TRUE(CGameConfig::GetInstance().IsWindowed);
    EXPECT_EQ(CGameConfig::GetInstance().Width, 640);
    qv::test::SetD3D9Faults(nullptr);
}

TEST_F(GameMainTest, CapturesAreNumberedFromZeroInTheirFolderAndTakenFromTheNextFrame)
{
    Start();
    Frame();
    Frame();
    Hook(WM_COMMAND, IDM_CAPTURE);
    Hook(WM_COMMAND, IDM_CAPTURE);
    EXPECT_EQ(g_nCaptureCount, 2u);
    EXPECT_FALSE(fs::exists(m_Dir + "/ScreenCapture/sc000000.bmp")) << "saved before a frame was drawn";
    Frame();
    EXPECT_TRUE(fs::is_regular_file(m_Dir + "/ScreenCapture/sc000000.bmp"));
    EXPECT_TRUE(fs::is_regular_file(m_Dir + "/ScreenCapture/sc000001.bmp"));
    EXPECT_FALSE(fs::exists(m_Dir + "/ScreenCapture/sc000002.bmp"));
}

TEST_F(GameMainTest, ACaptureThatCannotBeWrittenIsReportedAfterItsFrameAndTheGameGoesOn)
{
    Start();
    Frame();
    // A file where the folder should be: the folder cannot be made, so the save fails.
    qvtest::WriteFileText(m_Dir + "/ScreenCapture", "not a folder");
    Hook(WM_COMMAND, IDM_CAPTURE);
    const int sleeps = m_Clock.Sleeps;
    EXPECT_EQ(FrameFailure(), "Failed CDirectX9::SaveScreen D3DXSaveSurfaceToFile");
    // The rest of the frame ran before the failure was reported: its count and its wait.
    EXPECT_EQ(g_nFrameCount, 2u);
    EXPECT_GT(m_Clock.Sleeps, sleeps);
    EXPECT_NO_THROW(Frame()) << "reported once";
    EXPECT_EQ(g_nFrameCount, 3u);
    EXPECT_EQ(qvtest::ReadFileBytes(m_Dir + "/ScreenCapture").size(), std::string("not a folder").size());
}

TEST_F(GameMainTest, ACaptureTakesTheNumberAfterTheHighestInItsFolderAndWritesOverNothing)
{
    // An earlier run's pictures: numbered with a gap, and other files beside them.
    fs::create_directory(m_Dir + "/ScreenCapture");
    const std::string folder = m_Dir + "/ScreenCapture/";
    for (const char* name : {"sc000000.bmp", "sc000004.bmp", "notes.txt", "sc12.bmp"})
        qvtest::WriteFileText(folder + name, std::string("kept ") + name);
    Start();
    Frame();
    Hook(WM_COMMAND, IDM_CAPTURE);
    Frame();
    EXPECT_GT(fs::file_size(folder + "sc000005.bmp"), 54u);
    EXPECT_FALSE(fs::exists(folder + "sc000001.bmp")) << "the gap is not filled";
    for (const char* name : {"sc000000.bmp", "sc000004.bmp", "notes.txt", "sc12.bmp"}) {
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(folder + name);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("kept ") + name);
    }

    // A name that came to exist since is passed over, not written over.
    qvtest::WriteFileText(folder + "sc000006.bmp", "kept");
    Hook(WM_COMMAND, IDM_CAPTURE);
    Frame();
    EXPECT_EQ(qvtest::ReadFileBytes(folder + "sc000006.bmp").size(), 4u);
    EXPECT_GT(fs::file_size(folder + "sc000007.bmp"), 54u);
}

TEST_F(GameMainTest, ACaptureFolderThatCannotBeWrittenIsReportedOnceAndKeepsItsFiles)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "every folder can be written by root";
    const std::string folder = m_Dir + "/ScreenCapture";
    fs::create_directory(folder);
    qvtest::WriteFileText(folder + "/sc000003.bmp", "kept");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    Start();
    Frame();
    Hook(WM_COMMAND, IDM_CAPTURE);
    EXPECT_EQ(FrameFailure(), "Failed CDirectX9::SaveScreen D3DXSaveSurfaceToFile");
    EXPECT_NO_THROW(Frame());
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(qvtest::ReadFileBytes(folder + "/sc000003.bmp").size(), 4u);
    EXPECT_FALSE(fs::exists(folder + "/sc000004.bmp"));
}

TEST_F(GameMainTest, AThousandCapturesAreFollowedByTheNextNumber)
{
    fs::create_directory(m_Dir + "/ScreenCapture");
    char name[16];
    for (int i = 0; i < 1000; ++i) {
        snprintf(name, sizeof name, "sc%06d.bmp", i);
        qvtest::WriteFileText(m_Dir + "/ScreenCapture/" + name, "kept");
    }
    Start();
    Frame();
    Hook(WM_COMMAND, IDM_CAPTURE);
    EXPECT_NO_THROW(Frame());
    EXPECT_GT(fs::file_size(m_Dir + "/ScreenCapture/sc001000.bmp"), 54u);
    EXPECT_EQ(qvtest::ReadFileBytes(m_Dir + "/ScreenCapture/sc000999.bmp").size(), 4u);
}

namespace {

// A character whose drawing fails once, as a draw pass that throws does.
class FailsToDrawOnce : public CCharacter {
public:
    bool Update() override { return true; }
    bool Draw() override
    {
        if (m_Failed)
            return true;
        m_Failed = true;
        throw "Failed FailsToDrawOnce::Draw";
    }

private:
    bool m_Failed = false;
};

} // namespace

TEST_F(GameMainTest, ADrawPassThatThrowsCostsOneFrame)
{
    Start();
    Frame();
    new FailsToDrawOnce();
    EXPECT_EQ(FrameFailure(), "Failed FailsToDrawOnce::Draw");
    // The frames after it draw again: no scene is left begun.
    for (int i = 0; i < 3; ++i)
        EXPECT_NO_THROW(Frame()) << "frame " << i;
}

TEST_F(GameMainTest, AFailureInsideTheHookIsReportedThere)
{
    // The hook runs inside the system's message retrieval, which no exception may cross: a
    // font pair that cannot be made again after a command is reported like a frame's failure.
    Start();
    Hook(WM_COMMAND, IDM_30FPS);
    ASSERT_NE(g_FontPair.White, nullptr);
    g_FontPair.White->Font = reinterpret_cast<HFONT>(static_cast<INT_PTR>(0x7FF0)); // no font of GDI's
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(Hook(WM_COMMAND, IDM_60FPS));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("MessageBox [Error] Failed CD3DFont::DeleteFont DeleteObject[hFont]"), std::string::npos) << err;
    EXPECT_NE(err.find("MessageBox [注意]"), std::string::npos) << err;
    EXPECT_EQ(CGameConfig::GetInstance().RenderDivisor, 1);
    Frame();
}

TEST_F(GameMainTest, AltEnterSwitchesToFullScreenAndHoldsTheMenuBar)
{
    Start();
    CGameConfig& config = CGameConfig::GetInstance();
    EXPECT_EQ(Hook(WM_SYSKEYDOWN, VK_RETURN, 1 << 29), 0);
    EXPECT_FALSE(config.IsWindowed);
    EXPECT_EQ(GetMenu(m_Window), nullptr);
    EXPECT_NE(CGameMain::GetInstance().Menu, nullptr);
    // The pointer in the top strip brings the held bar back; below it, it goes again.
    Hook(WM_MOUSEMOVE, 0, MAKELPARAM(10, 2));
    EXPECT_NE(GetMenu(m_Window), nullptr);
    EXPECT_EQ(CGameMain::GetInstance().Menu, nullptr);
    Hook(WM_MOUSEMOVE, 0, MAKELPARAM(10, 200));
    EXPECT_EQ(GetMenu(m_Window), nullptr);
    Hook(WM_SYSKEYDOWN, VK_RETURN, 1 << 29);
    EXPECT_TRUE(config.IsWindowed);
    EXPECT_NE(GetMenu(m_Window), nullptr);
    EXPECT_EQ(CGameMain::GetInstance().Menu, nullptr);
}

TEST_F(GameMainTest, ACaptureAskedForJustBeforeTheWindowClosesIsWritten)
{
    // The quit scene and the window's close box both close the window.
    CaptureThenEnd(WM_CLOSE, 0);
}

TEST_F(GameMainTest, ACaptureAskedForJustBeforeTheExitCommandIsWritten)
{
    CaptureThenEnd(WM_COMMAND, IDM_EXIT);
}

TEST_F(GameMainTest, AFailedReturnToAWindowKeepsTheModeAndTheHeldMenuBar)
{
    Start();
    CGameConfig& config = CGameConfig::GetInstance();
    Hook(WM_SYSKEYDOWN, VK_RETURN, 1 << 29);
    ASSERT_FALSE(config.IsWindowed);
    const HMENU bar = CGameMain::GetInstance().Menu;
    ASSERT_NE(bar, nullptr);

    // The device refuses every windowed reset: the game stays in full screen with its bar held.
    qv::test::D3D9Faults faults;
    faults.reset = [](const D3DPRESENT_PARAMETERS& p) { return p.Windowed ? D3DERR_INVALIDCALL : D3D_OK; };
    qv::test::SetD3D9Faults(&faults);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Hook(WM_SYSKEYDOWN, VK_RETURN, 1 << 29), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("MessageBox [Error] Failed CDirectX9::ChangeScreenMode Reset"), std::string::npos) << err;
    EXPECT_FALSE(config.IsWindowed);
    EXPECT_EQ(CGameMain::GetInstance().Menu, bar);
    EXPECT_EQ(GetMenu(m_Window), nullptr);
    EXPECT_NO_THROW(Frame());
    // The top strip still shows the held bar, and moving below hides it again.
    Hook(WM_MOUSEMOVE, 0, MAKELPARAM(10, 2));
    EXPECT_EQ(GetMenu(m_Window), bar);
    Hook(WM_MOUSEMOVE, 0, MAKELPARAM(10, 200));
    EXPECT_EQ(GetMenu(m_Window), nullptr);

    // A device whose every reset fails: nothing changes either, and the frames go on.
    faults.reset = [](const D3DPRESENT_PARAMETERS&) { return D3DERR_INVALIDCALL; };
    testing::internal::CaptureStderr();
    Hook(WM_SYSKEYDOWN, VK_RETURN, 1 << 29);
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed CDirectX9::ChangeScreenMode Reset"), std::string::npos) << err;
    EXPECT_FALSE(config.IsWindowed);
    EXPECT_EQ(CGameMain::GetInstance().Menu, bar);
    EXPECT_NO_THROW(Frame());
    EXPECT_NO_THROW(Frame());

    // The next change that works puts the bar back on the window.
    qv::test::SetD3D9Faults(nullptr);
    Hook(WM_SYSKEYDOWN, VK_RETURN, 1 << 29);
    EXPECT_TRUE(config.IsWindowed);
    EXPECT_EQ(GetMenu(m_Window), bar);
    EXPECT_EQ(CGameMain::GetInstance().Menu, nullptr);
}

namespace {

LRESULT CALLBACK PlainProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

} // namespace

TEST(VersionBox, LinkLabelsGetTheirProceduresBackWhenTheBoxCloses)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QV_LINK_TEST";
    RegisterClassExA(&wc);
    for (int id : {IDOK, IDCANCEL}) {
        HWND box = CreateWindowExA(0, "QV_LINK_TEST", "box", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                   wc.hInstance, nullptr);
        HWND web = CreateWindowExA(0, "QV_LINK_TEST", "", WS_CHILD, 0, 0, 10, 10, box,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LINK_WEB)), wc.hInstance, nullptr);
        HWND mail = CreateWindowExA(0, "QV_LINK_TEST", "", WS_CHILD, 0, 20, 10, 10, box,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LINK_MAIL)), wc.hInstance, nullptr);
        ASSERT_TRUE(box && web && mail);
        EXPECT_TRUE(AboutDlgProc(box, WM_INITDIALOG, 0, 0));
        EXPECT_EQ(GetWindowLongPtrA(web, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(WebLinkProc));
        EXPECT_EQ(GetWindowLongPtrA(mail, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(MailLinkProc));
        EXPECT_FALSE(AboutDlgProc(box, WM_COMMAND, 42, 0)) << "other commands are not the box's";
        EXPECT_TRUE(AboutDlgProc(box, WM_COMMAND, static_cast<WPARAM>(id), 0));
        EXPECT_EQ(GetWindowLongPtrA(web, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(PlainProc));
        EXPECT_EQ(GetWindowLongPtrA(mail, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(PlainProc));
        DestroyWindow(box);
    }
}
