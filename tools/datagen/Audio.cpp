#include "tools/datagen/Audio.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace datagen {

void CSound::Mix(const std::vector<float>& mono, long start, float gain, float pan, bool wrap)
{
    const long frames = static_cast<long>(Frames());
    const float left = Channels == 1 ? 1.0f : std::sqrt(0.5f * (1.0f - pan)), right = std::sqrt(0.5f * (1.0f + pan));
    for (size_t i = 0; i < mono.size(); ++i) {
        long f = start + static_cast<long>(i);
        if (wrap)
            f = ((f % frames) + frames) % frames;
        else if (f < 0 || f >= frames)
            continue;
        const float v = mono[i] * gain;
        if (Channels == 1) {
            Data[static_cast<size_t>(f)] += v;
        } else {
            Data[static_cast<size_t>(f) * 2] += v * left;
            Data[static_cast<size_t>(f) * 2 + 1] += v * right;
        }
    }
}

void CSound::Normalize(float peak)
{
    float m = 0;
    for (float v : Data)
        m = std::max(m, std::fabs(v));
    if (m > 0)
        for (float& v : Data)
            v *= peak / m;
}

void CSound::RemoveDc()
{
    for (int c = 0; c < Channels; ++c) {
        double sum = 0;
        for (size_t i = static_cast<size_t>(c); i < Data.size(); i += static_cast<size_t>(Channels))
            sum += Data[i];
        const float mean = static_cast<float>(sum / std::max<size_t>(1, Frames()));
        for (size_t i = static_cast<size_t>(c); i < Data.size(); i += static_cast<size_t>(Channels))
            Data[i] -= mean;
    }
}

void CSound::SoftClip(float drive)
{
    const float k = std::tanh(drive);
    for (float& v : Data)
        v = std::tanh(v * drive) / k;
}

namespace {
double PolyBlep(double t, double dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}
} // namespace

float COscillator::Next(double hz)
{
    const double dt = std::min(0.49, hz / m_Rate);
    double v = 0;
    switch (m_Shape) {
    case Sine:
        v = std::sin(kTwoPi * m_Phase);
        break;
    case Saw:
        v = 2.0 * m_Phase - 1.0 - PolyBlep(m_Phase, dt);
        break;
    case Pulse: {
        double p2 = m_Phase + (1.0 - m_Duty);
        p2 -= std::floor(p2);
        v = (m_Phase < m_Duty ? 1.0 : -1.0) + PolyBlep(m_Phase, dt) - PolyBlep(p2, dt) - (2.0 * m_Duty - 1.0);
        break;
    }
    case Triangle:
        v = 1.0 - 4.0 * std::fabs(m_Phase - 0.5);
        break;
    }
    m_Phase += dt;
    m_Phase -= std::floor(m_Phase);
    return static_cast<float>(v);
}

void CBiquad::Tune(double rate, double hz, double q, int kind)
{
    hz = std::clamp(hz, 10.0, rate * 0.45);
    const double w = kTwoPi * hz / rate, cw = std::cos(w), alpha = std::sin(w) / (2.0 * q);
    double nb0, nb1, nb2;
    if (kind == 0) {
        nb0 = (1 - cw) / 2;
        nb1 = 1 - cw;
        nb2 = (1 - cw) / 2;
    } else if (kind == 1) {
        nb0 = (1 + cw) / 2;
        nb1 = -(1 + cw);
        nb2 = (1 + cw) / 2;
    } else {
        nb0 = alpha;
        nb1 = 0;
        nb2 = -alpha;
    }
    const double a0 = 1 + alpha;
    b0 = nb0 / a0;
    b1 = nb1 / a0;
    b2 = nb2 / a0;
    a1 = -2 * cw / a0;
    a2 = (1 - alpha) / a0;
}

CBiquad CBiquad::LowPass(double rate, double hz, double q)
{
    CBiquad f;
    f.Tune(rate, hz, q, 0);
    return f;
}
CBiquad CBiquad::HighPass(double rate, double hz, double q)
{
    CBiquad f;
    f.Tune(rate, hz, q, 1);
    return f;
}
CBiquad CBiquad::BandPass(double rate, double hz, double q)
{
    CBiquad f;
    f.Tune(rate, hz, q, 2);
    return f;
}

float CBiquad::Process(float x)
{
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return static_cast<float>(y);
}

float Adsr(double t, double hold, double attack, double decay, double sustain, double release)
{
    auto held = [&](double u) {
        if (u < attack)
            return u / attack;
        if (u < attack + decay)
            return 1.0 - (1.0 - sustain) * (u - attack) / decay;
        return sustain;
    };
    if (t < 0)
        return 0.0f;
    if (t < hold)
        return static_cast<float>(held(t));
    const double r = (t - hold) / release;
    return r >= 1.0 ? 0.0f : static_cast<float>(held(hold) * (1.0 - r) * (1.0 - r));
}

std::vector<uint8_t> EncodeWav(const CSound& sound)
{
    const uint32_t frames = static_cast<uint32_t>(sound.Frames());
    const uint32_t block = static_cast<uint32_t>(sound.Channels) * 2, dataSize = frames * block;
    std::vector<uint8_t> out;
    auto put16 = [&](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    auto tag = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    tag("RIFF");
    put32(36 + dataSize);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);
    put16(static_cast<uint32_t>(sound.Channels));
    put32(static_cast<uint32_t>(sound.Rate));
    put32(static_cast<uint32_t>(sound.Rate) * block);
    put16(block);
    put16(16);
    tag("data");
    put32(dataSize);
    for (float v : sound.Data) {
        const long s = std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f);
        put16(static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(s))));
    }
    return out;
}

std::vector<uint8_t> EncodeOgg(const CSound& sound, float quality, int serial)
{
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, sound.Channels, sound.Rate, quality) != 0) {
        vorbis_info_clear(&vi);
        throw std::runtime_error("libvorbisenc refuses the encoder settings");
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "ENCODER", "qv_datagen");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, serial);

    std::vector<uint8_t> out;
    auto append = [&](const ogg_page& page) {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    };
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page))
        append(page);

    const size_t frames = sound.Frames();
    const size_t chunk = 1024;
    bool eos = false;
    for (size_t pos = 0; !eos;) {
        const size_t n = std::min(chunk, frames - pos);
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            for (size_t i = 0; i < n; ++i)
                for (int c = 0; c < sound.Channels; ++c)
                    buffer[c][i] = sound.Data[(pos + i) * static_cast<size_t>(sound.Channels) + static_cast<size_t>(c)];
            vorbis_analysis_wrote(&vd, static_cast<int>(n));
            pos += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page)) {
                    append(page);
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

} // namespace datagen
