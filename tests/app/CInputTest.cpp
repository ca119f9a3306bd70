#include <gtest/gtest.h>

#include <string>

#include "app/CDebugStream.h"
#include "app/CInput.h"
#include "platform/win32/KeyboardState.h"
#include "platform/win32/TestHooks.h"

namespace {

// Every test reads only the devices it injects.
class CInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qv::test::UseFakeJoysticksOnly(true);
        qv::test::ClearKeys();
        g_Input.JoyCaps1 = JOYCAPSA();
        g_Input.IsJoyCaps1Read = false;
        g_Input.GetStatus();
    }
    void TearDown() override
    {
        qv::test::SetFakeJoystick(JOYSTICKID1, nullptr);
        qv::test::SetFakeJoystick(JOYSTICKID2, nullptr);
        qv::test::SetKeyboardStateFails(false);
    }

    static void Press(int key) { qv::test::SetKeyDown(key, true); }
    static void Release(int key) { qv::test::SetKeyDown(key, false); }
};

std::string ConstructionReport()
{
    ::testing::internal::CaptureStderr();
    CInput input;
    return ::testing::internal::GetCapturedStderr();
}

} // namespace

TEST(CDebugStream, WritesEachStatementToTheDebugger)
{
    ::testing::internal::CaptureStderr();
    CDebugStream() << "Connected Joystick:: No.1 = " << -1 << " " << 65535u << "\n";
    CDebugStream() << "";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Connected Joystick:: No.1 = -1 65535\n");
}

TEST(CInputConstruction, ReportsNoJoysticks)
{
    qv::test::UseFakeJoysticksOnly(true);
    EXPECT_EQ(ConstructionReport(), "Supported Joystick Number:: 16\n"
                                    "Connected Joystick:: No.1 = 167: No.2 = 167\n"
                                    "### Input Initialized ###\n\n");
}

TEST(CInputConstruction, ReportsTheCapabilitiesOfJoysticksThatAnswer)
{
    qv::test::UseFakeJoysticksOnly(true);
    qv::test::FakeJoystick first;
    first.xMin = 10;
    first.xMax = 1000;
    first.yMin = 20;
    first.yMax = 2000;
    first.zMin = 30;
    first.zMax = 3000;
    first.numButtons = 12;
    qv::test::SetFakeJoystick(JOYSTICKID1, &first);
    qv::test::FakeJoystick second;
    qv::test::SetFakeJoystick(JOYSTICKID2, &second);

    ::testing::internal::CaptureStderr();
    CInput input;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Supported Joystick Number:: 16\n"
              "Connected Joystick:: No.1 = 0: No.2 = 0\n"
              "Joystick No.1:: Xmin = 10 Xmax = 1000 Ymin = 20 Ymax = 2000 Zmin = 30 Zmax = 3000 NumButtons = 12\n"
              "Joystick No.2:: Xmin = 0 Xmax = 65535 Ymin = 0 Ymax = 65535 Zmin = 0 Zmax = 65535 NumButtons = 4\n"
              "### Input Initialized ###\n\n");
    EXPECT_EQ(input.JoyCaps1.wXmax, 1000u);
    EXPECT_EQ(input.JoyCaps2.wYmax, 65535u);
    for (int i = 0; i < INPUT_BUTTON_NUM; ++i) {
        EXPECT_FALSE(input.IsPressed(i));
        EXPECT_FALSE(input.IsTriggered(i));
    }

    // Only the second answering: the first's capabilities stay zero.
    qv::test::SetFakeJoystick(JOYSTICKID1, nullptr);
    ::testing::internal::CaptureStderr();
    CInput onlySecond;
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("Connected Joystick:: No.1 = 167: No.2 = 0\nJoystick No.2:: Xmin = 0"), std::string::npos)
        << report;
    EXPECT_EQ(report.find("Joystick No.1::"), std::string::npos);
    EXPECT_EQ(onlySecond.JoyCaps1.wXmax, 0u);
}

