// The loader, the performance, audio paths and segments: results, states and timing.
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/dmusic/DMusic.h"
#include "platform/dmusic/DMusicTestUtil.h"
#include "platform/dmusic/MemoryStream.h"
#include "sound/SoundFixtures.h"
#include "support/TestSupport.h"

using namespace dmtest;

namespace {

constexpr int kRate = 44100;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A segment streamed from `frames` frames of tone; `use` counts what its stream copies do and
// limits what they deliver.
void StreamedSegment(IDirectMusicLoader8* loader, int channels, size_t frames, std::shared_ptr<StreamUse> use,
                     Ref<IDirectMusicSegment8>& segment)
{
    auto bytes = std::make_shared<std::vector<uint8_t>>(
        qvtest::MakeWav(channels, kRate, 16, qvtest::Tone(channels, kRate, frames, 440, 0.5)));
    auto* stream = new MemoryStream(bytes, std::move(use));
    DMUS_OBJECTDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_STREAM;
    desc.guidClass = CLSID_DirectMusicSegment;
    desc.pStream = stream;
    ASSERT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment8, segment.out()), S_OK);
    stream->Release(); // the segment keeps what it needs
}

struct DMusicObjects : ::testing::Test {
    OutputReset reset;
    Ref<IDirectMusicPerformance8> perf;
    Ref<IDirectMusicLoader8> loader;
    Ref<IDirectMusicAudioPath> path;
    void Init(bool loopback)
    {
        if (loopback)
            qv::test::UseLoopbackAudio(true, kRate);
        else
            qv::test::UseSilentAudio(true);
        MakePerformance(perf, loader);
        ASSERT_EQ(perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &path), S_OK);
    }
    void Segment(size_t frames, Ref<IDirectMusicSegment8>& segment)
    {
        auto wav = qvtest::MakeWav(1, kRate, 16, qvtest::Tone(1, kRate, frames, 440, 0.5));
        ASSERT_EQ(SegmentFromMemory(loader, wav, segment), S_OK);
    }
    HRESULT Play(IDirectMusicSegment8* segment, IDirectMusicSegmentState** state, DWORD flags = DMUS_SEGF_SECONDARY)
    {
        return perf->PlaySegmentEx(segment, nullptr, nullptr, flags, 0, state, nullptr, path);
    }
};

TEST_F(DMusicObjects, LoadObjectFromFileTakesWindowsPathsAndRefusesWhatItCannotPlay)
{
    Init(false);
    std::string dir = qvtest::MakeTempDir("dmusic_load");
    std::filesystem::current_path(dir);
    std::filesystem::create_directories("data/sound");
    qvtest::WriteBytes("data/sound/a.wav", qvtest::MakeWav(2, 22050, 8, qvtest::Tone(2, 22050, 22050, 440, 0.5)));
    qvtest::WriteBytes("data/sound/tune.mid", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96});
    qvtest::WriteBytes("data/sound/empty.wav", {});

    Ref<IDirectMusicSegment8> segment;
    auto path = Wide(".\\data\\sound\\a.wav");
    ASSERT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, path.data(),
                                         segment.out()), S_OK);
    MUSIC_TIME length = 0;
    ASSERT_EQ(segment->GetLength(&length), S_OK);
    EXPECT_EQ(length, 1536); // one second at 120 beats a minute

    Ref<IDirectMusicSegment8> none;
    auto missing = Wide(".\\data\\sound\\missing.wav");
    EXPECT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, missing.data(),
                                         none.out()), DMUS_E_LOADER_FAILEDOPEN);
    EXPECT_EQ(none.p, nullptr);
    auto midi = Wide(".\\data\\sound\\tune.mid");
    EXPECT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, midi.data(),
                                         none.out()), DMUS_E_UNSUPPORTED_STREAM);
    auto empty = Wide(".\\data\\sound\\empty.wav");
    EXPECT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, empty.data(),
                                         none.out()), DMUS_E_UNSUPPORTED_STREAM);
    EXPECT_EQ(segment->SetParam(GUID_StandardMIDIFile, 0xFFFFFFFF, 0, 0, nullptr), S_OK);
    EXPECT_EQ(loader->ClearCache(GUID_DirectMusicAllTypes), S_OK);
}

