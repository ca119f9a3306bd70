// The sound front end: channels, streams and their failures, on the silent device that keeps
// real time and on the loopback device where what is heard can be read back.
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "platform/dmusic/DMusicTestHooks.h"
#include "platform/win32/TestHooks.h"
#include "sound/Sound.h"
#include "sound/SoundFixtures.h"
#include "support/TestSupport.h"

namespace {

constexpr int kRate = 44100;

double Rms(const std::vector<float>& stereo, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(stereo[i * 2]) * stereo[i * 2];
    return std::sqrt(sum / double(to - from));
}

struct FrontEnd : ::testing::Test {
    void SetUp() override
    {
        std::filesystem::current_path(
            qvtest::MakeTempDir(std::string("sound_") + testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories("data/sound");
        Wav("long.wav", 2 * kRate);
        Wav("tiny.wav", 10);
        qvtest::WriteBytes("data/sound/music.ogg",
                           qvtest::MakeOgg(2, kRate, qvtest::Tone(2, kRate, kRate / 2, 330, 0.4)));
    }
    void TearDown() override
    {
        SoundRelease();
        g_bSoundAvailable = true;
        qv::test::UseLoopbackAudio(false);
        qv::test::UseSilentAudio(false);
        qv::test::SetFakeClock(nullptr);
    }
    static void Wav(const std::string& name, size_t frames, double amplitude = 0.5)
    {
        qvtest::WriteBytes("data/sound/" + name,
                           qvtest::MakeWav(1, kRate, 16, qvtest::Tone(1, kRate, frames, 440, amplitude)));
    }
    static void Init(bool loopback)
    {
        if (loopback)
            qv::test::UseLoopbackAudio(true, kRate);
        else
            qv::test::UseSilentAudio(true);
        SoundInit(NULL);
        ASSERT_TRUE(g_bSoundAvailable);
    }
    // The program's milliseconds (timeGetTime) from now on move only by AdvanceClock.
    void UseFakeClock()
    {
        m_Clock.frequency = 1000;
        m_Clock.now = [this] { return m_Milliseconds; };
        m_Clock.sleep = [this](DWORD ms) { m_Milliseconds += ms; };
        qv::test::SetFakeClock(&m_Clock);
    }
    void AdvanceClock(int64_t ms) { m_Milliseconds += ms; }
    // Waits on the silent device, which keeps real time, until `playing` answers false; a busy
    // machine may take far longer than the sound lasts. False when it never did.
    template <typename Playing>
    static bool WaitUntilQuiet(Playing playing)
    {
        const auto start = std::chrono::steady_clock::now();
        while (playing()) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    qv::test::FakeClock m_Clock;
    int64_t m_Milliseconds = 1000;
};

TEST_F(FrontEnd, VolumesBecomeHundredthsOfADecibel)
{
    EXPECT_EQ(SoundVolumeToHundredths(1.0f), 0);
    EXPECT_EQ(SoundVolumeToHundredths(0.5f), -4800);
    EXPECT_EQ(SoundVolumeToHundredths(0.0f), -9600);
    EXPECT_EQ(SoundVolumeToHundredths(0.95f), -480);
    EXPECT_EQ(SoundVolumeToHundredths(1.5f), 0);
    EXPECT_EQ(SoundVolumeToHundredths(-0.5f), -9600);
}

TEST_F(FrontEnd, NineteenEffectsFillThePoolAndChannelZeroIsNeverHandedOut)
{
    Init(false);
    std::vector<int> channels;
    for (int i = 0; i < 19; ++i)
        channels.push_back(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f));
    for (int i = 0; i < 19; ++i)
        EXPECT_EQ(channels[i], i + 1);
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), -1);
    EXPECT_EQ(SoundFindFreeChannel(), -1);
    EXPECT_TRUE(SoundStop(7));
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), 7);
}

TEST_F(FrontEnd, APlayWithinFiftyMillisecondsNeverTakesTheFirstOnesChannel)
{
    // Both clocks are the test's: the program's milliseconds and the mixed sound.
    UseFakeClock();
    Init(true);
    EXPECT_EQ(SoundPlay(".\\data\\sound\\tiny.wav", 0, 1.0f), 1);
    qv::test::RenderAudio(kRate / 10); // its ten samples are over
    AdvanceClock(25);
    EXPECT_EQ(SoundPlay(".\\data\\sound\\tiny.wav", 0, 1.0f), 2) << "a fresh play counts as playing for 50 ms";
    AdvanceClock(25);
    EXPECT_EQ(SoundPlay(".\\data\\sound\\tiny.wav", 0, 1.0f), 1) << "50 ms on, finished: unloaded and reused";
}

