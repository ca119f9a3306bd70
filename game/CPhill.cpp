#include "game/CPhill.h"

#include <algorithm>
#include <cstdlib>

#include "game/CQuillabet.h"
#include "game/CStage01.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"
#include "render/CharacterNoUpdate.h"

namespace {
const float kDirectionAngle[8] = {0.0f, 0.7853982f, 1.5707964f, 2.3561945f, 3.1415927f, 3.926991f, 4.712389f, 5.4977875f};
} // namespace

CPhill::CPhill(float x, float y, float z)
    : Position(x, y, z), Angle(0.0f), Model(nullptr), Shadow(nullptr), Direction(0), DirectionCounter(0)
{
    try {
        Model = new CD3DXObject();
        Model->Load(".\\data\\xfile\\Phill.x");
        Model->CreateBoneOBB(0);
        Shadow = new CPhillShadow(this);
    } catch (...) {
        delete Model;
        AbandonCharacter(this);
        throw;
    }
    Direction = static_cast<DWORD>(std::rand()) & 7;
}

CPhill::~CPhill()
{
    if (std::find(CharacterList.begin(), CharacterList.end(), Shadow) != CharacterList.end())
        Shadow->Kill();
    Shadow = nullptr;
    if (Model) {
        Model->Release();
        delete Model;
        Model = nullptr;
    }
}

bool CPhill::Update()
{
    // Any of the eight directions, the same or the reverse too.
    if (++DirectionCounter == 180) {
        Direction = static_cast<DWORD>(std::rand()) & 7;
        DirectionCounter = 0;
    }
    Model->SetTime(Model->GetTime() + 1.0);
    Model->FrameMove();
    return true;
}

bool CPhill::Draw()
{
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Model->Render();
    return true;
}

void CPhill::GetVelocity(float* dx, float* dz)
{
    *dx = 0.0f;
    *dz = 0.0f;
    GetWalkVelocity(dx, dz);
}

void CPhill::GetWalkVelocity(float* dx, float* dz)
{
    CQuillabet::TurnTo(Angle, kDirectionAngle[Direction & 7]);
    DirectionVelocity(Direction, 0.03f, dx, dz);
}

void CPhill::Move(float dx, float dz)
{
    Position.x += dx;
    Position.z += dz;
    D3DXMATRIX rotation, translation;
    D3DXMatrixRotationY(&rotation, Angle);
    D3DXMatrixTranslation(&translation, Position.x, Position.y, Position.z);
    *Model->GetWorldMatrix() = rotation * translation;
}
