// Any bytes as the stage's building list: reading never crashes or reads past a line, each
// piece of at most 999 characters gives one building and one road, and every record is one
// the stage can use (a type of the eight, a facade of the 24, a road on the ground).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/CStage01.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The pieces that reading by 999 characters at most makes of the text.
size_t Pieces(const uint8_t* data, size_t size)
{
    size_t pieces = 0, length = 0;
    bool open = false;
    for (size_t i = 0; i < size; ++i) {
        open = true;
        ++length;
        if (data[i] == '\n' || length == 999) {
            ++pieces;
            length = 0;
            open = false;
        }
    }
    return pieces + (open ? 1 : 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A NUL inside a line ends what the scan sees of it, but not the piece.
    const std::string path = "/tmp/qv_fuzz_stagemap_" + std::to_string(getpid());
    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
        return 0;
    if (size > 0)
        fwrite(data, 1, size, out);
    fclose(out);

    static CD3DSafeTexture textures[CStage01::BUILDING_TEXTURES];
    std::vector<BuildingRecord> buildings;
    std::vector<RoadRecord> roads;
    FILE* in = fopen(path.c_str(), "rt");
    Check(in != nullptr);
    ReadStageMap(in, textures, buildings, roads);
    fclose(in);
    std::remove(path.c_str());

    Check(buildings.size() == roads.size());
    Check(buildings.size() == Pieces(data, size));
    for (size_t i = 0; i < buildings.size(); ++i) {
        Check(buildings[i].Type >= 0 && buildings[i].Type < CStage01::BUILDING_TYPES);
        Check(buildings[i].Texture >= textures && buildings[i].Texture < textures + CStage01::BUILDING_TEXTURES);
        Check(roads[i].Type == buildings[i].Type);
        Check(roads[i].World._42 == 0.01f);
    }
    return 0;
}
