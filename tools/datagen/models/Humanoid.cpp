#include "tools/datagen/models/Humanoid.h"

#include "tools/datagen/models/MeshBuilder.h"

#include <algorithm>
#include <map>

namespace xmodel {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kTwoPi = 6.28318531f;

float Smooth(float x)
{
    x = std::min(std::max(x, 0.0f), 1.0f);
    return x * x * (3.0f - 2.0f * x);
}

float Frac(float x) { return x - std::floor(x); }

} // namespace

const char* BoneName(int bone)
{
    static const char* const names[kBoneCount] = {
        "Frame0_Root", "Frame1_Hips", "Frame2_Waist", "Frame3_ThighL", "Frame4_ThighR", "Frame5_Breast",
        "Frame6_Neck", "Frame7_Head", "Frame8_UpperArmL", "Frame9_ForeArmL", "Frame10_HandL", "Frame11_UpperArmR",
        "Frame12_ForeArmR", "Frame13_HandR", "Frame14_ShinL", "Frame15_FootL", "Frame16_ShinR", "Frame17_FootR"};
    return names[bone];
}

int BoneParent(int bone)
{
    static const int parents[kBoneCount] = {-1,     kRoot,     kHips,     kHips,      kHips,     kWaist,
                                            kBreast, kNeck,    kBreast,   kUpperArmL, kForeArmL, kBreast,
                                            kUpperArmR, kForeArmR, kThighL, kShinL,   kThighR,   kShinR};
    return parents[bone];
}

std::array<Vec3, kBoneCount> Joints(const BodyShape& s)
{
    std::array<Vec3, kBoneCount> j;
    const float knee = s.ankleHeight + (s.hipHeight - s.ankleHeight) * 0.5f;
    j[kRoot] = {0, 0, 0};
    j[kHips] = {0, s.hipHeight, 0};
    j[kWaist] = {0, s.waistHeight, 0};
    j[kThighL] = {-s.hipWidth, s.hipHeight, 0};
    j[kThighR] = {s.hipWidth, s.hipHeight, 0};
    j[kBreast] = {0, s.breastHeight, 0};
    j[kNeck] = {0, s.neckHeight, 0};
    j[kHead] = {0, s.neckHeight + (s.height - s.neckHeight) * 0.2f, 0};
    j[kUpperArmL] = {-s.shoulderWidth, s.shoulderHeight, 0};
    j[kForeArmL] = {-s.shoulderWidth - 0.015f * s.height, s.shoulderHeight - s.upperArm, 0};
    j[kHandL] = {-s.shoulderWidth - 0.02f * s.height, s.shoulderHeight - s.upperArm - s.foreArm, 0};
    for (int b : {kUpperArmR, kForeArmR, kHandR}) {
        const Vec3 l = j[b - 3];
        j[b] = {-l.x, l.y, l.z};
    }
    j[kShinL] = {-s.hipWidth, knee, 0};
    j[kFootL] = {-s.hipWidth, s.ankleHeight, 0};
    j[kShinR] = {s.hipWidth, knee, 0};
    j[kFootR] = {s.hipWidth, s.ankleHeight, 0};
    return j;
}

std::array<Mat4, kBoneCount> LocalMatrices(const BodyShape& shape, const BodyPose& pose)
{
    const auto j = Joints(shape);
    std::array<Mat4, kBoneCount> m;
    for (int b = 0; b < kBoneCount; ++b) {
        const int p = BoneParent(b);
        const Vec3 bind = p < 0 ? j[b] : j[b] - j[p];
        const JointPose& q = pose[b];
        m[b] = RotationX(q.rotation.x) * RotationY(q.rotation.y) * RotationZ(q.rotation.z) * Translation(bind + q.offset);
    }
    return m;
}

Frame Skeleton(const BodyShape& shape, const BodyPose& pose, Mesh mesh)
{
    const auto local = LocalMatrices(shape, pose);
    std::array<Frame, kBoneCount> frames;
    for (int b = 0; b < kBoneCount; ++b) {
        frames[b].name = BoneName(b);
        frames[b].transform = local[b];
    }
    frames[kRoot].meshes.push_back(std::move(mesh));
    // Children are attached from the last bone backwards so that each subtree is complete
    // before it is moved into its parent; the order of siblings follows the bone order.
    std::array<std::vector<int>, kBoneCount> children;
    for (int b = 1; b < kBoneCount; ++b)
        children[BoneParent(b)].push_back(b);
    for (int b = kBoneCount - 1; b >= 0; --b)
        for (int c : children[b])
            frames[b].children.push_back(std::move(frames[c]));
    return std::move(frames[kRoot]);
}

Gait WalkGait()
{
    return {60.0f, 12.0f, 0.26f, 0.60f, 0.14f, 0.005f, 0.04f, 0.04f, 0.35f, 0.25f};
}

Gait RunGait()
{
    return {48.0f, 15.0f, 0.36f, 0.40f, 0.40f, 0.08f, 0.03f, 0.28f, 0.70f, 1.45f};
}

