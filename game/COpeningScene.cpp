#include "game/COpeningScene.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/CRandomMT.h"
#include "game/CFade.h"
#include "game/COpeningSmoke.h"
#include "game/SceneSteps.h"
#include "game/Vertex3D.h"
#include "render/CD3DLight.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"

unsigned int g_nOpeningStep = 0;

namespace {

const float kPi = 3.14159265358979323846f;
const double kTwoPi = 6.28318530717958647692;
const char kHeightFile[] = ".\\data\\stage\\OpeningGroundHeight.dat";
const float kRunSpeed = 0.075f; // Rina's z a frame; the crowd's mean walking speed too
const DWORD kFootstepAges[COpeningScene::FOOTSTEP_CHANNELS] = {0, 35, 90};

CD3DXObject* LoadModel(const char* path)
{
    CD3DXObject* model = new CD3DXObject();
    try {
        model->Load(path);
    } catch (...) {
        delete model;
        throw;
    }
    return model;
}

void FreeModel(CD3DXObject*& model)
{
    if (model) {
        model->Release();
        delete model;
        model = nullptr;
    }
}

} // namespace

bool OpeningSceneCallback(int code)
{
    if (code == -1)
        g_nOpeningStep = 2;
    return true;
}

bool OpeningSceneStep()
{
    switch (g_nOpeningStep) {
    case 0: {
        // Whatever the logo left behind (its fade) goes first.
        CCharacterSystem system;
        system.DeleteAll();
        new COpeningScene();
        g_nOpeningStep = 1;
        return true;
    }
    case 2:
        g_nOpeningStep = 0;
        return false;
    default:
        return true;
    }
}

OpeningSceneEntry::OpeningSceneEntry()
    : Position(0, 0, 0), Velocity(0, 0, 0), Acceleration(0, 0, 0), AnimationFrame(0)
{
}

void COpeningScene::GetFormation(int index, int* row, float* offset)
{
    // Row k holds k walkers, the first at index k (k - 1) / 2.
    int k = 1;
    while (index >= k * (k + 1) / 2)
        ++k;
    const int j = index - k * (k - 1) / 2;
    *row = k;
    *offset = static_cast<float>(j) - static_cast<float>(k - 1) * 0.5f;
}

COpeningScene::COpeningScene()
    : CameraModel(nullptr), SkyModel(nullptr), GroundModel(nullptr), HeroineModel(nullptr), WalkerModel(nullptr),
      RinaModel(nullptr), RinaPosition(0, 0, 0), Light(nullptr), Music(-1)
{
    for (SoundChannel& channel : Footsteps)
        channel = -1;
    AddCallback(OpeningSceneCallback);
    try {
        g_DirectX9.SetProjection(kPi / 4, 0.2f, 500.0f);
        CDirectX9::SafeSetRenderState(D3DRS_AMBIENT, 0x44444444);
        CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, TRUE);

        D3DLIGHT9 light = {};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        light.Ambient = {0.3f, 0.3f, 0.3f, 0.0f};
        light.Direction = {1.0f, -1.0f, 1.0f};
        Light = new CD3DLight();
        Light->Create(light);

        WalkerModel = LoadModel(".\\data\\xfile\\Phill.x");
        CRandomMT& random = CRandomMT::GetInstance();
        for (int i = 0; i < CROWD_SIZE; ++i) {
            int row;
            float offset;
            GetFormation(i, &row, &offset);
            OpeningSceneEntry& walker = Crowd[i];
            walker.Position = D3DXVECTOR3(offset, 0.0f, -50.0f - static_cast<float>(row));
            // The leader walks straight at first.
            if (i != 0)
                walker.Velocity.x = static_cast<float>(random.GetReal() * 0.02 - 0.01);
            walker.Velocity.z = static_cast<float>(random.GetReal() * 0.02 - 0.01 + kRunSpeed);
            walker.AnimationFrame = static_cast<int>(random.GetUInt32() % 1001);
        }

        CDirectX9::SafeCreateTexture(".\\data\\graphics\\OpeningShadow.tga", ShadowTexture);
        RinaModel = LoadModel(".\\data\\xfile\\Rina.x");
        RinaPosition = D3DXVECTOR3(0.0f, 0.0f, -50.0f);
        RinaModel->ChangeAnimation(3, 0.0f); // running from the first frame
        HeroineModel = LoadModel(".\\data\\xfile\\Quillabet.x");
        CameraModel = LoadModel(".\\data\\xfile\\OpeningCamera.x");
        SkyModel = LoadModel(".\\data\\xfile\\OpeningSky.x");
        GroundModel = LoadModel(".\\data\\xfile\\OpeningGround.x");
        LoadGroundHeights(kHeightFile);

        D3DXMATRIX view;
        const D3DXVECTOR3 eye(0, 2, -3), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        CDirectX9::SafeSetTransform(D3DTS_VIEW, view);

        Music = StreamLoadAndPlay(".\\data\\sound\\opening.ogg", 0, 1.0f);
        new CFadeFromBlack(120);
    } catch (...) {
        // The base destructor takes the half-built scene off the registry; the step builds it
        // again next frame from nothing.
        Free();
        throw;
    }
}

