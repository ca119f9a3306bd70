// What the DirectMusic layer makes heard, read back from OpenAL Soft's loopback device.
#include "platform/dmusic/DMusic.h"

#include "sound/SoundFixtures.h"
#include "platform/dmusic/DMusicTestUtil.h"

using namespace dmtest;

namespace {

constexpr int kRate = 44100;

struct Loopback : ::testing::Test {
    OutputReset reset;
    Ref<IDirectMusicPerformance8> perf;
    Ref<IDirectMusicLoader8> loader;
    void SetUp() override
    {
        qv::test::UseLoopbackAudio(true, kRate);
        MakePerformance(perf, loader);
    }
    void Play(std::vector<uint8_t> wav, IDirectMusicAudioPath* path, DWORD repeats,
              IDirectMusicSegmentState** state = nullptr)
    {
        Ref<IDirectMusicSegment8> segment;
        ASSERT_EQ(SegmentFromMemory(loader, wav, segment), S_OK);
        ASSERT_EQ(segment->SetRepeats(repeats), S_OK);
        ASSERT_EQ(segment->Download(perf), S_OK);
        Ref<IDirectMusicSegmentState> local;
        ASSERT_EQ(perf->PlaySegmentEx(segment, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, state ? state : &local,
                                      nullptr, path), S_OK);
    }
};

TEST_F(Loopback, EffectAtHalfVolumeIsHeardAtMinus48Decibels)
{
    auto tone = qvtest::Tone(1, kRate, kRate, 440.0, 0.5);
    Ref<IDirectMusicAudioPath> full, half;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &full), S_OK);
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &half), S_OK);
    ASSERT_EQ(half->SetVolume(-4800, 0), S_OK);

    Play(qvtest::MakeWav(1, kRate, 16, tone), full, 0);
    double loud = Rms(qv::test::RenderAudio(kRate / 2), 1000, kRate / 2);
    ASSERT_EQ(perf->StopEx(nullptr, 0, 0), S_OK);
    Play(qvtest::MakeWav(1, kRate, 16, tone), half, 0);
    double soft = Rms(qv::test::RenderAudio(kRate / 2), 1000, kRate / 2);

    ASSERT_GT(loud, 0.05);
    EXPECT_NEAR(soft / loud, std::pow(10.0, -4800 / 2000.0), 0.0004);
}

TEST_F(Loopback, EightBitWavesSoundLikeTheirSixteenBitForm)
{
    auto tone = qvtest::Tone(2, 22050, 22050, 300.0, 0.5);
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &path), S_OK);
    Play(qvtest::MakeWav(2, 22050, 16, tone), path, 0);
    auto wide = qv::test::RenderAudio(kRate / 4);
    ASSERT_EQ(perf->StopEx(nullptr, 0, 0), S_OK);
    Play(qvtest::MakeWav(2, 22050, 8, tone), path, 0);
    auto narrow = qv::test::RenderAudio(kRate / 4);
    double a = Rms(wide, 1000, kRate / 4), b = Rms(narrow, 1000, kRate / 4);
    ASSERT_GT(a, 0.2);
    EXPECT_NEAR(b / a, 1.0, 0.03);
    // Unsigned 8-bit silence is 128: no offset may reach the speakers.
    double mean = 0;
    for (size_t i = 1000; i < size_t(kRate / 4); ++i)
        mean += narrow[i * 2];
    EXPECT_NEAR(mean / (kRate / 4 - 1000), 0.0, 0.01);
}

TEST_F(Loopback, MasterVolumeAtFloorIsSilentButSoundsGoOn)
{
    LONG off = -10000;
    ASSERT_EQ(perf->SetGlobalParam(GUID_PerfMasterVolume, &off, sizeof off), S_OK);
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &path), S_OK);
    Ref<IDirectMusicSegmentState> state;
    Play(qvtest::MakeWav(1, kRate, 16, qvtest::Tone(1, kRate, kRate, 440.0, 1.0)), path, 0, &state);
    EXPECT_EQ(Peak(qv::test::RenderAudio(kRate / 4)), 0.0);
    EXPECT_EQ(perf->IsPlaying(nullptr, state), S_OK);

    LONG on = 0;
    ASSERT_EQ(perf->SetGlobalParam(GUID_PerfMasterVolume, &on, sizeof on), S_OK);
    EXPECT_GT(Peak(qv::test::RenderAudio(kRate / 4)), 0.3);
}

