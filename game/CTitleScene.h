// The title screen: a turning title character over a floor grid, a red veil and the title
// picture with its music, until the player holds Z; then the start sound, a fade to black, and
// the stage.
#pragma once

#include "app/CCharacter.h"
#include "render/CD3DSafeTexture.h"
#include "sound/Sound.h"

class CD3DXObject;

class CTitleScene : public CCharacter {
public:
    CTitleScene();
    ~CTitleScene() override;

    bool Update() override;
    bool Draw() override;

    CD3DXObject* Model;
    CD3DSafeTexture Picture;
    SoundStream Music;

    // Updates before Z is seen, and updates from the start until the scene ends.
    static constexpr int START_FRAME = 33;
    static constexpr int END_FRAMES = 85;
};

// Title states.
enum TitleStep : unsigned int { TITLE_RUNNING = 1, TITLE_STARTED = 2, TITLE_DESTROYED = 4 };