TEST_F(CInputTest, KeysMapToTheirButtons)
{
    const int keys[INPUT_BUTTON_NUM] = {VK_RIGHT, VK_LEFT, VK_UP, VK_DOWN, 'Z', 'X', 'C', 'V', VK_F1, VK_F2, VK_F3,
                                        VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F10, VK_F11, VK_F12, VK_ESCAPE};
    for (int button = 0; button < INPUT_BUTTON_NUM; ++button) {
        qv::test::ClearKeys();
        Press(keys[button]);
        g_Input.GetStatus();
        for (int other = 0; other < INPUT_BUTTON_NUM; ++other)
            EXPECT_EQ(g_Input.IsPressed(other), other == button) << "key " << keys[button] << " button " << other;
    }
    // Keys outside the table press nothing.
    qv::test::ClearKeys();
    Press('A');
    Press(VK_SPACE);
    Press(VK_RETURN);
    g_Input.GetStatus();
    for (int button = 0; button < INPUT_BUTTON_NUM; ++button)
        EXPECT_FALSE(g_Input.IsPressed(button));
    EXPECT_FALSE(g_Input.IsPressed(-1));
    EXPECT_FALSE(g_Input.IsPressed(INPUT_BUTTON_NUM));
    EXPECT_FALSE(g_Input.IsTriggered(INPUT_BUTTON_NUM));
}

TEST_F(CInputTest, KeypadDoublesTheArrowsAndTriggersOnlyOnTheFirstFrame)
{
    Press(VK_RIGHT);
    Press(VK_NUMPAD6);
    g_Input.GetStatus();
    EXPECT_TRUE(g_Input.IsPressed(INPUT_RIGHT));
    EXPECT_TRUE(g_Input.IsTriggered(INPUT_RIGHT));
    Release(VK_RIGHT);
    g_Input.GetStatus();
    EXPECT_TRUE(g_Input.IsPressed(INPUT_RIGHT));
    EXPECT_FALSE(g_Input.IsTriggered(INPUT_RIGHT));
    EXPECT_TRUE(g_PrevPressed[INPUT_RIGHT]);
    Release(VK_NUMPAD6);
    g_Input.GetStatus();
    EXPECT_FALSE(g_Input.IsPressed(INPUT_RIGHT));

    const int keypad[4] = {VK_NUMPAD6, VK_NUMPAD4, VK_NUMPAD8, VK_NUMPAD2};
    for (int button = 0; button < 4; ++button) {
        qv::test::ClearKeys();
        Press(keypad[button]);
        g_Input.GetStatus();
        for (int other = 0; other < INPUT_BUTTON_NUM; ++other)
            EXPECT_EQ(g_Input.IsPressed(other), other == button);
        EXPECT_TRUE(g_Input.IsTriggered(button));
    }
}

TEST_F(CInputTest, DirectionsOfTheArrowButtons)
{
    struct Case {
        int keys[2];
        int direction;
    };
    const Case cases[] = {
        {{VK_UP, 0}, 0},       {{VK_UP, VK_RIGHT}, 1},  {{VK_RIGHT, 0}, 2},     {{VK_DOWN, VK_RIGHT}, 3},
        {{VK_DOWN, 0}, 4},     {{VK_DOWN, VK_LEFT}, 5}, {{VK_LEFT, 0}, 6},      {{VK_UP, VK_LEFT}, 7},
        {{VK_UP, VK_DOWN}, 9}, {{VK_LEFT, VK_RIGHT}, 9}, {{0, 0}, 9},
    };
    for (const Case& c : cases) {
        qv::test::ClearKeys();
        for (int key : c.keys)
            if (key)
                Press(key);
        g_Input.GetStatus();
        EXPECT_EQ(g_Input.GetDirection(), c.direction);
        const bool any = c.keys[0] != 0;
        for (unsigned int d = 0; d < 8; ++d)
            EXPECT_EQ(g_Input.IsDirection(d), static_cast<int>(d) == c.direction) << "direction " << d;
        EXPECT_EQ(g_Input.IsDirection(8), any);
        EXPECT_FALSE(g_Input.IsDirection(9));
        EXPECT_FALSE(g_Input.IsDirection(0xFFFFFFFFu));
    }
    // Three arrows hold an opposite pair.
    qv::test::ClearKeys();
    Press(VK_UP);
    Press(VK_DOWN);
    Press(VK_LEFT);
    g_Input.GetStatus();
    EXPECT_EQ(g_Input.GetDirection(), 9);

    // The directions are those of g_Input, whichever object is asked.
    CInput other;
    EXPECT_EQ(other.GetDirection(), 9);
    EXPECT_TRUE(other.IsDirection(8));
}

