// Every model of the game's ".\data\xfile\" tree, built procedurally: the people (Rina, her
// shadow, the title character, the heroine, the townspeople), the opening's camera path, sky and
// terrain, and the city's ground, camera box, buildings, broken pieces and roads.
#pragma once

#include "tools/datagen/models/XModel.h"

#include <string>
#include <vector>

namespace models {

// The opening's terrain: 201 x 201 heights, rows by z from -100, columns by x from -100.
using HeightGrid = std::vector<float>;
float HeightAt(const HeightGrid& grid, float x, float z); // bilinear, clamped to the grid

xmodel::Model BuildRina();
xmodel::Model BuildRinaShadow();
xmodel::Model BuildTitleChar();
xmodel::Model BuildPhill();
xmodel::Model BuildGameQuillabet();
xmodel::Model BuildOpeningQuillabet(const HeightGrid& heights);
xmodel::Model BuildOpeningCamera(const HeightGrid& heights);
xmodel::Model BuildOpeningSky();
xmodel::Model BuildOpeningGround(const HeightGrid& heights);
xmodel::Model BuildCityGround();
xmodel::Model BuildCameraBox();
xmodel::Model BuildBuilding(int type);                    // type 0 to 7
std::vector<xmodel::Model> BuildBuildingPieces(int type); // 64 pieces
xmodel::Model BuildRoad(int type);

// The opening camera's eye and target at time t (frames), as the path is keyed.
void OpeningCameraAt(const HeightGrid& heights, float t, xmodel::Vec3& eye, xmodel::Vec3& target);

struct ModelFile {
    std::string path; // relative to the data folder, e.g. "xfile/Rina.x"
    xmodel::Model model;
};
// Every model file, in a fixed order.
std::vector<ModelFile> AllModels(const HeightGrid& heights);

// The terrain the height file holds (the numbers the height file is written from).
HeightGrid OpeningHeights();

// Writes every model below `dataDir` (the generator's temporary tree). Each model is checked,
// written, read back and compared; a fault throws std::runtime_error naming the model.
void WriteModels(const std::string& dataDir);
// The same for a given list of models.
void WriteModelFiles(const std::vector<ModelFile>& files, const std::string& dataDir);

} // namespace models
