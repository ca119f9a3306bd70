// The generated sounds: PCM WAV effects as the sound channels load them, and Ogg Vorbis music
// as the music streams decode it, with clean seams where the music loops.
#include "tools/DataFiles.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace qvtest;

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24; }
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

struct Pcm {
    int channels = 0;
    long rate = 0;
    long long total = -1;   // samples per channel the stream states
    std::vector<int16_t> samples; // interleaved, as decoded
};

bool DecodeOgg(const std::string& relative, Pcm& pcm)
{
    OggVorbis_File vf;
    if (ov_fopen((DataDir() + "/" + relative).c_str(), &vf) != 0)
        return false;
    const vorbis_info* info = ov_info(&vf, -1);
    pcm.channels = info->channels;
    pcm.rate = info->rate;
    pcm.total = ov_pcm_total(&vf, -1);
    char buffer[4096];
    int section = 0;
    for (;;) {
        const long n = ov_read(&vf, buffer, sizeof(buffer), 0, 2, 1, &section);
        if (n <= 0)
            break;
        const size_t old = pcm.samples.size();
        pcm.samples.resize(old + static_cast<size_t>(n) / 2);
        std::memcpy(&pcm.samples[old], buffer, static_cast<size_t>(n));
    }
    ov_clear(&vf);
    return true;
}

// How far a sample strays from the straight line through the two before it, for the seam
// (the last two samples followed by the first) against the same measure over the whole piece.
void SeamAgainstPiece(const std::vector<float>& x, double& seam, double& typical)
{
    const size_t n = x.size();
    std::vector<double> errors;
    for (size_t i = 2; i < n; ++i)
        errors.push_back(std::fabs(x[i] - (2.0 * x[i - 1] - x[i - 2])));
    std::sort(errors.begin(), errors.end());
    typical = errors[errors.size() * 995 / 1000];
    seam = std::fabs(x[0] - (2.0 * x[n - 1] - x[n - 2]));
}

std::vector<float> Channel(const std::vector<int16_t>& s, int channels, int c)
{
    std::vector<float> out;
    for (size_t i = static_cast<size_t>(c); i < s.size(); i += static_cast<size_t>(channels))
        out.push_back(s[i] / 32768.0f);
    return out;
}

} // namespace

TEST(SoundEffects, ArePcmWavesOfSensibleLength)
{
    struct Expect {
        const char* file;
        double minSeconds, maxSeconds;
    };
    const Expect effects[] = {{"pause.wav", 0.1, 1.0}, {"voice.wav", 0.5, 2.5}, {"footsteps.wav", 1.0, 4.0}, {"start.wav", 0.5, 3.0},
        {"break.wav", 1.5, 5.0}, {"walkQuillabet.wav", 0.5, 3.0}, {"walk.wav", 0.05, 0.5}};
    for (const Expect& e : effects) {
        const auto b = ReadFileBytes(DataDir() + "/sound/" + e.file);
        ASSERT_GE(b.size(), 44u) << e.file;
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF") << e.file;
        EXPECT_EQ(Le32(b, 4), b.size() - 8) << e.file;
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ") << e.file;
        EXPECT_EQ(Le32(b, 16), 16u);
        EXPECT_EQ(Le16(b, 20), 1) << "PCM, " << e.file;
        const int channels = Le16(b, 22), bits = Le16(b, 34);
        const uint32_t rate = Le32(b, 24);
        EXPECT_EQ(bits, 16);
        EXPECT_EQ(Le32(b, 28), rate * channels * 2);
        EXPECT_EQ(Le16(b, 32), channels * 2);
        EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
        const uint32_t size = Le32(b, 40);
        ASSERT_EQ(size, b.size() - 44) << e.file;
        const double seconds = static_cast<double>(size) / (rate * channels * 2);
        EXPECT_GE(seconds, e.minSeconds) << e.file;
        EXPECT_LE(seconds, e.maxSeconds) << e.file;
        // Loud enough to hear, and not clipped.
        int peak = 0, atLimit = 0;
        for (size_t i = 44; i + 1 < b.size(); i += 2) {
            const int v = std::abs(static_cast<int16_t>(Le16(b, i)));
            peak = std::max(peak, v);
            atLimit += v >= 32767;
        }
        EXPECT_GT(peak, 8000) << e.file;
        EXPECT_EQ(atLimit, 0) << e.file;
    }
}

TEST(SoundEffects, RunningFootstepsLoopWithoutASeam)
{
    const auto b = ReadFileBytes(DataDir() + "/sound/footsteps.wav");
    ASSERT_GT(b.size(), 1000u);
    std::vector<float> x;
    for (size_t i = 44; i + 1 < b.size(); i += 2)
        x.push_back(static_cast<int16_t>(Le16(b, i)) / 32768.0f);
    double seam, typical;
    SeamAgainstPiece(x, seam, typical);
    EXPECT_LE(seam, typical);
}

TEST(Music, OpensWithItsStatedLength)
{
    struct Expect {
        const char* file;
        double minSeconds, maxSeconds;
    };
    const Expect pieces[] = {{"vannet.ogg", 2.0, 12.0}, {"noize.ogg", 1.0, 10.0}, {"opening.ogg", 13.0, 30.0}, {"title.ogg", 8.0, 60.0},
        {"stage01.ogg", 15.0, 90.0}};
    for (const Expect& e : pieces) {
        Pcm pcm;
        ASSERT_TRUE(DecodeOgg(std::string("sound/") + e.file, pcm)) << e.file;
        EXPECT_EQ(pcm.channels, 2) << e.file;
        EXPECT_EQ(pcm.rate, 44100) << e.file;
        EXPECT_EQ(static_cast<long long>(pcm.samples.size()) / pcm.channels, pcm.total) << e.file << ": decoded length differs from the stated one";
        const double seconds = static_cast<double>(pcm.total) / pcm.rate;
        EXPECT_GE(seconds, e.minSeconds) << e.file;
        EXPECT_LE(seconds, e.maxSeconds) << e.file;
        const auto peak = std::max_element(pcm.samples.begin(), pcm.samples.end(), [](int16_t a, int16_t b) { return std::abs(a) < std::abs(b); });
        EXPECT_GT(std::abs(*peak), 12000) << e.file;
    }
}

TEST(Music, LoopingPiecesRunFromTheirLastSampleIntoTheirFirst)
{
    for (const char* file : {"vannet.ogg", "noize.ogg", "title.ogg", "stage01.ogg"}) {
        Pcm pcm;
        ASSERT_TRUE(DecodeOgg(std::string("sound/") + file, pcm)) << file;
        for (int c = 0; c < pcm.channels; ++c) {
            double seam, typical;
            SeamAgainstPiece(Channel(pcm.samples, pcm.channels, c), seam, typical);
            EXPECT_LE(seam, typical) << file << " channel " << c << ": the loop seam jumps";
        }
    }
}

TEST(Music, EachStreamHasItsOwnSerialNumber)
{
    std::vector<uint32_t> serials;
    for (const char* file : {"vannet.ogg", "noize.ogg", "opening.ogg", "title.ogg", "stage01.ogg"}) {
        const auto b = ReadFileBytes(DataDir() + "/sound/" + file);
        ASSERT_GT(b.size(), 28u);
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "OggS") << file;
        serials.push_back(Le32(b, 14));
    }
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(std::unique(serials.begin(), serials.end()), serials.end());
}