COpeningScene::~COpeningScene()
{
    Free();
    CallCallbacks(-1);
}

void COpeningScene::Free()
{
    StreamStop(Music);
    Music = -1;
    for (SoundChannel& channel : Footsteps) {
        SoundStop(channel);
        channel = -1;
    }
    if (Light) {
        Light->Off();
        delete Light;
        Light = nullptr;
    }
    FreeModel(GroundModel);
    FreeModel(SkyModel);
    CDirectX9::SafeReleaseTexture(ShadowTexture);
    FreeModel(WalkerModel);
    FreeModel(RinaModel);
    FreeModel(HeroineModel);
    FreeModel(CameraModel);
}

void COpeningScene::LoadGroundHeights(const char* path)
{
    static char text[1024];
    FILE* file = fopen(path, "rb");
    if (!file) {
        std::snprintf(text, sizeof text, "Failed COpeningScene::COpeningScene fopen[%s]", path);
        throw static_cast<const char*>(text);
    }
    // Little-endian floats, read byte by byte so the order holds on any host.
    for (int r = 0; r < GRID_SIZE; ++r)
        for (int c = 0; c < GRID_SIZE; ++c) {
            unsigned char b[4];
            if (fread(b, 1, 4, file) != 4) {
                fclose(file);
                std::snprintf(text, sizeof text, "Failed COpeningScene::COpeningScene fread[%s]", path);
                throw static_cast<const char*>(text);
            }
            const DWORD bits = static_cast<DWORD>(b[0]) | (static_cast<DWORD>(b[1]) << 8) |
                               (static_cast<DWORD>(b[2]) << 16) | (static_cast<DWORD>(b[3]) << 24);
            float height;
            std::memcpy(&height, &bits, sizeof height);
            GroundHeight[r][c] = height;
        }
    fclose(file);
}

float COpeningScene::GetGroundHeight(float x, float z) const
{
    // The scene only samples well inside the grid; elsewhere (and for a NaN) the edge holds.
    const float limit = static_cast<float>(GRID_SIZE - 1) * 0.5f;
    if (!(x >= -limit)) x = -limit;
    if (!(z >= -limit)) z = -limit;
    if (x > limit) x = limit;
    if (z > limit) z = limit;
    int ix = static_cast<int>(std::floor(x + limit));
    int iz = static_cast<int>(std::floor(z + limit));
    if (ix > GRID_SIZE - 2) ix = GRID_SIZE - 2;
    if (iz > GRID_SIZE - 2) iz = GRID_SIZE - 2;
    const float fx = x - (static_cast<float>(ix) - limit);
    const float fz = z - (static_cast<float>(iz) - limit);
    return ((1 - fx) * GroundHeight[iz][ix] + fx * GroundHeight[iz][ix + 1]) * (1 - fz) +
           ((1 - fx) * GroundHeight[iz + 1][ix] + fx * GroundHeight[iz + 1][ix + 1]) * fz;
}

bool COpeningScene::Update()
{
    const DWORD t = Age;
    CRandomMT& random = CRandomMT::GetInstance();

    if (t == FADE_AGE)
        new CFadeToWhite(120);
    if (t == FADE_OUT_AGE) {
        StreamSetVolume(Music, 0.0f, 1000);
        for (SoundChannel channel : Footsteps)
            SoundSetVolume(channel, 0.0f, 1000);
    }
    if (t == END_AGE)
        Kill();

    // Voices from the crowd, one frame in eight on average, louder over the first 200 frames.
    if (t > 20 && t < FADE_OUT_AGE && (random.GetUInt32() & 7) == 0) {
        const float volume = t < 200 ? 0.9f + (static_cast<float>(t) - 100.0f) * 0.001f : 1.0f;
        SoundPlay(".\\data\\sound\\voice.wav", 0, volume);
    }

    // Three looped footstep sounds join one after another, each fading in; a channel that
    // could not be had is asked for again next frame.
    for (int n = 0; n < FOOTSTEP_CHANNELS; ++n)
        if (t > kFootstepAges[n] && Footsteps[n] == -1) {
            Footsteps[n] = SoundPlay(".\\data\\sound\\footsteps.wav", 0x7FFFFFFF, 0.0f);
            if (Footsteps[n] != -1)
                SoundSetVolume(Footsteps[n], 0.95f, 3000);
        }

    // Each walker steers for its place in the formation behind Rina, with a little wander.
    for (int i = 0; i < CROWD_SIZE; ++i) {
        int row;
        float offset;
        GetFormation(i, &row, &offset);
        OpeningSceneEntry& walker = Crowd[i];
        D3DXVECTOR3 d = D3DXVECTOR3(offset, 0.0f, RinaPosition.z - static_cast<float>(row)) - walker.Position;
        d.x += static_cast<float>(random.GetReal() * 0.02 - 0.01);
        d.z += static_cast<float>(random.GetReal() * 0.02 - 0.01);
        D3DXVec3Normalize(&d, &d);
        walker.Acceleration = d * 0.0005f;
    }
    for (int i = 0; i < CROWD_SIZE; ++i) {
        OpeningSceneEntry& walker = Crowd[i];
        walker.Velocity += walker.Acceleration;
        walker.Position += walker.Velocity;
        walker.Position.y = GetGroundHeight(walker.Position.x, walker.Position.z);
        if ((t + static_cast<DWORD>(i)) % 5 == 0)
            new COpeningDust(walker.Position, static_cast<float>(random.GetReal() * kTwoPi));
        ++walker.AnimationFrame;
    }

    RinaPosition.z += kRunSpeed;
    RinaPosition.y = GetGroundHeight(RinaPosition.x, RinaPosition.z);
    if (t % 5 == 0)
        new COpeningDust(RinaPosition, static_cast<float>(random.GetReal() * kTwoPi));

    // The camera rides its animated frame, with a shake that grows over the first 200 frames.
    CameraModel->SetTime(static_cast<double>(t));
    CameraModel->FrameMove();
    D3DXMATRIX camera = CameraModel->GetFrameMatrix(CameraModel->FrameRoot, "Frame1_Camera");
    const float k = 0.005f * static_cast<float>(t);
    const float shake = t <= 200 ? 0.01f * (1.0f + 4.0f * k * k * k * k) : 0.05f;
    camera._41 += static_cast<float>(random.GetReal()) * shake;
    camera._42 += static_cast<float>(random.GetReal()) * shake;
    camera._43 += static_cast<float>(random.GetReal()) * shake;
    D3DXMATRIX view;
    D3DXMatrixInverse(&view, nullptr, &camera);
    CDirectX9::SafeSetTransform(D3DTS_VIEW, view);
    return true;
}