TEST_F(Loopback, RampFromSilenceToFullRisesSmoothlyOverItsTime)
{
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &path), S_OK);
    ASSERT_EQ(path->SetVolume(-9600, 0), S_OK);
    // A constant level makes the ramp itself visible sample by sample.
    std::vector<int16_t> level(2 * kRate, 16384);
    Play(qvtest::MakeWav(1, kRate, 16, level), path, 0);
    ASSERT_EQ(path->SetVolume(0, 1000), S_OK);
    auto out = qv::test::RenderAudio(kRate * 3 / 2);

    double previous = 0;
    double biggestStep = 0;
    for (size_t i = 0; i < size_t(kRate); ++i) {
        double v = out[i * 2];
        EXPECT_GE(v, previous - 1e-6) << "frame " << i;
        biggestStep = std::max(biggestStep, v - previous);
        previous = v;
    }
    double end = out[(kRate + 2000) * 2];
    EXPECT_LT(Rms(out, 0, 441), end * 0.01);               // starts from silence
    EXPECT_NEAR(Rms(out, kRate / 2 - 100, kRate / 2 + 100), end * std::pow(10.0, -4800 / 2000.0), end * 0.002);
    EXPECT_NEAR(out[size_t(kRate * 1.2) * 2], end, 1e-4); // done after 1000 ms
    EXPECT_LT(biggestStep, end * 0.02);                     // no jump anywhere on the way
}

TEST_F(Loopback, LoopedWavePlaysAgainFromTheStartWithoutAGap)
{
    // A ramp that is not a whole number of cycles: any gap or skip at the seam shows.
    const size_t frames = 10007;
    std::vector<int16_t> saw(frames);
    for (size_t i = 0; i < frames; ++i)
        saw[i] = static_cast<int16_t>(int(i % 1000) * 20 - 10000);
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &path), S_OK);
    Play(qvtest::MakeWav(1, kRate, 16, saw), path, 2);
    auto out = qv::test::RenderAudio(frames * 3 + 1000);

    // Centred mono reaches both speakers at one gain, found from the first pass.
    double gain = out[700 * 2] / (saw[700] / 32768.0);
    ASSERT_GT(gain, 0.3);
    for (size_t i = 0; i < frames * 3; ++i)
        ASSERT_NEAR(out[i * 2], gain * saw[i % frames] / 32768.0, 2e-3) << "frame " << i;
    EXPECT_EQ(Peak(std::vector<float>(out.begin() + frames * 3 * 2 + 64, out.end())), 0.0); // then silence
}

TEST_F(Loopback, BufferModelFollowsDistanceAndHeadRelativeMode)
{
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &path), S_OK);
    Ref<IDirectSound3DListener> listener;
    Ref<IDirectSound3DBuffer> buffer;
    ASSERT_EQ(path->GetObjectInPath(0, DMUS_PATH_PRIMARY_BUFFER, 0, GUID_NULL, 0, IID_IDirectSound3DListener,
                                    listener.out()), S_OK);
    ASSERT_EQ(path->GetObjectInPath(DMUS_PCHANNEL_ALL, DMUS_PATH_BUFFER, 0, GUID_NULL, 0, IID_IDirectSound3DBuffer,
                                    buffer.out()), S_OK);
    DS3DLISTENER l{sizeof(DS3DLISTENER), {5, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f, 1.0f, 1.0f};
    ASSERT_EQ(listener->SetAllParameters(&l, DS3D_IMMEDIATE), S_OK);
    DS3DBUFFER b{};
    b.dwSize = sizeof b;
    b.vPosition = {5, 0, 10}; // straight ahead of the listener, ten units away
    b.dwInsideConeAngle = b.dwOutsideConeAngle = 360;
    b.flMinDistance = 1.0f;
    b.flMaxDistance = 1e9f;
    b.dwMode = DS3DMODE_NORMAL;
    ASSERT_EQ(buffer->SetAllParameters(&b, DS3D_IMMEDIATE), S_OK);

    Play(qvtest::MakeWav(1, kRate, 16, qvtest::Tone(1, kRate, kRate, 440.0, 0.5)), path, 0);
    auto far = qv::test::RenderAudio(kRate / 4);
    b.dwMode = DS3DMODE_HEADRELATIVE;
    b.vPosition = {0, 0, 0};
    ASSERT_EQ(buffer->SetAllParameters(&b, DS3D_IMMEDIATE), S_OK);
    auto near = qv::test::RenderAudio(kRate / 4);

    double farLevel = Rms(far, 2000, kRate / 4) + Rms(far, 2000, kRate / 4, 1);
    double nearLevel = Rms(near, 2000, kRate / 4) + Rms(near, 2000, kRate / 4, 1);
    // Minimum distance 1, rolloff 1: a tenth of the level at ten units.
    EXPECT_NEAR(farLevel / nearLevel, 0.1, 0.01);
}

