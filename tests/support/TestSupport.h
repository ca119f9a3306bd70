// Helpers shared by the test programs: folders, files and picture comparison.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

// The folder of committed test material (tests/), and the run folder with the generated data.
std::string SourceDir();
std::string RunDir();
// A fresh, empty folder for one test process, under the build tree; removed by nobody, so
// that a failing test's files can be looked at.
std::string MakeTempDir(const std::string& name);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteFileText(const std::string& path, const std::string& text);

// An RGBA picture, 8 bits a channel, rows from the top.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    uint8_t* At(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

bool LoadPng(const std::string& path, Image& image);
// Any picture file that stb_image reads (a BMP capture, say), as LoadPng reads a PNG.
bool LoadPicture(const std::string& path, Image& image);
bool SavePng(const std::string& path, const Image& image);

// Compares `actual` with the reference PNG tests/<referencePath>, each channel within
// `tolerance`. On a mismatch (or a missing reference) it writes <name>.actual.png and
// <name>.diff.png under the build tree and answers a text saying where; empty on success.
// With QV_UPDATE_REFERENCES=1 in the environment it writes the reference instead.
std::string CompareWithReference(const Image& actual, const std::string& referencePath, int tolerance);

// The same comparison between two pictures drawn by the test; on a mismatch it writes
// <name>.actual.png, <name>.expected.png and <name>.diff.png under the build tree.
std::string ComparePictures(const Image& actual, const Image& expected, int tolerance, const std::string& name,
                            const std::string& expectedName);

} // namespace qvtest
