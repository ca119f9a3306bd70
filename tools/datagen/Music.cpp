// The music and the logo's sounds, synthesised and encoded as Ogg Vorbis. Looping pieces are
// rendered around a circle (notes and echoes that ring past the end come in at the start), so
// their last sample runs on into their first.
#include "tools/datagen/Audio.h"
#include "tools/datagen/DataTree.h"
#include "tools/datagen/Synth.h"

#include <map>
#include <string>

namespace datagen {

namespace {

const int kRate = 44100;

// Triad (or seventh) of a chord name at an octave: "C", "Am", "Em", "G7", "Fmaj7".
std::vector<int> ChordNotes(const std::string& name, int octave)
{
    size_t i = 1;
    if (name.size() > 1 && (name[1] == '#' || name[1] == 'b'))
        ++i;
    const int root = NoteNumber(name.substr(0, i) + std::to_string(octave));
    const std::string kind = name.substr(i);
    if (kind == "m")
        return {root, root + 3, root + 7};
    if (kind == "7")
        return {root, root + 4, root + 7, root + 10};
    if (kind == "maj7")
        return {root, root + 4, root + 7, root + 11};
    return {root, root + 4, root + 7};
}

// Eighth-note arpeggio over one bar of a chord: up and back down.
void ArpBar(CSong& song, double beat, const std::string& chord, int octave, float vel, float pan)
{
    const std::vector<int> c = ChordNotes(chord, octave);
    const int seq[8] = {c[0], c[1], c[2], c[0] + 12, c[2], c[1], c[0] + 12, c[2]};
    for (int k = 0; k < 8; ++k)
        song.Note({beat + k * 0.5, 0.45, static_cast<double>(seq[k]), vel, Instrument::Pluck, pan});
}

// Bouncing eighth-note bass: root and its octave.
void BassBar(CSong& song, double beat, const std::string& chord, float vel, bool bounce)
{
    const int root = ChordNotes(chord, 2)[0];
    for (int k = 0; k < 8; ++k)
        song.Note({beat + k * 0.5, 0.42, static_cast<double>(root + ((bounce && k % 2) ? 12 : 0)), vel, Instrument::Bass, 0.0f});
}

void WriteOgg(const CDataTree& tree, const std::string& path, CSound sound, int serial, float quality = 0.35f)
{
    sound.RemoveDc();
    sound.SoftClip(1.2f);
    sound.Normalize(0.89f);
    tree.Write(path, EncodeOgg(sound, quality, serial));
}

// The logo's jingle: bells over two major-seventh chords, four seconds around.
void MakeLogoJingle(const CDataTree& tree)
{
    CSong song(120, 8);
    song.Pattern(Instrument::Bell, 0, 0.5, "C5 E5 G5 B5 C6 B5 G5 E5 | F5 A5 C6 E6 F6 E6 C6 A5", 0.35f, 0.3f);
    song.Pattern(Instrument::Bell, 0.25, 1.0, "G6 . E6 . A6 . E6 .", 0.12f, -0.5f);
    song.Chord(Instrument::Pad, 0, 4, ChordNotes("Cmaj7", 4), 0.35f);
    song.Chord(Instrument::Pad, 4, 4, ChordNotes("Fmaj7", 3), 0.35f);
    song.Pattern(Instrument::Bass, 0, 4, "C3 F2", 0.45f);
    song.Drums(Instrument::Hat, 0, 0.5, "o.x.o.x.o.x.o.xx", 0.18f, 0.4f);
    CSound s = song.Render(kRate, true, 0, "vannet");
    Echo(s, 0.375, 0.35f, 0.35f, true);
    WriteOgg(tree, "sound/vannet.ogg", s, 0x51564E01);
}

// Static between stations: hiss with a little crackle and hum, three seconds around.
void MakeNoise(const CDataTree& tree)
{
    const size_t frames = static_cast<size_t>(kRate) * 3;
    CSound s(kRate, 2, frames);
    CRandom rng("noize");
    for (float& v : s.Data)
        v = static_cast<float>(rng.Signed());
    // Crackles: short bursts, anywhere.
    for (int k = 0; k < 40; ++k) {
        const size_t at = static_cast<size_t>(rng.Int(static_cast<int>(frames))) * 2;
        const float amp = static_cast<float>(rng.Range(1.5, 4.0));
        for (size_t i = 0; i < 80 && at + i < s.Data.size(); ++i)
            s.Data[at + i] += amp * static_cast<float>(rng.Signed()) * (1.0f - i / 80.0f);
    }
    // Filter the hiss twice around the loop, so the filter's state at the end meets the start.
    CBiquad lp[2] = {CBiquad::LowPass(kRate, 6000, 0.5), CBiquad::LowPass(kRate, 6000, 0.5)};
    CBiquad hp[2] = {CBiquad::HighPass(kRate, 300, 0.5), CBiquad::HighPass(kRate, 300, 0.5)};
    std::vector<float> out(s.Data.size());
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < s.Data.size(); ++i)
            out[i] = hp[i % 2].Process(lp[i % 2].Process(s.Data[i]));
    // Hum: 60 Hz and its harmonics, a whole number of cycles in the loop.
    for (size_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / kRate;
        const float hum = static_cast<float>(0.12 * std::sin(kTwoPi * 60 * t) + 0.05 * std::sin(kTwoPi * 180 * t));
        out[f * 2] = out[f * 2] * 0.5f + hum;
        out[f * 2 + 1] = out[f * 2 + 1] * 0.5f + hum;
    }
    s.Data = out;
    WriteOgg(tree, "sound/noize.ogg", s, 0x51564E02);
}

// The opening: a bright march that swells over six bars and lands on a big chord just as the
// scene fades to white (11.3 s), ringing on under the fade-out that starts at 12.3 s.
void MakeOpening(const CDataTree& tree)
{
    const int bars = 6;
    CSong song(132, bars * 4 + 6);
    const char* chords[] = {"C", "F", "G", "Am", "F", "G"};
    const char* melody = "G4 - C5 - E5 - G5 - | A5 - - G5 F5 - E5 - | D5 - G4 - B4 - D5 - | E5 - - - C5 - A4 - | "
                         "F5 - A5 - C6 - A5 - | G5 - - - B5 - D6 - | C6 - - - - - - - - - - -";
    song.Pattern(Instrument::Brass, 0, 0.5, melody, 0.55f, 0.1f);
    song.Pattern(Instrument::Lead, 0, 0.5, melody, 0.22f, -0.2f, -12);
    for (int b = 0; b < bars; ++b) {
        song.Chord(Instrument::Pad, b * 4, 4, ChordNotes(chords[b], 4), 0.3f + 0.04f * b);
        const int root = ChordNotes(chords[b], 2)[0];
        song.Pattern(Instrument::Bass, b * 4, 1, "C2 G2 C2 G2", 0.5f, 0.0f, root - 36);
        song.Drums(Instrument::Kick, b * 4, 0.25, "x.......x.......", 0.8f);
        song.Drums(Instrument::Snare, b * 4, 0.25, b == bars - 1 ? "xoxoxoxoxxxxxxxx" : "x..ox..ox.o.xoxx", 0.35f + 0.04f * b, 0.15f);
        song.Drums(Instrument::Hat, b * 4, 0.5, "xoxoxoxo", 0.2f, -0.3f);
        song.Note({b * 4.0, 0.5, static_cast<double>(root + 12), 0.45f, Instrument::Tom, 0.0f});
    }
    song.Drums(Instrument::Crash, 0, 1, "x", 0.5f);
    const double end = bars * 4;
    song.Chord(Instrument::Brass, end, 5.5, {60, 64, 67, 72}, 0.5f);
    song.Chord(Instrument::Pad, end, 6, {48, 55, 64, 67}, 0.5f);
    song.Note({end, 5.0, 36, 0.6f, Instrument::Bass, 0.0f});
    song.Pattern(Instrument::Bell, end, 0.5, "C6 E6 G6 C7", 0.25f, 0.4f);
    song.Drums(Instrument::Crash, end, 1, "x", 0.7f);
    song.Drums(Instrument::Kick, end, 1, "x", 1.0f);
    CSound s = song.Render(kRate, false, 1.0, "opening");
    Echo(s, 0.227, 0.25f, 0.2f, false);
    WriteOgg(tree, "sound/opening.ogg", s, 0x51564E03);
}

// The title: an easy-going pop tune, eight bars around.
void MakeTitleMusic(const CDataTree& tree)
{
    CSong song(126, 32);
    const char* chords[] = {"F", "G", "Em", "Am", "Dm", "G", "C", "C"};
    song.Pattern(Instrument::Lead, 0, 0.5,
        "C5 - A4 - C5 D5 E5 - | D5 - B4 - G4 - - - | E5 - G5 - B5 - A5 G5 | A5 - - - E5 - - - | "
        "F5 - E5 - D5 - C5 - | D5 - G5 - - - F5 E5 | E5 - - - G5 - C6 - | - - - - . . G4 B4",
        0.32f, 0.15f);
    for (int b = 0; b < 8; ++b) {
        song.Chord(Instrument::Pad, b * 4, 4, ChordNotes(chords[b], 4), 0.22f);
        ArpBar(song, b * 4, chords[b], 4, 0.16f, -0.35f);
        BassBar(song, b * 4, chords[b], 0.42f, false);
        song.Drums(Instrument::Kick, b * 4, 0.5, "x...x...", 0.6f);
        song.Drums(Instrument::Clap, b * 4, 0.5, "..x...x.", 0.3f, 0.1f);
        song.Drums(Instrument::Hat, b * 4, 0.5, "oxoxoxox", 0.14f, -0.2f);
    }
    CSound s = song.Render(kRate, true, 0, "title");
    Echo(s, 60.0 / 126 * 0.75, 0.3f, 0.28f, true);
    WriteOgg(tree, "sound/title.ogg", s, 0x51564E04);
}

// The first stage: a bouncy chase, sixteen bars around.
void MakeStageMusic(const CDataTree& tree)
{
    CSong song(144, 64);
    const char* chords[] = {"C", "Am", "F", "G", "C", "Am", "F", "G", "F", "G", "Em", "Am", "F", "G", "C", "G7"};
    song.Pattern(Instrument::Lead, 0, 0.5,
        "E5 - G5 - C6 - G5 - | A5 - - - E5 - C5 - | F5 - A5 - C6 - A5 F5 | G5 - - - D5 - B4 - | "
        "E5 - G5 - C6 - D6 - | E6 - - - C6 - A5 - | A5 - G5 - F5 - A5 - | G5 - - - . . . . | "
        "C6 - - A5 - - F5 - | D6 - - B5 - - G5 - | B5 - - G5 - - E5 - | C6 - B5 - A5 - E5 - | "
        "F5 - G5 - A5 - C6 - | B5 - C6 - D6 - G5 - | C6 - - - E6 - - - | D6 - C6 - B5 - G5 -",
        0.3f, 0.12f);
    for (int b = 0; b < 16; ++b) {
        const bool chorus = b >= 8;
        ArpBar(song, b * 4, chords[b], 4, chorus ? 0.15f : 0.18f, -0.4f);
        if (chorus)
            song.Chord(Instrument::Pad, b * 4, 4, ChordNotes(chords[b], 4), 0.2f);
        BassBar(song, b * 4, chords[b], 0.45f, true);
        song.Drums(Instrument::Kick, b * 4, 0.5, chorus ? "x.x.x.x." : "x...x.x.", 0.75f);
        song.Drums(Instrument::Snare, b * 4, 0.5, b % 4 == 3 ? "..x...xo" : "..x...x.", 0.4f, 0.1f);
        song.Drums(Instrument::Hat, b * 4, 0.5, "xoxoxoxo", 0.16f, -0.25f);
        song.Drums(Instrument::OpenHat, b * 4, 1, chorus ? "xxxx" : "....", 0.08f, 0.3f);
    }
    song.Drums(Instrument::Crash, 32, 1, "x", 0.35f);
    CSound s = song.Render(kRate, true, 0, "stage01");
    Echo(s, 60.0 / 144 * 0.75, 0.25f, 0.22f, true);
    WriteOgg(tree, "sound/stage01.ogg", s, 0x51564E05);
}

} // namespace

DATAGEN_REGISTER("music logo", MakeLogoJingle);
DATAGEN_REGISTER("music noise", MakeNoise);
DATAGEN_REGISTER("music opening", MakeOpening);
DATAGEN_REGISTER("music title", MakeTitleMusic);
DATAGEN_REGISTER("music stage", MakeStageMusic);

} // namespace datagen
