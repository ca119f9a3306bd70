// The first stage: the city with its breakable buildings, roads, sky and ground, the camera
// that follows the player, and the actors that walk in it. One character that lives until the
// game quits.
#pragma once

#include <vector>

#include <boost/shared_ptr.hpp>

#include "app/CCharacter.h"
#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"
#include "render/CD3DXObject.h"

class CD3DLight;
class CMeshDrawRequest;
class CRina;
class CQuillabet;
class CPhill;

// One standing building.
struct BuildingRecord {
    int Type; // 0 to 7
    CD3DSafeTexture* Texture;
    D3DXMATRIX World;
    float Radius; // bounding radius in world units
};

// The street patch round one building; it stays when the building breaks.
struct RoadRecord {
    int Type;
    D3DXMATRIX World;
};

// One falling piece of a broken building, moved in the building model's own space.
struct DebrisRecord {
    boost::shared_ptr<CD3DXObject> Model;
    CD3DSafeTexture* Texture;
    D3DXMATRIX World;
    D3DXVECTOR3 Position;
    D3DXVECTOR3 Velocity;
    D3DXVECTOR3 PrevVelocity;
    D3DXVECTOR3 Axis;
    float Angle;
    float AngularSpeed;
    float DustSize;
    int Life;
};

class CStage01 : public CCharacter {
public:
    static constexpr int BUILDING_TYPES = 8;
    static constexpr int PIECES_PER_BUILDING = 64;
    static constexpr int BUILDING_TEXTURES = 24;
    static constexpr int TOWNSPEOPLE = 10;

    // Builds the whole stage; throws the failure text, leaving nothing of it behind.
    CStage01();
    ~CStage01() override;

    bool Update() override;
    bool Draw() override;

    void LoadMap();
    void LoadBuildings();
    void ReleaseTextures();
    void UpdateCamera();

    CD3DLight* Light;
    std::vector<BuildingRecord> Buildings;
    std::vector<DebrisRecord> Debris;
    std::vector<RoadRecord> Roads;
    boost::shared_ptr<CD3DXObject> BuildingModels[BUILDING_TYPES];
    boost::shared_ptr<CD3DXObject> PieceModels[BUILDING_TYPES * PIECES_PER_BUILDING];
    boost::shared_ptr<CD3DXObject> RoadModels[BUILDING_TYPES];
    CD3DXObject* Sky;
    CD3DXObject* Ground;
    CD3DXObject* CameraModel;
    float CameraYaw;
    D3DXVECTOR3 CameraMid;
    float CameraLength;
    CRina* Rina;
    CQuillabet* Quillabet;
    std::vector<CMeshDrawRequest*> DrawRequests;
    CD3DSafeTexture BuildingTextures[BUILDING_TEXTURES];
    int MusicStream;
    CPhill* Phill[TOWNSPEOPLE];

    // Breaks building `index`: its sounds, its 64 pieces with their dust, and its removal.
    void BreakBuilding(size_t index);
    // Moves the falling pieces one frame, with their bounces, and removes the spent ones.
    void MoveDebris();
    // Whether a falling piece with `life` frames left is drawn.
    static bool IsPieceShown(int life);

private:
    // Whether building `b` (already placed) and the actor's model touch, with the nearness
    // test on the model's point (0, 0.6, 0) first.
    bool ActorTouches(const BuildingRecord& b, const D3DXVECTOR3& centre, CD3DXObject* actor);
    // Frees everything the constructor made; used by the destructor and a failed construction.
    void ReleaseAll();
    void KillActors();
};

// What one line of the building list leaves for the next: a line that supplies fewer fields
// keeps the earlier values of the others.
struct StageMapState {
    char Kind[1000];
    char Word[1000];
    float Number[9]; // x, y, z, angle, two unused, width, height, depth
    int Type;
    StageMapState();
};

// Builds the building and its road from one line of the building list.
void ParseStageMapLine(const char* line, StageMapState& state, CD3DSafeTexture* texture, BuildingRecord& building,
                       RoadRecord& road);

// Reads the building list from an open file: one building and one road per line, each with
// one of the 24 facades of `textures`.
void ReadStageMap(FILE* file, CD3DSafeTexture* textures, std::vector<BuildingRecord>& buildings,
                  std::vector<RoadRecord>& roads);

// The stage's scene step and end callback.
extern unsigned int g_nStageStep;
// The sky's turn, kept for the run.
extern float g_fSkyYaw;
// Rina's position at the start of each stage update: where distance-scaled sounds are heard.
extern D3DXVECTOR3 g_vListener;

// Places the boxes of an actor's model where its world matrix now puts it, without advancing
// its animation.
void PlaceModelBoxes(CD3DXObject* model);
// The volume of a sound at distance d from the listener: full at 0, silent from 1000 on.
float DistanceVolume(float d);

// Takes a character whose constructor failed out of the registry, so that its base destructor
// neither warns nor leaves a dangling entry.
void AbandonCharacter(CCharacter* character);
