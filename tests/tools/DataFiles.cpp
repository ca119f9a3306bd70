#include "tools/DataFiles.h"

#include <stb_image.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
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

} // namespace qvtest
