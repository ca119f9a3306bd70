// The texture cache: one load per path, counted handles, byte-exact paths and the failure
// text for files that are missing or broken.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "RenderTestDevice.h"
#include "render/CD3DSafeTexture.h"
#include "render/CDirectX9.h"
#include "support/FontFixture.h"

namespace {

const char* const kShadow = ".\\data\\graphics\\OpeningShadow.tga";

class CD3DSafeTextureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(rendertest::EnterTempDir("CD3DSafeTexture").empty());
        mkdir("data", 0755);
        mkdir("data/graphics", 0755);
        WriteShadow();
        std::string error;
        ASSERT_TRUE(rendertest::OpenDevice(64, 64, &error)) << error;
    }
    void TearDown() override { rendertest::CloseDevice(); }

    static void WriteShadow()
    {
        std::vector<uint8_t> rgba(8 * 8 * 4, 128);
        qvtest::WriteFileBytes("data/graphics/OpeningShadow.tga", qvtest::MakeTga(8, 8, rgba));
    }

    static std::string LoadFailure(CD3DSafeTexture& handle, const char* path)
    {
        try {
            handle.CreateTexture(path);
        } catch (const char* text) {
            return text;
        }
        return std::string();
    }
};

} // namespace

TEST_F(CD3DSafeTextureTest, TwoHandlesShareOneLoadUntilTheLastRelease)
{
    std::vector<SafeTextureEntry*>& list = CD3DSafeTexture::EntryList();
    const size_t before = list.size();
    CD3DSafeTexture first, second;
    first.CreateTexture(kShadow);
    second.CreateTexture(kShadow);
    ASSERT_NE(nullptr, first.Entry);
    EXPECT_EQ(first.Entry, second.Entry);
    EXPECT_EQ(2u, first.Entry->RefCount);
    EXPECT_NE(nullptr, first.Entry->Texture);
    EXPECT_STREQ(kShadow, first.Entry->Path);
    EXPECT_EQ(before + 1, list.size());

    // With the file gone, the texture lives on while a handle holds it...
    ASSERT_EQ(0, std::remove("data/graphics/OpeningShadow.tga"));
    SafeTextureEntry* entry = second.Entry;
    first.Release();
    EXPECT_EQ(nullptr, first.Entry);
    EXPECT_EQ(1u, entry->RefCount);
    EXPECT_NE(nullptr, entry->Texture);
    EXPECT_EQ(before + 1, list.size());
    // ...and the last release destroys it, so the next load reads the file again.
    second.Release();
    EXPECT_EQ(before, list.size());
    CD3DSafeTexture third;
    EXPECT_EQ(std::string("Failed CD3DSafeTexture::CreateTexture D3DXCreateTextureFromFile[") + kShadow + "]",
              LoadFailure(third, kShadow));
    third.Release();
    WriteShadow();
    third.CreateTexture(kShadow);
    EXPECT_EQ(1u, third.Entry->RefCount);
    third.Release();
    EXPECT_EQ(before, list.size());
}

TEST_F(CD3DSafeTextureTest, PathsAreComparedByteForByte)
{
    CD3DSafeTexture a, b, c;
    a.CreateTexture(kShadow);
    b.CreateTexture("./data/graphics/OpeningShadow.tga");
    EXPECT_NE(a.Entry, b.Entry);
    // Another letter case is another entry too, whether or not the file system finds it.
    LoadFailure(c, ".\\data\\graphics\\openingshadow.tga");
    EXPECT_NE(a.Entry, c.Entry);
    EXPECT_EQ(1u, a.Entry->RefCount);
    c.Release();
    b.Release();
    a.Release();
}

TEST_F(CD3DSafeTextureTest, MissingAndBrokenFilesThrowTheirPath)
{
    const size_t before = CD3DSafeTexture::EntryList().size();
    CD3DSafeTexture missing;
    EXPECT_EQ("Failed CD3DSafeTexture::CreateTexture D3DXCreateTextureFromFile[.\\data\\graphics\\none.tga]",
              LoadFailure(missing, ".\\data\\graphics\\none.tga"));
    // The handle holds an entry that is in no list; its release frees it.
    ASSERT_NE(nullptr, missing.Entry);
    EXPECT_EQ(nullptr, missing.Entry->Texture);
    EXPECT_EQ(before, CD3DSafeTexture::EntryList().size());
    missing.Release();
    EXPECT_EQ(nullptr, missing.Entry);

    // A header that promises more pixels than the file holds, a file of noise, an empty one.
    std::vector<uint8_t> tga = qvtest::MakeTga(64, 64, std::vector<uint8_t>(64 * 64 * 4, 200));
    tga.resize(18 + 100);
    qvtest::WriteFileBytes("data/graphics/short.tga", tga);
    qvtest::WriteFileBytes("data/graphics/noise.tga", std::vector<uint8_t>(300, 0xA5));
    qvtest::WriteFileBytes("data/graphics/empty.tga", {});
    for (const char* path :
         {".\\data\\graphics\\short.tga", ".\\data\\graphics\\noise.tga", ".\\data\\graphics\\empty.tga"}) {
        CD3DSafeTexture broken;
        EXPECT_EQ(std::string("Failed CD3DSafeTexture::CreateTexture D3DXCreateTextureFromFile[") + path + "]",
                  LoadFailure(broken, path));
        broken.Release();
    }
    EXPECT_EQ(before, CD3DSafeTexture::EntryList().size());
}

TEST_F(CD3DSafeTextureTest, ReleasingAnEmptyHandleOrTwiceIsHarmless)
{
    CD3DSafeTexture empty;
    empty.Release();
    CD3DSafeTexture a, b;
    a.CreateTexture(kShadow);
    b.CreateTexture(kShadow);
    a.Release();
    a.Release(); // must not take b's reference
    EXPECT_EQ(1u, b.Entry->RefCount);
    b.Release();
}
