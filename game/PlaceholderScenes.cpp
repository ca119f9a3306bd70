// Stand-in scenes until the real logo, opening and stage exist: each follows the step protocol
// exactly and draws only the cleared screen. The logo and opening end after a few frames; the
// stage never ends by itself.
#include "app/CCharacter.h"
#include "game/SceneSteps.h"

unsigned int g_nLogoStep = 0;
unsigned int g_nOpeningStep = 0;
unsigned int g_nStageStep = 0;

namespace {

enum StepState : unsigned int { STEP_CREATE = 0, STEP_RUNNING = 1, STEP_ENDED = 2 };

const unsigned int kPlaceholderFrames = 30;

class CPlaceholderScene : public CCharacter {
public:
    // frames 0 lives until killed from outside.
    CPlaceholderScene(bool (*callback)(int), unsigned int frames) : m_Frames(frames)
    {
        if (callback)
            AddCallback(callback);
    }
    ~CPlaceholderScene() override { CallCallbacks(-1); }

    bool Update() override
    {
        if (m_Frames != 0 && Age + 1 >= m_Frames)
            Kill();
        return true;
    }
    bool Draw() override { return true; }

private:
    unsigned int m_Frames;
};

// The shared shape of the logo, opening and stage steps.
bool RunStep(unsigned int& step, bool deleteAllFirst, bool (*callback)(int), unsigned int frames)
{
    switch (step) {
    case STEP_CREATE:
        if (deleteAllFirst) {
            CCharacterSystem system;
            system.DeleteAll();
        }
        new CPlaceholderScene(callback, frames);
        step = STEP_RUNNING;
        return true;
    case STEP_ENDED:
        step = STEP_CREATE;
        return false;
    default:
        return true;
    }
}

bool EndCallback(unsigned int& step, int code)
{
    if (code == -1)
        step = STEP_ENDED;
    return true;
}

} // namespace

bool LogoSceneCallback(int code) { return EndCallback(g_nLogoStep, code); }
bool OpeningSceneCallback(int code) { return EndCallback(g_nOpeningStep, code); }
bool StageSceneCallback(int code) { return EndCallback(g_nStageStep, code); }

bool LogoSceneStep() { return RunStep(g_nLogoStep, false, LogoSceneCallback, kPlaceholderFrames); }
bool OpeningSceneStep() { return RunStep(g_nOpeningStep, true, OpeningSceneCallback, kPlaceholderFrames); }
bool Stage01Step() { return RunStep(g_nStageStep, true, StageSceneCallback, 0); }
