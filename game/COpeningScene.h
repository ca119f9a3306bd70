// The opening cut scene: Rina runs across a terrain ahead of a triangular crowd of 55
// townspeople kicking up dust, the giant heroine stands ahead, and the camera follows a path
// animated in a model file. 800 frames, from a fade from black to a fade to white.
#pragma once

#include "app/CCharacter.h"
#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"
#include "sound/Sound.h"

class CD3DLight;
class CD3DXObject;

// One walker of the crowd.
struct OpeningSceneEntry {
    OpeningSceneEntry();

    D3DXVECTOR3 Position;
    D3DXVECTOR3 Velocity;     // units a frame
    D3DXVECTOR3 Acceleration; // units a frame squared
    int AnimationFrame;
};

class COpeningScene : public CCharacter {
public:
    static constexpr int CROWD_ROWS = 10;
    static constexpr int CROWD_SIZE = CROWD_ROWS * (CROWD_ROWS + 1) / 2;
    static constexpr int GRID_SIZE = 201; // heights one unit apart from -100 to +100
    static constexpr int FOOTSTEP_CHANNELS = 3;
    static constexpr DWORD FADE_AGE = 680;
    static constexpr DWORD FADE_OUT_AGE = 740;
    static constexpr DWORD END_AGE = 800;

    COpeningScene();
    ~COpeningScene() override;

    bool Update() override;
    bool Draw() override;

    // The bilinear height of the grid at world (x, z); outside the grid, the height at its edge.
    float GetGroundHeight(float x, float z) const;

    // The formation place of walker `index`: its row (1 to 10, that many units behind Rina) and
    // its sideways offset.
    static void GetFormation(int index, int* row, float* offset);

    CD3DSafeTexture ShadowTexture;
    CD3DXObject* CameraModel;
    CD3DXObject* SkyModel;
    CD3DXObject* GroundModel;
    CD3DXObject* HeroineModel;
    CD3DXObject* WalkerModel; // one model drawn for every walker
    CD3DXObject* RinaModel;
    D3DXVECTOR3 RinaPosition;
    CD3DLight* Light;
    SoundStream Music;
    SoundChannel Footsteps[FOOTSTEP_CHANNELS];
    float GroundHeight[GRID_SIZE][GRID_SIZE]; // [z][x]
    OpeningSceneEntry Crowd[CROWD_SIZE];

private:
    void LoadGroundHeights(const char* path);
    // Gives back whatever the scene holds; safe on a half-built scene.
    void Free();
    void DrawShadow(float x, float z, float half, void* vertices);
};
