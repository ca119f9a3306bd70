// The sound effects, synthesised and written as 16-bit PCM WAV (mono, 22050 Hz).
#include "tools/datagen/Audio.h"
#include "tools/datagen/DataTree.h"
#include "tools/datagen/Random.h"
#include "tools/datagen/Synth.h"

#include <algorithm>
#include <string>

namespace datagen {

namespace {

const int kRate = 22050;

CSound Mono(double seconds) { return CSound(kRate, 1, static_cast<size_t>(seconds * kRate)); }

void WriteWav(const CDataTree& tree, const std::string& path, CSound sound, float peak, bool loop = false)
{
    sound.RemoveDc();
    sound.Normalize(peak);
    // A few milliseconds of fade at both ends: no click when the effect starts or stops. A loop
    // keeps its ends as they are, since they meet.
    const size_t fade = loop ? 0 : std::min(sound.Data.size() / 2, static_cast<size_t>(kRate * 0.003));
    for (size_t i = 0; i < fade; ++i) {
        const float k = static_cast<float>(i) / fade;
        sound.Data[i] *= k;
        sound.Data[sound.Data.size() - 1 - i] *= k;
    }
    tree.Write(path, EncodeWav(sound));
}

// A footfall: a soft thump and a scuff of grit; weight 0 (light) to 1 (heavy).
std::vector<float> Footfall(CRandom& rng, double weight, double seconds)
{
    std::vector<float> v(static_cast<size_t>(seconds * kRate));
    CBiquad scuff = CBiquad::BandPass(kRate, rng.Range(900, 1600), 0.9);
    CBiquad body = CBiquad::LowPass(kRate, 400 + 300 * (1 - weight), 0.7);
    const double thumpHz = rng.Range(70, 110) * (1.0 - 0.4 * weight);
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += thumpHz * (1.0 + 0.8 * std::exp(-t * 60)) / kRate;
        const double thump = std::sin(kTwoPi * phase) * std::exp(-t * (45 - 25 * weight));
        const float n = static_cast<float>(rng.Signed());
        const double grit = scuff.Process(n) * std::exp(-t * 55) * 1.4;
        const double dull = body.Process(n) * std::exp(-t * 35) * 0.9;
        v[i] = static_cast<float>(thump * (0.8 + weight) + grit * (1.0 - 0.5 * weight) + dull);
    }
    return v;
}

void MakePause(const CDataTree& tree)
{
    // Two quick square-wave blips, high then low: the game holds its breath.
    CSound s = Mono(0.32);
    const double notes[2] = {MidiToHz(88), MidiToHz(81)};
    for (int k = 0; k < 2; ++k) {
        COscillator osc(COscillator::Pulse, kRate, 0.5);
        std::vector<float> v(static_cast<size_t>(0.13 * kRate));
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = osc.Next(notes[k]) * Adsr(static_cast<double>(i) / kRate, 0.1, 0.003, 0.05, 0.6, 0.03) * 0.5f;
        s.Mix(v, static_cast<long>(k * 0.11 * kRate), 1.0f, 0, false);
    }
    WriteWav(tree, "sound/pause.wav", s, 0.7f);
}

void MakeStart(const CDataTree& tree)
{
    // A rising chime of a major chord with a sparkle on top.
    CSound s = Mono(1.6);
    const int notes[] = {72, 76, 79, 84, 88};
    for (int k = 0; k < 5; ++k) {
        s.Mix(RenderVoice(Instrument::Bell, kRate, MidiToHz(notes[k]), 0.2, 0.5f, 700 + k), static_cast<long>(k * 0.06 * kRate), 1.0f, 0,
            false);
        s.Mix(RenderVoice(Instrument::Lead, kRate, MidiToHz(notes[k]), 0.05, 0.25f, 710 + k), static_cast<long>(k * 0.06 * kRate), 1.0f, 0,
            false);
    }
    CRandom rng("start");
    for (int k = 0; k < 14; ++k)
        s.Mix(RenderVoice(Instrument::Bell, kRate, MidiToHz(96 + rng.Int(12)), 0.02, 0.12f, 720 + k),
            static_cast<long>((0.3 + k * 0.05) * kRate), 1.0f, 0, false);
    WriteWav(tree, "sound/start.wav", s, 0.85f);
}

void MakeWalk(const CDataTree& tree)
{
    CRandom rng("walk");
    CSound s = Mono(0.16);
    s.Mix(Footfall(rng, 0.1, 0.16), 0, 1.0f, 0, false);
    WriteWav(tree, "sound/walk.wav", s, 0.7f);
}

// Running feet of a crowd, two seconds around: each runner's step period divides the loop.
void MakeFootsteps(const CDataTree& tree)
{
    const double loop = 2.0;
    CSound s = Mono(loop);
    CRandom rng("footsteps");
    const int stepsPerLoop[] = {6, 7, 6, 5, 7};
    for (int runner = 0; runner < 5; ++runner) {
        const int n = stepsPerLoop[runner];
        const double offset = rng.Range(0, loop / n);
        for (int k = 0; k < n; ++k) {
            const double at = offset + k * loop / n + rng.Range(-0.01, 0.01);
            const float gain = static_cast<float>(rng.Range(0.5, 1.0) * (k % 2 ? 0.85 : 1.0));
            s.Mix(Footfall(rng, rng.Range(0.2, 0.5), 0.18), static_cast<long>(at * kRate), gain, 0, true);
        }
    }
    WriteWav(tree, "sound/footsteps.wav", s, 0.8f, true);
}

// The giant's step: a deep boom that shakes the ground, a crunch, and settling grit.
void MakeGiantStep(const CDataTree& tree)
{
    CRandom rng("walkQuillabet");
    CSound s = Mono(1.6);
    CBiquad rumble = CBiquad::LowPass(kRate, 160, 0.9), crunch = CBiquad::BandPass(kRate, 380, 1.1), grit = CBiquad::BandPass(kRate, 2600, 1.5);
    double phase = 0;
    for (size_t i = 0; i < s.Data.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += (30.0 + 50.0 * std::exp(-t * 8)) / kRate;
        const double boom = std::sin(kTwoPi * phase) * std::exp(-t * 3.2) * std::min(1.0, t * 300);
        const float n = static_cast<float>(rng.Signed());
        const double r = rumble.Process(n) * std::exp(-t * 2.5) * 3.0;
        const double c = crunch.Process(n) * std::exp(-t * 14) * 1.6;
        const double g = grit.Process(n) * (0.2 + 0.8 * rng.Real()) * std::exp(-(t - 0.25) * (t - 0.25) * 30) * 0.35;
        s.Data[i] = static_cast<float>(boom * 1.1 + r + c + g);
    }
    WriteWav(tree, "sound/walkQuillabet.wav", s, 0.95f);
}

// A building coming down: a crack, a roar of falling masonry, clattering pieces and glass.
void MakeBreak(const CDataTree& tree)
{
    CRandom rng("break");
    const double seconds = 3.0;
    CSound s = Mono(seconds);
    CBiquad roarLp = CBiquad::LowPass(kRate, 700, 0.7), crackHp = CBiquad::HighPass(kRate, 1200, 0.7), lowLp = CBiquad::LowPass(kRate, 120, 0.8);
    for (size_t i = 0; i < s.Data.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const float n = static_cast<float>(rng.Signed());
        const double crack = crackHp.Process(n) * std::exp(-t * 25) * 1.5;
        const double swell = std::min(1.0, t * 6) * std::exp(-std::max(0.0, t - 0.4) * 1.6);
        const double roar = roarLp.Process(n) * swell * 2.2;
        const double low = lowLp.Process(n) * swell * 5.0;
        s.Data[i] = static_cast<float>(crack + roar + low);
    }
    // Pieces hitting the ground, thinning out; some bits of glass.
    for (int k = 0; k < 70; ++k) {
        const double at = 0.05 + std::pow(rng.Real(), 1.8) * (seconds - 0.4);
        const bool glass = rng.Chance(0.25);
        std::vector<float> hit(static_cast<size_t>((glass ? 0.25 : 0.12) * kRate));
        CBiquad bp = CBiquad::BandPass(kRate, glass ? rng.Range(3000, 6000) : rng.Range(300, 1500), glass ? 8.0 : 1.5);
        for (size_t i = 0; i < hit.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            hit[i] = static_cast<float>(bp.Process(static_cast<float>(rng.Signed())) * std::exp(-t * (glass ? 18 : 40)) * (glass ? 2.5 : 2.0));
        }
        s.Mix(hit, static_cast<long>(at * kRate), static_cast<float>(rng.Range(0.3, 1.0) * std::exp(-at * 0.6)), 0, false);
    }
    WriteWav(tree, "sound/break.wav", s, 0.95f);
}

// A cheer of a crowd: a dozen voices shouting "yay" and "whoa" with rising and falling pitch,
// each a buzzing throat shaped by the formants of its vowel, over a breathy murmur.
void MakeVoice(const CDataTree& tree)
{
    CRandom rng("voice");
    const double seconds = 1.3;
    CSound s = Mono(seconds);
    struct Vowel {
        double f1, f2, f3;
    };
    const Vowel vowels[] = {{800, 1200, 2500}, {700, 1800, 2600}, {500, 900, 2400}, {650, 1100, 2450}}; // ah, ae, oh, aw
    for (int v = 0; v < 12; ++v) {
        const bool high = rng.Chance(0.5);
        const double base = high ? rng.Range(230, 330) : rng.Range(120, 180);
        const double start = rng.Range(0.0, 0.25), length = rng.Range(0.55, 0.95);
        const Vowel a = vowels[rng.Int(4)], b = vowels[rng.Int(4)];
        std::vector<float> voice(static_cast<size_t>(length * kRate));
        CBiquad f1, f2, f3;
        const double vibPhase = rng.Real() * kTwoPi;
        COscillator throat(COscillator::Saw, kRate);
        throat.SetPhase(rng.Real());
        CRandom jitter(rng.Next());
        for (size_t i = 0; i < voice.size(); ++i) {
            const double t = static_cast<double>(i) / kRate, u = t / length;
            // The shout rises quickly, holds, and falls away at the end.
            const double contour = 1.0 + 0.35 * std::sin(std::min(1.0, u * 2.5) * 1.5708) - 0.3 * std::max(0.0, u - 0.6);
            const double hz = base * contour * (1.0 + 0.015 * std::sin(vibPhase + kTwoPi * 6.0 * t) + 0.01 * jitter.Signed());
            // The buzz of the throat: a sawtooth falls off with frequency as a voice does.
            const double glottal = throat.Next(hz);
            const double breath = jitter.Signed() * 0.06;
            if (i % 64 == 0) {
                const double m = std::min(1.0, u * 1.5);
                f1.Tune(kRate, a.f1 + (b.f1 - a.f1) * m, 6, 2);
                f2.Tune(kRate, a.f2 + (b.f2 - a.f2) * m, 8, 2);
                f3.Tune(kRate, a.f3 + (b.f3 - a.f3) * m, 10, 2);
            }
            const float src = static_cast<float>(glottal + breath);
            const double shaped = f1.Process(src) * 1.0 + f2.Process(src) * 0.8 + f3.Process(src) * 0.45 + src * 0.08;
            voice[i] = static_cast<float>(shaped * Adsr(t, length - 0.25, 0.04, 0.1, 0.8, 0.25));
        }
        s.Mix(voice, static_cast<long>(start * kRate), static_cast<float>(rng.Range(0.5, 1.0)), 0, false);
    }
    // The murmur of the rest of the crowd.
    CBiquad bp = CBiquad::BandPass(kRate, 1100, 0.6);
    for (size_t i = 0; i < s.Data.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        s.Data[i] += bp.Process(static_cast<float>(rng.Signed())) * static_cast<float>(0.1 * std::min(1.0, t * 8) * std::exp(-t * 1.2));
    }
    WriteWav(tree, "sound/voice.wav", s, 0.8f);
}

} // namespace

DATAGEN_REGISTER("sound pause", MakePause);
DATAGEN_REGISTER("sound start", MakeStart);
DATAGEN_REGISTER("sound walk", MakeWalk);
DATAGEN_REGISTER("sound footsteps", MakeFootsteps);
DATAGEN_REGISTER("sound giant step", MakeGiantStep);
DATAGEN_REGISTER("sound break", MakeBreak);
DATAGEN_REGISTER("sound voice", MakeVoice);

} // namespace datagen