namespace {

// Sets thigh, shin and foot so that the ankle reaches `ankle` (model space) from the hip joint
// placed by the hips' offset, the foot pitched up by `toeUp`.
void SolveLeg(const BodyShape& shape, BodyPose& pose, int thigh, int shin, int foot, Vec3 ankle, float toeUp)
{
    const auto j = Joints(shape);
    const float legLength = shape.hipHeight - shape.ankleHeight;
    const float half = legLength * 0.5f;
    const Vec3 hip = j[thigh] + pose[kHips].offset;
    const float dy = ankle.y - hip.y, dz = ankle.z - hip.z;
    float d = std::sqrt(dy * dy + dz * dz);
    d = std::min(d, legLength * 0.9995f);
    const float alpha = std::atan2(dz, -dy);
    const float gamma = std::acos(std::min(1.0f, d / legLength));
    const float thighAngle = alpha + gamma;
    const float kneeY = hip.y - half * std::cos(thighAngle);
    const float kneeZ = hip.z + half * std::sin(thighAngle);
    const float shinAngle = std::atan2(ankle.z - kneeZ, -(ankle.y - kneeY));
    pose[thigh].rotation.x = -thighAngle;
    pose[shin].rotation.x = -(shinAngle - thighAngle);
    pose[foot].rotation.x = shinAngle - toeUp;
}

} // namespace

BodyPose GaitPose(const BodyShape& shape, const Gait& g, float t)
{
    BodyPose pose{};
    const float legLength = shape.hipHeight - shape.ankleHeight;
    const float k = shape.height / 1.2f;
    // Hips: lowest when a foot comes down (twice a cycle).
    const float twice = std::cos(2.0f * kTwoPi * (t - g.footDownL) / g.period);
    pose[kHips].offset.y = -legLength * (g.hipDrop + g.bob * (1.0f + twice) * 0.5f);
    for (int side = 0; side < 2; ++side) {
        const float down = g.footDownL + side * g.period * 0.5f;
        const float p = Frac((t - down) / g.period);
        float z, y, toeUp;
        if (p < g.stance) {
            const float u = p / g.stance;
            z = g.stride * (1.0f - 2.0f * u);
            y = 0.03f * u; // a slight rise through the stance: the foot is lowest as it comes down
            toeUp = u < 0.15f ? 0.15f * (1.0f - u / 0.15f) : u > 0.7f ? -0.5f * (u - 0.7f) / 0.3f : 0.0f;
        } else {
            const float q = (p - g.stance) / (1.0f - g.stance);
            z = -g.stride + 2.0f * g.stride * Smooth(q);
            y = g.lift * std::sin(kPi * q) + 0.03f * (1.0f - q);
            toeUp = -0.5f + 0.65f * Smooth(q);
        }
        // With the heel up the foot turns about its toe, which lifts the ankle.
        const float heelLift = toeUp < 0 ? 0.09f * k * std::sin(-toeUp) : 0.0f;
        const float x = side == 0 ? -shape.hipWidth : shape.hipWidth;
        const Vec3 ankle{x, shape.ankleHeight + y * legLength + heelLift, z * legLength};
        if (side == 0)
            SolveLeg(shape, pose, kThighL, kShinL, kFootL, ankle, toeUp);
        else
            SolveLeg(shape, pose, kThighR, kShinR, kFootR, ankle, toeUp);
    }
    // The upper body leans, twists against the legs and swings the arms against them.
    const float phase = kTwoPi * (t - g.footDownL) / g.period;
    pose[kWaist].rotation = {g.lean * 0.5f, 0.10f * std::cos(phase), 0};
    pose[kBreast].rotation = {g.lean * 0.5f, 0.06f * std::cos(phase), 0};
    pose[kNeck].rotation = {-g.lean * 0.6f, -0.12f * std::cos(phase), 0};
    const float swing = g.armSwing * std::cos(phase);
    pose[kUpperArmL].rotation = {swing, 0, -0.2f};
    pose[kUpperArmR].rotation = {-swing, 0, 0.2f};
    pose[kForeArmL].rotation = {-g.elbow - 0.25f * std::max(0.0f, -swing), 0, 0};
    pose[kForeArmR].rotation = {-g.elbow - 0.25f * std::max(0.0f, swing), 0, 0};
    return pose;
}

BodyPose IdlePose(const BodyShape& shape, float t)
{
    BodyPose pose{};
    const float legLength = shape.hipHeight - shape.ankleHeight;
    const float breath = std::sin(kTwoPi * t / 120.0f);
    pose[kHips].offset.y = -legLength * (0.02f + 0.004f * breath);
    SolveLeg(shape, pose, kThighL, kShinL, kFootL, Joints(shape)[kFootL], 0.0f);
    SolveLeg(shape, pose, kThighR, kShinR, kFootR, Joints(shape)[kFootR], 0.0f);
    pose[kBreast].rotation = {-0.02f * breath, 0, 0};
    pose[kNeck].rotation = {0.05f, 0.35f * std::sin(kTwoPi * t / 120.0f + 0.7f), 0};
    pose[kUpperArmL].rotation = {0.05f, 0, -0.2f - 0.03f * breath};
    pose[kUpperArmR].rotation = {0.05f, 0, 0.2f + 0.03f * breath};
    pose[kForeArmL].rotation = {-0.2f, 0, 0};
    pose[kForeArmR].rotation = {-0.2f, 0, 0};
    return pose;
}

