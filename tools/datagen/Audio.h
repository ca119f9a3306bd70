// Sound synthesis helpers: oscillators, filters, envelopes, and the WAV and Ogg Vorbis
// writers. Everything is computed in floating point from fixed seeds, so a run always gives
// the same samples.
#pragma once

#include "tools/datagen/Random.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace datagen {

const double kTwoPi = 6.28318530717958647692;

inline double MidiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Interleaved float samples, nominally within [-1, 1].
struct CSound {
    int Rate = 44100;
    int Channels = 1;
    std::vector<float> Data;
    CSound() = default;
    CSound(int rate, int channels, size_t frames) : Rate(rate), Channels(channels), Data(frames * channels, 0.0f) {}
    size_t Frames() const { return Data.size() / static_cast<size_t>(Channels); }
    // Adds a mono signal at a frame position with a pan (-1 left .. 1 right); with wrap the
    // part past the end comes in again at the start, for seamless loops.
    void Mix(const std::vector<float>& mono, long start, float gain, float pan, bool wrap);
    void Normalize(float peak);
    void RemoveDc(); // subtracts each channel's mean
    void SoftClip(float drive);
};

// A sawtooth or pulse oscillator with polyBLEP edges, so high notes do not alias harshly.
class COscillator {
public:
    enum Shape { Sine, Saw, Pulse, Triangle };
    COscillator(Shape shape, double rate, double duty = 0.5) : m_Shape(shape), m_Rate(rate), m_Duty(duty) {}
    void SetPhase(double p) { m_Phase = p - std::floor(p); }
    float Next(double hz);

private:
    Shape m_Shape;
    double m_Rate, m_Duty, m_Phase = 0.0;
};

// RBJ biquad filters.
class CBiquad {
public:
    static CBiquad LowPass(double rate, double hz, double q = 0.707);
    static CBiquad HighPass(double rate, double hz, double q = 0.707);
    static CBiquad BandPass(double rate, double hz, double q);
    float Process(float x);
    void Tune(double rate, double hz, double q, int kind); // 0 low, 1 high, 2 band

private:
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

// Attack, decay, sustain level, release (seconds), for a note held `hold` seconds.
float Adsr(double t, double hold, double attack, double decay, double sustain, double release);

// 16-bit PCM RIFF WAVE.
std::vector<uint8_t> EncodeWav(const CSound& sound);
// Ogg Vorbis at a quality from -0.1 to 1; serial fixes the stream's serial number.
std::vector<uint8_t> EncodeOgg(const CSound& sound, float quality, int serial);

} // namespace datagen
