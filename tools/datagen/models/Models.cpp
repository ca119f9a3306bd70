#include "tools/datagen/models/Models.h"

#include "tools/datagen/DataTree.h"
#include "tools/datagen/Terrain.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace models {

HeightGrid OpeningHeights() { return datagen::OpeningGroundGrid(); }

std::vector<ModelFile> AllModels(const HeightGrid& heights)
{
    std::vector<ModelFile> files;
    files.push_back({"xfile/Rina.x", BuildRina()});
    files.push_back({"xfile/RinaShadow.x", BuildRinaShadow()});
    files.push_back({"xfile/TitleChar.x", BuildTitleChar()});
    files.push_back({"xfile/Phill.x", BuildPhill()});
    files.push_back({"xfile/gameQuillabet.x", BuildGameQuillabet()});
    files.push_back({"xfile/Quillabet.x", BuildOpeningQuillabet(heights)});
    files.push_back({"xfile/OpeningCamera.x", BuildOpeningCamera(heights)});
    files.push_back({"xfile/OpeningSky.x", BuildOpeningSky()});
    files.push_back({"xfile/OpeningGround.x", BuildOpeningGround(heights)});
    files.push_back({"xfile/map/ground.x", BuildCityGround()});
    // The stage loads its camera box from the model folder; the map folder keeps a copy.
    files.push_back({"xfile/camera.x", BuildCameraBox()});
    files.push_back({"xfile/map/camera.x", BuildCameraBox()});
    char name[64];
    for (int t = 0; t < 8; ++t) {
        std::snprintf(name, sizeof name, "xfile/map/building%03d.x", t + 1);
        files.push_back({name, BuildBuilding(t)});
        std::vector<xmodel::Model> pieces = BuildBuildingPieces(t);
        for (size_t p = 0; p < pieces.size(); ++p) {
            std::snprintf(name, sizeof name, "xfile/map/building%03dBreak%03d.x", t + 1, static_cast<int>(p + 1));
            files.push_back({name, std::move(pieces[p])});
        }
        std::snprintf(name, sizeof name, "xfile/map/building%03dRoad.x", t + 1);
        files.push_back({name, BuildRoad(t)});
    }
    return files;
}

namespace {

// The shape of a model as far as a reader sees it, to compare a file read back with the model
// it was written from.
std::string Outline(const xmodel::Model& m)
{
    std::string s = std::to_string(m.ticksPerSecond) + "|";
    for (const xmodel::Frame* f : xmodel::AllFrames(m)) {
        s += f->name + "(";
        for (const xmodel::Mesh& mesh : f->meshes)
            s += mesh.name + ":" + std::to_string(mesh.positions.size()) + "/" + std::to_string(mesh.faces.size()) + "/" +
                 std::to_string(mesh.materials.size()) + "/" + std::to_string(mesh.bones.size()) + ";";
        s += ")";
    }
    for (const xmodel::AnimationSet& set : m.sets) {
        s += set.name + "[";
        for (const xmodel::Animation& a : set.animations)
            s += a.frame + ":" + std::to_string(a.keys.size()) + ";";
        s += "]";
    }
    return s;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec)
        throw std::runtime_error("cannot create folder " + path.parent_path().string() + ": " + ec.message());
    // Written beside its real name and renamed, so a failed run never leaves half a file.
    const std::filesystem::path temp = path.string() + ".tmp";
    FILE* f = std::fopen(temp.string().c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot create " + temp.string());
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok)
        throw std::runtime_error("cannot write " + temp.string());
    std::filesystem::rename(temp, path, ec);
    if (ec)
        throw std::runtime_error("cannot rename " + temp.string() + ": " + ec.message());
}

} // namespace

void WriteModels(const std::string& dataDir) { WriteModelFiles(AllModels(OpeningHeights()), dataDir); }

void WriteModelFiles(const std::vector<ModelFile>& files, const std::string& dataDir)
{
    const std::filesystem::path root(dataDir);
    for (const ModelFile& file : files) {
        const std::string what = "model " + file.path;
        xmodel::Validate(file.model, what);
        if (file.path == "xfile/RinaShadow.x")
            for (const xmodel::Frame* f : xmodel::AllFrames(file.model))
                for (const xmodel::Mesh& mesh : f->meshes) {
                    const std::string fault = xmodel::ClosedMeshFault(mesh);
                    if (!fault.empty())
                        throw std::runtime_error(what + ": the shadow mesh is not closed: " + fault);
                    if (mesh.positions.size() > 0xFFFF || mesh.faces.size() * 12 > 0xFFFF)
                        throw std::runtime_error(what + ": the shadow volume would need more than 16-bit indices");
                }
        const std::string text = xmodel::WriteText(file.model);
        const xmodel::Model back = xmodel::ReadText(text);
        xmodel::Validate(back, what + " (read back)");
        if (Outline(back) != Outline(file.model))
            throw std::runtime_error(what + ": the file does not read back as written");
        WriteFile(root / file.path, text);
    }
}

namespace {

DATAGEN_REGISTER("models", [](const datagen::CDataTree& tree) { WriteModels(tree.Root()); });

} // namespace

} // namespace models
