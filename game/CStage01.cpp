#include "game/CStage01.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/CGameConfig.h"
#include "app/CRandomMT.h"
#include "game/CPhill.h"
#include "game/CQuillabet.h"
#include "game/CRina.h"
#include "game/SceneSteps.h"
#include "render/CD3DLight.h"
#include "render/CDirectX9.h"
#include "render/CMeshDrawRequest.h"
#include "render/CMeshHierarchyAllocator.h"
#include "render/COBBTree.h"
#include "sound/Sound.h"

unsigned int g_nStageStep = 0;
float g_fSkyYaw = 0.0f;
D3DXVECTOR3 g_vListener(0.0f, 0.0f, 0.0f);

namespace {

const float kPi = 3.14159265358979f;

enum StepState : unsigned int { STEP_CREATE = 0, STEP_RUNNING = 1, STEP_ENDED = 2 };

bool IsCharacter(const CCharacter* character)
{
    const std::vector<CCharacter*>& list = CCharacterSystem::CharacterList;
    return character && std::find(list.begin(), list.end(), character) != list.end();
}

template <class T> void KillIfAlive(T*& character)
{
    if (IsCharacter(character))
        character->Kill();
    character = nullptr;
}

void ReleaseModel(CD3DXObject*& model)
{
    if (model) {
        model->Release();
        delete model;
        model = nullptr;
    }
}

// A box axis-aligned in the model's frame: w x h x d centred at (x, y, z).
void SetBox(COBB* box, float w, float h, float d, float x, float y, float z)
{
    const float e0[3] = {w, 0.0f, 0.0f}, e1[3] = {0.0f, h, 0.0f}, e2[3] = {0.0f, 0.0f, d}, c[3] = {x, y, z};
    COBB::Set(e0, e1, e2, c, box);
}

void AddLeaf(COBBTree* tree, float w, float h, float d, float x, float y, float z)
{
    COBBTree::Node* node = new COBBTree::Node();
    tree->Root->Children.push_back(node);
    SetBox(&node->Box, w, h, d, x, y, z);
}

void AddPost(COBBTree* tree, float x, float z) { AddLeaf(tree, 0.1f, 1.0f, 0.1f, x, 0.5f, z); }

// The hand-set collision boxes of each building type, in the unit cube that the map scales.
COBBTree* BuildingTree(int type)
{
    COBBTree* tree = new COBBTree();
    if (!tree->Root)
        tree->Root = new COBBTree::Node();
    SetBox(&tree->Root->Box, type == 5 ? 0.98f : 1.0f, 1.0f, 1.0f, 0.0f, 0.5f, 0.0f);
    switch (type) {
    case 1:
        AddLeaf(tree, 1.0f, 1.0f, 0.6f, 0.0f, 0.5f, 0.0f);
        AddLeaf(tree, 0.86f, 1.0f, 1.0f, 0.0f, 0.5f, 0.0f);
        for (int i = 1; i <= 9; ++i)
            AddPost(tree, 0.38f + 0.007f * i, 0.45f - 0.02f * i);
        for (int i = 1; i <= 9; ++i)
            AddPost(tree, -0.38f - 0.007f * i, 0.45f - 0.02f * i);
        for (int i = 1; i <= 9; ++i)
            AddPost(tree, -0.38f - 0.007f * i, 0.02f * i - 0.45f);
        for (int i = 1; i <= 9; ++i)
            AddPost(tree, 0.38f + 0.007f * i, 0.02f * i - 0.45f);
        break;
    case 2:
        AddLeaf(tree, 1.0f, 0.85f, 1.0f, 0.0f, 0.425f, 0.0f);
        AddLeaf(tree, 1.0f, 1.0f, 0.66f, 0.0f, 0.5f, 0.172f);
        break;
    case 3:
        AddLeaf(tree, 1.0f, 1.0f, 0.5f, 0.0f, 0.5f, 0.25f);
        AddLeaf(tree, 0.5f, 1.0f, 1.0f, 0.25f, 0.5f, 0.0f);
        break;
    case 4:
        AddLeaf(tree, 0.79f, 1.0f, 1.0f, 0.105f, 0.5f, 0.0f);
        AddLeaf(tree, 1.0f, 1.0f, 0.87f, 0.0f, 0.5f, 0.065f);
        for (int i = 1; i <= 9; ++i)
            AddPost(tree, 0.021f * i - 0.45f, -0.32f - 0.013f * i);
        break;
    case 5:
        AddLeaf(tree, 0.79f, 1.0f, 1.0f, -0.095f, 0.5f, 0.0f);
        AddLeaf(tree, 0.98f, 1.0f, 0.2f, 0.0f, 0.5f, 0.4f);
        AddLeaf(tree, 0.98f, 1.0f, 0.2f, 0.0f, 0.5f, -0.4f);
        break;
    case 6:
        AddLeaf(tree, 0.7f, 1.0f, 0.89f, 0.15f, 0.5f, 0.055f);
        AddLeaf(tree, 0.7f, 1.0f, 0.89f, -0.15f, 0.5f, -0.055f);
        break;
    case 7:
        AddLeaf(tree, 0.3f, 1.0f, 1.0f, 0.35f, 0.5f, 0.0f);
        AddLeaf(tree, 0.99f, 1.0f, 0.01f, 0.005f, 0.5f, 0.495f);
        AddLeaf(tree, 0.745f, 1.0f, 0.365f, 0.127f, 0.5f, 0.318f);
        for (int i = 2; i <= 50; ++i)
            AddPost(tree, 0.014f * i - 0.45f, 0.55f - 0.02f * i);
        break;
    default:
        break;
    }
    return tree;
}

// Moves a piece's mesh so that its centre is its root frame's origin, and the root frame to
// where the centre was: the piece then turns about its own centre.
void RecentrePiece(CD3DXObject* piece)
{
    std::vector<D3DXFRAME_EX*> frames;
    piece->GetFrames(piece->FrameRoot, frames);
    if (frames.empty())
        return;
    D3DXFRAME_EX* root = frames[0];
    D3DXMESHCONTAINER_EX* container = static_cast<D3DXMESHCONTAINER_EX*>(root->pMeshContainer);
    // A piece without a mesh in its root frame keeps its place.
    if (!container || !container->MeshData.pMesh)
        return;
    ID3DXMesh* mesh = container->MeshData.pMesh;
    const D3DXVECTOR3 c = container->BoundingSphereCenter;
    const DWORD count = mesh->GetNumVertices();
    IDirect3DVertexBuffer9* buffer = nullptr;
    if (count == 0 || FAILED(mesh->GetVertexBuffer(&buffer)) || !buffer)
        return;
    D3DVERTEXBUFFER_DESC desc = {};
    const HRESULT described = buffer->GetDesc(&desc);
    buffer->Release();
    const DWORD stride = desc.Size / count;
    if (FAILED(described) || stride < 3 * sizeof(float))
        return;
    unsigned char* data = nullptr;
    if (FAILED(mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&data))) || !data)
        return;
    for (DWORD v = 0; v < count; ++v) {
        float position[3];
        std::memcpy(position, data + static_cast<size_t>(v) * stride, sizeof position);
        position[0] -= c.x;
        position[1] -= c.y;
        position[2] -= c.z;
        std::memcpy(data + static_cast<size_t>(v) * stride, position, sizeof position);
    }
    mesh->UnlockVertexBuffer();
    root->TransformationMatrix._41 += c.x;
    root->TransformationMatrix._42 += c.y;
    root->TransformationMatrix._43 += c.z;
    container->BoundingSphereCenter = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

