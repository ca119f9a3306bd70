// The character system: the registry of every object that lives in frames, and the per-frame
// update, draw and deletion passes over it.
#pragma once

#include <vector>

class CCharacter;

class CCharacterSystem {
public:
    virtual ~CCharacterSystem();

    // The passes act on the one process-wide registry, so any instance serves.

    // Updates every character once, including those appended while the pass runs.
    void UpdateAll();
    // Draws opaque overlays, opaque characters, translucent ones from far to near, then
    // translucent overlays.
    void DrawAll();
    // Deletes every character whose life is 0 or -1.
    void DeleteDead();
    // Deletes every character whose IsOwned is clear, and warns about any that are left.
    void DeleteAll();

    // In construction order; owns every character in it.
    static std::vector<CCharacter*> CharacterList;
};
