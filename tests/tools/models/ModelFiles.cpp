#include "tools/models/ModelFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace qvtest {

using namespace xmodel;

Model LoadModel(const std::string& relative)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(DataDir() + "/" + relative);
    if (bytes.empty()) {
        ADD_FAILURE() << "missing or empty model " << relative;
        return Model();
    }
    try {
        return ReadText(std::string(bytes.begin(), bytes.end()));
    } catch (const std::exception& e) {
        ADD_FAILURE() << relative << ": " << e.what();
        return Model();
    }
}

models::HeightGrid HeightFile()
{
    const std::vector<uint8_t> bytes = ReadFileBytes(DataDir() + "/stage/OpeningGroundHeight.dat");
    if (bytes.size() != 201u * 201u * 4u)
        return {};
    models::HeightGrid g(201u * 201u);
    std::memcpy(g.data(), bytes.data(), bytes.size());
    return g;
}

Vec3 FrameOrigin(const Model& model, const std::vector<Mat4>& pose, const std::string& frame)
{
    const auto frames = AllFrames(model);
    for (size_t i = 0; i < frames.size(); ++i)
        if (frames[i]->name == frame)
            return pose[i].Translation();
    ADD_FAILURE() << "no frame " << frame;
    return {};
}

void Bounds(const Model& model, const std::vector<Mat4>& pose, Vec3& lo, Vec3& hi)
{
    lo = {1e30f, 1e30f, 1e30f};
    hi = {-1e30f, -1e30f, -1e30f};
    for (const Frame* f : AllFrames(model))
        for (const Mesh& m : f->meshes)
            for (const Vec3& p : PosedPositions(model, pose, *f, m)) {
                lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
                hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            }
}

float LowestTime(const Model& model, int set, const std::string& frame, float step)
{
    const double length = SetLength(model, set);
    float best = 0, lowest = 1e30f;
    for (float t = 0; t < length; t += step) {
        const float y = FrameOrigin(model, Pose(model, set, t), frame).y;
        if (y < lowest)
            lowest = y, best = t;
    }
    return best;
}

} // namespace qvtest