const char* const kKindNames[CStage01::BUILDING_TYPES] = {"building001", "building002", "building003", "building004",
                                                          "building005", "building006", "building007", "building008"};

} // namespace

// ---------------------------------------------------------------------------------------------
// Scene step

bool Stage01Step()
{
    switch (g_nStageStep) {
    case STEP_CREATE: {
        CCharacterSystem().DeleteAll();
        new CStage01();
        g_nStageStep = STEP_RUNNING;
        return true;
    }
    case STEP_ENDED:
        g_nStageStep = STEP_CREATE;
        return false;
    default:
        return true;
    }
}

bool StageSceneCallback(int code)
{
    if (code == -1)
        g_nStageStep = STEP_ENDED;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Helpers shared with the actors

void PlaceModelBoxes(CD3DXObject* model)
{
    model->UpdateFrameMatrices(model->FrameRoot, model->GetWorldMatrix());
}

void AbandonCharacter(CCharacter* character)
{
    std::vector<CCharacter*>& list = CCharacterSystem::CharacterList;
    list.erase(std::remove(list.begin(), list.end(), character), list.end());
    character->Life = 0;
}

float DistanceVolume(float d)
{
    return std::sqrt((1000.0f - std::min(d, 1000.0f)) * 0.001f);
}

// ---------------------------------------------------------------------------------------------
// The building list

StageMapState::StageMapState() : Kind(), Word(), Number(), Type(0) {}

void ParseStageMapLine(const char* line, StageMapState& state, CD3DSafeTexture* texture, BuildingRecord& building,
                       RoadRecord& road)
{
    float* n = state.Number;
    // Fields that the line does not supply keep their earlier values.
    std::sscanf(line, "%999s %999s %f %f %f %f %f %f %f %f %f", state.Kind, state.Word, &n[0], &n[1], &n[2], &n[3],
                &n[4], &n[5], &n[6], &n[7], &n[8]);
    for (int t = 0; t < CStage01::BUILDING_TYPES; ++t)
        if (std::strcmp(state.Kind, kKindNames[t]) == 0)
            state.Type = t;

    const float x = n[0], y = n[1], z = n[2], angle = n[3];
    const float sx = 2.0f * n[6];
    float sy = 3.0f * n[7];
    // Low buildings are raised, so that the street is lined with more than bungalows.
    if (sy < 20.0f)
        sy = sy * ((20.0f - sy) * 0.2f + 1.0f);
    const float sz = 2.0f * n[8];

    D3DXMATRIX scaling, rotation, translation;
    D3DXMatrixScaling(&scaling, sx, sy, sz);
    D3DXMatrixRotationY(&rotation, angle);
    D3DXMatrixTranslation(&translation, 2.0f * x, 2.0f * y - 0.1f, 2.0f * z);
    building.Type = state.Type;
    building.Texture = texture;
    building.World = scaling * rotation * translation;
    building.Radius = std::sqrt(3.0f) * std::max(std::max(FLT_MIN, sx), std::max(sy, sz)) * 0.5f;
    road.Type = state.Type;
    road.World = building.World;
    road.World._42 = 0.01f;
}

void ReadStageMap(FILE* file, CD3DSafeTexture* textures, std::vector<BuildingRecord>& buildings,
                  std::vector<RoadRecord>& roads)
{
    StageMapState state;
    char line[1000];
    // A line longer than the buffer is read on as further lines.
    while (fgets(line, sizeof line, file)) {
        // Every line draws its facade, whatever its kind.
        const DWORD pick = CRandomMT::GetInstance().GetUInt32() % CStage01::BUILDING_TEXTURES;
        BuildingRecord building;
        RoadRecord road;
        ParseStageMapLine(line, state, &textures[pick], building, road);
        buildings.push_back(building);
        roads.push_back(road);
    }
}

// ---------------------------------------------------------------------------------------------
// Construction

CStage01::CStage01()
    : Light(nullptr), Sky(nullptr), Ground(nullptr), CameraModel(nullptr), CameraYaw(kPi / 2.0f),
      CameraMid(0.0f, 0.0f, 0.0f), CameraLength(0.0f), Rina(nullptr), Quillabet(nullptr), MusicStream(-1), Phill()
{
    AddCallback(StageSceneCallback);
    try {
        const float fieldOfView = kPi / 4.0f, nearZ = 0.1f, farZ = 2000.0f;
        g_DirectX9.SetProjection(fieldOfView, nearZ, farZ);
        CDirectX9::SafeSetRenderState(D3DRS_AMBIENT, 0x44444444);
        CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, TRUE);

        D3DLIGHT9 light;
        std::memset(&light, 0, sizeof light);
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse.r = light.Diffuse.g = light.Diffuse.b = 1.0f;
        light.Ambient.r = light.Ambient.g = light.Ambient.b = 0.5f;
        light.Direction = D3DXVECTOR3(1.0f, -1.0f, 1.0f);
        Light = new CD3DLight();
        Light->Create(light);

        D3DXVECTOR3 eye(0.0f, 3.0f, -10.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
        D3DXMATRIX view;
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        CDirectX9::SafeSetTransform(D3DTS_VIEW, view);

        LoadMap();

        Rina = new CRina();
        Quillabet = new CQuillabet();
        for (int k = 0; k < TOWNSPEOPLE; ++k) {
            const int a = std::rand() % 5 - 2;
            const int b = std::rand() % 5 - 2;
            Phill[k] = new CPhill(static_cast<float>(b), 0.0f, static_cast<float>(a));
        }

        Sky = new CD3DXObject();
        Sky->Load(".\\data\\xfile\\OpeningSky.x");
        Ground = new CD3DXObject();
        Ground->Load(".\\data\\xfile\\map\\ground.x");
        CameraModel = new CD3DXObject();
        CameraModel->Load(".\\data\\xfile\\camera.x");

        COBBTree* cameraTree = new COBBTree();
        if (!cameraTree->Root)
            cameraTree->Root = new COBBTree::Node();
        SetBox(&cameraTree->Root->Box, 0.1f, 0.1f, 0.1f, 0.0f, 0.0f, 0.0f);
        if (!CameraModel->SetBoneOBB("Mesh_camera", cameraTree)) {
            delete cameraTree;
            throw "Failed CStage01::CStage01 SetBoneOBB[Mesh_camera]";
        }

        if (HasStencilDepthBuffer()) {
            CDirectX9::ClearRecord clear = {};
            clear.Count = 0;
            clear.Rects = nullptr;
            clear.Flags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
            clear.Color = 0xFF000000;
            clear.Z = 1.0f;
            clear.Stencil = 0;
            CDirectX9::SetClearParam(clear);
        }

        if (CGameConfig::GetInstance().IsSoundOn)
            MusicStream = StreamLoadAndPlay(".\\data\\sound\\stage01.ogg", static_cast<DWORD>(-1), 1.0f);
    } catch (...) {
        // No stage exists after a failed construction: what was made goes, and the registry
        // forgets this character without the improper-delete warning.
        if (MusicStream != -1)
            StreamStop(MusicStream);
        MusicStream = -1;
        KillActors();
        ReleaseAll();
        AbandonCharacter(this);
        throw;
    }
}

void CStage01::LoadMap()
{
    LoadBuildings();
    for (int n = 1; n <= BUILDING_TEXTURES; ++n) {
        char path[1024];
        std::snprintf(path, sizeof path, ".\\data\\xfile\\map\\b_%d.bmp", n);
        CDirectX9::SafeCreateTexture(path, BuildingTextures[n - 1]);
    }

    FILE* file = fopen(".\\data\\stage\\Stage1Map.dat", "rt");
    if (!file)
        throw "Failed CStage01::CStage01 fopen";
    ReadStageMap(file, BuildingTextures, Buildings, Roads);
    fclose(file);
}

void CStage01::LoadBuildings()
{
    char path[1024];
    for (int t = 1; t <= BUILDING_TYPES; ++t) {
        BuildingModels[t - 1].reset(new CD3DXObject());
        std::snprintf(path, sizeof path, ".\\data\\xfile\\map\\building%03d.x", t);
        BuildingModels[t - 1]->Load(path);
    }
    for (int t = 1; t <= BUILDING_TYPES; ++t)
        for (int p = 1; p <= PIECES_PER_BUILDING; ++p) {
            boost::shared_ptr<CD3DXObject>& piece = PieceModels[(t - 1) * PIECES_PER_BUILDING + p - 1];
            piece.reset(new CD3DXObject());
            // Each piece numbers its unnamed frames and containers from 0.
            g_nDummyFrameNumber = 0;
            g_nDummyMeshContainerNumber = 0;
            std::snprintf(path, sizeof path, ".\\data\\xfile\\map\\building%03dBreak%03d.x", t, p);
            piece->Load(path);
        }
    for (int t = 1; t <= BUILDING_TYPES; ++t) {
        RoadModels[t - 1].reset(new CD3DXObject());
        std::snprintf(path, sizeof path, ".\\data\\xfile\\map\\building%03dRoad.x", t);
        RoadModels[t - 1]->Load(path);
    }
    for (boost::shared_ptr<CD3DXObject>& piece : PieceModels)
        RecentrePiece(piece.get());
    for (int t = 1; t <= BUILDING_TYPES; ++t) {
        COBBTree* tree = BuildingTree(t - 1);
        char name[64];
        std::snprintf(name, sizeof name, "Mesh_building%03d", t);
        if (!BuildingModels[t - 1]->SetBoneOBB(name, tree)) {
            // A building that cannot collide would let everyone walk through it.
            delete tree;
            static char text[1024];
            std::snprintf(text, sizeof text, "Failed CStage01::LoadBuildings SetBoneOBB[%s]", name);
            throw static_cast<const char*>(text);
        }
    }
}

void CStage01::ReleaseTextures()
{
    for (CD3DSafeTexture& texture : BuildingTextures)
        CDirectX9::SafeReleaseTexture(texture);
}

// ---------------------------------------------------------------------------------------------
// Drawing

bool CStage01::IsPieceShown(int life)
{
    // Blinks three frames on, three off before it vanishes.
    return !(life <= 120 && life % 6 >= 3);
}

bool CStage01::Draw()
{
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);

    g_fSkyYaw += 0.0003f;
    if (Sky) {
        D3DXMATRIX scaling, rotation;
        D3DXMatrixScaling(&scaling, 10.0f, 10.0f, 10.0f);
        D3DXMatrixRotationY(&rotation, g_fSkyYaw);
        *Sky->GetWorldMatrix() = scaling * rotation;
        Sky->FrameMove();
        Sky->Render();
    }
    if (Ground) {
        Ground->FrameMove();
        Ground->Render();
    }
    for (const RoadRecord& road : Roads) {
        CD3DXObject* model = RoadModels[road.Type].get();
        *model->GetWorldMatrix() = road.World;
        model->FrameMove();
        model->Render();
    }
    for (const DebrisRecord& piece : Debris) {
        CD3DXObject* model = piece.Model.get();
        *model->GetWorldMatrix() = piece.World;
        D3DXFRAME_EX* root = model->FrameRoot;
        if (!root)
            continue;
        // The piece model is shared by every piece of its kind: its root matrix is put back.
        const D3DXMATRIX kept = root->TransformationMatrix;
        D3DXMATRIX rotation, translation;
        D3DXMatrixRotationAxis(&rotation, &piece.Axis, piece.Angle);
        D3DXMatrixTranslation(&translation, piece.Position.x, piece.Position.y, piece.Position.z);
        root->TransformationMatrix = rotation * translation;
        model->FrameMove();
        CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        model->SetAlpha(root, 1.0f);
        model->OverrideTexture = piece.Texture;
        if (IsPieceShown(piece.Life))
            model->Render();
        model->OverrideTexture = nullptr;
        root->TransformationMatrix = kept;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Tear-down

void CStage01::KillActors()
{
    KillIfAlive(Rina);
    KillIfAlive(Quillabet);
    for (CPhill*& phill : Phill)
        KillIfAlive(phill);
}

void CStage01::ReleaseAll()
{
    for (CMeshDrawRequest*& request : DrawRequests)
        KillIfAlive(request);
    ReleaseTextures();
    ReleaseModel(Sky);
    ReleaseModel(Ground);
    if (Light) {
        Light->Off();
        delete Light;
        Light = nullptr;
    }
    ReleaseModel(CameraModel);
}

CStage01::~CStage01()
{
    if (CGameConfig::GetInstance().IsSoundOn)
        StreamStop(MusicStream);
    ReleaseAll();
    KillActors();
    CallCallbacks(-1);
    DrawRequests.clear();
    Debris.clear();
    for (boost::shared_ptr<CD3DXObject>& model : RoadModels)
        model.reset();
    for (boost::shared_ptr<CD3DXObject>& model : PieceModels)
        model.reset();
    for (boost::shared_ptr<CD3DXObject>& model : BuildingModels)
        model.reset();
}
