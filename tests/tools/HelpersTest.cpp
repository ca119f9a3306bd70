// The generator's own building blocks: file encoders, drawing, noise, synthesis and formats.
#include "tools/datagen/Audio.h"
#include "tools/datagen/DataTree.h"
#include "tools/datagen/Fonts.h"
#include "tools/datagen/ImageFiles.h"
#include "tools/datagen/Map.h"
#include "tools/datagen/Noise.h"
#include "tools/datagen/Raster.h"
#include "tools/datagen/Synth.h"
#include "tools/datagen/Terrain.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <stb_image.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>

using namespace datagen;

namespace {

double Sum(const CMask& m)
{
    double s = 0;
    for (float a : m.Data())
        s += a;
    return s;
}

long LoadedFrames(const std::vector<uint8_t>& ogg, int& serial)
{
    const std::string path = qvtest::MakeTempDir("ogg_roundtrip") + "/a.ogg";
    qvtest::WriteFileBytes(path, ogg);
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0)
        return -1;
    serial = ov_serialnumber(&vf, -1);
    const long frames = static_cast<long>(ov_pcm_total(&vf, -1));
    ov_clear(&vf);
    return frames;
}

} // namespace

TEST(PictureFiles, TgaAndBmpReadBackAsDrawn)
{
    // Five columns: the BMP rows need padding, and the TGA keeps its alpha.
    CImage img(5, 3);
    img.Fill([](int x, int y) { return Color{x / 4.0f, y / 2.0f, 0.5f, (x + y) / 6.0f}; });
    const std::vector<uint8_t> expected = img.ToRgba8();

    const std::vector<uint8_t> tga = EncodeTga(img);
    int w = 0, h = 0, n = 0;
    unsigned char* p = stbi_load_from_memory(tga.data(), static_cast<int>(tga.size()), &w, &h, &n, 4);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 60), expected);
    stbi_image_free(p);

    const std::vector<uint8_t> bmp = EncodeBmp(img);
    EXPECT_EQ(bmp.size(), 54u + 3 * 16);
    p = stbi_load_from_memory(bmp.data(), static_cast<int>(bmp.size()), &w, &h, &n, 4);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(p[i * 4 + 0], expected[i * 4 + 0]);
        EXPECT_EQ(p[i * 4 + 1], expected[i * 4 + 1]);
        EXPECT_EQ(p[i * 4 + 2], expected[i * 4 + 2]);
        EXPECT_EQ(p[i * 4 + 3], 255);
    }
    stbi_image_free(p);
}

TEST(Raster, CoverageOfShapesMatchesTheirArea)
{
    CMask rect(64, 64);
    rect.FillRect(10.25, 10.5, 30.75, 20.25);
    // Exact across; down, edges fall on fifths of a pixel.
    EXPECT_NEAR(Sum(rect), 20.5 * 9.75, 20.5 * 0.1 * 2);
    EXPECT_NEAR(rect.At(10, 15), 0.75f, 1e-5f);

    CMask disc(64, 64);
    disc.FillEllipse(32, 32, 20, 20);
    EXPECT_NEAR(Sum(disc), 3.14159265 * 400, 2.0);

    // A contour running the other way inside another cuts a hole (nonzero winding).
    CMask ring(64, 64);
    ring.FillPolygon(std::vector<Contour>{RectContour(8, 8, 56, 56), Reversed(RectContour(16, 16, 48, 48))});
    EXPECT_NEAR(Sum(ring), 48.0 * 48 - 32.0 * 32, 0.5);
    EXPECT_EQ(ring.At(32, 32), 0.0f);
    EXPECT_EQ(ring.At(10, 10), 1.0f);

    // Shapes outside the picture draw nothing and do no harm.
    CMask outside(16, 16);
    outside.FillRect(-40, -40, -20, -20);
    outside.FillEllipse(100, 100, 10, 10);
    EXPECT_TRUE(outside.Empty());
}