// A constant level (DC) makes gains readable sample by sample.
std::vector<uint8_t> Level(size_t frames, int16_t value = 16384, int bits = 16)
{
    return qvtest::MakeWav(1, kRate, bits, std::vector<int16_t>(frames, value));
}

// The 3D buffer and the listener of a 3D path.
struct Path3D {
    Ref<IDirectMusicAudioPath> path;
    Ref<IDirectSound3DBuffer> buffer;
    Ref<IDirectSound3DListener> listener;
    DS3DBUFFER b{};
    explicit Path3D(IDirectMusicPerformance8* perf)
    {
        EXPECT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &path), S_OK);
        EXPECT_EQ(path->GetObjectInPath(DMUS_PCHANNEL_ALL, DMUS_PATH_BUFFER, 0, GUID_NULL, 0, IID_IDirectSound3DBuffer,
                                        buffer.out()), S_OK);
        EXPECT_EQ(path->GetObjectInPath(0, DMUS_PATH_PRIMARY_BUFFER, 0, GUID_NULL, 0, IID_IDirectSound3DListener,
                                        listener.out()), S_OK);
        b.dwSize = sizeof b;
        b.dwInsideConeAngle = b.dwOutsideConeAngle = 360;
        b.flMinDistance = 1.0f;
        b.flMaxDistance = 1e9f;
        b.dwMode = DS3DMODE_NORMAL;
    }
    void Place(float x, float y, float z, float minDistance = 1.0f, float maxDistance = 1e9f)
    {
        b.vPosition = {x, y, z};
        b.flMinDistance = minDistance;
        b.flMaxDistance = maxDistance;
        EXPECT_EQ(buffer->SetAllParameters(&b, DS3D_IMMEDIATE), S_OK);
    }
    void Listen(D3DVECTOR position, D3DVECTOR velocity, float distanceFactor = 1.0f, float rolloff = 1.0f)
    {
        DS3DLISTENER l{sizeof(DS3DLISTENER), position, velocity, {0, 0, 1}, {0, 1, 0}, distanceFactor, rolloff, 1.0f};
        EXPECT_EQ(listener->SetAllParameters(&l, DS3D_IMMEDIATE), S_OK);
    }
};

// Both channels' level over frames [from, to).
double Level2(const std::vector<float>& out, size_t from, size_t to) { return Rms(out, from, to) + Rms(out, from, to, 1); }

TEST_F(Loopback, PathVolumesAreExactHundredthsOfADecibel)
{
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &path), S_OK);
    Play(Level(kRate), path, 0);
    auto full = qv::test::RenderAudio(4000);
    ASSERT_EQ(full.size(), size_t(4000 * 2));
    const double reference = full[3000 * 2];
    ASSERT_GT(reference, 0.2);
    for (LONG volume : {-2000L, -1000L, -600L}) {
        ASSERT_EQ(path->SetVolume(volume, 0), S_OK);
        auto out = qv::test::RenderAudio(2000);
        EXPECT_NEAR(out[1500 * 2] / reference, std::pow(10.0, volume / 2000.0), 1e-5) << volume;
    }
}

TEST_F(Loopback, EightBitMonoPlaysAtItsLevelAndItsPaddingIsSilent)
{
    // 8-bit mono at three quarters up (192 of 255) against its 16-bit form; then the segment
    // runs on past the wave, in silence rather than in a level of -1.
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &path), S_OK);
    Play(Level(kRate / 10, 16384), path, 0);
    const double wide = qv::test::RenderAudio(3000)[2000 * 2];
    ASSERT_EQ(perf->StopEx(nullptr, 0, 0), S_OK);

    auto image = Level(kRate / 10, 16384, 8);
    Ref<IDirectMusicSegment8> segment;
    ASSERT_EQ(SegmentFromMemory(loader, image, segment), S_OK);
    ASSERT_EQ(segment->SetLength(1536 / 5), S_OK); // 0.2 s, twice the wave
    Ref<IDirectMusicSegmentState> state;
    ASSERT_EQ(perf->PlaySegmentEx(segment, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, &state, nullptr, path), S_OK);
    auto out = qv::test::RenderAudio(kRate / 5);
    EXPECT_NEAR(out[2000 * 2], wide, 1e-6);
    EXPECT_EQ(Peak(std::vector<float>(out.begin() + (kRate / 10 + 200) * 2, out.end())), 0.0);
}

