// Sound fixtures that tests make for themselves: tones, WAV images and Ogg Vorbis files
// encoded with libvorbisenc, and a straight vorbisfile decode to compare streams with.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

namespace qvtest {

// Interleaved 16-bit frames of a sine tone (every channel the same).
inline std::vector<int16_t> Tone(int channels, int rate, size_t frames, double frequency, double amplitude)
{
    std::vector<int16_t> out(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        auto v = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * frequency * i / rate)));
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] = v;
    }
    return out;
}

inline void PutLe(std::vector<uint8_t>& b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A RIFF WAVE image; 8-bit files take the high byte of each sample, made unsigned.
inline std::vector<uint8_t> MakeWav(int channels, int rate, int bits, const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> data;
    for (int16_t s : samples) {
        if (bits == 8)
            data.push_back(static_cast<uint8_t>((s >> 8) + 128));
        else
            PutLe(data, static_cast<uint16_t>(s), 2);
    }
    std::vector<uint8_t> b;
    const int block = channels * bits / 8;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    PutLe(b, static_cast<uint32_t>(36 + data.size()), 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(b, 16, 4);
    PutLe(b, 1, 2);
    PutLe(b, channels, 2);
    PutLe(b, rate, 4);
    PutLe(b, rate * block, 4);
    PutLe(b, block, 2);
    PutLe(b, bits, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    PutLe(b, static_cast<uint32_t>(data.size()), 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline std::vector<uint8_t> MakeOgg(int channels, int rate, const std::vector<int16_t>& samples, float quality = 0.5f)
{
    std::vector<uint8_t> out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0)
        return out;
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 12345);
    ogg_packet header, comments, code;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &code);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &code);
    ogg_page page;
    auto put = [&](const ogg_page& p) {
        out.insert(out.end(), p.header, p.header + p.header_len);
        out.insert(out.end(), p.body, p.body + p.body_len);
    };
    while (ogg_stream_flush(&os, &page))
        put(page);
    const size_t frames = samples.size() / channels;
    size_t done = 0;
    bool eos = false;
    while (!eos) {
        size_t n = std::min<size_t>(1024, frames - done);
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            for (size_t i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c)
                    buffer[c][i] = samples[(done + i) * channels + c] / 32768.0f;
            vorbis_analysis_wrote(&vd, static_cast<int>(n));
            done += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page)) {
                    put(page);
                    if (ogg_page_eos(&page))
                        eos = true;
                }
            }
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

// The whole file decoded with vorbisfile as a player would: 16-bit little-endian bytes.
inline std::vector<uint8_t> DecodeOgg(const std::string& path)
{
    std::vector<uint8_t> pcm;
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0)
        return pcm;
    char block[4096];
    int section = 0;
    long n;
    while ((n = ov_read(&vf, block, sizeof block, 0, 2, 1, &section)) > 0)
        pcm.insert(pcm.end(), block, block + n);
    ov_clear(&vf);
    return pcm;
}

} // namespace qvtest