TEST_F(DMusicObjects, StreamedWaveIsReadAsItPlaysAndNotBefore)
{
    Init(true);
    auto use = std::make_shared<StreamUse>();
    Ref<IDirectMusicSegment8> segment;
    ASSERT_NO_FATAL_FAILURE(StreamedSegment(loader, 2, kRate * 10, use, segment));
    EXPECT_LT(use->bytesRead, 1000u);

    Ref<IDirectMusicSegmentState> state;
    ASSERT_EQ(Play(segment, &state), S_OK);
    qv::test::RenderAudio(kRate);
    EXPECT_GT(use->bytesRead, uint64_t(kRate) * 4);      // a second has been read...
    EXPECT_LT(use->bytesRead, uint64_t(kRate) * 4 * 3);  // ...and not the whole file
    EXPECT_GE(use->clones, 1);
    ASSERT_EQ(perf->StopEx(state, 0, 0), S_OK);
    state.reset();
    segment.reset();
    EXPECT_EQ(use->alive, 0); // every clone released with the segment
}

TEST_F(DMusicObjects, RepeatsPlayTheWaveThatManyMoreTimes)
{
    Init(true);
    Ref<IDirectMusicSegment8> segment;
    Segment(1000, segment);
    ASSERT_EQ(segment->SetRepeats(3), S_OK);
    Ref<IDirectMusicSegmentState> state;
    ASSERT_EQ(Play(segment, &state), S_OK);
    qv::test::RenderAudio(3800);
    EXPECT_EQ(perf->IsPlaying(nullptr, state), S_OK);
    EXPECT_EQ(perf->IsPlaying(segment, nullptr), S_OK);
    qv::test::RenderAudio(5000);
    EXPECT_EQ(perf->IsPlaying(nullptr, state), S_FALSE);
    EXPECT_EQ(perf->IsPlaying(segment, nullptr), S_FALSE);

    for (DWORD endless : {DWORD(DMUS_SEG_REPEAT_INFINITE), DWORD(0x7FFFFFFF)}) {
        ASSERT_EQ(segment->SetRepeats(endless), S_OK);
        Ref<IDirectMusicSegmentState> looping;
        ASSERT_EQ(Play(segment, &looping), S_OK);
        qv::test::RenderAudio(200 * 1000);
        EXPECT_EQ(perf->IsPlaying(nullptr, looping), S_OK);
        ASSERT_EQ(perf->StopEx(looping, 0, 0), S_OK);
        EXPECT_EQ(perf->IsPlaying(nullptr, looping), S_FALSE);
    }
}

TEST_F(DMusicObjects, LongerSegmentLengthEndsEachPassInSilence)
{
    Init(true);
    Ref<IDirectMusicSegment8> segment;
    Segment(4410, segment); // 0.1 s
    ASSERT_EQ(segment->SetLength(1536 / 5), S_OK); // 0.2 s
    ASSERT_EQ(segment->SetRepeats(1), S_OK);
    Ref<IDirectMusicSegmentState> state;
    ASSERT_EQ(Play(segment, &state), S_OK);
    auto out = qv::test::RenderAudio(4 * 4410 + 2000);
    EXPECT_GT(Peak({out.begin(), out.begin() + 4000 * 2}), 0.1);
    EXPECT_EQ(Peak({out.begin() + 4500 * 2, out.begin() + 8700 * 2}), 0.0);
    EXPECT_GT(Peak({out.begin() + 8900 * 2, out.begin() + 12900 * 2}), 0.1);
    EXPECT_EQ(perf->IsPlaying(nullptr, state), S_FALSE);
}