TEST_F(Loopback, ARampEndsAtItsTargetAndGoesNoFurther)
{
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &path), S_OK);
    Play(Level(kRate), path, 0);
    const double full = qv::test::RenderAudio(2000)[1500 * 2];
    ASSERT_EQ(path->SetVolume(-2000, 100), S_OK); // down to a tenth over 0.1 s
    auto down = qv::test::RenderAudio(kRate / 2);
    EXPECT_NEAR(down[(kRate / 4) * 2], full * 0.1, 1e-6);
    EXPECT_NEAR(down[(kRate / 2 - 10) * 2], full * 0.1, 1e-6);
    ASSERT_EQ(path->SetVolume(0, 100), S_OK); // and back up
    auto up = qv::test::RenderAudio(kRate / 2);
    EXPECT_NEAR(up[(kRate / 4) * 2], full, 1e-6);
}

TEST_F(Loopback, ARampIsHalfWayInDecibelsAtHalfItsTime)
{
    // 0 to -20 dB over 10 s: -10 dB after 5 s.
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &path), S_OK);
    Play(Level(kRate * 6), path, 0);
    const double full = qv::test::RenderAudio(2000)[1500 * 2];
    ASSERT_EQ(path->SetVolume(-2000, 10000), S_OK);
    auto out = qv::test::RenderAudio(kRate * 5 + 2000);
    EXPECT_NEAR(out[(kRate * 5) * 2] / full, std::pow(10.0, -0.5), 2e-4);
}

TEST_F(Loopback, SoundsWithoutPositionIgnoreTheListener)
{
    Ref<IDirectMusicAudioPath> flat;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &flat), S_OK);
    Play(Level(kRate), flat, 0);
    const double before = qv::test::RenderAudio(2000)[1500 * 2];
    Path3D other(perf);
    other.Listen({100, 0, -300}, {0, 0, 0});
    EXPECT_NEAR(qv::test::RenderAudio(2000)[1500 * 2], before, 1e-6);
    // Nor does a moving listener change their pitch.
    ASSERT_EQ(perf->StopEx(nullptr, 0, 0), S_OK);
    other.Listen({0, 0, 0}, {0, 0, 100});
    Play(qvtest::MakeWav(1, kRate, 16, qvtest::Tone(1, kRate, kRate * 2, 400.0, 0.5)), flat, 0);
    auto out = qv::test::RenderAudio(kRate + kRate / 4 + 10);
    int crossings = 0;
    for (size_t i = kRate / 4; i < size_t(kRate / 4 + kRate); ++i)
        crossings += out[i * 2] <= 0.0f && out[(i + 1) * 2] > 0.0f;
    EXPECT_NEAR(crossings, 400, 1);
}

TEST_F(Loopback, MinimumAndMaximumDistancesShapeTheFall)
{
    // Inverse distance, clamped: min 10 at 20 units is half the level; min 1, max 2 at 10
    // units is the level at 2 units, half again.
    Path3D p(perf);
    p.Listen({0, 0, 0}, {0, 0, 0});
    p.Place(0, 0, 0);
    p.b.dwMode = DS3DMODE_HEADRELATIVE;
    p.Place(0, 0, 0);
    Play(qvtest::MakeWav(1, kRate, 16, qvtest::Tone(1, kRate, kRate, 440.0, 0.5)), p.path, 0);
    const double near = Level2(qv::test::RenderAudio(kRate / 8), 1000, kRate / 8);
    p.b.dwMode = DS3DMODE_NORMAL;
    p.Place(0, 0, 20, 10.0f);
    const double min10 = Level2(qv::test::RenderAudio(kRate / 8), 1000, kRate / 8);
    p.Place(0, 0, 10, 1.0f, 2.0f);
    const double max2 = Level2(qv::test::RenderAudio(kRate / 8), 1000, kRate / 8);
    // The listener's rolloff factor 2 doubles the fall: min 1 at 10 units, 1 / (1 + 2 x 9).
    p.Listen({0, 0, 0}, {0, 0, 0}, 1.0f, 2.0f);
    p.Place(0, 0, 10);
    const double steep = Level2(qv::test::RenderAudio(kRate / 8), 1000, kRate / 8);
    ASSERT_GT(near, 0.1);
    EXPECT_NEAR(min10 / near, 0.5, 0.01);
    EXPECT_NEAR(max2 / near, 0.5, 0.01);
    EXPECT_NEAR(steep / near, 1.0 / 19, 0.005);
}

