#include "tools/datagen/Synth.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <stdexcept>

namespace datagen {

namespace {

std::vector<float> Buffer(double rate, double seconds) { return std::vector<float>(static_cast<size_t>(seconds * rate) + 1, 0.0f); }

} // namespace

std::vector<float> RenderVoice(Instrument inst, double rate, double hz, double hold, float vel, uint64_t seed)
{
    CRandom rng(seed);
    std::vector<float> out;
    switch (inst) {
    case Instrument::Lead: {
        const double release = 0.12;
        out = Buffer(rate, hold + release);
        COscillator a(COscillator::Pulse, rate, 0.3), b(COscillator::Pulse, rate, 0.5);
        CBiquad lp = CBiquad::LowPass(rate, 3800, 0.8);
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / rate;
            const double vib = t > 0.18 ? 1.0 + 0.006 * std::sin(kTwoPi * 5.5 * t) * std::min(1.0, (t - 0.18) * 4) : 1.0;
            const float s = 0.6f * a.Next(hz * vib) + 0.25f * b.Next(hz * vib * 2.0);
            out[i] = lp.Process(s) * Adsr(t, hold, 0.008, 0.12, 0.7, release) * vel;
        }
        break;
    }
    case Instrument::Pluck: {
        // Karplus-Strong: a burst of noise in a delay line that damps itself.
        const double seconds = std::min(hold + 0.6, 1.6);
        out = Buffer(rate, seconds);
        const size_t period = std::max<size_t>(2, static_cast<size_t>(rate / hz));
        std::vector<float> line(period);
        for (float& v : line)
            v = static_cast<float>(rng.Signed());
        float last = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            const size_t k = i % period;
            const float v = line[k];
            line[k] = 0.5f * (v + last) * 0.996f;
            last = v;
            const double t = i / rate;
            out[i] = v * vel * (t > hold ? static_cast<float>(std::exp(-(t - hold) * 12.0)) : 1.0f);
        }
        CBiquad lp = CBiquad::LowPass(rate, 5000);
        for (float& v : out)
            v = lp.Process(v);
        break;
    }
    case Instrument::Bass: {
        const double release = 0.06;
        out = Buffer(rate, hold + release);
        COscillator saw(COscillator::Saw, rate), sub(COscillator::Sine, rate);
        CBiquad lp;
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / rate;
            if (i % 32 == 0)
                lp.Tune(rate, 250 + 1400 * std::exp(-t * 14.0), 1.2, 0);
            const float s = 0.55f * saw.Next(hz) + 0.6f * sub.Next(hz);
            out[i] = lp.Process(s) * Adsr(t, hold, 0.004, 0.15, 0.75, release) * vel;
        }
        break;
    }
    case Instrument::Pad: {
        const double release = 0.5;
        out = Buffer(rate, hold + release);
        COscillator o1(COscillator::Saw, rate), o2(COscillator::Saw, rate), o3(COscillator::Saw, rate);
        o1.SetPhase(rng.Real());
        o2.SetPhase(rng.Real());
        o3.SetPhase(rng.Real());
        CBiquad lp = CBiquad::LowPass(rate, 1800, 0.6), lp2 = CBiquad::LowPass(rate, 2400, 0.6);
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / rate;
            const float s = (o1.Next(hz * 0.996) + o2.Next(hz * 1.004) + 0.6f * o3.Next(hz * 2.002)) * 0.3f;
            out[i] = lp2.Process(lp.Process(s)) * Adsr(t, hold, 0.25, 0.3, 0.8, release) * vel;
        }
        break;
    }
    case Instrument::Brass: {
        const double release = 0.15;
        out = Buffer(rate, hold + release);
        COscillator o1(COscillator::Saw, rate), o2(COscillator::Saw, rate);
        CBiquad lp;
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / rate;
            if (i % 32 == 0)
                lp.Tune(rate, 600 + 2600 * std::min(1.0, t * 12.0) * (0.7 + 0.3 * std::exp(-t * 3)), 0.9, 0);
            const float s = 0.5f * o1.Next(hz * 0.998) + 0.5f * o2.Next(hz * 1.003);
            out[i] = lp.Process(s) * Adsr(t, hold, 0.03, 0.2, 0.8, release) * vel;
        }
        break;
    }
    case Instrument::Bell: {
        const double seconds = hold + 1.4;
        out = Buffer(rate, seconds);
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / rate;
            const double index = 2.2 * std::exp(-t * 5.0);
            const double mod = std::sin(kTwoPi * hz * 3.5 * t) * index;
            const double env = std::exp(-t * 2.6) * std::min(1.0, t * 400.0);
            out[i] = static_cast<float>((std::sin(kTwoPi * hz * t + mod) * 0.8 + 0.2 * std::sin(kTwoPi * hz * 2.0 * t)) * env * vel);
        }
        break;
    }
    case Instrument::Kick: {
        out = Buffer(rate, 0.4);
        double phase = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / rate;
            phase += (48.0 + 110.0 * std::exp(-t * 30.0)) / rate;
            const double click = t < 0.004 ? rng.Signed() * (1.0 - t / 0.004) * 0.3 : 0.0;
            out[i] = static_cast<float>((std::sin(kTwoPi * phase) * std::exp(-t * 9.0) + click) * vel);
        }
        break;
    }
    case Instrument::Snare:
    case Instrument::Clap: {
        const bool clap = inst == Instrument::Clap;
        out = Buffer(rate, 0.3);
        CBiquad bp = CBiquad::BandPass(rate, clap ? 1400 : 2600, clap ? 1.2 : 0.7), hp = CBiquad::HighPass(rate, 500);
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / rate;
            double noiseEnv = std::exp(-t * (clap ? 22.0 : 16.0));
            if (clap) // three quick claps in one
                noiseEnv *= (t < 0.03) ? 0.6 + 0.4 * std::cos(kTwoPi * t / 0.01) : 1.0;
            const double tone = clap ? 0 : std::sin(kTwoPi * 190 * t) * std::exp(-t * 25.0) * 0.5;
            const float n = hp.Process(bp.Process(static_cast<float>(rng.Signed())));
            out[i] = static_cast<float>((n * 2.2 * noiseEnv + tone) * vel);
        }
        break;
    }
    case Instrument::Hat:
    case Instrument::OpenHat:
    case Instrument::Crash: {
        const double decay = inst == Instrument::Hat ? 45.0 : inst == Instrument::OpenHat ? 9.0 : 2.2;
        out = Buffer(rate, inst == Instrument::Crash ? 2.2 : inst == Instrument::OpenHat ? 0.5 : 0.12);
        CBiquad hp = CBiquad::HighPass(rate, inst == Instrument::Crash ? 4000 : 7000, 0.7);
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / rate;
            out[i] = static_cast<float>(hp.Process(static_cast<float>(rng.Signed())) * std::exp(-t * decay) * vel * 0.8);
        }
        break;
    }
    case Instrument::Tom: {
        out = Buffer(rate, 0.45);
        double phase = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / rate;
            phase += hz * (1.0 + 0.6 * std::exp(-t * 20.0)) / rate;
            out[i] = static_cast<float>(std::sin(kTwoPi * phase) * std::exp(-t * 7.0) * vel);
        }
        break;
    }
    }
    // A short fade at the very end keeps every voice free of clicks.
    const size_t fade = std::min<size_t>(out.size(), static_cast<size_t>(rate * 0.004));
    for (size_t i = 0; i < fade; ++i)
        out[out.size() - 1 - i] *= static_cast<float>(i) / fade;
    return out;
}

