// A small synthesizer and sequencer for the game's music and jingles: a handful of instruments
// of the era (pulse lead, plucked arpeggio, saw bass, string pad, brass, bell, drums) and a
// score written as step patterns.
#pragma once

#include "tools/datagen/Audio.h"

#include <string>
#include <vector>

namespace datagen {

enum class Instrument { Lead, Pluck, Bass, Pad, Brass, Bell, Kick, Snare, Hat, OpenHat, Crash, Clap, Tom };

// One note: hz is ignored by the drums except the tom.
std::vector<float> RenderVoice(Instrument inst, double rate, double hz, double hold, float velocity, uint64_t seed);

struct NoteEvent {
    double Beat;   // start, in beats from the song's start
    double Length; // held, in beats
    double Midi;   // pitch (MIDI note number)
    float Velocity;
    Instrument Inst;
    float Pan;
};

class CSong {
public:
    CSong(double bpm, double beats) : m_Bpm(bpm), m_Beats(beats) {}
    double SecondsPerBeat() const { return 60.0 / m_Bpm; }

    // Steps of `step` beats from `start`: a note name ("C5", "F#4", "Bb3") starts a note, "-"
    // holds the one before, "." is a rest, "|" is ignored (bar lines for the reader).
    void Pattern(Instrument inst, double start, double step, const std::string& steps, float velocity, float pan = 0.0f,
        int transpose = 0);
    // Drum steps: "x" hit, "o" soft hit, "." rest.
    void Drums(Instrument inst, double start, double step, const std::string& steps, float velocity, float pan = 0.0f);
    void Chord(Instrument inst, double start, double length, const std::vector<int>& notes, float velocity, float spread = 0.5f);
    void Note(const NoteEvent& e) { m_Events.push_back(e); }

    // Renders the song; with loop the sound is exactly the song's length and notes that ring
    // past the end come in again at the start, so the loop has no seam. Otherwise `tail`
    // seconds are added for the last notes to ring out.
    CSound Render(int rate, bool loop, double tail, const std::string& seed) const;

private:
    double m_Bpm, m_Beats;
    std::vector<NoteEvent> m_Events;
};

int NoteNumber(const std::string& name); // "C4" is 60

// A feedback echo applied in place; with loop it runs twice around so the tail wraps.
void Echo(CSound& sound, double seconds, float feedback, float mix, bool loop);

} // namespace datagen
