// Phill, the townsperson: a young man about Rina's size in a cap, shirt and trousers, whose one
// animation is a looping walk.
#include "tools/datagen/models/Models.h"
#include "tools/datagen/models/Person.h"

#include "tools/datagen/ModelTextures.h"

namespace models {

using namespace xmodel;

Model BuildPhill()
{
    BodyShape s;
    s.height = 1.16f;
    s.hipHeight = 0.57f;
    s.shoulderWidth = 0.13f;
    s.shoulderHeight = 0.9f;
    s.neckHeight = 0.93f;
    s.breastHeight = 0.8f;
    s.waistHeight = 0.65f;
    s.headRadius = 0.105f;
    Outfit o;
    o.skinTexture = datagen::kTexSkin;
    o.topTexture = datagen::kTexClothPhill;
    o.skin = {0.92f, 0.72f, 0.56f, 1};
    o.hair = {0.15f, 0.1f, 0.08f, 1};
    o.top = {0.3f, 0.55f, 0.32f, 1};
    o.bottom = {0.45f, 0.36f, 0.25f, 1};
    o.shoes = {0.12f, 0.1f, 0.1f, 1};
    o.eyes = {0.08f, 0.08f, 0.1f, 1};
    o.accent = {0.75f, 0.2f, 0.15f, 1};
    o.cap = true;
    o.longSleeves = true;
    const Gait walk = WalkGait();
    std::vector<AnimationSet> sets{
        MakeSet("Walk", s, walk.period, 2.0f, kTicksPerUnit, [&](float t) { return GaitPose(s, walk, t); })};
    return PersonModel("Mesh_Phill", s, o, 8, false, std::move(sets));
}

} // namespace models
