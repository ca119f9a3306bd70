// The game's people: one skeleton of named frames, bodies made of smooth closed segments skinned
// to it, and the poses of their animations (idle, stand, walk, run) driven by a small leg solver
// so that planted feet meet the ground at the times the game plays its footsteps.
#pragma once

#include "tools/datagen/models/MeshBuilder.h"

#include <functional>
#include <string>
#include <vector>

namespace xmodel {

// Frames of every person, in this order (parents before children). The chest frame carries the
// name the stage tests against buildings.
enum Bone {
    kRoot, kHips, kWaist, kThighL, kThighR, kBreast, kNeck, kHead, kUpperArmL, kForeArmL, kHandL,
    kUpperArmR, kForeArmR, kHandR, kShinL, kFootL, kShinR, kFootR, kBoneCount
};
const char* BoneName(int bone);
int BoneParent(int bone);

// Proportions of a body, in model units; left is -x (the body faces +z).
struct BodyShape {
    float height = 1.2f;     // top of the head
    float hipHeight = 0.58f; // hip joints
    float hipWidth = 0.07f;  // x of each hip joint
    float shoulderWidth = 0.12f;
    float shoulderHeight = 0.92f;
    float neckHeight = 0.95f;
    float waistHeight = 0.66f;
    float breastHeight = 0.82f;
    float ankleHeight = 0.06f;
    float upperArm = 0.17f, foreArm = 0.16f;
    float headRadius = 0.115f;
};

struct JointPose {
    Vec3 rotation; // radians about x, y and z, applied x, then y, then z
    Vec3 offset;   // added to the bind translation
};
using BodyPose = std::array<JointPose, kBoneCount>;

// Bind positions of the joints in model space.
std::array<Vec3, kBoneCount> Joints(const BodyShape& shape);

// The local matrix of each frame for a pose.
std::array<Mat4, kBoneCount> LocalMatrices(const BodyShape& shape, const BodyPose& pose);

// The frame tree of a person (names from BoneName), holding `mesh` in the root frame.
Frame Skeleton(const BodyShape& shape, const BodyPose& pose, Mesh mesh);

// Motion styles.
struct Gait {
    float period;       // time units of a cycle
    float footDownL;    // time unit at which the left foot is lowest (the right half a cycle on)
    float stride;       // half the foot travel relative to the hips, in leg lengths
    float stance;       // share of the cycle a foot is down
    float lift;         // swing height in leg lengths
    float hipDrop;      // how far the hips sit below the bind height, in leg lengths
    float bob;          // hip bob, in leg lengths
    float lean;         // forward lean of the upper body, radians
    float armSwing;     // radians
    float elbow;        // radians of constant elbow bend
};
Gait WalkGait();
Gait RunGait();

// Poses: a gait at time t; calm poses at time t (breathing, a look round).
BodyPose GaitPose(const BodyShape& shape, const Gait& gait, float t);
BodyPose IdlePose(const BodyShape& shape, float t);
BodyPose StandPose(const BodyShape& shape, float t);

// A body part: a lathe from joint-relative points, bound to `bone`, blended with `blendBone`
// over the first `blend` share of its length (-1 for none).
struct Part {
    int bone;
    int blendBone;
    float blend;
    Vec3 a, b, side;
    std::vector<Ring> rings;
    uint32_t material;
    // A skirt: towards its hem each side follows a thigh by up to `follow`.
    int followLeft = -1, followRight = -1;
    float follow = 0;
};

// Builds the skinned mesh from parts (slices round each part) and writes the bone weights.
Mesh BuildBody(const std::string& name, const BodyShape& shape, const std::vector<Part>& parts,
               const std::vector<Material>& materials, int slices);

// The same body posed and baked into a plain mesh (for models without animation).
Mesh BakeBody(const Mesh& skinned, const BodyShape& shape, const BodyPose& pose, const Mat4& placement);

// An animation set keyed every `step` time units over [0, period], ticks = time x ticksPerUnit.
AnimationSet MakeSet(const std::string& name, const BodyShape& shape, float period, float step, uint32_t ticksPerUnit,
                     const std::function<BodyPose(float)>& pose);

} // namespace xmodel
