#include "tools/datagen/models/Person.h"

namespace xmodel {

namespace {

enum { kSkin, kHair, kTop, kBottom, kShoes, kEyes, kAccent };

Material Mat(const Color& c, float shine = 8.0f, const std::string& texture = std::string())
{
    Material m;
    m.diffuse = texture.empty() ? c : Color{1, 1, 1, 1};
    m.texture = texture;
    m.power = shine;
    m.specular = {0.15f, 0.15f, 0.15f};
    return m;
}

} // namespace

std::vector<Material> OutfitMaterials(const Outfit& o)
{
    return {Mat(o.skin, 8.0f, o.skinTexture), Mat(o.hair, 20.0f, o.hairTexture), Mat(o.top, 8.0f, o.topTexture),
            Mat(o.bottom), Mat(o.shoes, 30.0f), Mat(o.eyes, 40.0f), Mat(o.accent, 30.0f)};
}

std::vector<Part> PersonParts(const BodyShape& s, const Outfit& o, bool coarse)
{
    const auto j = Joints(s);
    const float k = s.height / 1.2f;
    const Vec3 X{1, 0, 0}, Z{0, 0, 1};
    std::vector<Part> parts;
    auto add = [&](int bone, int blendBone, float blend, Vec3 a, Vec3 b, Vec3 side, std::vector<Ring> rings, uint32_t mat) {
        parts.push_back({bone, blendBone, blend, a, b, side, std::move(rings), mat});
    };
    const float R = s.headRadius;
    const float headBottom = s.neckHeight + 0.005f * k;
    const float headCentre = (headBottom + s.height) * 0.5f;

    // Head and hair.
    add(kHead, -1, 0, {0, headBottom, 0.005f * k}, {0, s.height - 0.004f * k, 0.005f * k}, X,
        {{0.12f, 0.55f * R, 0.62f * R}, {0.35f, 0.86f * R, 0.92f * R}, {0.6f, 0.9f * R, 0.97f * R},
         {0.85f, 0.7f * R, 0.78f * R}},
        kSkin);
    add(kHead, -1, 0, {0, headBottom + 0.07f * k, -0.02f * k}, {0, s.height + 0.01f * k, -0.008f * k}, X,
        {{0.1f, 0.75f * R, 0.85f * R}, {0.4f, 1.0f * R, 1.07f * R}, {0.7f, 0.95f * R, 1.02f * R},
         {0.92f, 0.55f * R, 0.6f * R}},
        kHair);
    if (!coarse) {
        // Eyes: flat ovals on the front of the face.
        for (float side : {-1.0f, 1.0f}) {
            const Vec3 c{side * 0.038f * k, headCentre - 0.005f * k, 0.0f};
            const float front = 0.94f * R;
            add(kHead, -1, 0, c + Vec3{0, 0, front - 0.02f * k}, c + Vec3{0, 0, front + 0.012f * k}, X,
                {{0.3f, 0.016f * k, 0.024f * k}, {0.7f, 0.016f * k, 0.024f * k}}, kEyes);
        }
    }
    if (o.twinTails)
        for (float side : {-1.0f, 1.0f})
            add(kHead, -1, 0, {side * 0.085f * k, headCentre + 0.04f * k, -0.04f * k},
                {side * 0.15f * k, s.neckHeight - 0.16f * k, -0.07f * k}, X,
                {{0.1f, 0.028f * k, 0.03f * k}, {0.35f, 0.042f * k, 0.042f * k}, {0.75f, 0.032f * k, 0.032f * k}},
                kHair);
    if (o.longHair)
        add(kHead, -1, 0, {0, headCentre + 0.02f * k, -0.07f * k}, {0, s.breastHeight - 0.1f * k, -0.11f * k}, X,
            {{0.15f, 0.095f * k, 0.05f * k}, {0.5f, 0.1f * k, 0.045f * k}, {0.85f, 0.075f * k, 0.03f * k}}, kHair);
    if (o.cap)
        add(kHead, -1, 0, {0, s.height - 0.055f * k, 0.015f * k}, {0, s.height + 0.025f * k, 0.0f}, X,
            {{0.05f, 1.25f * R, 1.35f * R}, {0.2f, 1.02f * R, 1.06f * R}, {0.7f, 0.9f * R, 0.92f * R}}, kAccent);

    // Neck and body.
    add(kNeck, kBreast, 0.4f, {0, s.neckHeight - 0.04f * k, 0}, {0, headBottom + 0.03f * k, 0.005f * k}, X,
        {{0.2f, 0.03f * k, 0.03f * k}, {0.8f, 0.028f * k, 0.028f * k}}, kSkin);
    add(kBreast, kWaist, 0.45f, {0, s.waistHeight - 0.01f * k, 0}, {0, s.neckHeight + 0.005f * k, 0}, X,
        {{0.08f, 0.082f * k, 0.058f * k}, {0.4f, 0.092f * k, 0.066f * k}, {0.7f, 0.108f * k, 0.072f * k},
         {0.9f, 0.092f * k, 0.06f * k}},
        kTop);
    add(kWaist, kHips, 0.5f, {0, s.hipHeight - 0.03f * k, 0}, {0, s.waistHeight + 0.06f * k, 0}, X,
        {{0.15f, 0.095f * k, 0.066f * k}, {0.6f, 0.082f * k, 0.058f * k}, {0.9f, 0.08f * k, 0.057f * k}},
        o.skirt ? kTop : kBottom);
    add(kHips, -1, 0, {0, s.hipHeight - 0.075f * k, 0}, {0, s.hipHeight + 0.05f * k, 0}, X,
        {{0.2f, 0.09f * k, 0.06f * k}, {0.55f, 0.108f * k, 0.07f * k}, {0.85f, 0.1f * k, 0.066f * k}}, kBottom);
    if (o.skirt) {
        add(kHips, -1, 0, {0, s.waistHeight + 0.0f * k, 0}, {0, s.hipHeight - 0.17f * k, 0.005f * k}, X,
            {{0.08f, 0.088f * k, 0.063f * k}, {0.45f, 0.13f * k, 0.1f * k}, {0.93f, 0.175f * k, 0.145f * k}},
            kBottom);
        parts.back().followLeft = kThighL;
        parts.back().followRight = kThighR;
        parts.back().follow = 0.9f;
    }
    // A belt marks the waist of the heroine and the townspeople.
    if (!o.skirt)
        add(kWaist, kHips, 0.3f, {0, s.hipHeight + 0.035f * k, 0}, {0, s.hipHeight + 0.065f * k, 0}, X,
            {{0.2f, 0.1f * k, 0.07f * k}, {0.8f, 0.098f * k, 0.069f * k}}, kAccent);

    // Arms.
    for (int side = 0; side < 2; ++side) {
        const int upper = side == 0 ? kUpperArmL : kUpperArmR;
        const int fore = upper + 1, hand = upper + 2;
        const float inward = side == 0 ? 0.02f * k : -0.02f * k;
        const Vec3 elbowPast = j[fore] + Normalize(j[fore] - j[upper]) * (0.022f * k);
        add(upper, kBreast, 0.25f, j[upper] + Vec3{inward, 0.015f * k, 0}, elbowPast, X,
            {{0.12f, 0.036f * k, 0.036f * k}, {0.5f, 0.03f * k, 0.031f * k}, {0.8f, 0.026f * k, 0.027f * k},
             {0.93f, 0.022f * k, 0.023f * k}},
            o.longSleeves ? kTop : kSkin);
        if (!o.longSleeves)
            add(upper, kBreast, 0.3f, j[upper] + Vec3{inward, 0.02f * k, 0}, Lerp(j[upper], j[fore], 0.45f), X,
                {{0.15f, 0.043f * k, 0.043f * k}, {0.6f, 0.037f * k, 0.037f * k}, {0.9f, 0.035f * k, 0.035f * k}},
                kTop);
        add(fore, upper, 0.3f, j[fore] + Vec3{0, 0.025f * k, 0}, j[hand] - Vec3{0, 0.01f * k, 0}, X,
            {{0.08f, 0.022f * k, 0.023f * k}, {0.22f, 0.026f * k, 0.027f * k}, {0.6f, 0.023f * k, 0.023f * k},
             {0.92f, 0.018f * k, 0.019f * k}},
            o.longSleeves ? kTop : kSkin);
        add(hand, fore, 0.2f, j[hand] + Vec3{0, 0.008f * k, 0}, j[hand] - Vec3{0, 0.075f * k, 0}, X,
            {{0.2f, 0.02f * k, 0.014f * k}, {0.55f, 0.024f * k, 0.013f * k}, {0.85f, 0.017f * k, 0.011f * k}}, kSkin);
    }

    // Legs.
    for (int side = 0; side < 2; ++side) {
        const int thigh = side == 0 ? kThighL : kThighR;
        const int shin = side == 0 ? kShinL : kShinR;
        const int foot = side == 0 ? kFootL : kFootR;
        const uint32_t legs = o.skirt ? kSkin : kBottom;
        add(thigh, kHips, 0.2f, j[thigh] + Vec3{0, 0.03f * k, 0}, j[shin] - Vec3{0, 0.03f * k, 0}, X,
            {{0.12f, 0.056f * k, 0.058f * k}, {0.5f, 0.05f * k, 0.052f * k}, {0.8f, 0.042f * k, 0.044f * k},
             {0.93f, 0.036f * k, 0.038f * k}},
            legs);
        add(shin, thigh, 0.25f, j[shin] + Vec3{0, 0.035f * k, 0}, j[foot] - Vec3{0, 0.01f * k, 0}, X,
            {{0.08f, 0.034f * k, 0.036f * k}, {0.2f, 0.04f * k, 0.042f * k}, {0.45f, 0.038f * k, 0.043f * k},
             {0.9f, 0.026f * k, 0.027f * k}},
            o.skirt ? kSkin : kBottom);
        // The shoe: its sole lies on y = 0 in the bind pose.
        const Vec3 ankle = j[foot];
        add(foot, -1, 0, {ankle.x, 0.034f * k, -0.045f * k}, {ankle.x, 0.026f * k, 0.1f * k}, X,
            {{0.08f, 0.028f * k, 0.03f * k}, {0.35f, 0.034f * k, 0.03f * k}, {0.7f, 0.034f * k, 0.026f * k},
             {0.92f, 0.026f * k, 0.02f * k}},
            kShoes);
        if (o.skirt)
            // Socks.
            add(shin, -1, 0, ankle + Vec3{0, -0.005f * k, 0}, Lerp(ankle, j[shin], 0.35f), X,
                {{0.1f, 0.03f * k, 0.031f * k}, {0.9f, 0.032f * k, 0.034f * k}}, kAccent);
        (void)Z;
    }
    return parts;
}

Model PersonModel(const std::string& meshName, const BodyShape& shape, const Outfit& outfit, int slices, bool coarse,
                  std::vector<AnimationSet> sets)
{
    Model m;
    Mesh mesh = BuildBody(meshName, shape, PersonParts(shape, outfit, coarse), OutfitMaterials(outfit), slices);
    m.roots.push_back(Skeleton(shape, BodyPose{}, std::move(mesh)));
    m.ticksPerSecond = kTicksPerUnit;
    m.sets = std::move(sets);
    return m;
}

} // namespace xmodel
