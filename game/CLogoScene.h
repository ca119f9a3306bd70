// The maker's logo splash, the first scene of every run: a spinning ring of bands and dots,
// bars and scan lines, the emblem fading in with a jitter, sliding bands and two turning
// squares of light, all from one texture, with its music giving way to a noise, and a fade to
// white. It kills itself at its frame 520.
#pragma once

#include "app/CCharacter.h"
#include "render/CD3DSafeTexture.h"
#include "sound/Sound.h"

class CLogoScene : public CCharacter {
public:
    CLogoScene();
    ~CLogoScene() override;

    bool Update() override;
    bool Draw() override;

    // The ring with its dots; bars and scan lines; the emblem; the light squares and the fade;
    // the sliding bands.
    bool DrawPhase1();
    bool DrawPhase2();
    bool DrawPhase3();
    bool DrawPhase4();
    bool DrawPhase5();

    CD3DSafeTexture Texture;
    SoundStream LogoStream;
    SoundStream NoiseStream;
    float JitterX;
    float JitterY;

    static constexpr DWORD NOISE_AGE = 360;
    static constexpr DWORD NOISE_FADE_AGE = 420;
    static constexpr DWORD END_AGE = 520;

private:
    // The fade to white is made once, by the first drawn frame from age 420 on, whatever
    // frames the draw divisor or a pause skip or repeat.
    bool m_bFadeMade;
};
