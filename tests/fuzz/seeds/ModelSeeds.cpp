// Seeds for the model-path fuzz target from the game's own models in the generated data tree:
// every model short enough to be an input as it is, and every model whose compressed form is
// (the characters, too long as text, fit that way).
//
//   fuzz_seeds_ModelPath OUTPUT-FOLDER MAX-LEN
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/platform/xfile/XFileFixtures.h"

namespace fs = std::filesystem;

static void Write(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER MAX-LEN\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    const size_t maxLen = std::strtoul(argv[2], nullptr, 10);
    const fs::path models = fs::path(QV_RUN_DIR) / "data" / "xfile";
    fs::create_directories(out);
    size_t plain = 0, compressed = 0;
    for (const auto& e : fs::recursive_directory_iterator(models)) {
        if (!e.is_regular_file() || e.path().extension() != ".x") continue;
        std::ifstream in(e.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 16) continue;
        std::string name = fs::relative(e.path(), models).string();
        for (char& c : name)
            if (c == '/') c = '_';
        if (bytes.size() <= maxLen) {
            Write(out / name, bytes);
            ++plain;
        }
        const std::vector<uint8_t> packed = xfixture::Compress(bytes);
        if (packed.size() <= maxLen) {
            Write(out / (name + ".zip"), packed);
            ++compressed;
        }
    }
    std::printf("%zu models as they are, %zu compressed, in %s\n", plain, compressed, out.c_str());
    return plain + compressed > 0 ? 0 : 1;
}