BodyPose StandPose(const BodyShape& shape, float t)
{
    // Catching her breath after a run: bent forward, hands near the knees, quick breaths.
    BodyPose pose{};
    const float legLength = shape.hipHeight - shape.ankleHeight;
    const float breath = std::sin(kTwoPi * t / 40.0f);
    pose[kHips].offset = {0, -legLength * (0.08f + 0.01f * breath), -0.02f * legLength};
    const auto j = Joints(shape);
    SolveLeg(shape, pose, kThighL, kShinL, kFootL, j[kFootL] + Vec3{0, 0, 0.06f * legLength}, 0.0f);
    SolveLeg(shape, pose, kThighR, kShinR, kFootR, j[kFootR] - Vec3{0, 0, 0.04f * legLength}, 0.0f);
    pose[kWaist].rotation = {0.30f, 0, 0};
    pose[kBreast].rotation = {0.18f + 0.05f * breath, 0, 0};
    pose[kNeck].rotation = {-0.35f, 0.08f * std::sin(kTwoPi * t / 80.0f), 0};
    pose[kUpperArmL].rotation = {-0.55f, 0, -0.15f};
    pose[kUpperArmR].rotation = {-0.55f, 0, 0.15f};
    pose[kForeArmL].rotation = {-0.35f, 0, 0};
    pose[kForeArmR].rotation = {-0.35f, 0, 0};
    return pose;
}

Mesh BuildBody(const std::string& name, const BodyShape& shape, const std::vector<Part>& parts,
               const std::vector<Material>& materials, int slices)
{
    CMeshBuilder b(name);
    for (const Material& m : materials)
        b.AddMaterial(m);
    std::map<int, std::vector<std::pair<uint32_t, float>>> influence;
    for (const Part& part : parts) {
        const uint32_t first = AddLathe(b, part.a, part.b, part.side, part.rings, slices, part.material);
        const uint32_t count = static_cast<uint32_t>(b.VertexCount()) - first;
        for (uint32_t v = 0; v < count; ++v) {
            // Vertex 0 is the near pole, then the rings, then the far pole.
            float s = v == 0 ? 0.0f : v == count - 1 ? 1.0f : part.rings[(v - 1) / slices].s;
            float w = 1.0f;
            if (part.blendBone >= 0 && part.blend > 0)
                w = 0.5f + 0.5f * Smooth(s / part.blend);
            float f = 0.0f;
            int follower = -1;
            if (part.followLeft >= 0 && part.follow > 0) {
                const float x = b.Get().positions[first + v].x;
                const float side = std::min(1.0f, std::fabs(x) / 0.05f);
                f = part.follow * s * s * side;
                follower = x < 0 ? part.followLeft : part.followRight;
                w *= 1.0f - f;
            }
            influence[part.bone].push_back({first + v, w});
            if (part.blendBone >= 0 && w < 1.0f - f)
                influence[part.blendBone].push_back({first + v, 1.0f - f - w});
            if (follower >= 0 && f > 0)
                influence[follower].push_back({first + v, f});
        }
    }
    const auto j = Joints(shape);
    Mesh mesh = std::move(b.Get());
    for (auto& [bone, list] : influence) {
        SkinBone sb;
        sb.frame = BoneName(bone);
        std::sort(list.begin(), list.end());
        for (const auto& [v, w] : list) {
            sb.vertices.push_back(v);
            sb.weights.push_back(w);
        }
        sb.offset = Translation(j[bone] * -1.0f);
        mesh.bones.push_back(sb);
    }
    return mesh;
}

Mesh BakeBody(const Mesh& skinned, const BodyShape& shape, const BodyPose& pose, const Mat4& placement)
{
    Model m;
    m.roots.push_back(Skeleton(shape, pose, skinned));
    const std::vector<Mat4> combined = xmodel::Pose(m, -1, 0.0, placement);
    const Frame& root = m.roots[0];
    Mesh out = skinned;
    out.positions = PosedPositions(m, combined, root, root.meshes[0]);
    out.bones.clear();
    SmoothNormals(out);
    return out;
}

AnimationSet MakeSet(const std::string& name, const BodyShape& shape, float period, float step, uint32_t ticksPerUnit,
                     const std::function<BodyPose(float)>& pose)
{
    AnimationSet set;
    set.name = name;
    for (int b = 1; b < kBoneCount; ++b)
        set.animations.push_back({BoneName(b), {}});
    const int keys = static_cast<int>(std::lround(period / step));
    for (int k = 0; k <= keys; ++k) {
        // The last key repeats the first, so the cycle closes exactly at `period`.
        const float t = k == keys ? 0.0f : k * step;
        const auto local = LocalMatrices(shape, pose(t));
        const uint32_t tick = static_cast<uint32_t>(std::lround(k * step * static_cast<float>(ticksPerUnit)));
        for (int b = 1; b < kBoneCount; ++b)
            set.animations[b - 1].keys.push_back({tick, local[b]});
    }
    return set;
}

} // namespace xmodel
