#include "game/CCameraShake.h"

#include <cstdlib>

#include "render/CharacterNoUpdate.h"

D3DXVECTOR3 g_vShake(0.0f, 0.0f, 0.0f);

CCameraShake::CCameraShake(float magnitude, int frames) : Magnitude(magnitude), Frames(frames)
{
    SetLife(frames);
}

CCameraShake::~CCameraShake()
{
    g_vShake = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

bool CCameraShake::Update()
{
    // Each offset lies between half and all of what is left of the shake. The runtime's
    // largest random value is 32767 on Windows but far larger elsewhere: scaling by it keeps
    // the offsets in that range everywhere.
    const float left = static_cast<float>(Frames - static_cast<int>(Age)) * Magnitude * 0.5f / static_cast<float>(Frames);
    const float x = (static_cast<float>(std::rand()) / static_cast<float>(RAND_MAX) + 1.0f) * left;
    const float y = (static_cast<float>(std::rand()) / static_cast<float>(RAND_MAX) + 1.0f) * left;
    const float z = (static_cast<float>(std::rand()) / static_cast<float>(RAND_MAX) + 1.0f) * left;
    g_vShake = D3DXVECTOR3(x, y, z);
    return true;
}

bool CCameraShake::Draw()
{
    return CharacterNoUpdate();
}