TEST_F(FrontEnd, EffectsStillPlayAndHoldChannelsWithTheMasterVolumeOff)
{
    // A tenth of a second goes by on the test's own clocks: nothing is heard and the sound
    // still holds its channel.
    UseFakeClock();
    Init(true);
    CDMusic::GetInstance().SetMasterVolume(-10000);
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0x7FFFFFFF, 1.0f), 1);
    EXPECT_EQ(Rms(qv::test::RenderAudio(kRate / 10), 0, kRate / 10), 0.0);
    AdvanceClock(100);
    EXPECT_TRUE(g_pSounds[1]->IsPlaying());
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), 2);
}

TEST_F(FrontEnd, AFailedPlayShowsItsTextAndAnswersMinusOne)
{
    Init(false);
    testing::internal::CaptureStderr();
    EXPECT_EQ(SoundPlay(".\\data\\sound\\missing.wav", 0, 1.0f), -1);
    qvtest::WriteBytes("data/sound/tune.MID", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96});
    EXPECT_EQ(SoundPlay(".\\data\\sound\\tune.MID", 0, 1.0f), -1);
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("MessageBox [Error] FAILED CDMusicSound::PlaySub LoadObjectFromFile[.\\data\\sound\\missing.wav]\n"),
              std::string::npos) << shown;
    EXPECT_NE(shown.find("MessageBox [Error] FAILED CDMusicSound::PlaySub LoadObjectFromFile[.\\data\\sound\\tune.MID]\n"),
              std::string::npos) << shown;
    // The channel is free again for the next sound.
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), 1);
}

TEST_F(FrontEnd, IndicesOutsideThePoolAndUnavailableSound)
{
    Init(false);
    EXPECT_FALSE(SoundStop(20));
    EXPECT_FALSE(SoundStop(-1));
    EXPECT_FALSE(SoundSetVolume(20, 1.0f, 0));
    EXPECT_TRUE(SoundStop(0));
    StreamStop(-1);
    StreamSetVolume(2, 1.0f, 0);
    StreamPlay(-1, 0, 1.0f);

    g_bSoundAvailable = false;
    EXPECT_TRUE(SoundStop(-1));
    EXPECT_TRUE(SoundSetVolume(99, 1.0f, 0));
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), -1);
    EXPECT_EQ(StreamLoad(".\\data\\sound\\music.ogg"), -1);
}

TEST_F(FrontEnd, StreamsLoadIntoTheFirstQuietStreamAndPassTheirFailuresOn)
{
    Init(false);
    EXPECT_EQ(StreamLoadAndPlay(".\\data\\sound\\music.ogg", 0xFFFFFFFF, 1.0f), 0);
    EXPECT_EQ(StreamLoadAndPlay(".\\data\\sound\\music.ogg", 0xFFFFFFFF, 1.0f), 1);
    EXPECT_EQ(StreamLoad(".\\data\\sound\\music.ogg"), -1);
    StreamStop(1);
    const char* text = nullptr;
    try {
        StreamLoad(".\\data\\sound\\missing.ogg");
    } catch (const char* t) {
        text = t;
    }
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "FAILED CDMusicVorbis::Load LoadA");
    text = nullptr;
    try {
        StreamLoad(".\\data\\sound\\long.wav"); // not what its name says... nor Ogg Vorbis
    } catch (const char* t) {
        text = t;
    }
    EXPECT_STREQ(text, "FAILED CDMusicVorbis::Load LoadA");
    // A stopped stream is taken again.
    StreamStop(0);
    EXPECT_EQ(StreamLoad(".\\data\\sound\\music.ogg"), 0);
}