TEST_F(Loopback, EachPathKeepsItsOwnPlace)
{
    Path3D a(perf), b(perf);
    a.Listen({0, 0, 0}, {0, 0, 0});
    b.Place(0, 0, 4);
    Play(qvtest::MakeWav(1, kRate, 16, qvtest::Tone(1, kRate, kRate, 440.0, 0.5)), b.path, 0);
    const double before = Level2(qv::test::RenderAudio(kRate / 8), 1000, kRate / 8);
    a.Place(0, 0, 40); // moves only what plays on a
    const double after = Level2(qv::test::RenderAudio(kRate / 8), 1000, kRate / 8);
    ASSERT_GT(before, 0.05);
    EXPECT_NEAR(after / before, 1.0, 1e-3);
}

TEST_F(Loopback, AListenerMovingTowardsASoundHearsItHigher)
{
    // Speed of sound 343.3 units a second; closing at 34.33 a second raises 400 Hz to 440 Hz.
    auto crossings = [](const std::vector<float>& out) {
        int n = 0;
        for (size_t i = kRate / 4; i + 1 < size_t(kRate / 4 + kRate); ++i)
            n += out[i * 2] <= 0.0f && out[(i + 1) * 2] > 0.0f;
        return n;
    };
    Path3D p(perf);
    p.Listen({0, 0, 0}, {0, 0, 34.33f});
    p.Place(0, 0, 10);
    Play(qvtest::MakeWav(1, kRate, 16, qvtest::Tone(1, kRate, kRate * 4, 400.0, 0.5)), p.path, 0);
    EXPECT_NEAR(crossings(qv::test::RenderAudio(kRate / 4 + kRate + 10)), 440, 2);
    // Units of half a metre: sound crosses 686.6 units a second, and 34.33 give half the rise.
    p.Listen({0, 0, 0}, {0, 0, 34.33f}, 0.5f);
    EXPECT_NEAR(crossings(qv::test::RenderAudio(kRate / 4 + kRate + 10)), 420, 2);
}

TEST_F(Loopback, EachPerformancePlaysOnItsOwnDevice)
{
    // A second performance opens a second loopback device, the one RenderAudio mixes: what
    // the first plays is not heard there, what the second plays is.
    Ref<IDirectMusicPerformance8> second;
    Ref<IDirectMusicLoader8> secondLoader;
    MakePerformance(second, secondLoader);
    Ref<IDirectMusicAudioPath> first, other;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &first), S_OK);
    ASSERT_EQ(second->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &other), S_OK);
    Play(Level(kRate), first, 0);
    EXPECT_EQ(Peak(qv::test::RenderAudio(2000)), 0.0);
    auto image = Level(kRate);
    Ref<IDirectMusicSegment8> segment;
    ASSERT_EQ(SegmentFromMemory(secondLoader, image, segment), S_OK);
    ASSERT_EQ(second->PlaySegmentEx(segment, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, nullptr, nullptr, other), S_OK);
    EXPECT_GT(Peak(qv::test::RenderAudio(2000)), 0.2);
    second->CloseDown();
}

TEST_F(Loopback, AWaveOfOneByteRepeatsToo)
{
    // One 8-bit sample, played three times: three frames are heard, then nothing.
    Ref<IDirectMusicAudioPath> path;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &path), S_OK);
    Play(Level(1, 32767, 8), path, 2);
    auto out = qv::test::RenderAudio(200);
    int heard = 0;
    for (size_t i = 0; i < 200; ++i)
        heard += std::fabs(out[i * 2]) > 0.1f;
    EXPECT_EQ(heard, 3);
}

TEST_F(Loopback, HundredsOfPlaysInTurnNeverRunOutOfVoices)
{
    // With one sound playing all along, so that no released name can be taken for another.
    Ref<IDirectMusicAudioPath> path, along;
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &path), S_OK);
    ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_STEREO, 64, TRUE, &along), S_OK);
    Play(Level(kRate), along, DMUS_SEG_REPEAT_INFINITE);
    auto image = Level(1000);
    Ref<IDirectMusicSegment8> segment;
    ASSERT_EQ(SegmentFromMemory(loader, image, segment), S_OK);
    for (int i = 0; i < 600; ++i) {
        Ref<IDirectMusicSegmentState> state;
        ASSERT_EQ(perf->PlaySegmentEx(segment, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, &state, nullptr, path), S_OK);
        ASSERT_EQ(perf->IsPlaying(nullptr, state), S_OK) << "play " << i;
        ASSERT_EQ(perf->StopEx(state, 0, 0), S_OK);
    }
}

} // namespace