TEST_F(DMusicObjects, SoundsTakeTheirRealTimeOnTheSilentDevice)
{
    // Started together, a tenth of a second of sound ends while two seconds are still
    // playing: the silent device plays sounds by their length, in the order that gives. (A
    // busy machine may stretch both; the order stays.)
    Init(false);
    Ref<IDirectMusicSegment8> shortSound, longSound;
    Segment(kRate / 10, shortSound);
    Segment(kRate * 2, longSound);
    Ref<IDirectMusicSegmentState> shortState, longState;
    ASSERT_EQ(Play(shortSound, &shortState), S_OK);
    ASSERT_EQ(Play(longSound, &longState), S_OK);
    EXPECT_EQ(perf->IsPlaying(nullptr, shortState), S_OK);
    const auto start = std::chrono::steady_clock::now();
    while (perf->IsPlaying(nullptr, shortState) == S_OK && std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(perf->IsPlaying(nullptr, shortState), S_FALSE) << "a tenth of a second of sound never ended";
    EXPECT_EQ(perf->IsPlaying(nullptr, longState), S_OK) << "two seconds of sound ended with a tenth of a second";
    ASSERT_EQ(perf->StopEx(longSound, 0, 0), S_OK);
    EXPECT_EQ(perf->IsPlaying(nullptr, longState), S_FALSE);
}

TEST_F(DMusicObjects, StoppingByStatePathOrSegmentAndPrimaryReplacement)
{
    Init(true);
    Ref<IDirectMusicSegment8> a, b;
    Segment(kRate, a);
    Segment(kRate, b);
    Ref<IDirectMusicSegmentState> s1, s2, s3;
    ASSERT_EQ(Play(a, &s1), S_OK);
    ASSERT_EQ(Play(a, &s2), S_OK);
    ASSERT_EQ(Play(b, &s3), S_OK);
    ASSERT_EQ(perf->StopEx(a, 0, 0), S_OK); // both plays of a
    EXPECT_EQ(perf->IsPlaying(nullptr, s1), S_FALSE);
    EXPECT_EQ(perf->IsPlaying(nullptr, s2), S_FALSE);
    EXPECT_EQ(perf->IsPlaying(nullptr, s3), S_OK);
    ASSERT_EQ(perf->StopEx(path, 0, 0), S_OK);
    EXPECT_EQ(perf->IsPlaying(nullptr, s3), S_FALSE);

    Ref<IDirectMusicSegmentState> p1, p2;
    ASSERT_EQ(Play(a, &p1, 0), S_OK);
    ASSERT_EQ(Play(b, &p2, 0), S_OK); // a new primary segment takes the old one's place
    EXPECT_EQ(perf->IsPlaying(nullptr, p1), S_FALSE);
    EXPECT_EQ(perf->IsPlaying(nullptr, p2), S_OK);
    ASSERT_EQ(perf->Stop(nullptr, nullptr, 0, 0), S_OK);
    EXPECT_EQ(perf->IsPlaying(nullptr, p2), S_FALSE);
}

TEST_F(DMusicObjects, CallsOutsideTheirRulesFail)
{
    Ref<IDirectMusicPerformance8> idle;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDirectMusicPerformance8, idle.out()), S_OK);
    Ref<IDirectMusicAudioPath> none;
    EXPECT_EQ(idle->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &none), DMUS_E_NOT_INIT);
    Ref<IDirectMusicSegmentState> state;
    ASSERT_EQ(idle->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &none), DMUS_E_NOT_INIT);

    Init(true);
    EXPECT_EQ(perf->InitAudio(nullptr, nullptr, nullptr, DMUS_APATH_DYNAMIC_STEREO, 64, 0, nullptr),
              DMUS_E_ALREADY_INITED);
    EXPECT_EQ(perf->IsPlaying(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(path->SetVolume(1, 0), E_INVALIDARG);
    EXPECT_EQ(path->SetVolume(-9601, 0), E_INVALIDARG);
    LONG volume = 0;
    EXPECT_EQ(perf->SetGlobalParam(GUID_PerfMasterVolume, &volume, 8), E_INVALIDARG);

    Ref<IDirectMusicAudioPath> stereo;
    ASSERT_EQ(perf->GetDefaultAudioPath(&stereo), S_OK);
    Ref<IDirectSound3DBuffer> buffer;
    EXPECT_NE(stereo->GetObjectInPath(DMUS_PCHANNEL_ALL, DMUS_PATH_BUFFER, 0, GUID_NULL, 0, IID_IDirectSound3DBuffer,
                                      buffer.out()), S_OK);
    ASSERT_EQ(path->GetObjectInPath(DMUS_PCHANNEL_ALL, DMUS_PATH_BUFFER, 0, GUID_NULL, 0, IID_IDirectSound3DBuffer,
                                    buffer.out()), S_OK);
    DS3DBUFFER b{};
    b.dwSize = 60;
    EXPECT_EQ(buffer->SetAllParameters(&b, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);

    Ref<IDirectMusicSegment8> segment;
    Segment(100, segment);
    ASSERT_EQ(perf->CloseDown(), S_OK);
    EXPECT_EQ(perf->IsPlaying(segment, nullptr), DMUS_E_NO_MASTER_CLOCK);
    EXPECT_EQ(Play(segment, &state), DMUS_E_NOT_INIT);
    EXPECT_EQ(path->SetVolume(-100, 0), S_OK); // a path outliving its performance is harmless
}

} // namespace

TEST_F(DMusicObjects, ClosingDownLetsGoOfStreamsThatStillPlay)
{
    // The performance closes while a streamed wave plays and its state is still held: the
    // copy of the stream that the playing voice reads from is closed with the performance; at
    // most the wave itself, which the state may still hold, keeps its stream until the state goes.
    Init(true);
    auto use = std::make_shared<StreamUse>();
    Ref<IDirectMusicSegment8> segment;
    ASSERT_NO_FATAL_FAILURE(StreamedSegment(loader, 2, kRate * 4, use, segment));
    Ref<IDirectMusicSegmentState> state;
    ASSERT_EQ(Play(segment, &state), S_OK);
    qv::test::RenderAudio(kRate / 10);
    path.reset();
    ASSERT_EQ(perf->CloseDown(), S_OK);
    segment.reset();
    EXPECT_LE(use->alive, 1);
    state.reset();
    EXPECT_EQ(use->alive, 0);
}

namespace {

// A streamed segment whose stream copies each deliver at most `limit` bytes.
void StreamedSegment(IDirectMusicLoader8* loader, size_t frames, uint64_t limit, Ref<IDirectMusicSegment8>& segment)
{
    auto use = std::make_shared<StreamUse>();
    use->deliverLimit = limit;
    StreamedSegment(loader, 1, frames, use, segment);
}

} // namespace

TEST_F(DMusicObjects, AStreamThatStopsDeliveringEndsItsSoundThereAndItsRepeats)
{
    // A second of sound whose stream gives out after a tenth: the sound ends with what was
    // delivered, not after a second of silence.
    Init(true);
    Ref<IDirectMusicSegment8> cut;
    StreamedSegment(loader, kRate, 44 + kRate / 10 * 2, cut);
    Ref<IDirectMusicSegmentState> state;
    ASSERT_EQ(Play(cut, &state), S_OK);
    qv::test::RenderAudio(kRate / 4);
    EXPECT_EQ(perf->IsPlaying(nullptr, state), S_FALSE);

    // Repeated without end, a pass that delivers nothing ends the repeats: at once when the
    // first pass has nothing, after the first pass when only the second has nothing.
    for (uint64_t limit : {uint64_t(44), uint64_t(44 + kRate / 10 * 2)}) {
        Ref<IDirectMusicSegment8> endless;
        StreamedSegment(loader, kRate, limit, endless);
        ASSERT_EQ(endless->SetRepeats(DMUS_SEG_REPEAT_INFINITE), S_OK);
        Ref<IDirectMusicSegmentState> looping;
        ASSERT_EQ(Play(endless, &looping), S_OK);
        qv::test::RenderAudio(kRate / 2);
        EXPECT_EQ(perf->IsPlaying(nullptr, looping), S_FALSE) << limit;
    }
}

TEST_F(DMusicObjects, AStreamThatStopsInsideASampleIsHeardUpToIt)
{
    // The stream gives out one byte into a 16-bit sample: the whole samples before it play.
    Init(true);
    Ref<IDirectMusicSegment8> cut;
    StreamedSegment(loader, kRate, 44 + 2001 * 2 + 1, cut);
    ASSERT_EQ(Play(cut, nullptr), S_OK);
    auto out = qv::test::RenderAudio(3000);
    EXPECT_GT(Peak(std::vector<float>(out.begin(), out.begin() + 2000 * 2)), 0.2);
    EXPECT_EQ(Peak(std::vector<float>(out.begin() + 2100 * 2, out.end())), 0.0);
}