TEST_F(CInputTest, JoystickThresholdsAreFractionsOfTheSpanAlone)
{
    qv::test::FakeJoystick stick;
    stick.xMin = 1000;
    stick.xMax = 11000; // span 10000: thresholds 4000 and 6000, not 5000 and 7000
    stick.yMin = 1000;
    stick.yMax = 11000;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    ::testing::internal::CaptureStderr();
    CInput input;
    ::testing::internal::GetCapturedStderr();

    struct Case {
        DWORD x, y;
        bool right, left, up, down;
    };
    const Case cases[] = {
        {5000, 5000, false, false, false, false}, {6500, 5000, true, false, false, false},
        {4500, 5000, false, false, false, false}, {3999, 5000, false, true, false, false},
        {6000, 6001, false, false, false, true},  {5000, 3999, false, false, true, false},
        {4000, 4000, false, false, false, false},
    };
    for (const Case& c : cases) {
        stick.x = c.x;
        stick.y = c.y;
        qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
        input.GetStatus();
        EXPECT_EQ(input.IsPressed(INPUT_RIGHT), c.right) << c.x << "," << c.y;
        EXPECT_EQ(input.IsPressed(INPUT_LEFT), c.left) << c.x << "," << c.y;
        EXPECT_EQ(input.IsPressed(INPUT_UP), c.up) << c.x << "," << c.y;
        EXPECT_EQ(input.IsPressed(INPUT_DOWN), c.down) << c.x << "," << c.y;
    }
}

TEST_F(CInputTest, JoystickButtonsOneToFourPressButtonsFourToSeven)
{
    qv::test::FakeJoystick stick;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    ::testing::internal::CaptureStderr();
    CInput input;
    ::testing::internal::GetCapturedStderr();
    for (int bit = 0; bit < 6; ++bit) {
        stick.buttons = 1u << bit;
        qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
        input.GetStatus();
        for (int button = 0; button < INPUT_BUTTON_NUM; ++button)
            EXPECT_EQ(input.IsPressed(button), bit < 4 && button == INPUT_Z + bit) << "bit " << bit;
    }
    // Keyboard and joystick together: either source holds the button.
    stick.buttons = JOY_BUTTON3;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    Press('C');
    input.GetStatus();
    EXPECT_TRUE(input.IsPressed(INPUT_C));
    stick.buttons = 0;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    input.GetStatus();
    EXPECT_TRUE(input.IsPressed(INPUT_C));
    EXPECT_FALSE(input.IsTriggered(INPUT_C));
}

TEST_F(CInputTest, APadPluggedInAfterTheStartIsReadWhenItFirstAnswers)
{
    // No joystick at the start.
    ::testing::internal::CaptureStderr();
    CInput input;
    ::testing::internal::GetCapturedStderr();
    input.GetStatus();

    // A centred pad plugged in later presses nothing, and is reported when it first answers.
    qv::test::FakeJoystick stick;
    stick.xMax = 1000;
    stick.yMax = 2000;
    stick.x = 500;
    stick.y = 1000;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    ::testing::internal::CaptureStderr();
    input.GetStatus();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Joystick No.1:: Xmin = 0 Xmax = 1000 Ymin = 0 Ymax = 2000 Zmin = 0 Zmax = 65535 NumButtons = 4\n");
    for (int button = 0; button < INPUT_BUTTON_NUM; ++button)
        EXPECT_FALSE(input.IsPressed(button)) << "button " << button;
    EXPECT_EQ(input.JoyCaps1.wXmax, 1000u);

    // Its span is its own: 700 of 1000 is right, 1100 of 2000 is neither up nor down.
    stick.x = 700;
    stick.y = 1100;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    ::testing::internal::CaptureStderr();
    input.GetStatus();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "reported once";
    EXPECT_TRUE(input.IsPressed(INPUT_RIGHT));
    EXPECT_FALSE(input.IsPressed(INPUT_DOWN));

    // A pad that comes and goes every frame leaves no direction held once it is gone.
    for (int frame = 0; frame < 6; ++frame) {
        stick.plugged = frame % 2 == 0;
        qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
        input.GetStatus();
        EXPECT_EQ(input.IsPressed(INPUT_RIGHT), stick.plugged) << "frame " << frame;
        EXPECT_FALSE(input.IsPressed(INPUT_LEFT) || input.IsPressed(INPUT_UP) || input.IsPressed(INPUT_DOWN));
    }
}

