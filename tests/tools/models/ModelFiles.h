// Reading the generated model files in the tests.
#pragma once

#include "support/TestSupport.h"
#include "tools/DataFiles.h"
#include "tools/datagen/models/Models.h"

#include <string>

namespace qvtest {

// A model file below the generated data folder, read and parsed.
xmodel::Model LoadModel(const std::string& relative); // e.g. "xfile/Rina.x"; fails the test on error
// The heights of "stage/OpeningGroundHeight.dat" when the file exists, else empty.
models::HeightGrid HeightFile();

// Position of a frame's origin in a pose (combined matrices as xmodel::Pose gives them).
xmodel::Vec3 FrameOrigin(const xmodel::Model& model, const std::vector<xmodel::Mat4>& pose, const std::string& frame);

// Bounding box of all meshes in a pose.
void Bounds(const xmodel::Model& model, const std::vector<xmodel::Mat4>& pose, xmodel::Vec3& lo, xmodel::Vec3& hi);

// Time (in the set's units) at which a frame's origin is lowest over one cycle, sampled every
// `step` units.
float LowestTime(const xmodel::Model& model, int set, const std::string& frame, float step = 0.25f);

} // namespace qvtest
