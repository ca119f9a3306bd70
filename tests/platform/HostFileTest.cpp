#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/TestSupport.h"

TEST(HostFile, WindowsPathsOpenHostFiles)
{
    EXPECT_EQ(QvHostPath(".\\data\\sound\\pause.wav"), "./data/sound/pause.wav");
    EXPECT_EQ(QvHostPath("Config.dat"), "Config.dat");

    const std::string dir = qvtest::MakeTempDir("HostFile");
    qvtest::WriteFileText(dir + "/a.txt", "1 2 3 4\n");
    const std::string windowsPath = [&] {
        std::string p = dir + "/a.txt";
        for (char& c : p)
            if (c == '/')
                c = '\\';
        return p;
    }();
    FILE* f = fopen(windowsPath.c_str(), "rt");
    ASSERT_NE(f, nullptr);
    int a = 0, b = 0, c = 0, d = 0;
    EXPECT_EQ(fscanf(f, "%d %d %d %d\n", &a, &b, &c, &d), 4);
    fclose(f);
    EXPECT_EQ(fopen(nullptr, "rt"), nullptr);
}