TEST_F(CInputTest, AnAxisWithASpanOfZeroPressesNoDirection)
{
    // A pad whose capabilities give no span reads as centred on that axis, wherever it is.
    qv::test::FakeJoystick stick;
    stick.xMax = 0;
    stick.yMax = 0;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    ::testing::internal::CaptureStderr();
    CInput input;
    ::testing::internal::GetCapturedStderr();
    for (DWORD position : {0u, 1u, 40000u}) {
        stick.x = position;
        stick.y = position;
        qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
        ::testing::internal::CaptureStderr();
        input.GetStatus();
        ::testing::internal::GetCapturedStderr();
        for (int button = INPUT_RIGHT; button <= INPUT_DOWN; ++button)
            EXPECT_FALSE(input.IsPressed(button)) << "button " << button << " at " << position;
    }
}

TEST_F(CInputTest, DevicesThatDisappearAreIgnoredInThatReading)
{
    qv::test::FakeJoystick stick;
    stick.x = 65535;
    stick.buttons = JOY_BUTTON1;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    ::testing::internal::CaptureStderr();
    CInput input;
    ::testing::internal::GetCapturedStderr();
    Press(VK_ESCAPE);
    input.GetStatus();
    EXPECT_TRUE(input.IsPressed(INPUT_RIGHT));
    EXPECT_TRUE(input.IsPressed(INPUT_Z));

    // Unplugged: the joystick adds nothing; the keyboard is still read.
    stick.plugged = false;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    input.GetStatus();
    EXPECT_FALSE(input.IsPressed(INPUT_RIGHT));
    EXPECT_FALSE(input.IsPressed(INPUT_Z));
    EXPECT_TRUE(input.IsPressed(INPUT_ESCAPE));

    // Plugged in again: it answers again, and its held button counts as a fresh press.
    stick.plugged = true;
    qv::test::SetFakeJoystick(JOYSTICKID1, &stick);
    input.GetStatus();
    EXPECT_TRUE(input.IsTriggered(INPUT_Z));

    // The keyboard lost (the window lost the focus): every key reads up.
    qv::ReleaseAllKeys();
    input.GetStatus();
    EXPECT_FALSE(input.IsPressed(INPUT_ESCAPE));
    EXPECT_TRUE(input.IsPressed(INPUT_Z));
}

TEST_F(CInputTest, KeyboardFailureThrowsAndKeepsTheFlags)
{
    Press(VK_UP);
    g_Input.GetStatus();
    Release(VK_UP);
    Press(VK_DOWN);
    qv::test::SetKeyboardStateFails(true);
    const char* error = nullptr;
    try {
        g_Input.GetStatus();
    } catch (const char* e) {
        error = e;
    }
    EXPECT_STREQ(error, "Failed CInput::GetStatus GetKeyboardState");
    EXPECT_TRUE(g_Input.IsPressed(INPUT_UP));
    EXPECT_TRUE(g_Input.IsTriggered(INPUT_UP));
    EXPECT_FALSE(g_Input.IsPressed(INPUT_DOWN));
    EXPECT_FALSE(g_PrevPressed[INPUT_UP]);

    qv::test::SetKeyboardStateFails(false);
    g_Input.GetStatus();
    EXPECT_TRUE(g_Input.IsTriggered(INPUT_DOWN));
    EXPECT_TRUE(g_PrevPressed[INPUT_UP]);
}
