// The stage's frame: messages, listener, camera, the actors' moves, the draw queue of the
// standing buildings, collisions with the buildings, breaking, and the falling pieces.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/CGameConfig.h"
#include "app/CRandomMT.h"
#include "game/CCameraShake.h"
#include "game/COpeningSmoke.h"
#include "game/CPhill.h"
#include "game/CQuillabet.h"
#include "game/CRina.h"
#include "game/CStage01.h"
#include "game/CStage01Message.h"
#include "render/CMeshDrawRequest.h"
#include "sound/Sound.h"

namespace {

const D3DXVECTOR3 kBuildingCentre(0.0f, 0.5f, 0.0f);
const D3DXVECTOR3 kActorPoint(0.0f, 0.6f, 0.0f);
const D3DXVECTOR3 kHeroinePoint(0.0f, 0.65f, 0.0f);
const float kActorMargin = 0.5625f;
const float kHeroineMargin = 225.0f;
const int kPieceLife = 480;

D3DXVECTOR3 Transform(const D3DXVECTOR3& point, const D3DXMATRIX& matrix)
{
    D3DXVECTOR4 out;
    D3DXVec3Transform(&out, &point, &matrix);
    return D3DXVECTOR3(out.x, out.y, out.z);
}

float SquaredDistance(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    const D3DXVECTOR3 d = a - b;
    return D3DXVec3LengthSq(&d);
}

float Random() { return static_cast<float>(CRandomMT::GetInstance().GetReal()); }

// Undoes an actor's move into a building and, when it is still inside, slides it a little
// toward the first free side.
template <class Actor> void PushOut(CD3DXObject* building, Actor* actor, float vx, float vz)
{
    CD3DXObject* model = actor->Model;
    auto moveAndTest = [&](float dx, float dz) {
        actor->Move(dx, dz);
        PlaceModelBoxes(model);
        return building->HitTest(model);
    };
    if (!moveAndTest(-vx, -vz))
        return;
    const bool blockedPZ = moveAndTest(0.0f, 1.0f);
    const bool blockedPX = moveAndTest(1.0f, -1.0f);
    const bool blockedMZ = moveAndTest(-1.0f, -1.0f);
    const bool blockedMX = moveAndTest(-1.0f, 1.0f);
    actor->Move(1.0f, 0.0f);
    if (!blockedPZ)
        actor->Move(0.0f, 0.01f);
    else if (!blockedPX)
        actor->Move(0.01f, 0.0f);
    else if (!blockedMZ)
        actor->Move(0.0f, -0.01f);
    else if (!blockedMX)
        actor->Move(-0.01f, 0.0f);
    PlaceModelBoxes(model);
}

void PlaceBuilding(CD3DXObject* model, const BuildingRecord& building)
{
    *model->GetWorldMatrix() = building.World;
    model->FrameMove();
}

} // namespace

bool CStage01::ActorTouches(const BuildingRecord& b, const D3DXVECTOR3& centre, CD3DXObject* actor)
{
    const D3DXVECTOR3 p = Transform(kActorPoint, *actor->GetWorldMatrix());
    if (!(SquaredDistance(p, centre) < b.Radius * b.Radius + kActorMargin))
        return false;
    CD3DXObject* model = BuildingModels[b.Type].get();
    PlaceBuilding(model, b);
    return model->HitTest(actor);
}

bool CStage01::Update()
{
    if (Age == 180)
        new CStage01Message00();
    else if (Age == 460)
        new CStage01Message01();
    else if (Age == 740)
        new CStage01Message02();

    g_vListener = Rina->Position;
    UpdateCamera();

    float dx = 0.0f, dz = 0.0f;
    Rina->GetVelocity(&dx, &dz);
    Rina->Move(dx, dz);
    PlaceModelBoxes(Rina->Model);

    float hx = 0.0f, hz = 0.0f;
    Quillabet->GetVelocity(&hx, &hz);
    Quillabet->Move(hx, hz);

    float vx[TOWNSPEOPLE], vz[TOWNSPEOPLE];
    for (int k = 0; k < TOWNSPEOPLE; ++k) {
        Phill[k]->GetVelocity(&vx[k], &vz[k]);
        Phill[k]->Move(vx[k], vz[k]);
        PlaceModelBoxes(Phill[k]->Model);
    }

    // Queue the visible buildings; one the camera looks through is see-through.
    size_t n = 0;
    for (const BuildingRecord& b : Buildings) {
        const boost::shared_ptr<CD3DXObject>& model = BuildingModels[b.Type];
        PlaceBuilding(model.get(), b);
        if (!model->IsVisible(model->FrameRoot))
            continue;
        if (DrawRequests.size() <= n)
            DrawRequests.push_back(new CMeshDrawRequest());
        const D3DXVECTOR3 c = Transform(kBuildingCentre, b.World);
        float alpha = 1.0f;
        if (SquaredDistance(CameraMid, c) < b.Radius * b.Radius + CameraLength * CameraLength &&
            model->HitTest(CameraModel))
            alpha = 0.7f;
        DrawRequests[n]->Request(model, alpha, b.Texture);
        ++n;
    }

    for (const BuildingRecord& b : Buildings) {
        const D3DXVECTOR3 c = Transform(kBuildingCentre, b.World);
        if (ActorTouches(b, c, Rina->Model))
            PushOut(BuildingModels[b.Type].get(), Rina, dx, dz);
    }
    for (const BuildingRecord& b : Buildings) {
        const D3DXVECTOR3 c = Transform(kBuildingCentre, b.World);
        for (int k = 0; k < TOWNSPEOPLE; ++k)
            if (ActorTouches(b, c, Phill[k]->Model))
                PushOut(BuildingModels[b.Type].get(), Phill[k], vx[k], vz[k]);
    }

    const D3DXVECTOR3 h = Transform(kHeroinePoint, *Quillabet->Model->GetWorldMatrix());
    for (size_t i = 0; i < Buildings.size(); ++i) {
        const BuildingRecord& b = Buildings[i];
        const D3DXVECTOR3 c = Transform(kBuildingCentre, b.World);
        if (!(SquaredDistance(h, c) < b.Radius * b.Radius + kHeroineMargin))
            continue;
        CD3DXObject* model = BuildingModels[b.Type].get();
        PlaceBuilding(model, b);
        if (model->HitTestBone(Quillabet->Model, "Frame5_Breast")) {
            BreakBuilding(i);
            break;
        }
    }

    MoveDebris();
    return true;
}

