// The Ogg Vorbis reader and the WAVE stream that shows it to the DirectMusic loader.
#include <dirent.h>

#include <gtest/gtest.h>

#include "sound/CVorbisFile.h"
#include "sound/CVorbisWaveStream.h"
#include "sound/SoundFixtures.h"
#include "support/TestSupport.h"

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

int OpenFileCount()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

struct VorbisStream : ::testing::Test {
    std::string dir =
        qvtest::MakeTempDir(std::string("vorbis_") + testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string Ogg(const std::string& name, int channels, int rate, size_t frames)
    {
        std::string path = dir + "/" + name;
        EXPECT_TRUE(qvtest::WriteBytes(path, qvtest::MakeOgg(channels, rate, qvtest::Tone(channels, rate, frames, 440, 0.5))));
        return path;
    }
    CVorbisWaveStream* Load(const std::string& path)
    {
        auto* s = new CVorbisWaveStream();
        EXPECT_EQ(s->LoadA(path.c_str()), S_OK);
        return s;
    }
    static LARGE_INTEGER At(int64_t v)
    {
        LARGE_INTEGER l;
        l.QuadPart = v;
        return l;
    }
    static std::vector<uint8_t> ReadAll(IStream* s, ULONG step)
    {
        std::vector<uint8_t> out;
        std::vector<uint8_t> buf(step);
        ULONG got = 0;
        while (SUCCEEDED(s->Read(buf.data(), step, &got)) && got > 0)
            out.insert(out.end(), buf.begin(), buf.begin() + got);
        return out;
    }
};

TEST_F(VorbisStream, HeaderDescribesTheDecodedWave)
{
    CVorbisWaveStream* s = Load(Ogg("a.ogg", 2, 44100, 1000));
    uint8_t h[44];
    ULONG got = 0;
    ASSERT_EQ(s->Read(h, 44, &got), S_OK);
    ASSERT_EQ(got, 44u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h), 4), "RIFF");
    EXPECT_EQ(Le32(h + 4), 4036u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h + 8), 8), "WAVEfmt ");
    EXPECT_EQ(Le32(h + 16), 16u);
    EXPECT_EQ(Le16(h + 20), 1);
    EXPECT_EQ(Le16(h + 22), 2);
    EXPECT_EQ(Le32(h + 24), 44100u);
    EXPECT_EQ(Le32(h + 28), 176400u);
    EXPECT_EQ(Le16(h + 32), 4);
    EXPECT_EQ(Le16(h + 34), 16);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h + 36), 4), "data");
    EXPECT_EQ(Le32(h + 40), 4000u);
    s->Release();

    s = Load(Ogg("m.ogg", 1, 22050, 5000));
    ASSERT_EQ(s->Read(h, 44, &got), S_OK);
    EXPECT_EQ(Le16(h + 22), 1);
    EXPECT_EQ(Le32(h + 24), 22050u);
    EXPECT_EQ(Le16(h + 32), 2);
    EXPECT_EQ(Le32(h + 40), 10000u);
    s->Release();
}

