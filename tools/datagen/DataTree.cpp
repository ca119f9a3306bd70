#include "tools/datagen/DataTree.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace datagen {

std::vector<Generator>& Generators()
{
    static std::vector<Generator> list;
    return list;
}

void CDataTree::Write(const std::string& relative, const void* data, size_t size) const
{
    const std::filesystem::path path = std::filesystem::path(m_Root) / relative;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec)
        throw std::runtime_error("cannot create folder " + path.parent_path().string() + ": " + ec.message());
    FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot create " + path.string());
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace datagen