void CStage01::BreakBuilding(size_t index)
{
    const BuildingRecord b = Buildings[index];
    const D3DXVECTOR3 where(b.World._41, b.World._42, b.World._43);
    const D3DXVECTOR3 toRina = where - Rina->Position;
    const float vol = DistanceVolume(D3DXVec3Length(&toRina));
    if (CGameConfig::GetInstance().IsSoundOn) {
        SoundPlay(".\\data\\sound\\break.wav", 0, vol);
        SoundPlay(".\\data\\sound\\break.wav", 0, vol);
    }
    Debris.reserve(Debris.size() + PIECES_PER_BUILDING);
    for (int p = 0; p < PIECES_PER_BUILDING; ++p) {
        DebrisRecord r;
        r.Model = PieceModels[b.Type * PIECES_PER_BUILDING + p];
        r.Texture = b.Texture;
        r.World = b.World;
        r.Life = kPieceLife;
        // The random numbers are drawn in a fixed order.
        const float ax = 2.0f * Random() - 1.0f;
        const float ay = 2.0f * Random() - 1.0f;
        const float az = 2.0f * Random() - 1.0f;
        const D3DXVECTOR3 axis(ax, ay, az);
        D3DXVec3Normalize(&r.Axis, &axis);
        r.Angle = 0.0f;
        r.AngularSpeed = (2.0f * Random() - 1.0f) * (1.0f / 30.0f);
        const D3DXFRAME_EX* root = r.Model->FrameRoot;
        r.Position = root ? D3DXVECTOR3(root->TransformationMatrix._41, root->TransformationMatrix._42,
                                        root->TransformationMatrix._43)
                          : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        const float vx = 0.02f * Random() - 0.01f;
        const float vy = 0.015f * Random() - 0.01f;
        const float vz = 0.02f * Random() - 0.01f;
        r.Velocity = D3DXVECTOR3(vx, vy, vz);
        r.PrevVelocity = r.Velocity;
        r.DustSize = b.Radius;
        Debris.push_back(r);
        const float sx = (Random() - 0.5f) * 0.05f;
        const float sz = (Random() - 0.5f) * 0.05f;
        new COpeningSmoke(Transform(r.Position, b.World), D3DXVECTOR3(sx, 0.02f, sz), b.Radius);
    }
    Buildings.erase(Buildings.begin() + static_cast<std::ptrdiff_t>(index));
}

void CStage01::MoveDebris()
{
    const bool soundOn = CGameConfig::GetInstance().IsSoundOn;
    for (DebrisRecord& r : Debris) {
        r.PrevVelocity = r.Velocity;
        r.Velocity.y -= 0.0001f;
        r.Position += r.Velocity;
        r.Angle += r.AngularSpeed;
        if (r.Position.y < 0.0f) {
            r.Velocity.y = -0.5f * r.Velocity.y;
            r.Velocity.x *= 2.0f / 3.0f;
            r.Velocity.z *= 2.0f / 3.0f;
            r.AngularSpeed *= -2.0f / 3.0f;
        }
        if (r.Velocity.y * r.PrevVelocity.y < 0.0f) {
            const D3DXVECTOR3 q = Transform(r.Position, r.World);
            const float sx = (Random() - 0.5f) * 0.05f;
            const float sz = (Random() - 0.5f) * 0.05f;
            // A rise's top and a piece at rest make no dust.
            if (std::fabs(r.PrevVelocity.y) > 0.001f) {
                new COpeningSmoke(q, D3DXVECTOR3(sx, 0.01f, sz), r.DustSize);
                if (soundOn) {
                    const D3DXVECTOR3 toRina = q - Rina->Position;
                    const float d = std::min(D3DXVec3Length(&toRina), 1000.0f);
                    if (std::rand() % 5 == 0)
                        SoundPlay(".\\data\\sound\\break.wav", 0, DistanceVolume(d));
                    new CCameraShake(10.0f / (d + 20.0f), 30);
                }
            }
        }
        r.Life -= 1;
    }
    Debris.erase(std::remove_if(Debris.begin(), Debris.end(), [](const DebrisRecord& r) { return r.Life < 0; }),
                 Debris.end());
}