TEST_F(FrontEnd, AStreamThatPlaysOnceEndsWithItsLastSampleAndIsTakenAgain)
{
    // Both clocks are the test's: half a second of music still plays a little before its end
    // and no longer a little after it; its stream is then taken again.
    UseFakeClock();
    Init(true);
    EXPECT_EQ(StreamLoadAndPlay(".\\data\\sound\\music.ogg", 0, 1.0f), 0);
    qv::test::RenderAudio(kRate / 2 - kRate / 20);
    AdvanceClock(450);
    EXPECT_TRUE(g_pStreams[0]->IsPlaying());
    EXPECT_EQ(StreamLoad(".\\data\\sound\\music.ogg"), 1);
    StreamStop(1);
    qv::test::RenderAudio(kRate / 10);
    AdvanceClock(100);
    EXPECT_FALSE(g_pStreams[0]->IsPlaying());
    EXPECT_EQ(StreamLoad(".\\data\\sound\\music.ogg"), 0);
}

TEST_F(FrontEnd, StoppingALoadedStreamThatNeverPlayedLeavesOtherSoundsAlone)
{
    Init(true);
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), 1);
    EXPECT_EQ(StreamLoadAndPlay(".\\data\\sound\\music.ogg", 0xFFFFFFFF, 1.0f), 0);
    EXPECT_EQ(StreamLoad(".\\data\\sound\\music.ogg"), 1);
    StreamStop(1);
    qv::test::RenderAudio(kRate / 10);
    EXPECT_TRUE(g_pSounds[1]->IsPlaying());
    EXPECT_TRUE(g_pStreams[0]->IsPlaying());
}

TEST_F(FrontEnd, EffectAtHalfVolumeIsHeardAtFourThousandthsOfFull)
{
    Init(true);
    ASSERT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), 1);
    double full = Rms(qv::test::RenderAudio(kRate / 2), 1000, kRate / 2);
    ASSERT_TRUE(SoundStop(1));
    ASSERT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 0.5f), 1);
    double half = Rms(qv::test::RenderAudio(kRate / 2), 1000, kRate / 2);
    ASSERT_GT(full, 0.05);
    EXPECT_NEAR(half / full, 0.00398, 0.0004);
}

TEST_F(FrontEnd, LoopedMusicPlaysItsDecodeAgainWithoutASeam)
{
    Init(true);
    const std::vector<uint8_t> bytes = qvtest::DecodeOgg("data/sound/music.ogg");
    const size_t frames = bytes.size() / 4;
    ASSERT_EQ(frames, size_t(kRate / 2));
    ASSERT_EQ(StreamLoadAndPlay(".\\data\\sound\\music.ogg", 0xFFFFFFFF, 1.0f), 0);
    auto out = qv::test::RenderAudio(frames * 3);
    // Stereo music goes straight to the speakers at full volume: the mix is the decode.
    double worst = 0;
    for (size_t i = 0; i < frames * 3; ++i) {
        const uint8_t* f = &bytes[(i % frames) * 4];
        for (int c = 0; c < 2; ++c) {
            double expected = int16_t(f[c * 2] | (f[c * 2 + 1] << 8)) / 32768.0;
            worst = std::max(worst, std::fabs(out[i * 2 + c] - expected));
        }
    }
    EXPECT_LT(worst, 1e-4);
}

TEST_F(FrontEnd, MusicFadesWithTheScenesRamps)
{
    Init(true);
    ASSERT_EQ(StreamLoadAndPlay(".\\data\\sound\\music.ogg", 0xFFFFFFFF, 1.0f), 0);
    StreamSetVolume(0, 0.0f, 1000);
    auto out = qv::test::RenderAudio(kRate * 3 / 2);
    double start = Rms(out, 0, 4410), middle = Rms(out, kRate / 2 - 2205, kRate / 2 + 2205);
    EXPECT_GT(start, 0.1);
    EXPECT_LT(middle, start * 0.01);
    EXPECT_GT(middle, start * 0.001);
    EXPECT_LT(Rms(out, kRate + 4410, kRate * 3 / 2), start * 1e-4);
}

} // namespace

namespace {

TEST_F(FrontEnd, DefaultOutputPlaysAndEndsSoundsInRealTime)
{
    SoundInit(NULL); // the sound card when there is one, else the silent device
    ASSERT_TRUE(g_bSoundAvailable);
    Wav("short.wav", kRate / 10);
    ASSERT_EQ(SoundPlay(".\\data\\sound\\short.wav", 0, 1.0f), 1);
    EXPECT_TRUE(g_pSounds[1]->IsPlaying());
    EXPECT_TRUE(WaitUntilQuiet([] { return g_pSounds[1]->IsPlaying(); })) << "a tenth of a second never ended";
}

} // namespace