int NoteNumber(const std::string& name)
{
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    if (name.empty() || name[0] < 'A' || name[0] > 'G')
        throw std::runtime_error("bad note name " + name);
    int n = base[name[0] - 'A'];
    size_t i = 1;
    for (; i < name.size() && (name[i] == '#' || name[i] == 'b'); ++i)
        n += name[i] == '#' ? 1 : -1;
    const int octave = std::stoi(name.substr(i));
    return n + 12 * (octave + 1);
}

void CSong::Pattern(Instrument inst, double start, double step, const std::string& steps, float velocity, float pan, int transpose)
{
    std::istringstream in(steps);
    std::string token;
    double beat = start;
    NoteEvent* open = nullptr;
    size_t openIndex = 0;
    while (in >> token) {
        if (token == "|")
            continue;
        if (token == "-") {
            if (open)
                m_Events[openIndex].Length += step;
        } else if (token == ".") {
            open = nullptr;
        } else {
            m_Events.push_back({beat, step, static_cast<double>(NoteNumber(token) + transpose), velocity, inst, pan});
            openIndex = m_Events.size() - 1;
            open = &m_Events[openIndex];
        }
        beat += step;
    }
}

void CSong::Drums(Instrument inst, double start, double step, const std::string& steps, float velocity, float pan)
{
    double beat = start;
    for (char c : steps) {
        if (c == ' ' || c == '|')
            continue;
        if (c == 'x' || c == 'o')
            m_Events.push_back({beat, step, 45.0, c == 'x' ? velocity : velocity * 0.55f, inst, pan});
        beat += step;
    }
}

void CSong::Chord(Instrument inst, double start, double length, const std::vector<int>& notes, float velocity, float spread)
{
    for (size_t i = 0; i < notes.size(); ++i) {
        const float pan = notes.size() > 1 ? spread * (2.0f * static_cast<float>(i) / (notes.size() - 1) - 1.0f) : 0.0f;
        m_Events.push_back({start, length, static_cast<double>(notes[i]), velocity, inst, pan});
    }
}

CSound CSong::Render(int rate, bool loop, double tail, const std::string& seed) const
{
    const double spb = SecondsPerBeat();
    const size_t frames = static_cast<size_t>(std::llround(m_Beats * spb * rate + (loop ? 0.0 : tail * rate)));
    CSound sound(rate, 2, frames);
    uint64_t voiceSeed = CRandom::Hash(seed);
    for (const NoteEvent& e : m_Events) {
        const std::vector<float> v = RenderVoice(e.Inst, rate, MidiToHz(e.Midi), e.Length * spb, e.Velocity, voiceSeed++);
        sound.Mix(v, std::lround(e.Beat * spb * rate), 1.0f, e.Pan, loop);
    }
    return sound;
}

void Echo(CSound& sound, double seconds, float feedback, float mix, bool loop)
{
    const size_t delay = static_cast<size_t>(seconds * sound.Rate) * static_cast<size_t>(sound.Channels);
    const size_t n = sound.Data.size();
    if (delay == 0 || delay >= n)
        return;
    // The echo line runs over the sound; for a loop it runs a second time around, so the
    // echoes of the end are heard at the start and the loop's seam stays clean.
    std::vector<float> line(delay, 0.0f);
    const std::vector<float> dry = sound.Data;
    const int passes = loop ? 2 : 1;
    size_t k = 0;
    for (int pass = 0; pass < passes; ++pass)
        for (size_t i = 0; i < n; ++i) {
            const float wet = line[k];
            // Swap channels in the feedback for a ping-pong width.
            const size_t other = (sound.Channels == 2) ? (i ^ 1) : i;
            line[k] = dry[other] + wet * feedback;
            if (pass == passes - 1)
                sound.Data[i] = dry[i] + wet * mix;
            k = (k + 1) % delay;
        }
}

} // namespace datagen
