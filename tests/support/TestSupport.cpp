#include "support/TestSupport.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qvtest {

std::string SourceDir() { return QV_TEST_SOURCE_DIR; }
std::string RunDir() { return QV_RUN_DIR; }

std::string MakeTempDir(const std::string& name)
{
    // Test cases run at the same time in processes of their own: each process gets folders of
    // its own, so that cases sharing a name never remove each other's files.
    fs::path dir = fs::path(QV_TEST_OUTPUT_DIR) / "tmp" / (name + "." + std::to_string(getpid()));
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    return dir.string();
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFileText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool LoadPng(const std::string& path, Image& image)
{
    return LoadPicture(path, image);
}

bool LoadPicture(const std::string& path, Image& image)
{
    int w = 0, h = 0, n = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &n, 4);
    if (!data)
        return false;
    image.width = w;
    image.height = h;
    image.rgba.assign(data, data + static_cast<size_t>(w) * h * 4);
    stbi_image_free(data);
    return true;
}

bool SavePng(const std::string& path, const Image& image)
{
    fs::create_directories(fs::path(path).parent_path());
    return stbi_write_png(path.c_str(), image.width, image.height, 4, image.rgba.data(), image.width * 4) != 0;
}

std::string ComparePictures(const Image& actual, const Image& expected, int tolerance, const std::string& name,
                            const std::string& expectedName)
{
    const std::string out = (fs::path(QV_TEST_OUTPUT_DIR) / "pictures" / name).string();
    const std::string actualPath = out + ".actual.png";
    if (expected.width != actual.width || expected.height != actual.height) {
        SavePng(actualPath, actual);
        return "size differs from " + expectedName + "; actual written to " + actualPath;
    }
    Image diff = actual;
    int worst = 0;
    size_t bad = 0;
    for (size_t i = 0; i < actual.rgba.size(); i += 4) {
        int d = 0;
        for (int c = 0; c < 4; ++c)
            d = std::max(d, std::abs(int(actual.rgba[i + c]) - int(expected.rgba[i + c])));
        worst = std::max(worst, d);
        if (d > tolerance)
            ++bad;
        const uint8_t v = static_cast<uint8_t>(std::min(255, d * 4));
        diff.rgba[i] = v;
        diff.rgba[i + 1] = d > tolerance ? 0 : v;
        diff.rgba[i + 2] = d > tolerance ? 0 : v;
        diff.rgba[i + 3] = 255;
    }
    if (bad == 0)
        return {};
    SavePng(actualPath, actual);
    SavePng(out + ".expected.png", expected);
    SavePng(out + ".diff.png", diff);
    char text[512];
    std::snprintf(text, sizeof text, "%zu pixels differ from %s by more than %d (worst %d); see %s", bad,
                  expectedName.c_str(), tolerance, worst, actualPath.c_str());
    return text;
}

std::string CompareWithReference(const Image& actual, const std::string& referencePath, int tolerance)
{
    const fs::path reference = fs::path(SourceDir()) / referencePath;
    const char* update = std::getenv("QV_UPDATE_REFERENCES");
    if (update && std::string(update) == "1") {
        SavePng(reference.string(), actual);
        return {};
    }
    const std::string name = fs::path(referencePath).stem().string();
    Image expected;
    if (!LoadPng(reference.string(), expected)) {
        const std::string actualPath = (fs::path(QV_TEST_OUTPUT_DIR) / "pictures" / name).string() + ".actual.png";
        SavePng(actualPath, actual);
        return "no reference picture " + reference.string() + "; actual written to " + actualPath;
    }
    return ComparePictures(actual, expected, tolerance, name, reference.string());
}

} // namespace qvtest
