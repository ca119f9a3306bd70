// What one playing music stream costs: processor time per second of music through the WAVE
// stream, the loader's segment and OpenAL feeding (mixed on the loopback device, so that no
// real time is waited), against a straight vorbisfile decode of the same file; and the heap
// that a playing stream holds, against the size of the whole decoded file.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <filesystem>
#include <fstream>

#include "platform/dmusic/DMusic.h"
#include "platform/dmusic/DMusicTestHooks.h"
#include "sound/CVorbisWaveStream.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 20;

// A stereo file of music-like content: two detuned tones with a slow beat.
const std::string& MusicFile()
{
    static const std::string path = [] {
        std::string p = (std::filesystem::temp_directory_path() / "qv_bench_music.ogg").string();
        vorbis_info vi;
        vorbis_info_init(&vi);
        vorbis_encode_init_vbr(&vi, 2, kRate, 0.4f);
        vorbis_comment vc;
        vorbis_comment_init(&vc);
        vorbis_dsp_state vd;
        vorbis_analysis_init(&vd, &vi);
        vorbis_block vb;
        vorbis_block_init(&vd, &vb);
        ogg_stream_state os;
        ogg_stream_init(&os, 1);
        ogg_packet h1, h2, h3;
        vorbis_analysis_headerout(&vd, &vc, &h1, &h2, &h3);
        ogg_stream_packetin(&os, &h1);
        ogg_stream_packetin(&os, &h2);
        ogg_stream_packetin(&os, &h3);
        std::ofstream out(p, std::ios::binary);
        ogg_page page;
        auto put = [&] {
            out.write(reinterpret_cast<char*>(page.header), page.header_len);
            out.write(reinterpret_cast<char*>(page.body), page.body_len);
        };
        while (ogg_stream_flush(&os, &page))
            put();
        const long frames = long(kRate) * kSeconds;
        long done = 0;
        bool eos = false;
        while (!eos) {
            long n = std::min(1024L, frames - done);
            if (n <= 0) {
                vorbis_analysis_wrote(&vd, 0);
            } else {
                float** buf = vorbis_analysis_buffer(&vd, int(n));
                for (long i = 0; i < n; ++i) {
                    double t = double(done + i) / kRate;
                    double beat = 0.6 + 0.4 * std::sin(2 * M_PI * 0.5 * t);
                    buf[0][i] = float(0.3 * beat * std::sin(2 * M_PI * 220 * t) + 0.1 * std::sin(2 * M_PI * 880.5 * t));
                    buf[1][i] = float(0.3 * beat * std::sin(2 * M_PI * 221 * t) + 0.1 * std::sin(2 * M_PI * 660.3 * t));
                }
                vorbis_analysis_wrote(&vd, int(n));
                done += n;
            }
            while (vorbis_analysis_blockout(&vd, &vb) == 1) {
                vorbis_analysis(&vb, nullptr);
                vorbis_bitrate_addblock(&vb);
                ogg_packet packet;
                while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                    ogg_stream_packetin(&os, &packet);
                    while (ogg_stream_pageout(&os, &page)) {
                        put();
                        eos = ogg_page_eos(&page) != 0;
                    }
                }
            }
        }
        ogg_stream_clear(&os);
        vorbis_block_clear(&vb);
        vorbis_dsp_clear(&vd);
        vorbis_comment_clear(&vc);
        vorbis_info_clear(&vi);
        return p;
    }();
    return path;
}

void BM_StraightDecode(benchmark::State& state)
{
    const std::string& path = MusicFile();
    std::vector<char> block(4096);
    for (auto _ : state) {
        OggVorbis_File vf;
        ov_fopen(path.c_str(), &vf);
        int section = 0;
        while (ov_read(&vf, block.data(), int(block.size()), 0, 2, 1, &section) > 0) {
        }
        ov_clear(&vf);
    }
    state.counters["music_s_per_cpu_s"] =
        benchmark::Counter(double(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StraightDecode)->Unit(benchmark::kMillisecond);

struct Layer {
    IDirectMusicPerformance8* perf = nullptr;
    IDirectMusicLoader8* loader = nullptr;
    IDirectMusicAudioPath* path = nullptr;
    IDirectMusicSegment8* segment = nullptr;
    Layer()
    {
        qv::test::UseLoopbackAudio(true, kRate);
        CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectMusicPerformance8,
                         reinterpret_cast<void**>(&perf));
        CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectMusicLoader8,
                         reinterpret_cast<void**>(&loader));
        perf->InitAudio(nullptr, nullptr, nullptr, DMUS_APATH_DYNAMIC_STEREO, 64, DMUS_AUDIOF_ALL, nullptr);
        perf->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &path);
    }
    // The music stream as the game loads it.
    void Load()
    {
        auto* stream = new CVorbisWaveStream();
        stream->LoadA(MusicFile().c_str());
        DMUS_OBJECTDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_STREAM;
        desc.guidClass = CLSID_DirectMusicSegment;
        desc.pStream = stream;
        loader->GetObject(&desc, IID_IDirectMusicSegment8, reinterpret_cast<void**>(&segment));
        stream->Release();
        segment->Download(perf);
    }
    void Play()
    {
        IDirectMusicSegmentState* state = nullptr;
        perf->PlaySegmentEx(segment, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, &state, nullptr, path);
        state->Release();
    }
    ~Layer()
    {
        if (segment)
            segment->Release();
        path->Release();
        perf->CloseDown();
        perf->Release();
        loader->Release();
        qv::test::UseLoopbackAudio(false);
    }
};

void BM_StreamThroughLayer(benchmark::State& state)
{
    Layer layer;
    layer.Load();
    for (auto _ : state) {
        layer.Play();
        for (int s = 0; s < kSeconds; ++s)
            benchmark::DoNotOptimize(qv::test::RenderAudio(kRate));
        layer.perf->StopEx(nullptr, 0, 0);
    }
    state.counters["music_s_per_cpu_s"] =
        benchmark::Counter(double(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamThroughLayer)->Unit(benchmark::kMillisecond);

// Mixing alone, with nothing playing: what the loopback itself adds to the figure above.
void BM_MixingSilence(benchmark::State& state)
{
    Layer layer;
    for (auto _ : state)
        for (int s = 0; s < kSeconds; ++s)
            benchmark::DoNotOptimize(qv::test::RenderAudio(kRate));
    state.counters["music_s_per_cpu_s"] =
        benchmark::Counter(double(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MixingSilence)->Unit(benchmark::kMillisecond);

void BM_StreamMemory(benchmark::State& state)
{
    double held = 0;
    for (auto _ : state) {
        {
            Layer layer; // the device and its mixer are not the stream's
            size_t before = mallinfo2().uordblks;
            layer.Load();
            layer.Play();
            qv::test::RenderAudio(kRate * 2);
            held = double(mallinfo2().uordblks) - double(before);
            layer.perf->StopEx(nullptr, 0, 0);
        }
    }
    state.counters["heap_bytes_while_playing"] = held;
    state.counters["whole_decode_bytes"] = double(kRate) * kSeconds * 4;
}
BENCHMARK(BM_StreamMemory)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