TEST(Raster, ShrinkingKeepsTheColourOfSoftEdges)
{
    // Transparent pixels of another colour must not darken the edge of an opaque shape.
    CImage img(8, 8, Color{0, 0, 0, 0});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x)
            img.At(x, y) = Color{1, 0, 0, 1};
    const CImage small = img.Resized(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const Color c = small.At(x, y);
            if (c.a > 0.01f) {
                EXPECT_NEAR(c.r, 1.0f, 1e-4f);
                EXPECT_NEAR(c.g, 0.0f, 1e-4f);
            }
        }
    EXPECT_NEAR(small.At(0, 0).a, 1.0f, 1e-4f);
    EXPECT_NEAR(small.At(3, 0).a, 0.0f, 1e-4f);
}

TEST(Noise, RepeatsExactlyAtItsPeriod)
{
    CNoise noise("test");
    for (int i = 0; i < 50; ++i) {
        const double x = i * 0.37, y = i * 0.61;
        EXPECT_EQ(noise.At(x, y, 8), noise.At(x + 8, y, 8));
        EXPECT_EQ(noise.At(x, y, 8), noise.At(x, y - 16, 8));
        const double u = i / 64.0, v = (i * 7 % 64) / 64.0;
        EXPECT_FLOAT_EQ(noise.Fbm(u, v, 4, 4), noise.Fbm(u + 1.0, v, 4, 4));
        const float f = noise.Fbm(u, v, 5, 2);
        EXPECT_GE(f, 0.0f);
        EXPECT_LE(f, 1.0f);
    }
    EXPECT_NE(CNoise("a").At(0.5, 0.5, 8), CNoise("b").At(0.5, 0.5, 8));
}

TEST(Synth, NoteNamesGiveMidiNumbers)
{
    EXPECT_EQ(NoteNumber("C4"), 60);
    EXPECT_EQ(NoteNumber("A4"), 69);
    EXPECT_EQ(NoteNumber("F#4"), 66);
    EXPECT_EQ(NoteNumber("Bb3"), 58);
    EXPECT_EQ(NoteNumber("C-1"), 0);
    EXPECT_THROW(NoteNumber("H2"), std::runtime_error);
    EXPECT_NEAR(MidiToHz(69), 440.0, 1e-9);
}

TEST(Synth, ALoopTakesNotesThatRingPastItsEndBackToItsStart)
{
    CSong song(120, 4); // two seconds
    song.Pattern(Instrument::Pad, 3.5, 0.5, "C4", 0.8f);
    const CSound loop = song.Render(8000, true, 0.0, "wrap");
    const CSound once = song.Render(8000, false, 0.0, "wrap");
    ASSERT_EQ(loop.Frames(), 16000u);
    ASSERT_EQ(once.Frames(), 16000u);
    double loopStart = 0, onceStart = 0;
    for (size_t i = 0; i < 1000; ++i) {
        loopStart += std::fabs(loop.Data[i * 2]);
        onceStart += std::fabs(once.Data[i * 2]);
    }
    EXPECT_GT(loopStart, 1.0) << "the pad's release should be heard at the loop's start";
    EXPECT_EQ(onceStart, 0.0);
}

TEST(Synth, AnEchoOfALoopComesRoundToItsStart)
{
    CSound s(1000, 1, 1000);
    s.Data[900] = 1.0f;
    Echo(s, 0.2, 0.5f, 0.5f, true);
    EXPECT_NEAR(s.Data[100], 0.5f, 1e-6f); // 900 + 200 wraps to 100
    EXPECT_NEAR(s.Data[300], 0.25f, 1e-6f);
    CSound once(1000, 1, 1000);
    once.Data[900] = 1.0f;
    Echo(once, 0.2, 0.5f, 0.5f, false);
    EXPECT_EQ(once.Data[100], 0.0f);
}

