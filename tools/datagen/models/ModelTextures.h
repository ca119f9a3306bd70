// The pictures only the models use, generated with them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace models {

struct TextureFile {
    std::string path; // relative to the data folder
    std::vector<uint8_t> bytes;
};
std::vector<TextureFile> ModelTextures();

} // namespace models
