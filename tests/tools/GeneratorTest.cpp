// The generator as the build runs it: the whole tree, the same bytes every time, and no tree
// at all when something it needs is missing.
#include "tools/DataFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using namespace qvtest;

namespace {

std::string Generate(const std::string& target, const std::string& environment = "")
{
    std::string output;
    const int status = RunCommand(environment + " \"" QV_DATAGEN "\" \"" + target + "\"", output);
    return std::to_string(status) + "\n" + output;
}

} // namespace

TEST(DataGenerator, WritesEveryFileThatTheGameOpens)
{
    const char* files[] = {"graphics/font.tga", "graphics/vannet.tga", "graphics/title.tga", "graphics/OpeningShadow.tga",
        "graphics/OpeningSmoke.tga", "graphics/Stage01Message00.tga", "graphics/Stage01Message01.tga", "graphics/Stage01Message02.tga",
        "sound/pause.wav", "sound/voice.wav", "sound/footsteps.wav", "sound/start.wav", "sound/break.wav", "sound/walkQuillabet.wav",
        "sound/walk.wav", "sound/vannet.ogg", "sound/noize.ogg", "sound/opening.ogg", "sound/title.ogg", "sound/stage01.ogg",
        "stage/Stage1Map.dat", "stage/OpeningGroundHeight.dat", "shader/shadowvolume.fx"};
    for (const char* f : files)
        EXPECT_TRUE(fs::is_regular_file(DataDir() + "/" + f)) << f;
    for (int i = 1; i <= 24; ++i)
        EXPECT_TRUE(fs::is_regular_file(DataDir() + "/xfile/map/b_" + std::to_string(i) + ".bmp")) << i;
}

TEST(DataGenerator, TwoRunsGiveTheSameBytes)
{
    const std::string dir = MakeTempDir("datagen_twice");
    const std::string a = dir + "/a/data", b = dir + "/b/data";
    ASSERT_EQ(Generate(a).substr(0, 2), "0\n");
    ASSERT_EQ(Generate(b).substr(0, 2), "0\n");
    const auto filesA = ListFiles(a), filesB = ListFiles(b), filesBuild = ListFiles(DataDir());
    ASSERT_EQ(filesA, filesB);
    EXPECT_EQ(filesA, filesBuild);
    for (const std::string& f : filesA) {
        EXPECT_TRUE(ReadFileBytes(a + "/" + f) == ReadFileBytes(b + "/" + f)) << f << " differs between two runs";
        EXPECT_TRUE(ReadFileBytes(a + "/" + f) == ReadFileBytes(DataDir() + "/" + f)) << f << " differs from the build's tree";
    }
}

TEST(DataGenerator, TheTreeHoldsTheFilesAndBytesCommittedByHand)
{
    // The checks above compare the generator with itself; these compare it with a list
    // written down once and reviewed: the files, their sizes, and the checksums of those
    // whose bytes come from the generator alone.
    std::map<std::string, CommittedFile> actual;
    for (const std::string& f : ListFiles(DataDir())) {
        const std::vector<uint8_t> bytes = ReadFileBytes(DataDir() + "/" + f);
        const bool host = HostDependent(f);
        actual[f] = {host ? "-" : Checksum(bytes), host && f.find(".ogg") != std::string::npos ? "-" : std::to_string(bytes.size())};
    }
    if (std::getenv("QV_UPDATE_REFERENCES")) {
        WriteCommittedTree(actual);
        GTEST_SKIP() << "rewrote the list of the data tree's files";
    }
    const std::map<std::string, CommittedFile> committed = CommittedTree();
    ASSERT_EQ(committed.size(), 597u) << "the committed list is missing or short";
    EXPECT_EQ(actual.size(), committed.size());
    for (const auto& [path, want] : committed) {
        auto got = actual.find(path);
        if (got == actual.end()) {
            ADD_FAILURE() << path << " is missing";
            continue;
        }
        EXPECT_EQ(got->second.size, want.size) << path;
        EXPECT_EQ(got->second.checksum, want.checksum) << path << " has other bytes than the committed ones";
    }
    for (const auto& [path, file] : actual)
        EXPECT_TRUE(committed.count(path)) << path << " is not in the committed list";

    // Counts by kind: 8 textures, 12 sounds and music, 2 stage files, the effect, the 12
    // models and 5 textures of the people and scenes; and the city: 8 buildings each with 64
    // broken pieces and a road, 24 facades, and the ground with its camera and 3 textures.
    std::map<std::string, int> folders;
    for (const auto& [path, file] : committed)
        ++folders[path.substr(0, path.rfind('/'))];
    EXPECT_EQ(folders, (std::map<std::string, int>{{"graphics", 8}, {"sound", 12}, {"stage", 2}, {"shader", 1},
                                                   {"xfile", 17}, {"xfile/map", 8 * 66 + 24 + 5}}));
    // What the host's libraries make is still bounded: each piece of music is an Ogg stream
    // of a sensible size.
    for (const auto& [path, file] : actual)
        if (path.find(".ogg") != std::string::npos) {
            const std::vector<uint8_t> bytes = ReadFileBytes(DataDir() + "/" + path);
            ASSERT_GT(bytes.size(), 4u) << path;
            EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "OggS") << path;
            EXPECT_GT(bytes.size(), 20000u) << path;
            EXPECT_LT(bytes.size(), 2000000u) << path;
        }
}

TEST(DataGenerator, ReplacesAnOldTreeWhole)
{
    const std::string dir = MakeTempDir("datagen_replace");
    const std::string target = dir + "/data";
    fs::create_directories(target + "/graphics");
    WriteFileText(target + "/graphics/stale.tga", "old");
    WriteFileText(target + "/stage/Stage1Map.dat", "");
    ASSERT_EQ(Generate(target).substr(0, 2), "0\n");
    EXPECT_FALSE(fs::exists(target + "/graphics/stale.tga"));
    EXPECT_GT(fs::file_size(target + "/stage/Stage1Map.dat"), 1000u);
    // Nothing of the work folders is left beside the tree.
    EXPECT_EQ(ListFiles(dir).size(), ListFiles(target).size());
}

TEST(DataGenerator, MissingFontFailsClearlyAndWritesNoTree)
{
    const std::string dir = MakeTempDir("datagen_nofont");
    // A fontconfig setup that knows no fonts at all.
    WriteFileText(dir + "/fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" + dir + "/cache</cachedir></fontconfig>\n");
    const std::string target = dir + "/out/data";
    const std::string result = Generate(target, "FONTCONFIG_FILE=\"" + dir + "/fonts.conf\"");
    EXPECT_NE(result.substr(0, 2), "0\n") << result;
    EXPECT_NE(result.find("install the Debian package fonts-"), std::string::npos) << result;
    EXPECT_NE(result.find("the data tree was not written"), std::string::npos) << result;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(!fs::exists(dir + "/out") || fs::is_empty(dir + "/out"));
}

TEST(DataGenerator, FailsWhenTheTargetCannotBeWritten)
{
    std::string output;
    // A path below a regular file can never be a folder.
    const std::string dir = MakeTempDir("datagen_badtarget");
    WriteFileText(dir + "/file", "x");
    const std::string result = Generate(dir + "/file/data");
    EXPECT_NE(result.substr(0, 2), "0\n") << result;
    EXPECT_NE(result.find("qv_datagen:"), std::string::npos) << result;
}