TEST(SoundFiles, WavSamplesAreClampedSixteenBitPcm)
{
    CSound s(22050, 1, 4);
    s.Data = {2.0f, -2.0f, 0.5f, 0.0f};
    const std::vector<uint8_t> wav = EncodeWav(s);
    ASSERT_EQ(wav.size(), 44u + 8);
    auto sample = [&](int i) { return static_cast<int16_t>(wav[44 + i * 2] | wav[45 + i * 2] << 8); };
    EXPECT_EQ(sample(0), 32767);
    EXPECT_EQ(sample(1), -32767);
    EXPECT_EQ(sample(2), 16384);
    EXPECT_EQ(sample(3), 0);
    EXPECT_EQ(wav[22], 1);                        // mono
    EXPECT_EQ(wav[24] | wav[25] << 8, 22050 & 0xFFFF);
}

TEST(SoundFiles, OggEncodingRepeatsAndKeepsEverySample)
{
    CSound s(44100, 2, 44100 + 123);
    for (size_t i = 0; i < s.Frames(); ++i) {
        s.Data[i * 2] = static_cast<float>(0.5 * std::sin(i * 0.05));
        s.Data[i * 2 + 1] = static_cast<float>(0.3 * std::sin(i * 0.031));
    }
    const auto a = EncodeOgg(s, 0.3f, 4242), b = EncodeOgg(s, 0.3f, 4242);
    EXPECT_EQ(a, b);
    int serial = 0;
    EXPECT_EQ(LoadedFrames(a, serial), 44100 + 123);
    EXPECT_EQ(serial, 4242);
}

TEST(StageFormats, MapLinesScanBackToTheirBuildings)
{
    const auto city = StageOneCity();
    std::istringstream text(FormatMap(city));
    std::string line;
    size_t i = 0;
    while (std::getline(text, line)) {
        ASSERT_LT(i, city.size());
        char kind[64], lot[64];
        float v[9];
        ASSERT_EQ(std::sscanf(line.c_str(), "%s %s %f %f %f %f %f %f %f %f %f", kind, lot, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6],
                      &v[7], &v[8]),
            11)
            << line;
        const MapBuilding& b = city[i++];
        char expectedKind[32];
        std::snprintf(expectedKind, sizeof(expectedKind), "building%03d", b.Type + 1);
        EXPECT_STREQ(kind, expectedKind);
        EXPECT_EQ(b.Lot, lot);
        EXPECT_NEAR(v[0], b.X, 1e-4);
        EXPECT_NEAR(v[2], b.Z, 1e-4);
        EXPECT_NEAR(v[3], b.Angle, 1e-5);
        EXPECT_NEAR(v[6], b.Width, 1e-5);
        EXPECT_NEAR(v[7], b.Height, 1e-5);
        EXPECT_NEAR(v[8], b.Depth, 1e-5);
    }
    EXPECT_EQ(i, city.size());
}

TEST(StageFormats, HeightGridSamplesTheTerrain)
{
    const auto grid = OpeningGroundGrid();
    ASSERT_EQ(grid.size(), 201u * 201u);
    for (int r = 0; r < 201; r += 25)
        for (int c = 0; c < 201; c += 20)
            EXPECT_EQ(grid[static_cast<size_t>(r) * 201 + c], OpeningGroundHeight(c - 100, r - 100));
}

TEST(Fonts, AMissingFaceNamesThePackageToInstall)
{
    try {
        CFont font("No Such Family Anywhere", "Regular", "fonts-imaginary");
        FAIL() << "a missing font must not be replaced by another";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("fonts-imaginary"), std::string::npos) << e.what();
    }
    ReleaseFontconfig();
}

TEST(Generators, EachKindIsRegisteredOnce)
{
    std::set<std::string> names;
    for (const Generator& g : Generators())
        EXPECT_TRUE(names.insert(g.Name).second) << g.Name;
    for (const char* name : {"font", "logo", "title", "messages", "shadow", "smoke", "facades", "model textures", "map", "terrain",
             "shader", "music stage", "sound voice"})
        EXPECT_EQ(names.count(name), 1u) << name;
}