namespace {

TEST_F(FrontEnd, AChannelWhosePlayFailedTakesTheNextSoundAgain)
{
    Init(false);
    // With the performance closed, loading succeeds but the play itself fails.
    CDMusic::GetInstance().GetPerformance()->CloseDown();
    testing::internal::CaptureStderr();
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), -1);
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), -1);
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(shown, "MessageBox [Error] FAILED CDMusicSound::PlaySegment PlaySegmentEx\n"
                     "MessageBox [Error] FAILED CDMusicSound::PlaySegment PlaySegmentEx\n");
}

} // namespace

namespace {

TEST_F(FrontEnd, MemoryImagesPlayAsPrimarySegmentsAndMidiImagesFail)
{
    Init(true);
    auto wav = qvtest::MakeWav(1, kRate, 16, qvtest::Tone(1, kRate, kRate, 440, 0.5));
    g_pSounds[3]->SetVolume(1.0f, 0);
    g_pSounds[3]->PlaySub(wav.data(), 0, LONG(wav.size()), true);
    qv::test::RenderAudio(kRate / 10);
    EXPECT_TRUE(g_pSounds[3]->IsPlaying());
    g_pSounds[3]->Stop();
    EXPECT_FALSE(g_pSounds[3]->IsPlaying());

    const uint8_t midi[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    const char* text = nullptr;
    try {
        g_pSounds[3]->PlaySub(midi, 0, LONG(sizeof midi), true);
    } catch (const char* t) {
        text = t;
    }
    EXPECT_STREQ(text, "FAILED CDMusicSound::PlaySub GetObject");
}

} // namespace

namespace {

TEST_F(FrontEnd, AMidiPathPlaysOnTheDefaultAudioPath)
{
    Init(true);
    ASSERT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), 1);
    const double full = Rms(qv::test::RenderAudio(kRate / 4), 1000, kRate / 4);
    ASSERT_TRUE(SoundStop(1));
    // A wave under a name that ends in "MID": the channel swaps its own path, set to half
    // volume just before, for the performance's default one, which is at full volume.
    std::filesystem::copy_file("data/sound/long.wav", "data/sound/tune.MID");
    ASSERT_EQ(SoundPlay(".\\data\\sound\\tune.MID", 0, 0.5f), 1);
    const double midi = Rms(qv::test::RenderAudio(kRate / 4), 1000, kRate / 4);
    ASSERT_GT(full, 0.05);
    EXPECT_GT(midi, full * 0.5);
    // Its later volume changes act on the default path.
    ASSERT_TRUE(SoundSetVolume(1, 0.5f, 0));
    const double lowered = Rms(qv::test::RenderAudio(kRate / 4), 1000, kRate / 4);
    EXPECT_LT(lowered, midi * 0.01);
}

TEST_F(FrontEnd, APathTooLongForTheLoaderFailsWithItsText)
{
    Init(false);
    const std::string path = ".\\data\\sound\\" + std::string(400, 'a') + ".wav";
    testing::internal::CaptureStderr();
    EXPECT_EQ(SoundPlay(path.c_str(), 0, 1.0f), -1);
    const std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(shown, "MessageBox [Error] FAILED CDMusicSound::PlaySub LoadObjectFromFile[" + path + "]\n");
}

} // namespace

namespace {

TEST_F(FrontEnd, StartingSoundAgainReleasesTheEarlierPools)
{
    // The main object's start-up runs again after a failure later in it.
    Init(false);
    ASSERT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0x7FFFFFFF, 1.0f), 1);
    ASSERT_EQ(StreamLoadAndPlay(".\\data\\sound\\music.ogg", 0xFFFFFFFF, 1.0f), 0);
    testing::internal::CaptureStderr();
    SoundInit(NULL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(g_bSoundAvailable);
    // Fresh pools: nothing plays, and the first channel and stream are taken again.
    EXPECT_EQ(SoundPlay(".\\data\\sound\\long.wav", 0, 1.0f), 1);
    EXPECT_EQ(StreamLoad(".\\data\\sound\\music.ogg"), 0);
}

} // namespace
