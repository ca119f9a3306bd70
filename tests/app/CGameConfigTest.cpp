#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "app/CGameConfig.h"
#include "support/TestSupport.h"

namespace {

struct Settings {
    int divisor;
    int width;
    int height;
    bool windowed;
    bool vsync;
    bool sound;
};

void ExpectSettings(const CGameConfig& config, const Settings& expected)
{
    EXPECT_EQ(config.RenderDivisor, expected.divisor);
    EXPECT_EQ(config.Width, expected.width);
    EXPECT_EQ(config.Height, expected.height);
    EXPECT_EQ(config.IsWindowed, expected.windowed);
    EXPECT_EQ(config.IsVsyncWait, expected.vsync);
    EXPECT_EQ(config.IsSoundOn, expected.sound);
    EXPECT_FALSE(config.IsPaused);
}

const Settings kDefaults = {1, 640, 480, true, false, true};

class CGameConfigFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Dir = qvtest::MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        m_Path = m_Dir + "/Config.dat";
    }

    // Reads `contents` as the settings file, checks the settings, then checks what is written.
    void Check(const std::vector<uint8_t>& contents, const Settings& expected, const std::string& written)
    {
        qvtest::WriteFileBytes(m_Path, contents);
        CGameConfig config;
        config.Load(m_Path.c_str());
        ExpectSettings(config, expected);
        config.Save(m_Path.c_str());
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(m_Path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), written);
    }
    void Check(const std::string& contents, const Settings& expected, const std::string& written)
    {
        Check(std::vector<uint8_t>(contents.begin(), contents.end()), expected, written);
    }

    std::string m_Dir;
    std::string m_Path;
};

} // namespace

TEST(CGameConfig, DefaultsAndOneProcessWideObject)
{
    CGameConfig& config = CGameConfig::GetInstance();
    EXPECT_EQ(&config, &CGameConfig::GetInstance());
    ExpectSettings(config, kDefaults);
    EXPECT_EQ(config.Instance, nullptr);
    EXPECT_EQ(config.Window, nullptr);
}

TEST_F(CGameConfigFile, AllFourFieldsApply)
{
    Check("1 3 0 1\n", {2, 320, 240, true, true, false}, "1 3 0 1\n");
    Check("2 0 1 0\n", {4, 640, 480, false, false, true}, "2 0 1 0\n");
    Check("0 1 0 0", {1, 320, 240, false, true, true}, "0 1 0 0\n");
}

TEST_F(CGameConfigFile, OutOfRangeValuesKeepTheirDefaults)
{
    Check("7 9 5 5\n", {1, 640, 480, true, false, false}, "0 2 1 1\n");
    Check("-1 -1 -1 -1\n", {1, 640, 480, true, false, false}, "0 2 1 1\n");
    // Numbers too large for an int never wrap round into a valid setting.
    Check("99999999999999999999999 4294967296 4294967296 0\n", {1, 640, 480, true, false, true}, "0 2 1 0\n");
}

TEST_F(CGameConfigFile, ShortOrMalformedFilesKeepTheRemainingDefaults)
{
    Check("1", {2, 640, 480, true, false, true}, "1 2 1 0\n");
    Check("", kDefaults, "0 2 1 0\n");
    Check("1 x 0 1\n", {2, 640, 480, true, false, true}, "1 2 1 0\n");
    Check("2\r\n3\r\n0\r\n", {4, 320, 240, true, true, true}, "2 3 0 0\n");
    Check("  +1   3 0 1 trailing words\n", {2, 320, 240, true, true, false}, "1 3 0 1\n");
    Check("- 1 3 0 1\n", kDefaults, "0 2 1 0\n");
    Check(std::vector<uint8_t>{0xFF, 0xFE, 0x00, 0x31, 0x20, 0x33, 0x89, 0x50, 0x4E, 0x47}, kDefaults, "0 2 1 0\n");
    Check(std::vector<uint8_t>{'1', 0x00, '3', ' ', '0'}, {2, 640, 480, true, false, true}, "1 2 1 0\n");
}

TEST_F(CGameConfigFile, HugeFilesAreReadWithoutTrouble)
{
    // Eight million digits: one number far out of range, then the end of the file.
    Check(std::string(8 << 20, '7'), kDefaults, "0 2 1 0\n");
    // Eight million blanks before the fields.
    Check(std::string(8 << 20, ' ') + "1 3 0 1", {2, 320, 240, true, true, false}, "1 3 0 1\n");
}

TEST_F(CGameConfigFile, MissingFileKeepsEverySetting)
{
    CGameConfig config;
    config.RenderDivisor = 4;
    config.IsSoundOn = false;
    config.Load((m_Dir + "/missing.dat").c_str());
    EXPECT_EQ(config.RenderDivisor, 4);
    EXPECT_FALSE(config.IsSoundOn);

    CGameConfig defaults;
    defaults.Load((m_Dir + "/missing.dat").c_str());
    defaults.Save(m_Path.c_str());
    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(m_Path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0 2 1 0\n");
}

TEST_F(CGameConfigFile, UncreatableFileWritesNothing)
{
    CGameConfig config;
    const std::string path = m_Dir + "/no such folder/Config.dat";
    config.Save(path.c_str());
    EXPECT_EQ(fopen(path.c_str(), "rb"), nullptr);
}

TEST_F(CGameConfigFile, EverySettingSurvivesTheRoundTrip)
{
    const int divisors[] = {1, 2, 4};
    const int widths[] = {640, 320};
    for (int divisor : divisors)
        for (int width : widths)
            for (int windowed = 0; windowed < 2; ++windowed)
                for (int vsync = 0; vsync < 2; ++vsync)
                    for (int sound = 0; sound < 2; ++sound) {
                        CGameConfig out;
                        out.RenderDivisor = divisor;
                        out.Width = width;
                        out.Height = width == 640 ? 480 : 240;
                        out.IsWindowed = windowed != 0;
                        out.IsVsyncWait = vsync != 0;
                        out.IsSoundOn = sound != 0;
                        out.Save(m_Path.c_str());
                        CGameConfig in;
                        in.Load(m_Path.c_str());
                        ExpectSettings(in, {divisor, width, out.Height, out.IsWindowed, out.IsVsyncWait, out.IsSoundOn});
                    }
}

TEST_F(CGameConfigFile, TheDefaultNameIsConfigDatInTheWorkingDirectory)
{
    // Each test runs in a process of its own, so it may move to its own folder.
    ASSERT_EQ(chdir(m_Dir.c_str()), 0);
    qvtest::WriteFileText("Config.dat", "2 1 0 1\n");
    CGameConfig config;
    config.Load();
    ExpectSettings(config, {4, 320, 240, false, true, false});
    config.RenderDivisor = 1;
    config.Save();
    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes("Config.dat");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0 1 0 1\n");
}
