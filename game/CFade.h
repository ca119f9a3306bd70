// Screen fades: characters that cover the whole screen in black or white with an alpha that
// runs linearly over their life, drawn over everything else, and then die.
#pragma once

#include "app/CCharacter.h"

// The shared body of the four fades; the subclasses only pick colour and direction.
class CFade : public CCharacter {
public:
    bool Update() override;
    bool Draw() override;

    // The alpha drawn at the current age: rising from 0 or falling to 0 over the frames.
    int Alpha() const;

    // Length of the fade in frames.
    LONG Frames;

protected:
    CFade(LONG frames, DWORD rgb, bool rising);

private:
    DWORD m_Rgb;
    bool m_Rising;
};

class CFadeFromBlack : public CFade {
public:
    explicit CFadeFromBlack(LONG frames) : CFade(frames, 0x000000, false) {}
};

class CFadeToBlack : public CFade {
public:
    explicit CFadeToBlack(LONG frames) : CFade(frames, 0x000000, true) {}
};

class CFadeFromWhite : public CFade {
public:
    explicit CFadeFromWhite(LONG frames) : CFade(frames, 0xFFFFFF, false) {}
};

class CFadeToWhite : public CFade {
public:
    explicit CFadeToWhite(LONG frames) : CFade(frames, 0xFFFFFF, true) {}
};

// The render states that every screen overlay draws with.
void SetOverlayStates();
