#include "tools/DataFiles.h"

#include <stb_image.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace qvtest {

std::string DataDir() { return RunDir() + "/data"; }

bool LoadTexture(const std::string& relative, Image& image)
{
    int w = 0, h = 0, n = 0;
    unsigned char* data = stbi_load((DataDir() + "/" + relative).c_str(), &w, &h, &n, 4);
    if (!data)
        return false;
    image.width = w;
    image.height = h;
    image.rgba.assign(data, data + static_cast<size_t>(w) * h * 4);
    stbi_image_free(data);
    return true;
}

std::vector<std::string> ListFiles(const std::string& root)
{
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files.push_back(fs::relative(e.path(), root).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

int RunCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return -1;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), p)) > 0)
        output.append(buffer.data(), n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Checksum(const std::vector<uint8_t>& bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

namespace {
const char* const kCommittedTree = QV_TEST_SOURCE_DIR "/tools/data-checksums.txt";
}

std::map<std::string, CommittedFile> CommittedTree()
{
    std::map<std::string, CommittedFile> tree;
    std::ifstream in(kCommittedTree);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        CommittedFile f;
        std::string path;
        fields >> f.checksum >> f.size >> path;
        tree[path] = f;
    }
    return tree;
}

void WriteCommittedTree(const std::map<std::string, CommittedFile>& tree)
{
    std::ofstream out(kCommittedTree);
    out << "# The generated data tree: checksum (64-bit FNV-1a), size and path of every file, checked\n"
           "# by hand. \"-\" where the bytes depend on the host's FreeType or libvorbis.\n";
    for (const auto& [path, f] : tree)
        out << f.checksum << ' ' << f.size << ' ' << path << '\n';
}

bool HostDependent(const std::string& relative)
{
    static const char* const drawnWithFonts[] = {"graphics/font.tga", "graphics/vannet.tga", "graphics/title.tga",
                                                 "graphics/Stage01Message00.tga", "graphics/Stage01Message01.tga",
                                                 "graphics/Stage01Message02.tga"};
    for (const char* f : drawnWithFonts)
        if (relative == f)
            return true;
    return relative.size() > 4 && relative.compare(relative.size() - 4, 4, ".ogg") == 0;
}

} // namespace qvtest
