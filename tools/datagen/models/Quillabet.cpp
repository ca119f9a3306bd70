// Quillabet, the giant heroine: the stage's model (a unit tall, drawn twenty times its size,
// standing and walking) and the opening's posed statue-still model.
#include "tools/datagen/models/Models.h"
#include "tools/datagen/models/Person.h"

#include "tools/datagen/ModelTextures.h"

#include <algorithm>

namespace models {

using namespace xmodel;

namespace {

BodyShape HeroineShape()
{
    // 0.95 units tall with long legs; her chest frame sits near (0, 0.65, 0).
    const float k = 0.95f / 1.2f;
    BodyShape s;
    s.height = 0.95f;
    s.hipHeight = 0.5f;
    s.hipWidth = 0.07f * k;
    s.shoulderWidth = 0.12f * k;
    s.shoulderHeight = 0.765f;
    s.neckHeight = 0.79f;
    s.waistHeight = 0.56f;
    s.breastHeight = 0.67f;
    s.ankleHeight = 0.06f * k;
    s.upperArm = 0.15f;
    s.foreArm = 0.14f;
    s.headRadius = 0.082f;
    return s;
}

Outfit HeroineOutfit()
{
    Outfit o;
    o.skinTexture = datagen::kTexSkin;
    o.topTexture = datagen::kTexClothQuillabet;
    o.skin = {1.0f, 0.85f, 0.75f, 1};
    o.hair = {0.95f, 0.78f, 0.36f, 1};
    o.top = {0.78f, 0.12f, 0.16f, 1};
    o.bottom = {0.93f, 0.93f, 0.96f, 1};
    o.shoes = {0.35f, 0.22f, 0.45f, 1};
    o.eyes = {0.1f, 0.3f, 0.5f, 1};
    o.accent = {0.92f, 0.76f, 0.2f, 1};
    o.longHair = true;
    return o;
}

} // namespace

Model BuildGameQuillabet()
{
    const BodyShape s = HeroineShape();
    const Gait walk = WalkGait();
    // Controller order 0 standing, 1 walking: the file lists them last first.
    std::vector<AnimationSet> sets{
        MakeSet("Walk", s, walk.period, 2.0f, kTicksPerUnit, [&](float t) { return GaitPose(s, walk, t); }),
        MakeSet("Stand", s, 120.0f, 4.0f, kTicksPerUnit, [&](float t) { return IdlePose(s, t); }),
    };
    return PersonModel("Mesh_Quillabet", s, HeroineOutfit(), 10, false, std::move(sets));
}

Model BuildOpeningQuillabet(const HeightGrid& heights)
{
    const BodyShape s = HeroineShape();
    Mesh skinned = BuildBody("Mesh_Quillabet", s, PersonParts(s, HeroineOutfit(), false), OutfitMaterials(HeroineOutfit()), 12);
    // Feet apart, fists on her hips, looking down at the crowd that runs towards her.
    BodyPose pose{};
    pose[kThighL].rotation = {0, 0, -0.16f};
    pose[kThighR].rotation = {0, 0, 0.16f};
    pose[kFootL].rotation = {0, 0, 0.16f};
    pose[kFootR].rotation = {0, 0, -0.16f};
    pose[kUpperArmL].rotation = {0.15f, 0, -0.75f};
    pose[kUpperArmR].rotation = {0.15f, 0, 0.75f};
    pose[kForeArmL].rotation = {-0.3f, 0, 1.9f};
    pose[kForeArmR].rotation = {-0.3f, 0, -1.9f};
    pose[kNeck].rotation = {0.3f, 0, 0};
    // The scene draws her eight times her size at (0, 7, 0); she is 2.4 units tall here and
    // turned to face the crowd coming from -z, her soles on the terrain below that point.
    const float scale = 2.4f / s.height;
    Mesh posed = BakeBody(skinned, s, pose, Scaling({scale, scale, scale}) * RotationY(3.14159265f));
    float lowest = posed.positions[0].y;
    for (const Vec3& p : posed.positions)
        lowest = std::min(lowest, p.y);
    const float feet = (HeightAt(heights, 0, 0) - 7.0f) / 8.0f;
    for (Vec3& p : posed.positions)
        p.y += feet - lowest;
    Model m;
    Frame f;
    f.name = "Frame0_Quillabet";
    f.meshes.push_back(std::move(posed));
    m.roots.push_back(std::move(f));
    return m;
}

} // namespace models
