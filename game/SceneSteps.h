// The scene step functions that the frame function calls once per frame: each answers true
// while its scene runs and false once when it has ended.
#pragma once

bool LogoSceneStep();
bool OpeningSceneStep();
bool TitleSceneStep();
bool Stage01Step();

// End callbacks that a scene's destructor calls with -1.
bool LogoSceneCallback(int code);
bool OpeningSceneCallback(int code);
bool StageSceneCallback(int code);

extern unsigned int g_nLogoStep;
extern unsigned int g_nOpeningStep;
extern unsigned int g_nStageStep;
extern unsigned int g_nTitleStep;
extern int g_nTitleFrame;
extern int g_nTitleEndFrame;
