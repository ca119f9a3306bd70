// The body parts and clothes of the game's people, shared by Rina, the heroine and the
// townspeople; each differs in proportions, colours and hair.
#pragma once

#include "tools/datagen/models/Humanoid.h"

namespace xmodel {

struct Outfit {
    Color skin, hair, top, bottom, shoes, eyes, accent;
    bool skirt = false;     // a skirt over bare legs (else trousers)
    bool longSleeves = false;
    bool twinTails = false;
    bool longHair = false;
    bool cap = false;
    // Pictures for the skin, the hair and the top (empty: plain colour); a textured part is
    // drawn with the picture's own colours.
    std::string skinTexture, hairTexture, topTexture;
};

// Material order of every person: skin, hair, top, bottom, shoes, eyes, accent.
std::vector<Material> OutfitMaterials(const Outfit& outfit);

// `coarse` leaves out the small parts (eyes) that a shadow does not need.
std::vector<Part> PersonParts(const BodyShape& shape, const Outfit& outfit, bool coarse);

// A skinned person with the given animation sets, in the order given (the file order).
Model PersonModel(const std::string& meshName, const BodyShape& shape, const Outfit& outfit, int slices,
                  bool coarse, std::vector<AnimationSet> sets);

// Ticks of the controller per time unit of the game: AnimTicksPerSecond is set to the same
// number, so the controller's seconds are the game's time units.
constexpr uint32_t kTicksPerUnit = 4800;

} // namespace xmodel
