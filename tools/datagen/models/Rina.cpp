// Rina, the player: a girl of 1.2 units in a white blouse and navy skirt with twin tails; her
// shadow model; and the posed title character.
#include "tools/datagen/models/Models.h"
#include "tools/datagen/models/Person.h"

#include "tools/datagen/ModelTextures.h"

namespace models {

using namespace xmodel;

namespace {

BodyShape RinaShape()
{
    return BodyShape{};
}

Outfit RinaOutfit()
{
    Outfit o;
    o.skinTexture = datagen::kTexSkin;
    o.topTexture = datagen::kTexClothRina;
    o.hairTexture = datagen::kTexHair;
    o.skin = {1.0f, 0.83f, 0.72f, 1};
    o.hair = {0.42f, 0.24f, 0.14f, 1};
    o.top = {0.96f, 0.96f, 0.98f, 1};
    o.bottom = {0.16f, 0.2f, 0.48f, 1};
    o.shoes = {0.62f, 0.12f, 0.12f, 1};
    o.eyes = {0.12f, 0.1f, 0.22f, 1};
    o.accent = {0.95f, 0.95f, 0.95f, 1};
    o.skirt = true;
    o.twinTails = true;
    return o;
}

// Track order on the controller is 0 idle, 1 stand, 2 walk, 3 run. The loader lists a file's
// animation sets last first, so the file holds them the other way round.
std::vector<AnimationSet> RinaSets()
{
    const BodyShape s = RinaShape();
    const Gait walk = WalkGait(), run = RunGait();
    return {
        MakeSet("Run", s, run.period, 1.0f, kTicksPerUnit, [&](float t) { return GaitPose(s, run, t); }),
        MakeSet("Walk", s, walk.period, 2.0f, kTicksPerUnit, [&](float t) { return GaitPose(s, walk, t); }),
        MakeSet("Stand", s, 40.0f, 2.0f, kTicksPerUnit, [&](float t) { return StandPose(s, t); }),
        MakeSet("Idle", s, 120.0f, 4.0f, kTicksPerUnit, [&](float t) { return IdlePose(s, t); }),
    };
}

} // namespace

Model BuildRina()
{
    return PersonModel("Mesh_Rina", RinaShape(), RinaOutfit(), 10, false, RinaSets());
}

Model BuildRinaShadow()
{
    // Coarse and closed: six sides round each part and no eyes.
    return PersonModel("Mesh_RinaShadow", RinaShape(), RinaOutfit(), 6, true, RinaSets());
}

Model BuildTitleChar()
{
    const BodyShape s = RinaShape();
    Mesh skinned = BuildBody("Mesh_TitleChar", s, PersonParts(s, RinaOutfit(), false), OutfitMaterials(RinaOutfit()), 12);
    // A cheerful wave: right arm up, left hand on the hip, head tilted.
    BodyPose pose = IdlePose(s, 0.0f);
    pose[kNeck].rotation = {0.05f, 0.15f, -0.12f};
    pose[kUpperArmR].rotation = {-0.2f, 0, 2.55f};
    pose[kForeArmR].rotation = {0, 0, 0.6f};
    pose[kHandR].rotation = {0, 0.4f, 0};
    pose[kUpperArmL].rotation = {0.1f, 0, -0.65f};
    pose[kForeArmL].rotation = {0, 0, 1.75f};
    pose[kWaist].rotation = {0, 0, 0.04f};
    Model m;
    Frame f;
    f.name = "Frame0_TitleChar";
    // She faces the title camera, which looks along +z.
    f.meshes.push_back(BakeBody(skinned, s, pose, RotationY(3.14159265f)));
    m.roots.push_back(std::move(f));
    return m;
}

} // namespace models
