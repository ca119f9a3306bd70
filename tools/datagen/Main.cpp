// Writes the game's ".\data\" tree into the folder given on the command line.
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "tools/datagen/models/Models.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv_datagen <data folder>\n");
        return 2;
    }
    try {
        std::filesystem::create_directories(argv[1]);
        models::WriteModels(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qv_datagen: %s\n", e.what());
        return 1;
    }
    return 0;
}