void COpeningScene::DrawShadow(float x, float z, float half, void* vertices)
{
    Vertex3DTex* v = static_cast<Vertex3DTex*>(vertices);
    const float corners[4][2] = {{x - half, z - half}, {x - half, z + half}, {x + half, z - half}, {x + half, z + half}};
    for (int i = 0; i < 4; ++i) {
        v[i].x = corners[i][0];
        v[i].z = corners[i][1];
        v[i].y = GetGroundHeight(corners[i][0], corners[i][1]) + 0.05f;
    }
    g_pDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex3DTex));
}

bool COpeningScene::Draw()
{
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);

    GroundModel->FrameMove();
    GroundModel->Render();
    CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, FALSE);
    SkyModel->FrameMove();
    SkyModel->Render();
    CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, TRUE);

    // Blob shadows on the ground: one array, its colour and texture corners fixed.
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    CDirectX9::SafeSetTransform(D3DTS_WORLD, identity);
    g_pDevice->SetFVF(Vertex3DTex::FVF);
    CDirectX9::SafeSetTexture(0, ShadowTexture);
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    Vertex3DTex shadow[4] = {{0, 0, 0, 0x80FFFFFF, 0, 0},
                             {0, 0, 0, 0x80FFFFFF, 1, 0},
                             {0, 0, 0, 0x80FFFFFF, 0, 1},
                             {0, 0, 0, 0x80FFFFFF, 1, 1}};
    for (const OpeningSceneEntry& walker : Crowd)
        DrawShadow(walker.Position.x, walker.Position.z, 0.4f, shadow);
    DrawShadow(RinaPosition.x, RinaPosition.z, 0.5f, shadow);
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    // Every walker turned to face where it walks, drawn with the one model.
    for (const OpeningSceneEntry& walker : Crowd) {
        D3DXMATRIX turn, move;
        D3DXMatrixRotationY(&turn, kPi / 2 - std::atan2(walker.Velocity.z, walker.Velocity.x));
        D3DXMatrixTranslation(&move, walker.Position.x, walker.Position.y + 0.05f, walker.Position.z);
        *WalkerModel->GetWorldMatrix() = turn * move;
        WalkerModel->SetTime(walker.AnimationFrame * 2.5);
        WalkerModel->FrameMove();
        WalkerModel->Render();
    }

    D3DXMatrixTranslation(RinaModel->GetWorldMatrix(), RinaPosition.x, RinaPosition.y, RinaPosition.z);
    RinaModel->SetTime(2.0 * Age);
    RinaModel->FrameMove();
    RinaModel->Render();

    // The heroine's cut-out parts are tested, not blended.
    CDirectX9::SafeSetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_ALPHAFUNC, D3DCMP_NOTEQUAL);
    CDirectX9::SafeSetRenderState(D3DRS_ALPHAREF, 0);
    CDirectX9::SafeSetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    CDirectX9::SafeSetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    CDirectX9::SafeSetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

    // Eight times her model's size, standing at (0, 7, 0); her pose is never advanced.
    D3DXMATRIX& world = *HeroineModel->GetWorldMatrix();
    world._11 = world._22 = world._33 = 8.0f;
    world._41 = 0.0f;
    world._42 = 7.0f;
    world._43 = 0.0f;
    HeroineModel->FrameMove();
    HeroineModel->Render();

    CDirectX9::SafeSetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    return true;
}
