// Models written by the model tests, and the surroundings they load and draw in: a device of
// 160x120 on the device owner, in a folder of the test's own that holds the shadow effect file.
#pragma once

#include <string>

#include "platform/platform.h"
#include "support/D3D9Fixture.h"

namespace modelfixture {

// A square column two units high (three rings of four corners, eight side quads), a red
// material below and a blue one above, skinned to "Bone0" (at the base) and "Bone1" (one unit
// up, halfway corners shared half and half), under the frame "Root" that also holds the mesh.
// Two animation sets at 100 ticks a second: "Bend" (set 0: Bone1 turns a quarter turn about z
// over one second) and "Sway" (set 1: Bone0 moves 0.5 along x over one second).
std::string ColumnText();

// The column with a texture file named by its lower material.
std::string TexturedColumnText(const std::string& textureFile);

// Two unnamed frames, each with an unnamed quad without normals or materials, folded along
// its diagonal so that its boxes have depth, at the given translations; no animation.
std::string PlainText(float ax, float ay, float az, float bx, float by, float bz);

// One triangle whose three corners are weighted half to "BoneA" and half to "BoneB"; both
// bones have frames, "BoneC" has a frame and an influence on no face.
std::string TiedTriangleText();

// The column without its animation sets.
std::string StillColumnText();

// The tied triangle twice, as two skinned meshes of one frame.
std::string TwoSkinnedMeshesText();

// The column whose second bone names no frame.
std::string MissingBoneText();

// The running test's name, for its folder.
std::string TestName();

// Writes a file in the current folder and answers its name.
std::string Write(const std::string& name, const std::string& text);

// The test's folder made current, the effect file in it, a window, and the device owner
// initialised on it; released in the destructor.
class Surroundings {
public:
    explicit Surroundings(const std::string& testName);
    ~Surroundings();
    bool Ready() const { return ready_; }
    HWND Window() const { return window_; }

private:
    bool ready_ = false;
    HWND window_ = nullptr;
    std::string previous_;
};

} // namespace modelfixture
