// The main object: the game's start-up, its frame and its shutdown.
#pragma once

#include "platform/platform.h"

class CCharacterSystem;

class CGameMain {
public:
    // Builds the one main object on first use; a constructor that throws leaves it unbuilt, so
    // the next call starts the whole start-up again.
    static CGameMain& GetInstance();

    CGameMain();
    virtual ~CGameMain();

    // One frame of 1/60 s: input, scene step, keys, update, draw, deletion, pacing.
    void GameMain();

    HHOOK Hook = nullptr;
    // The menu bar while it is taken off the window in full screen; null in a window.
    HMENU Menu = nullptr;
};

// Scene numbers of the frame function.
enum SceneState : unsigned int {
    SCENE_START = 0,
    SCENE_LOGO = 1,
    SCENE_OPENING = 2,
    SCENE_TITLE = 3,
    SCENE_UNUSED = 4,
    SCENE_STAGE = 5,
    SCENE_QUIT = 6,
};

extern unsigned int g_nSceneState;
extern CCharacterSystem* g_pCharacterSystem;
extern unsigned int g_nFrameCount;
extern bool g_bShowFPS;
