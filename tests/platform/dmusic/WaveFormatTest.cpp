// Reading RIFF WAVE images: the formats the loader plays, and files that lie or break off.
#include "platform/dmusic/WaveFormat.h"

#include <gtest/gtest.h>

#include "platform/dmusic/DMusic.h"
#include "sound/SoundFixtures.h"

using qv::dm::MemoryByteSource;
using qv::dm::ParseWave;
using qv::dm::WaveLayout;

namespace {

HRESULT Parse(const std::vector<uint8_t>& bytes, WaveLayout& layout)
{
    MemoryByteSource source(bytes.data(), bytes.size());
    return ParseWave(source, layout);
}

TEST(WaveFormat, CommonFormatsGiveTheirLayout)
{
    struct Case { int channels, rate, bits; };
    for (Case c : {Case{1, 22050, 8}, Case{2, 44100, 16}, Case{1, 11025, 16}, Case{2, 48000, 8}}) {
        auto wav = qvtest::MakeWav(c.channels, c.rate, c.bits, qvtest::Tone(c.channels, c.rate, 100, 440, 0.5));
        WaveLayout layout;
        ASSERT_EQ(Parse(wav, layout), S_OK);
        EXPECT_EQ(layout.format.channels, c.channels);
        EXPECT_EQ(layout.format.rate, c.rate);
        EXPECT_EQ(layout.format.bits, c.bits);
        EXPECT_EQ(layout.dataOffset, 44u);
        EXPECT_EQ(layout.dataBytes, 100u * c.channels * c.bits / 8);
    }
}

TEST(WaveFormat, ChunksBeforeAndBetweenAreSkippedWithTheirPadding)
{
    auto wav = qvtest::MakeWav(1, 22050, 16, qvtest::Tone(1, 22050, 10, 440, 0.5));
    // An odd-sized LIST chunk before "fmt " takes a pad byte.
    std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    wav.insert(wav.begin() + 12, list.begin(), list.end());
    WaveLayout layout;
    ASSERT_EQ(Parse(wav, layout), S_OK);
    EXPECT_EQ(layout.dataOffset, 44u + list.size());
    EXPECT_EQ(layout.dataBytes, 20u);
}

TEST(WaveFormat, ContentThatIsNotAWaveIsUnsupported)
{
    WaveLayout layout;
    EXPECT_EQ(Parse({}, layout), DMUS_E_UNSUPPORTED_STREAM);
    EXPECT_EQ(Parse({'R', 'I', 'F', 'F', 4, 0, 0, 0}, layout), DMUS_E_UNSUPPORTED_STREAM);
    std::vector<uint8_t> midi = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    EXPECT_EQ(Parse(midi, layout), DMUS_E_UNSUPPORTED_STREAM);
    auto ogg = qvtest::MakeOgg(1, 22050, qvtest::Tone(1, 22050, 2000, 440, 0.5));
    EXPECT_EQ(Parse(ogg, layout), DMUS_E_UNSUPPORTED_STREAM);
}

TEST(WaveFormat, BrokenWavesAreInvalidFiles)
{
    const auto good = qvtest::MakeWav(2, 44100, 16, qvtest::Tone(2, 44100, 50, 440, 0.5));
    WaveLayout layout;
    auto cut = good;
    cut.resize(30); // inside the format chunk
    EXPECT_EQ(Parse(cut, layout), DMUS_E_INVALIDFILE);
    cut.resize(44); // header only: no samples
    cut.assign(good.begin(), good.begin() + 44);
    EXPECT_EQ(Parse(cut, layout), DMUS_E_INVALIDFILE);

    auto bad = good;
    bad[22] = 6; // six channels
    EXPECT_EQ(Parse(bad, layout), DMUS_E_INVALIDFILE);
    bad = good;
    bad[20] = 2; // ADPCM
    EXPECT_EQ(Parse(bad, layout), DMUS_E_INVALIDFILE);
    bad = good;
    bad[32] = 3; // block align that does not match
    EXPECT_EQ(Parse(bad, layout), DMUS_E_INVALIDFILE);
    bad = good;
    bad[16] = 8; // format chunk too short
    EXPECT_EQ(Parse(bad, layout), DMUS_E_INVALIDFILE);
    bad = good;
    bad[36] = 'x'; // no data chunk
    EXPECT_EQ(Parse(bad, layout), DMUS_E_INVALIDFILE);
}

TEST(WaveFormat, SizesThatLieAreCutToWhatIsThere)
{
    auto wav = qvtest::MakeWav(2, 44100, 16, qvtest::Tone(2, 44100, 50, 440, 0.5));
    // The data chunk claims far more than the file holds, and the file ends mid-frame.
    wav[40] = 0xFF;
    wav[41] = 0xFF;
    wav[42] = 0xFF;
    wav[43] = 0x7F;
    wav.resize(wav.size() - 3);
    WaveLayout layout;
    ASSERT_EQ(Parse(wav, layout), S_OK);
    EXPECT_EQ(layout.dataBytes, 49u * 4);
}

} // namespace