TEST_F(VorbisStream, ReadsCrossTheHeaderBoundaryAndServeTheStraightDecode)
{
    std::string path = Ogg("b.ogg", 2, 44100, 30000);
    const std::vector<uint8_t> pcm = qvtest::DecodeOgg(path);
    ASSERT_EQ(pcm.size(), 30000u * 4);
    CVorbisWaveStream* s = Load(path);

    uint8_t buf[100];
    ULONG got = 0;
    ASSERT_EQ(s->Read(buf, 100, &got), S_OK);
    EXPECT_EQ(got, 100u);
    EXPECT_EQ(std::memcmp(buf + 44, pcm.data(), 56), 0);
    ULARGE_INTEGER pos;
    ASSERT_EQ(s->Seek(At(0), STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 100u);

    ASSERT_EQ(s->Seek(At(40), STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(s->Read(buf, 10, &got), S_OK);
    EXPECT_EQ(got, 10u);
    EXPECT_EQ(Le32(buf), 30000u * 4);
    EXPECT_EQ(std::memcmp(buf + 4, pcm.data(), 6), 0);

    // The whole stream, in odd steps, is the header and then the decode byte for byte.
    ASSERT_EQ(s->Seek(At(44), STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(ReadAll(s, 777), pcm);
    s->Release();
}

TEST_F(VorbisStream, SeeksPlaceTheDecoderBySample)
{
    std::string path = Ogg("c.ogg", 2, 44100, 20000);
    const std::vector<uint8_t> pcm = qvtest::DecodeOgg(path);
    CVorbisWaveStream* s = Load(path);
    uint8_t buf[16];
    ULONG got = 0;
    ULARGE_INTEGER pos;

    ASSERT_EQ(s->Seek(At(44 + 4 * 10), STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 84u);
    ASSERT_EQ(s->Read(buf, 16, &got), S_OK);
    EXPECT_EQ(std::memcmp(buf, pcm.data() + 40, 16), 0);

    ASSERT_EQ(s->Seek(At(-16 - 4 * 5), STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 44u + 4 * 5);
    ASSERT_EQ(s->Read(buf, 16, &got), S_OK);
    EXPECT_EQ(std::memcmp(buf, pcm.data() + 20, 16), 0);

    ASSERT_EQ(s->Seek(At(0), STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 44u + 20000 * 4);
    ASSERT_EQ(s->Read(buf, 16, &got), S_OK);
    EXPECT_EQ(got, 0u);

    ASSERT_EQ(s->Seek(At(44), STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(s->Read(buf, 16, &got), S_OK);
    EXPECT_EQ(std::memcmp(buf, pcm.data(), 16), 0);

    // A place inside a sample frame serves the bytes from there on.
    ASSERT_EQ(s->Seek(At(44 + 4 * 7 + 3), STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(s->Read(buf, 16, &got), S_OK);
    EXPECT_EQ(std::memcmp(buf, pcm.data() + 31, 16), 0);
    ASSERT_EQ(s->Seek(At(44), STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(s->Read(buf, 16, &got), S_OK);

    // Before the start is refused and leaves the position alone.
    EXPECT_NE(s->Seek(At(-1), STREAM_SEEK_SET, &pos), S_OK);
    ASSERT_EQ(s->Seek(At(0), STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 60u);
    // So is a place beyond what a 64-bit position holds.
    EXPECT_NE(s->Seek(At(INT64_MAX), STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_NE(s->Seek(At(INT64_MAX), STREAM_SEEK_END, &pos), S_OK);
    ASSERT_EQ(s->Seek(At(0), STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 60u);
    s->Release();
}

TEST_F(VorbisStream, CloneReadsOnFromTheSamePlaceWithAReaderOfItsOwn)
{
    std::string path = Ogg("d.ogg", 1, 22050, 10000);
    const std::vector<uint8_t> pcm = qvtest::DecodeOgg(path);
    CVorbisWaveStream* s = Load(path);
    ASSERT_EQ(s->Seek(At(44 + 2 * 100), STREAM_SEEK_SET, nullptr), S_OK);
    IStream* clone = nullptr;
    ASSERT_EQ(s->Clone(&clone), S_OK);
    uint8_t a[64], b[64];
    ULONG got = 0;
    ASSERT_EQ(clone->Read(a, 64, &got), S_OK);
    ASSERT_EQ(s->Read(b, 64, &got), S_OK);
    EXPECT_EQ(std::memcmp(a, pcm.data() + 200, 64), 0);
    EXPECT_EQ(std::memcmp(b, pcm.data() + 200, 64), 0);
    s->Release(); // the clone lives on without its origin
    EXPECT_EQ(ReadAll(clone, 4096), std::vector<uint8_t>(pcm.begin() + 264, pcm.end()));

    IUnknown* unknown = nullptr;
    EXPECT_EQ(clone->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(clone->Release(), 1u);
    EXPECT_EQ(unknown->Release(), 0u);
}

TEST_F(VorbisStream, StatDescribesTheWholeImageAsIStreamDocumentsIt)
{
    const std::string path = Ogg("stat.ogg", 2, 44100, 1000);
    CVorbisWaveStream* s = Load(path);
    uint8_t buf[10];
    ULONG got = 0;
    ASSERT_EQ(s->Read(buf, 10, &got), S_OK);

    STATSTG stat;
    std::memset(&stat, 0xAB, sizeof stat);
    ASSERT_EQ(s->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
    EXPECT_EQ(stat.cbSize.QuadPart, 44u + 4000u);
    EXPECT_EQ(stat.grfMode, static_cast<DWORD>(STGM_READ));
    EXPECT_EQ(stat.grfLocksSupported, 0u);
    EXPECT_TRUE(stat.clsid == CLSID_NULL);
    EXPECT_EQ(stat.mtime.dwLowDateTime, 0u);
    // The name is the path, in memory of the task allocator that the caller frees.
    ASSERT_NE(stat.pwcsName, nullptr);
    std::string name;
    for (const WCHAR* c = stat.pwcsName; *c; ++c)
        name += static_cast<char>(*c);
    EXPECT_EQ(name, path);
    CoTaskMemFree(stat.pwcsName);

    ASSERT_EQ(s->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.pwcsName, nullptr);
    EXPECT_EQ(s->Stat(&stat, 7), STG_E_INVALIDFLAG);
    EXPECT_EQ(s->Stat(nullptr, STATFLAG_NONAME), STG_E_INVALIDPOINTER);
    // Stat does not move the stream: the sample rate stands at 24.
    ASSERT_EQ(s->Read(buf, 10, &got), S_OK);
    ASSERT_EQ(s->Read(buf, 4, &got), S_OK);
    ASSERT_EQ(s->Read(buf, 4, &got), S_OK);
    EXPECT_EQ(Le32(buf), 44100u);
    s->Release();

    // Nothing open: the image is the header alone, and there is no file to clone.
    auto* empty = new CVorbisWaveStream();
    ASSERT_EQ(empty->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 44u);
    IStream* clone = reinterpret_cast<IStream*>(1);
    EXPECT_TRUE(FAILED(empty->Clone(&clone)));
    EXPECT_EQ(clone, nullptr);
    empty->Release();
}

TEST_F(VorbisStream, ReaderClosesItsFileExactlyOnce)
{
    std::string path = Ogg("e.ogg", 2, 44100, 3000);
    const int before = OpenFileCount();
    {
        CVorbisFile reader;
        ASSERT_EQ(reader.Open(path.c_str()), S_OK);
        EXPECT_EQ(OpenFileCount(), before + 1);
        EXPECT_EQ(reader.Close(), S_OK);
        EXPECT_EQ(OpenFileCount(), before);
        EXPECT_EQ(reader.Close(), S_OK); // nothing left to close
    }
    CVorbisWaveStream* s = Load(path);
    IStream* clone = nullptr;
    ASSERT_EQ(s->Clone(&clone), S_OK);
    EXPECT_EQ(OpenFileCount(), before + 2);
    s->Release();
    clone->Release();
    EXPECT_EQ(OpenFileCount(), before);

    // A file that is not Ogg Vorbis is closed by the reader that refused it.
    std::string wav = dir + "/x.ogg";
    qvtest::WriteBytes(wav, qvtest::MakeWav(1, 22050, 16, qvtest::Tone(1, 22050, 100, 440, 0.5)));
    CVorbisFile reader;
    EXPECT_EQ(reader.Open(wav.c_str()), E_FAIL);
    EXPECT_EQ(OpenFileCount(), before);
}

TEST_F(VorbisStream, BadFilesFailToOpenOrEndEarly)
{
    auto* s = new CVorbisWaveStream();
    EXPECT_EQ(s->LoadA((dir + "/missing.ogg").c_str()), E_FAIL);
    qvtest::WriteBytes(dir + "/empty.ogg", {});
    EXPECT_EQ(s->LoadA((dir + "/empty.ogg").c_str()), E_FAIL);
    EXPECT_EQ(s->LoadA(std::string(400, 'a').c_str()), E_FAIL);
    uint8_t buf[64];
    ULONG got = 0;
    EXPECT_EQ(s->Read(buf, 64, &got), E_FAIL); // header bytes, then no reader
    EXPECT_EQ(got, 44u);
    s->Release();

    // Cut off in the middle: the header still promises everything, the PCM stops short.
    auto ogg = qvtest::MakeOgg(2, 44100, qvtest::Tone(2, 44100, 44100, 440, 0.5));
    ogg.resize(ogg.size() / 2);
    qvtest::WriteBytes(dir + "/cut.ogg", ogg);
    s = new CVorbisWaveStream();
    if (SUCCEEDED(s->LoadA((dir + "/cut.ogg").c_str()))) {
        ASSERT_EQ(s->Seek(At(44), STREAM_SEEK_SET, nullptr), S_OK);
        auto pcm = ReadAll(s, 4096);
        EXPECT_LT(pcm.size(), 44100u * 4);
    }
    s->Release();
}

} // namespace
